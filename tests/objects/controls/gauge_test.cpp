// The gauge on a registry with memory surfaces and a driven clock: how fast
// the bar rises and the trail waits and shrinks, what each orientation and
// direction fills, part lengths against Python's half-even round, and its
// saved record (read back to the same bytes, truncations refused).
#include "script/game_clock.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/controls/gauge.h"
#include "objects/object_kinds.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/render/wipes/mask_picture.h"
#include "tests/objects/kind_scene.h"
#include "tests/objects/record_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <tuple>

namespace {

class Gauge : public KindScene {
protected:
    MaskPictureSource pictures;

    void SetUp() override {
        // 20 x 6: the filled cell red, the trail cell blue (0x00RRGGBB).
        pictures.Add("bar.bmp", 20, 6, [](int x, int) { return x < 10 ? 0xFF0000u : 0x0000FFu; });
        GameClock = 0;
        FrameTime = 10;
        OpenScene(64, 48);
    }
    TVorqGauge* gauge(int32_t min, int32_t max) {
        auto* g = Make<TVorqGauge>(LT_GAUGE, Layer());
        g->SetAlpha(255);
        g->SetSource("bar.bmp");
        g->SetMin(min);
        g->SetMax(max);
        return g;
    }
    // Frames of 10 ms until the gauge rests; -1 when it does not within 10 s.
    static int frames_to_rest(TVorqGauge& g) {
        for (int n = 1; n <= 1000; ++n) {
            g.Update();
            if (!g.GetPlaying()) return n;
        }
        return -1;
    }
    // The colour letters of one row or column of the bar: r filled, b trail, . neither.
    std::string strip(int x, int y, int n, bool down) const {
        std::string s;
        for (int i = 0; i < n; ++i) {
            const uint32_t p = down ? at(x, y + i) : at(x + i, y);
            s += p == 0xFF0000u ? 'r' : p == 0x0000FFu ? 'b' : '.';
        }
        return s;
    }
};

TEST(GaugeLength, PartLengthsRoundHalfToEvenLikePython) {
    // Expected values: Python's round() of the exact fraction length * amount / range.
    struct Case {
        int32_t length;
        int64_t amount, range;
        int32_t want;
    };
    const Case cases[] = {
        {10, 25, 100, 2},  {10, 35, 100, 4}, {10, 50, 100, 5}, {7, 1, 2, 4}, {5, 1, 2, 2},
        {200, 1, 3, 67},   {6, 50, 100, 3},  {INT32_MAX, INT32_MAX, 4294967295LL, 1073741823},
        {100, -5, 10, -50}, {0, 5, 10, 0},
        // An empty or inverted range fills nothing.
        {10, 5, 0, 0},     {10, 5, -3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + "*" + std::to_string(c.amount) + "/" + std::to_string(c.range));
        EXPECT_EQ(GaugePartLength(c.length, c.amount, c.range), c.want);
    }
}

TEST_F(Gauge, RisesAndTrailsAtTheSpeedOfTheWholeRange) {
    TVorqGauge& g = *gauge(0, 100);
    EXPECT_EQ(g.GetWidth(), 10);
    EXPECT_EQ(g.GetHeight(), 6);
    g.SetDelay(1000);
    g.SetDuration(500);
    // 100 values per second: 0.1 per ms, one per 10 ms frame.
    g.SetValue(50);
    EXPECT_TRUE(g.GetPlaying());
    EXPECT_EQ(frames_to_rest(g), 50);
    EXPECT_EQ(g.ShownValue(), 50);

    g.SetValue(80);
    ASSERT_EQ(frames_to_rest(g), 30);
    g.SetValue(30);
    EXPECT_EQ(g.ShownValue(), 30);  // at once
    EXPECT_EQ(g.Trail(), 50);
    for (int i = 0; i < 50; ++i) g.Update();  // the 500 ms hold
    EXPECT_EQ(g.Trail(), 50);
    EXPECT_TRUE(g.GetPlaying());
    g.Update();
    EXPECT_EQ(g.Trail(), 49);
    EXPECT_EQ(frames_to_rest(g), 49);
    EXPECT_EQ(g.Trail(), 0);
    EXPECT_EQ(g.ShownValue(), 30);
}

TEST_F(Gauge, ValueClampsAndDegenerateRangesStopAtOnce) {
    struct Case {
        const char* what;
        int32_t min, max, delay, value;
        int32_t reads;
        int frames;
    };
    const Case cases[] = {
        {"above MAX reads MAX", 20, 120, 1000, 500, 120, 100},
        {"below MIN reads MIN", 20, 120, 1000, -7, 20, 1},
        {"no delay shows at once", 0, 100, 0, 60, 60, 1},
        {"empty range", 5, 5, 1000, 60, 5, 1},
        {"inverted range", 10, 0, 1000, 3, 10, 1},
        // MAX - MIN overflows 32 bits: worked out wide, the bar still moves.
        {"widest range", INT32_MIN, INT32_MAX, 1, INT32_MAX, INT32_MAX, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        TVorqGauge& g = *gauge(c.min, c.max);
        g.SetDelay(c.delay);
        g.SetValue(c.value);
        EXPECT_EQ(g.GetValue(), c.reads);
        const int n = g.GetPlaying() ? frames_to_rest(g) : 0;
        EXPECT_EQ(n, c.frames);
        EXPECT_EQ(g.ShownValue(), c.reads);
        draw();  // any length the range gives stays inside the bar
    }
}

TEST_F(Gauge, EachOrientationAndDirectionFillsFromItsOwnEnd) {
    struct Case {
        const char* what;
        int32_t orientation;
        bool reverse;
        const char* bar;  // along the bar: left to right, or top to bottom
    };
    // Filled 50 of 100 and a trail of 30 beyond it.
    const Case cases[] = {
        {"horizontal", 0, false, "rrrrrbbb.."},
        {"horizontal reversed", 0, true, "..bbbrrrrr"},
        {"vertical from the bottom", 1, false, "..bbbrrrrr"},
        {"vertical reversed from the top", 1, true, "rrrrrbbb.."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        TVorqGauge& g = *gauge(0, 100);
        g.SetOrientation(c.orientation);
        g.SetBarSize(10);
        g.SetReverse(c.reverse);
        g.SetLeft(4);
        g.SetTop(5);
        g.SetDuration(100000);
        g.SetValue(80);
        g.Update();  // no delay: the bar shows 80 at once
        g.SetValue(50);
        draw();
        const bool down = c.orientation == 1;
        EXPECT_EQ(strip(4, 5, 10, down), c.bar);
        EXPECT_EQ(g.GetWidth(), 10);
        EXPECT_EQ(g.GetHeight(), down ? 10 : 6);
    }
}

TEST_F(Gauge, ANewRangeEndsTheMoveAsASaveAndLoadDo) {
    // A move left running on its position in the old range brought back a
    // trail (69 lengths of a range of 1) or a bar below MIN, and kept
    // PLAYING on for thousands of frames; the same gauge saved and loaded
    // rested at once.
    struct Case {
        const char* what;
        int32_t from, to, min, max;
    } cases[] = {{"trail, then a range of 1", 100, 31, 100, 101},
                 {"rise, then MIN above the bar", 0, 100, 99, 101},
                 {"rise, then MAX below the bar", 0, 80, 0, 50}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reg->ResetScene();
        TVorqGauge& g = *gauge(0, 100);
        g.SetDelay(1000);
        g.SetValue(c.from);
        frames_to_rest(g);
        g.SetValue(c.to);
        for (int i = 0; i < 20; ++i) g.Update();
        ASSERT_TRUE(g.GetPlaying());
        g.SetMin(c.min);
        g.SetMax(c.max);
        const std::vector<uint8_t> bytes = SavedRecord(g);
        g.Update();
        const auto live = std::make_tuple(g.GetPlaying(), g.ShownValue(), g.Trail());
        TVorqGauge* copy = LoadRecord<TVorqGauge>(*reg, LT_GAUGE, bytes, bytes.size(), 130);
        copy->Update();
        EXPECT_EQ(live, std::make_tuple(false, std::clamp(c.to, c.min, c.max), 0));
        EXPECT_EQ(std::make_tuple(copy->GetPlaying(), copy->ShownValue(), copy->Trail()), live);
    }
}

TEST_F(Gauge, RecordLoadsBackAtRestAndDamageIsRefused) {
    TVorqGauge& g = *gauge(-3, 90);
    g.SetName("life");
    g.SetValue(70);
    g.SetDelay(250);
    g.SetDuration(40);
    g.SetPaused(true);
    g.SetOrientation(1);
    g.SetReverse(true);
    g.SetOnIdle("idle.vsb");
    g.SetBarSize(17);
    g.SetAlpha(300);
    const std::vector<uint8_t> bytes = SavedRecord(g);
    auto load = [&](const std::vector<uint8_t>& b, size_t n, int32_t version) {
        return LoadRecord<TVorqGauge>(*reg, LT_GAUGE, b, n, version);
    };
    {
        TVorqGauge* copy = load(bytes, bytes.size(), 130);
        TMemoryStream again;
        copy->SaveToStream(again);
        EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()), bytes);
        EXPECT_FALSE(copy->GetPlaying());
        EXPECT_EQ(copy->ShownValue(), 70);
        EXPECT_EQ(copy->GetHeight(), 17);
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
