// The fills and blends of every depth against numpy: expected pixels made by
// tests/data/surface/make_blend_golden.py (Debian's python3-numpy) from the
// channel-mask formulas, committed as blend_<bits>.bin.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/plain_dibx.h"

namespace {

constexpr int W = 13, H = 5;

struct Case {
    const char* name;
    int param;
};
// Same order as CASES in the generator.
const Case kCases[] = {
    {"draw", 0},        {"draw_key", 0},    {"alpha", 1},       {"alpha", 128},     {"alpha", 255},
    {"alpha_key", 77},  {"mask", 0},        {"mask_alpha", 128}, {"mask_alpha", 255}, {"add", 255},
    {"add", 100},       {"mask_add", 200},  {"mask_add", 255},  {"fill_alpha", 128}, {"fill_add", 0},
    {"fill_sub", 0},    {"fill_mask", 255}, {"fill_mask", 100},
};
uint32_t FillValue(int bits) {
    switch (bits) {
        case 8: return 0x5A;
        case 15: return 0x3DEF;
        case 16: return 0x7BCF;
        case 24: return 0x406080;
        default: return 0x11406080;
    }
}

std::vector<uint32_t> ReadWords(const std::string& name) {
    const std::string path = std::string(VORQ_TEST_DATA) + "/surface/" + name;
    std::vector<uint32_t> v;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint32_t x;
        while (std::fread(&x, 4, 1, f) == 1) v.push_back(x);
        std::fclose(f);
    }
    return v;
}

void Load(TPlainDIBX& s, const uint32_t* px) {
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) s.SetPixel(x, y, px[y * W + x]);
}

void RunCase(TPlainDIBX& d, TPlainDIBX& s, TPlainDIBX& m, const Case& c, int bits) {
    const std::string n = c.name;
    const TRect all = s.BoundsRect();
    const uint32_t v = FillValue(bits);
    if (n == "draw") d.Draw(0, 0, s, all, false, false, false);
    else if (n == "draw_key") d.Draw(0, 0, s, all, true, false, false);
    else if (n == "alpha") d.DrawAlpha(0, 0, s, all, false, false, false, c.param);
    else if (n == "alpha_key") d.DrawAlpha(0, 0, s, all, true, false, false, c.param);
    else if (n == "mask") d.DrawMask(0, 0, s, all, false, false, m);
    else if (n == "mask_alpha") d.DrawMaskAlpha(0, 0, s, all, false, false, m, c.param);
    // The key applies even with the flag off.
    else if (n == "add") d.DrawAdd(0, 0, s, all, false, false, false, c.param);
    else if (n == "mask_add") d.DrawMaskAdd(0, 0, s, all, false, false, m, c.param);
    else if (n == "fill_alpha") d.FillRectAlpha(all, v, c.param);
    else if (n == "fill_add") d.FillRectAdd(all, v);
    else if (n == "fill_sub") d.FillRectSub(all, v);
    else if (n == "fill_mask") d.FillMask(0, 0, m, all, false, false, v, c.param);
}

// Depth, and whether the surfaces store their rows bottom-up.
class BlendGolden : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(BlendGolden, EveryCaseMatchesNumpy) {
    const auto [bits, bottomUp] = GetParam();
    const std::vector<uint32_t> g = ReadWords("blend_" + std::to_string(bits) + ".bin");
    constexpr size_t plane = W * H;
    ASSERT_EQ(g.size(), plane * (3 + std::size(kCases)));
    TPlainDIBX src(W, H, bits, bottomUp), mask(W, H, 8, !bottomUp);
    Load(src, g.data() + plane);
    Load(mask, g.data() + 2 * plane);
    src.SetTransparentColor(int32_t(src.GetPixel(11, 0)));
    for (size_t k = 0; k < std::size(kCases); ++k) {
        TPlainDIBX dst(W, H, bits, bottomUp);
        Load(dst, g.data());
        RunCase(dst, src, mask, kCases[k], bits);
        const uint32_t* want = g.data() + plane * (3 + k);
        int bad = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (dst.GetPixel(x, y) != want[y * W + x] && bad++ < 3)
                    ADD_FAILURE() << bits << " bpp " << kCases[k].name << "(" << kCases[k].param << ") at " << x
                                  << "," << y << ": got " << std::hex << dst.GetPixel(x, y) << " want "
                                  << want[y * W + x];
        EXPECT_EQ(dst.OpenLocks(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, BlendGolden,
                         ::testing::Combine(::testing::Values(8, 15, 16, 24, 32), ::testing::Bool()));

// Rotation footprints and sample points against a pixel-by-pixel numpy
// version of the stated algorithm (tests/data/surface/make_rotate_golden.py).
TEST(RotateGolden, SamplePointsMatchNumpy) {
    struct R {
        int angle, zx, zy, cx, cy;
        bool fh, fv;
    };
    const R cases[] = {{0, 256, 256, 0, 0, false, false},  {32, 256, 256, 3, 2, false, false},
                       {64, 256, 256, 3, 2, true, false},  {-20, 384, 300, 1, 4, false, true},
                       {100, 200, 512, 6, 0, true, true},  {200, 700, 256, 2, 2, false, false}};
    const std::vector<uint32_t> g = ReadWords("rotate.bin");
    ASSERT_EQ(g.size(), 24u * 24 * std::size(cases));
    TPlainDIBX src(7, 5, 32, true);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) src.SetPixel(x, y, uint32_t(1 + x + 16 * y));
    for (size_t k = 0; k < std::size(cases); ++k) {
        const R& c = cases[k];
        TPlainDIBX d(24, 24, 32);
        d.DrawRotate(12, 12, c.zx, c.zy, src, src.BoundsRect(), c.cx, c.cy, c.angle, false, c.fh, c.fv, 255);
        int bad = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                if (d.GetPixel(x, y) != g[k * 576 + y * 24 + x] && bad++ < 3)
                    ADD_FAILURE() << "case " << k << " at " << x << "," << y << ": got " << d.GetPixel(x, y)
                                  << " want " << g[k * 576 + y * 24 + x];
    }
}

}  // namespace
