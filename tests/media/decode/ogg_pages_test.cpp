// The page layout of a chain of two Oggs, cut at every byte and with each
// byte replaced in turn: a layout is sound exactly when the bytes end where
// one of the pages libogg itself finds ends, and no replaced byte passes.
#include "media/decode/ogg_pages.h"
#include "platform/stream.h"
#include "tests/support/file_bytes.h"

#include <ogg/ogg.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {
OggLayout layout_of(const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return ReadOggLayout(s);
}
}  // namespace

TEST(OggPages, EveryCutAndEveryReplacedByteIsSeen) {
    const std::string first = ReadFileBytes(std::string(VORQ_TEST_DATA) + "/audio/tone22m.ogg");
    const std::string chain = first + ReadFileBytes(std::string(VORQ_TEST_DATA) + "/audio/tone.ogg");
    std::set<size_t> page_ends;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    std::memcpy(ogg_sync_buffer(&sync, long(chain.size())), chain.data(), chain.size());
    ogg_sync_wrote(&sync, long(chain.size()));
    ogg_page page;
    for (size_t at = 0; ogg_sync_pageout(&sync, &page) == 1;)
        page_ends.insert(at += size_t(page.header_len + page.body_len));
    ogg_sync_clear(&sync);
    ASSERT_EQ(*page_ends.rbegin(), chain.size());

    const OggLayout whole = layout_of(chain);
    ASSERT_TRUE(whole.Sound);
    ASSERT_EQ(whole.Links.size(), 2u);
    EXPECT_EQ(whole.Links[0].End, int64_t(first.size()));
    EXPECT_EQ(whole.Links[1].Begin, int64_t(first.size()));
    EXPECT_EQ(whole.Links[1].End, int64_t(chain.size()));
    for (size_t n = 0; n < chain.size(); ++n)
        EXPECT_EQ(layout_of(chain.substr(0, n)).Sound, page_ends.count(n) == 1) << n;
    for (size_t i = 0; i < chain.size(); ++i) {
        std::string damaged = chain;
        damaged[i] ^= 0x21;
        EXPECT_FALSE(layout_of(damaged).Sound) << i;
    }
}
