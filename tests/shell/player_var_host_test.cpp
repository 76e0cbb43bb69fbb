// The system variables as a game in the player reads and writes them:
// expressions compiled and evaluated against the running main window (on
// the headless video service, with a hand-driven clock), their effect
// checked on the window, the screen manager and the object registry.
#include "shell/player_var_host.h"

#include "shell/form_view.h"
#include "script/param_collection.h"
#include "script/parser.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/midi/midi_player.h"
#include "media/base/screen_manager.h"
#include "objects/base_list.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/stream.h"
#include "render/tesk_collection.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/input_events.h"
#include "tests/support/midi_recorder.h"

#include <gtest/gtest.h>

namespace {

// A control that takes keys, with a pause flag of its own.
struct TKeyControl : public TVorqControl {
    using TVorqControl::TVorqControl;
    bool GetPaused() const override { return Paused; }
    bool Paused = false;
};

struct TNoPictures : public TTeskSource {
    bool FileExists(const std::string&) override { return false; }
    bool ManagerFileExists(const std::string&) override { return false; }
    void LoadToStream(TStream&, const std::string&) override {}
    uint32_t IdCode() override { return 0; }
};

class PlayerVars : public ::testing::Test {
protected:
    TTestGameFolder folder;
    uint32_t clock = 1000;
    std::unique_ptr<TFormView> view;

    void SetUp() override {
        FormViewUnitStart();
        Terminating = false;
        GameClock = FrameTime = FrameCount = 0;
        LastTick = 0;
        SetClockSource([this] { return clock; });
        TPageWriter page;
        page.Wait("1000000");
        folder.WritePage("main.vsb", page);
        TProjectFileData d = TestProjectData("main.vsb");
        d.Title = Sjis("テスト");
        folder.WriteProject(d);
        view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()},
                                           Video::Create(VideoBackend::Headless));
        view->FormCreate();
        ASSERT_NE(VorqBaseList, nullptr);
        ASSERT_NE(ScreenManager, nullptr);
    }
    void TearDown() override {
        view.reset();
        SetClockSource({});
        FormViewUnitFinish();
        Terminating = false;
    }
    void idle() {
        clock += 16;
        view->ApplicationEventsIdle();
    }
    // Hands the window's waiting events to it, as the message loop does.
    void pump() {
        InputEvent e;
        while (view->Window().PollEvent(e)) view->HandleEvent(e);
    }
    static std::string eval(std::string_view text) {
        TVorqParser p;
        CompileExpression(p, text);
        p.Evaluate();
        return p.Result() ? p.Result()->GetAsString() : "(none)";
    }
    static TCustomParam* var(const char* name) { return Params->Find(name)->Value(); }
};

TEST_F(PlayerVars, WritingTheMousePositionMovesThePointerKeepingTheOtherAxis) {
    const int32_t left = view->ImageOffsetX, top = view->ImageOffsetY;
    view->Window().InjectEvent(MouseEvent(InputEventKind::MouseMove, left + 5, top + 6));
    pump();
    eval("@MouseX = 30");
    EXPECT_EQ(view->Window().PointerPosition().X, left + 30);
    EXPECT_EQ(view->Window().PointerPosition().Y, top + 6);
    pump();  // the move arrives as the user's own would
    EXPECT_EQ(eval("@MouseX"), "30");
    EXPECT_EQ(eval("@MouseY"), "6");
    var("@MouseY")->SetAsString("40");
    pump();
    EXPECT_EQ(view->Window().PointerPosition().X, left + 30);
    EXPECT_EQ(eval("@MouseX ++ \",\" ++ @MouseY"), "30,40");
}

TEST_F(PlayerVars, ProjectScreenAndTitleAreReadOnly) {
    EXPECT_EQ(eval("@ScrWidth ++ \"x\" ++ @ScrHeight"), "640x480");
    EXPECT_EQ(eval("@Title"), Sjis("テスト"));
    eval("@ScrWidth = 1");
    eval("@Title = \"other\"");
    EXPECT_EQ(eval("@ScrWidth"), "640");
    EXPECT_EQ(eval("@Title"), Sjis("テスト"));
    EXPECT_EQ(VorqBaseList->GetWidth(), 640);
}

TEST_F(PlayerVars, FullScreenAndDisplayModesGoThroughTheScreenManager) {
    const int32_t count = ScreenManager->GetModeCount();
    ASSERT_GE(count, 2);
    EXPECT_EQ(eval("@DisplayModeCount"), std::to_string(count));
    EXPECT_EQ(eval("@DisplayModeIndex"), std::to_string(ScreenManager->PreferredModeIndex));
    EXPECT_EQ(eval("@FullScr"), "FALSE");

    // In the window a new index is only kept for the next switch.
    eval("@DisplayModeIndex = 1");
    EXPECT_EQ(ScreenManager->PreferredModeIndex, 1);
    EXPECT_FALSE(ScreenManager->FullScreen());
    eval("@FullScr = 1");
    ASSERT_TRUE(ScreenManager->FullScreen());
    EXPECT_TRUE(view->Window().IsFullScreen());
    EXPECT_EQ(eval("@FullScr"), "TRUE");
    DisplayMode mode;
    ASSERT_TRUE(ScreenManager->GetMode(1, mode));
    EXPECT_EQ(view->Window().FullScreenMode(), mode);

    // In full screen the new mode is applied at once.
    eval("@DisplayModeIndex = 0");
    ASSERT_TRUE(ScreenManager->FullScreen());
    EXPECT_EQ(ScreenManager->ModeIndex(), 0);
    ASSERT_TRUE(ScreenManager->GetMode(0, mode));
    EXPECT_EQ(view->Window().FullScreenMode(), mode);

    // Indexes outside the mode list are refused, the screen stays as it is.
    for (const char* bad : {"@DisplayModeIndex = -1", "@DisplayModeIndex = 99"}) {
        eval(bad);
        EXPECT_EQ(ScreenManager->PreferredModeIndex, 0) << bad;
        EXPECT_EQ(ScreenManager->ModeIndex(), 0) << bad;
        EXPECT_TRUE(view->Window().IsFullScreen()) << bad;
    }
    eval("@DisplayModeIndex = " + std::to_string(count));
    EXPECT_EQ(eval("@DisplayModeIndex"), "0");

    eval("@FullScr = 0");
    EXPECT_FALSE(ScreenManager->FullScreen());
    EXPECT_FALSE(view->Window().IsFullScreen());
    EXPECT_EQ(view->Window().ClientHeight(), 480 + view->DockHeight());
}

TEST_F(PlayerVars, CGDitherIsTheImageCachesAndRedrawsTheLayers) {
    // Without a cache the flag reads false and writes change nothing.
    TTeskCollection* player_cache = TeskCollection;
    TeskCollection = nullptr;
    eval("@CGDither = 1");
    EXPECT_EQ(eval("@CGDither"), "FALSE");

    TNoPictures source;
    TTeskCollection cache(&source);
    TeskCollection = &cache;
    struct Restore {
        TTeskCollection* was;
        ~Restore() { TeskCollection = was; }
    } restore{player_cache};
    const bool was = cache.MatchDepth();
    EXPECT_EQ(eval("@CGDither"), was ? "TRUE" : "FALSE");
    VorqBaseList->ClearDirty();
    var("@CGDither")->SetAsBool(!was);
    EXPECT_EQ(cache.MatchDepth(), !was);
    EXPECT_GT(VorqBaseList->GetBaseAt(0)->DirtyList.Count(), 0);
    EXPECT_GT(VorqBaseList->GetBaseAt(1)->DirtyList.Count(), 0);
    EXPECT_EQ(eval("@CGDither"), !was ? "TRUE" : "FALSE");
}

TEST_F(PlayerVars, ActiveCompoNamesTheFocusAndMovesItOnlyToAFitControl) {
    auto make = [](const char* name) {
        auto* c = new TKeyControl(VorqBaseList);
        c->SetName(name);
        c->SetParent(VorqBaseList->ActiveBase());
        c->SetHandleKey(true);
        return c;
    };
    TKeyControl* a = make("a");
    TKeyControl* b = make("b");
    VorqBaseList->SetFocusObject(a);
    EXPECT_EQ(eval("@ActiveCompo"), "a");
    eval("@ActiveCompo = \"b\"");
    EXPECT_EQ(VorqBaseList->Focus(), b);

    b->SetHandleKey(false);
    a->SetHandleKey(true);
    VorqBaseList->SetFocusObject(a);
    eval("@ActiveCompo = \"b\"");  // takes no keys
    EXPECT_EQ(VorqBaseList->Focus(), a);
    b->SetHandleKey(true);
    b->Paused = true;
    eval("@ActiveCompo = \"b\"");
    EXPECT_EQ(VorqBaseList->Focus(), a);
    b->Paused = false;
    b->SetVisible(false);
    eval("@ActiveCompo = \"b\"");
    EXPECT_EQ(VorqBaseList->Focus(), a);
    eval("@ActiveCompo = \"missing\"");
    eval("@ActiveCompo = \"\"");
    EXPECT_EQ(VorqBaseList->Focus(), a);
    b->SetVisible(true);
    eval("@ActiveCompo = \"b\"");
    EXPECT_EQ(VorqBaseList->Focus(), b);

    VorqBaseList->SetFocusObject(nullptr);
    EXPECT_EQ(eval("@ActiveCompo"), "");
}

TEST_F(PlayerVars, MidiPortsWithoutAMidiManagerAreEmpty) {
    EXPECT_EQ(eval("@MidiPort"), "");
    eval("@MidiPort = \"port\"");
    EXPECT_EQ(eval("@MidiPort"), "");
    EXPECT_EQ(var("@MidiPorts")->Count(), 0);
    EXPECT_EQ(var("@MidiPorts")->GetAsString(), "");
    // The engine's own variables still answer through the player's host.
    idle();
    EXPECT_EQ(eval("@UpdateCount"), std::to_string(FrameCount));
    EXPECT_EQ(eval("@TickCount"), std::to_string(GameClock));
}

// The player's MIDI manager on a recording device list ("recorder").
Recording midi_record;
std::unique_ptr<TMediaManager> recording_midi_manager() {
    return std::make_unique<TMidiManager>(
        std::make_unique<TMidiPlayV>(std::make_unique<RecordingOutputs>(midi_record), false));
}

class PlayerVarsWithMidi : public PlayerVars {
protected:
    void SetUp() override {
        RegisterMediaManager(TMediaManagerKind::Midi, recording_midi_manager);
        PlayerVars::SetUp();
    }
    void TearDown() override {
        PlayerVars::TearDown();
        RegisterMediaManager(TMediaManagerKind::Midi, nullptr);
    }
};

TEST_F(PlayerVarsWithMidi, MidiPortsListTheManagersDevicesAndSelectByName) {
    ASSERT_NE(MidiManager(), nullptr);
    const std::string mapper = Sjis("MIDIマッパー");
    EXPECT_EQ(var("@MidiPorts")->Count(), 2);
    EXPECT_EQ(eval("@MidiPorts"), mapper);  // read without an index: element 0
    EXPECT_EQ(eval("@MidiPorts[0]"), mapper);
    EXPECT_EQ(eval("@MidiPorts[1]"), "recorder");
    EXPECT_EQ(eval("@MidiPort"), mapper);
    // Written names select; an unknown name falls back to the mapper.
    const struct {
        const char* written;
        std::string read;
        int32_t index;
    } cases[] = {{"recorder", "recorder", 1}, {"nothing", mapper, 0}, {"recorder", "recorder", 1}, {"", mapper, 0}};
    for (const auto& c : cases) {
        eval(std::string("@MidiPort = \"") + c.written + "\"");
        EXPECT_EQ(eval("@MidiPort"), c.read) << c.written;
        EXPECT_EQ(MidiManager()->DeviceIndex(), c.index) << c.written;
    }
}

}  // namespace
