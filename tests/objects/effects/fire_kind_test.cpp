// The fire control on a registry with memory surfaces and a driven clock:
// its size rules, stepping by game time, drawing through the ramp, film
// fire frames, and its saved record (read back to the same bytes,
// truncations refused).
#include "script/game_clock.h"
#include "files/number_text.h"
#include "objects/base_list.h"
#include "objects/effects/fire.h"
#include "objects/object_kinds.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/kind_scene.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

namespace {

class FireKind : public KindScene {
protected:

    void SetUp() override {
        GameClock = 0;
        FrameTime = 16;
        OpenScene(64, 48);
    }
    TVorqFire* fire() {
        auto* f = Make<TVorqFire>(LT_FIRE, Layer());
        return f;
    }
};

TEST_F(FireKind, SizeFollowsFieldTimesZoomAndRefusesNegativeSizes) {
    TVorqFire& f = *fire();
    EXPECT_EQ(f.GetPower(), 1);
    EXPECT_DOUBLE_EQ(f.HeatFactor(), 4.5);
    struct Case { int32_t ow, oh, zx, zy, w, h, zx_read; } cases[] = {
        {160, 40, 128, 256, 80, 40, 128},
        {160, 40, 0, 256, 0, 40, 1},     // a zoom below 1 is stored as 1
        {30, 7, 300, 1000, 35, 27, 300},  // truncated toward zero
    };
    for (const auto& c : cases) {
        f.SetOrigWidth(c.ow);
        f.SetOrigHeight(c.oh);
        f.SetZoomX(c.zx);
        f.SetZoomY(c.zy);
        EXPECT_EQ(f.GetZoomX(), c.zx_read);
        EXPECT_EQ(f.GetWidth(), c.w) << c.ow;
        EXPECT_EQ(f.GetHeight(), c.h) << c.oh;
    }
    f.SetWidth(5);
    EXPECT_EQ(f.GetWidth(), 35);
    f.SetOrigWidth(-4);
    f.SetOrigHeight(-1);
    f.SetOrigWidth(kMaxFireSide + 1);
    EXPECT_EQ(f.GetOrigWidth(), 30);
    EXPECT_EQ(f.GetOrigHeight(), 7);
    struct Power { int32_t set, stored; double factor; } powers[] = {
        {300, 255, 2.94501953125}, {-5, 0, 5.5}, {128, 128, 4.2175}};
    for (const auto& p : powers) {
        f.SetPower(p.set);
        EXPECT_EQ(f.GetPower(), p.stored);
        EXPECT_DOUBLE_EQ(f.HeatFactor(), p.factor);
    }
}

TEST_F(FireKind, StepsOncePer40MsAtMostOncePerFrame) {
    TVorqFire& f = *fire();
    f.SetOrigWidth(16);
    f.SetOrigHeight(10);
    f.SetZoomX(256);
    f.SetZoomY(256);
    FrameTime = 100;
    f.Update();  // set-up, then one step keeping 20 ms
    const std::vector<uint8_t> one(f.Field().Pixels(), f.Field().Pixels() + 160);
    EXPECT_EQ(one[9 * 16 + 5], 254);
    FrameTime = 19;
    f.Update();  // 39 ms: no step
    EXPECT_EQ(std::vector<uint8_t>(f.Field().Pixels(), f.Field().Pixels() + 160), one);
    // Replaying the same noise on a bare field: two steps after 40 ms more.
    FrameTime = 1;
    f.Update();
    RandSeed() = 99;
    TVorqFire& g = *fire();
    RandSeed() = 99;
    FireField ref;
    ref.SetIntensity(4.5);
    ref.Reset(16, 10);
    ref.Step();
    ref.Step();
    g.SetOrigWidth(16);
    g.SetOrigHeight(10);
    RandSeed() = 99;
    FrameTime = 40;
    g.Update();
    g.Update();
    EXPECT_EQ(std::vector<uint8_t>(g.Field().Pixels(), g.Field().Pixels() + 160),
              std::vector<uint8_t>(ref.Pixels(), ref.Pixels() + 160));
    g.SetAniPaused(true);
    g.Update();
    EXPECT_EQ(std::vector<uint8_t>(g.Field().Pixels(), g.Field().Pixels() + 160),
              std::vector<uint8_t>(ref.Pixels(), ref.Pixels() + 160));
}

TEST_F(FireKind, DrawsHeatThroughTheRampAndLeavesColdCellsClear) {
    TVorqFire& f = *fire();
    f.SetLeft(4);
    f.SetTop(2);
    f.SetOrigWidth(8);
    f.SetOrigHeight(6);
    f.SetZoomX(512);
    f.SetZoomY(256);
    f.Update();  // cold: every cell 16, bottom rows not yet filled
    draw();
    EXPECT_EQ(at(4, 2), 0u);
    FrameTime = 40;
    f.Update();
    draw();
    const uint32_t hot = FirePalette32()[254];
    // Bottom four rows at full heat, stretched to 16 columns.
    for (int x : {4, 11, 19}) EXPECT_EQ(at(x, 7), hot) << x;
    EXPECT_EQ(at(20, 7), 0u);
    EXPECT_EQ(at(4, 8), 0u);
    // A 24-bit layer shows no fire.
    std::array<uint32_t, 256> table{};
    EXPECT_FALSE(FirePixelTable(24, table));
    EXPECT_FALSE(FirePixelTable(8, table));
    ASSERT_TRUE(FirePixelTable(16, table));
    EXPECT_EQ(table[254], (255u >> 3) << 11 | (230u >> 2) << 5 | (175u >> 3));
}

TEST_F(FireKind, FilmFrameSetsEveryValue) {
    TVorqFire& f = *fire();
    TFilmFireFrame fr;
    fr.place.priority = 7;
    fr.place.left = 10;
    fr.place.top = 12;
    fr.place.clip = TRect{1, 2, 11, 22};
    fr.orig_width = 40;
    fr.orig_height = 10;
    fr.zoom_x = 512;
    fr.zoom_y = 1024;
    fr.power = 90;
    f.ApplyFilmFire(fr);
    EXPECT_EQ(f.GetPriority(), 7);
    EXPECT_EQ(f.GetLeft(), 10);
    EXPECT_EQ(f.GetTop(), 12);
    EXPECT_EQ(f.GetWidth(), 80);
    EXPECT_EQ(f.GetHeight(), 40);
    EXPECT_EQ(f.GetPower(), 90);
    EXPECT_EQ(f.GetClipWidth(), 10);
    EXPECT_EQ(f.GetClipHeight(), 20);
    fr.place.motion = true;
    fr.place.left = 33;
    f.ApplyFilmFire(fr);
    EXPECT_EQ(f.GetLeft(), 10);
    EXPECT_EQ(f.GetMotionX(), 33);
}

TEST_F(FireKind, RecordLoadsBackColdAndDamageIsRefused) {
    TVorqFire& f = *fire();
    f.SetName("flames");
    f.SetPower(200);
    f.SetOrigWidth(20);
    f.SetOrigHeight(12);
    f.SetZoomX(512);
    f.SetZoomY(384);
    f.SetOnIdle("idle.vsb");
    f.SetPaused(true);
    const std::vector<uint8_t> bytes = SavedRecord(f);
    auto load = [&](const std::vector<uint8_t>& b, size_t n, int32_t version) {
        return LoadRecord<TVorqFire>(*reg, LT_FIRE, b, n, version);
    };
    {
        TVorqFire* copy = load(bytes, bytes.size(), 130);
        TMemoryStream again;
        copy->SaveToStream(again);
        EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()), bytes);
        EXPECT_EQ(copy->GetWidth(), 40);
        EXPECT_EQ(copy->GetHeight(), 18);
        EXPECT_DOUBLE_EQ(copy->HeatFactor(), FireHeatFactor(200));
        EXPECT_TRUE(copy->GetPaused());
    }
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_THROW(load(bytes, n, 130), ECorruptData) << n << " of " << bytes.size();
    // A negative field size in a record is damage, not a size.
    std::vector<uint8_t> bad = bytes;
    // power, width, height, zoom x, "idle.vsb" with its length, paused, zoom y
    const size_t width_at = bytes.size() - (4 + 4 + 4 + 4 + 12 + 1 + 4) + 4;
    ASSERT_EQ(bytes[width_at], 20);
    bad[width_at + 3] = 0x80;
    EXPECT_THROW(load(bad, bad.size(), 130), ECorruptData);
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<uint8_t> b = bytes;
        b[i] ^= 0xFF;
        try {
            TVorqFire* copy = load(b, b.size(), 130);
            copy->Update();
        } catch (const ECorruptData&) {
        }
    }
}

}  // namespace
