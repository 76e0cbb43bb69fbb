// The moving and deforming wipes: where each picture's pixels land at
// chosen positions (worked out by hand from the geometry), the ripple's
// tables against tests/data/wipes/make_wipe_golden.py, and the falling
// pieces' timing.
#include "render/wipes/moving_wipes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "render/dibx.h"
#include "tests/render/wipes/wipe_fixture.h"

namespace {

// Pixel (x, y) of the target comes from (sx, sy) of a picture.
using Source = std::function<std::pair<TPlainDIBX*, std::pair<int32_t, int32_t>>(int32_t, int32_t)>;

void ExpectFrom(WipePictures& p, const Source& from, const char* what) {
    int wrong = 0;
    for (int32_t y = 0; y < p.target.Height(); ++y)
        for (int32_t x = 0; x < p.target.Width(); ++x) {
            auto [pic, at] = from(x, y);
            if (!pic) continue;
            wrong += p.target.GetPixel(x, y) != pic->GetPixel(at.first, at.second);
        }
    EXPECT_EQ(wrong, 0) << what;
}

TEST(MovingWipes, ScrollsPushThePicturesAcross) {
    for (int32_t bits : {16, 32})
        for (int32_t mode : {0, 1}) {
            WipePictures p(40, 30, bits);
            auto h = p.Make(6);
            Start(*h, 1000, uint8_t(mode));
            StepAt(*h, 250);  // s = 10
            ExpectFrom(p, [&](int32_t x, int32_t y) -> std::pair<TPlainDIBX*, std::pair<int32_t, int32_t>> {
                if (!mode) return x < 30 ? std::pair{&p.old_picture, std::pair{x + 10, y}} : std::pair{&p.new_picture, std::pair{x - 30, y}};
                return x >= 10 ? std::pair{&p.old_picture, std::pair{x - 10, y}} : std::pair{&p.new_picture, std::pair{x + 30, y}};
            }, "scroll H");
            auto v = p.Make(7);
            Start(*v, 1000, uint8_t(mode));
            StepAt(*v, 500);  // s = 15
            ExpectFrom(p, [&](int32_t x, int32_t y) -> std::pair<TPlainDIBX*, std::pair<int32_t, int32_t>> {
                if (!mode) return y < 15 ? std::pair{&p.old_picture, std::pair{x, y + 15}} : std::pair{&p.new_picture, std::pair{x, y - 15}};
                return y >= 15 ? std::pair{&p.old_picture, std::pair{x, y - 15}} : std::pair{&p.new_picture, std::pair{x, y + 15}};
            }, "scroll V");
        }
}

TEST(MovingWipes, BambooBlindSmearsOneColumn) {
    // W = 40, duration 79 = 2W - 1: position p gives x = p.
    const struct {
        int32_t kind, mode, pos;
        bool from_new;
        int32_t smear, upto;  // columns (rows) < upto show column `smear`; the rest as they are
    } cases[] = {
        {16, 0, 9, false, 9, 10},    // the first ten columns smear column 9
        {16, 0, 39, false, 39, 40},  // end of the first half: all old column 39
        {16, 0, 40, true, 39, 40},   // then the new picture, from its last column
        {16, 0, 70, true, 9, 10},    // x = 79 - 70 = 9
        {16, 1, 9, false, 30, 10},   // from the right: column 30 over the last ten
        {17, 0, 9, false, 9, 10},    // rows
    };
    for (const auto& c : cases) {
        WipePictures p(40, 40, 32);
        auto w = p.Make(c.kind);
        Start(*w, 79, uint8_t(c.mode));
        StepAt(*w, c.pos);
        TPlainDIBX* src = c.from_new ? &p.new_picture : &p.old_picture;
        ExpectFrom(p, [&](int32_t x, int32_t y) -> std::pair<TPlainDIBX*, std::pair<int32_t, int32_t>> {
            int32_t& along = c.kind == 16 ? x : y;
            const int32_t i = c.mode ? 39 - along : along;
            std::pair<int32_t, int32_t> at{x, y};
            if (i < c.upto) (c.kind == 16 ? at.first : at.second) = c.smear;
            return {src, at};
        }, "sudare");
    }
}

TEST(MovingWipes, RubberPullsOneColumnAtHalfTime) {
    // Duration 158, position 79: x = 79 * 79 div 158 = 39, k = 1: old
    // column 38 over all 40 columns.
    WipePictures p(40, 20, 16);
    auto w = p.Make(32);
    Start(*w, 158);
    StepAt(*w, 79);
    ExpectFrom(p, [&](int32_t, int32_t y) -> std::pair<TPlainDIBX*, std::pair<int32_t, int32_t>> {
        return {&p.old_picture, {38, y}};
    }, "rubber H");
    // A quarter in (position 40: x = 20, k = round(39 * 20 / 79) = 10):
    // columns 10..19 stretched over 0..20, the rest in place.
    StepAt(*w, 40);
    for (int32_t x = 21; x < 40; ++x) EXPECT_EQ(p.target.GetPixel(x, 3), p.old_picture.GetPixel(x, 3));
    for (int32_t x = 0; x < 21; ++x) {
        const uint32_t v = p.target.GetPixel(x, 3);
        bool found = false;
        for (int32_t s = 10; s < 20; ++s) found |= v == p.old_picture.GetPixel(s, 3);
        EXPECT_TRUE(found) << x;
    }
    auto r = p.Make(33);
    Start(*r, 118);  // H = 20: 2H - 1 = 39; position 59 is half time
    StepAt(*r, 59);  // y = 59 * 39 div 118 = 19: k = 1, rows from 18
    ExpectFrom(p, [&](int32_t x, int32_t) -> std::pair<TPlainDIBX*, std::pair<int32_t, int32_t>> {
        return {&p.old_picture, {x, 18}};
    }, "rubber V");
}

TEST(MovingWipes, TwistTurnsRowsFromTheTop) {
    WipePictures p(40, 30, 32);
    TPlainDIBX before(40, 30, 32);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) before.SetPixel(x, y, p.target.GetPixel(x, y));
    auto w = p.Make(27);
    Start(*w, 1000);
    StepAt(*w, 0);
    // Only row 0 is drawn: the old row at full width; the rest untouched.
    for (int32_t x = 0; x < 40; ++x) {
        EXPECT_EQ(p.target.GetPixel(x, 0), p.old_picture.GetPixel(x, 0));
        for (int32_t y = 1; y < 30; ++y) ASSERT_EQ(p.target.GetPixel(x, y), before.GetPixel(x, y));
    }
    // phase = pi: rows with r / H * pi/2 < ... row 0 is done (angle = pi),
    // row 10 at angle pi - pi/6: width round(cos * 40) = -35, the new
    // picture's back centred on black.
    StepAt(*w, 667);
    const double phase = 667 * (3 * M_PI / 2) / 1000;
    const double angle = 10.0 / 30 * (-M_PI / 2) + phase;
    const int32_t cw = int32_t(std::nearbyint(std::cos(angle) * 40));
    ASSERT_LT(cw, 0);
    const int32_t left = (40 + cw) / 2;
    EXPECT_EQ(p.target.GetPixel(left - 1, 10), 0u);
    EXPECT_EQ(p.target.GetPixel(left - cw, 10), 0u);
    EXPECT_NE(p.target.GetPixel(left, 10), 0u);
    for (int32_t x = 0; x < 40; ++x) EXPECT_EQ(p.target.GetPixel(x, 0), p.new_picture.GetPixel(x, 0));
}

TEST(MovingWipes, VerticalTwistEqualsColumnStretches) {
    // The column twist drawn as the surface's own column stretches, one
    // column at a time, as reference.
    for (int32_t mode : {0, 1})
        for (int32_t pos : {100, 400, 666, 900}) {
            WipePictures p(50, 37, 32, uint32_t(pos));
            TPlainDIBX ref(50, 37, 32);
            for (int32_t y = 0; y < 37; ++y)
                for (int32_t x = 0; x < 50; ++x) ref.SetPixel(x, y, p.target.GetPixel(x, y));
            auto w = p.Make(28);
            Start(*w, 1000, uint8_t(mode));
            StepAt(*w, pos);
            const double phase = pos * (3 * M_PI / 2) / 1000;
            for (int32_t c = 0; c < 50; ++c) {
                const int32_t x = mode ? 49 - c : c;
                const double angle = double(c) / 50 * (-M_PI / 2) + phase;
                if (angle < 0) continue;
                if (angle > M_PI) {
                    ref.Draw(x, 0, p.new_picture, TRect{x, 0, x + 1, 37}, false, false, false);
                    continue;
                }
                const int32_t ch = int32_t(std::nearbyint(std::cos(angle) * 37)), ah = std::abs(ch), band = (37 - ah) / 2;
                ref.FillRect(TRect{x, 0, x + 1, 37}, 0);
                if (ah)
                    ref.DrawStretch(TRect{x, band, x + 1, band + ah}, ch > 0 ? p.old_picture : p.new_picture,
                                    TRect{x, 0, x + 1, 37}, false, false, false, 255);
            }
            EXPECT_TRUE(WipePictures::Same(p.target, ref)) << "mode " << mode << " at " << pos;
        }
}

TEST(MovingWipes, ShrinkAndGrowKeepToTheCentre) {
    // Half way through a shrink without turning: a picture of zoom 127/256
    // round the centre over the new picture; the corners show the new one.
    WipePictures p(64, 48, 32);
    auto w = p.Make(22);
    Start(*w, 1000);
    StepAt(*w, 500);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{63, 47}, std::pair{10, 24}, std::pair{32, 5}})
        EXPECT_EQ(p.target.GetPixel(x, y), p.new_picture.GetPixel(x, y)) << x << "," << y;
    int changed = 0;
    for (int32_t y = 14; y < 34; ++y)
        for (int32_t x = 18; x < 46; ++x) changed += p.target.GetPixel(x, y) != p.new_picture.GetPixel(x, y);
    EXPECT_GT(changed, 28 * 20 * 9 / 10);
    // A grow near its end covers nearly all of the old picture.
    auto g = p.Make(23);
    Start(*g, 1000);
    StepAt(*g, 999);
    EXPECT_NE(p.target.GetPixel(32, 24), p.old_picture.GetPixel(32, 24));
}

TEST(MovingWipes, ZoomWindowStaysInsideThePicture) {
    // A quarter in: a window of half size, placed by the point; doubled.
    const struct {
        int32_t p0, p1, left, top;
    } cases[] = {{0, 0, 0, 0}, {40, 30, 20, 15}, {1000, -1000, 20, 0}, {20, 15, 10, 8}};
    for (const auto& c : cases) {
        WipePictures p(40, 30, 32);
        auto w = p.Make(30);
        w->SetParam(0, c.p0);
        w->SetParam(1, c.p1);
        Start(*w, 1000);
        StepAt(*w, 250);
        for (int32_t j = 0; j < 15; ++j)
            for (int32_t i = 0; i < 20; ++i)
                ASSERT_EQ(p.target.GetPixel(2 * i, 2 * j), p.old_picture.GetPixel(c.left + i, c.top + j))
                    << c.p0 << "," << c.p1 << " at " << i << "," << j;
    }
}

TEST(RippleWipe, TablesMatchTheGeometry) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/wipes/ripple.txt");
    ASSERT_TRUE(f);
    int32_t w, h, amp, cases = 0;
    while (f >> w >> h >> amp) {
        ++cases;
        WipePictures p(w, h, 32);
        auto wipe = p.Make(24);
        wipe->SetParam(0, amp);
        auto& r = static_cast<TWipeRipple&>(*wipe);
        const int32_t qw = w / 2, qh = h / 2;
        ASSERT_EQ(r.Dist.size(), size_t(qw * qh));
        for (int32_t i = 0; i < qw * qh; ++i) {
            std::string cell;
            f >> cell;
            int d, c, s;
            ASSERT_EQ(sscanf(cell.c_str(), "%d,%d,%d", &d, &c, &s), 3);
            ASSERT_EQ(r.Dist[size_t(i)], d) << i;
            ASSERT_EQ(r.CosTab[size_t(i)], c) << i;
            ASSERT_EQ(r.SinTab[size_t(i)], s) << i;
        }
        for (int32_t v : r.Wave) {
            int32_t want;
            f >> want;
            EXPECT_EQ(v, want);
        }
    }
    EXPECT_EQ(cases, 2);
}

TEST(RippleWipe, TheRingLeavesTheNewPictureAndAnOddMiddleAlone) {
    for (int32_t bits : {16, 32}) {
        WipePictures p(41, 31, bits);
        TPlainDIBX before(41, 31, bits);
        for (int32_t y = 0; y < 31; ++y)
            for (int32_t x = 0; x < 41; ++x) before.SetPixel(x, y, p.target.GetPixel(x, y));
        auto w = p.Make(24);
        Start(*w, 1000);
        StepAt(*w, 999);  // the ring has passed everything
        for (int32_t y = 0; y < 31; ++y)
            for (int32_t x = 0; x < 41; ++x) {
                // The middle column and row belong to no quarter.
                const bool middle = x == 20 || y == 15;
                ASSERT_EQ(p.target.GetPixel(x, y), (middle ? before : p.new_picture).GetPixel(x, y)) << x << "," << y;
            }
    }
    // Under 12 pixels the wave is flat and nothing divides by zero.
    for (int32_t side : {1, 2, 5, 11}) {
        WipePictures p(side, 30, 32);
        auto w = p.Make(24);
        Start(*w, 100);
        for (int32_t pos : {0, 50, 99}) StepAt(*w, pos);
        for (int32_t v : static_cast<TWipeRipple&>(*w).Wave) EXPECT_EQ(v, 0);
    }
}

TEST(CrackWipe, PiecesAndTheirTiming) {
    const struct {
        int32_t p0, p1;
        size_t pieces;
        int64_t fall, last_start;
        int32_t stored;
    } cases[] = {
        {64, 3, 80, 495, 237, 64},   // 10 x 8 pieces; 495 * 975 div 1000 = 482 >= 480
        {10, 3, 1200, 495, 3597, 16},  // pieces of 16: 40 x 30
        {64, -2, 80, 495, 0, 64},
    };
    for (const auto& c : cases) {
        WipePictures p(640, 480, 16);
        auto w = p.Make(29);
        w->SetParam(0, c.p0);
        w->SetParam(1, c.p1);
        auto& crack = static_cast<TWipeCrack&>(*w);
        EXPECT_EQ(crack.Tiles.size(), c.pieces);
        EXPECT_EQ(crack.FallTime, c.fall);
        EXPECT_EQ(crack.LastStart, c.last_start);
        EXPECT_EQ(w->GetParam(0), c.stored);
        // Every cell once; starts P1 apart.
        const int32_t side = c.stored, cols = (640 + side - 1) / side;
        std::vector<int32_t> cells;
        for (size_t i = 0; i < crack.Tiles.size(); ++i) {
            cells.push_back(crack.Tiles[i]->Row * cols + crack.Tiles[i]->Column);
            EXPECT_EQ(crack.Tiles[i]->Start, int64_t(i) * std::max(c.p1, 0));
            EXPECT_GE(crack.Tiles[i]->Drift, -100);
            EXPECT_LT(crack.Tiles[i]->Drift, 100);
        }
        std::sort(cells.begin(), cells.end());
        for (size_t i = 0; i < cells.size(); ++i) ASSERT_EQ(cells[i], int32_t(i));
    }
}

TEST(CrackWipe, APieceRisesThenFallsOffTheScreen) {
    // One column of four 64-pixel pieces, all starting at once. At T = 50 a
    // piece has risen by 50 * (250 - 1500) div 1000 = -62 and drifted by
    // 50 * drift div 100; piece 0 is drawn last, on top.
    WipePictures p(64, 256, 32);
    auto w = p.Make(29);
    w->SetParam(1, 0);
    auto& crack = static_cast<TWipeCrack&>(*w);
    ASSERT_EQ(crack.Tiles.size(), 4u);
    Start(*w, int32_t(crack.FallTime));  // T = position
    StepAt(*w, 50);
    const TWipeCrackDraw& top = *crack.Tiles[0];
    const int32_t dx = 50 * top.Drift / 100, sy = top.Row * 64;
    for (int32_t j = 0; j < 64; ++j)
        for (int32_t i = 0; i < 64; ++i) {
            const int32_t x = i + dx, y = sy - 62 + j;
            if (x < 0 || x >= 64 || y < 0 || y >= 256) continue;
            ASSERT_EQ(p.target.GetPixel(x, y), p.old_picture.GetPixel(i, sy + j)) << i << "," << j;
        }
    // Just before the fall time only the top piece, which has the whole
    // height to fall, is still on the screen; the others are freed.
    StepAt(*w, int32_t(crack.FallTime) - 1);
    for (const auto& t : crack.Tiles) EXPECT_EQ(t == nullptr, t ? t->Row != 0 : true);
    EXPECT_EQ(std::count_if(crack.Tiles.begin(), crack.Tiles.end(), [](const auto& t) { return t != nullptr; }), 1);
}

}  // namespace
