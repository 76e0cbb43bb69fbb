// The typewriter on an injected clock: reveal budgets, fades, events fired
// after the fades, the caret, scrolling, and the saved display state.
#include "files/field_reader.h"
#include "files/save_stream.h"
#include "platform/exception.h"
#include "tests/render/text/text_fixture.h"

#include <gtest/gtest.h>

using namespace texttest;

namespace {

struct Typewriter : ::testing::Test {
    std::unique_ptr<TWzWord> w = make_word();
    TWdPageList pages;
    std::vector<std::string> fired;
    void SetUp() override {
        w->ViewWidth = 60;
        w->PageHeight = 1000;
        w->OnEvent = [this](const std::string& name) { fired.push_back(name); };
    }
    TWdPage& start(const std::string& text) {
        compile(*w, text);
        pages.clear();
        LayoutPages(*w, pages, 0, -1);
        TWdPage& p = *pages[0];
        p.ResetTypewriter();
        return p;
    }
    // Glyphs of the page that have begun to show (opacity below 255 while fading).
    int revealed(TWdPage& p) {
        int n = 0;
        for (int32_t r = 0; r < p.RowCount(); ++r)
            for (const TWdGlyph* g : p.RowAt(r)->Children)
                n += r < p.CurrentRow || (r == p.CurrentRow && p.RowAt(r)->IndexOfChild(g) < p.CurrentGlyph);
        return n;
    }
    std::vector<int32_t> opacities(const TWdPage& p) {
        std::vector<int32_t> out;
        for (int32_t r = 0; r < p.RowCount(); ++r)
            for (const TWdGlyph* g : p.RowAt(r)->Children)
                if (g->IsVisible()) out.push_back(g->GetOpacity());
        return out;
    }
    std::string frame(TWdPage& p, uint32_t tick = 16) {
        std::string log;
        AdvanceTypewriter(p, tick, log);
        return Cp932ToUtf8(log);
    }
};

}  // namespace

TEST_F(Typewriter, SpeedZeroShowsThePageAtOnce) {
    w->Delay = 0;
    TWdPage& p = start("あいうえおかき");
    std::string log;
    EXPECT_FALSE(AdvanceTypewriter(p, 16, log));
    EXPECT_EQ(Cp932ToUtf8(log), "あいうえおかき");
    EXPECT_EQ(opacities(p), std::vector<int32_t>(7, 255));
    EXPECT_TRUE(p.AllShown());
    EXPECT_FALSE(p.IsTyping());
    // The end is reported once, in the next frame.
    EXPECT_TRUE(AdvanceTypewriter(p, 16, log));
    EXPECT_FALSE(AdvanceTypewriter(p, 16, log));
}

TEST_F(Typewriter, WaitsSpendTheBudgetFrameByFrame) {
    w->Delay = 0;
    w->Speed = 256;
    TWdPage& p = start("<WAIT VALUE=50>あいうえ</WAIT><WAIT VALUE=-20>かき");
    // Waits of 50 ms at 16 ms a frame: a glyph at 0, 64, 112, 160 ms; then
    // unscaled negative waits of 20 ms.
    const int want[] = {1, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 6, 6};
    for (int f = 0; f < 16; ++f) {
        frame(p);
        EXPECT_EQ(revealed(p), want[f]) << "frame " << f;
    }
    // Speed 128 halves positive waits (25 ms each); negative waits stay 20 ms.
    w->Speed = 128;
    p.ResetTypewriter();
    const int half[] = {1, 1, 2, 2, 3, 4, 4, 5};
    for (int f = 0; f < 8; ++f) {
        frame(p);
        EXPECT_EQ(revealed(p), half[f]) << "frame " << f;
    }
    // A negative speed makes negative waits free.
    w->Speed = -1;
    TWdPage& q = start("<WAIT VALUE=-20>かきく");
    frame(q);
    EXPECT_EQ(revealed(q), 3);
}

TEST_F(Typewriter, GlyphsFadeInOverTheDelay) {
    w->Delay = 64;
    TWdPage& p = start("あい");
    frame(p);  // the start delay after a restart
    EXPECT_EQ(revealed(p), 0);
    const std::vector<std::vector<int32_t>> want = {{0, 0}, {64, 64}, {128, 128}, {192, 192}, {255, 255}};
    for (const auto& o : want) {
        frame(p);
        EXPECT_EQ(opacities(p), o);
    }
    EXPECT_TRUE(p.AllShown());
    // Invalidated glyphs reach the dirty list of their frame.
    EXPECT_FALSE(w->DirtyRects.empty());
}

TEST_F(Typewriter, EventsFireAfterTheFades) {
    w->Delay = 32;
    w->EventsEnabled = 1;
    TWdPage& p = start("あ<EVENT VALUE=one>い<EVENT VALUE=a><EVENT VALUE=b>う");
    frame(p);  // start delay
    frame(p);  // あ and the event
    EXPECT_EQ(revealed(p), 2);
    EXPECT_TRUE(fired.empty());
    frame(p);  // あ at 128
    EXPECT_TRUE(fired.empty());
    frame(p);  // あ at 255: the event goes
    EXPECT_EQ(fired, std::vector<std::string>{"one"});
    frame(p);  // い and both events, collected together
    EXPECT_EQ(revealed(p), 5);
    frame(p);
    frame(p);
    EXPECT_EQ(fired, (std::vector<std::string>{"one", "a", "b"}));
    frame(p);
    EXPECT_EQ(revealed(p), 6);
}

TEST_F(Typewriter, EndEventsStopTheRevealWhetherCompiledOrStored) {
    w->Delay = 0;
    w->EventsEnabled = 1;
    TWdPage& p = start("<EVENT VALUE=a END><EVENT VALUE=b>い");
    frame(p);
    EXPECT_EQ(fired, std::vector<std::string>{"a"});
    EXPECT_EQ(revealed(p), 1);
    frame(p);
    EXPECT_EQ(fired, (std::vector<std::string>{"a", "b"}));
    frame(p);
    EXPECT_EQ(revealed(p), 3);

    // Events are not collected while disabled.
    w->EventsEnabled = 0;
    fired.clear();
    TWdPage& q = start("<EVENT VALUE=a END>い");
    frame(q);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(revealed(q), 2);
}

TEST_F(Typewriter, PauseCaretAndScrolling) {
    w->Delay = 0;
    w->ViewX = 100;
    w->ViewY = 50;
    w->Paging = 0;
    w->PageHeight = 12;
    TWdPage& p = start("あいうえおかきくけこさし");
    w->Pause = 1;
    frame(p);
    EXPECT_EQ(revealed(p), 0);
    w->Pause = 0;
    frame(p);
    // Rows at 0 and 12 show; the row at 24 waits below the page.
    EXPECT_EQ(revealed(p), 10);
    EXPECT_EQ(w->Caret, MakePoint(0, 24));
    EXPECT_FALSE(p.IsTyping());
    p.ScrollOffset = 12;  // the row's top is on the page, its bottom not yet
    EXPECT_FALSE(p.IsTyping());
    p.ScrollOffset = INT32_MIN;  // from a damaged file: wraps as the 32-bit sums do
    EXPECT_TRUE(p.IsTyping());
    p.ScrollOffset = 24;
    EXPECT_TRUE(p.IsTyping());
    frame(p);
    EXPECT_EQ(revealed(p), 12);
    // Behind the last glyph, on its row, relative to the view (scrolled).
    EXPECT_EQ(w->Caret, MakePoint(24, 0));
}

TEST_F(Typewriter, DisplayStateSavesFadingGlyphsAsShown) {
    w->Delay = 64;
    TWdPage& p = start("あいう");
    frame(p);
    frame(p);
    frame(p);
    EXPECT_EQ(opacities(p), (std::vector<int32_t>{64, 64, 64}));
    TMemoryStream s;
    p.SaveDisplayState(s);

    auto w2 = make_word();
    w2->ViewWidth = 60;
    w2->PageHeight = 1000;
    compile(*w2, "あいう");
    TWdPageList other;
    LayoutPages(*w2, other, 0, -1);
    s.SetPosition(0);
    FieldReader r(s, "bad");
    other[0]->LoadDisplayState(r);
    EXPECT_EQ(opacities(*other[0]), (std::vector<int32_t>{255, 255, 255}));
    EXPECT_EQ(other[0]->CurrentRow, 1);
    EXPECT_TRUE(other[0]->AllShown());

    // A position off the page is refused.
    const struct {
        int32_t row, glyph;
    } bad[] = {{2, 0}, {-1, 0}, {0, 3}, {1, 1}, {0, -1}};
    for (const auto& b : bad) {
        TMemoryStream d;
        WriteStreamInteger(d, 0);
        WriteStreamInteger(d, b.row);
        WriteStreamInteger(d, b.glyph);
        WriteStreamByte(d, 0);
        WriteStreamString(d, "");
        for (int k = 0; k < 3; ++k) WriteStreamInteger(d, 255);
        d.SetPosition(0);
        FieldReader rd(d, "bad");
        EXPECT_THROW(other[0]->LoadDisplayState(rd), ECorruptData) << b.row << "," << b.glyph;
    }
}

TEST_F(Typewriter, WordStateRoundTripsAcrossVersions) {
    w->ViewX = 5;
    w->FontSize = 20;
    w->FontName = "F";
    w->TextColor = 0x123456;
    w->Speed = 300;
    w->EventsEnabled = 1;
    w->ShadowColor = 0x00FF00;
    w->BorderWidth = 2;
    w->ShadowWidth = 3;
    w->Caret = MakePoint(7, 8);
    TMemoryStream s;
    w->SaveState(s);
    struct Case {
        int version;
        uint32_t shadow_colour;
        int32_t border, shadow;
    };
    const Case cases[] = {{111, 0x00FF00, 2, 3}, {110, 0x00FF00, 9, 9}, {109, 0x777777, 9, 9}};
    for (const Case& c : cases) {
        auto v = make_word();
        v->ShadowColor = 0x777777;
        v->BorderWidth = 9;
        v->ShadowWidth = 9;
        s.SetPosition(0);
        v->LoadState(s, c.version);
        EXPECT_EQ(v->ViewX, 5);
        EXPECT_EQ(v->FontSize, 20);
        EXPECT_EQ(v->FontName, "F");
        EXPECT_EQ(v->TextColor, 0x123456u);
        EXPECT_EQ(v->Speed, 300);
        EXPECT_EQ(v->EventsEnabled, 1);
        EXPECT_EQ(v->Caret, MakePoint(7, 8));
        EXPECT_EQ(v->ShadowColor, c.shadow_colour) << c.version;
        EXPECT_EQ(v->BorderWidth, c.border) << c.version;
        EXPECT_EQ(v->ShadowWidth, c.shadow) << c.version;
    }
    // Cut short anywhere, the state is refused and nothing of it is taken.
    const std::string bytes(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize()));
    for (size_t n = 0; n < bytes.size(); ++n) {
        auto v = make_word();
        TMemoryStream cut;
        cut.WriteBuffer(bytes.data(), static_cast<int64_t>(n));
        cut.SetPosition(0);
        EXPECT_THROW(v->LoadState(cut, 111), ECorruptData) << n;
        EXPECT_EQ(v->FontSize, 12) << n;
    }
}

TEST_F(Typewriter, HoveringALinkHighlightsItsRun) {
    w->Delay = 0;
    TWdPage& p = start("あ<A HREF=go>いう</A>え");
    p.Render(false);
    frame(p);
    p.SetHoverPoint(14, 5);  // over い
    EXPECT_EQ(Cp932ToUtf8(p.GetHoverLinkText()), "いう");
    EXPECT_TRUE(w->GlyphAt(2)->GetHighlight());
    EXPECT_FALSE(w->GlyphAt(0)->GetHighlight());
    p.SetHoverPoint(30, 5);  // う: the same run
    EXPECT_EQ(p.Hovered, w->GlyphAt(1));
    p.SetHoverPoint(-1, -1);
    EXPECT_FALSE(w->GlyphAt(1)->GetHighlight());
    EXPECT_EQ(p.GetHoverLinkText(), "");
}

TEST_F(Typewriter, TypingStateAndLogTextWithPaging) {
    w->Delay = 0;
    w->Speed = 256;
    TWdPage& p = start("<WAIT VALUE=100>あいうえおか<BR>き");
    EXPECT_TRUE(p.IsTyping());
    w->Pause = 1;
    EXPECT_FALSE(p.IsTyping());  // paused with nothing fading
    w->Pause = 0;
    p.Render(true);  // hidden: every glyph waits at opacity 0
    frame(p);
    frame(p);
    // The log of the page is the text shown so far, up to the first hidden glyph.
    EXPECT_EQ(Cp932ToUtf8(p.GetLogText()), "あ");
    for (int f = 0; f < 60; ++f) frame(p);
    EXPECT_FALSE(p.IsTyping());
    EXPECT_EQ(Cp932ToUtf8(p.GetLogText()), "あいうえお" "か\r\nき");
    EXPECT_EQ(Cp932ToUtf8(p.GetText()), "あいうえおかき");
}
