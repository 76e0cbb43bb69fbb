#include "objects/scene_link.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/scene/registry_link.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "platform/text/string_list.h"
#include "render/tesk_collection.h"
#include "tests/objects/scene_fixture.h"

using RegistryTest = SceneTest;

TEST_F(RegistryTest, LayerNamesFindActiveInactiveAndLiteralLayers) {
    const std::string b0 = std::string("\x01") + "BASE0", b1 = std::string("\x01") + "BASE1";
    reg->SetActiveBase(1, 0, 0, false, 0, 0);
    EXPECT_EQ(reg->FindObject(b1), reg->GetBaseAt(0));  // the inactive one
    EXPECT_EQ(reg->FindControl(b1), reg->GetBaseAt(1));
    EXPECT_EQ(reg->FindObject(""), reg->GetBaseAt(1));
    EXPECT_EQ(reg->FindObject(b0), reg->GetBaseAt(1));
    EXPECT_EQ(reg->FindControl(b0), reg->GetBaseAt(0));
    EXPECT_EQ(reg->FindObject("\x01"), reg->GetBaseAt(0));
    EXPECT_EQ(reg->FindObject("missing"), nullptr);
    EXPECT_EQ(reg->GetObjectCount(), 0);  // layers are not listed
    auto* t = new TTestTimer(reg.get());
    t->SetName("t");
    EXPECT_EQ(reg->FindObject("t"), t);
    EXPECT_EQ(reg->FindControl("t"), nullptr);  // no control
}

TEST_F(RegistryTest, ListCompoFiltersByTypeAndParent) {
    TTestBox* a = Box("a", 0, 0, 1, 1);
    Box("b", 0, 0, 1, 1, a);
    (new TTestTimer(reg.get()))->SetName("t");
    TStringList all, boxes, under_a, none;
    EXPECT_EQ(reg->ListCompo(all, 0, reg.get()), 3);
    EXPECT_EQ(reg->ListCompo(boxes, LT_BOX, reg.get()), 2);
    EXPECT_EQ(reg->ListCompo(under_a, 0, a), 1);
    EXPECT_EQ(under_a.Get(0), "b");
    EXPECT_EQ(reg->ListCompo(none, 0, nullptr), 0);  // not even the parentless timer
}

TEST_F(RegistryTest, KeyRepeatFollowsTheFrameClock) {
    // A key pressed just before frame 1, held 400 ms at 16 ms frames.
    reg->SetKeyPush(65, true);
    reg->SetKeyClick(65, true);
    std::vector<int> repeat_frames, click_frames;
    int elapsed = 0;
    for (int frame = 1; frame <= 30; ++frame) {
        reg->InputStep(16);
        if (reg->GetKeyRepeat(65)) repeat_frames.push_back(frame);
        if (reg->GetKeyClick(65)) click_frames.push_back(frame);
        elapsed += 16;
        if (elapsed >= 400) reg->SetKeyPush(65, false);
    }
    // The frame after the press; then after 300 ms of countdown (the 19th
    // step brings it below 1, read in the following frame); then 50 ms on.
    EXPECT_EQ(repeat_frames, (std::vector<int>{1, 20, 23}));
    EXPECT_EQ(click_frames, std::vector<int>{1});
    EXPECT_FALSE(reg->GetKeyPush(65));
    // A repeated press message while held changes nothing.
    reg->SetKeyPush(66, true);
    reg->InputStep(100);
    reg->InputStep(100);
    reg->SetKeyPush(66, true);
    reg->InputStep(100);
    EXPECT_FALSE(reg->GetKeyRepeat(66));
    reg->InputStep(100);
    EXPECT_TRUE(reg->GetKeyRepeat(66));  // 300 ms reached, not restarted
    EXPECT_FALSE(reg->GetKeyPush(300));
    reg->SetKeyPush(-1, true);  // ignored
}

TEST_F(RegistryTest, FocusMovesQueueFocusEventsAndKeys) {
    TTestBox* a = Box("a", 0, 0, 10, 10);
    TTestBox* b = Box("b", 20, 0, 10, 10);
    a->SetHandleKey(true);
    b->SetHandleKey(true);
    a->SetOnFocusIn("a_in.vsb");
    a->SetOnFocusOut("a_out.vsb");
    b->SetOnFocusIn("b_in.vsb");
    b->SetOnKeyDown("b_key.vsb");
    b->SetOnKeyRepeat("b_rep.vsb");
    b->SetOnKeyUp("b_up.vsb");
    reg->InputStep(16);  // the search finds the topmost focusable: b
    EXPECT_EQ(reg->Focus(), b);
    // A click on a moves the focus there.
    Step(5, 5, 'L');
    EXPECT_EQ(reg->Focus(), a);
    EXPECT_EQ(CountEvents(PR_ONFOCUSIN), 2);
    Release();
    reg->SetFocusObject(b);
    EXPECT_EQ(CountEvents(PR_ONFOCUSOUT), 1);
    reg->SetKeyPush(13, true);
    reg->InputStep(16);
    EXPECT_EQ(CountEvents(PR_ONKEYDOWN), 1);
    EXPECT_EQ(CountEvents(PR_ONKEYREPEAT), 1);
    reg->SetKeyPush(13, false);
    reg->InputStep(16);
    EXPECT_EQ(CountEvents(PR_ONKEYUP), 1);
    // Hiding the focused control clears the focus and searches again.
    b->SetVisible(false);
    EXPECT_EQ(reg->Focus(), nullptr);
    reg->InputStep(16);
    EXPECT_EQ(reg->Focus(), a);
    // Freeing the focused control leaves no dangling focus.
    a->FreeNow();
    EXPECT_EQ(reg->Focus(), nullptr);
    EXPECT_TRUE(reg->FocusSearchRequested());
    reg->InputStep(16);
    EXPECT_EQ(reg->Focus(), nullptr);
}

TEST_F(RegistryTest, LeftPressQueuesOnceAndReleaseFollowsTheTakenPress) {
    TTestBox* a = Box("a", 0, 0, 50, 50);
    a->SetOnLBtnDown("down.vsb");
    a->SetOnLBtnUp("up.vsb");
    Step(10, 20, 'L');
    ASSERT_EQ(CountEvents(PR_ONLBTNDOWN), 1);
    const TTimerData& e = reg->Events.Get(0);
    EXPECT_EQ(e.Args.Get(0), "10");
    EXPECT_EQ(e.Args.Get(1), "20");
    EXPECT_TRUE(Layer().PressFlags & TVorqBase::kLeftTaken);
    EXPECT_FALSE(Layer().GetLClick());
    // Releasing gives the release event to the object that took the press.
    Release();
    Step(10, 20);
    EXPECT_EQ(CountEvents(PR_ONLBTNUP), 1);
    // A second click before the handler ran queues nothing new, and the
    // refused press is not taken.
    Step(12, 20, 'L');
    EXPECT_EQ(CountEvents(PR_ONLBTNDOWN), 1);
    EXPECT_EQ(Layer().PressFlags, 0);
    reg->Events.Clear();
    Release();
    Step(12, 20);
    // Moving away while held: captured, no out event, release goes to a.
    a->SetOnMouseOut("out.vsb");
    Step(12, 20, 'L');
    Step(200, 200);
    EXPECT_EQ(CountEvents(PR_ONMOUSEOUT), 0);
    Release();
    Step(200, 200);
    EXPECT_EQ(CountEvents(PR_ONLBTNUP), 1);
    Step(201, 200);
    EXPECT_EQ(CountEvents(PR_ONMOUSEOUT), 1);
}

TEST_F(RegistryTest, IgnoreMouseThreePassesALeftPressToTheControlBelow) {
    TTestBox* below = Box("below", 0, 0, 50, 50);
    TTestBox* above = Box("above", 0, 0, 50, 50);
    above->SetPriority(1);
    above->SetIgnoreMouse(IM_LCLICK);
    below->SetOnLBtnDown("below.vsb");
    above->SetOnLBtnDown("above.vsb");
    above->SetOnMouseIn("in.vsb");
    Step(5, 5);
    EXPECT_EQ(CountEvents(PR_ONMOUSEIN), 1);  // movement reaches above
    Step(5, 5, 'L');
    ASSERT_EQ(CountEvents(PR_ONLBTNDOWN), 1);
    EXPECT_EQ(reg->Events.Get(reg->Events.Count() - 1).Label, "below.vsb");
}

TEST_F(RegistryTest, InAndOutEventsAndAnObjectFreedByItsHook) {
    TTestBox* a = Box("a", 0, 0, 10, 10);
    TTestBox* b = Box("b", 20, 0, 10, 10);
    a->SetOnMouseIn("a_in.vsb");
    a->SetOnMouseOut("a_out.vsb");
    b->SetOnMouseIn("b_in.vsb");
    b->SetOnMouseMove("b_move.vsb");
    Step(5, 5);
    Step(25, 5);
    EXPECT_EQ(CountEvents(PR_ONMOUSEIN), 2);
    EXPECT_EQ(CountEvents(PR_ONMOUSEOUT), 1);
    EXPECT_EQ(CountEvents(PR_ONMOUSEMOVE), 1);
    // Standing still on the same object queues nothing more.
    Step(25, 5);
    EXPECT_EQ(reg->Events.Count(), 4);
    // The pointer object freed between steps is not touched again.
    b->FreeNow();
    EXPECT_EQ(Layer().PointerObject, nullptr);
    Step(5, 5);
    EXPECT_EQ(CountEvents(PR_ONMOUSEIN), 2);  // b's waiting events went with it
    EXPECT_EQ(reg->Events.Get(reg->Events.Count() - 1).Label, "a_in.vsb");
}

// A control that frees itself when pressed, as a scrap-on-click kind does.
class TSelfFreeing : public TTestBox {
public:
    using TTestBox::TTestBox;
    void LBtnDown() override { FreeNow(); }
};

TEST_F(RegistryTest, AnObjectFreedInsideTheMouseStepIsNotTouchedAgain) {
    auto* s = new TSelfFreeing(reg.get());
    s->SetRect(0, 0, 10, 10);
    s->SetParent(reg->ActiveBase());
    s->SetHandleKey(true);
    s->SetOnMouseIn("in.vsb");
    Step(5, 5, 'L');
    EXPECT_EQ(reg->GetObjectCount(), 0);
    EXPECT_EQ(reg->Focus(), nullptr);
    EXPECT_EQ(Layer().PointerObject, nullptr);
    EXPECT_EQ(reg->Events.Count(), 0);
    Release();
    Step(6, 6);
}

TEST_F(RegistryTest, UpdatePassFreesFinishedObjectsWithoutSkippingTheNext) {
    TTestBox* a = Box("a", 0, 0, 1, 1);
    TTestBox* b = Box("b", 0, 0, 1, 1);
    TTestBox* c = Box("c", 0, 0, 1, 1);
    TTestBox* d = Box("d", 0, 0, 1, 1);
    b->OnUpdate = [](TTestBox&) { return true; };
    // c frees a (before it in the list) during its update.
    c->OnUpdate = [a](TTestBox&) {
        a->FreeNow();
        return false;
    };
    d->Paused = true;
    reg->Update();
    EXPECT_EQ(reg->GetObjectCount(), 2);
    EXPECT_EQ(c->Updates, 1);
    EXPECT_EQ(d->Updates, 0);
    // c is freed by the pass: count its updates outside it.
    int c_updates = 0;
    c->OnUpdate = [&c_updates](TTestBox&) { return ++c_updates < 0; };
    d->Paused = false;
    c->Scrap();
    reg->Update();
    EXPECT_EQ(c_updates, 0);  // scheduled objects are not updated
    EXPECT_EQ(d->Updates, 1);
    EXPECT_EQ(reg->GetObjectCount(), 1);
}

TEST_F(RegistryTest, IdleEventsWaitUntilThePreviousOneWasRemoved) {
    TTestBox* a = Box("a", 0, 0, 1, 1);
    a->OnIdle = "idle.vsb";
    reg->Update();
    reg->Update();
    EXPECT_EQ(CountEvents(PR_ONIDLE), 1);
    reg->Events.FirstPending()->State = 1;  // its handler runs
    reg->Update();
    EXPECT_EQ(CountEvents(PR_ONIDLE), 1);
    reg->Events.RemoveStarted();
    reg->Update();
    EXPECT_EQ(CountEvents(PR_ONIDLE), 1);
}

TEST_F(RegistryTest, ScrappedParentsTakeTheirChildrenAlong) {
    TTestBox* p = Box("p", 0, 0, 10, 10);
    TTestBox* c = Box("c", 0, 0, 5, 5, p);
    c->Scrap();
    p->Scrap();
    reg->Update();
    EXPECT_EQ(reg->GetObjectCount(), 0);
    // A layer cannot be scrapped.
    reg->ActiveBase()->Scrap();
    reg->Update();
    EXPECT_NE(reg->ActiveBase(), nullptr);
}

TEST_F(RegistryTest, LayerSwitchWithoutKindKeepsTransitionsAndFocusRules) {
    TTestBox* a = Box("a", 0, 0, 10, 10);
    a->SetHandleKey(true);
    reg->InputStep(16);
    ASSERT_EQ(reg->Focus(), a);
    reg->ClearDirty();
    EXPECT_EQ(reg->SetActiveBase(1, 0, 0, false, 0, 0), nullptr);
    EXPECT_EQ(reg->Focus(), a);  // nothing forced, nothing changed
    EXPECT_EQ(reg->GetBaseAt(0)->DirtyList.Count(), 0);
    reg->SetActiveBase(1, 0, 0, true, 0, 0);
    EXPECT_EQ(reg->Focus(), nullptr);  // a is not on the active layer
    EXPECT_EQ(reg->GetBaseAt(0)->DirtyList.Count(), 1);
    EXPECT_EQ(reg->GetTransitionTime(), 0);
}

TEST_F(RegistryTest, ResetSceneKeepsTheSizeAndEmptiesEverything) {
    Box("a", 0, 0, 10, 10);
    (new TTestTimer(reg.get()))->SetName("t");
    reg->Events.Add("x.vsb", "t", PR_ONNOTIFY);
    TVorqBase* old0 = reg->GetBaseAt(0);
    (void)old0;
    reg->ResetScene();
    EXPECT_EQ(reg->GetObjectCount(), 0);
    EXPECT_EQ(reg->Events.Count(), 0);
    EXPECT_EQ(reg->GetBaseAt(0)->GetWidth(), 640);
    EXPECT_EQ(reg->GetBaseAt(1)->GetHeight(), 480);
    EXPECT_EQ(reg->GetBaseAt(0)->LayerSurface()->Width(), 640);
    EXPECT_EQ(reg->GetWidth(), 640);
}

TEST(PixelTables, GreyLevelsAndTheFiveFiveFiveForm) {
    uint16_t src[256];
    for (int i = 0; i < 256; ++i) src[i] = static_cast<uint16_t>(0xF800 | 0x07E0 | 0x1F) & static_cast<uint16_t>(i * 257);
    BuildPixelTables(16, src);
    EXPECT_EQ(ColorTable16[255], src[255]);
    EXPECT_EQ(GreyPixel16[255], 0xFFFF);
    EXPECT_EQ(GreyPixel16[8], (1 << 11) | (2 << 5) | 1);
    EXPECT_EQ(GreyPixel32[0x12], 0x121212u);
    BuildPixelTables(15, src);
    EXPECT_EQ(ColorTable16[255], 0x7FFF);
    // 5-6-5 white-ish 0x8410 (r 16, g 32, b 16) becomes 5-5-5 (16, 16, 16).
    uint16_t one[256] = {0x8410};
    BuildPixelTables(15, one);
    EXPECT_EQ(ColorTable16[0], (16 << 10) | (16 << 5) | 16);
    EXPECT_EQ(GreyPixel16[255], 0x7FFF);
}

TEST(DisplayObjects, StartUpMakesTheMainRegistryAndTheInterpretersLink) {
    InitDisplayObjects(nullptr);
    ASSERT_NE(VorqBaseList, nullptr);
    ASSERT_NE(Scene, nullptr);
    auto* t = new TTestTimer(VorqBaseList);
    t->SetName("t");
    EXPECT_TRUE(Scene->ObjectExists("t"));
    EXPECT_TRUE(Scene->ScrapObject("t"));
    EXPECT_FALSE(Scene->ObjectExists("t"));
    EXPECT_EQ(&Scene->Events(), &VorqBaseList->Events);
    DoneDisplayObjects();
    EXPECT_EQ(VorqBaseList, nullptr);
    EXPECT_EQ(Scene, nullptr);
}

namespace {
struct FakeWipe : TCustomWipe {
    using TCustomWipe::TCustomWipe;
    void SetMode(uint8_t m) override { mode = m; }
    bool Step() override {
        ChangedRect = MakeRect(1, 2, 3, 4);
        return ++steps > 100;
    }
    int32_t steps = 0, kind = 0;
    uint8_t mode = 0;
};
FakeWipe* last_wipe = nullptr;
}  // namespace

TEST_F(RegistryTest, TransitionsRunBetweenTheLayersOwnSurfaces) {
    SetTransitionMaker([](int32_t kind, TCustomDIBX* screen, TCustomDIBX* leaving,
                          TCustomDIBX* entering) -> std::unique_ptr<TCustomWipe> {
        auto w = std::make_unique<FakeWipe>(screen, leaving, entering);
        w->kind = kind;
        last_wipe = w.get();
        return w;
    });
    TCustomDIBX* screen = reg->GetOwnSurface();
    screen->SetPixel(3, 3, 0x123456);
    TCustomWipe* t = reg->SetActiveBase(1, 7, 2, true, 40, 500);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(last_wipe->kind, 7);
    EXPECT_EQ(last_wipe->mode, 2);
    EXPECT_EQ(last_wipe->Position, 40);
    EXPECT_EQ(last_wipe->TargetSurface, screen);
    EXPECT_EQ(last_wipe->OldSurface, reg->GetBaseAt(1)->LayerSurface());
    EXPECT_EQ(last_wipe->NewSurface, reg->GetBaseAt(0)->LayerSurface());
    // The new layer starts from what the screen showed; during the switch
    // both layers draw into their own surfaces.
    EXPECT_EQ(reg->GetBaseAt(1)->LayerSurface()->GetPixel(3, 3), 0x123456u);
    EXPECT_EQ(reg->GetBaseAt(1)->GetOwnSurface(), reg->GetBaseAt(1)->LayerSurface());
    EXPECT_EQ(reg->GetTransitionTime(), 500);
    reg->SetTransitionPos(250);
    EXPECT_EQ(last_wipe->Position, 250);
    // Kind 0 without force keeps the running transition.
    EXPECT_EQ(reg->SetActiveBase(1, 0, 0, false, 60, 0), nullptr);
    EXPECT_EQ(reg->Transition(), t);
    EXPECT_EQ(last_wipe->Position, 60);
    // The screen takes the rectangle the previous step changed.
    reg->Draw();
    EXPECT_EQ(reg->UpdateRect, TRect{});
    reg->Draw();
    EXPECT_EQ(reg->UpdateRect, MakeRect(1, 2, 3, 4));
    EXPECT_EQ(last_wipe->steps, 2);
    // Forced with kind 0: the transition ends and the screen is drawn on again.
    reg->SetActiveBase(1, 0, 0, true, 0, 0);
    EXPECT_EQ(reg->Transition(), nullptr);
    EXPECT_EQ(reg->GetBaseAt(1)->GetOwnSurface(), screen);
    SetTransitionMaker(nullptr);
}

TEST_F(RegistryTest, LayerSwitchMakesTheNumberedWipeFromTheLeavingLayer) {
    TCustomWipe* t = reg->SetActiveBase(0, 12, 0, true, 0, 300);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->TargetSurface, reg->GetOwnSurface());
    EXPECT_EQ(t->OldSurface, reg->GetBaseAt(0)->LayerSurface());
    EXPECT_EQ(t->NewSurface, reg->GetBaseAt(1)->LayerSurface());
    EXPECT_EQ(reg->GetTransitionTime(), 300);
    reg->SetActiveBase(0, 0, 0, true, 0, 0);
    EXPECT_EQ(reg->SetActiveBase(0, 39, 0, true, 0, 300), nullptr);  // no such wipe: an instant switch
    EXPECT_EQ(reg->Transition(), nullptr);
}

namespace {
struct NoFiles : TTeskSource {
    bool FileExists(const std::string&) override { return false; }
    bool ManagerFileExists(const std::string&) override { return false; }
    void LoadToStream(TStream&, const std::string&) override {}
    uint32_t IdCode() override { return 0; }
};
}  // namespace

TEST(DisplayObjects, TheImageCacheLivesWithTheRegistryAndDitherRedraws) {
    NoFiles files;
    EXPECT_FALSE(GetCGDither());
    InitDisplayObjects(nullptr, &files);
    ASSERT_NE(TeskCollection, nullptr);
    VorqBaseList->SetWidth(100);
    VorqBaseList->SetHeight(50);
    VorqBaseList->ClearDirty();
    SetCGDither(true);
    EXPECT_TRUE(GetCGDither());
    EXPECT_EQ(VorqBaseList->GetBaseAt(0)->DirtyList.Count(), 1);
    EXPECT_EQ(VorqBaseList->GetBaseAt(1)->DirtyList.GetRect(0), MakeRect(0, 0, 100, 50));
    VorqBaseList->ClearDirty();
    SetCGDither(true);  // unchanged: nothing redrawn
    EXPECT_EQ(VorqBaseList->GetBaseAt(0)->DirtyList.Count(), 0);
    VorqBaseList->ReleaseSurfaces();
    VorqBaseList->RestoreSurfaces();
    EXPECT_EQ(VorqBaseList->GetBaseAt(0)->LayerSurface()->Width(), 100);
    DoneDisplayObjects();
    EXPECT_EQ(TeskCollection, nullptr);
}

namespace {
// A kind that offers itself for right-click scrapping, as menus do.
class TScrapOnRightClick : public TTestBox {
public:
    using TTestBox::TTestBox;
    bool GetRClickScrap() const override { return true; }
    bool RightClickScrap() override {
        Scrap();
        return true;
    }
};
}  // namespace

TEST_F(RegistryTest, ARightClickScrapConsumesTheClick) {
    TTestBox* under = Box("under", 0, 0, 100, 100);
    under->SetOnRBtnDown("r.vsb");
    auto* menu = new TScrapOnRightClick(reg.get());
    menu->SetRect(200, 200, 10, 10);
    menu->SetParent(reg->ActiveBase());
    reg->RightClickList().push_back(menu);
    Step(5, 5, 'R');
    EXPECT_EQ(CountEvents(PR_ONRBTNDOWN), 0);
    EXPECT_TRUE(menu->IsScheduledForDeletion());
    reg->Update();
    EXPECT_TRUE(reg->RightClickList().empty());
    Release();
    Step(5, 5);
    Step(5, 5, 'R');
    EXPECT_EQ(CountEvents(PR_ONRBTNDOWN), 1);
}

TEST_F(RegistryTest, WheelEventsAndCapturedPresses) {
    TTestBox* a = Box("a", 0, 0, 50, 50);
    a->SetOnWheelDown("down.vsb");
    a->SetOnWheelUp("up.vsb");
    a->SetOnLBtnUp("lup.vsb");
    Layer().WheelDownPending = 1;
    Step(5, 5);
    Layer().WheelUpPending = 1;
    Step(5, 5);
    Layer().WheelDownPending = 1;  // the first is still waiting: no second
    Step(5, 5);
    EXPECT_EQ(CountEvents(PR_ONWHEELDOWN), 1);
    EXPECT_EQ(CountEvents(PR_ONWHEELUP), 1);
    // A kind that captured the left button keeps the pointer: moving off
    // does not change the target, and letting go queues its release.
    Step(5, 5, 'L');
    Layer().PressFlags = TVorqBase::kLeftCapture;
    Step(300, 300);
    EXPECT_EQ(Layer().PointerObject, a);
    EXPECT_EQ(CountEvents(PR_ONLBTNUP), 0);
    Release();
    Step(300, 300);
    ASSERT_EQ(CountEvents(PR_ONLBTNUP), 1);
    EXPECT_EQ(reg->Events.Get(reg->Events.Count() - 1).Args.Get(0), "300");
    EXPECT_EQ(Layer().PressFlags, 0);
}
