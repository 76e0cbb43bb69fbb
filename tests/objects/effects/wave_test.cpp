// The wave control: scanline offsets against Python's computation
// (tests/data/wave/make_wave_golden.py), the phase after frames of several
// lengths, the dirty area widened by |AMP|, a child's drawing shifted line
// by line (also after an ancestor moved), and its saved record.
#include "script/game_clock.h"
#include "objects/base_list.h"
#include "objects/basic/box.h"
#include "objects/object_kinds.h"
#include "objects/effects/wave.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/kind_scene.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

namespace {

struct Golden {
    int32_t amp, wave_len, phase;
    std::vector<int32_t> offsets;
};
const Golden kGolden[] = {
#include "tests/data/wave/wave_golden.inc"
};

TEST(WaveOffsets, MatchPythonsHalfEvenComputation) {
    for (const Golden& g : kGolden) {
        std::vector<int32_t> o(g.offsets.size(), 99);
        bool changed = false;
        ComputeWaveOffsets(g.amp, g.wave_len, g.phase, o, &changed);
        EXPECT_EQ(o, g.offsets) << g.amp << " " << g.wave_len << " " << g.phase;
        EXPECT_TRUE(changed);
        ComputeWaveOffsets(g.amp, g.wave_len, g.phase, o, &changed);
        EXPECT_FALSE(changed);
    }
}

class WaveKind : public KindScene {
protected:

    void SetUp() override {
        GameClock = 0;
        FrameTime = 16;
        OpenScene(64, 48);
    }
    TVorqWave* wave(TVorqControl* parent = nullptr) {
        auto* w = static_cast<TVorqWave*>(CreateObjectByType(reg.get(), LT_WAVE));
        w->SetParent(parent ? parent : reg->ActiveBase());
        return w;
    }
    TVorqBox* box(TVorqControl* parent, int32_t l, int32_t t, int32_t w, int32_t h, int32_t color) {
        auto* b = new TVorqBox(reg.get());
        b->SetParent(parent);
        b->SetRect(l, t, w, h);
        b->SetColor(color);
        b->SetAlpha(255);
        return b;
    }
    // First column of row y holding red, -1 when none.
    int red_from(int y) const {
        for (int x = 0; x < 64; ++x)
            if ((at(x, y)) == 0xFF0000) return x;
        return -1;
    }
};

TEST_F(WaveKind, DefaultsBoundsAndPhaseSteps) {
    TVorqWave& w = *wave();
    EXPECT_EQ(w.GetAmp(), 10);
    EXPECT_EQ(w.GetWaveLen(), 200);
    EXPECT_EQ(w.GetDelay(), 2000);
    w.SetWaveLen(0);
    w.SetDelay(-5);
    EXPECT_EQ(w.GetWaveLen(), 1);
    EXPECT_EQ(w.GetDelay(), 1);
    // (delay, frame ms, frames, phase after): Python's (-steps) % 255.
    struct Case { int32_t delay; uint32_t frame; int frames; int32_t phase; } cases[] = {
        {1, 16, 1, 239},     // 4096 steps at once
        {2000, 16, 1, 253},  // 2 steps, 96 kept
        {2000, 16, 2, 251},  // 96 + 4096 = 4192: 2 more steps
        {2000, 7, 1, 0},     // 1792 < 2000: nothing
    };
    for (const auto& c : cases) {
        TVorqWave& v = *wave();
        v.SetHeight(4);
        v.SetDelay(c.delay);
        FrameTime = c.frame;
        for (int i = 0; i < c.frames; ++i) v.Update();
        EXPECT_EQ(v.Phase(), c.phase) << c.delay << " " << c.frame;
        if (c.phase == 0) {
            EXPECT_EQ(v.Offsets(), std::vector<int32_t>(4, 0));
        }
    }
}

TEST_F(WaveKind, DirtyAreaWidensByTheSizeOfAmp) {
    TVorqWave& w = *wave();
    for (int32_t amp : {7, -7, 0}) {
        w.SetAmp(amp);
        TRect r{10, 10, 20, 20};
        w.AdjustDirtyRect(r);
        const int32_t a = amp < 0 ? -amp : amp;
        EXPECT_EQ(r.Left, 10 - a) << amp;
        EXPECT_EQ(r.Right, 20 + a) << amp;
        EXPECT_EQ(r.Top, 10);
    }
}

TEST_F(WaveKind, ChildDrawingIsShiftedPerScanlineAndFollowsAMovedAncestor) {
    TVorqBox* holder = box(reg->ActiveBase(), 0, 0, 64, 48, 0x000000);
    holder->SetAlpha(0);
    TVorqWave& w = *wave(holder);
    w.SetRect(10, 5, 30, 12);
    w.SetAmp(-3);
    w.SetWaveLen(12);
    w.SetDelay(1);
    box(&w, 8, 0, 4, 12, 0x0000FF);  // red (0x00BBGGRR)
    FrameTime = 2;  // 512 steps: phase 253
    w.Update();
    ASSERT_EQ(w.Phase(), 253);
    std::vector<int32_t> want(12);
    ComputeWaveOffsets(-3, 12, 253, want);
    draw();
    for (int y = 0; y < 12; ++y) EXPECT_EQ(red_from(5 + y), 18 + want[size_t(y)]) << y;
    EXPECT_EQ(red_from(4), -1);
    holder->SetLeft(6);
    holder->SetTop(20);
    draw();
    for (int y = 0; y < 12; ++y) EXPECT_EQ(red_from(25 + y), 24 + want[size_t(y)]) << y;
    EXPECT_EQ(red_from(24), -1);
}

TEST_F(WaveKind, RecordLoadsBackAndDamageIsRefused) {
    TVorqWave& w = *wave();
    w.SetName("ripple");
    w.SetRect(1, 2, 30, 20);
    w.SetAmp(-12);
    w.SetWaveLen(33);
    w.SetDelay(900);
    w.SetOnIdle("idle.vsb");
    w.SetPaused(true);
    const std::vector<uint8_t> bytes = SavedRecord(w);
    auto load = [&](const std::vector<uint8_t>& b, size_t n, int32_t version) {
        return LoadRecord<TVorqWave>(*reg, LT_WAVE, b, n, version);
    };
    {
        TVorqWave* copy = load(bytes, bytes.size(), 130);
        TMemoryStream again;
        copy->SaveToStream(again);
        EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()), bytes);
        EXPECT_EQ(copy->GetAmp(), -12);
        EXPECT_EQ(copy->Offsets().size(), 20u);
        EXPECT_TRUE(copy->GetPaused());
    }
    for (size_t n = 0; n < bytes.size(); ++n)
        EXPECT_THROW(load(bytes, n, 130), ECorruptData) << n << " of " << bytes.size();
    // A damaged height does not size the scanline offsets past any screen.
    {
        TVorqWave* huge = load(bytes, bytes.size(), 130);
        huge->SetHeight(2000000000);
        huge->Update();
        EXPECT_EQ(huge->Offsets().size(), size_t(kMaxWaveSide));
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<uint8_t> b = bytes;
        b[i] ^= 0xFF;
        try {
            TVorqWave* copy = load(b, b.size(), 130);
            copy->SetParent(reg->ActiveBase());
            copy->Update();
            draw();
        } catch (const ECorruptData&) {
        }
    }
}

}  // namespace
