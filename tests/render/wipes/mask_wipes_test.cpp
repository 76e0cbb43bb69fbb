// The mask-pattern wipes: each mask at chosen progress values against
// values worked out by hand or computed by tests/data/wipes/
// make_wipe_golden.py (Python's math and round), and the pictures the
// compositor makes of them at 16 and 32 bpp.
#include "render/wipes/mask_wipes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "render/dibx.h"
#include "tests/render/wipes/mask_picture.h"
#include "tests/render/wipes/wipe_fixture.h"

namespace {

TWipeMask& AsMask(std::unique_ptr<TCustomWipe>& w) { return *static_cast<TWipeMask*>(w.get()); }

std::string MaskRowText(TWipeMask& w, int32_t y) {
    std::string s;
    for (int32_t x = 0; x < w.Mask->Width(); ++x) s += w.Mask->GetPixel(x, y) == 255 ? '#' : w.Mask->GetPixel(x, y) ? '+' : '.';
    return s;
}

std::ifstream Golden(const char* name) { return std::ifstream(std::string(VORQ_TEST_DATA) + "/wipes/" + name); }

// Every pixel shows the old or the new picture as the mask says.
void ExpectComposed(WipePictures& p, TWipeMask& w) {
    for (int32_t y = 0; y < p.target.Height(); ++y)
        for (int32_t x = 0; x < p.target.Width(); ++x) {
            const uint32_t m = w.Mask->GetPixel(x, y % w.Mask->Height());
            if (m == 0) {
                ASSERT_EQ(p.target.GetPixel(x, y), p.old_picture.GetPixel(x, y)) << x << "," << y;
            }
            if (m == 255) {
                ASSERT_EQ(p.target.GetPixel(x, y), p.new_picture.GetPixel(x, y)) << x << "," << y;
            }
        }
}

TEST(BlindWipes, StripesOpenTwoLevelsPerPixel) {
    const struct {
        int32_t kind, p1, mode, pos, dur;
        const char* row;  // one stripe period of the mask, first 20 pixels
    } cases[] = {
        {2, 1, 0, 0, 39, "...................."},   // L = 0: a threshold equal to the level is shut
        {2, 1, 0, 3, 39, "##.................."},   // L = 3
        {2, 1, 1, 3, 39, "..................##"},   // Mode: from the right edge
        {2, 1, 0, 20, 39, "##########.........."},  // L = 20
        {3, 1, 0, 3, 39, "##.................."},   // rows of the vertical blind
        {3, 1, 1, 38, 39, ".###################"},  // L = 38, from the bottom
    };
    for (const auto& c : cases)
        for (int32_t bits : {16, 32}) {
            WipePictures p(45, 50, bits);
            auto w = p.Make(c.kind);
            w->SetParam(1, c.p1);
            Start(*w, c.dur, uint8_t(c.mode));
            StepAt(*w, c.pos);
            TWipeMask& m = AsMask(w);
            std::string got;
            for (int32_t i = 0; i < 20; ++i) {
                const uint32_t v = c.kind == 2 ? m.Mask->GetPixel(i, 0) : m.Mask->GetPixel(0, i);
                got += v == 255 ? '#' : v ? '+' : '.';
            }
            EXPECT_EQ(got, c.row) << c.kind << " pos " << c.pos << " mode " << c.mode;
            EXPECT_EQ(m.Mask->Height(), c.kind == 2 ? 1 : 20);
            EXPECT_TRUE(m.TwoLevel);
            if (c.pos > 0) ExpectComposed(p, m);
        }
}

TEST(BlindWipes, SoftEdgesRampOverTheSoftness) {
    // P1 = 10: L = 8 * 48 div 48 = 8; thresholds 0, 2, 4, 6, 8 give
    // (8 - d) * 255 div 10 = 204, 153, 102, 51, 0.
    WipePictures p(40, 8, 32);
    auto w = p.Make(2);
    w->SetParam(1, 10);
    Start(*w, 48);
    StepAt(*w, 8);
    TWipeMask& m = AsMask(w);
    const uint32_t want[] = {204, 153, 102, 51, 0, 0};
    for (int32_t x = 0; x < 6; ++x) {
        EXPECT_EQ(m.Mask->GetPixel(x, 0), want[x]) << x;
        EXPECT_EQ(m.Mask->GetPixel(x + 20, 0), want[x]) << x;
    }
    EXPECT_FALSE(m.TwoLevel);
}

TEST(CurtainWipes, BlocksStartSixteenLevelsApart) {
    // 640 wide, P0 = 30: 22 blocks, L up to (21 + 29) * 16 + 1 = 801.
    // At L = 80 block b has its first 5 - b columns open.
    for (int32_t mode : {0, 1}) {
        WipePictures p(640, 4, 32);
        auto w = p.Make(4);
        Start(*w, 801, uint8_t(mode));
        StepAt(*w, 80);
        TWipeMask& m = AsMask(w);
        std::string row = MaskRowText(m, 0);
        if (mode) std::reverse(row.begin(), row.end());
        EXPECT_EQ(row.substr(0, 125), std::string("#####") + std::string(25, '.') + "####" + std::string(26, '.') +
                                          "###" + std::string(27, '.') + "##" + std::string(28, '.') + "#" +
                                          std::string(4, '.'));
        EXPECT_EQ(std::count(row.begin(), row.end(), '#'), 15);
    }
    // The vertical curtain runs down the rows.
    WipePictures p(8, 90, 16);
    auto w = p.Make(5);
    w->SetParam(0, 30);
    Start(*w, 1000);
    StepAt(*w, 1000 * 32 / (((3 - 1) + 29) * 16 + 1) + 1);  // L = 32: rows 0, 1, 30
    TWipeMask& m = AsMask(w);
    for (int32_t y = 0; y < 90; ++y)
        EXPECT_EQ(m.Mask->GetPixel(5, y), (y == 0 || y == 1 || y == 30) ? 255u : 0u) << y;
    ExpectComposed(p, m);
}

TEST(GridWipes, SquaresGrowByDistanceFromTheCorner) {
    std::ifstream f = Golden("grid.txt");
    ASSERT_TRUE(f) << "tests/data/wipes/grid.txt";
    int cases = 0;
    int32_t w, h, p0, p1, mode, pos, dur;
    while (f >> w >> h >> p0 >> p1 >> mode >> pos >> dur) {
        ++cases;
        std::vector<uint32_t> want(size_t(w) * h);
        for (uint32_t& v : want) f >> v;
        for (int32_t bits : {16, 32}) {
            WipePictures p(w, h, bits);
            auto wipe = p.Make(8);
            wipe->SetParam(0, p0);
            wipe->SetParam(1, p1);
            Start(*wipe, dur, uint8_t(mode));
            StepAt(*wipe, pos);
            TWipeMask& m = AsMask(wipe);
            int wrong = 0;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) wrong += m.Mask->GetPixel(x, y) != want[size_t(y) * w + x];
            EXPECT_EQ(wrong, 0) << w << "x" << h << " mode " << mode;
            ExpectComposed(p, m);
        }
    }
    EXPECT_EQ(cases, 3);
}

TEST(GridWipes, RowAndColumnGridsOpenInOrder) {
    // 64 x 40 with cells of 16, no softness: at L = 4 the first column
    // (GridH) or row (GridV) of cells is open, reversed with Mode.
    const struct {
        int32_t kind, mode, x, y;
        bool open;
    } cases[] = {
        {9, 0, 3, 30, true},  {9, 0, 20, 5, false}, {9, 1, 60, 30, true}, {9, 1, 3, 3, false},
        {10, 0, 50, 3, true}, {10, 0, 50, 20, false}, {10, 1, 50, 35, true}, {10, 1, 50, 3, false},
    };
    for (const auto& c : cases) {
        WipePictures p(64, 40, 16);
        auto w = p.Make(c.kind);
        w->SetParam(0, 16);
        w->SetParam(1, 1);
        Start(*w, 1000, uint8_t(c.mode));
        // GridH: n = 4 columns, L = pos * 13 div 1000; GridV: n = 3 rows, 9.
        StepAt(*w, c.kind == 9 ? 308 : 445);
        TWipeMask& m = AsMask(w);
        if (c.kind == 9) {
            EXPECT_EQ(m.Mask->Height(), 16);
        }
        EXPECT_EQ(m.Mask->GetPixel(c.x, c.y % m.Mask->Height()), c.open ? 255u : 0u) << c.kind << " " << c.mode;
        ExpectComposed(p, m);
    }
}

TEST(DitherWipe, AFixedOrderOverTheTile) {
    WipePictures p(200, 70, 32);
    auto a = p.Make(11), b = p.Make(11);
    Start(*a, 4096);
    Start(*b, 4096);
    auto open = [](TWipeMask& m) {
        int n = 0;
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 64; ++x) n += m.Mask->GetPixel(x, y) == 255;
        return n;
    };
    StepAt(*a, 0);
    EXPECT_EQ(open(AsMask(a)), 0);
    std::vector<uint32_t> before;
    for (int32_t k : {1, 700, 2047, 2048, 3000, 4095}) {
        StepAt(*a, k);
        StepAt(*b, k);
        EXPECT_EQ(open(AsMask(a)), k);
        std::vector<uint32_t> now;
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 200; ++x) {
                // Two wipes, one sequence; the tile repeats across.
                ASSERT_EQ(AsMask(a).Mask->GetPixel(x, y), AsMask(b).Mask->GetPixel(x, y));
                ASSERT_EQ(AsMask(a).Mask->GetPixel(x, y), AsMask(a).Mask->GetPixel(x % 64, y));
                now.push_back(AsMask(a).Mask->GetPixel(x, y));
            }
        // Pixels once open stay open.
        for (size_t i = 0; i < before.size(); ++i)
            if (before[i] == 255) {
                ASSERT_EQ(now[i], 255u);
            }
        before = now;
    }
    ExpectComposed(p, AsMask(a));
}

TEST(DitherWipe, NarrowTargetsKeepTheTilesFirstColumns) {
    WipePictures wide(64, 64, 32), narrow(40, 64, 32);
    auto a = wide.Make(11), b = narrow.Make(11);
    Start(*a, 100);
    Start(*b, 100);
    for (int32_t pos : {30, 70}) {
        StepAt(*a, pos);
        StepAt(*b, pos);
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 40; ++x)
                ASSERT_EQ(AsMask(b).Mask->GetPixel(x, y), AsMask(a).Mask->GetPixel(x, y)) << x << "," << y;
    }
}

TEST(MaskPictureWipes, BrightPartsOpenFirst) {
    MaskPictureSource files;
    // Columns of grey 255, 128 and 0, and a colour whose mean is 20.33.
    files.Add("mask.bmp", 4, 2, [](int x, int) -> uint32_t {
        const uint32_t g[] = {0xFFFFFF, 0x808080, 0x000000, 0x0A141F};
        return g[x];
    });
    // grey: 255, 128, 0, 20; at progress P (of 512) the mask is
    // clamp(P + grey - 256, 0, 255), tiled from (0, 0) over 10 x 3.
    const struct {
        int32_t mode, pos;
        uint8_t want[4];
    } cases[] = {
        {0, 250, {127, 0, 0, 0}},     // P = 128
        {0, 750, {255, 255, 128, 148}},  // P = 384
        {1, 250, {0, 0, 127, 107}},   // Mode: the picture's negative
    };
    for (const auto& c : cases)
        for (int32_t bits : {16, 32}) {
            WipePictures p(10, 3, bits);
            auto w = p.Make(19);
            w->SetName("MASK.bmp");
            Start(*w, 1000, uint8_t(c.mode));
            StepAt(*w, c.pos);
            TWipeMask& m = AsMask(w);
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 10; ++x)
                    EXPECT_EQ(m.Mask->GetPixel(x, y), c.want[x % 4]) << x << "," << y << " pos " << c.pos;
            ExpectComposed(p, m);
        }
    // Without the file every pixel fades alike in the first half.
    WipePictures p(10, 3, 32);
    auto w = p.Make(19);
    w->SetName("none.bmp");
    Start(*w, 1000);
    StepAt(*w, 250);
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(AsMask(w).Mask->GetPixel(x, 2), 127u);
}

TEST(SectorWipes, HandsFansAndCirclesMatchTheGeometry) {
    std::ifstream f = Golden("sectors.txt");
    ASSERT_TRUE(f) << "tests/data/wipes/sectors.txt";
    int cases = 0;
    int32_t kind, p0, mode, pos, dur, w, h;
    while (f >> kind >> p0 >> mode >> pos >> dur >> w >> h) {
        ++cases;
        std::vector<std::string> rows(static_cast<size_t>(h));
        for (auto& row : rows) f >> row;
        for (int32_t bits : {16, 32}) {
            WipePictures p(w, h, bits);
            auto wipe = p.Make(kind);
            wipe->SetParam(0, p0);
            Start(*wipe, dur, uint8_t(mode));
            EXPECT_FALSE(StepAt(*wipe, pos));
            TWipeMask& m = AsMask(wipe);
            int wrong = 0, sure = 0;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const char c = rows[size_t(y)][size_t(x)];
                    if (c == '?') continue;
                    ++sure;
                    wrong += m.Mask->GetPixel(x, y) != (c == '#' ? 255u : 0u);
                }
            EXPECT_EQ(wrong, 0) << "kind " << kind << " P0 " << p0 << " mode " << mode << " at " << pos;
            EXPECT_GT(sure, w * h * 3 / 4);
            ExpectComposed(p, m);
        }
    }
    EXPECT_EQ(cases, 22);
}

TEST(SectorWipes, ZeroSweepPaintsNothingAndAFullTurnTheDisc) {
    TDIBX mask;
    mask.SetSize(20, 20, 8);
    const struct {
        double sweep;
        int painted;
    } cases[] = {{0.0, 0}, {-1.0, 0}, {1e-12, 0}, {2 * M_PI, 1}, {7.0, 1}};
    for (const auto& c : cases) {
        for (int32_t y = 0; y < 20; ++y)
            for (int32_t x = 0; x < 20; ++x) mask.SetPixel(x, y, 0);
        wipes::FillSector(mask, 10, 10, 8, 1.0, c.sweep, 255);
        int n = 0;
        for (int32_t y = 0; y < 20; ++y)
            for (int32_t x = 0; x < 20; ++x) n += mask.GetPixel(x, y) == 255;
        // A full disc of radius 8 holds about pi * 64 = 201 pixel centres.
        if (c.painted) {
            EXPECT_NEAR(n, 201, 8) << c.sweep;
        } else {
            EXPECT_EQ(n, 0) << c.sweep;
        }
    }
}

TEST(BlockWipes, SizesAreClampedToTheScreen) {
    const struct {
        int32_t kind, p0, want;
    } cases[] = {{37, 5, 10}, {37, 1000, 480}, {38, 5, 10}, {38, 1000, 480}, {37, 60, 60}};
    for (const auto& c : cases) {
        WipePictures p(640, 480, 16);
        auto w = p.Make(c.kind);
        w->SetParam(0, c.p0);
        Start(*w, 1000);
        EXPECT_EQ(w->GetParam(0), c.want) << c.kind << " " << c.p0;
    }
}

TEST(BlockWipes, TheSpiralRunsClockwiseFromTheCornerAndCoversTheScreen) {
    WipePictures p(100, 70, 32);
    auto w = p.Make(37);
    w->SetParam(0, 20);
    Start(*w, 1000);
    auto& coil = static_cast<TWipeBlockCoil&>(*w);
    // 5 x 4 cells round the edge, then the two left inside.
    const TRect want[] = {{0, 0, 20, 20},   {20, 0, 40, 20},  {40, 0, 60, 20},  {60, 0, 80, 20},
                          {80, 0, 100, 20}, {80, 20, 100, 40}, {80, 40, 100, 60}, {80, 60, 100, 80}};
    ASSERT_GE(coil.Blocks.size(), 8u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(coil.Blocks[i], want[i]) << i;
    // First step: the corner block only.
    StepAt(*w, 0);
    EXPECT_EQ(MaskRowText(coil, 5), std::string(20, '#') + std::string(80, '.'));
    // Near the end everything but the last block is open; together they
    // cover the screen.
    StepAt(*w, 999);
    TDIBX last;
    int shut = 0;
    for (int32_t y = 0; y < 70; ++y)
        for (int32_t x = 0; x < 100; ++x) shut += coil.Mask->GetPixel(x, y) == 0;
    const TRect& end = coil.Blocks.back();
    EXPECT_EQ(shut, (std::min(end.Right, 100) - end.Left) * (std::min(end.Bottom, 70) - end.Top));
    ExpectComposed(p, coil);
    // Reversed: from the centre outward.
    WipePictures q(100, 70, 32);
    auto r = q.Make(37);
    r->SetParam(0, 20);
    Start(*r, 1000, 1);
    StepAt(*r, 0);
    auto& rc = static_cast<TWipeBlockCoil&>(*r);
    EXPECT_EQ(rc.Mask->GetPixel(end.Left, end.Top), 255u);
    EXPECT_EQ(rc.Mask->GetPixel(0, 0), 0u);
}

TEST(BlockWipes, RandomBlocksAreEveryCellOnce) {
    WipePictures p(100, 70, 32);
    auto w = p.Make(38);
    w->SetParam(0, 20);
    Start(*w, 1000);
    auto& blocks = static_cast<TWipeBlockCoil&>(*w).Blocks;
    std::vector<std::pair<int32_t, int32_t>> cells;
    for (const TRect& b : blocks) {
        EXPECT_EQ(b.Right - b.Left, 20);
        cells.emplace_back(b.Top, b.Left);
    }
    std::sort(cells.begin(), cells.end());
    std::vector<std::pair<int32_t, int32_t>> want;
    for (int32_t y = 0; y < 70; y += 20)
        for (int32_t x = 0; x < 100; x += 20) want.emplace_back(y, x);
    EXPECT_EQ(cells, want);
    StepAt(*w, 500);
    ExpectComposed(p, AsMask(w));
}

}  // namespace
