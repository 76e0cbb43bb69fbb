// Pixels of rendered lines against the same glyphs drawn by hand from the
// glyph cache: positions, ruby cells, run flags of borders and shadows, the
// composite with opacity through the view.
#include "render/font_pixel.h"
#include "tests/render/text/text_fixture.h"

#include <gtest/gtest.h>

using namespace texttest;

namespace {

struct Stamp {
    uint16_t code;
    int32_t size;
    uint8_t style;
    TRect cell;
    int32_t border, shadow;
    bool run_start, run_end;
    uint32_t fill;  // colour (0x00BBGGRR)
};

// The off-screen pair a page of the given size should hold after drawing
// each stamp with the glyph cache.
void draw_by_hand(const std::vector<Stamp>& stamps, TPlainDIBX& colour, TPlainDIBX& mask, uint32_t border_colour,
                  uint32_t shadow_colour) {
    const std::string font = Sjis("ＭＳ ゴシック");
    for (const Stamp& s : stamps) {
        const TFontPixel* g = FontPixelManager().RenderGlyph(s.code, font, s.size, s.style);
        TRect out;
        g->DrawTo(colour, mask, s.cell, s.border, s.shadow, s.run_start, s.run_end,
                  static_cast<uint32_t>(colour.ColorToPixel(static_cast<int32_t>(s.fill))),
                  static_cast<uint32_t>(colour.ColorToPixel(static_cast<int32_t>(border_colour))),
                  static_cast<uint32_t>(colour.ColorToPixel(static_cast<int32_t>(shadow_colour))), out, false);
    }
}

int differing(TCustomDIBX& a, TCustomDIBX& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
    int n = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x) n += a.GetPixel(x, y) != b.GetPixel(x, y);
    return n;
}

int set_pixels(TCustomDIBX& s) {
    int n = 0;
    for (int32_t y = 0; y < s.Height(); ++y)
        for (int32_t x = 0; x < s.Width(); ++x) n += s.GetPixel(x, y) != 0;
    return n;
}

struct Render : ::testing::Test {
    std::unique_ptr<TWzWord> w = make_word();
    TWdPageList pages;
    TPlainDIBX target{100, 60, 32};
    void SetUp() override {
        w->ViewWidth = 60;
        w->PageHeight = 40;
        w->Target = &target;
        w->TextColor = 0x2040FF;
        w->BorderColor = 0x00FF00;
        w->ShadowColor = 0x0000FF;
        FontPixelManager().SetQuality(3);
    }
    TWdPage& render(const std::string& text) {
        compile(*w, text);
        pages.clear();
        LayoutPages(*w, pages, 0, -1);
        pages[0]->Render(false);
        return *pages[0];
    }
    void expect_pair(const std::vector<Stamp>& stamps) {
        TPlainDIBX colour(w->ColourSurface().Width(), w->ColourSurface().Height(), 32);
        TPlainDIBX mask(colour.Width(), colour.Height(), 8);
        draw_by_hand(stamps, colour, mask, w->BorderColor, w->ShadowColor);
        EXPECT_GT(set_pixels(mask), 20);
        EXPECT_EQ(differing(w->MaskSurface(), mask), 0);
        EXPECT_EQ(differing(w->ColourSurface(), colour), 0);
    }
};

}  // namespace

TEST_F(Render, PlainLineMatchesTheGlyphCache) {
    render("あbC<BR><FONT SIZE=20 COLOR=#FF0000>漢</FONT>");
    ASSERT_EQ(w->ColourSurface().Width(), 60);
    ASSERT_EQ(w->ColourSurface().Height(), 32);
    expect_pair({{0x82A0, 12, 0, Bounds(0, 0, 12, 12), 0, 0, true, false, 0x2040FF},
                 {'b', 12, 0, Bounds(12, 0, 12, 12), 0, 0, false, false, 0x2040FF},
                 {'C', 12, 0, Bounds(24, 0, 12, 12), 0, 0, false, true, 0x2040FF},
                 {0x8ABF, 20, 0, Bounds(0, 12, 20, 20), 0, 0, true, true, 0x0000FF}});
}

TEST_F(Render, BordersShadowsAndTheirRuns) {
    w->BorderWidth = 1;
    render("<FONT BORDER=2 SHADOW=1>あい</FONT><FONT SHADOW=2>う</FONT>");
    // Cells grow by twice the border and the shadow; a run ends where the
    // border or shadow changes.
    expect_pair({{0x82A0, 12, 0, Bounds(0, 0, 17, 17), 2, 1, true, false, 0x2040FF},
                 {0x82A2, 12, 0, Bounds(17, 0, 17, 17), 2, 1, false, true, 0x2040FF},
                 {0x82A4, 12, 0, Bounds(34, 1, 16, 16), 1, 2, true, true, 0x2040FF}});
}

TEST_F(Render, RubyOverItsGroup) {
    w->ViewWidth = 80;
    render("<RUBY VALUE=かな>漢字</RUBY>x");
    // Group 24 wide, two ruby characters: step 6, ruby size 6, each centred
    // on its half (x = round((2k - 1) * 6) - 3); the base characters sit
    // 6 lower in cells 6 shorter.
    expect_pair({{0x82A9, 6, 0, Bounds(3, 0, 6, 6), 0, 0, false, false, 0x2040FF},
                 {0x82C8, 6, 0, Bounds(15, 0, 6, 6), 0, 0, false, false, 0x2040FF},
                 {0x8ABF, 12, 0, Bounds(0, 6, 12, 12), 0, 0, true, false, 0x2040FF},
                 {0x8E9A, 12, 0, Bounds(12, 6, 12, 12), 0, 0, false, false, 0x2040FF},
                 {'x', 12, 0, Bounds(24, 6, 12, 12), 0, 0, false, true, 0x2040FF}});
}

TEST_F(Render, LinksAreUnderlinedInTheirColour) {
    w->LinkColor = 0x00FFFF;
    render("<A HREF=u>あ</A>い");
    expect_pair({{0x82A0, 12, fsUnderline, Bounds(0, 0, 12, 12), 0, 0, true, false, 0x00FFFF},
                 {0x82A2, 12, 0, Bounds(12, 0, 12, 12), 0, 0, false, true, 0x2040FF}});
}

TEST_F(Render, CompositeThroughTheViewWithOpacity) {
    w->ViewX = 30;
    w->ViewY = 10;
    w->PageHeight = 6;  // the view cuts the line in half
    TWdPage& p = render("あい");
    p.ResetTypewriter();
    w->GlyphAt(0)->SetOpacity(255);
    w->GlyphAt(1)->SetOpacity(0);
    w->DrawPage(p);
    TPlainDIBX want(100, 60, 32);
    want.FillMask(30, 10, w->MaskSurface(), Bounds(0, 0, 12, 6), false, false,
                  static_cast<uint32_t>(want.ColorToPixel(0x2040FF)), 255);
    EXPECT_GT(set_pixels(target), 0);
    EXPECT_EQ(differing(target, want), 0);

    // Half opacity blends half way; nothing lands outside the view.
    TPlainDIBX half_target(100, 60, 32);
    w->Target = &half_target;
    w->GlyphAt(0)->SetOpacity(128);
    w->DrawPage(p);
    TPlainDIBX half(100, 60, 32);
    half.FillMask(30, 10, w->MaskSurface(), Bounds(0, 0, 12, 6), false, false,
                  static_cast<uint32_t>(half.ColorToPixel(0x2040FF)), 128);
    EXPECT_EQ(differing(half_target, half), 0);
    EXPECT_NE(differing(half_target, want), 0);
}

TEST_F(Render, RowsStampWideBordersAsGlyphAfterGlyphWould) {
    // The same page drawn by its rows and then glyph by glyph, as a single
    // glyph is redrawn when hovered.
    w->ViewWidth = 400;
    w->PageHeight = 300;
    const char* texts[] = {"あいう<BR>漢字b", "<FONT SHADOW=3>あい</FONT>う<FONT SHADOW=1>x</FONT>",
                           "<FONT BCOLOR=#FF0000>あ</FONT>い<FONT SIZE=20>漢</FONT><FONT BORDER=12>字</FONT>"};
    for (const int32_t border : {1, 2, 3, 16})
        for (const char* text : texts) {
            w->BorderWidth = border;
            w->ShadowWidth = 2;
            TWdPage& page = render(text);
            TPlainDIBX colour(w->ColourSurface().Width(), w->ColourSurface().Height(), 32);
            TPlainDIBX mask(colour.Width(), colour.Height(), 8);
            colour.Draw(0, 0, w->ColourSurface(), w->ColourSurface().BoundsRect(), false, false, false);
            mask.Draw(0, 0, w->MaskSurface(), w->MaskSurface().BoundsRect(), false, false, false);
            w->ColourSurface().Fill(0);
            w->MaskSurface().Fill(0);
            for (TWdGlyph* row : page.Children)
                for (TWdGlyph* g : static_cast<TWdRow*>(row)->Children) g->Render(false);
            EXPECT_GT(set_pixels(mask), 100) << border << " " << text;
            EXPECT_EQ(differing(w->MaskSurface(), mask), 0) << border << " " << text;
            EXPECT_EQ(differing(w->ColourSurface(), colour), 0) << border << " " << text;
        }
}
