// The glyph cache and glyph painting, on plain-buffer surfaces with the
// installed IPA faces.
#include "platform/text/codepage.h"
#include "platform/text/fonts.h"
#include "render/font_pixel.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

const std::string kGothic = Sjis("ＭＳ ゴシック");

uint16_t code_of(const std::string& utf8) {
    std::string s = Sjis(utf8);
    return s.size() == 1 ? static_cast<uint8_t>(s[0])
                         : static_cast<uint16_t>(static_cast<uint8_t>(s[0]) << 8 | static_cast<uint8_t>(s[1]));
}

// Refuses every format but the plain bitmap, or every format at all, and
// counts the requests.
class RefusingManager : public TFontPixelManager {
public:
    bool refuse_all = false;
    int fetches = 0;

protected:
    int64_t FetchGlyph(Font& font, uint16_t code, GlyphFormat format, GlyphMetrics& gm, std::vector<uint8_t>& bits,
                       AbcWidths& abc) override {
        ++fetches;
        if (refuse_all || format != GlyphFormat::Bitmap) return GDI_ERROR;
        return TFontPixelManager::FetchGlyph(font, code, format, gm, bits, abc);
    }
};

int count_nonzero(TPlainDIBX& s) {
    int n = 0;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) n += s.GetPixel(x, y) != 0;
    return n;
}

}  // namespace

TEST(FontPixelCache, EvictsTheLeastRecentlyUsedGlyph) {
    TFontPixelManager m;
    // 257 distinct kanji from the first level-1 rows.
    std::vector<uint16_t> codes;
    for (uint16_t c = 0x889F; codes.size() < 257; ++c)
        if ((c & 0xFF) >= 0x40 && (c & 0xFF) != 0x7F && (c & 0xFF) <= 0xFC) codes.push_back(c);
    for (int i = 0; i < 256; ++i) ASSERT_NE(m.RenderGlyph(codes[i], kGothic, 16, 0), nullptr);
    EXPECT_EQ(m.Count(), 256);
    // A hit on the oldest saves it and makes it the newest.
    TFontPixel* first = m.RenderGlyph(codes[0], kGothic, 16, 0);
    EXPECT_EQ(m.RecencyOrder().front(), first);
    EXPECT_EQ(m.RecencyOrder().back()->Code, codes[1]);
    m.RenderGlyph(codes[256], kGothic, 16, 0);
    EXPECT_EQ(m.Count(), 256);
    EXPECT_EQ(m.FindGlyph(codes[1], kGothic, 16, 0, 3), nullptr);
    EXPECT_NE(m.FindGlyph(codes[0], kGothic, 16, 0, 3), nullptr);
    EXPECT_NE(m.FindGlyph(codes[2], kGothic, 16, 0, 3), nullptr);
    // Recency order is exact: newest first, then the hit, then the rest in order.
    auto order = m.RecencyOrder();
    ASSERT_EQ(order.size(), 256u);
    EXPECT_EQ(order[0]->Code, codes[256]);
    EXPECT_EQ(order[1]->Code, codes[0]);
    for (size_t i = 2; i < order.size(); ++i) EXPECT_EQ(order[i]->Code, codes[257 - i]);
    // Every cached glyph is still findable through its bucket.
    for (const TFontPixel* g : order) EXPECT_EQ(m.FindGlyph(g->Code, kGothic, 16, 0, 3), g);
}

TEST(FontPixelCache, KeysCompareNameWithCaseSizeStyleAndQuality) {
    TFontPixelManager m;
    TFontPixel* a = m.RenderGlyph('A', "IPAGothic", 20, 0);
    TFontPixel* b = m.RenderGlyph('A', "ipagothic", 20, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(m.Count(), 2);
    EXPECT_EQ(m.RenderGlyph('A', "IPAGothic", 20, 0), a);
    m.RenderGlyph('A', "IPAGothic", 21, 0);
    m.RenderGlyph('A', "IPAGothic", 20, fsBold);
    m.SetQuality(1);
    TFontPixel* q1 = m.RenderGlyph('A', "IPAGothic", 20, 0);
    EXPECT_EQ(q1->Quality, 1);
    EXPECT_EQ(m.Count(), 5);
    // Codes sharing the low byte share a bucket but not an entry.
    m.SetQuality(3);
    TFontPixel* kanji = m.RenderGlyph(0x8841, "IPAGothic", 20, 0);
    EXPECT_NE(kanji, m.FindGlyph('A', "IPAGothic", 20, 0, 3));
    EXPECT_EQ(m.FindGlyph(0x8841, "IPAGothic", 20, 0, 3), kanji);
}

TEST(FontPixelCache, CoverageUsesTheQualityLevels) {
    const std::set<int> levels[4] = {
        {0, 255},
        {0, 79, 127, 207, 255},
        {0, 43, 55, 67, 79, 91, 103, 115, 159, 171, 183, 195, 207, 219, 231, 243, 255},
        {0,   18,  21,  24,  27,  30,  33,  36,  55,  58,  61,  64,  67,  70,  73,  76,  79,
         82,  85,  88,  91,  94,  97,  100, 119, 122, 125, 128, 131, 134, 137, 140, 143, 146,
         149, 152, 155, 158, 161, 164, 183, 186, 189, 192, 195, 198, 201, 204, 207, 210, 213,
         216, 219, 222, 225, 228, 231, 234, 237, 240, 243, 246, 249, 252, 255}};
    TFontPixelManager m;
    for (int q = 0; q < 4; ++q) {
        m.SetQuality(q);
        const TFontPixel* g = m.RenderGlyph(code_of("永"), kGothic, 32, 0);
        ASSERT_FALSE(g->IsEmpty());
        std::set<int> seen(g->Pixels(), g->Pixels() + g->GetWidth() * g->GetHeight());
        for (int v : seen) EXPECT_TRUE(levels[q].count(v)) << "quality " << q << " value " << v;
        EXPECT_TRUE(seen.count(255));
        if (q > 0) {
            EXPECT_GT(seen.size(), 3u);
        }
    }
    // The black box and its place in the cell come from the platform's glyph metrics.
    Font f([] {
        LogFont lf;
        lf.FaceName = kGothic;
        lf.Height = 32;
        return lf;
    }());
    GlyphMetrics gm;
    f.GetGlyphOutline(code_of("永"), GlyphFormat::Gray8, gm, nullptr);
    const TFontPixel* g = m.RenderGlyph(code_of("永"), kGothic, 32, 0);
    EXPECT_EQ(g->GetWidth(), static_cast<int>(gm.gmBlackBoxX));
    EXPECT_EQ(g->GetHeight(), static_cast<int>(gm.gmBlackBoxY));
    EXPECT_EQ(g->Top, f.Metrics().otmTextMetrics.tmAscent - gm.gmptGlyphOrigin.y);
    EXPECT_EQ(g->Left + g->GetWidth() + g->ExtraAdvance, gm.gmCellIncX);
}

TEST(FontPixelCache, SpaceIsEmptyWithAnAdvanceAndDrawsNothing) {
    TFontPixelManager m;
    const TFontPixel* sp = m.RenderGlyph(' ', kGothic, 24, fsUnderline);
    EXPECT_TRUE(sp->IsEmpty());
    EXPECT_GT(sp->ExtraAdvance, 0);
    TPlainDIBX colour(40, 40, 32), mask(40, 40, 8);
    TRect out{1, 2, 3, 4};
    sp->DrawTo(colour, mask, Bounds(0, 0, 24, 24), 2, 2, true, true, 0xFFFFFF, 0x0000FF, 0x00FF00, out, false);
    EXPECT_EQ(out, TRect{});
    EXPECT_EQ(count_nonzero(mask) + count_nonzero(colour), 0);
}

TEST(FontPixelCache, RefusedFormatFallsBackToBitmapsAndSaysSo) {
    RefusingManager m;
    m.SetQuality(3);
    TFontPixel* g = m.RenderGlyph(code_of("あ"), kGothic, 24, 0);
    EXPECT_EQ(m.Quality(), 0);
    EXPECT_EQ(g->Quality, 0);  // keyed by what was really fetched
    EXPECT_FALSE(g->IsEmpty());
    EXPECT_EQ(m.FindGlyph(code_of("あ"), kGothic, 24, 0, 3), nullptr);
    EXPECT_EQ(m.FindGlyph(code_of("あ"), kGothic, 24, 0, 0), g);
    for (int i = 0; i < g->GetWidth() * g->GetHeight(); ++i) ASSERT_TRUE(g->Pixels()[i] == 0 || g->Pixels()[i] == 255);
    // While the quality stays 0 the glyph is a hit.
    const int fetches = m.fetches;
    EXPECT_EQ(m.RenderGlyph(code_of("あ"), kGothic, 24, 0), g);
    EXPECT_EQ(m.fetches, fetches);
}

TEST(FontPixelCache, AGlyphThatFailsIsNotCached) {
    RefusingManager m;
    m.refuse_all = true;
    TFontPixel* g = m.RenderGlyph(code_of("あ"), kGothic, 24, 0);
    ASSERT_NE(g, nullptr);
    EXPECT_TRUE(g->IsEmpty());
    EXPECT_EQ(g->ExtraAdvance, 0);
    EXPECT_EQ(m.Count(), 0);
    EXPECT_EQ(m.fetches, 2);
    // Once the fonts answer again the same request renders.
    m.refuse_all = false;
    m.SetQuality(0);
    TFontPixel* again = m.RenderGlyph(code_of("あ"), kGothic, 24, 0);
    EXPECT_FALSE(again->IsEmpty());
    EXPECT_EQ(m.Count(), 1);
}

TEST(FontPixelCache, UnknownFaceUsesTheDefaultFace) {
    TFontPixelManager m;
    const TFontPixel* unknown = m.RenderGlyph(code_of("あ"), "NoSuchFace", 24, 0);
    const TFontPixel* gothic = m.RenderGlyph(code_of("あ"), kGothic, 24, 0);
    ASSERT_EQ(unknown->GetWidth(), gothic->GetWidth());
    ASSERT_EQ(unknown->GetHeight(), gothic->GetHeight());
    EXPECT_TRUE(std::equal(unknown->Pixels(), unknown->Pixels() + unknown->GetWidth() * unknown->GetHeight(),
                           gothic->Pixels()));
}

// ---- painting ----

namespace {

// A tiny hand-made glyph through the manager's public path is not possible,
// so painting tests use real glyphs and check the rules pixel by pixel.
struct Canvas {
    TPlainDIBX colour;
    TPlainDIBX mask;
    Canvas(int w, int h, int bits) : colour(w, h, bits), mask(w, h, 8) {}
};

uint32_t cov(const TFontPixel& g, int x, int y) {
    if (x < 0 || y < 0 || x >= g.GetWidth() || y >= g.GetHeight()) return 0;
    return g.Pixels()[y * g.GetWidth() + x];
}

}  // namespace

TEST(FontPixelPaint, PlainDrawKeepsTheLargerMaskAndPaintsSolid) {
    TFontPixelManager m;
    const TFontPixel* g = m.RenderGlyph(code_of("あ"), kGothic, 24, 0);
    Canvas c(40, 40, 32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) c.mask.SetPixel(x, y, 100);
    TRect out;
    g->DrawTo(c.colour, c.mask, Bounds(5, 5, 24, 24), 0, 0, false, false, 0x123456, 0, 0, out, false);
    // The glyph may move right to be centred; it keeps its row.
    const int x0 = out.Left, y0 = 5 + g->Top;
    EXPECT_GE(x0, 5 + g->Left);
    EXPECT_EQ(out, Bounds(x0, y0, g->GetWidth(), g->GetHeight()));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const uint32_t v = cov(*g, x - x0, y - y0);
            ASSERT_EQ(c.mask.GetPixel(x, y), std::max<uint32_t>(100, v)) << x << "," << y;
            ASSERT_EQ(c.colour.GetPixel(x, y), v ? 0x123456u : 0u);
        }
    // Copy mode replaces the mask with the coverage and fills the box.
    g->DrawTo(c.colour, c.mask, Bounds(5, 5, 24, 24), 0, 0, false, false, 0x654321, 0, 0, out, true);
    EXPECT_EQ(c.mask.GetPixel(x0, y0), cov(*g, 0, 0));
    EXPECT_EQ(c.colour.GetPixel(x0, y0), 0x654321u);
}

TEST(FontPixelPaint, GlyphPartlyOutsideIsClipped) {
    TFontPixelManager m;
    const TFontPixel* g = m.RenderGlyph(code_of("■"), kGothic, 24, 0);
    Canvas c(10, 10, 16);
    TRect out;
    g->DrawTo(c.colour, c.mask, Bounds(-8, -8, 24, 24), 1, 1, true, true, 0xF800, 0x001F, 0x07E0, out, false);
    // The part inside is drawn, nothing beyond the bounds was touched (no crash).
    EXPECT_GT(count_nonzero(c.mask), 0);
    g->DrawTo(c.colour, c.mask, Bounds(500, 500, 24, 24), 1, 1, true, true, 0xF800, 0x001F, 0x07E0, out, false);
    EXPECT_EQ(c.colour.OpenLocks(), 0);
    EXPECT_EQ(c.mask.OpenLocks(), 0);
}

TEST(FontPixelPaint, OverRuleAccumulatesMaskAndBlendsColour) {
    TFontPixelManager m;
    const TFontPixel* g = m.RenderGlyph(code_of("あ"), kGothic, 24, 0);
    // Find a partly covered pixel of the glyph.
    int px = -1, py = -1;
    for (int y = 0; y < g->GetHeight() && px < 0; ++y)
        for (int x = 0; x < g->GetWidth(); ++x)
            if (cov(*g, x, y) > 0 && cov(*g, x, y) < 255) {
                px = x, py = y;
                break;
            }
    ASSERT_GE(px, 0);
    const uint32_t c = cov(*g, px, py);
    Canvas k(40, 40, 32);
    PaintOver(k.colour, k.mask, 0, 0, *g, 0xFFFFFF);
    // From an empty mask the new mask is the coverage and the weight full.
    EXPECT_EQ(k.mask.GetPixel(px, py), c);
    EXPECT_EQ(k.colour.GetPixel(px, py), 0xFEFEFEu);  // (255 * 255) >> 8 per channel
    PaintOver(k.colour, k.mask, 0, 0, *g, 0x000000);
    const uint32_t m2 = c + (255 - c) * c / 255;
    const uint32_t w = c * 255 / m2;
    const uint32_t ch = ((255 - w) * 0xFE) >> 8;
    EXPECT_EQ(k.mask.GetPixel(px, py), m2);
    EXPECT_EQ(k.colour.GetPixel(px, py), ch << 16 | ch << 8 | ch);
}

// A first stamp of a glyph goes direct, a repeated one through the glyph's
// stamp plan (in lanes on 8-8-8 targets): both must give the same pixels.
TEST(FontPixelPaint, StampBorderEqualsPaintingAtEveryOffsetInTurn) {
    for (int bits : {15, 16, 32}) {
        TFontPixelManager m;  // a fresh glyph: its first stamp of each width goes direct
        const TFontPixel* g = m.RenderGlyph(code_of("字"), kGothic, 20, 0);
        // Every width drawn by stamping at each offset; each twice, so the
        // second goes through the glyph's plan.
        for (int b : {0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8}) {
            // Near the edge too, where offsets are cut one by one.
            for (auto [x, y] : {std::pair{6, 6}, std::pair{-3, 1}, std::pair{14, 12}}) {
                Canvas fast(30, 30, bits), slow(30, 30, bits);
                for (int yy = 0; yy < 30; ++yy)
                    for (int xx = 0; xx < 30; ++xx) {
                        const uint32_t v = (xx * 7 + yy * 13) * 0x010203u & (bits == 32 ? 0xFFFFFF : 0x7FFF);
                        fast.colour.SetPixel(xx, yy, v), slow.colour.SetPixel(xx, yy, v);
                        fast.mask.SetPixel(xx, yy, (xx * yy) & 0xFF), slow.mask.SetPixel(xx, yy, (xx * yy) & 0xFF);
                    }
                const uint32_t colour = bits == 32 ? 0x3080C0 : 0x5A5A;
                StampBorder(fast.colour, fast.mask, x, y, *g, colour, b);
                for (int dy = -b; dy <= b; ++dy)
                    for (int dx = -b; dx <= b; ++dx)
                        if (dx || dy) PaintOver(slow.colour, slow.mask, x + dx, y + dy, *g, colour);
                ASSERT_EQ(fast.colour.Bytes(), slow.colour.Bytes()) << bits << " " << b << " " << x;
                ASSERT_EQ(fast.mask.Bytes(), slow.mask.Bytes()) << bits << " " << b << " " << x;
            }
        }
    }
}

// Wider borders take the largest coverage within the square as one stamp,
// so their cost does not grow with the square of the width.
TEST(FontPixelPaint, WideBorderStampsTheLargestCoverageWithinTheSquare) {
    TFontPixelManager m;
    const TFontPixel* g = m.RenderGlyph(code_of("字"), kGothic, 20, 0);
    for (int bits : {16, 32})
        for (int b : {9, 12, 40})
            for (bool outside : {false, true})
                for (auto [x, y] : {std::pair{30, 30}, std::pair{-15, 4}, std::pair{60, 50}}) {
                    Canvas got(80, 70, bits), want(80, 70, bits);
                    for (int yy = 0; yy < 70; ++yy)
                        for (int xx = 0; xx < 80; ++xx) {
                            const uint32_t v = (xx * 5 + yy * 11) * 0x030201u & (bits == 32 ? 0xFFFFFF : 0xFFFF);
                            got.colour.SetPixel(xx, yy, v), want.colour.SetPixel(xx, yy, v);
                            got.mask.SetPixel(xx, yy, (xx + yy) & 0x7F), want.mask.SetPixel(xx, yy, (xx + yy) & 0x7F);
                        }
                    const uint32_t colour = bits == 32 ? 0x3080C0 : 0x5A5A;
                    stamp_border(got.colour, got.mask, x, y, *g, colour, b, outside);
                    // The oracle: per pixel the largest coverage within b, stamped once;
                    // left alone where the glyph itself lies when only the outside is asked.
                    for (int yy = 0; yy < 70; ++yy)
                        for (int xx = 0; xx < 80; ++xx) {
                            if (outside && cov(*g, xx - x, yy - y)) continue;
                            uint32_t c = 0;
                            for (int dy = -b; dy <= b; ++dy)
                                for (int dx = -b; dx <= b; ++dx) c = std::max(c, cov(*g, xx - x - dx, yy - y - dy));
                            if (c == 0) continue;
                            if (c == 255) {
                                want.colour.SetPixel(xx, yy, colour);
                                want.mask.SetPixel(xx, yy, 255);
                                continue;
                            }
                            // One partial stamp of coverage c by the over rule.
                            const uint32_t m0 = want.mask.GetPixel(xx, yy);
                            const uint32_t grown = m0 + (255 - m0) * c / 255;
                            const uint32_t w = std::min<uint32_t>(255, c * 255 / grown);
                            const uint32_t old = want.colour.GetPixel(xx, yy);
                            uint32_t out = 0;
                            for (uint32_t chm : {got.colour.RedMask(), got.colour.GreenMask(), got.colour.BlueMask()})
                                out |= ((w * (colour & chm) + (255 - w) * (old & chm)) >> 8) & chm;
                            want.colour.SetPixel(xx, yy, out);
                            want.mask.SetPixel(xx, yy, grown);
                        }
                    ASSERT_EQ(got.mask.Bytes(), want.mask.Bytes()) << bits << " " << b << " " << x;
                    ASSERT_EQ(got.colour.Bytes(), want.colour.Bytes()) << bits << " " << b << " " << x;
                }
}

TEST(FontPixelPaint, TwoColourCutsChannelsAndOtherDepthsAreLeftAlone) {
    TFontPixelManager m;
    const TFontPixel* g = m.RenderGlyph(code_of("あ"), kGothic, 24, 0);
    TPlainDIBX c16(30, 30, 16);
    PaintTwoColour(c16, 0, 0, *g, 0xFFFF, 0x0000);
    for (int y = 0; y < g->GetHeight(); ++y)
        for (int x = 0; x < g->GetWidth(); ++x) {
            const uint32_t c = cov(*g, x, y);
            uint32_t want = 0;
            if (c >= 255) want = 0xFFFF;
            else if (c) want = ((c * 0xF800 >> 8) & 0xF800) | ((c * 0x07E0 >> 8) & 0x07E0) | ((c * 0x1F >> 8) & 0x1F);
            ASSERT_EQ(c16.GetPixel(x, y), want);
        }
    for (int bits : {8, 24}) {
        Canvas k(30, 30, bits);
        TRect out;
        g->DrawTo(k.colour, k.mask, Bounds(0, 0, 24, 24), 1, 1, false, false, 0xFFFFFF, 0xFF, 0xFF00, out, false);
        EXPECT_EQ(count_nonzero(k.colour), 0) << bits;
        EXPECT_GT(count_nonzero(k.mask), 0) << bits;
    }
}

TEST(FontPixelPaint, BorderAndShadowPlacesEveryPass) {
    TFontPixelManager m;
    // A small glyph, so that the line bands can be seen apart from it.
    const TFontPixel* g = m.RenderGlyph(code_of("・"), kGothic, 24, fsUnderline);
    ASSERT_GT(g->UnderlineThickness, 0);
    ASSERT_EQ(g->StrikeOutThickness, 0);
    const int b = 2, s = 3;
    Canvas k(60, 60, 32);
    TRect out;
    const TRect cell = Bounds(10, 10, 24, 24);
    g->DrawTo(k.colour, k.mask, cell, b, s, false, true, 0xFFFFFF, 0x0000FF, 0x00FF00, out, false);
    // Across the middle row of the glyph: border first, then fill, then
    // border again, and the shadow last, s pixels further right.
    const int my = cell.Top + g->Top + b + g->GetHeight() / 2;
    int left = 0;
    while (left < 60 && k.mask.GetPixel(left, my) == 0) ++left;
    int right = left;
    while (right < 60 && k.mask.GetPixel(right, my) != 0) ++right;
    ASSERT_GT(left, cell.Left);
    EXPECT_EQ(right - left, g->GetWidth() + 2 * b + s);
    EXPECT_EQ(k.colour.GetPixel(left, my) & 0xFFFF00u, 0u);
    EXPECT_GT(k.colour.GetPixel(left, my) & 0xFFu, 0xC0u);
    EXPECT_EQ(k.colour.GetPixel(left + b + g->GetWidth() / 2, my), 0xFFFFFFu);
    EXPECT_EQ(k.colour.GetPixel(right - 1, my) & 0xFF00FFu, 0u);
    EXPECT_GT(k.colour.GetPixel(right - 1, my) & 0x00FF00u, 0x008000u);
    // The underline: fill band with border bands above and below, ended s
    // before the cell's right edge by the run-end flag.
    const int ut = cell.Bottom - s - b - g->UnderlineThickness;
    EXPECT_EQ(k.colour.GetPixel(cell.Left, ut), 0xFFFFFFu);
    EXPECT_EQ(k.colour.GetPixel(cell.Left, ut - 1), 0x0000FFu);
    EXPECT_EQ(k.colour.GetPixel(cell.Left, ut + g->UnderlineThickness), 0x0000FFu);
    EXPECT_EQ(k.mask.GetPixel(cell.Right - s - 1, ut), 255u);
    EXPECT_EQ(k.colour.GetPixel(cell.Right - s, ut + s), 0x00FF00u);  // the shadow band shows there
    // The shadow band under it reaches the cell's right edge and bottom, no further.
    EXPECT_EQ(k.colour.GetPixel(cell.Right - 1, cell.Bottom - 1), 0x00FF00u);
    EXPECT_EQ(k.mask.GetPixel(cell.Right - 1, cell.Bottom - 1), 255u);
    EXPECT_EQ(k.mask.GetPixel(cell.Right, cell.Bottom - 1), 0u);
    EXPECT_EQ(k.mask.GetPixel(cell.Left, cell.Bottom), 0u);
    EXPECT_GE(out.Bottom, cell.Bottom);
    // Strike-out in the fill colour at its place, bordered, its shadow s lower.
    const TFontPixel* so = m.RenderGlyph(code_of("・"), kGothic, 24, fsStrikeOut);
    ASSERT_GT(so->StrikeOutThickness, 0);
    Canvas k2(60, 60, 32);
    so->DrawTo(k2.colour, k2.mask, cell, b, s, false, false, 0xFFFFFF, 0x0000FF, 0x00FF00, out, false);
    const int st = cell.Top + b + so->StrikeOutTop;
    EXPECT_EQ(k2.colour.GetPixel(cell.Left, st), 0xFFFFFFu);
    EXPECT_EQ(k2.colour.GetPixel(cell.Left, st - 1), 0x0000FFu);
    EXPECT_EQ(k2.colour.GetPixel(cell.Left, st + so->StrikeOutThickness + b), 0x00FF00u);
    EXPECT_EQ(k2.colour.GetPixel(cell.Right - 1, st), 0xFFFFFFu);  // no run end: full width
}

TEST(FontPixelPaint, NarrowGlyphIsCentredInItsCell) {
    TFontPixelManager m;
    Canvas k(60, 60, 32);
    TRect out;
    // A symmetric letter lands in the middle of a full-size cell.
    const TFontPixel* i = m.RenderGlyph('I', kGothic, 24, 0);
    i->DrawTo(k.colour, k.mask, Bounds(0, 0, 24, 24), 0, 0, false, false, 0xFFFFFF, 0, 0, out, false);
    EXPECT_NEAR(out.Left * 2 + out.Width(), 24, 2);
    // Others keep the share of their advance that lies left of their ink middle.
    const TFontPixel* one = m.RenderGlyph('1', kGothic, 24, 0);
    const int room = 24 - one->GetWidth();
    const double share = (one->AbcA + one->AbcB / 2) / double(one->AbcA + one->AbcB + one->AbcC);
    one->DrawTo(k.colour, k.mask, Bounds(0, 30, 24, 24), 0, 0, false, false, 0xFFFFFF, 0, 0, out, false);
    EXPECT_NEAR(out.Left, share * room, 0.5 + 1e-9);
    // A cell only its advance wide leaves it where the font puts it.
    const int advance = one->Left + one->GetWidth() + one->ExtraAdvance;
    one->DrawTo(k.colour, k.mask, Bounds(30, 0, advance, 24), 0, 0, false, false, 0xFFFFFF, 0, 0, out, false);
    EXPECT_EQ(out.Left, 30 + one->Left);
}

TEST(FontPixelPaint, BorderedDrawEqualsItsStepsInTurn) {
    for (int bits : {16, 32}) {
        TFontPixelManager m;
        const TFontPixel* g = m.RenderGlyph(code_of("縁"), kGothic, 28, 0);
        // The first pass stamps directly, the second through the glyph's plans.
        for (int pass = 0; pass < 2; ++pass) {
            const int b = 2, s = 3;
            Canvas drawn(60, 60, bits), steps(60, 60, bits);
            for (int yy = 0; yy < 60; ++yy)
                for (int xx = 0; xx < 60; ++xx) {
                    const uint32_t v = (xx * 5 + yy * 11) * 0x030201u & (bits == 32 ? 0xFFFFFF : 0xFFFF);
                    drawn.colour.SetPixel(xx, yy, v), steps.colour.SetPixel(xx, yy, v);
                    drawn.mask.SetPixel(xx, yy, (xx + yy) * 3 & 0xFF), steps.mask.SetPixel(xx, yy, (xx + yy) * 3 & 0xFF);
                }
            const uint32_t F = bits == 32 ? 0xF0E0D0 : 0xFFFF, B = bits == 32 ? 0x102030 : 0x0841,
                           S = bits == 32 ? 0x405060 : 0x7BEF;
            TRect out;
            g->DrawTo(drawn.colour, drawn.mask, Bounds(8, 6, 28, 28), b, s, false, false, F, B, S, out, false);
            const int x = out.Left, y = out.Top;
            StampBorder(steps.colour, steps.mask, x + b + s, y + b + s, *g, S, b);
            StampBorder(steps.colour, steps.mask, x + b, y + b, *g, B, b);
            MaskFromCoverage(steps.mask, x + b, y + b, *g);
            PaintTwoColour(steps.colour, x + b, y + b, *g, F, B);
            ASSERT_EQ(drawn.colour.Bytes(), steps.colour.Bytes()) << bits << " pass " << pass;
            ASSERT_EQ(drawn.mask.Bytes(), steps.mask.Bytes()) << bits << " pass " << pass;
        }
    }
}

TEST(FontPixelPaint, NegativeWidthsMeanNone) {
    TFontPixelManager m;
    const TFontPixel* g = m.RenderGlyph(code_of("あ"), kGothic, 24, fsUnderline);
    Canvas a(40, 40, 32), z(40, 40, 32);
    TRect out_a, out_z;
    g->DrawTo(a.colour, a.mask, Bounds(2, 2, 24, 24), -3, -2, true, true, 0xFFFFFF, 0xFF, 0xFF00, out_a, false);
    g->DrawTo(z.colour, z.mask, Bounds(2, 2, 24, 24), 0, 0, true, true, 0xFFFFFF, 0xFF, 0xFF00, out_z, false);
    EXPECT_EQ(out_a, out_z);
    EXPECT_EQ(a.colour.Bytes(), z.colour.Bytes());
    EXPECT_EQ(a.mask.Bytes(), z.mask.Bytes());
}

// A line's wide borders stamped from one dilation equal each glyph's shadow
// and border stamped in turn where the glyphs' cells part them, glyphs far
// off the target included, and a line wider than the strips it is dilated
// by, a glyph's square and shadow across a strip's edge.
TEST(FontPixelPaint, ABorderRunEqualsItsGlyphsStampedInTurn) {
    TFontPixelManager m;
    const TFontPixel* a = m.RenderGlyph(code_of("字"), kGothic, 20, 0);
    const TFontPixel* z = m.RenderGlyph(code_of("あ"), kGothic, 20, 0);
    for (int bits : {16, 32})
        for (int b : {9, 16, 40})
            for (int s : {0, 3}) {
                const int32_t cell = 20 + 2 * b + s, w = 1010 + cell, h = cell + 5;
                std::vector<BorderRunGlyph> run;
                for (auto [x, y] : {std::pair{-3, 2}, std::pair{cell - 3, 2}, std::pair{2 * cell - 3, -4},
                                    std::pair{1000, 3}, std::pair{-5000, 0}, std::pair{5000, -3000},
                                    std::pair{0, 4000}})
                    run.push_back({run.size() % 2 ? z : a, Bounds(x, y, cell, cell)});
                Canvas got(w, h, bits), want(w, h, bits);
                for (int yy = 0; yy < h; ++yy)
                    for (int xx = 0; xx < w; ++xx) {
                        const uint32_t v = (xx * 5 + yy * 11) * 0x030201u & (bits == 32 ? 0xFFFFFF : 0xFFFF);
                        got.colour.SetPixel(xx, yy, v), want.colour.SetPixel(xx, yy, v);
                        got.mask.SetPixel(xx, yy, (xx + yy) & 0x7F), want.mask.SetPixel(xx, yy, (xx + yy) & 0x7F);
                    }
                StampBorderRun(got.colour, got.mask, run, b, s, 0x3080C0, 0x102030);
                for (const BorderRunGlyph& r : run) {
                    const TPoint o = r.glyph->Origin(r.cell);
                    if (s > 0) StampBorder(want.colour, want.mask, o.X + b + s, o.Y + b + s, *r.glyph, 0x102030, b);
                    stamp_border(want.colour, want.mask, o.X + b, o.Y + b, *r.glyph, 0x3080C0, b, true);
                }
                EXPECT_GT(count_nonzero(got.mask), w * h / 2) << bits << " " << b << " " << s;
                EXPECT_EQ(got.colour.Bytes(), want.colour.Bytes()) << bits << " " << b << " " << s;
                EXPECT_EQ(got.mask.Bytes(), want.mask.Bytes()) << bits << " " << b << " " << s;
            }
}
