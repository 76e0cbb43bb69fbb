// Buttons driven by injected mouse and key input on a registry: the four
// picture states, the pending state while the clicked picture plays, clicks
// and their ONNOTIFY, radio groups, auto-scrapping, state motions and saved
// records.
#include "script/game_clock.h"
#include "objects/images/button.h"
#include "platform/exception.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/record_io.h"
#include "tests/objects/scene_fixture.h"

namespace {

std::function<int32_t(int32_t, int32_t)> solid(int32_t c) {
    return [c](int32_t, int32_t) { return c; };
}

// A motion that ends after a given number of steps and counts its restarts.
class CountingMotion : public TControlMotion {
public:
    bool Step() override { return ++steps == length; }
    bool Ended() const override { return steps >= length; }
    void Restart() override {
        steps = 0;
        ++restarts;
    }
    void ClearTarget() override {}
    void Reapply() override {}
    int steps = 0, restarts = 0, length = 3;
};
CountingMotion* last_motion = nullptr;

class ButtonTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        SetDisplayBitCount(32);
        pictures.Add("normal.tes", {{4, 4, 100, solid(0x0000FF)}});
        pictures.Add("hover.tes", {{4, 4, 100, solid(0x00FF00)}});
        pictures.Add("pressed.tes", {{4, 4, 100, solid(0xFF0000)}});
        pictures.Add("clicked.tes", {{4, 4, 100, solid(0x00FFFF)}, {4, 4, 100, solid(0xFFFF00)}});
        TeskCollection = new TTeskCollection(&pictures);
        FrameTime = 16;
        SetMotionMaker([](TVorqControl&, const std::string&) -> std::unique_ptr<TControlMotion> {
            auto m = std::make_unique<CountingMotion>();
            last_motion = m.get();
            return m;
        });
    }
    void TearDown() override {
        reg.reset();
        delete TeskCollection;
        TeskCollection = nullptr;
        SetMotionMaker(nullptr);
        SetDisplayBitCount(15);
        SceneTest::TearDown();
    }
    // A button at (10, 10), 4 x 4, with the pictures given ("" none).
    TVorqButton* Button(const std::string& hover = "hover.tes", const std::string& pressed = "pressed.tes",
                        const std::string& clicked = "", TVorqControl* parent = nullptr) {
        auto* b = new TVorqButton(reg.get());
        b->SetLeft(10);
        b->SetTop(10);
        b->SetSource("normal.tes");
        b->SetHoverSource(hover);
        b->SetPressedSource(pressed);
        b->SetClickedSource(clicked);
        b->SetOnNotify("clicked.vsb");
        b->SetParent(parent ? parent : reg->ActiveBase());
        return b;
    }
    void Click(int x = 11, int y = 11) {
        Step(x, y, 'L');
        Release();
        Step(x, y);
    }
    bool Alive(TVorqObject* obj) const { return reg->IndexOfObject(obj) >= 0; }
    // The colour at (x, y) once obj is drawn over black.
    uint32_t Shown(TVorqObject& obj, int x, int y) {
        TCustomDIBX& s = *Layer().GetSurface();
        s.ClearClipRect();
        s.Fill(0);
        obj.Draw();
        return s.GetPixel(x, y) & 0xFFFFFF;
    }
    MemoryPictures pictures;
};

TEST_F(ButtonTest, PointerAndPressWalkTheStates) {
    TVorqButton* b = Button();
    EXPECT_EQ(Shown(*b, 11, 11), 0xFF0000u);  // red normal picture (blue in the low byte)
    Step(11, 11);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kHover);
    EXPECT_EQ(Shown(*b, 11, 11), 0x00FF00u);
    Step(11, 11, 'L');
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kPressed);
    EXPECT_EQ(b->PressPhase(), 1);
    EXPECT_FALSE(Layer().GetLClick());  // the button holds the press
    // Dragged off while held: back to normal; dragged on again: pressed.
    Step(30, 30);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    Step(12, 12);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kPressed);
    Release();
    Step(12, 12);
    EXPECT_EQ(CountEvents(PR_ONNOTIFY), 1);
    EXPECT_EQ(b->PressPhase(), 0);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    Step(40, 40);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
}

TEST_F(ButtonTest, ReleasedOutsideIsNoClick) {
    TVorqButton* b = Button();
    Step(11, 11, 'L');
    Step(30, 30);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    Release();
    Step(30, 30);
    EXPECT_EQ(CountEvents(PR_ONNOTIFY), 0);
    EXPECT_EQ(b->PressPhase(), 0);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
}

TEST_F(ButtonTest, StatesWithoutPicturesAreRefused) {
    TVorqButton* b = Button("", "");
    Step(11, 11);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    Step(11, 11, 'L');
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    EXPECT_EQ(b->PressPhase(), 1);
    Release();
    Step(11, 11);
    EXPECT_EQ(CountEvents(PR_ONNOTIFY), 1);
    // Another kind of file loads nothing: still refused.
    b->SetHoverSource("hover.bmp");
    b->SetState(TVorqButton::kHover);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    b->SetSelected(true);  // no group: refused
    EXPECT_FALSE(b->GetSelected());
}

TEST_F(ButtonTest, TheClickedPicturePlaysOnceThenThePendingState) {
    struct Case {
        const char* what;
        bool hover_during_play;
        int32_t after;
    };
    const Case cases[] = {
        {"back to normal", false, TVorqButton::kNormal},
        {"a move over it while it plays leaves it hovered", true, TVorqButton::kHover},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->Events.Clear();
        TVorqButton* b = Button("hover.tes", "pressed.tes", "clicked.tes");
        b->SetOnPlayEnd("end.vsb");
        Click();
        Step(40, 40);  // the pointer leaves: the clicked picture goes on
        ASSERT_EQ(b->GetPictureState(), TVorqButton::kClicked);
        EXPECT_FALSE(b->GetRepeat());
        if (c.hover_during_play) Step(11, 11);
        FrameTime = 100;
        std::vector<int32_t> states;
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(b->Update());
            states.push_back(b->GetPictureState());
        }
        EXPECT_EQ(states, (std::vector<int32_t>{TVorqButton::kClicked, c.after, c.after}));
        EXPECT_EQ(CountEvents(PR_ONPLAYEND), 1);
        EXPECT_EQ(CountEvents(PR_ONNOTIFY), 1);
        EXPECT_TRUE(b->GetRepeat());
        b->FreeNow();
        FrameTime = 16;
    }
}

TEST_F(ButtonTest, AutoScrapFreesTheButtonAfterItsClick) {
    struct Case {
        const char* what;
        const char* clicked;
        int updates_alive;  // updates that keep the button
    };
    const Case cases[] = {
        {"without a clicked picture: at the next update", "", 0},
        {"with one: once it has played", "clicked.tes", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->Events.Clear();
        TVorqButton* b = Button("hover.tes", "pressed.tes", c.clicked);
        b->SetAutoScrap(true);
        b->SetOnPlayEnd("end.vsb");
        Click();
        EXPECT_EQ(CountEvents(PR_ONNOTIFY), 1);
        FrameTime = 100;
        for (int i = 0; i < c.updates_alive; ++i) {
            reg->Update();
            EXPECT_TRUE(Alive(b));
        }
        reg->Update();
        EXPECT_FALSE(Alive(b));
        EXPECT_EQ(CountEvents(PR_ONPLAYEND), 0);
        FrameTime = 16;
    }
}

TEST_F(ButtonTest, RadioGroups) {
    TVorqButton* a = Button();
    TVorqButton* b = Button();
    TVorqButton* c = Button();
    b->SetLeft(20);
    c->SetLeft(30);
    for (TVorqButton* x : {a, b, c}) EXPECT_FALSE(x->GetSelected());
    a->SetGroupIndex(5);
    b->SetGroupIndex(5);
    c->SetGroupIndex(5);
    // Without ALLOWALLUP a group always has one member selected: the first.
    auto selected = [&] { return std::vector<bool>{a->GetSelected(), b->GetSelected(), c->GetSelected()}; };
    EXPECT_EQ(selected(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(a->GetPictureState(), TVorqButton::kPressed);
    // Clicking the selected member changes nothing but still notifies.
    Click(11, 11);
    EXPECT_EQ(selected(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(CountEvents(PR_ONNOTIFY), 1);
    // Another member takes the selection; the first is pressed no longer.
    Click(31, 11);
    EXPECT_EQ(selected(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(c->GetPictureState(), TVorqButton::kPressed);
    EXPECT_EQ(a->GetPictureState(), TVorqButton::kNormal);
    // Hovering a selected member keeps it pressed.
    Step(32, 12);
    EXPECT_EQ(c->GetPictureState(), TVorqButton::kPressed);
    // ALLOWALLUP reaches every member; clicking the selected one leaves none.
    b->SetAllowAllUp(true);
    EXPECT_TRUE(a->GetAllowAllUp());
    EXPECT_TRUE(c->GetAllowAllUp());
    Click(31, 11);
    EXPECT_EQ(selected(), (std::vector<bool>{false, false, false}));
    // Selecting from the script: the preferred member wins.
    b->SetSelected(true);
    EXPECT_EQ(selected(), (std::vector<bool>{false, true, false}));
    // Without a parent ALLOWALLUP is not stored.
    auto* loose = new TVorqButton(reg.get());
    loose->SetGroupIndex(5);
    loose->SetAllowAllUp(true);
    EXPECT_FALSE(loose->GetAllowAllUp());
}

TEST_F(ButtonTest, TwoStatesShowingOneFileKeepTheirFrames) {
    // Each state's list holds the cached picture under its own key: letting
    // one go must not release the frames the other still shows.
    TVorqButton* b = Button("hover.tes", "hover.tes");
    b->SetPressedSource("");
    TeskCollection->Purge("hover.tes");
    Step(11, 11);
    ASSERT_EQ(b->GetPictureState(), TVorqButton::kHover);
    EXPECT_EQ(Shown(*b, 11, 11), 0x00FF00u);
    b->SetSource("hover.tes");  // the normal state too: a third key
    b->SetHoverSource("");
    TeskCollection->Purge("hover.tes");
    Step(40, 40);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    EXPECT_EQ(Shown(*b, 11, 11), 0x00FF00u);
}

TEST_F(ButtonTest, PausingAndResuming) {
    TVorqButton* b = Button();
    b->SetPaused(true);
    Step(11, 11);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);  // no hover while paused
    Step(11, 11, 'L');
    EXPECT_EQ(b->PressPhase(), 0);  // and no press
    Release();
    b->SetState(TVorqButton::kHover);
    b->SetPaused(false);
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
}

TEST_F(ButtonTest, EnterOnTheFocusedButtonClicksAtThePressAndEveryRepeat) {
    TVorqButton* b = Button();
    b->SetHandleKey(true);
    reg->SetFocusObject(b);
    reg->SetKeyPush(13, true);
    std::vector<int> after;
    for (int frame = 1; frame <= 25; ++frame) {
        reg->InputStep(16);
        after.push_back(CountEvents(PR_ONNOTIFY));
    }
    EXPECT_EQ(after[0], 1);    // the press
    EXPECT_EQ(after[17], 1);   // nothing more for 300 ms
    EXPECT_GE(after[24], 3);   // then every 50 ms
    EXPECT_LE(after[24], 4);
    reg->SetKeyPush(13, false);
    reg->InputStep(16);
    reg->InputStep(16);
    EXPECT_EQ(CountEvents(PR_ONNOTIFY), after[24]);
}

TEST_F(ButtonTest, StateMotionsDriveTheirStates) {
    TVorqButton* b = Button("hover.tes", "pressed.tes", "walk.vmt");
    CountingMotion* clicked = last_motion;
    ASSERT_NE(clicked, nullptr);
    EXPECT_EQ(b->GetMotion(), nullptr);  // state 0 has no motion
    Click();
    ASSERT_EQ(b->GetPictureState(), TVorqButton::kClicked);
    EXPECT_EQ(b->GetMotion(), clicked);
    EXPECT_EQ(clicked->restarts, 1);
    EXPECT_FALSE(b->Update());
    EXPECT_FALSE(b->Update());
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kClicked);
    EXPECT_FALSE(b->Update());  // the motion's end
    EXPECT_EQ(b->GetPictureState(), TVorqButton::kNormal);
    EXPECT_EQ(b->GetMotion(), nullptr);
}

TEST_F(ButtonTest, RecordsLoadBackWithTheirGroupAndEveryTruncationIsRefused) {
    TVorqButton* a = Button("hover.tes", "pressed.tes", "clicked.tes");
    a->SetGroupIndex(3);
    a->SetOnIdle("idle.vsb");
    a->SetOnNotify("note.vsb");
    const std::vector<uint8_t> bytes = SavedRecord(*a);
    ASSERT_TRUE(a->GetSelected());
    a->FreeNow();
    auto* copy = new TVorqButton(reg.get());
    copy->SetParent(reg->ActiveBase());
    LoadRecordInto(*copy, bytes, bytes.size(), 130);
    EXPECT_EQ(SavedRecord(*copy), bytes);
    EXPECT_TRUE(copy->GetSelected());
    EXPECT_EQ(copy->GetPictureState(), TVorqButton::kPressed);
    EXPECT_EQ(copy->GetClickedSource(), "clicked.tes");
    EXPECT_EQ(copy->GetOnIdle(), "idle.vsb");
    for (size_t n = 0; n < bytes.size(); ++n) {
        auto* part = new TVorqButton(reg.get());
        EXPECT_THROW(LoadRecordInto(*part, bytes, n, 130), Exception) << n;
        part->FreeNow();
    }
}

}  // namespace
