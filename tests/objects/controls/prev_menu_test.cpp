// Prepared menus from layout files written by our writer, driven by
// injected pointer, button and key steps on a 10 ms clock: the buttons and
// cached pictures a layout gives, hover and leave pictures and overlays,
// clicks with their busy count and events, disabled buttons, keys, and the
// saved record.
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "files/vr_file_manager.h"
#include "objects/base_list.h"
#include "objects/object_kinds.h"
#include "objects/controls/prev_menu.h"
#include "platform/exception.h"
#include "platform/display/keys.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/support/file_bytes.h"
#include "tests/objects/kind_scene.h"
#include "tests/support/prev_menu_writer.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::function<int32_t(int32_t, int32_t)> plain(int32_t c) {
    return [c](int32_t, int32_t) { return c; };
}

class PrevMenu : public KindScene {
protected:
    MemoryPictures pictures;
    TParamCollection table;
    fs::path folder;

    void SetUp() override {
        SetDisplayBitCount(32);
        // Resting pictures loop one frame; the click animation has 3 frames
        // of 100 ms, the click overlay 1 frame of 50 ms.
        for (const char* n : {"n.tes", "h.tes", "l.tes", "d.tes", "dh.tes", "dl.tes", "ho.tes", "lo.tes"})
            pictures.Add(n, {{20, 10, 100, plain(0x404040)}});
        pictures.Add("c.tes", {{20, 10, 100, plain(0x0000FF)}, {20, 10, 100, plain(0x00FF00)},
                               {20, 10, 100, plain(0xFF0000)}});
        pictures.Add("co.tes", {{20, 10, 50, plain(0xFFFFFF)}});
        ServePictures(&pictures);
        Params = &table;
        GameClock = 1000;
        FrameTime = 10;
        folder = fs::temp_directory_path() / ("vorq_prevmenu_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        CreateFileManager();
        FileManager->SetBaseFolder(folder.string());
        OpenScene(200, 160);
        reg->ActiveBase()->SetMousePos(199, 159);
    }
    void TearDown() override {
        reg.reset();
        FreeFileManager();
        fs::remove_all(folder);
        Params = nullptr;
        KindScene::TearDown();
    }
    static TContSelButton button(const std::string& name, int32_t x) {
        TContSelButton b;
        b.X = x;
        b.Y = 10;
        b.Name = name;
        b.NormalMotion = "n.tes";
        b.HoverMotion = "h.tes";
        b.LeaveMotion = "l.tes";
        b.ClickMotion = "c.tes";
        b.DisabledMotion = "d.tes";
        b.DisabledHoverMotion = "dh.tes";
        b.DisabledLeaveMotion = "dl.tes";
        b.HoverOverlay = "ho.tes";
        b.LeaveOverlay = "lo.tes";
        b.ClickOverlay = "co.tes";
        b.OverlayX = x;
        b.OverlayY = 30;
        b.Cursor = "hand" + name + ".cur";
        return b;
    }
    // A layout of three buttons 20 px wide at x 0, 30 and 60 (the third
    // without hover, leave, click or overlay pictures).
    void write_layout(const std::string& name) {
        TContSelList l;
        l.Width = 100;
        l.Height = 50;
        l.Buttons = {button("Start", 0), button("Load", 30), button("Quit", 60)};
        TContSelButton& q = l.Buttons[2];
        q.HoverMotion = q.LeaveMotion = q.ClickMotion = q.HoverOverlay = q.LeaveOverlay = q.ClickOverlay = "";
        const std::string bytes = PrevMenuWriter::Write(l, 103);
        std::ofstream(folder / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    TVorqPrevMenu* make() {
        write_layout("menu.pmn");
        auto* m = static_cast<TVorqPrevMenu*>(CreateObjectByType(reg.get(), LT_PREVMENU));
        m->SetName("pm");
        m->SetParent(reg->ActiveBase());
        m->SetLeft(10);
        m->SetTop(10);
        m->SetSource("menu.pmn");
        m->SetOnSelect("sel");
        m->SetOnPlayEnd("end");
        m->SetOnMapIn("in");
        m->SetOnMapOut("out");
        m->SetHandleKey(true);
        reg->SetFocusObject(m);
        return m;
    }
    TVorqBase& layer() { return *reg->ActiveBase(); }
    void frame() {
        GameClock += FrameTime;
        reg->InputStep(static_cast<int32_t>(FrameTime));
        reg->Update();
    }
    // Over button i (menu at 10, 10; buttons at y 10 inside it).
    void over(int32_t i) {
        layer().SetMousePos(10 + 30 * i + 5, 25);
        frame();
    }
    void click() {
        layer().LPressPending = 1;
        layer().LHeld = 1;
        frame();
        layer().LHeld = 0;
        frame();
    }
    void key(int32_t vk) {
        reg->SetKeyPush(vk, true);
        frame();
        reg->SetKeyPush(vk, false);
        frame();
    }
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

TEST_F(PrevMenu, LayoutGivesButtonsAndCachesTheirPictures) {
    TVorqPrevMenu& m = *make();
    EXPECT_EQ(m.GetCount(), 3);
    EXPECT_EQ(m.GetText(), "Start\r\nLoad\r\nQuit");
    EXPECT_EQ(m.GetWidth(), 100);
    EXPECT_EQ(m.GetHeight(), 50);
    EXPECT_EQ(m.IndexOfButton("Quit"), 2);
    EXPECT_EQ(m.IndexOfButton("quit"), -1);
    ASSERT_NE(m.Button(1), nullptr);
    EXPECT_EQ(m.Button(1)->GetLeft(), 30);
    EXPECT_EQ(m.Button(1)->GetSource(), "n.tes");
    EXPECT_EQ(m.Button(1)->GetCursor(), "handLoad.cur");
    EXPECT_TRUE(IsInternalName(m.Button(1)->GetName()));
    // Each name once, in the order the buttons list them; the disabled
    // hover and leave pictures are not cached.
    EXPECT_EQ(m.PrecachedNames(), (std::vector<std::string>{"N.TES", "H.TES", "L.TES", "C.TES", "D.TES", "HO.TES",
                                                             "LO.TES", "CO.TES"}));
    for (int32_t i : {-1, 0, 2, 3}) EXPECT_EQ(m.GetEnabled(i), i == 0 || i == 2) << i;
    // A missing layout: no buttons, no size.
    m.SetSource("none.pmn");
    EXPECT_EQ(m.GetCount(), 0);
    EXPECT_EQ(m.GetWidth(), 0);
    EXPECT_EQ(m.Button(0), nullptr);
}

// What the scripts' IndexOfMenu, GetEnabled and SetEnabled see, through
// any display object.
TEST_F(PrevMenu, ScriptFunctionsReachTheButtons) {
    TVorqObject& o = *make();
    EXPECT_EQ(o.IndexOfButton("Load"), 1);
    EXPECT_EQ(o.IndexOfButton("none"), -1);
    o.SetButtonEnabled(0, false);
    o.SetButtonEnabled(1, true);
    o.SetButtonEnabled(5, true);
    for (int32_t i : {-1, 0, 1, 2, 3, 5}) EXPECT_EQ(o.GetButtonEnabled(i), i == 1 || i == 2) << i;
}

TEST_F(PrevMenu, HoverAndLeaveSwapPicturesOverlaysAndEvents) {
    TVorqPrevMenu& m = *make();
    over(0);
    EXPECT_EQ(m.Hovered(), 0);
    EXPECT_EQ(m.Button(0)->GetSource(), "h.tes");
    ASSERT_NE(m.Overlay(0), nullptr);
    EXPECT_EQ(m.Overlay(0)->GetSource(), "ho.tes");
    // Made again from the layout, never kept in a scene save.
    EXPECT_TRUE(IsInternalName(m.Overlay(0)->GetName()));
    EXPECT_EQ(m.GetEffectiveCursor(), "handStart.cur");
    over(2);
    // The leave picture plays once; the third button has no hover picture.
    EXPECT_EQ(m.Button(0)->GetSource(), "l.tes");
    EXPECT_FALSE(m.Button(0)->GetRepeat());
    EXPECT_EQ(m.Button(2)->GetSource(), "n.tes");
    EXPECT_TRUE(m.Button(2)->GetRepeat());
    EXPECT_EQ(events(), (std::vector<std::string>{"in=Start,0", "out=Start,0", "in=Quit,2"}));
    // The leave picture and leave overlay end: resting picture, no overlay.
    for (int f = 0; f < 15; ++f) frame();
    EXPECT_EQ(m.Button(0)->GetSource(), "n.tes");
    EXPECT_EQ(m.Overlay(0), nullptr);
}

TEST_F(PrevMenu, ClickWaitsForBothAnimationsEvenWhenTheOverlayEndsFirst) {
    TVorqPrevMenu& m = *make();
    over(0);
    events();
    click();
    EXPECT_EQ(m.BusyCount(), 2);
    EXPECT_EQ(table.sel_str, "Start");
    EXPECT_EQ(table.sel_index, 0);
    EXPECT_EQ(events(), (std::vector<std::string>{"sel=Start,0"}));
    int overlay_end = -1, busy_end = -1;
    for (int f = 1; f <= 60 && busy_end < 0; ++f) {
        frame();
        if (overlay_end < 0 && m.Overlay(0) == nullptr) overlay_end = f;
        if (m.BusyCount() == 0) busy_end = f;
        // Hover and clicks are ignored meanwhile.
        if (f == 3) {
            over(1);
            EXPECT_EQ(m.Hovered(), 0);
        }
    }
    ASSERT_GT(overlay_end, 0);
    ASSERT_GT(busy_end, overlay_end);
    EXPECT_EQ(m.Button(0)->GetSource(), "n.tes");
    EXPECT_EQ(events(), (std::vector<std::string>{"end=Start,0"}));
}

TEST_F(PrevMenu, PlainClickFinishesAtOnceAndAutoScrapScraps) {
    TVorqPrevMenu& m = *make();
    over(2);
    events();
    click();
    EXPECT_EQ(m.BusyCount(), 0);
    EXPECT_EQ(events(), (std::vector<std::string>{"sel=Quit,2", "end=Quit,2"}));
    // Pressed over one button, released over another: nothing.
    layer().LPressPending = 1;
    layer().LHeld = 1;
    frame();
    over(0);
    layer().LHeld = 0;
    frame();
    EXPECT_EQ(m.BusyCount(), 0);
    EXPECT_EQ(events(), (std::vector<std::string>{"out=Quit,2", "in=Start,0"}));
    m.SetAutoScrap(true);
    over(2);
    click();
    frame();
    EXPECT_EQ(reg->FindObject("pm"), nullptr);
}

TEST_F(PrevMenu, KeysWrapAndKeyClicksObeyEnabledAndBusy) {
    TVorqPrevMenu& m = *make();
    struct Case {
        int32_t vk, hovered;
    } cases[] = {{VK_UP, 2}, {VK_DOWN, 0}, {VK_LEFT, 2}, {VK_RIGHT, 0}, {VK_RIGHT, 1}};
    for (const Case& c : cases) {
        key(c.vk);
        EXPECT_EQ(m.Hovered(), c.hovered) << c.vk;
    }
    events();
    // Disabling the hovered button shows its disabled picture at once; Space
    // does not click it.
    m.SetEnabled(1, false);
    EXPECT_FALSE(m.GetEnabled(1));
    EXPECT_EQ(m.Button(1)->GetSource(), "d.tes");
    key(VK_SPACE);
    EXPECT_EQ(m.BusyCount(), 0);
    EXPECT_TRUE(events().empty());
    // Moving away plays the disabled leave picture.
    key(VK_LEFT);
    EXPECT_EQ(m.Button(1)->GetSource(), "dl.tes");
    events();
    // A second key click while the first still plays is ignored.
    key(VK_RETURN);
    EXPECT_EQ(m.BusyCount(), 2);
    key(VK_RETURN);
    EXPECT_EQ(m.BusyCount(), 2);
    EXPECT_EQ(events(), (std::vector<std::string>{"sel=Start,0"}));
    // Out-of-range enables change nothing.
    m.SetEnabled(7, false);
    EXPECT_FALSE(m.GetEnabled(7));
}

TEST_F(PrevMenu, AnEndingPictureOfNoButtonOrOverlayIsIgnored) {
    TVorqPrevMenu& m = *make();
    over(0);
    click();
    ASSERT_EQ(m.BusyCount(), 2);
    TVorqPrevImages stray(reg.get(), &m);
    m.AnimationEnded(&stray);
    EXPECT_EQ(m.BusyCount(), 2);
    EXPECT_EQ(m.Button(0)->GetSource(), "c.tes");
}

TEST_F(PrevMenu, SavedRecordKeepsEnabledFlagsAndTruncationsAreRefused) {
    TVorqPrevMenu& m = *make();
    m.SetEnabled(2, false);
    m.SetRClickScrap(true);
    TMemoryStream saved;
    m.SaveToStream(saved);
    const std::string bytes = StreamBytes(saved);
    m.FreeNow();
    auto load = [&](const std::string& b) { return LoadRecordOrFree<TVorqPrevMenu>(*reg, LT_PREVMENU, b, 130); };
    TVorqPrevMenu* copy = load(bytes);
    EXPECT_EQ(copy->GetCount(), 3);
    EXPECT_FALSE(copy->GetEnabled(2));
    EXPECT_TRUE(copy->GetEnabled(1));
    EXPECT_TRUE(copy->GetRClickScrap());
    // The flags come back without changing the pictures.
    EXPECT_EQ(copy->Button(2)->GetSource(), "n.tes");
    TMemoryStream again;
    copy->SaveToStream(again);
    EXPECT_EQ(StreamBytes(again), bytes);
    copy->FreeNow();
    for (size_t n = 0; n < bytes.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_THROW(load(bytes.substr(0, n)), Exception);
    }
}

}  // namespace

namespace {

TEST_F(PrevMenu, ASceneSaveKeepsTheMenuButNotItsButtonsOrOverlays) {
    TVorqPrevMenu& m = *make();
    over(0);
    ASSERT_NE(m.Overlay(0), nullptr);
    TMemoryStream s;
    reg->SaveToStream(s);
    s.SetPosition(0);
    reg->LoadFromStream(s, 130);
    auto* copy = dynamic_cast<TVorqPrevMenu*>(reg->FindObject("pm"));
    ASSERT_NE(copy, nullptr);
    // The layout made the three buttons again, and nothing else came back.
    EXPECT_EQ(copy->GetCount(), 3);
    EXPECT_EQ(copy->GetChildCount(), 3);
    EXPECT_EQ(copy->Overlay(0), nullptr);
    EXPECT_EQ(copy->Hovered(), -1);
}

}  // namespace
