// Particle emitters on a registry with memory layers: each movement pattern
// against positions computed in Python (tests/data/particle/
// make_particle_golden.py, 80-bit reals, half-even rounding, the process-wide
// generator), the birth timing (pre-roll, long frames, DURATION, the bound
// on births), SOURCE changes in the middle of the update pass, motion files
// played per sprite from each sprite's own start, and the saved record.
#include "script/game_clock.h"
#include "script/param_collection.h"
#include "script/parser.h"
#include "files/number_text.h"
#include "objects/film/motion.h"
#include "objects/scene/motion_kinds.h"
#include "objects/object_kinds.h"
#include "objects/effects/particle.h"
#include "objects/images/image.h"
#include "objects/property_access.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "files/save_stream.h"
#include "tests/objects/images/image_pictures.h"
#include "tests/objects/old_control_record.h"
#include "tests/objects/scene_fixture.h"
#include "tests/support/film_writer.h"
#include "tests/objects/record_io.h"

#include "tests/support/fixture_writers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

struct GoldenStep {
    int32_t ticks, left, top, zoom, priority, finished;
};
struct GoldenCase {
    int motion;
    uint32_t seed;
    double params[3];
    int32_t birth[4];  // x min, x range, y min, y range
    int32_t born_x, born_y;
    std::vector<GoldenStep> steps;
};
const GoldenCase kGolden[] = {
#include "tests/data/particle/particle_golden.inc"
};

std::function<int32_t(int32_t, int32_t)> solid(int32_t c) {
    return [c](int32_t, int32_t) { return c; };
}

class Particles : public SceneTest {
protected:
    TTestGameFolder folder;  // the motion files, removed with it
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        folder.WriteFile(name, std::string(bytes.begin(), bytes.end()));
        return folder.Path() + name;
    }
    MemoryPictures pictures;
    std::unique_ptr<TParamCollection> vars = std::make_unique<TParamCollection>();
    void SetUp() override {
        SceneTest::SetUp();
        SetDisplayBitCount(32);
        InstallObjectKinds();
        InstallMotionKinds();
        pictures.Add("dot.tes", {{6, 4, 100, solid(0x00FFFF)}});
        TeskCollection = new TTeskCollection(&pictures);
        Params = vars.get();
        FramePeriod = 16;
        FrameTime = 16;
    }
    void TearDown() override {
        reg.reset();
        delete TeskCollection;
        TeskCollection = nullptr;
        Params = nullptr;
        SetMotionMaker(nullptr);
        SetDisplayBitCount(15);
        FramePeriod = 16;
        FrameTime = 0;
        SceneTest::TearDown();
    }
    // An emitter of 320 x 240 at (0, 0) on the shown layer.
    TVorqParticle* Emitter(const std::string& source = "dot.tes", int32_t motion = PM_SNOW) {
        auto* e = static_cast<TVorqParticle*>(CreateObjectByType(reg.get(), LT_PARTICLE));
        e->SetName("fx");
        e->SetParent(reg->ActiveBase());
        e->SetRect(0, 0, 320, 240);
        e->SetSource(source);
        e->SetPartMotion(motion);
        return e;
    }
    static void Expr(TVorqParser& p, const char* text) { CompileExpression(p, text); }
    int SpriteObjects() const {
        int n = 0;
        for (int i = 0; i < reg->GetObjectCount(); ++i) n += dynamic_cast<TVorqParticleImages*>(reg->GetObjectAt(i)) != nullptr;
        return n;
    }
};

// ---- movement patterns ----

TEST_F(Particles, EveryPatternMovesAsComputedInPython) {
    for (const GoldenCase& g : kGolden) {
        SCOPED_TRACE(testing::Message() << "motion " << g.motion << " seed " << g.seed);
        reg->ResetScene();
        TVorqParticle& e = *Emitter("dot.tes", g.motion);
        for (int k = 0; k < 3; ++k) e.SetParam(k, g.params[k]);
        TVorqParticleParam& p = e.EnsureParam();
        p.XMin = g.birth[0], p.XRange = g.birth[1], p.YMin = g.birth[2], p.YRange = g.birth[3];
        p.IntervalMin = 100000, p.IntervalRange = 1;  // exactly one birth
        RandSeed() = g.seed;
        e.SetCountdown(0);
        e.Advance(0, true);
        ASSERT_EQ(e.Sprites().Count(), 1);
        TVorqParticleImages& s = *e.Sprites().Get(0);
        EXPECT_EQ(s.GetName().substr(0, 4), std::string("\x01" "fx\x01"));
        EXPECT_EQ(s.GetIgnoreMouse(), 1);
        EXPECT_EQ(s.GetParent(), &e);
        EXPECT_EQ(s.GetOffsetX(), 3);
        EXPECT_EQ(s.GetOffsetY(), 2);
        if (g.motion != PM_STAR) {
            EXPECT_EQ(s.GetLeft(), g.born_x);
            EXPECT_EQ(s.GetTop(), g.born_y);
        }
        for (size_t i = 0; i < g.steps.size(); ++i) {
            const GoldenStep& st = g.steps[i];
            s.StepMotion(st.ticks);
            SCOPED_TRACE(i);
            EXPECT_EQ(s.GetLeft(), st.left);
            EXPECT_EQ(s.GetTop(), st.top);
            EXPECT_EQ(s.GetZoomX(), st.zoom);
            EXPECT_EQ(s.GetPriority(), st.priority);
            EXPECT_EQ(s.Finished(), st.finished != 0);
        }
    }
}

TEST_F(Particles, SnowWithoutSpeedFallsAtATenthAndParamsAreIndexed) {
    TVorqParticle& e = *Emitter();
    e.SetParam(1, 2.5L);
    EXPECT_EQ(e.GetParam(1), 2.5L);
    // Only 0..2 exist: others read 0 and writes go nowhere.
    e.SetParam(3, 9);
    e.SetParam(-1, 9);
    EXPECT_EQ(e.GetParam(3), 0.0L);
    EXPECT_EQ(e.GetParam(-1), 0.0L);
    e.SetParam(0, 0);
    e.EnsureParam().IntervalMin = 100000;
    e.Advance(0, true);
    ASSERT_EQ(e.Sprites().Count(), 1);
    EXPECT_EQ(e.Sprites().Get(0)->GetParam(0), 0.1L);
    EXPECT_EQ(e.Sprites().Get(0)->GetParam(1), 2.5L);
    EXPECT_EQ(e.Sprites().Get(0)->GetParam(3), 0.0L);
}

TEST_F(Particles, EachSpriteKeepsItsOwnOrigin) {
    // Twisters circle their own vertical axis: sprites born far apart must
    // stay apart whatever order they are stepped in.
    TVorqParticle& e = *Emitter("dot.tes", PM_TWISTER);
    e.SetParam(0, 1.0L);
    e.SetParam(1, 10.0L);
    e.SetParam(2, 0.3L);
    TVorqParticleParam& p = e.EnsureParam();
    p.IntervalMin = 100000, p.IntervalRange = 1, p.XRange = 1, p.YRange = 1, p.YMin = 200;
    const int32_t xs[] = {20, 150, 290};
    for (int32_t x : xs) {
        p.XMin = x;
        e.SetCountdown(0);
        e.Advance(0, true);
    }
    ASSERT_EQ(e.Sprites().Count(), 3);
    for (int step = 0; step < 30; ++step) e.Advance(1, false);
    for (int i = 0; i < 3; ++i) {
        // |sin| x A x s stays within the amplitude of 10 / 2.
        EXPECT_LE(std::abs(e.Sprites().Get(i)->GetLeft() - xs[i]), 5) << i;
    }
}

// ---- birth timing ----

TEST_F(Particles, PrerollStartsWithSixtyTwoTicksAndEightMsLeft) {
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 0.001L);  // barely falls
    TVorqParticleParam& p = e.EnsureParam();
    p.XRange = 1, p.YRange = 1, p.IntervalMin = 100, p.IntervalRange = 1;
    e.SetIndex(1000);
    e.Update();
    EXPECT_EQ(e.State(), 1);
    EXPECT_EQ(e.Remainder(), 8);
    // 992 ms: births at 0, 100 ... 900 of them; each moved on by the whole
    // ticks left after it.
    ASSERT_EQ(e.Sprites().Count(), 10);
    EXPECT_EQ(e.Countdown(), 8);
    const int32_t ages[] = {880, 784, 688, 592, 480, 384, 288, 192, 80, 0};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(e.Sprites().Get(i)->Age(), ages[i]) << i;
}

TEST_F(Particles, ALongFrameBornsFourSpritesMovedOnByFourThreeTwoOne) {
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 0.001L);
    Expr(e.Delay(), "20");
    Expr(e.AppearX(), "7 * 6");
    Expr(e.AppearY(), "10");
    e.Update();  // state 0: the first birth at once
    ASSERT_EQ(e.Sprites().Count(), 1);
    EXPECT_EQ(e.Countdown(), 20);
    FrameTime = 100;
    e.Update();
    ASSERT_EQ(e.Sprites().Count(), 5);
    EXPECT_EQ(e.Remainder(), 4);
    EXPECT_EQ(e.Countdown(), 4);
    const int32_t ages[] = {96, 64, 48, 32, 16};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(e.Sprites().Get(i)->Age(), ages[i]) << i;
        EXPECT_EQ(e.Sprites().Get(i)->GetLeft(), 42);
    }
}

TEST_F(Particles, IntervalsAreAtLeastTwoAndMissingResultsFallBack) {
    struct Case {
        const char* delay;
        const char* x;
        int32_t ticks, born, countdown, left;
    } cases[] = {
        // -16 ms in steps of 2: births until the countdown passes 0.
        {"0", "5", 1, 9, 2, 5},
        {"-50", "5", 1, 9, 2, 5},  // negative counts as 2
        {"", "", 1, 1, 16, 0},     // no interval: the frame period (assigned); no x: 0
        {"30", "1 + 1", 3, 2, 12, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delay);
        reg->ResetScene();
        TVorqParticle& e = *Emitter();
        if (*c.delay) Expr(e.Delay(), c.delay);
        if (*c.x) Expr(e.AppearX(), c.x);
        e.SetCountdown(0);
        e.Advance(c.ticks, true);
        EXPECT_EQ(e.Sprites().Count(), c.born);
        EXPECT_EQ(e.Countdown(), c.countdown);
        EXPECT_EQ(e.Sprites().Get(0)->GetLeft(), c.left);
    }
}

TEST_F(Particles, BirthsInOneUpdateAreBounded) {
    // An hour of pre-roll at 2 ms would be 1.8 million sprites at once.
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 0.001L);
    Expr(e.Delay(), "2");
    e.SetIndex(3600 * 1000);
    e.Update();
    EXPECT_EQ(e.Sprites().Count(), kMaxBirthsPerUpdate);
    EXPECT_EQ(SpriteObjects(), kMaxBirthsPerUpdate);
    // The backlog is dropped: the next frame births at the usual pace
    // (16 ms from a countdown of 0: births at 0, -14 ... 0).
    e.Update();
    EXPECT_EQ(e.Sprites().Count(), kMaxBirthsPerUpdate + 9);
    // A huge frame gap likewise.
    reg->ResetScene();
    TVorqParticle& f = *Emitter();
    f.SetParam(0, 0.001L);
    Expr(f.Delay(), "2");
    f.Update();
    FrameTime = 3000;
    f.Update();
    EXPECT_EQ(f.Sprites().Count(), 1 + kMaxBirthsPerUpdate);
}

TEST_F(Particles, NoMotionPatternNoBirthsAndUnknownPatternsDieAtOnce) {
    TVorqParticle& e = *Emitter("dot.tes", PM_NONE);
    Expr(e.Delay(), "5");
    for (int i = 0; i < 5; ++i) reg->Update();
    EXPECT_EQ(e.Sprites().Count(), 0);
    e.SetPartMotion(9);
    EXPECT_EQ(e.State(), 0);  // a new pattern restarts emission
    Expr(e.Delay(), "100000");
    reg->Update();
    EXPECT_EQ(SpriteObjects(), 1);
    // Its first step finishes it; its own update frees it.
    reg->Update();
    EXPECT_EQ(SpriteObjects(), 0);
    EXPECT_EQ(e.Sprites().Count(), 0);
}

TEST_F(Particles, DurationEndsBirthsAndTheEmitterGoesAfterItsLastSprite) {
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 8.0L);  // 8 px per tick: gone from 240 px within 31 ticks
    TVorqParticleParam& p = e.EnsureParam();
    p.XRange = 300, p.YRange = 1, p.IntervalMin = 50, p.IntervalRange = 1;
    e.SetDuration(500);
    const uint32_t serial = e.Serial();
    int frame = 0, last_birth = -1, last_sprite = -1, freed = -1, born = 0;
    for (frame = 1; frame <= 200 && freed < 0; ++frame) {
        const int before = SpriteObjects();
        reg->Update();
        if (!reg->Alive(&e, serial)) {
            freed = frame;
            break;
        }
        if (e.Sprites().Count() > 0) last_sprite = frame;
        if (e.Sprites().Count() > before || (before == 0 && e.Sprites().Count() > 0)) last_birth = frame, ++born;
        if (frame == 5) {
            EXPECT_EQ(e.GetDuration(), 500 - 4 * 16);  // counted from the second frame
        }
    }
    // Frame 1 starts emission; frames 2..33 use up the 500 ms.
    EXPECT_EQ(last_birth, 33);
    EXPECT_GT(last_sprite, last_birth);
    EXPECT_EQ(freed, last_sprite + 2);  // the first frame after the last sprite died
    EXPECT_EQ(SpriteObjects(), 0);
}

TEST_F(Particles, DurationZeroEmitsForEver) {
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 50.0L);
    Expr(e.Delay(), "16");
    for (int i = 0; i < 500; ++i) reg->Update();
    EXPECT_EQ(e.State(), 1);
    EXPECT_GT(e.Sprites().Count(), 0);
}

// ---- SOURCE changes ----

TEST_F(Particles, ChangingSourceRemovesEverySpriteInTheSameFrame) {
    pictures.Add("star.tes", {{2, 2, 100, solid(0x0000FF)}});
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 0.001L);
    Expr(e.Delay(), "20");
    for (int i = 0; i < 10; ++i) reg->Update();
    ASSERT_GT(e.Sprites().Count(), 5);
    e.SetSource("star.tes");
    EXPECT_EQ(e.Sprites().Count(), 0);
    EXPECT_EQ(SpriteObjects(), 0);
    EXPECT_EQ(e.GetChildCount(), 0);
    EXPECT_EQ(e.State(), 0);
    EXPECT_EQ(e.Picture().Count(), 1);
    reg->Update();
    ASSERT_EQ(e.Sprites().Count(), 1);
    EXPECT_EQ(e.Sprites().Get(0)->GetWidth(), 2);
    // Another extension: sprites without a picture.
    e.SetSource("notes.txt");
    EXPECT_EQ(e.Picture().Count(), 0);
    reg->Update();
    ASSERT_EQ(e.Sprites().Count(), 1);
    EXPECT_EQ(e.Sprites().Get(0)->GetWidth(), 0);
}

TEST_F(Particles, SourceChangedDuringTheUpdatePassFreesNothingThePassStillWalks) {
    // Objects updated before and after the emitter change its SOURCE in
    // the middle of the pass; every other object is updated exactly once
    // per pass and nothing freed is touched (ASan runs this too).
    pictures.Add("b.tes", {{2, 2, 100, solid(0x0000FF)}});
    TTestBox* before = Box("before", 0, 0, 4, 4);
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 0.001L);
    Expr(e.Delay(), "4");
    TTestBox* after = Box("after", 0, 0, 4, 4);
    for (int i = 0; i < 5; ++i) reg->Update();
    ASSERT_GT(e.Sprites().Count(), 10);
    int pass = 0;
    before->OnUpdate = [&](TTestBox&) {
        if (pass % 3 == 0) e.SetSource(pass % 2 ? "dot.tes" : "b.tes");
        return false;
    };
    after->OnUpdate = [&](TTestBox&) {
        if (pass % 3 == 1) e.SetSource(pass % 2 ? "dot.tes" : "b.tes");
        return false;
    };
    TTestBox* tail = nullptr;
    for (pass = 0; pass < 12; ++pass) {
        const int b = before->Updates, a = after->Updates;
        if (pass == 6) tail = Box("tail", 0, 0, 1, 1);
        const int t = tail ? tail->Updates : 0;
        reg->Update();
        EXPECT_EQ(before->Updates, b + 1) << pass;
        EXPECT_EQ(after->Updates, a + 1) << pass;
        if (tail) {
            EXPECT_EQ(tail->Updates, t + 1) << pass;
        }
        EXPECT_EQ(SpriteObjects(), e.Sprites().Count()) << pass;
        EXPECT_EQ(e.GetChildCount(), e.Sprites().Count()) << pass;
    }
}

TEST_F(Particles, FreeingTheEmitterTakesItsSprites) {
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 0.001L);
    Expr(e.Delay(), "10");
    for (int i = 0; i < 4; ++i) reg->Update();
    ASSERT_GT(SpriteObjects(), 3);
    e.Scrap();
    reg->Update();
    EXPECT_EQ(SpriteObjects(), 0);
    EXPECT_EQ(reg->GetObjectCount(), 0);
}

TEST_F(Particles, PausedStandsStillAndPlayingFollowsPauses) {
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 1.0L);
    Expr(e.Delay(), "10");
    for (int i = 0; i < 3; ++i) reg->Update();
    EXPECT_TRUE(e.GetPlaying());
    const int n = e.Sprites().Count();
    const int32_t top = e.Sprites().Get(0)->GetTop();
    e.SetPaused(true);
    EXPECT_FALSE(e.GetPlaying());
    for (int i = 0; i < 3; ++i) reg->Update();
    EXPECT_EQ(e.Sprites().Count(), n);
    EXPECT_EQ(e.Sprites().Get(0)->GetTop(), top);
    e.SetPaused(false);
    e.SetAniPaused(true);
    EXPECT_FALSE(e.GetPlaying());
    reg->Update();
    EXPECT_EQ(e.Sprites().Get(0)->GetTop(), top);
}

TEST_F(Particles, SpritesDrawTheSharedPictureInsideTheEmitter) {
    TPlainDIBX screen{640, 480, 32};
    reg->SetScreenSurface(&screen);
    reg->ActiveBase()->SetColor(0);
    TVorqParticle& e = *Emitter();
    e.SetLeft(100);
    e.SetTop(50);
    e.SetParam(0, 0.001L);
    Expr(e.AppearX(), "20");
    Expr(e.AppearY(), "30");
    Expr(e.Delay(), "100000");
    reg->Update();
    reg->ActiveBase()->InvalidateWhole();
    reg->Draw();
    // The sprite's centre at (20, 30) inside the emitter: (117..122, 78..81).
    EXPECT_EQ(screen.GetPixel(117, 78) & 0xFFFFFF, screen.GetPixel(122, 81) & 0xFFFFFF);
    EXPECT_NE(screen.GetPixel(117, 78) & 0xFFFFFF, 0u);
    EXPECT_EQ(screen.GetPixel(116, 78) & 0xFFFFFF, 0u);
    EXPECT_EQ(screen.GetPixel(123, 81) & 0xFFFFFF, 0u);
    EXPECT_EQ(screen.GetPixel(117, 82) & 0xFFFFFF, 0u);
    reg->SetScreenSurface(nullptr);
}

// ---- motion files ----

std::vector<uint8_t> MoveRightFilm(uint8_t relative, int32_t length, const std::string& self = "") {
    TFilmWriter w(108, true);
    w.Header(100, 100, -1, relative);
    w.TrackCount(self.empty() ? 1 : 2);
    w.Track(2, -1, length, 0, 0, 5);
    const int32_t v[16] = {0, 0, length - 1, 0, 255, 255, 4, 4, 4, 4, 0xFF, 0xFF, 0, 0, 0, 0};
    w.Box(v);
    if (!self.empty()) {
        // A particle track naming the motion file itself.
        w.Track(6, -1, length, 0);
        w.Particle(self, PM_SNOW, 0, {100, 100, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0}, {1, 0, 0, 1, 0, 0},
                   {0, 0, 0, 0, 10, 10, 10, 10}, 255, 255);
    }
    return w.Bytes();
}

TEST_F(Particles, MotionSourceMovesEachSpriteFromItsOwnStartAndEndsIt) {
    const std::string rel = WriteFile("rel.vmt", MoveRightFilm(1, 20));
    TVorqParticle& e = *Emitter(rel, PM_SNOW);
    ASSERT_NE(e.Motion(), nullptr);
    EXPECT_EQ(e.Picture().Count(), 0);
    e.SetParam(0, 0.001L);
    Expr(e.Delay(), "20");
    Expr(e.AppearX(), "RandomTest");  // no such variable: 0
    TVorqParticleParam& p = e.EnsureParam();
    p.XMin = 0, p.XRange = 200, p.YMin = 0, p.YRange = 200, p.IntervalMin = 40, p.IntervalRange = 1;
    FrameTime = 100;  // births within a long frame start late: each still has its own origin
    for (int i = 0; i < 3; ++i) reg->Update();
    ASSERT_GE(e.Sprites().Count(), 4);
    for (int i = 0; i < e.Sprites().Count(); ++i) {
        TVorqParticleImages& s = *e.Sprites().Get(i);
        ASSERT_TRUE(s.FilmOriginRecorded) << i;
        EXPECT_EQ(s.FilmOrigin.x, s.GetLeft()) << i;
        // The box track moves x by one per film frame from the sprite's
        // own origin.
        const int32_t frame = s.GetMotion()->CurrentFrame();
        EXPECT_EQ(s.GetMotionX(), s.GetLeft() + frame) << i;
        EXPECT_EQ(s.GetScreenX(), s.GetMotionX()) << i;
        EXPECT_EQ(s.GetPriority(), 5) << i;
    }
    // 20 film frames are 333 ms: every sprite ends and goes.
    Expr(e.Delay(), "100000");
    e.EnsureParam().IntervalMin = 100000;
    for (int i = 0; i < 6; ++i) reg->Update();
    EXPECT_EQ(e.Sprites().Count(), 0);
    EXPECT_EQ(SpriteObjects(), 0);
    EXPECT_NE(e.Motion(), nullptr);
}

TEST_F(Particles, AMotionFileNamingItselfIsNotFollowed) {
    const std::string path = folder.Path() + "self.vmt";
    WriteFile("self.vmt", MoveRightFilm(0, 30, path));
    TVorqParticle& e = *Emitter(path, PM_SNOW);
    ASSERT_NE(e.Motion(), nullptr);
    e.SetParam(0, 0.001L);
    Expr(e.Delay(), "30");
    for (int i = 0; i < 10; ++i) reg->Update();
    // Sprites play the box track; the particle track drives no emitter in a
    // sprite's motion, so no second emitter (and no recursion) appears.
    EXPECT_GT(e.Sprites().Count(), 0);
    int emitters = 0;
    for (int i = 0; i < reg->GetObjectCount(); ++i) emitters += reg->GetObjectAt(i)->GetCompoType() == LT_PARTICLE;
    EXPECT_EQ(emitters, 1);
    std::vector<std::string> files;
    e.Motion()->Film().CollectFiles(files);
    EXPECT_EQ(files.size(), 1u);
}

// ---- saved record ----

TEST_F(Particles, RecordLoadsBackAndDamageIsRefused) {
    TVorqParticle& e = *Emitter();
    Expr(e.AppearX(), "3 + 4");
    Expr(e.AppearY(), "8");
    Expr(e.Delay(), "25");
    e.SetParam(0, 0.75L);
    e.SetParam(1, -2.5L);
    e.SetParam(2, 1e-3L);
    e.SetAlpha(300);
    e.SetIndex(480);
    e.SetOnIdle("idle.vsb");
    e.SetPaused(true);
    e.SetDuration(1200);
    e.SetPartMotion(PM_FLUFF);
    const std::vector<uint8_t> bytes = SavedRecord(e);
    auto load = [&](const std::vector<uint8_t>& b, size_t n, int32_t version) {
        return LoadRecord<TVorqParticle>(*reg, LT_PARTICLE, b, n, version);
    };
    {
        TVorqParticle* copy = load(bytes, bytes.size(), 130);
        TMemoryStream again;
        copy->SaveToStream(again);
        EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()), bytes);
        EXPECT_EQ(copy->GetSource(), "dot.tes");
        EXPECT_EQ(copy->Picture().Count(), 1);
        EXPECT_EQ(copy->GetPartMotion(), PM_FLUFF);
        EXPECT_EQ(copy->GetParam(2), 1e-3L);
        EXPECT_EQ(copy->GetAlpha(), 300);
        EXPECT_EQ(copy->GetIndex(), 480);
        EXPECT_EQ(copy->GetOnIdle(), "idle.vsb");
        EXPECT_TRUE(copy->GetPaused());
        EXPECT_EQ(copy->GetDuration(), 1200);
        EXPECT_EQ(copy->State(), 0);
        EXPECT_EQ(copy->Param(), nullptr);
        copy->Delay().Evaluate();
        ASSERT_NE(copy->Delay().Result(), nullptr);
        EXPECT_EQ(copy->Delay().Result()->GetAsInt(), 25);
        copy->AppearX().Evaluate();
        EXPECT_EQ(copy->AppearX().Result()->GetAsInt(), 7);
    }
    // Before version 104 the record ends after ALPHA.
    {
        TMemoryStream old;
        WriteOldControlRecord(old, 103, "old");
        TVorqParser none;
        for (int k = 0; k < 3; ++k) none.SaveToStream(old);
        WriteStreamString(old, "dot.tes");
        WriteStreamByte(old, PM_STAR);
        for (int k = 0; k < 3; ++k) WriteStreamExtended(old, 2.0L);
        WriteStreamInteger(old, 77);
        const std::vector<uint8_t> b(old.Bytes().begin(), old.Bytes().end());
        TVorqParticle* copy = load(b, b.size(), 103);
        EXPECT_EQ(copy->GetAlpha(), 77);
        EXPECT_EQ(copy->GetPartMotion(), PM_STAR);
        EXPECT_EQ(copy->GetIndex(), 0);
        EXPECT_EQ(copy->GetDuration(), 0);
        EXPECT_FALSE(copy->GetPaused());
        EXPECT_EQ(copy->Picture().Count(), 1);
    }
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_THROW(load(bytes, n, 130), ECorruptData) << n << " of " << bytes.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<uint8_t> b = bytes;
        b[i] ^= 0xFF;
        try {
            TVorqParticle* copy = load(b, b.size(), 130);
            copy->SetParent(reg->ActiveBase());
            copy->SetPaused(false);
            for (int k = 0; k < 3; ++k) reg->Update();
        } catch (const Exception&) {
        }
    }
}

// ---- film frames ----

TEST_F(Particles, FilmFrameSetsEveryValueAndMotionModeOnlyPlaces) {
    TVorqParticle& e = *Emitter("", PM_NONE);
    TFilmParticleFrame f;
    f.place.parent = reg->ActiveBase();
    f.place.priority = 4;
    f.place.left = 10;
    f.place.top = 20;
    f.place.clip = TRect{1, 2, 31, 42};
    f.width = 100;
    f.height = 50;
    f.alpha = 128;
    f.source = "dot.tes";
    f.part_motion = PM_STAR;
    f.preroll = 300;
    f.param[0] = 1.5L, f.param[1] = 1.1L, f.param[2] = 0.2L;
    f.x_min = 5, f.y_min = 6, f.x_range = 7, f.y_range = 8, f.interval_min = 90, f.interval_range = 10;
    e.ApplyFilmParticle(f);
    EXPECT_EQ(e.GetLeft(), 10);
    EXPECT_EQ(e.GetTop(), 20);
    EXPECT_EQ(e.GetWidth(), 100);
    EXPECT_EQ(e.GetHeight(), 50);
    EXPECT_EQ(e.GetPriority(), 4);
    EXPECT_EQ(e.GetAlpha(), 128);
    EXPECT_EQ(e.GetSource(), "dot.tes");
    EXPECT_EQ(e.GetPartMotion(), PM_STAR);
    EXPECT_EQ(e.GetIndex(), 300);
    EXPECT_EQ(e.GetParam(1), 1.1L);
    ASSERT_NE(e.Param(), nullptr);
    const TVorqParticleParam& p = *e.Param();
    EXPECT_EQ(std::vector<int32_t>({p.XMin, p.YMin, p.XRange, p.YRange, p.IntervalMin, p.IntervalRange}),
              std::vector<int32_t>({5, 6, 7, 8, 90, 10}));
    EXPECT_EQ(e.GetClipLeft(), 1);
    EXPECT_EQ(e.GetClipWidth(), 30);
    EXPECT_EQ(e.GetClipHeight(), 40);
    // Born sprites take the ALPHA of their birth.
    reg->Update();
    ASSERT_GT(e.Sprites().Count(), 0);
    EXPECT_EQ(e.Sprites().Get(0)->GetAlpha(), 128);
    // Motion mode: the place only.
    f.place.motion = true;
    f.place.left = 33;
    f.source = "other.tes";
    f.part_motion = PM_SNOW;
    f.width = 60;
    e.ApplyFilmParticle(f);
    EXPECT_EQ(e.GetLeft(), 10);
    EXPECT_EQ(e.GetMotionX(), 33);
    EXPECT_EQ(e.GetWidth(), 60);
    EXPECT_EQ(e.GetSource(), "dot.tes");
    EXPECT_EQ(e.GetPartMotion(), PM_STAR);
}

}  // namespace

namespace {
TEST_F(Particles, SpritesDrawAgainAfterADisplayChange) {
    TPlainDIBX screen{640, 480, 32};
    reg->SetScreenSurface(&screen);
    reg->ActiveBase()->SetColor(0);
    TVorqParticle& e = *Emitter();
    e.SetParam(0, 0.001L);
    Expr(e.AppearX(), "20");
    Expr(e.AppearY(), "30");
    Expr(e.Delay(), "100000");
    reg->Update();
    // Every object lets its surfaces go and builds them again, as a screen
    // mode switch does; the sprites find their frame in the emitter again.
    for (int i = 0; i < reg->GetObjectCount(); ++i) reg->GetObjectAt(i)->ReleaseSurfaces();
    for (int i = 0; i < reg->GetObjectCount(); ++i) reg->GetObjectAt(i)->RestoreSurfaces();
    reg->ActiveBase()->InvalidateWhole();
    reg->Draw();
    EXPECT_NE(screen.GetPixel(17, 28) & 0xFFFFFF, 0u);
    EXPECT_EQ(screen.GetPixel(16, 28) & 0xFFFFFF, 0u);
    reg->SetScreenSurface(nullptr);
}
}  // namespace

// Frames drawn from the dirty areas alone look exactly like a full redraw:
// every sprite's old and new places are redrawn, for every pattern, with
// the emitter placed inside a parent of its own, also for a sprite that a
// script moves to another parent and after its emitter has gone.
TEST_F(Particles, FramesFromDirtyAreasMatchAFullRedraw) {
    TPlainDIBX screen{320, 240, 32};
    reg->SetScreenSurface(&screen);
    reg->ActiveBase()->SetColor(0x102030);
    RandSeed() = 7;
    TTestBox* holder = Box("holder", 40, 30, 240, 180);
    Box("other", 0, 0, 320, 240);
    TParamStr other;
    other.SetAsString("other");
    reg->ActiveBase()->InvalidateWhole();
    for (int motion : {PM_SNOW, PM_STAR, PM_FLUFF, PM_TWISTER}) {
        SCOPED_TRACE(motion);
        TVorqParticle& e = *Emitter("dot.tes", motion);
        e.SetParent(holder);
        e.SetRect(15, 10, 200, 150);
        const long double params[][3] = {{0.7L, 6, 12}, {2, 1.08L, 0.2L}, {0.01L, -1, 2}, {1.5L, 60, 0.1L}};
        for (int k = 0; k < 3; ++k) e.SetParam(k, params[motion - 1][k]);
        TVorqParticleParam& p = e.EnsureParam();
        p.XMin = 20, p.XRange = 160, p.YMin = motion == PM_FLUFF ? 140 : 10, p.YRange = 100;
        p.IntervalMin = 20, p.IntervalRange = 30;
        for (int frame = 0; frame < 60; ++frame) {
            if (frame == 20) SetPropertyValue(*e.Sprites().Get(0), PR_PARENT, other);
            reg->Update();
            reg->Draw();
            reg->ClearDirty();
            const std::vector<uint32_t> incremental = [&] {
                std::vector<uint32_t> v;
                for (int y = 0; y < 240; ++y)
                    for (int x = 0; x < 320; ++x) v.push_back(screen.GetPixel(x, y));
                return v;
            }();
            reg->ActiveBase()->InvalidateWhole();
            reg->Draw();
            reg->ClearDirty();
            int differing = 0;
            for (int y = 0; y < 240; ++y)
                for (int x = 0; x < 320; ++x) differing += screen.GetPixel(x, y) != incremental[size_t(y) * 320 + x];
            ASSERT_EQ(differing, 0) << "frame " << frame;
        }
        EXPECT_GT(e.Sprites().Count(), 0);
        e.FreeNow();
    }
    // The moved sprites' picture was their emitters': gone with them.
    ASSERT_GT(reg->FindControl("other")->GetChildCount(), 0);
    reg->Update();
    reg->Draw();
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) ASSERT_EQ(screen.GetPixel(x, y) & 0xFFFFFF, 0x302010u) << x << "," << y;
    reg->SetScreenSurface(nullptr);
}

// The emitter draws its sprites itself and runs their updates: frame by
// frame the picture equals the one each child draws on its own, in the
// children's order, with an animated picture whose frames differ, sprites
// that overlap and reorder (twisters) and a picture object among the
// children; a paused emitter's sprites still turn their frames.
TEST_F(Particles, TheEmitterDrawsItsSpritesAsEachDrawsItself) {
    pictures.Add("two.tes", {{6, 4, 32, solid(0xFF0000)}, {6, 4, 48, solid(0x0000FF)}});
    TPlainDIBX screen{320, 240, 32};
    reg->SetScreenSurface(&screen);
    reg->ActiveBase()->SetColor(0x102030);
    const TRect all{0, 0, 320, 240};
    auto pixels = [&] {
        std::vector<uint32_t> v;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x) v.push_back(screen.GetPixel(x, y));
        return v;
    };
    RandSeed() = 5;
    for (int motion : {PM_SNOW, PM_TWISTER}) {
        SCOPED_TRACE(motion);
        TVorqParticle& e = *Emitter("two.tes", motion);
        e.SetRect(15, 10, 200, 150);
        const long double params[][3] = {{0.3L, 2, 4}, {}, {}, {0.5L, 12, 0.2L}};
        for (int k = 0; k < 3; ++k) e.SetParam(k, params[motion - 1][k]);
        TVorqParticleParam& p = e.EnsureParam();
        p.XMin = 20, p.XRange = 40, p.YMin = 100, p.YRange = 30, p.IntervalMin = 5, p.IntervalRange = 10;
        auto* img = new TVorqImage(reg.get());
        img->SetName("img");
        img->SetSource("dot.tes");
        img->SetParent(&e);
        img->SetRect(30, 105, 6, 4);
        bool turned = false;
        for (int frame = 0; frame < 40; ++frame) {
            if (frame == 20) e.SetPaused(true);
            const int32_t index = e.Sprites().Count() > 0 ? e.Sprites().Get(0)->GetIndex() : -1;
            reg->Update();
            if (frame >= 20) turned = turned || e.Sprites().Get(0)->GetIndex() != index;
            reg->ActiveBase()->InvalidateWhole();
            reg->Draw();
            reg->ClearDirty();
            const std::vector<uint32_t> drawn = pixels();
            screen.ClearClipRect();
            screen.AddClipRect(all);
            screen.FillRect(all, static_cast<uint32_t>(screen.ColorToPixel(0x102030)));
            e.TVorqControl::Draw();
            screen.ClearClipRect();
            ASSERT_EQ(pixels(), drawn) << "frame " << frame;
        }
        EXPECT_GT(e.Sprites().Count(), 20);
        EXPECT_TRUE(turned);
        e.FreeNow();
    }
    reg->SetScreenSurface(nullptr);
}

// A sprite's place from the double-precision sine equals the extended one
// over random angles and radii, and over radii that put the product a hair
// (down to an exact half) from a half, where only the extended path rounds
// right; angles past the fast range take the extended path whole.
TEST(ParticleTrig, FastRoundingEqualsExtended) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> angle(-70000.0, 70000.0), unit(0.0, 1.0);
    const long double nudges[] = {0.0L, 0x1p-14L, -0x1p-14L, 0x1p-30L, -0x1p-30L, 0x1p-45L, -0x1p-45L, 0x1p-60L};
    int checked = 0;
    for (int k = 0; k < 100000 && !HasFailure(); ++k) {
        const long double x = k % 3 ? static_cast<long double>(unit(rng)) * 7 : static_cast<long double>(angle(rng));
        const bool cosine = k % 2 != 0;
        const long double s = ParticleSinOrCos(x, cosine);
        if (std::fabs(s) < 1e-3L) continue;
        const long double m = std::floor(static_cast<long double>(unit(rng)) * 60000) - 30000;
        for (long double f : {static_cast<long double>(unit(rng)) * 2000 - 1000,
                              (m + 0.5L + nudges[k % 8]) / s}) {
            const int32_t want = static_cast<int32_t>(std::rint(s * f));
            ASSERT_EQ(ParticleRoundSinTimes(x, f, cosine), want) << static_cast<double>(x) << " " << static_cast<double>(f);
            ++checked;
        }
    }
    EXPECT_GT(checked, 150000);
}
