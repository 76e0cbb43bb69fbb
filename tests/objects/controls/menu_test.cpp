// The list box and the selection menu on a registry driven by injected
// pointer, button and key steps on a 10 ms clock: sizes, hover and
// selection with its variables and events, keys, the scroll strip's
// 300/50 ms repeat and thumb drag, the opening and closing states with
// their events, closing by selection, right click and Escape, and the
// saved record.
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "objects/base_list.h"
#include "objects/controls/menu.h"
#include "objects/object_kinds.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/display/keys.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/support/file_bytes.h"
#include "tests/objects/kind_scene.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t kFont = 10;

class Menu : public KindScene {
protected:
    MemoryPictures pictures;
    TParamCollection table;

    void SetUp() override {
        SetDisplayBitCount(32);
        // Scroll strip: 7 cells of 6 x 6; check marks: 2 cells of 4 x 4.
        pictures.Add("scroll.tes", {{42, 6, 100, [](int32_t x, int32_t) { return 0x101010 * (x / 6 + 1); }}});
        pictures.Add("check.tes", {{8, 4, 100, [](int32_t x, int32_t) { return x < 4 ? 0x00FF00 : 0x0000FF; }}});
        ServePictures(&pictures);
        Params = &table;
        GameClock = 1000;
        FrameTime = 10;
        OpenScene(200, 160);
        reg->ActiveBase()->SetMousePos(199, 159);
    }
    void TearDown() override {
        reg.reset();
        Params = nullptr;
        KindScene::TearDown();
    }
    // An open menu at (10, 10): rows of 10 px, 2 px apart, margin 2.
    TVorqMenu* make(const std::string& text, int32_t rows, bool scroll = false) {
        auto* m = static_cast<TVorqMenu*>(CreateObjectByType(reg.get(), LT_MENU));
        m->SetName("menu");
        m->SetParent(reg->ActiveBase());
        m->SetLeft(10);
        m->SetTop(10);
        m->SetFontHeight(kFont);
        m->SetLineSpace(2);
        m->SetMarginY(2);
        m->SetRowCount(rows);
        m->SetText(text);
        if (scroll) m->SetScrollSource("scroll.tes");
        m->SetOnSelect("chosen");
        m->SetHandleKey(true);
        m->SetPlayState(PS_PLAY);
        events();
        return m;
    }
    TVorqBase& layer() { return *reg->ActiveBase(); }
    void frame() {
        GameClock += FrameTime;
        reg->InputStep(static_cast<int32_t>(FrameTime));
        reg->Update();
    }
    void move(int32_t x, int32_t y) {
        layer().SetMousePos(x, y);
        frame();
    }
    void press() {
        layer().LPressPending = 1;
        layer().LHeld = 1;
        frame();
    }
    void release() {
        layer().LHeld = 0;
        frame();
    }
    void key(int32_t vk) {
        reg->SetKeyPush(vk, true);
        reg->SetKeyClick(vk, true);
        frame();
        reg->SetKeyPush(vk, false);
        frame();
    }
    // Row k's text middle on the layer (no border, margin 2).
    static int32_t row_y(int32_t k) { return 10 + 2 + k * (kFont + 2) + kFont / 2; }
    // Queued events as "label" or "label=arg0,arg1", taken off the queue.
    std::vector<std::string> events() {
        std::vector<std::string> v;
        for (int32_t i = 0; i < reg->Events.Count(); ++i) {
            const TTimerData& e = reg->Events.Get(i);
            std::string s = e.Label;
            for (int32_t a = 0; a < e.Args.Count(); ++a) s += (a ? "," : "=") + e.Args.Get(a);
            v.push_back(s);
        }
        reg->Events.Clear();
        return v;
    }
};

TEST_F(Menu, SizesItselfFromRowsAndItems) {
    struct Case {
        const char* text;
        int32_t rows, border, count, height;
    } cases[] = {
        // n = min(rows, items): 10 n + 2 (n - 1) + 2 border + 2 margins.
        {"a\r\nb\r\nc", 5, 0, 3, 30 + 4 + 4},
        {"a\r\nb\r\nc", 2, 0, 3, 20 + 2 + 4},
        {"\x01\x02\r\na\r\nb\r\n\r\n", 5, 1, 2, 20 + 2 + 2 + 4},  // control bytes around make no rows
        {"only", 3, 3, 1, 10 + 6 + 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TVorqMenu& m = *make(c.text, c.rows);
        m.SetBorderWidth(c.border);
        m.Layout();
        EXPECT_EQ(m.GetCount(), c.count);
        EXPECT_EQ(m.GetHeight(), c.height);
        EXPECT_GT(m.GetWidth(), 2 * c.border);
        m.FreeNow();
    }
}

// What the scripts' GetCheck and SetCheck see, through any display object.
TEST_F(Menu, ScriptFunctionsReachTheCheckMarks) {
    TVorqObject& o = *make("a\r\nb\r\nc", 3);
    o.SetItemCheck(1, true);
    o.SetItemCheck(2, true);
    o.SetItemCheck(2, false);
    o.SetItemCheck(7, true);
    for (int32_t i : {-1, 0, 1, 2, 3, 7}) EXPECT_EQ(o.GetItemCheck(i), i == 1) << i;
}

TEST_F(Menu, TopIndexStaysInsideTheItems) {
    TVorqMenu& m = *make("a\r\nb\r\nc\r\nd\r\ne", 2);
    const int32_t cases[][2] = {{1, 1}, {3, 3}, {4, 3}, {99, 3}, {-4, 0}};
    for (const auto& c : cases) {
        m.SetTopIndex(c[0]);
        EXPECT_EQ(m.GetTopIndex(), c[1]) << c[0];
    }
    TVorqMenu& few = *make("a\r\nb", 4);
    few.SetScrollSource("scroll.tes");
    few.SetTopIndex(1);
    EXPECT_EQ(few.GetTopIndex(), 0);
    EXPECT_FALSE(few.ScrollShown());
}

TEST_F(Menu, HoverAndReleaseSelectWithVariablesAndEvent) {
    TVorqMenu& m = *make(Sjis("はい\r\nいいえ"), 5);
    frame();
    move(20, row_y(1));
    EXPECT_EQ(m.HoverIndex(), 1);
    press();
    release();
    EXPECT_EQ(m.GetIndex(), 1);
    EXPECT_EQ(table.sel_str, Sjis("いいえ"));
    EXPECT_EQ(table.sel_index, 1);
    EXPECT_EQ(events(), (std::vector<std::string>{"chosen=" + Sjis("いいえ") + ",1"}));
    // Pressed on an item, released below the items: nothing is chosen.
    table.sel_index = 7;
    move(20, row_y(0));
    press();
    move(20, 10 + m.GetHeight() - 1);
    EXPECT_EQ(m.HoverIndex(), -1);
    release();
    EXPECT_EQ(table.sel_index, 7);
    EXPECT_TRUE(events().empty());
}

TEST_F(Menu, KeysMoveTheHoverAndScrollIt) {
    TVorqMenu& m = *make("a\r\nb\r\nc\r\nd\r\ne", 2);
    struct Case {
        int32_t vk, hover, top;
    } cases[] = {
        {VK_DOWN, 0, 0}, {VK_UP, 0, 0},     {VK_DOWN, 1, 0}, {VK_DOWN, 2, 1},  {VK_NEXT, 4, 3},
        {VK_DOWN, 4, 3}, {VK_PRIOR, 2, 2},  {VK_PRIOR, 0, 0}, {VK_PRIOR, 0, 0},
    };
    for (const Case& c : cases) {
        key(c.vk);
        EXPECT_EQ(m.HoverIndex(), c.hover) << c.vk;
        EXPECT_EQ(m.GetTopIndex(), c.top) << c.vk;
    }
    // With nothing hovered, Up goes to the last item.
    m.SetHover(-1);
    key(VK_UP);
    EXPECT_EQ(m.HoverIndex(), 4);
    // Enter chooses the hovered item.
    key(VK_RETURN);
    EXPECT_EQ(table.sel_str, "e");
}

TEST_F(Menu, KeysOnAnEmptyListPickNothing) {
    TVorqMenu& m = *make("", 3);
    for (int32_t vk : {VK_DOWN, VK_UP, VK_NEXT, VK_PRIOR, VK_RETURN}) {
        key(vk);
        EXPECT_EQ(m.HoverIndex(), -1) << vk;
        EXPECT_EQ(m.GetIndex(), -1) << vk;
    }
    EXPECT_TRUE(events().empty());
}

TEST_F(Menu, HeldDownButtonRepeatsAfter300ThenEvery50Ms) {
    std::string text;
    for (int i = 0; i < 40; ++i) text += "item" + std::to_string(i) + "\r\n";
    TVorqMenu& m = *make(text, 10, true);
    frame();
    ASSERT_TRUE(m.ScrollShown());
    const TRect down = m.DownButtonRect();
    move(down.Left + 1, down.Top + 1);
    press();
    EXPECT_EQ(m.GetTopIndex(), 1);
    // Frames of 10 ms after the press at which the next rows come.
    std::vector<int> steps;
    for (int f = 1; f <= 45; ++f) {
        const int32_t before = m.GetTopIndex();
        frame();
        if (m.GetTopIndex() != before) steps.push_back(f);
    }
    EXPECT_EQ(steps, (std::vector<int>{29, 34, 39, 44}));
    // Leaving the button stops the repeat; release ends the press.
    move(0, 0);
    const int32_t top = m.GetTopIndex();
    for (int f = 0; f < 10; ++f) frame();
    EXPECT_EQ(m.GetTopIndex(), top);
    release();
    EXPECT_EQ(m.Press(), TVorqCustomListBox::kNone);
}

TEST_F(Menu, ThumbDragFollowsThePointerAndAShortStripHasNoTravel) {
    std::string text;
    for (int i = 0; i < 20; ++i) text += "row" + std::to_string(i) + "\r\n";
    TVorqMenu& m = *make(text, 10, true);
    frame();
    TRect t = m.ThumbRect();
    move(t.Left + 1, t.Top + 3);
    press();
    EXPECT_EQ(m.Press(), TVorqCustomListBox::kThumb);
    // Strip: 122 px, 3 cells of 6 leave 104 px for 10 positions; the row is
    // Python's round(dy * 10 / 104), halves to even (26 -> 2.5, 78 -> 7.5).
    struct Case {
        int32_t dy, top;
    } cases[] = {{50, 5}, {25, 2}, {35, 3}, {26, 2}, {78, 8}, {100, 10}, {500, 10}, {-300, 0}};
    for (const Case& c : cases) {
        move(t.Left + 1, t.Top + 3 + c.dy);
        EXPECT_EQ(m.GetTopIndex(), c.top) << c.dy;
    }
    release();
    // One row high: the strip is shorter than its three cells.
    TVorqMenu& small = *make("a\r\nb\r\nc", 1, true);
    small.SetLeft(120);
    frame();
    t = small.ThumbRect();
    move(t.Left + 1, t.Top + 1);
    press();
    for (int32_t y : {0, 30, 159}) {
        move(t.Left + 1, y);
        EXPECT_EQ(small.GetTopIndex(), 0) << y;
    }
    release();
}

TEST_F(Menu, AnimatedOpenAndCloseQueueTheirEventsAndFreeTheMenu) {
    TVorqMenu& m = *make("a\r\nb", 5);
    m.SetOnOpening("opening");
    m.SetOnOpened("opened");
    m.SetOnClosing("closing");
    m.SetOnClosed("closed");
    const int32_t full = m.GetHeight();
    // Already open: an animated open does nothing.
    m.SetPlayState(PS_FADEIN);
    EXPECT_EQ(m.State(), TVorqMenu::kIdle);
    m.SetPlayState(PS_STOP);
    EXPECT_EQ(m.GetHeight(), 0);
    EXPECT_EQ(events(), (std::vector<std::string>{"closing", "closed"}));
    m.SetPlayState(PS_FADEOUT);  // closed already
    EXPECT_EQ(m.State(), TVorqMenu::kIdle);
    // Opening at once after closing at once lays the menu out again.
    m.SetPlayState(PS_PLAY);
    EXPECT_EQ(m.GetHeight(), full);
    EXPECT_EQ(events(), (std::vector<std::string>{"opening", "opened"}));
    m.SetPlayState(PS_STOP);
    events();
    // DELAY 100: ONOPENING in the first update, the height grows with the clock.
    m.SetDelay(100);
    m.SetPlayState(PS_FADEIN);
    frame();
    EXPECT_EQ(events(), (std::vector<std::string>{"opening"}));
    EXPECT_EQ(m.GetHeight(), 0);
    frame();  // the clock starts here
    std::vector<int32_t> heights;
    for (int f = 0; f < 11; ++f) {
        frame();
        heights.push_back(m.GetHeight());
    }
    std::vector<int32_t> want;
    for (int f = 1; f <= 10; ++f) want.push_back(full * (10 * f) / 100);
    want.back() = full;
    want.push_back(full);
    EXPECT_EQ(heights, want);
    EXPECT_EQ(m.GetOrigHeight(), full);
    EXPECT_EQ(events(), (std::vector<std::string>{"opened"}));
    // An animated close ends with the menu freed once its handlers ran.
    m.SetPlayState(PS_FADEOUT);
    for (int f = 0; f < 15; ++f) frame();
    EXPECT_EQ(events(), (std::vector<std::string>{"closing", "closed"}));
    frame();
    EXPECT_EQ(reg->FindObject("menu"), nullptr);
}

TEST_F(Menu, AutoScrapClosesAfterOneSelection) {
    TVorqMenu& m = *make("yes\r\nno", 5);
    m.SetAutoScrap(true);
    m.SetOnClosing("closing");
    m.SetOnClosed("closed");
    frame();
    move(20, row_y(0));
    press();
    release();
    // A second click before the handlers ran chooses nothing more.
    move(20, row_y(1));
    press();
    release();
    EXPECT_EQ(table.sel_str, "yes");
    EXPECT_EQ(events(), (std::vector<std::string>{"chosen=yes,0", "closing", "closed"}));
    frame();
    EXPECT_EQ(reg->FindObject("menu"), nullptr);
}

TEST_F(Menu, RightClickAndEscapeCloseOnlyAnOpenMenuThatAsks) {
    struct Case {
        const char* what;
        bool rclick_scrap, closed_first, escape, closes;
    } cases[] = {
        {"right click with RCLICKSCRAP", true, false, false, true},
        {"right click without RCLICKSCRAP", false, false, false, false},
        {"right click on a menu closed at once", true, true, false, false},
        {"Escape with RCLICKSCRAP", true, false, true, true},
        {"Escape without RCLICKSCRAP", false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TVorqMenu& m = *make("a\r\nb", 5);
        m.SetRClickScrap(c.rclick_scrap);
        if (c.closed_first) m.SetPlayState(PS_STOP);
        frame();
        if (c.escape) {
            key(VK_ESCAPE);
        } else {
            move(150, 150);  // off the menu: the registry offers the click
            layer().RPressPending = 1;
            layer().RHeld = 1;
            frame();
            layer().RHeld = 0;
        }
        for (int f = 0; f < 5; ++f) frame();
        events();
        frame();
        if (c.closes) {
            EXPECT_EQ(reg->FindObject("menu"), nullptr);
            continue;
        }
        ASSERT_EQ(reg->FindObject("menu"), &m);
        EXPECT_FALSE(m.Busy());
        // Still usable: a later open and a selection work.
        m.SetPlayState(PS_PLAY);
        frame();
        move(12, row_y(1));
        EXPECT_EQ(m.HoverIndex(), 1);
        press();
        EXPECT_EQ(m.Press(), TVorqCustomListBox::kItem);
        release();
        EXPECT_EQ(table.sel_str, "b");
        m.FreeNow();
        frame();
    }
}

TEST_F(Menu, SavedRecordReadsBackAndTruncationsAreRefused) {
    TVorqMenu& m = *make("one\r\ntwo\r\nthree", 2, true);
    m.SetCheckSource("check.tes");
    m.SetChecked(1, true);
    m.SetDelay(250);
    m.SetAutoScrap(true);
    m.SetOnClosed("closed");
    m.SetTopIndex(1);
    m.SetBorderHAlign(4, 2);
    m.Layout();
    TMemoryStream saved;
    m.SaveToStream(saved);
    const std::string bytes = StreamBytes(saved);
    auto load = [&](const std::string& b) { return LoadRecordOrFree<TVorqMenu>(*reg, LT_MENU, b, 130); };
    TVorqMenu* copy = load(bytes);
    EXPECT_EQ(copy->GetCount(), 3);
    EXPECT_TRUE(copy->GetChecked(1));
    EXPECT_FALSE(copy->GetChecked(0));
    EXPECT_EQ(copy->GetDelay(), 250);
    EXPECT_EQ(copy->GetTopIndex(), 1);
    EXPECT_EQ(copy->GetBorderHAlign(4), 2);
    EXPECT_EQ(copy->GetOnClosed(), "closed");
    EXPECT_EQ(copy->GetHeight(), m.GetHeight());
    TMemoryStream again;
    copy->SaveToStream(again);
    EXPECT_EQ(StreamBytes(again), bytes);
    copy->FreeNow();
    for (size_t n = 0; n < bytes.size(); n += 1) {
        SCOPED_TRACE(n);
        EXPECT_THROW(load(bytes.substr(0, n)), Exception);
    }
}

}  // namespace

namespace {

TEST_F(Menu, DrawsFrameFillHoverBarAndCheckMarks) {
    TVorqMenu& m = *make("alpha\r\nbeta\r\ngamma", 3);
    m.SetBorderWidth(1);
    m.SetBorderColor(0x0000FF);  // red
    m.SetColor(0xFF0000);        // blue
    m.SetHoverColor(0x00FF00);   // green
    m.SetMarginX(3);
    m.SetCheckSource("check.tes");
    m.SetChecked(0, true);
    m.SetChecked(1, true);
    frame();
    move(20, row_y(1) + 1);
    ASSERT_EQ(m.HoverIndex(), 1);
    reg->ActiveBase()->InvalidateWhole();
    reg->Draw();
    auto at = [&](int x, int y) { return screen.GetPixel(x, y) & 0xFFFFFF; };
    const uint32_t red = 0xFF0000, blue = 0x0000FF, green = 0x00FF00;
    EXPECT_EQ(at(10, 10), red);
    EXPECT_EQ(at(10 + m.GetWidth() - 1, 10 + m.GetHeight() - 1), red);
    EXPECT_EQ(at(11, 11), blue);
    // Check column: 1 (border) + 3 (margin) from the left, 4 px wide, the
    // mark centred on the row; the hovered row shows the second cell.
    const int32_t check_x = 10 + 1 + 3;
    EXPECT_EQ(at(check_x + 1, row_y(0) + 1 - 1), green);   // row 0: cell 0 (green)
    EXPECT_EQ(at(check_x + 1, row_y(1)), 0xFF0000u);        // row 1 hovered: cell 1 (red)
    EXPECT_EQ(at(check_x + 1, row_y(2)), blue);             // row 2: no mark
    // The hover bar reaches half the line space above row 1's text (rows
    // start at 10 + 1 + 2 + 12 k); above row 2's text there is no bar.
    EXPECT_EQ(at(20, 10 + 1 + 2 + 12 - 1), green);
    EXPECT_EQ(at(20, 10 + 1 + 2 + 24 - 1), blue);
}

}  // namespace

namespace {

TEST_F(Menu, BorderPartsAnimateUnlessAnimationIsPaused) {
    // A top-centre part of two 100 ms frames: blue, then red.
    pictures.Add("edge.tes", {{4, 3, 100, [](int32_t, int32_t) { return 0xFF0000; }},
                              {4, 3, 100, [](int32_t, int32_t) { return 0x0000FF; }}});
    for (bool paused : {false, true}) {
        SCOPED_TRACE(paused);
        TVorqMenu& m = *make("one\r\ntwo", 2);
        m.SetBorderSource(1, "edge.tes");
        m.SetAniPaused(paused);
        frame();
        auto top_colour = [&] {
            reg->ActiveBase()->InvalidateWhole();
            reg->Draw();
            return screen.GetPixel(12, 11) & 0xFFFFFF;
        };
        EXPECT_EQ(top_colour(), 0x0000FFu);
        std::vector<int> changes;
        uint32_t last = top_colour();
        for (int f = 1; f <= 25; ++f) {
            frame();
            const uint32_t c = top_colour();
            if (c != last) changes.push_back(f);
            last = c;
        }
        // One frame went by in the first update: the part turns red after
        // 100 ms, blue again after 200.
        EXPECT_EQ(changes, paused ? std::vector<int>{} : (std::vector<int>{9, 19}));
        m.FreeNow();
    }
}

}  // namespace
