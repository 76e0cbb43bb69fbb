// The page layout of a chain of two Oggs, cut at every byte and with each
// byte replaced in turn, against libogg's own sync: the pages kept are the
// ones libogg finds of a stream whose first page it found, each found first
// page begins a link, and a link may be sought only when its pages are
// numbered 0, 1, 2, ... with none lost; and the pages in the first two
// thirds, as the opening of a large file reads its head.
#include "media/decode/ogg_pages.h"
#include "platform/filesystem/stream.h"
#include "tests/support/file_bytes.h"

#include <ogg/ogg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {
OggLayout layout_of(const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return ReadOggLayout(s);
}

struct Expected {
    std::vector<OggSpan> pages;  // neighbours joined
    std::vector<bool> plain;     // of each link
};

// Each page libogg's sync finds in bytes, with its place and size.
template <class Each>
void libogg_pages(const std::string& bytes, Each each) {
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    if (!bytes.empty()) {
        std::memcpy(ogg_sync_buffer(&sync, long(bytes.size())), bytes.data(), bytes.size());
        ogg_sync_wrote(&sync, long(bytes.size()));
    }
    ogg_page page;
    int64_t at = 0;
    for (long n; (n = ogg_sync_pageseek(&sync, &page)) != 0; at += n < 0 ? -n : n)
        if (n > 0) each(page, at, n);
    ogg_sync_clear(&sync);
}

Expected libogg_layout(const std::string& bytes) {
    Expected e;
    std::set<int> first_found;
    long next_pageno = 0;
    libogg_pages(bytes, [&](ogg_page& page, int64_t at, long n) {
        if (ogg_page_bos(&page)) {
            first_found.insert(ogg_page_serialno(&page));
            e.plain.push_back(ogg_page_pageno(&page) == 0);
            next_pageno = 0;
        } else if (!first_found.count(ogg_page_serialno(&page))) {
            return;
        }
        if (ogg_page_pageno(&page) != next_pageno) e.plain.back() = false;
        next_pageno = ogg_page_pageno(&page) + 1;
        if (!e.pages.empty() && e.pages.back().End == at) e.pages.back().End = at + n;
        else e.pages.push_back({at, at + n});
    });
    return e;
}

// What libogg's sync finds in the first bytes: the places of the pages
// that begin a Vorbis stream, and every page's serial number.
OggHead libogg_head(const std::string& bytes) {
    OggHead h;
    libogg_pages(bytes, [&](ogg_page& page, int64_t at, long) {
        if (ogg_page_bos(&page) && page.body_len >= 16 && std::memcmp(page.body, "\x01vorbis", 7) == 0)
            h.VorbisStarts.push_back(at);
        const auto serial = uint32_t(ogg_page_serialno(&page));
        if (std::find(h.Serials.begin(), h.Serials.end(), serial) == h.Serials.end()) h.Serials.push_back(serial);
    });
    return h;
}

void expect_layout(const std::string& bytes, size_t at) {
    // The head: the first two thirds, a page cut there never whole.
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    const OggHead head = ReadOggHead(s, int64_t(bytes.size() * 2 / 3));
    const OggHead e_head = libogg_head(bytes.substr(0, bytes.size() * 2 / 3));
    EXPECT_EQ(head.VorbisStarts, e_head.VorbisStarts) << at;
    EXPECT_EQ(head.Serials, e_head.Serials) << at;

    const OggLayout layout = layout_of(bytes);
    const Expected e = libogg_layout(bytes);
    EXPECT_EQ(layout.Pages, e.pages) << at;
    ASSERT_EQ(layout.Links.size(), e.plain.size()) << at;
    EXPECT_EQ(layout.Sound, !e.plain.empty()) << at;
    for (size_t i = 0; i < e.plain.size(); ++i) EXPECT_EQ(layout.Links[i].Plain, e.plain[i]) << at << " link " << i;
}
}  // namespace

TEST(OggPages, TheGoodPagesAreLiboggsAndALinkWithAPageLostIsSeen) {
    const std::string first = ReadFileBytes(std::string(VORQ_TEST_DATA) + "/audio/tone22m.ogg");
    const std::string chain = first + ReadFileBytes(std::string(VORQ_TEST_DATA) + "/audio/tone.ogg");
    const OggLayout whole = layout_of(chain);
    ASSERT_EQ(whole.Pages, (std::vector<OggSpan>{{0, int64_t(chain.size())}}));
    ASSERT_EQ(whole.Links.size(), 2u);
    EXPECT_TRUE(whole.Links[0].Plain && whole.Links[1].Plain);
    EXPECT_EQ(whole.Links[0].End, int64_t(first.size()));
    EXPECT_EQ(whole.Links[1].Begin, int64_t(first.size()));
    EXPECT_EQ(whole.Links[1].End, int64_t(chain.size()));
    EXPECT_EQ(whole.Links[1].LastGranule, 22050);  // tone.ogg: half a second at 44.1 kHz
    EXPECT_EQ(libogg_head(chain).VorbisStarts, (std::vector<int64_t>{0, int64_t(first.size())}));
    for (size_t n = 0; n < chain.size(); ++n) expect_layout(chain.substr(0, n), n);
    for (size_t i = 0; i < chain.size(); ++i) {
        std::string damaged = chain;
        damaged[i] ^= 0x21;
        expect_layout(damaged, i);
    }
}
