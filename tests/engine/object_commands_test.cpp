// Pages written with the fixture writers, played headless on a registry with
// memory surfaces: objects created through their commands with properties
// by id, read back with GetProp, changed with SetProp and deleted; the
// applier's order and defaults; screen switches with and without ClearOld,
// carried controls and transitions; property motions and cabinets made by
// their commands.
#include "script/game_clock.h"
#include "shell/headless_runner.h"
#include "script/param_collection.h"
#include "engine/commands.h"
#include "engine/scenario_writer.h"
#include "engine/tesk_source.h"
#include "objects/scene/scene.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/glyph_list_writer.h"
#include "platform/text/codepage.h"
#include "platform/display/message_box.h"
#include "render/tesk.h"
#include "render/tesk_collection.h"
#include "tests/support/plain_dibx.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class ObjectCommands : public ::testing::Test {
protected:
    TTestGameFolder folder;
    TPlainDIBX screen{160, 120, 32};
    std::unique_ptr<TVorqBaseList> reg;
    std::unique_ptr<TRegistrySceneLink> link;
    std::unique_ptr<THeadlessRunner> runner;
    TVorqBaseList* saved_registry = nullptr;

    void SetUp() override {
        SetSurfaceMaker([](int32_t w, int32_t h, int32_t bits) -> std::unique_ptr<TCustomDIBX> {
            return std::make_unique<TPlainDIBX>(w, h, bits);
        });
        reg = std::make_unique<TVorqBaseList>();
        reg->SurfaceBits = 32;
        reg->SetWidth(160);
        reg->SetHeight(120);
        reg->SetScreenSurface(&screen);
        for (int i = 0; i < 2; ++i) reg->GetBaseAt(i)->SetColor(0);
        saved_registry = VorqBaseList;
        VorqBaseList = reg.get();
        link = std::make_unique<TRegistrySceneLink>(*reg);
    }
    void TearDown() override {
        runner.reset();
        VorqBaseList = saved_registry;
        reg.reset();
        SetSurfaceMaker(nullptr);
    }
    void start(const TPageWriter& w) {
        folder.WritePage("main.vsb", w);
        folder.WriteProject(TestProjectData("main.vsb"));
        runner = std::make_unique<THeadlessRunner>(folder.Path(), link.get());
        ASSERT_TRUE(runner->Running());
    }
    // One frame as the player runs it: script, update pass, render pass.
    void frame(uint32_t ms = 16) {
        runner->Frame(ms);
        reg->Update();
        reg->Draw();
        reg->ClearDirty();
    }
    void frames(int n, uint32_t ms = 16) {
        for (int i = 0; i < n; ++i) frame(ms);
    }
    static int32_t var(const std::string& name) {
        TParamCollectionItem* v = Params->Find(name);
        EXPECT_NE(v, nullptr) << name;
        return v ? v->GetAsInt() : -9999;
    }
    static std::string text(const std::string& name) {
        TParamCollectionItem* v = Params->Find(name);
        EXPECT_NE(v, nullptr) << name;
        return v ? v->GetAsString() : "?";
    }
    TVorqObject* object(const std::string& name) const { return reg->FindObject(name); }
    uint32_t at(int x, int y) const { return screen.GetPixel(x, y) & 0xFFFFFF; }
};

TEST_F(ObjectCommands, CreatedObjectsTakeTheirPropertiesAndReadThemBack) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_COLOR, PR_ALPHA, PR_VISIBLE,
                   PR_BORDERCOLOR, PR_PLUSX, PR_TAG, PR_ZOOMX})
        w.SetMask(opBoxNew, id);
    for (int id : {PR_NAME, PR_DELAY, PR_ONNOTIFY}) w.SetMask(opTimer, id);
    // PARENT naming no control: the shown layer. Expressions without a result
    // take the defaults; PLUSX is never applied.
    w.Component(opBoxNew, {{PR_NAME, "\"red\""}, {PR_PARENT, "\"nobody\""}, {PR_LEFT, "10"}, {PR_TOP, "20"},
                           {PR_WIDTH, "30"}, {PR_HEIGHT, "40"}, {PR_COLOR, "255"}, {PR_PLUSX, "7"},
                           {PR_TAG, "\"tag\""}});
    w.Component(opBoxNew, {{PR_NAME, "\"inner\""}, {PR_PARENT, "\"red\""}, {PR_WIDTH, "5"}, {PR_HEIGHT, "5"}});
    // Empty PARENT: the object stays where it was made (nowhere).
    w.Component(opBoxNew, {{PR_NAME, "\"loose\""}});
    w.Component(opTimer, {{PR_NAME, "\"clock\""}, {PR_DELAY, "500"}, {PR_ONNOTIFY, "\"tick.vsb\""}});
    w.VarNew("left", PT_INT, "0");
    w.VarNew("kind", PT_INT, "0");
    w.VarNew("parent", PT_STR, "\"\"");
    w.VarNew("shown", PT_BOOL, "FALSE");
    w.GetProp("\"red\"", "3", "left");
    w.GetProp("\"clock\"", "140", "kind");
    w.GetProp("\"inner\"", "1", "parent");
    w.GetProp("\"inner\"", "47", "shown");
    w.SetProp("\"red\"", "3", "left + 5");
    w.SetProp("\"inner\"", "8", "65280");
    w.Wait("100000");
    start(w);
    frames(20);
    auto* red = dynamic_cast<TVorqControl*>(object("red"));
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->GetParent(), reg->ActiveBase());
    EXPECT_EQ(red->GetLeft(), 15);
    EXPECT_EQ(red->GetTop(), 20);
    EXPECT_EQ(red->GetColor(), 255);
    EXPECT_EQ(red->GetPlusX(), 0);
    EXPECT_EQ(red->Tag, "tag");
    struct Default {
        int id;
        int32_t want;
    };
    TVorqObject* inner = object("inner");
    ASSERT_NE(inner, nullptr);
    for (const Default d : {Default{PR_ALPHA, 255}, Default{PR_BORDERCOLOR, -1}, Default{PR_ZOOMX, 256},
                            Default{PR_COLOR, 65280}, Default{PR_LEFT, 0}}) {
        SCOPED_TRACE(d.id);
        TParamInt v;
        GetPropertyValue(v, *inner, d.id);
        EXPECT_EQ(v.GetAsInt(), d.want);
    }
    EXPECT_TRUE(inner->GetVisible());
    EXPECT_EQ(object("loose")->GetParent(), nullptr);
    EXPECT_EQ(object("clock")->GetCompoType(), LT_TIMER);
    EXPECT_EQ(object("clock")->GetDelay(), 500);
    EXPECT_EQ(var("left"), 10);
    EXPECT_EQ(var("kind"), LT_TIMER);
    EXPECT_EQ(text("parent"), "red");
    EXPECT_EQ(var("shown"), 1);
    // The box is on the screen in its colour (0x0000FF is red).
    EXPECT_EQ(at(30, 40), 0xFF0000u);
    EXPECT_EQ(at(15 + 30, 40), 0u);
    // The child on it in the colour SetProp gave it (0x00FF00 is green).
    EXPECT_EQ(at(16, 21), 0x00FF00u);
}

TEST_F(ObjectCommands, MissingPropertyIdIsRefusedAndPlayGoesOn) {
    TPageWriter w;
    w.SetMask(opBoxNew, PR_NAME);
    w.SetMask(opBoxNew, PR_LEFT);
    w.Component(opBoxNew, {{PR_NAME, "\"b\""}, {PR_LEFT, "4"}});
    w.VarNew("got", PT_INT, "-1");
    w.VarNew("after", PT_INT, "0");
    w.SetProp("\"b\"", "", "99");
    w.GetProp("\"b\"", "", "got");
    w.SetProp("\"\"", "3", "77");       // no object: nothing, not the shown layer
    w.SetProp("\"nobody\"", "3", "77");
    w.Calc("after = 1");
    w.ObjDel("\"b\"");
    w.Wait("100000");
    start(w);
    frames(12);
    EXPECT_EQ(var("after"), 1);
    EXPECT_EQ(var("got"), -1);
    EXPECT_EQ(reg->ActiveBase()->GetLeft(), 0);
    EXPECT_EQ(object("b"), nullptr);
    EXPECT_EQ(reg->GetObjectCount(), 0);
}

// A kind that notes the order in which the applier reaches its setters.
class TOrderProbe : public TVorqControl {
public:
    using TVorqControl::TVorqControl;
    static std::vector<int>* Log;
    uint8_t GetCompoType() const override { return LT_BOX; }
    void SetName(const std::string& v) override { Log->push_back(PR_NAME), TVorqControl::SetName(v); }
    void SetParent(TVorqControl* p) override { Log->push_back(PR_PARENT), TVorqControl::SetParent(p); }
    void SetSource(const std::string&) override { Log->push_back(PR_SOURCE); }
    void SetLeft(int32_t) override { Log->push_back(PR_LEFT); }
    void SetTop(int32_t) override { Log->push_back(PR_TOP); }
    void SetWidth(int32_t) override { Log->push_back(PR_WIDTH); }
    void SetHeight(int32_t) override { Log->push_back(PR_HEIGHT); }
    void SetZoomX(int32_t) override { Log->push_back(PR_ZOOMX); }
    void SetZoomY(int32_t) override { Log->push_back(PR_ZOOMY); }
    void SetColor(int32_t) override { Log->push_back(PR_COLOR); }
    void SetPosZoomed(bool) override { Log->push_back(PR_POSZOOMED); }
    void SetFontName(const std::string&) override { Log->push_back(PR_FONTNAME); }
    void SetHoverColor(int32_t) override { Log->push_back(PR_HOVERCOLOR); }
    void SetFontHoverBorder(int32_t) override { Log->push_back(PR_FONTHOVERBORDER); }
    void SetAntialias(bool) override { Log->push_back(PR_ANTIALIAS); }
    void SetCursor(const std::string&) override { Log->push_back(PR_CURSOR); }
    void SetOnPlayStart(const std::string&) override { Log->push_back(PR_ONPLAYSTART); }
    void SetClickedSource(const std::string&) override { Log->push_back(PR_CLICKEDSOURCE); }
    void SetBarSize(int32_t) override { Log->push_back(PR_BARSIZE); }
    void SetMuteOnLoad(bool) override { Log->push_back(PR_MUTEONLOAD); }
    void SetCaptureLink(bool) override { Log->push_back(PR_CAPTURELINK); }
};
std::vector<int>* TOrderProbe::Log = nullptr;

TEST_F(ObjectCommands, ApplierSetsInItsOwnOrderNotAscending) {
    std::vector<int> log;
    TOrderProbe::Log = &log;
    RegisterComponentType(LT_BOX, [](TVorqBaseList* r) -> TVorqObject* { return new TOrderProbe(r); });
    const std::vector<int> ids = {PR_NAME,     PR_PARENT,  PR_SOURCE,       PR_LEFT,         PR_TOP,
                                  PR_WIDTH,    PR_HEIGHT,  PR_ZOOMX,        PR_COLOR,        PR_FONTNAME,
                                  PR_HOVERCOLOR, PR_ANTIALIAS, PR_CURSOR,   PR_POSZOOMED,    PR_ONPLAYSTART,
                                  PR_ZOOMY,    PR_CLICKEDSOURCE, PR_CAPTURELINK, PR_FONTHOVERBORDER,
                                  PR_BARSIZE,  PR_MUTEONLOAD};
    TPageWriter w;
    std::vector<std::pair<int, std::string>> props;
    for (int id : ids) {
        w.SetMask(opBoxNew, id);
        props.emplace_back(id, id == PR_NAME ? "\"p\"" : id == PR_PARENT ? "\"\x01\"" : "1");
    }
    w.Component(opBoxNew, props);
    w.Wait("100000");
    start(w);
    frames(3);
    RegisterComponentType(LT_BOX, nullptr);
    const std::vector<int> want = {PR_NAME,  PR_PARENT,     PR_SOURCE,      PR_ZOOMX,         PR_ZOOMY,
                                   PR_POSZOOMED, PR_WIDTH,  PR_HEIGHT,      PR_LEFT,          PR_TOP,
                                   PR_COLOR, PR_BARSIZE,    PR_FONTNAME,    PR_HOVERCOLOR,    PR_FONTHOVERBORDER,
                                   PR_ANTIALIAS, PR_CURSOR, PR_ONPLAYSTART, PR_CLICKEDSOURCE, PR_CAPTURELINK,
                                   PR_MUTEONLOAD};
    EXPECT_EQ(log, want);
    // PARENT 0x01 names the hidden layer.
    EXPECT_EQ(object("p")->GetParent(), reg->InactiveBase());
}

// A box named on the shown layer and one on the hidden layer, then a flip.
TPageWriter flip_page(const TPageWriter::FlipFields& f, bool second_box_on_shown = false) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_WIDTH, PR_HEIGHT, PR_COLOR}) w.SetMask(opBoxNew, id);
    w.Component(opBoxNew, {{PR_NAME, "\"front\""}, {PR_PARENT, "\"\x01" "BASE0\""}, {PR_WIDTH, "20"},
                           {PR_HEIGHT, "20"}, {PR_COLOR, "255"}});
    w.Component(opBoxNew, {{PR_NAME, "\"keep\""}, {PR_PARENT, "\"\x01" "BASE0\""}, {PR_WIDTH, "5"},
                           {PR_HEIGHT, "5"}, {PR_COLOR, "65280"}});
    w.Component(opBoxNew, {{PR_NAME, "\"back\""},
                           {PR_PARENT, second_box_on_shown ? "\"\x01" "BASE0\"" : "\"\x01" "BASE1\""},
                           {PR_WIDTH, "20"}, {PR_HEIGHT, "20"}, {PR_COLOR, "16711680"}});
    w.VarNew("done", PT_INT, "0");
    w.Flip(f);
    w.Calc("done = 1");
    w.Wait("100000");
    return w;
}

TEST_F(ObjectCommands, FlipSwitchesLayersAfterItsStatesAndClearsTheOldOneOnRequest) {
    struct Case {
        const char* what;
        TPageWriter::FlipFields fields;
        int frames_to_switch;   // frames after the one that reaches the flip
        bool old_cleared;
    };
    TPageWriter::FlipFields plain;
    TPageWriter::FlipFields clear;
    clear.ClearOld = "1";
    TPageWriter::FlipFields timed;
    timed.Duration = "100";
    const Case cases[] = {
        {"no transition", plain, 2, false},
        {"ClearOld", clear, 2, true},
        {"100 ms without a kind: nothing to wait for", timed, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        reg->SetActiveBase(0, 0, 0, true, 0, 0);
        start(flip_page(c.fields));
        frame();  // objects made; the flip enters state 1
        EXPECT_EQ(reg->ActiveIndex, 0);
        frames(c.frames_to_switch - 1);
        EXPECT_EQ(reg->ActiveIndex, 0);
        frame();
        EXPECT_EQ(reg->ActiveIndex, 1);
        EXPECT_EQ(var("done"), 1);
        frame();
        EXPECT_EQ(object("front") == nullptr, c.old_cleared);
        EXPECT_NE(object("back"), nullptr);
        // The hidden layer's box is now on the screen (0xFF0000 is blue).
        EXPECT_EQ(at(3, 3), 0x0000FFu);
        runner.reset();
    }
}

TEST_F(ObjectCommands, FlipCarriesControlsByTheirNames) {
    struct Case {
        const char* what;
        std::string mode;
        std::vector<std::string> names;
        bool front_carried, keep_carried;
    };
    const Case cases[] = {
        {"mode 0 carries all but the listed", "0", {"\"keep\""}, true, false},
        {"mode 1 carries only the listed", "1", {"\"x\"", "\"keep\""}, false, true},
        {"other modes carry none", "2", {"\"keep\""}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        reg->SetActiveBase(0, 0, 0, true, 0, 0);
        TPageWriter::FlipFields f;
        f.Carry = c.mode;
        f.Names = c.names;
        start(flip_page(f));
        frames(4);
        EXPECT_EQ(reg->ActiveIndex, 1);
        EXPECT_EQ(object("front")->GetParent() == reg->ActiveBase(), c.front_carried);
        EXPECT_EQ(object("keep")->GetParent() == reg->ActiveBase(), c.keep_carried);
        runner.reset();
    }
}

TEST_F(ObjectCommands, FlipTransitionsRunForTheirTimeAndNeverHang) {
    struct Case {
        const char* what;
        std::string kind, duration, carry;
        int min_frames, max_frames;  // frames of 16 ms until the switch
        uint32_t shown;              // at (10, 10) afterwards
    };
    const Case cases[] = {
        // 0xFF0000 is blue (the hidden layer's box); the carried red box
        // sorts above it.
        {"a wipe of 160 ms", "1", "160", "", 10, 14, 0x0000FF},
        {"a wipe of 0 ms", "1", "0", "", 1, 4, 0x0000FF},
        {"a wipe of -50 ms", "1", "-50", "", 1, 4, 0x0000FF},
        {"no duration at all", "1", "", "", 1, 4, 0x0000FF},
        {"carry with 0 ms ends at once", "1", "0", "0", 1, 2, 0xFF0000},
        {"kind out of range is none", "99", "160", "", 1, 4, 0x0000FF},
        {"carry with a wipe leaves a still picture meanwhile", "1", "160", "0", 10, 14, 0xFF0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        reg->SetActiveBase(0, 0, 0, true, 0, 0);
        TPageWriter::FlipFields f;
        f.Kind = c.kind;
        f.Duration = c.duration;
        f.Carry = c.carry;
        start(flip_page(f));
        int n = 0;
        bool wiped = false, still = false;
        while (reg->ActiveIndex == 0 && n < 100) {
            frame();
            wiped = wiped || reg->Transition() != nullptr;
            still = still || reg->FindObject(kSnapshotName) != nullptr;
            ++n;
        }
        // A duration of 0 or less still makes a wipe of 1 ms, unless the
        // carry asks to end at once.
        const bool positive = c.duration == "160";
        EXPECT_EQ(wiped, c.kind == "1" && (positive || c.carry.empty()));
        EXPECT_EQ(still, wiped && !c.carry.empty());
        EXPECT_GE(n, c.min_frames);
        EXPECT_LE(n, c.max_frames);
        EXPECT_EQ(reg->Transition(), nullptr);
        frame();
        EXPECT_EQ(at(10, 10), c.shown);
        EXPECT_EQ(reg->FindObject(kSnapshotName), nullptr);
        runner.reset();
    }
}

TEST_F(ObjectCommands, PropertyMotionAndCabinetsThroughTheirCommands) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_WIDTH, PR_HEIGHT}) w.SetMask(opBoxNew, id);
    w.SetMask(opCabinetSave, PR_NAME);
    w.SetMask(opCabinetLoad, PR_NAME);
    w.Component(opBoxNew, {{PR_NAME, "\"mover\""}, {PR_PARENT, "\"\x01" "BASE0\""}, {PR_WIDTH, "4"}, {PR_HEIGHT, "4"}});
    w.Component(opBoxNew, {{PR_NAME, "\"a\""}, {PR_PARENT, "\"\x01" "BASE1\""}});
    w.Component(opBoxNew, {{PR_NAME, "\"b\""}, {PR_PARENT, "\"\x01" "BASE1\""}});
    w.PropMotion("\"slide\"", "\"mover\"", "3", "100", "160", "0");
    w.PropMotion("\"bad\"", "\"mover\"", "300", "5", "10", "0");  // no such property: ends untouched
    w.Cabinet(opCabinetSave, {{PR_NAME, "\"shelf\""}}, "1", {"\"a\""});  // all but a
    w.Cabinet(opCabinetSave, {{PR_NAME, "\"bare\""}}, "0", {"\"nobody\""});  // parks nothing
    w.VarNew("stop", PT_INT, "0");
    w.Wait("100000", "stop == 0");
    w.Cabinet(opCabinetLoad, {{PR_NAME, "\"shelf\""}}, "", {"\"b\""});
    w.Wait("100000");
    start(w);
    frame();
    ASSERT_NE(object("slide"), nullptr);
    EXPECT_EQ(object("slide")->GetCompoType(), LT_PROPMOTION);
    TVorqObject* shelf = object("shelf");
    ASSERT_NE(shelf, nullptr);
    EXPECT_EQ(shelf->GetParent(), reg->GetBaseAt(0));
    EXPECT_EQ(object("b")->GetParent(), shelf);
    EXPECT_EQ(object("a")->GetParent(), reg->InactiveBase());
    EXPECT_EQ(object("bare"), nullptr);
    // The motion runs over the next frames: 16 ms of 160 per frame.
    for (int i = 1; i <= 5; ++i) frame();
    EXPECT_EQ(object("mover")->GetLeft(), 50);
    EXPECT_EQ(object("bad"), nullptr);
    frames(10);
    EXPECT_EQ(object("mover")->GetLeft(), 100);
    EXPECT_EQ(object("slide"), nullptr);
    Params->Find("stop")->SetAsInt(1);
    frames(3);
    EXPECT_EQ(object("b")->GetParent(), reg->InactiveBase());
    // Emptied by taking out, the cabinet stays; only parking nothing
    // scraps one.
    EXPECT_EQ(object("shelf"), shelf);
    EXPECT_EQ(shelf->GetChildCount(), 0);
}

TEST_F(ObjectCommands, ClearOldKeepsCabinetsWhenTheSwitchEndsButNotWhenItIsCancelled) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "ended");
        reg->ResetScene();
        TPageWriter w;
        w.Wait("100000");
        start(w);  // the kinds are installed
        const int32_t shown = reg->ActiveIndex;
        auto* shelf = static_cast<TVorqControl*>(CreateObjectByType(reg.get(), LT_CABINET));
        shelf->SetName("shelf");
        shelf->SetParent(reg->ActiveBase());
        auto* box = static_cast<TVorqControl*>(CreateObjectByType(reg.get(), LT_BOX));
        box->SetName("box");
        box->SetParent(reg->ActiveBase());
        TPage page;
        TComFlip flip(&page);
        flip.ClearOldFlag = 1;
        if (cancel) {
            flip.Cancel();
        } else {
            TCallMan cm;
            TPage* at = &page;
            int32_t pc = 0;
            flip.FlipState = 3;
            flip.Execute(cm, at, pc);
        }
        reg->Update();
        EXPECT_EQ(reg->ActiveIndex, shown ^ 1);
        EXPECT_EQ(object("box"), nullptr);
        EXPECT_EQ(object("shelf") == nullptr, cancel);
        runner.reset();
    }
}

TEST_F(ObjectCommands, MenuCloseWithoutItsMenuWaitsAFrameAtATime) {
    TPageWriter w;
    w.VarNew("after", PT_INT, "0");
    w.MenuClose("\"nomenu\"");  // stored with the continue flag set
    w.Calc("after = 1");
    start(w);
    frames(5);
    EXPECT_EQ(var("after"), 0);
    EXPECT_LE(FrameCount, 5u);
}

TEST_F(ObjectCommands, CabinetSaveWithLayerZeroHiddenKeepsTheCabinetOutOfItself) {
    reg->SetActiveBase(1, 0, 0, false, 0, 0);
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT}) w.SetMask(opBoxNew, id);
    w.SetMask(opCabinetSave, PR_NAME);
    w.Component(opBoxNew, {{PR_NAME, "\"x\""}, {PR_PARENT, "\"\x01\""}});
    w.Cabinet(opCabinetSave, {{PR_NAME, "\"shelf\""}}, "1", {});  // everything
    w.Cabinet(opCabinetSave, {{PR_NAME, "\"shelf\""}}, "1", {});  // again, the cabinet now exists
    w.Wait("100000");
    start(w);
    frames(3);
    TVorqObject* shelf = object("shelf");
    ASSERT_NE(shelf, nullptr);
    EXPECT_EQ(shelf->GetParent(), reg->GetBaseAt(0));
    EXPECT_EQ(object("x")->GetParent(), shelf);
}

}  // namespace

// ---- text commands ----

namespace {
std::string text_ins(const std::string& stored, const char* window, const char* history, const char* wait) {
    std::string r;
    PutU32(r, static_cast<uint32_t>(stored.size()));
    return r + stored + RecExpr(window) + RecExpr(history) + RecExpr(wait) + RecExpr("0");
}
}  // namespace

TEST_F(ObjectCommands, AMessagePlaysIntoItsWindowAndTheWaitEndsWhenTheWindowGoes) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_FONTHEIGHT, PR_FONTCOLOR}) w.SetMask(opMesNew, id);
    w.VarNew("after", PT_INT, "0");
    w.Component(opMesNew, {{PR_NAME, "\"msg\""}, {PR_LEFT, "10"}, {PR_TOP, "60"}, {PR_WIDTH, "140"},
                           {PR_HEIGHT, "30"}, {PR_FONTHEIGHT, "20"}, {PR_FONTCOLOR, "255"}});
    TGlyphListWriter g;
    g.Text(Sjis("こんにちは"), g.AddDecoration(StoredDecoration{}));
    const int ins = w.Add(opTextIns, text_ins(g.Bytes(), "\"msg\"", "1", "1"));
    w.Calc("after = 1");
    start(w);
    frames(10);
    auto* m = dynamic_cast<TVorqMes*>(reg->FindControl("msg"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetCount(), 1);
    EXPECT_EQ(m->GetText(), Sjis("こんにちは"));
    EXPECT_EQ(var("after"), 0) << "waits while the window holds text";
    EXPECT_TRUE(ReadList().IsRead("main.vsb", ins, 0));
    // The window deleted under the waiting command: the wait ends.
    m->Scrap();
    frames(3);
    EXPECT_EQ(var("after"), 1);
    ReadList().Clear();
    History().Clear();
}

TEST_F(ObjectCommands, AnOnPlayingWithoutAResultIsNoHandlerLabel) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_ONPLAYING}) w.SetMask(opMesNew, id);
    w.Component(opMesNew, {{PR_NAME, "\"quiet\""}});  // ONPLAYING stored without a result
    w.Component(opMesNew, {{PR_NAME, "\"loud\""}, {PR_ONPLAYING, "\"play.vsb\""}});
    w.Wait("100000");
    start(w);
    frames(2);
    ASSERT_NE(object("quiet"), nullptr);
    EXPECT_EQ(object("quiet")->GetOnPlaying(), "");
    EXPECT_EQ(object("loud")->GetOnPlaying(), "play.vsb");
}

TEST_F(ObjectCommands, ImgNewHoldsTheLastFrameForItsDelayExpression) {
    {
        TTeskFrameList list;
        for (int i = 0; i < 2; ++i) {
            TTeskFrame& f = *list.AddFrame();
            f.Delay = 50;
            f.Image.SetSize(4, 4, 24);
        }
        TMemoryStream s;
        list.SaveToStream(s, 0);
        folder.WriteFile("anim.tes", std::string(reinterpret_cast<const char*>(s.Memory()),
                                                 static_cast<size_t>(s.GetSize())));
    }
    TTeskCollection pictures(&ProjectTeskSource());
    struct Guard {
        TVorqBaseList& reg;
        ~Guard() {
            reg.ResetScene();  // the image lets go of its picture first
            TeskCollection = nullptr;
        }
    } guard{*reg};
    TeskCollection = &pictures;
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_SOURCE, PR_DELAY}) w.SetMask(opImgNew, id);
    w.VarNew("hold", PT_INT, "300");
    w.Component(opImgNew, {{PR_NAME, "\"pic\""}, {PR_PARENT, "\"x\""}, {PR_SOURCE, "\"anim.tes\""},
                           {PR_DELAY, "hold"}});
    w.Wait("100000");
    start(w);
    frame();
    TVorqObject* pic = object("pic");
    ASSERT_NE(pic, nullptr);
    int n = 0;
    while (pic->GetIndex() != 1 && n++ < 20) frame();
    ASSERT_EQ(pic->GetIndex(), 1);
    // The last frame's own 50 ms and the expression's 300, less at most a
    // frame that has passed; the image plays on until they are over.
    n = 0;
    while (pic->GetPlaying() && n++ < 100) frame();
    EXPECT_GE(n * 16, 300);
    EXPECT_LE(n * 16, 350 + 16);
}

// A damaged stored text fails the same way every time it is tried: it is
// reported once, the window stays empty and play goes on past the command,
// also when the page comes back to it.
TEST_F(ObjectCommands, ADamagedStoredTextIsReportedOnceAndPassedOver) {
    TGlyphListWriter base;
    const uint32_t d = base.AddDecoration(StoredDecoration{});
    const size_t head = base.Bytes().size() - 4;  // up to the glyph count
    TGlyphListWriter far = base;
    far.Char('A', d + 5);
    TGlyphListWriter one = base;
    one.Char('A', d);
    std::string counted = one.Bytes();
    counted.replace(head, 4, std::string(4, '\xFF'));
    TGlyphListWriter linked = base;
    linked.Char('A', d, "xy");
    std::string link = linked.Bytes();
    // The link's length: before its 2 bytes, the wait, the code and the decoration.
    link.replace(link.size() - 4 - 2 - 4 - 2 - 4, 4, std::string("\xF0\0\0\0", 4));
    const struct {
        const char* what;
        std::string stored;
    } cases[] = {
        {"a decoration index out of range", far.Bytes()},
        {"a glyph count of 0xFFFFFFFF with one glyph", counted},
        {"a link longer than the bytes", link},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        TPageWriter w;
        w.SetMask(opMesNew, PR_NAME);
        w.VarNew("after", PT_INT, "0");
        w.Component(opMesNew, {{PR_NAME, "\"msg\""}});
        const int ins = w.Add(opTextIns, text_ins(c.stored, "\"msg\"", "0", "1"));
        w.Calc("after = after + 1");
        w.Jump("main.vsb", static_cast<uint32_t>(ins), "after < 3");
        w.Wait("100000");
        const uint32_t boxes = MessageBoxesShown();
        testing::internal::CaptureStderr();
        start(w);
        frames(10);
        const std::string told = testing::internal::GetCapturedStderr();
        EXPECT_EQ(var("after"), 3);
        EXPECT_EQ(MessageBoxesShown() - boxes, 1u);
        EXPECT_NE(told.find("main.vsb"), std::string::npos) << told;
        auto* m = dynamic_cast<TVorqMes*>(reg->FindControl("msg"));
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->GetCount(), 0);
        runner.reset();
    }
}

TEST_F(ObjectCommands, ParticleNewGivesTheEmitterItsBirthExpressions) {
    TPageWriter w;
    for (int id : {PR_NAME, PR_PARENT, PR_WIDTH, PR_HEIGHT, PR_APPEARX, PR_APPEARY, PR_DELAY, PR_PARTMOTION,
                   PR_PARAM1})
        w.SetMask(opParticleNew, id);
    w.VarNew("x", PT_INT, "40");
    // The expressions are evaluated at every birth, not once: a later x is
    // where the next sprite appears.
    w.Component(opParticleNew, {{PR_NAME, "\"fx\""}, {PR_PARENT, "\"\""}, {PR_WIDTH, "160"}, {PR_HEIGHT, "120"},
                                {PR_APPEARX, "x"}, {PR_APPEARY, "x / 2"}, {PR_DELAY, "100"},
                                {PR_PARTMOTION, "1"}, {PR_PARAM1, "0.001"}});
    w.Wait("50");
    w.Calc("x = 90");
    w.Wait("100000");
    start(w);
    frames(2);
    auto* e = dynamic_cast<TVorqParticle*>(object("fx"));
    ASSERT_NE(e, nullptr);
    e->SetParent(reg->ActiveBase());
    ASSERT_EQ(e->Sprites().Count(), 1);
    EXPECT_EQ(e->Sprites().Get(0)->GetLeft(), 40);
    EXPECT_EQ(e->Sprites().Get(0)->GetTop(), 20);
    EXPECT_EQ(e->GetPartMotion(), PM_SNOW);
    frames(8);
    ASSERT_EQ(e->Sprites().Count(), 2);
    EXPECT_EQ(e->Sprites().Get(1)->GetLeft(), 90);
    EXPECT_EQ(e->Sprites().Get(1)->GetTop(), 45);
    e->Delay().Evaluate();
    ASSERT_NE(e->Delay().Result(), nullptr);
    EXPECT_EQ(e->Delay().Result()->GetAsInt(), 100);
}
