// End to end: the player's window on the headless video service plays a
// page that opens a message window and inserts a message; the presented
// frames show the glyphs in the text colour inside the window's text area
// and nothing outside it, revealed over time.
#include "shell/form_view.h"

#include "script/game_clock.h"
#include "script/param_collection.h"
#include "shell/player_modules.h"
#include "engine/scenario_writer.h"
#include "objects/text/history.h"
#include "objects/text/mes.h"
#include "objects/scene/scene.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/glyph_list_writer.h"
#include "tests/support/input_events.h"

#include <gtest/gtest.h>

namespace {

std::string text_ins(const std::string& stored, const char* window, const char* history, const char* wait) {
    std::string r;
    PutU32(r, static_cast<uint32_t>(stored.size()));
    return r + stored + RecExpr(window) + RecExpr(history) + RecExpr(wait) + RecExpr("0");
}

class MessageFrames : public ::testing::Test {
protected:
    TTestGameFolder folder;
    uint32_t clock = 1000;
    std::unique_ptr<TFormView> view;

    void SetUp() override {
        InstallPlayerModules();
        FormViewUnitStart();
        Terminating = false;
        GameClock = FrameTime = FrameCount = 0;
        LastTick = 0;
        DrawDivisor = 1;
        SetClockSource([this] { return clock; });
    }
    void TearDown() override {
        view.reset();
        SetClockSource({});
        FormViewUnitFinish();
        History().Clear();
        ReadList().Clear();
        Terminating = false;
    }
    void start(const TPageWriter& main) {
        folder.WritePage("main.vsb", main);
        folder.WriteProject(TestProjectData("main.vsb"));
        view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()},
                                           Video::Create(VideoBackend::Headless));
        view->FormCreate();
        ASSERT_FALSE(Terminating);
    }
    void idle(int frames = 1) {
        for (int i = 0; i < frames; ++i) {
            clock += 16;
            view->ApplicationEventsIdle();
        }
    }
    uint32_t shown(int32_t x, int32_t y) const {
        const Video& w = view->Window();
        return w.ReadPixels()[size_t(view->ImageOffsetY + y) * size_t(w.ClientWidth()) +
                              size_t(view->ImageOffsetX + x)] & 0xFFFFFF;
    }
    // Presented pixels that are text-red (any antialiased strength over
    // black), inside or outside a rectangle; and any lit pixel outside.
    struct Count {
        int red_inside = 0, lit_outside = 0;
    };
    Count count(int32_t l, int32_t t, int32_t w, int32_t h) const {
        Count c;
        for (int32_t y = 0; y < 480; ++y)
            for (int32_t x = 0; x < 640; ++x) {
                const uint32_t p = shown(x, y);
                const bool inside = x >= l && x < l + w && y >= t && y < t + h;
                if (inside && (p >> 16) >= 0x80 && (p & 0xFFFF) == 0) ++c.red_inside;
                if (!inside && p != 0) ++c.lit_outside;
            }
        return c;
    }
};

struct FrameCase {
    const char* name;
    bool by_property;     // TEXT set by a property command, else a text-insert command
    bool over_box;        // a grey box under the window, on the layer
    bool flipped;         // built on the hidden layer, then shown with a transition
    bool default_delays;  // the window's DELAY and TEXTDELAY left as they are
};

TEST_F(MessageFrames, AMessageRevealsOnTheScreenInsideItsWindow) {
    const FrameCase cases[] = {
        {"inserted", false, false, false, false},
        {"by TEXT", true, false, false, false},
        {"over a box", false, true, false, false},
        {"after a flip", false, false, true, false},
        {"default delays", false, false, false, true},
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        TPageWriter w;
        for (int id : {PR_NAME, PR_PARENT, PR_VISIBLE, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_FONTHEIGHT,
                       PR_FONTCOLOR, PR_TEXTDELAY, PR_DELAY, PR_COLOR, PR_ALPHA})
            w.SetMask(opMesNew, id), w.SetMask(opBoxNew, id);
        const char* layer = c.flipped ? "\"\x01\"" : "\"\x01" "BASE0\"";
        if (c.over_box)
            w.Component(opBoxNew, {{PR_NAME, "\"back\""}, {PR_PARENT, layer}, {PR_VISIBLE, "1"}, {PR_LEFT, "100"},
                                   {PR_TOP, "300"}, {PR_WIDTH, "400"}, {PR_HEIGHT, "40"}, {PR_COLOR, "0"},
                                   {PR_ALPHA, "255"}});
        std::vector<std::pair<int, std::string>> props = {
            {PR_NAME, "\"msg\""}, {PR_PARENT, layer},     {PR_VISIBLE, "1"},       {PR_LEFT, "100"},
            {PR_TOP, "300"},      {PR_WIDTH, "400"},      {PR_HEIGHT, "40"},       {PR_FONTHEIGHT, "24"},
            {PR_FONTCOLOR, "255"}};
        if (!c.default_delays) props.insert(props.end(), {{PR_TEXTDELAY, "256"}, {PR_DELAY, "0"}});
        w.Component(opMesNew, props);
        TGlyphListWriter g;
        // 50 ms a glyph: ten glyphs take half a second to reveal.
        g.Text(Sjis("あいうえおかきくけこ"), g.AddDecoration(StoredDecoration{}), 50);
        if (c.by_property) {
            w.SetProp("\"msg\"", std::to_string(PR_TEXT), "\"" + Sjis("あいうえおかきくけこ") + "\"");
        } else {
            w.Add(opTextIns, text_ins(g.Bytes(), "\"msg\"", "1", "0"));
        }
        if (c.flipped) {
            TPageWriter::FlipFields f;
            f.Kind = "1";
            f.Duration = "100";
            w.Flip(f);
        }
        w.Wait("100000");
        start(w);
        idle(3);
        const Count early = count(100, 300, 400, 40);
        idle(60);
        const Count done = count(100, 300, 400, 40);
        EXPECT_EQ(early.lit_outside, 0);
        EXPECT_EQ(done.lit_outside, 0);
        EXPECT_GT(done.red_inside, 10 * 24) << "ten glyphs of 24 px in the text colour";
        if (!c.by_property && !c.flipped) {
            EXPECT_LT(early.red_inside, done.red_inside) << "revealed over time";
        }
    }
}

// The text and backlog commands of a page, step by step: the page holds at
// each step until the test lets it go on (go = step number).
TEST_F(MessageFrames, TextAndBacklogCommandsActOnTheirWindows) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_VISIBLE, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_FONTHEIGHT,
                   PR_LINESPACE, PR_TEXTDELAY, PR_DELAY})
        w.SetMask(opMesNew, id);
    const auto window = [&](const char* name, int top, int height) {
        w.Component(opMesNew, {{PR_NAME, name}, {PR_PARENT, "\"\x01" "BASE0\""}, {PR_VISIBLE, "1"},
                               {PR_LEFT, "20"}, {PR_TOP, std::to_string(top)}, {PR_WIDTH, "400"},
                               {PR_HEIGHT, std::to_string(height)}, {PR_FONTHEIGHT, "20"}, {PR_LINESPACE, "4"},
                               {PR_TEXTDELAY, "0"}, {PR_DELAY, "0"}});
    };
    const auto message = [](const char* utf8) {
        TGlyphListWriter g;
        g.Text(Sjis(utf8), g.AddDecoration(StoredDecoration{}));
        return g.Bytes();
    };
    int step = 0;
    const auto hold = [&] { w.Wait("1000000", "go == " + std::to_string(step++)); };
    w.VarNew("go", PT_INT, "0");
    window("\"msg\"", 400, 30);
    window("\"log\"", 20, 300);
    w.Add(opEntryHist, RecExpr("\"msg\""));
    hold();  // 0: the template taken
    const int a = w.Add(opTextIns, text_ins(message("あいうえお"), "\"msg\"", "1", "0"));
    w.Wait("100");
    w.Add(opTextIns, text_ins(message("かきくけこ"), "\"msg\"", "1", "0"));
    w.Wait("100");
    const int c = w.Add(opTextIns, text_ins(message("さしすせそ"), "\"msg\"", "1", "0"));
    w.Wait("100");
    hold();  // 1: three messages shown, two left
    w.Add(opCallHist, RecExpr("\"log\"") + RecExpr("0") + RecExpr("100000") + RecExpr("0"));
    hold();  // 2: the backlog shown
    w.Add(opTextClr, RecExpr("\"msg\""));
    hold();  // 3: the window cleared
    w.Add(opCallHist, RecExpr("\"log\"") + RecExpr("@HistoryCount") + RecExpr("10") + RecExpr("0"));
    w.Add(opClrRead, "");
    w.Add(opClrHist, "");
    hold();  // 4: read marks and backlog forgotten
    start(w);
    const auto go_on = [&](int to) {
        Params->Find("go")->SetAsInt(to);
        idle(20);
    };
    idle(3);
    EXPECT_EQ(Params->history_settings, (std::array<int32_t, 6>{20, 0, 0, 400, 30, 4}));
    go_on(1);
    auto* msg = dynamic_cast<TVorqMes*>(VorqBaseList->FindControl("msg"));
    auto* log = dynamic_cast<TVorqMes*>(VorqBaseList->FindControl("log"));
    ASSERT_TRUE(msg && log);
    EXPECT_EQ(msg->GetText(), Sjis("さしすせそ"));
    EXPECT_EQ(msg->RecordMode, TVorqMes::kRecordText);
    // One row each, more than the template's height together: an entry each.
    EXPECT_EQ(History().EntryCount(), 2);
    const int32_t rows = History().GetCount();
    EXPECT_GT(rows, 2 * 20);
    for (int k : {a, c}) EXPECT_TRUE(ReadList().IsRead("main.vsb", k, 0)) << k;
    go_on(2);
    EXPECT_EQ(log->RecordMode, TVorqMes::kRecordHistory);
    ASSERT_EQ(log->GetCount(), 1);
    EXPECT_EQ(log->GetText(), Sjis("あいうえおかきくけこ")) << "the count is cut to the backlog's rows";
    go_on(3);
    EXPECT_EQ(msg->GetCount(), 0);
    EXPECT_EQ(msg->RecordMode, TVorqMes::kRecordNone);
    EXPECT_EQ(History().EntryCount(), 3) << "the page left by the clear is in the backlog";
    go_on(4);
    EXPECT_EQ(log->GetText(), Sjis("あいうえおかきくけこ")) << "nothing past the end is shown";
    EXPECT_TRUE(ReadList().Items.empty());
    EXPECT_EQ(History().GetCount(), 0);
}

// A page waiting for the reader goes on at a click or a key, seen by the
// wait's condition; a click on a window that takes the mouse (IGNOREMOUSE 0)
// is the window's, not the page's.
TEST_F(MessageFrames, AClickOrAKeyOnTheWindowEndsTheReadersWait) {
    struct Case {
        const char* what;
        InputEventKind kind;
        MouseButton button;
        int32_t key;
        const char* ignore_mouse;
        int went;
    } cases[] = {
        {"left click through", InputEventKind::MouseDown, MouseButton::Left, 0, "1", 1},
        {"right click through", InputEventKind::MouseDown, MouseButton::Right, 0, "2", 1},
        {"left click taken", InputEventKind::MouseDown, MouseButton::Left, 0, "0", 0},
        {"space", InputEventKind::KeyDown, MouseButton::Left, 32, "0", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        TPageWriter w;
        for (int id : {PR_NAME, PR_PARENT, PR_VISIBLE, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_FONTHEIGHT,
                       PR_IGNOREMOUSE})
            w.SetMask(opMesNew, id);
        w.Component(opMesNew, {{PR_NAME, "\"msg\""}, {PR_PARENT, "\"\x01" "BASE0\""}, {PR_VISIBLE, "1"},
                               {PR_LEFT, "20"}, {PR_TOP, "300"}, {PR_WIDTH, "400"}, {PR_HEIGHT, "60"},
                               {PR_FONTHEIGHT, "20"}, {PR_IGNOREMOUSE, c.ignore_mouse}});
        TGlyphListWriter g;
        g.Text(Sjis("こんにちは"), g.AddDecoration(StoredDecoration{}));
        w.Add(opTextIns, text_ins(g.Bytes(), "\"msg\"", "1", "0"));
        w.VarNew("went", PT_INT, "0");
        w.Wait("100000", "(@LClick == 0) & (@RClick == 0) & (@KeyClick[32] == 0)");
        w.Calc("went = 1");
        w.Wait("100000");
        start(w);
        idle(5);
        ASSERT_EQ(Params->Find("went")->GetAsInt(), 0);
        // On the message window.
        const int32_t x = view->ImageOffsetX + 100, y = view->ImageOffsetY + 320;
        if (c.kind == InputEventKind::KeyDown) {
            InputEvent e;
            e.Kind = InputEventKind::KeyDown;
            e.VirtualKey = c.key;
            view->HandleEvent(e);
        } else {
            view->HandleEvent(MouseEvent(InputEventKind::MouseMove, x, y));
            view->HandleEvent(MouseEvent(c.kind, x, y, c.button));
            view->HandleEvent(MouseEvent(InputEventKind::MouseUp, x, y, c.button));
        }
        idle(2);
        EXPECT_EQ(Params->Find("went")->GetAsInt(), c.went);
    }
}

}  // namespace
