// The page layout of a chain of two Oggs, cut at every byte and with each
// byte replaced in turn: its good pages are the ones libogg itself finds,
// and the layout is sound unless a page other than a link's last is lost.
#include "media/decode/ogg_pages.h"
#include "platform/filesystem/stream.h"
#include "tests/support/file_bytes.h"

#include <ogg/ogg.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
OggLayout layout_of(const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return ReadOggLayout(s);
}

struct LiboggPages {
    std::vector<OggSpan> joined;  // neighbours joined
    std::vector<OggSpan> each;
    std::vector<bool> last;  // of its stream
};

LiboggPages libogg_pages(const std::string& bytes) {
    LiboggPages found;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    if (!bytes.empty()) {
        std::memcpy(ogg_sync_buffer(&sync, long(bytes.size())), bytes.data(), bytes.size());
        ogg_sync_wrote(&sync, long(bytes.size()));
    }
    ogg_page page;
    int64_t at = 0;
    for (long n; (n = ogg_sync_pageseek(&sync, &page)) != 0; at += n < 0 ? -n : n) {
        if (n < 0) continue;
        found.each.push_back({at, at + n});
        found.last.push_back(ogg_page_eos(&page) != 0);
        if (!found.joined.empty() && found.joined.back().End == at) found.joined.back().End = at + n;
        else found.joined.push_back({at, at + n});
    }
    ogg_sync_clear(&sync);
    return found;
}
}  // namespace

TEST(OggPages, TheGoodPagesAreLiboggsAndALostPageInsideALinkIsSeen) {
    const std::string first = ReadFileBytes(std::string(VORQ_TEST_DATA) + "/audio/tone22m.ogg");
    const std::string chain = first + ReadFileBytes(std::string(VORQ_TEST_DATA) + "/audio/tone.ogg");
    const LiboggPages clean = libogg_pages(chain);
    ASSERT_EQ(clean.joined, (std::vector<OggSpan>{{0, int64_t(chain.size())}}));

    const OggLayout whole = layout_of(chain);
    ASSERT_TRUE(whole.Sound);
    EXPECT_EQ(whole.Pages, clean.joined);
    ASSERT_EQ(whole.Links.size(), 2u);
    EXPECT_EQ(whole.Links[0].End, int64_t(first.size()));
    EXPECT_EQ(whole.Links[1].Begin, int64_t(first.size()));
    EXPECT_EQ(whole.Links[1].End, int64_t(chain.size()));
    // A cut file is sound up to its last whole page.
    for (size_t n = 0; n < chain.size(); ++n) {
        const OggLayout cut = layout_of(chain.substr(0, n));
        const LiboggPages pages = libogg_pages(chain.substr(0, n));
        EXPECT_EQ(cut.Sound, !pages.each.empty()) << n;
        EXPECT_EQ(cut.Pages, pages.joined) << n;
    }
    // A spoilt page is passed over; the pages left are sound when it was
    // the last of its link, or when libogg finds none after it (a page
    // length spoilt so that the page runs past the end).
    for (size_t i = 0, page = 0; i < chain.size(); ++i) {
        while (clean.each[page].End <= int64_t(i)) ++page;
        std::string damaged = chain;
        damaged[i] ^= 0x21;
        const OggLayout layout = layout_of(damaged);
        const LiboggPages pages = libogg_pages(damaged);
        const bool sound =
            !pages.each.empty() && (clean.last[page] || pages.each.back().End <= clean.each[page].Begin);
        ASSERT_EQ(layout.Sound, sound) << i;
        if (sound) EXPECT_EQ(layout.Pages, pages.joined) << i;
    }
}
