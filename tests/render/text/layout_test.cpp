// Line breaking and paging against layouts worked out by hand: 12-pixel
// cells (the default size), a view 60 pixels wide (five cells).
#include "script/param_collection.h"
#include "render/text/display_link.h"
#include "tests/render/text/text_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace texttest;

namespace {

// Inline pictures for layout: every name ending in ".png" exists, as a
// picture whose size the name gives ("24x36.png").
class SizedFrames : public TWdImageFrames {
public:
    explicit SizedFrames(int frames) : frames_(frames) {}
    void LoadFromFile(void*, const std::string& name) override {
        int w = 0, h = 0;
        std::sscanf(name.c_str(), "%dx%d", &w, &h);
        surface_.SetSize(w, h, 32);
    }
    int32_t FrameCount() const override { return frames_; }
    TCustomDIBX* CurrentSurface() override { return &surface_; }
    bool Step() override { return ++steps > 0; }
    void ReleaseAdjusted() override {}
    void RebuildAdjusted() override {}
    int steps = 0;

private:
    int frames_;
    TPlainDIBX surface_;
};

class SizedSource : public TWdImageSource {
public:
    bool FileExists(const std::string& name) override {
        return name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0;
    }
    std::unique_ptr<TWdImageFrames> CreateFrames() override { return std::make_unique<SizedFrames>(1); }
};

struct Layout : ::testing::Test {
    SizedSource source;
    std::unique_ptr<TWzWord> w = make_word();
    TWdPageList pages;
    void SetUp() override {
        SetRichTextImageSource(&source);
        w->ViewWidth = 60;
        w->PageHeight = 1000;
    }
    void TearDown() override {
        pages.clear();
        SetRichTextImageSource(nullptr);
    }
    std::string of(const std::string& text) {
        compile(*w, text);
        return layout(*w, pages);
    }
};

}  // namespace

TEST_F(Layout, JapaneseLineBreakingRules) {
    struct Case {
        const char* text;
        const char* rows;
    };
    const Case cases[] = {
        {"あいうえおかきくけこ", "あいうえお|かきくけこ"},
        // Closing marks never start a line: the character before goes with them.
        {"あいうえお。かき", "あいうえ|お。かき"},
        {"あいうえお」。か", "あいうえ|お」。か"},
        {"あいうえお！？", "あいうえ|お！？"},
        {"あいうえお｣", "あいうえ|お｣"},
        // Run wider than the view at a row start: the mark stays beyond the bound.
        {"<NOBR>あいうえお</NOBR>。か", "あいうえお。|か"},
        // An opening mark never ends a line: it moves on with what follows.
        {"あいうえ「かき", "あいうえ|「かき"},
        {"あいうえ（か", "あいうえ|（か"},
        {"あいう「「か", "あいう「「|か"},
        // ... but an operator after it still acts.
        {"あ<INDENT>いうえお「<UNDENT>かきくけこ", "あいうえお|_「かきく|けこ"},
        // Single-byte letters form words; a space stays with the word before it.
        {"ab cd efgh", "ab |cd |efgh"},
        {"abcdefgh ij", "abcdefgh |ij"},
        {"あいうab", "あいうab"},
        {"あいうえab", "あいうえ|ab"},
        // The sets match whole characters: B, A and u are trail bytes of
        // 。, 、 and 「, and ゼ ends in the byte of "[", yet none is that mark.
        {"あいうえおBか", "あいうえお|Bか"},
        {"あいうえおAか", "あいうえお|Aか"},
        {"あいうえuか", "あいうえu|か"},
        {"あいうえゼか", "あいうえゼ|か"},
        {"あいう<NOBR>えおか</NOBR>き", "あいう|えおかき"},
        {"あいうえ<RUBY VALUE=よみ>おか</RUBY>き", "あいうえ|おかき"},
        {"あ<BR>い", "あ⏎|い"},
        {"あいうえお<BR>か", "あいうえお⏎|か"},
        {"<BR><BR>a", "⏎|⏎|a"},
        {"あ<CLEAR>い", "あ⏎/い"},
        {"あ<INDENT>いうえおかきくけ", "あいうえお|_かきくけ"},
        {"あ<INDENT>いうえおかきくけ<UNDENT>こさしすせそ", "あいうえお|_かきくけ|こさしすせ|そ"},
        // A run wider than the room beside an indent stays in the fresh row.
        {"あ<INDENT>abcdefghij", "あ|_abcdefghij"},
        {"abcdefghijkl", "abcdefghijkl"},
    };
    for (const Case& c : cases) EXPECT_EQ(of(c.text), c.rows) << c.text;
}

TEST_F(Layout, RunsAndBreakPredicates) {
    compile(*w, "「あいう。");
    for (int32_t i = 0; i < w->GlyphCount(); ++i) w->GlyphAt(i)->LoadResources();
    int32_t width, count;
    UnbreakableRunWidth(*w, 0, w->GlyphCount(), width, count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(width, 24);
    UnbreakableRunWidth(*w, 3, w->GlyphCount(), width, count);
    EXPECT_EQ(count, 2);  // う and 。
    UnbreakableRunWidth(*w, 3, 4, width, count);  // the range ends the run
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(MayEndLine(w->GlyphAt(0)));
    EXPECT_TRUE(MayEndLine(w->GlyphAt(1)));
    EXPECT_FALSE(CanBreakBefore(w->GlyphAt(4), w->GlyphAt(3)));
    EXPECT_FALSE(CanBreakBefore(w->GlyphAt(4), nullptr));
    EXPECT_TRUE(CanBreakBefore(w->GlyphAt(1), nullptr));
}

TEST_F(Layout, RowGeometryAlignmentAndHeights) {
    w->LineSpacing = 3;
    compile(*w, "<DIV ALIGN=right>あい<BR></DIV><DIV ALIGN=center>う<BR></DIV><FONT SIZE=20>え</FONT>お<BR><BR>x");
    EXPECT_EQ(layout(*w, pages), "あい⏎|う⏎|えお⏎|⏎|x");
    const TWdPage& p = *pages[0];
    struct Row {
        int32_t y, height, first_x;
    };
    const Row rows[] = {{0, 12, 36}, {15, 12, 24}, {30, 20, 0}, {53, 12, 0}, {68, 12, 0}};
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(p.RowAt(r)->Y, rows[r].y) << r;
        EXPECT_EQ(p.RowAt(r)->GetHeight(), rows[r].height) << r;
        EXPECT_EQ(p.RowAt(r)->Children[0]->X, rows[r].first_x) << r;
    }
    // Smaller glyphs sit on the row's bottom.
    EXPECT_EQ(p.RowAt(2)->Children[1]->Y, 8);
    EXPECT_EQ(p.Height, 80);
}

TEST_F(Layout, InlineImagesAlignVertically) {
    compile(*w, "あ<IMG SRC=10x30.png ALIGN=top>い<IMG SRC=10x20.png ALIGN=center><IMG SRC=20x16.png>"
                "<IMG SRC=missing.bmp>");
    EXPECT_EQ(layout(*w, pages), "あ[10x30.png]い[10x20.png]|[20x16.png][missing.bmp]");
    const TWdRow& r = *pages[0]->RowAt(0);
    // base 12: TOP needs 18 below, CENTER (20-12+1)/2 = 4 above and below.
    EXPECT_EQ(r.Above, 4);
    EXPECT_EQ(r.Base, 12);
    EXPECT_EQ(r.Below, 18);
    EXPECT_EQ(r.Children[0]->Y, 4);   // bottom-aligned character
    EXPECT_EQ(r.Children[1]->Y, 4);   // TOP image at the extent above
    EXPECT_EQ(r.Children[3]->Y, 0);   // CENTER image: 4 + (12 - 20) / 2
    const TWdGlyph* missing = w->GlyphAt(5);
    EXPECT_EQ(missing->GetWidth(), 0);
    EXPECT_EQ(missing->GetHeight(), 0);
    EXPECT_EQ(pages[0]->RowAt(1)->GetHeight(), 16);
}

TEST_F(Layout, NoWidthMeansNoWrapping) {
    w->ViewWidth = 0;
    EXPECT_EQ(of("あいう<BR>あいうえおかき<BR><DIV ALIGN=right>x"), "あいう⏎|あいうえおかき⏎|x");
    EXPECT_EQ(w->ViewWidth, 84);
    EXPECT_EQ(pages[0]->RowAt(2)->Children[0]->X, 72);
}

TEST_F(Layout, Paging) {
    w->PageHeight = 30;
    EXPECT_EQ(of("あいうえおかきくけこさしすせそた"), "あいうえお|かきくけこ/さしすせそ|た");
    // A page never ends after its first row, however tall that row is.
    EXPECT_EQ(of("<FONT SIZE=40>あ</FONT><BR>い"), "あ⏎/い");
    w->Paging = 0;
    EXPECT_EQ(of("あいうえおかきくけこさしすせそた"), "あいうえお|かきくけこ|さしすせそ|た");
}

namespace {
void insert_float(TWzWord& w, int32_t at, const char* src, uint8_t align) {
    auto g = std::make_unique<TWdImg>(w);
    g->Src = src;
    g->Align = align;
    w.InsertGlyph(at, std::move(g));
}
}  // namespace

TEST_F(Layout, FloatsNarrowTheRowsBesideThem) {
    compile(*w, "あいうえおかきくけこ");
    insert_float(*w, 0, "24x24.png", waLeft);
    EXPECT_EQ(layout(*w, pages), "[24x24.png]あいう|えおか|きくけこ");
    EXPECT_EQ(pages[0]->RowAt(0)->Children[0]->X, 0);
    EXPECT_EQ(pages[0]->RowAt(0)->Children[1]->X, 24);
    EXPECT_EQ(pages[0]->RowAt(1)->Children[0]->X, 24);
    EXPECT_EQ(pages[0]->RowAt(2)->Children[0]->X, 0);

    compile(*w, "あいうえおかきくけこ");
    insert_float(*w, 0, "24x24.png", waRight);
    EXPECT_EQ(layout(*w, pages), "[24x24.png]あいう|えおか|きくけこ");
    EXPECT_EQ(pages[0]->RowAt(0)->Children[0]->X, 36);
    EXPECT_EQ(pages[0]->RowAt(0)->Children[1]->X, 0);

    // A float after text waits for the next row.
    compile(*w, "あいうえおかき");
    insert_float(*w, 2, "24x24.png", waLeft);
    EXPECT_EQ(layout(*w, pages), "あい|[24x24.png]うえお|かき");
}

TEST_F(Layout, FloatTallerThanThePageEndsTheLayout) {
    w->PageHeight = 30;
    compile(*w, "あいうえおかきく");
    insert_float(*w, 0, "10x50.png", waLeft);
    insert_float(*w, 8, "10x50.png", waLeft);
    EXPECT_EQ(layout(*w, pages), "[10x50.png]あいうえ|おかき/[10x50.png]く");
}

TEST_F(Layout, RangesBySourcePosition) {
    TParamCollection table;
    Params = &table;
    auto* x = table.AddVariable(PT_STR);
    x->SetName("x");
    x->Value()->SetAsString("ab");
    compile(*w, "<VAR NAME=x>あいう");
    w->ExpandVars(0, -1);
    Params = nullptr;
    ASSERT_EQ(w->GlyphCount(), 6);  // VAR, a, b, あ, い, う
    LayoutPages(*w, pages, 0, 2);
    EXPECT_EQ(rows_of(pages), "abあ");
    pages.clear();
    LayoutPages(*w, pages, 3, -1);
    EXPECT_EQ(rows_of(pages), "あいう");

    // A range whose end needs the last glyph lays out to the end.
    compile(*w, "<VAR NAME=x>あ");
    Params = &table;
    w->ExpandVars(0, -1);
    Params = nullptr;
    ASSERT_EQ(w->GlyphCount(), 4);
    EXPECT_EQ(w->GlyphOfSource(2), -1);
    pages.clear();
    LayoutPages(*w, pages, 0, 2);
    EXPECT_EQ(rows_of(pages), "abあ");
}
