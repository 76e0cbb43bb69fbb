// Films written by our film writer, played frame by frame into a registry:
// each track's object checked at chosen frames (position, zoom, angle,
// alpha, colours, clip, layer), wipe tracks driving the transition, the
// kinds that take their values through TFilmTarget, motions on a box, and
// cinemas in both modes, nested at an offset.
#include "script/game_clock.h"
#include "objects/basic/box.h"
#include "objects/film/cinema.h"
#include "objects/film/film_manager.h"
#include "objects/film_target.h"
#include "objects/film/motion.h"
#include "objects/images/image.h"
#include "objects/scene/motion_kinds.h"
#include "objects/object_kinds.h"
#include "objects/effects/particle.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/scene_fixture.h"
#include "tests/support/film_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <tuple>
#include <unistd.h>

namespace {

std::function<int32_t(int32_t, int32_t)> solid(int32_t c) {
    return [c](int32_t, int32_t) { return c; };
}

void Load(TFilmManager& f, const std::vector<uint8_t>& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    f.LoadFromStream(s, "a.vcm");
}

// A film file in the test's temporary folder (plain paths load directly).
std::string WriteFilm(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = "/tmp/vorq_film_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    return path;
}

// values of TFilmWriter::Box.
std::vector<uint8_t> BoxFilm(int32_t color, const int32_t (&v)[16], int32_t length, bool motion = false,
                             uint8_t relative = 0, int32_t loop_start = 0) {
    TFilmWriter w(108, motion);
    w.Header(200, 100, color, relative, 0, 0, loop_start);
    w.TrackCount(1);
    w.Track(2, -1, length, 0, 0, 3);
    w.Box(v);
    return w.Bytes();
}

// Records what a label, tile or fire track hands its object.
class HookedKind : public TVorqControl, public TFilmTarget {
public:
    using TVorqControl::TVorqControl;
    void ApplyFilmLabel(const TFilmLabelFrame& f) override { labels.push_back(f); }
    void ApplyFilmTile(const TFilmTileFrame& f) override { tiles.push_back(f); }
    void ApplyFilmFire(const TFilmFireFrame& f) override { fires.push_back(f); }
    std::vector<TFilmLabelFrame> labels;
    std::vector<TFilmTileFrame> tiles;
    std::vector<TFilmFireFrame> fires;
};

class FakeWipe : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    void Prepare() override { ++prepared; }
    int prepared = 0;
};
int wipes_made = 0;
int last_wipe_kind = 0;

class FilmPlay : public SceneTest {
protected:
    MemoryPictures pictures;
    void SetUp() override {
        SceneTest::SetUp();
        SetDisplayBitCount(32);
        InstallObjectKinds();
        InstallMotionKinds();
        RegisterComponentType(LT_BOX, nullptr);  // the real box
        pictures.Add("pic.tes", {{4, 4, 100, solid(0x0000FF)}});
        pictures.Add("three.tes", {{2, 2, 100, solid(0x0000FF)}, {2, 2, 100, solid(0x00FF00)},
                                   {2, 2, 200, solid(0xFF0000)}});
        TeskCollection = new TTeskCollection(&pictures);
        FrameTime = 16;
    }
    void TearDown() override {
        film.reset();
        reg.reset();
        delete TeskCollection;
        TeskCollection = nullptr;
        SetMotionMaker(nullptr);
        SetTransitionMaker(nullptr);
        SetDisplayBitCount(15);
        SceneTest::TearDown();
    }
    TFilmManager& Play(const std::vector<uint8_t>& bytes) {
        film = std::make_unique<TFilmManager>();
        Load(*film, bytes);
        film->SetTarget(reg.get());
        film->Start();
        return *film;
    }
    std::unique_ptr<TFilmManager> film;
};

}  // namespace

TEST_F(FilmPlay, ImageTrackEasesItsPictureFrameByFrame) {
    TFilmWriter w;
    w.Header(640, 480, 0);
    w.TrackCount(1);
    TFilmWriter::ImageBlock b;
    b.anchor_x = 3, b.anchor_y = 2, b.x_to = 100, b.y_to = 40, b.zoom_x_to = 2.0;
    b.alpha_from = 0, b.alpha_to = 128;
    b.clip[0] = 1, b.clip[1] = 2, b.clip[2] = 10, b.clip[3] = 20;  // origin, size from
    b.clip[4] = 5, b.clip[5] = 6, b.clip[6] = 0, b.clip[7] = 0;     // origin, size to
    w.Track(0, -1, 5, 0, 0, 7, 1, 0);
    w.Image(b, "pic.tes");
    TFilmManager& f = Play(w.Bytes());
    ASSERT_NE(f.GetTrack(0)->Picture(), nullptr);
    const struct {
        int32_t t, left, top, zoom_x, alpha, clip_w;
    } cases[] = {
        // alpha 255 -> 128 linear, truncated toward zero; the clip size
        // falls below 1 from frame 4 on: no clip.
        {0, 0, 0, 256, 255, 10}, {1, 25, 10, 320, 224, 8}, {2, 50, 20, 384, 192, 5},
        {3, 75, 30, 448, 160, 3}, {4, 100, 40, 512, 128, 0},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.t);
        f.SetFrame(c.t);
        auto* img = dynamic_cast<TVorqImage*>(f.GetTrack(0)->Target());
        ASSERT_NE(img, nullptr);
        EXPECT_TRUE(IsInternalName(img->GetName()));
        EXPECT_EQ(img->GetParent(), reg->GetBaseAt(0));
        EXPECT_EQ(img->GetLeft(), c.left);
        EXPECT_EQ(img->GetTop(), c.top);
        EXPECT_EQ(img->GetZoomX(), c.zoom_x);
        EXPECT_EQ(img->GetZoomY(), 256);
        EXPECT_EQ(img->GetAlpha(), c.alpha);
        EXPECT_EQ(img->GetClipWidth(), c.clip_w);
        EXPECT_EQ(img->GetOffsetX(), 3);
        EXPECT_EQ(img->GetOffsetY(), 2);
        EXPECT_EQ(img->GetPriority(), 7);
        EXPECT_TRUE(img->GetFlipH());
        EXPECT_FALSE(img->GetFlipV());
        EXPECT_TRUE(img->GetCaptureMask());
        EXPECT_EQ(img->GetOwnSurface(), f.GetTrack(0)->Picture()->Frames[0]->Image.get());
    }
    // Outside its span the object is gone.
    f.SetFrame(5);
    EXPECT_EQ(f.GetTrack(0)->Target(), nullptr);
    reg->Update();
    EXPECT_EQ(reg->GetObjectCount(), 0);
    // A new span makes a fresh object.
    f.SetFrame(0);
    EXPECT_NE(f.GetTrack(0)->Target(), nullptr);
}

TEST_F(FilmPlay, AnglesMapToTurnStepsNegativeOnesAsStored) {
    const struct {
        int32_t from, to, length, u, angle;
    } cases[] = {
        {-1, -1, 1, 0, 254},    // Round(-0.711) = -1 maps to 255 - 1
        {1, 1, 1, 0, 1},        {90, 90, 1, 0, 64},   {-90, -90, 1, 0, 191},
        {360, 360, 1, 0, 0},    {-360, -360, 1, 0, 255},  // -256 maps to 255 - 0
        {0, 0, 1, 0, 0},        {0, 360, 5, 2, 102},  // 144 degrees: 102.4 steps
        {0, -360, 5, 2, 153},   // -144 degrees: -102 maps to 255 - 102
    };
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " " << c.to << " u=" << c.u);
        TFilmWriter w;
        w.Header(64, 64, 0);
        w.TrackCount(1);
        TFilmWriter::ImageBlock b;
        b.angle_from = c.from, b.angle_to = c.to;
        w.Track(0, -1, c.length, 0);
        w.Image(b, "pic.tes");
        TFilmManager& f = Play(w.Bytes());
        f.SetFrame(c.u);
        ASSERT_NE(f.GetTrack(0)->Target(), nullptr);
        EXPECT_EQ(f.GetTrack(0)->Target()->GetAngle(), c.angle);
    }
}

TEST_F(FilmPlay, ImageFramesFollowTheirDelays) {
    TFilmWriter w;
    w.Header(64, 64, 0);
    w.TrackCount(1);
    w.Track(0, -1, 40, 0);
    w.Image(TFilmWriter::ImageBlock{}, "three.tes");
    TFilmManager& f = Play(w.Bytes());
    TCustomFrameList& t = *f.GetTrack(0);
    // 100, 100 and 200 ms: 6, 6 and 12 film frames, period 24.
    EXPECT_EQ(t.period, 24);
    EXPECT_EQ(t.length, 40);
    const struct {
        int32_t u, frame;
    } cases[] = {{0, 0}, {5, 0}, {6, 1}, {11, 1}, {12, 2}, {23, 2}, {24, 0}, {30, 1}};
    for (auto c : cases) {
        SCOPED_TRACE(c.u);
        f.SetFrame(c.u);
        EXPECT_EQ(t.Target()->GetOwnSurface(), t.Picture()->Frames[static_cast<size_t>(c.frame)]->Image.get());
    }
}

TEST_F(FilmPlay, BoxTrackEasesCornersColoursAndChains) {
    TFilmWriter w;
    w.Header(640, 480, 0);
    w.TrackCount(3);
    // 0: from (0,0) 100x100 to (100,0) 100x100 over 2 frames, alpha 0/0.
    const int32_t move[16] = {0, 0, 100, 0, 0, 0, 100, 100, 100, 100, 0x10, 0x10, 3, 3, 0, 0};
    w.Track(2, -1, 2, 0, 0, 4);
    w.Box(move);
    // 1: colour 0x0000FF -> 0x00FF00 and border 0 -> 4 over 3 frames.
    const int32_t color[16] = {0, 0, 0, 0, 255, 255, 10, 10, 10, 10, 0x0000FF, 0x00FF00, 0, 4, 0xFF0000, 0x0000FF};
    w.Track(2, -1, 3, 10);
    w.Box(color);
    // 2: chained to 0; its own from values are never used.
    const int32_t chained[16] = {999, 999, 300, 50, 999, 255, 999, 999, 50, 60, 0, 0, 0, 0, 0, 0};
    w.Track(2, 0, 2, 0);
    w.Box(chained);
    TFilmManager& f = Play(w.Bytes());
    auto box = [&](int i) { return dynamic_cast<TVorqBox*>(f.GetTrack(i)->Target()); };

    const struct {
        int32_t t, track, left, top, width, height, alpha, color, border_width, border_color;
    } cases[] = {
        {0, 0, 0, 0, 100, 100, 255, 0x10, 3, 0},
        // Track 0 has a child: n = 3, so its last frame stops halfway.
        {1, 0, 50, 0, 100, 100, 255, 0x10, 3, 0},
        {2, 2, 100, 0, 100, 100, 255, 0x10, 3, 0},  // from the parent's to values
        {3, 2, 300, 50, 50, 60, 255, 0, 0, 0},
        {10, 1, 0, 0, 10, 10, 255, 0x0000FF, 0, 0xFF0000},
        {11, 1, 0, 0, 10, 10, 255, 0x007F80, 2, 0x80007F},
        {12, 1, 0, 0, 10, 10, 255, 0x00FF00, 4, 0x0000FF},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.t);
        f.SetFrame(c.t);
        TVorqBox* b = box(c.track);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->GetParent(), reg->GetBaseAt(0));
        EXPECT_EQ(b->GetLeft(), c.left);
        EXPECT_EQ(b->GetTop(), c.top);
        EXPECT_EQ(b->GetWidth(), c.width);
        EXPECT_EQ(b->GetHeight(), c.height);
        EXPECT_EQ(b->GetAlpha(), c.alpha);
        EXPECT_EQ(b->GetColor(), c.color);
        EXPECT_EQ(b->GetBorderWidth(), c.border_width);
        EXPECT_EQ(b->GetBorderColor(), c.border_color);
    }
    EXPECT_EQ(box(0), nullptr);  // released once its span ended
}

// A box frame set whole leaves the boxes and the areas to redraw as the
// setters one by one do, two boxes sharing their parent's view as in a film.
TEST_F(FilmPlay, BoxFrameEqualsTheSettersOneByOne) {
    TVorqBaseList ref;
    ref.SetWidth(640);
    ref.SetHeight(480);
    struct Case {
        int parent;  // 0, 1: the layers; 2: a box at (100, 50)
        bool visible;
        int32_t left, top, width, height, priority, alpha, color, border_width, border_color;
        TRect clip;
    };
    const Case cases[] = {
        {0, true, 10, 10, 40, 30, 1, 255, 0x10, 0, 0, {}},  // as it is
        {0, true, 10, 10, 40, 30, 1, 128, 0x10, 0, 0, {}},
        {0, true, 60, 35, 20, 50, 1, 255, 0x10, 0, 0, {}},
        {0, true, 10, 10, 40, 30, 7, 255, 0x203040, 2, 0xFF, {}},
        {0, true, 12, 10, 40, 30, 1, 300, 0x10, 0, 0, {2, 3, 30, 20}},
        {0, true, 10, 10, 40, 30, 1, 255, 0x10, 0, 0, {100, 100, 120, 120}},
        {1, true, 500, 400, 40, 30, 1, 255, 0x10, 0, 0, {}},
        {0, false, 300, 10, 40, 30, 1, 255, 0x10, 0, 0, {}},
        {2, true, -30, 20, 40, 30, 1, 255, 0x10, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        TVorqBaseList* regs[2] = {reg.get(), &ref};
        TVorqBox* boxes[2][2];
        TVorqControl* parents[2];
        for (int k = 0; k < 2; ++k) {
            TVorqControl* holder = static_cast<TVorqBox*>(CreateObjectByType(regs[k], LT_BOX));
            holder->SetParent(regs[k]->GetBaseAt(0));
            holder->SetRect(100, 50, 200, 100);
            for (TVorqBox*& b : boxes[k]) {
                b = static_cast<TVorqBox*>(CreateObjectByType(regs[k], LT_BOX));
                b->SetParent(c.parent == 2 ? holder : regs[k]->GetBaseAt(0));
                b->SetRect(10, 10, 40, 30);
                b->SetPriority(1);
                b->SetColor(0x10);
                b->SetVisible(c.visible);
            }
            parents[k] = c.parent == 2 ? holder : regs[k]->GetBaseAt(c.parent);
            regs[k]->ClearDirty();
            regs[k]->GetBaseAt(0)->AddDirtyRect({0, 0, 5, 5});
        }
        TFilmParentView view;
        for (int i = 0; i < 2; ++i) {
            TFilmBoxFrame f;
            f.parent_view = &view;
            f.place = {false, parents[0], c.priority, c.left + 3 * i, c.top, c.clip};
            f.width = c.width;
            f.height = c.height;
            f.alpha = c.alpha;
            f.color = c.color;
            f.border_width = c.border_width;
            f.border_color = c.border_color;
            EXPECT_TRUE(boxes[0][i]->ApplyFilmBox(f));
            TVorqBox* b = boxes[1][i];
            b->SetParent(parents[1]);
            b->SetRect(c.left + 3 * i, c.top, c.width, c.height);
            b->SetPriority(c.priority);
            b->SetAlpha(c.alpha);
            b->SetColor(c.color);
            b->SetBorderWidth(c.border_width);
            b->SetBorderColor(c.border_color);
            ApplyFilmClip(*b, c.clip);
        }
        const auto values = [](const TVorqBox* b) {
            return std::vector<int32_t>{b->GetLeft(), b->GetTop(), b->GetWidth(), b->GetHeight(), b->GetPriority(),
                                        b->GetOrder(), b->GetAlpha(), b->GetColor(), b->GetBorderWidth(),
                                        b->GetBorderColor(), b->GetClipLeft(), b->GetClipTop(), b->GetClipWidth(),
                                        b->GetClipHeight()};
        };
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(boxes[0][i]->GetParent() == parents[0], boxes[1][i]->GetParent() == parents[1]);
            EXPECT_EQ(values(boxes[0][i]), values(boxes[1][i]));
        }
        for (int layer = 0; layer < 2; ++layer) {
            TClipList& got = reg->GetBaseAt(layer)->DirtyList;
            TClipList& want = ref.GetBaseAt(layer)->DirtyList;
            ASSERT_EQ(got.Count(), want.Count());
            for (int32_t i = 0; i < got.Count(); ++i) EXPECT_EQ(got.GetRect(i), want.GetRect(i));
        }
        for (int k = 0; k < 2; ++k)
            while (regs[k]->GetObjectCount() > 0) regs[k]->GetObjectAt(0)->FreeNow();
    }
}

TEST_F(FilmPlay, WipeTrackDrivesTheTransitionAndTheLayers) {
    wipes_made = 0;
    SetTransitionMaker([](int32_t kind, TCustomDIBX* screen, TCustomDIBX* leaving,
                          TCustomDIBX* entering) -> std::unique_ptr<TCustomWipe> {
        ++wipes_made;
        last_wipe_kind = kind;
        return std::make_unique<FakeWipe>(screen, leaving, entering);
    });
    TFilmWriter w;
    w.Header(64, 64, 0);
    w.TrackCount(4);
    w.Track(3, -1, 30, 60);
    w.Wipe(5, "m.tes", 11, 12, 1);
    w.Track(0, -1, 200, 0);  // before the wipe: layer 0
    w.Image(TFilmWriter::ImageBlock{}, "pic.tes");
    w.Track(0, -1, 200, 0, 0, 0, 0, 0, 1);  // meant to be revealed: the other layer
    w.Image(TFilmWriter::ImageBlock{}, "pic.tes");
    w.Track(0, -1, 10, 100);  // after the wipe: layer 1
    w.Image(TFilmWriter::ImageBlock{}, "pic.tes");
    TFilmManager& f = Play(w.Bytes());
    EXPECT_TRUE(f.NeedsOwnLayers());

    const struct {
        int32_t t;
        int wipes;
        bool running;
        int32_t position, active;
    } cases[] = {{59, 0, false, 0, 0}, {60, 1, true, 0, 0},  {75, 1, true, 15, 0},
                 {89, 1, true, 29, 0}, {90, 1, false, 0, 1}, {100, 1, false, 0, 1}};
    for (auto c : cases) {
        SCOPED_TRACE(c.t);
        f.SetFrame(c.t);
        EXPECT_EQ(wipes_made, c.wipes);
        EXPECT_EQ(reg->ActiveIndex, c.active);
        ASSERT_EQ(reg->Transition() != nullptr, c.running);
        if (c.running) {
            auto* wipe = static_cast<FakeWipe*>(reg->Transition());
            EXPECT_EQ(last_wipe_kind, 5);
            EXPECT_EQ(wipe->Position, c.position);
            EXPECT_EQ(wipe->Duration, 30);
            EXPECT_EQ(wipe->Mode, 1);
            EXPECT_EQ(wipe->Parameters[0], 11);
            EXPECT_EQ(wipe->Parameters[1], 12);
            EXPECT_EQ(wipe->MaskName, "m.tes");
            EXPECT_EQ(wipe->prepared, 1);
        }
    }
    EXPECT_EQ(f.GetTrack(1)->Target()->GetParent(), reg->GetBaseAt(0));
    EXPECT_EQ(f.GetTrack(2)->Target()->GetParent(), reg->GetBaseAt(1));
    EXPECT_EQ(f.GetTrack(3)->Target()->GetParent(), reg->GetBaseAt(1));
    // A jump back before the wipe returns to layer 0 and ends nothing new.
    f.SetFrame(10);
    EXPECT_EQ(reg->ActiveIndex, 0);
    EXPECT_EQ(reg->Transition(), nullptr);
}

TEST_F(FilmPlay, LabelTileAndFireKindsTakeTheirValuesThroughTheHook) {
    for (int32_t type : {LT_LABEL, LT_TILE, LT_FIRE})
        RegisterComponentType(type, [](TVorqBaseList* r) -> TVorqObject* { return new HookedKind(r); });
    TFilmWriter w;
    w.Header(400, 300, 0);
    w.TrackCount(4);
    TFilmWriter::ImageBlock b;
    b.x_from = 10, b.x_to = 30, b.alpha_from = 100, b.alpha_to = 200, b.zoom_y_from = 0.5, b.zoom_y_to = 1.5;
    w.Track(1, -1, 3, 0, 0, 5);
    w.Label(b, "hello", 1, "font", 16, 20, 1, 0x00FF00, 2);
    const int32_t tile[8] = {0, 0, 20, 30, 1, 2, 11, 22};  // tile w/h from 0: the picture's size
    w.Track(5, -1, 3, 0);
    w.Tile(b, "pic.tes", tile, 0, 0, 7, 8);
    w.Track(7, -1, 3, 0);
    w.Fire(250);
    w.Track(1, 0, 2, 0);  // chained label: the parent's text in its own look
    w.Label(b, "ignored", 0, "x", 30, 7, 1, 0x0000FF, 1);
    TFilmManager& f = Play(w.Bytes());
    f.SetFrame(1);
    auto* label = dynamic_cast<HookedKind*>(f.GetTrack(0)->Target());
    auto* tiles = dynamic_cast<HookedKind*>(f.GetTrack(1)->Target());
    auto* fire = dynamic_cast<HookedKind*>(f.GetTrack(2)->Target());
    ASSERT_TRUE(label && tiles && fire);
    ASSERT_EQ(label->labels.size(), 1u);
    const TFilmLabelFrame& l = label->labels[0];
    // Track 0 has a child: n = 4, so frame 1 is a third of the way.
    EXPECT_EQ(l.place.left, 16);
    EXPECT_EQ(l.alpha, 133);
    EXPECT_EQ(l.zoom_y, 213);
    EXPECT_EQ(l.text, "hello");
    EXPECT_EQ(l.font_name, "font");
    EXPECT_EQ(l.font_height, 16);
    EXPECT_EQ(l.line_space, 20);
    EXPECT_EQ(l.font_color, 0x00FF00);
    EXPECT_EQ(l.align, 2);
    EXPECT_EQ(l.place.priority, 5);
    EXPECT_EQ(l.place.parent, reg->GetBaseAt(0));
    EXPECT_EQ(label->GetParent(), reg->GetBaseAt(0));
    ASSERT_EQ(tiles->tiles.size(), 1u);
    const TFilmTileFrame& t = tiles->tiles[0];
    EXPECT_EQ(t.place.left, 20);
    EXPECT_EQ(t.width, 12);  // right from 10+4-1 to 30+20-1: 31 at frame 1
    EXPECT_EQ(t.height, 17);  // bottom from 3 to 29: 16 at frame 1
    EXPECT_EQ(t.scroll_x, 6);
    EXPECT_EQ(t.scroll_y, 12);
    EXPECT_EQ(t.distance_x, 7);
    EXPECT_EQ(t.distance_y, 8);
    EXPECT_NE(t.picture, nullptr);
    ASSERT_EQ(fire->fires.size(), 1u);
    EXPECT_EQ(fire->fires[0].power, 250);
    f.SetFrame(4);
    auto* chained = dynamic_cast<HookedKind*>(f.GetTrack(3)->Target());
    ASSERT_NE(chained, nullptr);
    const TFilmLabelFrame& c = chained->labels.back();
    EXPECT_EQ(c.text, "hello");
    EXPECT_EQ(c.place.left, 30);
    EXPECT_EQ(std::make_tuple(c.font_name, c.font_height, c.line_space, c.font_style, c.font_color, c.antialias, c.align),
              std::make_tuple(std::string("x"), 30, 7, uint8_t(1), 0x0000FF, uint8_t(0), uint8_t(1)));
    for (int32_t type : {LT_LABEL, LT_TILE, LT_FIRE}) RegisterComponentType(type, nullptr);
}

TEST_F(FilmPlay, ParticleChainSharesOneEmitterThatMakesSprites) {
    TFilmWriter w;
    w.Header(320, 240, 0);
    w.TrackCount(3);
    // Two chained tracks of 60 frames each: births every 30..39 ms over
    // x 10..29, y 5; the second track moves the birth x to 200..219.
    w.Track(6, -1, 60, 0, 0, 2);
    w.Particle("pic.tes", PM_SNOW, 0, {30, 30, 10, 10}, {10, 5, 10, 5, 20, 1, 20, 1}, {0, 0},
               {0.001, 0, 0, 0.001, 0, 0}, {0, 0, 0, 0, 320, 240, 320, 240}, 255, 255);
    w.Track(6, 0, 60, 0, 0, 2);
    w.Particle("pic.tes", PM_SNOW, 0, {30, 30, 10, 10}, {200, 5, 200, 5, 20, 1, 20, 1}, {0, 0},
               {0.001, 0, 0, 0.001, 0, 0}, {0, 0, 0, 0, 320, 240, 320, 240}, 255, 255);
    // An empty source: rect defaults, nothing born.
    w.Track(6, -1, 120, 0);
    w.EmptyParticle();
    TFilmManager& f = Play(w.Bytes());
    auto sprites_in = [](TVorqObject* o) {
        auto* e = dynamic_cast<TVorqParticle*>(o);
        return e ? e->Sprites().Count() : -1;
    };
    f.SetFrame(0);
    TVorqObject* emitter = f.GetTrack(0)->Target();
    ASSERT_NE(emitter, nullptr);
    EXPECT_EQ(emitter->GetCompoType(), LT_PARTICLE);
    EXPECT_EQ(emitter->GetParent(), reg->ActiveBase());
    EXPECT_EQ(emitter->GetPriority(), 2);
    EXPECT_EQ(emitter->GetWidth(), 320);
    const uint32_t serial = emitter->Serial();
    TVorqObject* idle = f.GetTrack(2)->Target();
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(idle->GetSource(), "");
    EXPECT_EQ(idle->GetPartMotion(), PM_NONE);
    int32_t early_x_max = 0;
    for (int32_t t = 0; t < 120; ++t) {
        f.SetFrame(t);
        reg->Update();
        ASSERT_TRUE(reg->Alive(emitter, serial)) << t;
        if (t == 59) {
            auto* e = static_cast<TVorqParticle*>(emitter);
            ASSERT_GT(e->Sprites().Count(), 20);
            for (int i = 0; i < e->Sprites().Count(); ++i)
                early_x_max = std::max(early_x_max, e->Sprites().Get(i)->GetLeft());
        }
    }
    // Sprites of the first track live on under the second; late births
    // come from the second track's area.
    auto* e = static_cast<TVorqParticle*>(emitter);
    EXPECT_EQ(f.GetTrack(1)->Target(), nullptr);  // the chain's object is its first track's
    EXPECT_LE(early_x_max, 29);  // snow without sway (PARAM2 = PARAM3 = 0) keeps its x
    int32_t late_x_max = 0, late_x_min = 1000;
    for (int i = 0; i < e->Sprites().Count(); ++i) {
        late_x_max = std::max(late_x_max, e->Sprites().Get(i)->GetLeft());
        late_x_min = std::min(late_x_min, e->Sprites().Get(i)->GetLeft());
    }
    EXPECT_GE(late_x_max, 200);
    EXPECT_LE(late_x_min, 29);
    EXPECT_EQ(sprites_in(idle), 0);
    // Outside the chain's span the emitter goes, and its sprites with it.
    f.SetFrame(121);
    reg->Update();
    EXPECT_FALSE(reg->Alive(emitter, serial));
    for (int i = 0; i < reg->GetObjectCount(); ++i)
        EXPECT_EQ(dynamic_cast<TVorqParticleImages*>(reg->GetObjectAt(i)), nullptr);
}

// ---- motions ----

TEST_F(FilmPlay, MotionMovesItsBoxEndsOnceAndFollowsMoves) {
    const int32_t v[16] = {0, 0, 59, 0, 0, 0, 10, 10, 10, 10, 0x0000FF, 0x0000FF, 0, 0, 0, 0};
    const std::string plain = WriteFilm("plain.vmt", BoxFilm(-1, v, 60, true));
    const std::string relative = WriteFilm("rel.vmt", BoxFilm(-1, v, 60, true, 1));
    const std::string looping = WriteFilm("loop.vmt", BoxFilm(-1, v, 60, true, 0, 10));

    // Not repeating: ends after about one second (62 steps of 16 ms after
    // two warm-up steps) and reports it once.
    auto* box = static_cast<TVorqBox*>(CreateObjectByType(reg.get(), LT_BOX));
    box->SetParent(reg->ActiveBase());
    box->SetOnPlayEnd("done");
    box->SetSource(plain);
    auto* m = dynamic_cast<TVorqMotion*>(box->GetMotion());
    ASSERT_NE(m, nullptr);
    int ended_at = -1;
    for (int i = 1; i <= 100; ++i) {
        reg->Update();
        if (m->Ended() && ended_at < 0) ended_at = i;
    }
    EXPECT_EQ(ended_at, 64);
    EXPECT_EQ(m->CurrentFrame(), 59);
    EXPECT_EQ(box->GetMotionX(), 59);
    EXPECT_EQ(reg->Events.Count(), 1);
    EXPECT_EQ(box->GetColor(), 0x0000FF);
    EXPECT_EQ(box->GetPriority(), 3);  // the box's 0 plus the track's 3

    // Relative: positions follow the box; a command's move shifts the rest.
    box->SetLeft(100);
    box->SetTop(40);
    box->SetSource(relative);
    reg->Update();
    EXPECT_EQ(box->GetMotionX(), 100);
    EXPECT_EQ(box->GetMotionY(), 40);
    for (int i = 0; i < 31; ++i) reg->Update();
    const int32_t frame = box->GetMotion()->CurrentFrame();
    EXPECT_EQ(box->GetMotionX(), 100 + frame);
    box->SetLeft(200);
    reg->Update();
    EXPECT_EQ(box->GetMotionX(), 200 + box->GetMotion()->CurrentFrame());

    // ANIPAUSED freezes it.
    box->SetAniPaused(true);
    const int32_t held = box->GetMotion()->CurrentFrame();
    for (int i = 0; i < 10; ++i) reg->Update();
    EXPECT_EQ(box->GetMotion()->CurrentFrame(), held);
    box->SetAniPaused(false);

    // Repeating with loop start 10: after the end it goes on at 10 + (frame mod 60).
    box->SetLeft(0);
    box->SetRepeat(true);
    box->SetSource(looping);
    // The 64th update wraps to frame 10 (elapsed 167 ms); six more steps
    // of 16 ms reach 263 ms, frame 16.
    for (int i = 0; i < 70; ++i) reg->Update();
    EXPECT_EQ(box->GetMotion()->CurrentFrame(), 16);
    EXPECT_EQ(box->GetMotionX(), 16);
    std::remove(plain.c_str());
    std::remove(relative.c_str());
    std::remove(looping.c_str());
}

// ---- cinemas ----

namespace {
class CinemaPlay : public FilmPlay {
protected:
    TVorqCinema* Cinema(TVorqBaseList* in, int32_t left, int32_t top) {
        auto* c = static_cast<TVorqCinema*>(CreateObjectByType(in, LT_CINEMA));
        c->SetParent(in->ActiveBase());
        c->SetLeft(left);
        c->SetTop(top);
        return c;
    }
    // Runs frames: update, draw, clear, as the frame loop does.
    void Frames(int n) {
        for (int i = 0; i < n; ++i) {
            reg->Update();
            reg->Draw();
            reg->ClearDirty();
        }
    }
    uint32_t Pixel(int32_t x, int32_t y) { return reg->GetOwnSurface()->GetPixel(x, y) & 0xFFFFFF; }
    uint32_t Px(int32_t color) { return static_cast<uint32_t>(reg->GetOwnSurface()->ColorToPixel(color)) & 0xFFFFFF; }
};
}  // namespace

TEST_F(CinemaPlay, BoundFilmsMakeChildrenPrivateOnesDrawIntoTheRectangleNestedAtOffsets) {
    TPlainDIBX screen(640, 480, 32);
    reg->SetScreenSurface(&screen);
    reg->SetColor(0x808080);
    const int32_t red[16] = {10, 10, 10, 10, 255, 255, 20, 20, 20, 20, 0x0000FF, 0x0000FF, 0, 0, 0, 0};
    const std::string bound = WriteFilm("bound.vcm", BoxFilm(-1, red, 100));
    const std::string own = WriteFilm("own.vcm", BoxFilm(0x000000, red, 100));

    // No colour: the box is the cinema's child in the scene.
    TVorqCinema* a = Cinema(reg.get(), 300, 300);
    a->SetSource(bound);
    EXPECT_FALSE(a->PlaysPrivately());
    EXPECT_EQ(a->GetWidth(), 200);
    Frames(1);
    ASSERT_EQ(a->GetChildCount(), 1);
    EXPECT_EQ(a->GetChild(0)->GetRect(), (TRect{310, 310, 330, 330}));
    EXPECT_EQ(a->GetChild(0)->Registry(), reg.get());

    // A colour: its own scene, drawn inside the cinema at (100, 50); a
    // second cinema inside that scene at (30, 20) adds its offset once.
    TVorqCinema* b = Cinema(reg.get(), 100, 50);
    b->SetSource(own);
    EXPECT_TRUE(b->PlaysPrivately());
    TVorqCinema* inner = Cinema(b->PrivateScene(), 30, 20);
    inner->SetSource(own);
    Layer().InvalidateWhole();
    Frames(2);
    const struct {
        int32_t x, y;
        int32_t color;
    } cases[] = {
        {100 + 15, 50 + 15, 0x0000FF},                  // b's box
        {100 + 5, 50 + 5, 0x000000},                    // b's background
        {95, 45, 0x808080},                             // outside b
        {100 + 30 + 10 + 5, 50 + 20 + 10 + 5, 0x0000FF},  // inner's box
        {100 + 30 + 5, 50 + 20 + 5, 0x000000},          // inner's background
        {315, 315, 0x0000FF},                           // a's box
    };
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        EXPECT_EQ(Pixel(c.x, c.y), Px(c.color));
    }
    // A clip on the cinema shows only its part of the private scene.
    b->SetClipWidth(12);
    b->SetClipHeight(100);
    Layer().InvalidateWhole();
    Frames(1);
    EXPECT_EQ(Pixel(100 + 11, 50 + 15), Px(0x0000FF));
    EXPECT_EQ(Pixel(100 + 15, 50 + 15), Px(0x808080));
    EXPECT_EQ(Pixel(100 + 5, 50 + 5), Px(0x000000));
    // Two cinemas with objects of the same names keep them apart.
    EXPECT_EQ(b->PrivateScene()->GetObjectCount(), 2);  // its box and the inner cinema
    EXPECT_EQ(inner->PrivateScene()->GetObjectCount(), 1);
    reg->SetScreenSurface(nullptr);
    std::remove(bound.c_str());
    std::remove(own.c_str());
}

TEST_F(CinemaPlay, EndsRepeatsFromItsLoopStartAndSeeks) {
    const int32_t v[16] = {0, 0, 119, 0, 255, 255, 4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
    const std::string film = WriteFilm("long.vcm", BoxFilm(-1, v, 120, false, 0, 60));
    TVorqCinema* c = Cinema(reg.get(), 0, 0);
    // VOLUME never set: the film's sounds play as stored.
    EXPECT_EQ(c->GetVolume(), 1000);
    c->SetOnPlayEnd("end");
    c->SetSource(film);
    EXPECT_EQ(c->GetCount(), 120);
    // Two updates hold the clock; 125 more reach 2000 ms >= 1992.
    Frames(126);
    EXPECT_FALSE(c->HasEnded());
    Frames(1);
    EXPECT_TRUE(c->HasEnded());
    EXPECT_EQ(c->GetIndex(), 119);
    EXPECT_FALSE(c->GetPlaying());
    // Resting at its end, it reports the end on every update, with no second
    // copy while one waits.
    Frames(20);
    ASSERT_EQ(reg->Events.Count(), 1);
    reg->Events.Get(0).State = 1;  // its handler runs
    Frames(1);
    EXPECT_EQ(reg->Events.Count(), 2);
    reg->Events.RemoveStarted();

    // INDEX 30: shown at the next update, the clock held for two.
    c->SetIndex(30);
    Frames(2);
    EXPECT_EQ(c->GetIndex(), 30);
    Frames(1);
    EXPECT_EQ(c->GetIndex(), 31);  // 500 + 16 ms
    // Repeat with loop start 60 continues there after the end.
    c->SetRepeat(true);
    c->SetIndex(119);
    Frames(4);
    EXPECT_GE(c->GetIndex(), 60);
    EXPECT_LT(c->GetIndex(), 63);
    EXPECT_EQ(reg->Events.Count(), 1);
    std::remove(film.c_str());
}

TEST_F(CinemaPlay, EmptyFilmsMissingFilesAndAutoScrap) {
    TFilmWriter w;
    w.Header(10, 10, -1);
    w.TrackCount(0);
    const std::string empty = WriteFilm("empty.vcm", w.Bytes());
    TVorqCinema* c = Cinema(reg.get(), 0, 0);
    c->SetRepeat(true);
    c->SetSource(empty);
    Frames(5);
    EXPECT_EQ(c->GetIndex(), 0);  // never -1
    EXPECT_EQ(c->GetCount(), 0);

    c->SetSource("/nonexistent/none.vcm");
    EXPECT_EQ(c->Film(), nullptr);
    EXPECT_EQ(c->GetCount(), 0);
    EXPECT_FALSE(c->GetPlaying());

    // A film cut short leaves the cinema without one, as a missing file
    // does, whether SOURCE names it or a loaded scene does.
    const std::vector<uint8_t> whole = BoxFilm(-1, {}, 10);
    for (size_t kept : {whole.size() - 5, whole.size() / 2, size_t(13)}) {
        SCOPED_TRACE(kept);
        const std::string broken = WriteFilm("broken.vcm", std::vector<uint8_t>(whole.begin(), whole.begin() + kept));
        TVorqCinema* e = Cinema(reg.get(), 0, 0);
        EXPECT_NO_THROW(e->SetSource(broken));
        EXPECT_EQ(e->Film(), nullptr);
        TMemoryStream s;
        e->SaveToStream(s);
        s.SetPosition(0);
        TVorqCinema* loaded = Cinema(reg.get(), 0, 0);
        EXPECT_NO_THROW(loaded->LoadFromStream(s, 130));
        EXPECT_EQ(s.GetPosition(), s.GetSize());
        EXPECT_EQ(loaded->Film(), nullptr);
        EXPECT_EQ(loaded->GetSource(), broken);
        std::remove(broken.c_str());
    }

    TVorqCinema* d = Cinema(reg.get(), 0, 0);
    d->SetAutoScrap(true);
    d->SetRepeat(false);
    const std::string short_film = WriteFilm("short.vcm", BoxFilm(-1, {}, 2));
    d->SetSource(short_film);
    const uint32_t serial = d->Serial();
    Frames(10);
    EXPECT_FALSE(reg->Alive(d, serial));
    std::remove(empty.c_str());
    std::remove(short_film.c_str());
}

TEST_F(CinemaPlay, SaveAndLoadKeepTheFilmPosition) {
    const int32_t v[16] = {0, 0, 0, 0, 255, 255, 4, 4, 4, 4, 0, 0, 0, 0, 0, 0};
    const std::string film = WriteFilm("save.vcm", BoxFilm(-1, v, 300));
    const struct {
        bool rewind, mute;
        int32_t index, volume;
    } cases[] = {{false, false, 200, 700}, {true, false, 0, 700}, {false, true, 200, 0}};
    for (auto k : cases) {
        TVorqCinema* c = Cinema(reg.get(), 0, 0);
        c->SetSource(film);
        c->SetVolume(700);
        c->SetRewindOnLoad(k.rewind);
        c->SetMuteOnLoad(k.mute);
        c->SetOnPlayEnd("end");
        c->SetIndex(200);
        Frames(1);
        ASSERT_EQ(c->GetIndex(), 200);
        TMemoryStream s;
        c->SaveToStream(s);
        s.SetPosition(0);
        TVorqCinema* d = Cinema(reg.get(), 0, 0);
        d->LoadFromStream(s, 130);
        EXPECT_EQ(s.GetPosition(), s.GetSize());
        EXPECT_EQ(d->GetSource(), film);
        EXPECT_EQ(d->GetOnPlayEnd(), "end");
        EXPECT_EQ(d->GetVolume(), k.volume);
        Frames(1);
        EXPECT_EQ(d->GetIndex(), k.index);
        // Every shorter record is refused.
        for (int64_t n = 0; n < s.GetSize(); n += 7) {
            TMemoryStream part;
            part.WriteBuffer(s.Memory(), n);
            part.SetPosition(0);
            TVorqCinema* e = Cinema(reg.get(), 0, 0);
            EXPECT_THROW(e->LoadFromStream(part, 130), Exception) << n;
            e->FreeNow();
        }
        c->FreeNow();
        d->FreeNow();
    }
    std::remove(film.c_str());
}
