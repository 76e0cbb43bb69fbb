// Map images on a 32-bit layer with pictures from the player's layered-image
// writer and a hit map from its writer: the area under the pointer, the
// in/out events in order, selections by click and key, the closing phases,
// what is drawn inside and outside the hovered area (the image cache's
// shared mask left as loaded), and the saved record with its version gates.
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "files/hit_map.h"
#include "files/save_stream.h"
#include "files/vr_file_manager.h"
#include "objects/images/map_image.h"
#include "objects/object_kinds.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/display/keys.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/scene_fixture.h"
#include "tests/objects/record_io.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

constexpr int kLeft = 50, kTop = 40;  // where the map lies on the layer

std::vector<THitArea> town_areas() {
    auto rect = [](const char* text, int l, int t, int r, int b, uint8_t shape = kHitRectangle) {
        THitArea a;
        a.Text = Sjis(text);
        a.Shape = shape;
        a.Left = l, a.Top = t, a.Right = r, a.Bottom = b;
        return a;
    };
    THitArea river;
    river.Text = Sjis("川");
    river.Shape = kHitPolygon;
    river.Points = {{20, 18}, {38, 18}, {29, 28}};
    return {rect("港", 2, 2, 11, 11), rect("山", 8, 8, 15, 15), rect("森", 20, 2, 29, 11, kHitEllipse), river,
            rect("端", 0, 25, 4, 29)};
}

class MapImageTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        SetDisplayBitCount(32);
        // 40 x 30; the town red with its last column keyed (green), the
        // glow blue with no key at all, the spark white keyed on black with a
        // black left part (x < 24).
        pictures.Add("town.tes", {{40, 30, 100, [](int32_t x, int32_t) { return x == 39 ? 0x00FF00 : 0x0000FF; },
                                   0x00FF00}});
        pictures.Add("glow.tes", {{40, 30, 100, [](int32_t, int32_t) { return 0xFF0000; }}});
        pictures.Add("spark.tes", {{40, 30, 50, [](int32_t x, int32_t) { return x < 24 ? 0 : 0xFFFFFF; }, 0},
                                   {40, 30, 50, [](int32_t, int32_t) { return 0xFFFFFF; }, 0}});
        TeskCollection = new TTeskCollection(&pictures);
        Params = &table;
        FrameTime = 16;
        folder = fs::temp_directory_path() / ("vorq_map_" + std::to_string(::getpid()));
        fs::create_directories(folder);
        write_map("town.map", town_areas());
        std::ofstream(folder / "bad.map", std::ios::binary).write("\x02\x00\x00\x00\x01\x00", 6);
        CreateFileManager();
        FileManager->SetBaseFolder(folder.string());
    }
    void TearDown() override {
        reg.reset();
        FreeFileManager();
        fs::remove_all(folder);
        Params = nullptr;
        delete TeskCollection;
        TeskCollection = nullptr;
        SetDisplayBitCount(15);
        SceneTest::TearDown();
    }
    void write_map(const std::string& name, const std::vector<THitArea>& areas) {
        TMemoryStream s;
        WriteHitMap(s, areas);
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(s.Memory()), std::streamsize(s.GetSize()));
    }
    TVorqMapImage* Map(const std::string& map_file = "town.map") {
        auto* m = new TVorqMapImage(reg.get());
        m->SetName("town");
        m->SetLeft(kLeft);
        m->SetTop(kTop);
        m->SetAlpha(255);
        m->SetSource("town.tes");
        m->SetHoverSource("glow.tes");
        m->SetMapSource(map_file);
        m->SetOnMapIn("in.vsb");
        m->SetOnMapOut("out.vsb");
        m->SetOnSelect("select.vsb");
        m->SetParent(reg->ActiveBase());
        return m;
    }
    // The pointer at a picture pixel of the map.
    void PointAt(int x, int y, char press = 0) { Step(kLeft + x, kTop + y, press); }
    // Events of one id as "text,index" in queue order.
    std::vector<std::string> Queued(int id) const {
        std::vector<std::string> out;
        for (int i = 0; i < reg->Events.Count(); ++i) {
            const TTimerData& e = reg->Events.Get(i);
            if (e.EventId != id) continue;
            std::string s = e.Label;
            for (int32_t k = 0; k < e.Args.Count(); ++k) s += "," + e.Args.Get(k);
            out.push_back(s);
        }
        return out;
    }
    // Presses key for one input step with the map focused, then lets it go.
    void Key(TVorqMapImage& m, int32_t key) {
        reg->SetFocusObject(&m);
        reg->SetKeyPush(key, true);
        reg->SetKeyClick(key, true);
        reg->InputStep(16);
        reg->SetKeyPush(key, false);
        reg->InputStep(16);
    }
    uint32_t At(int x, int y) { return Layer().GetSurface()->GetPixel(kLeft + x, kTop + y) & 0xFFFFFF; }
    void Paint(TVorqMapImage& m) {
        TCustomDIBX& s = *Layer().GetSurface();
        s.ClearClipRect();
        s.Fill(0x00FF00);
        m.Draw();
    }
    MemoryPictures pictures;
    TParamCollection table;
    fs::path folder;
};

TEST_F(MapImageTest, TheLowestAreaUnderThePointerIsCurrent) {
    TVorqMapImage& m = *Map();
    ASSERT_EQ(m.AreaCount(), 5);
    EXPECT_EQ(m.GetWidth(), 40);
    EXPECT_EQ(m.GetHeight(), 30);
    struct Case {
        int x, y, area;
    };
    const Case cases[] = {
        {5, 5, 0},    {11, 11, 0},  // the overlap of areas 0 and 1 goes to 0
        {12, 12, 1},  {15, 15, 1},  {16, 16, -1}, {20, 2, -1},  // the ellipse leaves its box's corner
        {25, 7, 2},   {29, 22, 3},  {36, 26, -1}, {0, 29, 4},   {4, 25, 4}, {17, 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        PointAt(c.x, c.y);
        EXPECT_EQ(m.CurrentArea(), c.area);
    }
    Step(5, 5);  // off the map: the pointer leaves it
    EXPECT_EQ(m.CurrentArea(), -1);
}

TEST_F(MapImageTest, LeavingAndEnteringQueueInOrder) {
    TVorqMapImage& m = *Map();
    struct Move {
        int x, y;
        std::vector<std::string> out, in;  // events added by the move
    };
    const std::string port = Sjis("港"), forest = Sjis("森"), river = Sjis("川");
    const Move moves[] = {
        {5, 5, {}, {"in.vsb," + port + ",0"}},
        {6, 6, {}, {}},  // within the same area nothing happens
        {25, 7, {"out.vsb," + port + ",0"}, {"in.vsb," + forest + ",2"}},
        {29, 22, {"out.vsb," + forest + ",2"}, {"in.vsb," + river + ",3"}},
        {17, 2, {"out.vsb," + river + ",3"}, {}},
    };
    for (const Move& mv : moves) {
        SCOPED_TRACE(std::to_string(mv.x) + "," + std::to_string(mv.y));
        reg->Events.Clear();
        PointAt(mv.x, mv.y);
        EXPECT_EQ(Queued(PR_ONMAPOUT), mv.out);
        EXPECT_EQ(Queued(PR_ONMAPIN), mv.in);
        // The way out comes before the way in.
        if (!mv.out.empty() && !mv.in.empty()) {
            EXPECT_LT(reg->Events.Find(&m, PR_ONMAPOUT), reg->Events.Find(&m, PR_ONMAPIN));
        }
    }
    PointAt(25, 7);
    reg->Events.Clear();
    Step(5, 5);  // off the map
    EXPECT_EQ(Queued(PR_ONMAPOUT), std::vector<std::string>{"out.vsb," + forest + ",2"});
}

TEST_F(MapImageTest, ClicksSelect) {
    struct Case {
        const char* what;
        uint8_t ignore_mouse;
        bool paused;
        int x, y;
        bool selects;
    };
    const Case cases[] = {
        {"a click on an area", 0, false, 25, 7, true},
        {"ignore-mouse 4 still takes left presses", 4, false, 25, 7, true},
        {"a paused map", 0, true, 25, 7, false},
        {"a click beside the areas", 0, false, 17, 2, false},
        {"ignore-mouse 3 lets left presses fall through", 3, false, 25, 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TVorqMapImage& m = *Map();
        m.SetIgnoreMouse(c.ignore_mouse);
        m.SetPaused(c.paused);
        table.sel_str = "none";
        table.sel_index = 99;
        reg->Events.Clear();
        PointAt(c.x, c.y);
        PointAt(c.x, c.y, 'L');
        Release();
        PointAt(c.x, c.y, 'L');  // a second click before the handler ran
        Release();
        if (c.selects) {
            EXPECT_EQ(table.sel_str, Sjis("森"));
            EXPECT_EQ(table.sel_index, 2);
            EXPECT_EQ(Queued(PR_ONSELECT), std::vector<std::string>{"select.vsb," + Sjis("森") + ",2"});
        } else {
            EXPECT_EQ(table.sel_index, 99);
            EXPECT_TRUE(Queued(PR_ONSELECT).empty());
        }
        m.FreeNow();
        Step(0, 0);
    }
}

TEST_F(MapImageTest, AutoScrapClosesOverTwoUpdates) {
    TVorqMapImage& m = *Map();
    m.SetAutoScrap(true);
    m.SetOnLBtnDown("down.vsb");
    PointAt(5, 5);
    PointAt(5, 5, 'L');
    Release();
    EXPECT_EQ(table.sel_index, 0);
    EXPECT_EQ(m.PhaseNow(), TVorqMapImage::kCloseRequested);
    EXPECT_TRUE(m.IsBusy());
    // The closing map ignores the mouse at once: no press event, no hover.
    EXPECT_TRUE(Queued(PR_ONLBTNDOWN).empty());
    PointAt(25, 7);
    EXPECT_EQ(m.CurrentArea(), 0);
    reg->Update();
    ASSERT_GE(reg->IndexOfObject(&m), 0);
    EXPECT_EQ(m.PhaseNow(), TVorqMapImage::kClosing);
    reg->Update();
    EXPECT_LT(reg->IndexOfObject(&m), 0);
}

TEST_F(MapImageTest, Keys) {
    struct Case {
        const char* what;
        int32_t start;
        int32_t key;
        bool rclick_scrap;
        int32_t area;       // current area afterwards
        int32_t selected;   // @SelIndex afterwards (99: untouched)
        int32_t phase;
    };
    const Case cases[] = {
        {"down with no area takes the first", -1, VK_DOWN, false, 0, 99, 0},
        {"right moves on", 2, VK_RIGHT, false, 3, 99, 0},
        {"down at the last wraps to the first", 4, VK_DOWN, false, 0, 99, 0},
        {"up at the first wraps to the last", 0, VK_UP, false, 4, 99, 0},
        {"up with no area takes the last", -1, VK_UP, false, 4, 99, 0},
        {"left moves back", 3, VK_LEFT, false, 2, 99, 0},
        {"enter with no area does nothing", -1, VK_RETURN, false, -1, 99, 0},
        {"enter selects", 1, VK_RETURN, false, 1, 1, 0},
        {"space selects", 3, VK_SPACE, false, 3, 3, 0},
        {"escape without right-click scrap does nothing", 1, VK_ESCAPE, false, 1, 99, 0},
        {"escape cancels", 1, VK_ESCAPE, true, 1, -1, TVorqMapImage::kCloseRequested},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TVorqMapImage& m = *Map();
        m.SetHandleKey(true);
        m.SetRClickScrap(c.rclick_scrap);
        m.SetArea(c.start);
        table.sel_index = 99;
        Key(m, c.key);
        EXPECT_EQ(m.CurrentArea(), c.area);
        EXPECT_EQ(table.sel_index, c.selected);
        if (c.selected == -1) {
            EXPECT_EQ(table.sel_str, "");
        }
        EXPECT_EQ(m.PhaseNow(), c.phase);
        m.FreeNow();
    }
    TVorqMapImage& empty = *Map("missing.map");
    empty.SetHandleKey(true);
    EXPECT_EQ(empty.AreaCount(), 0);
    Key(empty, VK_DOWN);
    EXPECT_EQ(empty.CurrentArea(), -1);
}

TEST_F(MapImageTest, RightClickCancelsThroughTheRegistry) {
    struct Case {
        const char* what;
        bool rclick_scrap;
        uint8_t ignore_mouse;
        bool cancelled;
    };
    const Case cases[] = {
        {"offered and taken", true, 0, true},
        {"ignore-mouse 3 still takes right presses", true, 3, true},
        {"not offered without right-click scrap", false, 0, false},
        {"refused by ignore-mouse 4", true, 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TVorqMapImage& m = *Map();
        m.SetRClickScrap(c.rclick_scrap);
        m.SetIgnoreMouse(c.ignore_mouse);
        table.sel_index = 7;
        PointAt(5, 5, 'R');
        Release();
        EXPECT_EQ(m.PhaseNow(), c.cancelled ? TVorqMapImage::kCloseRequested : TVorqMapImage::kNormal);
        EXPECT_EQ(m.IsBusy(), c.cancelled);
        EXPECT_EQ(table.sel_index, c.cancelled ? -1 : 7);
        m.FreeNow();
        EXPECT_TRUE(reg->RightClickList().empty());
        Step(0, 0);
    }
}

TEST_F(MapImageTest, HoverShowsInsideTheAreaOnly) {
    TVorqMapImage& m = *Map();
    // Another user of the same masked picture shares the cache's frames.
    int other = 0;
    TTeskItem* shared = TeskCollection->Acquire(&other, "town.tes", false, true);
    ASSERT_NE(shared->Frames[0]->Mask, nullptr);
    const uint32_t red = 0xFF0000, blue = 0x0000FF, green = 0x00FF00;
    Paint(m);
    EXPECT_EQ(At(5, 5), red);
    EXPECT_EQ(At(39, 5), green);  // the picture's keyed column
    PointAt(5, 5);
    Paint(m);
    struct Case {
        int x, y;
        uint32_t color;
    };
    // Area 0 (2..11) shows the glow, which has no key of its own; the rest
    // of the glow stays hidden.
    const Case cases[] = {{2, 2, blue}, {11, 11, blue}, {12, 11, red}, {1, 5, red}, {25, 7, red}, {39, 5, green}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(At(c.x, c.y), c.color);
    }
    // The cache's mask is as loaded, cut nowhere.
    TCustomDIBX& mask = *shared->Frames[0]->Mask;
    EXPECT_EQ(mask.GetPixel(5, 5), 255u);
    EXPECT_EQ(mask.GetPixel(39, 5), 0u);
    PointAt(25, 7);
    Paint(m);
    EXPECT_EQ(At(5, 5), red);
    EXPECT_EQ(At(25, 7), blue);
    EXPECT_EQ(At(20, 2), red);  // outside the ellipse
    // A keyed hover keeps its key inside the area, where the picture is cut
    // away: what lies below shows through.
    m.SetHoverSource("spark.tes");
    Paint(m);
    EXPECT_EQ(At(21, 7), green);
    EXPECT_EQ(At(25, 7), 0xFFFFFFu);
    m.SetAlpha(0);
    Paint(m);
    EXPECT_EQ(At(25, 7), green);
    EXPECT_EQ(At(5, 5), green);
    shared->Release(&other);
}

TEST_F(MapImageTest, HoverFramesStepOnlyWhileAnAreaIsCurrent) {
    TVorqMapImage& m = *Map();
    m.SetHoverSource("spark.tes");
    for (int i = 0; i < 5; ++i) reg->Update();
    EXPECT_EQ(m.HoverList().Index(), 0);
    PointAt(5, 5);
    for (int i = 0; i < 4; ++i) reg->Update();  // 64 ms of a 50 ms frame
    EXPECT_EQ(m.HoverList().Index(), 1);
    reg->ClearDirty();
    reg->Update();
    reg->Update();
    reg->Update();
    // The step to the next frame redraws the area, not the whole map.
    ASSERT_EQ(m.HoverList().Index(), 0);
    ASSERT_EQ(Layer().DirtyList.Count(), 1);
    EXPECT_EQ(Layer().DirtyList.GetRect(0), (TRect{kLeft + 2, kTop + 2, kLeft + 12, kTop + 12}));
    // Entering another area starts the hover frames again.
    reg->Update();
    PointAt(25, 7);
    EXPECT_EQ(m.HoverList().Index(), 0);
}

TEST_F(MapImageTest, MapFiles) {
    TVorqMapImage& m = *Map();
    PointAt(5, 5);
    ASSERT_EQ(m.CurrentArea(), 0);
    reg->Events.Clear();
    m.SetMapSource("missing.map");
    EXPECT_EQ(m.AreaCount(), 0);
    EXPECT_EQ(m.CurrentArea(), -1);
    EXPECT_EQ(reg->Events.Count(), 0);  // no events for the area dropped
    try {
        m.SetMapSource("bad.map");
        ADD_FAILURE() << "a damaged map was read";
    } catch (const ECorruptData& e) {
        EXPECT_EQ(e.Message().rfind("bad.map" + Sjis(":マップファイルが壊れています"), 0), 0u);
    }
    EXPECT_EQ(m.AreaCount(), 0);
    m.SetMapSource("town.map");
    EXPECT_EQ(m.AreaCount(), 5);
    EXPECT_EQ(m.AreaText(3), Sjis("川"));
}

TEST_F(MapImageTest, RecordLoadsBackAndDamageIsRefused) {
    TVorqMapImage& m = *Map();
    m.SetBrightness(-30);
    m.SetAlpha(300);
    m.SetAutoScrap(true);
    m.SetRClickScrap(true);
    m.SetOnIdle("idle.vsb");
    m.SetPaused(true);
    const std::vector<uint8_t> bytes = SavedRecord(m);
    // The control's part of the record, for the old forms below.
    TMemoryStream control_part;
    m.TVorqControl::SaveToStream(control_part);
    auto load = [&](const std::vector<uint8_t>& b, size_t n, int32_t version) {
        return LoadRecord<TVorqMapImage>(*reg, LT_MAPIMG, b, n, version);
    };
    InstallObjectKinds();
    {
        TVorqMapImage* copy = load(bytes, bytes.size(), 130);
        TMemoryStream again;
        copy->SaveToStream(again);
        EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()), bytes);
        EXPECT_EQ(copy->AreaCount(), 5);
        EXPECT_EQ(copy->GetWidth(), 40);
        EXPECT_EQ(copy->CurrentArea(), -1);
        EXPECT_EQ(copy->GetBrightness(), -30);
        EXPECT_EQ(copy->GetOnSelect(), "select.vsb");
    }
    // Older saves: the control's part in its old form, then the map's part
    // without the gated fields (idle handler, paused and select handler from
    // 104 on, the phase from 115 on).
    const std::vector<uint8_t> kind_part(bytes.begin() + std::ptrdiff_t(control_part.GetSize()), bytes.end());
    auto old_record = [&](int32_t version, size_t kind_bytes) {
        TMemoryStream old;
        WriteStreamString(old, "town");
        WriteStreamInteger(old, 0);                        // priority
        if (version >= 104) WriteStreamInteger(old, 0);    // order
        for (int v : {kLeft, kTop, 40, 30, 0, 0}) WriteStreamInteger(old, v);
        WriteStreamByte(old, 0);                           // posZoomed
        if (version >= 104) {
            for (int i = 0; i < 4; ++i) WriteStreamInteger(old, 0);  // clip
            WriteStreamByte(old, 0);                       // aniPaused
        }
        WriteStreamByte(old, 1);                           // visible
        WriteStreamInteger(old, 0);                        // color
        for (int v : {0, 0, 1, 1}) WriteStreamInteger(old, v);
        WriteStreamByte(old, 0);                           // ignoreMouse
        for (int i = 0; i < 10; ++i) WriteStreamString(old, "");
        WriteStreamInteger(old, 0);                        // children
        std::vector<uint8_t> b(old.Bytes().begin(), old.Bytes().end());
        b.insert(b.end(), kind_part.begin(), kind_part.begin() + std::ptrdiff_t(kind_bytes));
        return b;
    };
    const size_t phase = 4, gated = 4 + 8 + 1 + 4 + 10;  // "idle.vsb", "select.vsb"
    {
        const std::vector<uint8_t> b = old_record(114, kind_part.size() - phase);
        TVorqMapImage* copy = load(b, b.size(), 114);
        EXPECT_EQ(copy->GetOnSelect(), "select.vsb");
        EXPECT_EQ(copy->GetOnIdle(), "idle.vsb");
        EXPECT_TRUE(copy->GetPaused());
        EXPECT_EQ(copy->PhaseNow(), TVorqMapImage::kNormal);
    }
    {
        const std::vector<uint8_t> b = old_record(103, kind_part.size() - phase - gated);
        TVorqMapImage* copy = load(b, b.size(), 103);
        EXPECT_EQ(copy->GetOnSelect(), "");
        EXPECT_EQ(copy->GetOnIdle(), "");
        EXPECT_FALSE(copy->GetPaused());
        EXPECT_TRUE(copy->GetAutoScrap());
        EXPECT_TRUE(copy->GetRClickScrap());
        EXPECT_EQ(copy->GetAlpha(), 300);
        EXPECT_EQ(copy->AreaCount(), 5);
    }
    // A saved closing phase goes on after loading.
    {
        reg->ResetScene();
        TVorqMapImage& closing_map = *Map();
        closing_map.SetHandleKey(true);
        closing_map.SetAutoScrap(true);
        closing_map.SetArea(1);
        Key(closing_map, VK_RETURN);
        ASSERT_EQ(closing_map.PhaseNow(), TVorqMapImage::kCloseRequested);
        TMemoryStream closing;
        closing_map.SaveToStream(closing);
        const std::vector<uint8_t> b(closing.Bytes().begin(), closing.Bytes().end());
        TVorqMapImage* copy = load(b, b.size(), 130);
        copy->SetParent(reg->ActiveBase());
        EXPECT_FALSE(copy->IsBusy());
        reg->Update();
        EXPECT_TRUE(copy->IsBusy());
        reg->Update();
        EXPECT_LT(reg->IndexOfObject(copy), 0);
    }
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_THROW(load(bytes, n, 130), ECorruptData) << n << " of " << bytes.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<uint8_t> bad = bytes;
        bad[i] ^= 0xFF;
        try {
            load(bad, bad.size(), 130);
        } catch (const ECorruptData&) {
        }
    }
}

}  // namespace
