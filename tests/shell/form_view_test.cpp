// The main window on the headless video service with a hand-driven clock:
// settings, the start-up order, the clock's gap rule, the order of the
// frame step, input to the registry, the quit question and how failures
// end the window.
#include "render/tesk.h"
#include "render/tesk_collection.h"
#include "shell/form_view.h"

#include "chrome/toolbar.h"
#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "objects/base_list.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "files/vr_file_manager.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/keys.h"
#include "platform/system/trace.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/player_window.h"
#include "tests/support/input_events.h"
#include "tests/support/scripted_video.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::vector<std::string> g_trace;
void capture_trace(const char* line) { g_trace.emplace_back(line); }

// An object that notes, during the update pass, what the frame had done so far.
struct TUpdateProbe : public TVorqControl {
    using TVorqControl::TVorqControl;
    bool Update() override {
        ++Updates;
        SeenFrameCount = FrameCount;
        SeenScriptValue = Params->Find("seen") ? Params->Find("seen")->GetAsInt() : -99;
        SeenKeyClick = Registry()->GetKeyClick(65);
        if (Throw) throw ECorruptData("broken object");
        return false;
    }
    int Updates = 0;
    uint32_t SeenFrameCount = 0;
    int32_t SeenScriptValue = 0;
    bool SeenKeyClick = false;
    bool Throw = false;
};

class Player : public PlayerWindowTest {
protected:
    void TearDown() override {
        PlayerWindowTest::TearDown();
        DrawDivisor = 1;
    }
    void after_view_closed() override { VorqLogWrite = nullptr; }
    void create() { open_view(); }
    void start(const TPageWriter& main, const std::string& start_page = "main.vsb") {
        folder.WritePage("main.vsb", main);
        TProjectFileData d = TestProjectData(start_page);
        d.Title = Sjis("テスト");
        folder.WriteProject(d);
        create();
    }
    // The idle handler after ms of real time.
    bool idle(uint32_t ms = 16) {
        clock += ms;
        return view->ApplicationEventsIdle();
    }
    static TPageWriter waiting_page() {
        TPageWriter w;
        w.VarNew("seen", PT_INT, "-1");
        w.Calc("seen = @UpdateCount");
        w.Wait("1000000");
        return w;
    }
};

TEST(GameSettings, DelayIsRoundedDownToHundredsWithin100To500) {
    EXPECT_EQ(RoundDelayTime(250), 200);
    EXPECT_EQ(RoundDelayTime(50), 100);
    EXPECT_EQ(RoundDelayTime(9999), 500);
    EXPECT_EQ(RoundDelayTime(-150), 100);
    EXPECT_EQ(RoundDelayTime(-199), 100);  // truncation toward zero, then the floor
    EXPECT_EQ(RoundDelayTime(500), 500);
    EXPECT_EQ(RoundDelayTime(399), 300);
}

TEST(GameSettings, ReadFromTheSoundSectionAndMissingFileKeepsValues) {
    TTestGameFolder f;
    SoundEnabled = true;
    DelayTime = 500;
    ReadGameSettings(f.Path() + "game.ini");  // missing
    EXPECT_TRUE(SoundEnabled);
    EXPECT_EQ(DelayTime, 500);
    f.WriteFile("game.ini", "[sound]\r\ndirectsound=0\r\nDelayTime=250\r\n");
    ReadGameSettings(f.Path() + "game.ini");
    EXPECT_FALSE(SoundEnabled);
    EXPECT_EQ(DelayTime, 200);
    f.WriteFile("game.ini", "[Sound]\r\nDelayTime=0x1F4\r\n");
    ReadGameSettings(f.Path() + "game.ini");
    EXPECT_TRUE(SoundEnabled);  // default when the key is missing
    EXPECT_EQ(DelayTime, 500);
    SoundEnabled = true;
}

TEST(FormViewUnit, FilesListedForDeletionGoAtTheEnd) {
    TTestGameFolder f;
    f.WriteFile("a.tmp", "x");
    f.WriteFile("b.tmp", "y");
    FormViewUnitStart();
    ASSERT_NE(ExitDeleteList, nullptr);
    ASSERT_NE(FileManager, nullptr);
    ExitDeleteList->Add(f.Path() + "a.tmp");
    ExitDeleteList->Add(f.Path() + "gone.tmp");  // already missing: no harm
    FormViewUnitFinish();
    EXPECT_FALSE(FileExists(f.Path() + "a.tmp"));
    EXPECT_TRUE(FileExists(f.Path() + "b.tmp"));
    EXPECT_EQ(ExitDeleteList, nullptr);
    EXPECT_EQ(FileManager, nullptr);
}

TEST_F(Player, StartsInItsOrderAndSizesTheWindowByTheProject) {
    g_trace.clear();
    VorqLogWrite = capture_trace;
    TPageWriter w = waiting_page();
    start(w);
    ASSERT_FALSE(Terminating);
    const std::vector<std::string> expected = {
        "StartupCheckpoint FormCreate:1", "StartupCheckpoint FormCreate:2", "StartupCheckpoint Init:1",
        "StartupCheckpoint Init:2",       "StartupCheckpoint Init:3",       "StartupCheckpoint Init:4",
        "StartupCheckpoint Init:5",       "StartupCheckpoint Init:6",       "StartupCheckpoint FormCreate:3"};
    EXPECT_EQ(g_trace, expected);  // no command runs before the first frame
    // The variable table exists before the project, which fills it.
    EXPECT_NE(Params, nullptr);
    ASSERT_NE(VorqBaseList, nullptr);
    EXPECT_EQ(VorqBaseList->GetWidth(), 640);
    EXPECT_EQ(VorqBaseList->GetHeight(), 480);
    EXPECT_EQ(view->Window().ClientWidth(), 640);
    EXPECT_EQ(view->DockHeight(), 22);  // the bar's 18 pixels and 4 more
    EXPECT_EQ(view->Window().ClientHeight(), 480 + 22);
    EXPECT_EQ(view->ImageOffsetX, 0);
    EXPECT_EQ(view->ImageOffsetY, view->DockHeight());
    EXPECT_TRUE(view->Window().Visible());
    EXPECT_FALSE(idle());
    ASSERT_GE(g_trace.size(), expected.size() + 1);
    EXPECT_EQ(g_trace[expected.size()], "00000010 : main.vsb(1)");
}

TEST_F(Player, ImageCacheReadsTheGamesPictures) {
    // A 24-bit picture of the game, written by the layered-image writer.
    {
        TTeskFrameList list;
        TTeskFrame& fr = *list.AddFrame();
        fr.Image.SetSize(5, 4, 24);
        fr.Image.FillRect(TRect{0, 0, 5, 4}, 0x123456);
        TMemoryStream s;
        list.SaveToStream(s, 0);
        folder.WriteFile("bg.tes", std::string(reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.GetSize())));
    }
    start(waiting_page());
    ASSERT_NE(TeskCollection, nullptr);
    int user = 0;
    TTeskItem* item = TeskCollection->Acquire(&user, "BG.TES", false, false);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Width, 5);
    EXPECT_EQ(item->Height, 4);
    item->Release(&user);
}

TEST_F(Player, GapOf3000IsAddedAndLongerGapsRestartTiming) {
    start(waiting_page());
    EXPECT_EQ(LastTick, clock);
    EXPECT_FALSE(idle(3000));
    EXPECT_EQ(GameClock, 3000u);
    EXPECT_EQ(FrameTime, 3000u);
    EXPECT_EQ(FrameCount, 1u);
    EXPECT_FALSE(idle(3001));  // dropped: no frame, timing restarts here
    EXPECT_EQ(GameClock, 3000u);
    EXPECT_EQ(FrameCount, 1u);
    EXPECT_EQ(LastTick, clock);
    EXPECT_FALSE(idle(16));
    EXPECT_EQ(GameClock, 3016u);
    EXPECT_EQ(FrameTime, 16u);
    EXPECT_EQ(FrameCount, 2u);
    // The 32-bit timer wraps without a false long gap.
    clock = 0xFFFFFFF0u;
    LastTick = clock;
    EXPECT_FALSE(idle(0x20));
    EXPECT_EQ(GameClock, 3016u + 0x20u);
}

TEST_F(Player, FrameRateIsMeasuredEveryTwoSeconds) {
    start(waiting_page());
    ASSERT_NE(ScreenManager, nullptr);
    // The first frame presents the whole picture; later ones have nothing
    // dirty and present nothing.
    for (int i = 0; i < 124; ++i) idle(16);  // 1984 ms
    EXPECT_EQ(ScreenManager->FrameRate, 0.0);
    const int32_t presented = ScreenManager->FrameCount;
    EXPECT_GE(presented, 1);
    idle(16);  // 2000 ms
    EXPECT_DOUBLE_EQ(ScreenManager->FrameRate, presented * 1000.0 / 2000.0);
    EXPECT_EQ(ScreenManager->FrameCount, 0);
}

TEST_F(Player, InactiveWindowRunsNothingAndTheClockGoesOnFromWhereItStood) {
    start(waiting_page());
    EXPECT_FALSE(idle(16));
    view->HandleEvent(PlainEvent(InputEventKind::Deactivate));
    EXPECT_TRUE(idle(500));
    EXPECT_EQ(GameClock, 16u);
    EXPECT_EQ(FrameCount, 1u);
    clock += 1000;
    view->HandleEvent(PlainEvent(InputEventKind::Activate));
    EXPECT_FALSE(idle(16));
    EXPECT_EQ(GameClock, 32u);
}

TEST_F(Player, FrameStepRunsInputThenProjectThenUpdatesThenCountsThenDraws) {
    start(waiting_page());
    auto* probe = new TUpdateProbe(VorqBaseList);
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, 65));
    EXPECT_FALSE(idle());
    EXPECT_EQ(probe->Updates, 1);
    EXPECT_TRUE(probe->SeenKeyClick);        // the input step came before the update pass
    EXPECT_EQ(probe->SeenScriptValue, 0);    // the project step too, and saw no frame counted yet
    EXPECT_EQ(probe->SeenFrameCount, 0u);    // the counter moves after the update pass
    EXPECT_EQ(FrameCount, 1u);
    EXPECT_EQ(view->PresentedFrames, 1u);
    // Every second frame is drawn with a divisor of 2.
    DrawDivisor = 2;
    for (int i = 0; i < 4; ++i) idle();
    EXPECT_EQ(view->PresentedFrames, 3u);
}

TEST_F(Player, FrameThatEndsThePlayUpdatesAndDrawsNothingAndClosesTheWindow) {
    TPageWriter w;
    w.Terminate();
    start(w);
    auto* probe = new TUpdateProbe(VorqBaseList);
    EXPECT_FALSE(idle());
    EXPECT_TRUE(Terminating);
    EXPECT_EQ(probe->Updates, 0);
    EXPECT_EQ(FrameCount, 0u);
    EXPECT_EQ(view->PresentedFrames, 0u);
    EXPECT_TRUE(view->ClosePosted());
    EXPECT_TRUE(idle());
    view->Run();
    EXPECT_TRUE(view->Closed());
    EXPECT_FALSE(view->Window().Visible());
    EXPECT_EQ(VorqBaseList, nullptr);
    EXPECT_EQ(Project, nullptr);
    EXPECT_FALSE(view->Failed);
}

TEST_F(Player, HeldKeyClicksOnceAndAutoRepeatAddsNone) {
    start(waiting_page());
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, VK_SPACE));
    idle();
    EXPECT_TRUE(VorqBaseList->GetKeyClick(VK_SPACE));
    EXPECT_TRUE(VorqBaseList->GetKeyPush(VK_SPACE));
    for (int i = 0; i < 3; ++i) {
        view->HandleEvent(KeyEvent(InputEventKind::KeyDown, VK_SPACE, true));
        idle();
        EXPECT_FALSE(VorqBaseList->GetKeyClick(VK_SPACE)) << i;
        EXPECT_TRUE(VorqBaseList->GetKeyPush(VK_SPACE)) << i;
    }
    view->HandleEvent(KeyEvent(InputEventKind::KeyUp, VK_SPACE));
    idle();
    EXPECT_FALSE(VorqBaseList->GetKeyPush(VK_SPACE));
    // Keys pressed while the window is inactive are not seen, and leaving
    // the window forgets what was held.
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, VK_RETURN));
    view->HandleEvent(PlainEvent(InputEventKind::Deactivate));
    EXPECT_FALSE(VorqBaseList->GetKeyPush(VK_RETURN));
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, VK_A));
    view->HandleEvent(PlainEvent(InputEventKind::Activate));
    idle();
    EXPECT_FALSE(VorqBaseList->GetKeyClick(VK_A));
    // Codes outside the table are ignored.
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, 300));
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, 0));
    idle();
}

TEST_F(Player, MouseReachesTheLayersInPictureCoordinates) {
    start(waiting_page());
    const int32_t top = view->ImageOffsetY;
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, 100, top + 50));
    view->HandleEvent(MouseEvent(InputEventKind::MouseDown, 100, top + 50));
    idle();
    TVorqBase* active = VorqBaseList->ActiveBase();
    TVorqBase* other = VorqBaseList->GetBaseAt(VorqBaseList->ActiveIndex ^ 1);
    EXPECT_EQ(active->MouseX, 100);
    EXPECT_EQ(active->MouseY, 50);
    EXPECT_EQ(other->MouseY, 50);
    EXPECT_EQ(active->LClicked, 1);
    EXPECT_EQ(active->LHeld, 1);
    EXPECT_EQ(other->LHeld, 1);
    view->HandleEvent(MouseEvent(InputEventKind::MouseUp, 100, top + 50));
    idle();
    EXPECT_EQ(active->LClicked, 0);
    EXPECT_EQ(active->LHeld, 0);
    EXPECT_EQ(other->LHeld, 0);
    // Above the picture (the toolbar's strip) a press does not reach the game.
    view->HandleEvent(MouseEvent(InputEventKind::MouseDown, 10, top - 1, MouseButton::Right));
    idle();
    EXPECT_EQ(active->RClicked, 0);
    view->HandleEvent(MouseEvent(InputEventKind::MouseDown, 10, top, MouseButton::Right));
    idle();
    EXPECT_EQ(active->RClicked, 1);
    view->HandleEvent(MouseEvent(InputEventKind::MouseWheel, 10, top, MouseButton::Left, -1));
    idle();
    EXPECT_EQ(active->WheelDown, 1);
    EXPECT_EQ(active->WheelUp, 0);
    view->HandleEvent(MouseEvent(InputEventKind::MouseWheel, 10, top, MouseButton::Left, 1));
    idle();
    EXPECT_EQ(active->WheelUp, 1);
}

TEST_F(Player, ChangesOnEitherActiveLayerReachTheWindow) {
    start(waiting_page());
    idle();
    const Video& window = view->Window();
    const auto shown = [&](int32_t x, int32_t y) {
        return window.ReadPixels()[size_t(view->ImageOffsetY + y) * size_t(window.ClientWidth()) + size_t(x)];
    };
    struct Case {
        int32_t layer;
        int32_t colour;     // 0x00BBGGRR
        uint32_t expected;  // 0x00RRGGBB in the window
    };
    for (const Case c : {Case{0, 0x0000FF, 0xFF0000}, Case{1, 0x00FF00, 0x00FF00}, Case{0, 0xFF0000, 0x0000FF}}) {
        SCOPED_TRACE(c.layer);
        VorqBaseList->SetActiveBase(c.layer, 0, 0, false, 0, 0);
        TVorqBase* layer = VorqBaseList->ActiveBase();
        layer->SetColor(c.colour);
        layer->AddDirtyRect(TRect{0, 0, 16, 8});
        idle();
        EXPECT_EQ(shown(3, 3), c.expected);
        EXPECT_EQ(shown(15, 7), c.expected);
        EXPECT_EQ(VorqBaseList->GetBaseAt(0)->DirtyList.Count(), 0);
        EXPECT_EQ(VorqBaseList->GetBaseAt(1)->DirtyList.Count(), 0);
    }
}

TEST_F(Player, RepaintBringsThePictureBackAndLeavesTheToolbarAlone) {
    folder.WritePage("main.vsb", waiting_page());
    folder.WriteProject(TestProjectData("main.vsb"));
    auto owned = std::make_unique<ScriptedVideo>();
    ScriptedVideo& window = *owned;
    view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()}, std::move(owned));
    view->FormCreate();
    ASSERT_FALSE(Terminating);
    VorqBaseList->ActiveBase()->SetColor(0x0000FF);
    VorqBaseList->ActiveBase()->InvalidateWhole();
    idle();
    const size_t w = size_t(window.ClientWidth()), h = size_t(window.ClientHeight());
    const size_t top = size_t(view->ImageOffsetY);
    const std::vector<uint32_t> before(window.ReadPixels(), window.ReadPixels() + w * h);
    ASSERT_EQ(before[(top + 5) * w + 5], 0xFF0000u);
    ASSERT_NE(before[w + 1], 0xFF0000u);

    // The window lost its picture and asks for it again: it comes back in
    // the panel, and no present ever shows the picture over the toolbar.
    const std::vector<uint32_t> black(w * h, 0);
    window.Update(black.data(), int32_t(w), int32_t(h), int32_t(w), 0, 0);
    int shows = 0;
    window.OnShow = [&] {
        ++shows;
        for (size_t y = 0; y < top; ++y)
            for (size_t x = 0; x < w; ++x) ASSERT_NE(window.ReadPixels()[y * w + x], 0xFF0000u) << x << "," << y;
    };
    view->HandleEvent(PlainEvent(InputEventKind::Paint));
    window.OnShow = nullptr;
    EXPECT_GE(shows, 1);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), window.ReadPixels()));
}

struct Asked {
    std::string Text, Caption;
    MessageBoxKind Kind = MessageBoxKind::OK;
    bool TerminatingMeanwhile = false;
    int Answer = IDNO;
};
Asked g_asked;
int fake_ask(const std::string& text, const std::string& caption, MessageBoxKind kind, MessageBoxIcon) {
    g_asked.Text = text;
    g_asked.Caption = caption;
    g_asked.Kind = kind;
    g_asked.TerminatingMeanwhile = Terminating;
    return g_asked.Answer;
}

TEST_F(Player, QuitAsksWithTheTitleAndNoLeavesTheGameRunning) {
    start(waiting_page());
    view->Ask = fake_ask;
    g_asked = Asked{};
    g_asked.Answer = IDNO;
    view->QuitClick();
    EXPECT_EQ(Cp932ToUtf8(g_asked.Text), "「テスト」を終了しますか？");
    EXPECT_EQ(g_asked.Kind, MessageBoxKind::YesNo);
    EXPECT_TRUE(g_asked.TerminatingMeanwhile);  // the frame loop pauses while asking
    EXPECT_FALSE(Terminating);
    EXPECT_FALSE(view->ClosePosted());
    EXPECT_FALSE(idle());
    g_asked.Answer = IDYES;
    view->QuitClick();
    EXPECT_TRUE(view->ClosePosted());
    EXPECT_TRUE(idle());
    view->Run();
    EXPECT_TRUE(view->Closed());
    EXPECT_FALSE(view->Failed);
}

TEST_F(Player, ToolbarCarriesQuitAndScreenSwitchAndKeepsItsClicksFromTheGame) {
    start(waiting_page());
    TToolbar97* bar = view->Toolbar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->ButtonCount(), 2);
    EXPECT_EQ(bar->ButtonAt(0).GetCaption().Text, Sjis("終了"));
    EXPECT_EQ(bar->ButtonAt(1).GetCaption().Text, Sjis("画面切替"));
    EXPECT_EQ(bar->ButtonAt(0).Bounds().Width(), 67);
    EXPECT_EQ(bar->ButtonAt(1).Bounds().Left, 67);
    EXPECT_EQ(bar->ButtonAt(1).Bounds().Height(), 18);
    EXPECT_EQ(bar->Width(), 640);
    view->Ask = fake_ask;
    g_asked = Asked{};
    g_asked.Answer = IDNO;
    // A click on "終了" asks; the press never reaches the game's layers.
    view->HandleEvent(MouseEvent(InputEventKind::MouseDown, 20, 10));
    view->HandleEvent(MouseEvent(InputEventKind::MouseUp, 20, 10));
    idle();
    EXPECT_EQ(Cp932ToUtf8(g_asked.Text), "「テスト」を終了しますか？");
    EXPECT_EQ(VorqBaseList->ActiveBase()->LClicked, 0);
    EXPECT_FALSE(view->ClosePosted());
    // "画面切替" goes to full screen, where the bar hides until the pointer
    // touches the top row, and back.
    view->HandleEvent(MouseEvent(InputEventKind::MouseDown, 90, 10));
    view->HandleEvent(MouseEvent(InputEventKind::MouseUp, 90, 10));
    ASSERT_NE(ScreenManager, nullptr);
    ASSERT_TRUE(ScreenManager->FullScreen());
    EXPECT_TRUE(view->Window().IsFullScreen());
    EXPECT_FALSE(bar->Visible());
    EXPECT_EQ(view->Window().ClientHeight(), 480);
    EXPECT_EQ(view->ImageOffsetY, 0);
    EXPECT_FALSE(idle());
    EXPECT_EQ(view->PresentedFrames, 2u);
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, 300, 0));
    EXPECT_TRUE(bar->Visible());
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, 300, 40));
    EXPECT_FALSE(bar->Visible());
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, 300, 0));
    view->ScreenSwitchClick();
    EXPECT_FALSE(ScreenManager->FullScreen());
    EXPECT_FALSE(view->Window().IsFullScreen());
    EXPECT_TRUE(bar->Visible());
    EXPECT_EQ(view->Window().ClientHeight(), 480 + 22);
    EXPECT_EQ(view->ImageOffsetY, 22);
    EXPECT_FALSE(idle());
}

TEST_F(Player, ToolbarShownInFullScreenStaysOverEveryFrameDrawnBelowIt) {
    start(waiting_page());
    view->ScreenSwitchClick();
    ASSERT_TRUE(ScreenManager->FullScreen());
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, 300, 0));
    ASSERT_TRUE(view->Toolbar()->Visible());
    const Video& window = view->Window();
    const auto at = [&](int32_t x, int32_t y) {
        return window.ReadPixels()[size_t(y) * size_t(window.ClientWidth()) + size_t(x)];
    };
    // An animated scene: every frame redraws the whole picture.
    for (const int32_t colour : {0x0000FF, 0x00FF00, 0xFF0000}) {
        SCOPED_TRACE(colour);
        VorqBaseList->ActiveBase()->SetColor(colour);
        VorqBaseList->ActiveBase()->InvalidateWhole();
        idle();
        const uint32_t picture = at(300, 100);
        EXPECT_NE(picture, chrome_colour::Face);
        EXPECT_EQ(at(300, 5), chrome_colour::Face);
        EXPECT_NE(at(30, 10), picture);  // the "終了" button's face or caption
    }
    // Hidden again, the bar leaves the picture alone.
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, 300, 40));
    idle();
    EXPECT_EQ(at(300, 5), at(300, 100));
}

TEST_F(Player, ModeChangeInFullScreenKeepsTheWindowPlacementForTheWayBack) {
    start(waiting_page());
    ASSERT_NE(ScreenManager, nullptr);
    view->Window().Move(123, 45);
    view->SetFullScreen(true);
    ASSERT_TRUE(ScreenManager->FullScreen());
    DisplayMode first, other;
    ASSERT_TRUE(ScreenManager->GetMode(ScreenManager->ModeIndex(), first));
    ASSERT_GE(ScreenManager->GetModeCount(), 2);
    ScreenManager->PreferredModeIndex = ScreenManager->ModeIndex() == 0 ? 1 : 0;
    view->ApplyDisplayMode();
    ASSERT_TRUE(ScreenManager->FullScreen());
    ASSERT_TRUE(ScreenManager->GetMode(ScreenManager->ModeIndex(), other));
    EXPECT_FALSE(first == other);
    EXPECT_EQ(view->Window().FullScreenMode(), other);
    view->SetFullScreen(false);
    EXPECT_EQ(view->Window().Position().X, 123);
    EXPECT_EQ(view->Window().Position().Y, 45);
    EXPECT_EQ(view->Window().ClientHeight(), 480 + 22);
    EXPECT_TRUE(view->Toolbar()->Visible());
}

TEST_F(Player, ErrorEscapingAFrameIsShownAndEndsTheGame) {
    start(waiting_page());
    auto* probe = new TUpdateProbe(VorqBaseList);
    probe->Throw = true;
    testing::internal::CaptureStderr();
    view->Run(100);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("broken object"), std::string::npos) << err;
    EXPECT_TRUE(view->Closed());
    EXPECT_TRUE(view->Failed);
}

TEST_F(Player, AFaultThatRecursEveryPassStillEndsTheGame) {
    folder.WritePage("main.vsb", waiting_page());
    folder.WriteProject(TestProjectData("main.vsb"));
    auto owned = std::make_unique<ScriptedVideo>();
    int fetches = 0;
    // Bounded so that a loop which never gives up still ends the test.
    owned->OnFetch = [&fetches] {
        if (++fetches < 1000) throw ECorruptData("broken window");
    };
    view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()}, std::move(owned));
    view->FormCreate();
    testing::internal::CaptureStderr();
    view->Run(100);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fetches, 1);
    EXPECT_TRUE(view->Closed());
    EXPECT_TRUE(view->Failed);
}

TEST_F(Player, FrameLimitClosesTheWindow) {
    start(waiting_page());
    SetClockSource({});
    EXPECT_EQ(view->Run(5), 5u);
    EXPECT_TRUE(view->Closed());
    EXPECT_FALSE(view->Failed);
    EXPECT_EQ(FrameCount, 5u);
}

TEST_F(Player, CloseRequestOfTheWindowEndsTheLoop) {
    start(waiting_page());
    view->Window().InjectEvent(PlainEvent(InputEventKind::CloseRequest));
    view->Run();
    EXPECT_TRUE(view->Closed());
    EXPECT_TRUE(Terminating);
}

// Bad games: each ends with the system's message, a failure, and no window left.
struct BadGame {
    const char* Name;
    std::function<void(TTestGameFolder&)> Make;
    const char* Message;  // UTF-8
};

class BadGames : public Player, public ::testing::WithParamInterface<BadGame> {};

TEST_P(BadGames, EndWithTheirMessageAndAFailure) {
    GetParam().Make(folder);
    testing::internal::CaptureStderr();
    create();
    view->Run();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(GetParam().Message), std::string::npos) << err;
    EXPECT_TRUE(view->Failed);
    EXPECT_TRUE(view->Closed());
    EXPECT_FALSE(view->Window().Visible());
    // A folder where no game was read keeps no save.dat of it.
    const std::string name = GetParam().Name;
    if (name == "NoProject" || name == "CorruptProject" || name == "CorruptArchive") {
        EXPECT_FALSE(FileExists(folder.Path() + "save.dat"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Player, BadGames,
    ::testing::Values(
        BadGame{"NoProject", [](TTestGameFolder&) {}, "プロジェクトがありません"},
        BadGame{"CorruptProject",
                [](TTestGameFolder& f) {
                    // A version and a title length running past the end.
                    f.WriteFile("vorq.vpb", std::string("\x6d\0\0\0\xff\xff\0\0abc", 11));
                },
                "プロジェクトファイルが壊れています (title)"},
        BadGame{"NoStartPage", [](TTestGameFolder& f) { f.WriteProject(TestProjectData("missing.vsb")); },
                "スタートページがありません"},
        BadGame{"NoScreen",
                [](TTestGameFolder& f) {
                    TProjectFileData d = TestProjectData("main.vsb");
                    d.Width = 0;
                    f.WriteProject(d);
                    f.WritePage("main.vsb", TPageWriter());
                },
                "(0 x 480)"},
        BadGame{"HugeScreen",
                [](TTestGameFolder& f) {
                    TProjectFileData d = TestProjectData("main.vsb");
                    d.Height = 1 << 30;
                    f.WriteProject(d);
                    f.WritePage("main.vsb", TPageWriter());
                },
                "(640 x 1073741824)"},
        BadGame{"CorruptArchive",
                [](TTestGameFolder& f) { f.WriteFile("game.dat", std::string(64, '\x5a') + "vq"); }, "game.dat"}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
