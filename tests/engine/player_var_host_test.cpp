// The system variables as a game in the player reads and writes them:
// expressions compiled and evaluated against the running main window (on
// the headless video service, with a hand-driven clock), their effect
// checked on the object registry, the screen manager and the window.
#include "engine/player_var_host.h"

#include "engine/form_view.h"
#include "engine/param_collection.h"
#include "engine/parser.h"
#include "media/media.h"
#include "media/screen_manager.h"
#include "objects/base_list.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/fonts.h"
#include "platform/keys.h"
#include "platform/stream.h"
#include "render/tesk_collection.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/input_events.h"

#include <gtest/gtest.h>

#include <set>

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

TEST_F(PlayerVars, MouseButtonsAndWheelAreThoseOfTheActiveLayer) {
    const int32_t top = view->ImageOffsetY;
    view->HandleEvent(MouseEvent(InputEventKind::MouseMove, 100, top + 50));
    view->HandleEvent(MouseEvent(InputEventKind::MouseDown, 100, top + 50));
    idle();
    EXPECT_EQ(eval("@MouseX"), "100");
    EXPECT_EQ(eval("@MouseY"), "50");
    EXPECT_EQ(eval("@LClick"), "TRUE");
    EXPECT_EQ(eval("@LPush"), "TRUE");
    EXPECT_EQ(eval("@RClick"), "FALSE");
    EXPECT_EQ(eval("@RPush"), "FALSE");
    // A press an object took is no longer the game's.
    TVorqBase* active = VorqBaseList->ActiveBase();
    active->PressFlags |= TVorqBase::kLeftTaken;
    EXPECT_EQ(eval("@LPush"), "FALSE");
    active->PressFlags = 0;
    // The click flags take writes; @LPush does not.
    eval("@LClick = 0");
    EXPECT_EQ(active->LClicked, 0);
    eval("@RClick = 1");
    EXPECT_EQ(active->RClicked, 1);
    eval("@LPush = 0");
    EXPECT_TRUE(active->GetLClick());

    view->HandleEvent(MouseEvent(InputEventKind::MouseWheel, 10, top, MouseButton::Left, -1));
    idle();
    EXPECT_EQ(eval("@WheelDown"), "TRUE");
    EXPECT_EQ(eval("@WheelUp"), "FALSE");
    EXPECT_EQ(eval("@KeyPush[256] == @WheelDown"), "TRUE");
    EXPECT_EQ(eval("@KeyClick[256]"), "TRUE");
    EXPECT_EQ(eval("@KeyRepeat[257]"), "FALSE");
    view->HandleEvent(MouseEvent(InputEventKind::MouseWheel, 10, top, MouseButton::Left, 1));
    idle();
    EXPECT_EQ(eval("@KeyPush[257]"), "TRUE");

    // The other layer becomes the active one: its own state is read.
    TVorqBase* other = VorqBaseList->InactiveBase();
    other->MouseX = 7;
    other->LClicked = 0;
    other->WheelUp = 0;
    VorqBaseList->ActiveIndex ^= 1;
    EXPECT_EQ(eval("@MouseX"), "7");
    EXPECT_EQ(eval("@LClick"), "FALSE");
    EXPECT_EQ(eval("@WheelUp"), "FALSE");
}

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

TEST_F(PlayerVars, KeyArraysReadTheRegistrysKeyStateAndTakeNoWrites) {
    view->HandleEvent(KeyEvent(InputEventKind::KeyDown, VK_RETURN));
    idle();
    EXPECT_EQ(eval("@KeyPush[13]"), "TRUE");
    EXPECT_EQ(eval("@KeyClick[13]"), "TRUE");
    EXPECT_EQ(eval("@KeyRepeat[13]"), "TRUE");
    EXPECT_EQ(eval("@KeyPush[32]"), "FALSE");
    idle();
    EXPECT_EQ(eval("@KeyPush[13]"), "TRUE");
    EXPECT_EQ(eval("@KeyClick[13]"), "FALSE");
    EXPECT_EQ(eval("@KeyRepeat[13]"), "FALSE");
    TCustomParam* push = var("@KeyPush");
    EXPECT_EQ(push->Count(), 258);
    EXPECT_FALSE(push->GetAsBool());
    EXPECT_FALSE(push->GetBoolAt(-1));
    EXPECT_FALSE(push->GetBoolAt(258));
    EXPECT_FALSE(push->GetBoolAt(300));
    EXPECT_EQ(push->GetStrAt(13), "TRUE");
    push->SetBoolAt(13, false);
    push->SetAsBool(false);
    EXPECT_TRUE(VorqBaseList->GetKeyPush(13));
    view->HandleEvent(KeyEvent(InputEventKind::KeyUp, VK_RETURN));
    idle();
    EXPECT_EQ(eval("@KeyPush[13]"), "FALSE");
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

TEST_F(PlayerVars, SoundOnIsTheRegistrysFlagAndTakesTextAsAnInteger) {
    std::vector<bool> told;
    VorqBaseList->OnSoundOn = [&](bool on) { told.push_back(on); };
    EXPECT_EQ(eval("@SoundON"), "TRUE");
    var("@SoundON")->SetAsString("TRUE");  // read as an integer: 0
    EXPECT_EQ(VorqBaseList->SoundOn, 0);
    EXPECT_EQ(eval("@SoundON"), "FALSE");
    eval("@SoundON = 1");
    EXPECT_EQ(VorqBaseList->SoundOn, 1);
    EXPECT_EQ(told, (std::vector<bool>{false, true}));
}

TEST_F(PlayerVars, CGDitherIsTheImageCachesAndRedrawsTheLayers) {
    // The player makes no cache without a picture source: false, no effect.
    ASSERT_EQ(TeskCollection, nullptr);
    eval("@CGDither = 1");
    EXPECT_EQ(eval("@CGDither"), "FALSE");

    TNoPictures source;
    TTeskCollection cache(&source);
    TeskCollection = &cache;
    struct Restore {
        ~Restore() { TeskCollection = nullptr; }
    } restore;
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

TEST_F(PlayerVars, FontListsAreSortedLinesWithoutVerticalFaces) {
    const std::string all = eval("@Fonts");
    const std::string fixed = eval("@FixedFonts");
    auto lines = [](const std::string& text) {
        std::vector<std::string> out;
        size_t from = 0;
        while (!text.empty()) {
            size_t at = text.find("\r\n", from);
            out.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
            if (at == std::string::npos) break;
            from = at + 2;
        }
        return out;
    };
    const std::vector<std::string> names = lines(all);
    // The IPA faces the player installs: several, some of fixed pitch.
    ASSERT_GE(names.size(), 2u);
    EXPECT_NE(all.find("\r\n"), std::string::npos);
    EXPECT_FALSE(fixed.empty());
    const std::vector<std::string> installed = GetFontNames(false, true, false);
    std::set<std::string> expected;
    for (const std::string& n : installed)
        if (n[0] != '@') expected.insert(n);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_FALSE(names[i].empty());
        EXPECT_NE(names[i][0], '@');
        if (i > 0) {
            EXPECT_LE(AnsiCompareText(names[i - 1], names[i]), 0) << names[i];
        }
    }
    if (!all.empty()) {
        EXPECT_GT(static_cast<unsigned char>(all.front()), ' ');
        EXPECT_GT(static_cast<unsigned char>(all.back()), ' ');
    }
    for (const std::string& f : lines(fixed)) EXPECT_NE(all.find(f), std::string::npos) << f;
    EXPECT_LE(fixed.size(), all.size());
}

TEST_F(PlayerVars, ModuleLessVariablesKeepTheirDefaults) {
    // No MIDI manager and no backlog run in the player yet.
    EXPECT_EQ(eval("@MidiPort"), "");
    eval("@MidiPort = \"port\"");
    EXPECT_EQ(eval("@MidiPort"), "");
    EXPECT_EQ(var("@MidiPorts")->Count(), 0);
    EXPECT_EQ(var("@MidiPorts")->GetAsString(), "");
    EXPECT_EQ(eval("@HistoryCount"), "0");
    eval("@HistoryMaxCount = 5");
    EXPECT_EQ(eval("@HistoryMaxCount"), "0");
    // The engine's own variables still answer through the player's host.
    idle();
    EXPECT_EQ(eval("@UpdateCount"), std::to_string(FrameCount));
    EXPECT_EQ(eval("@TickCount"), std::to_string(GameClock));
}

}  // namespace
