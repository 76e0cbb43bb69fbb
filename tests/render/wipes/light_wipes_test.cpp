// Fades, flashes and the per-pixel light wipes against pixman's saturating
// ADD and OVER (exact at 32 bpp; at 16 bpp pixman widens the 5- and 6-bit
// channels to 8 bits and back, one step apart at most), and the spotlight
// against distances computed by tests/data/wipes/make_wipe_golden.py.
#include "render/wipes/light_wipes.h"

#include <gtest/gtest.h>

#include <fstream>

#include "render/dibx.h"
#include "tests/render/wipes/mask_picture.h"
#include "tests/render/wipes/pixman_ref.h"
#include "tests/render/wipes/wipe_fixture.h"

#ifdef HAVE_PIXMAN
namespace {

int Tolerance(int32_t bits) { return bits == 32 ? 0 : 1; }

TEST(LightWipes, WhiteBlackAndFlashAddOrSubtractTheGrey) {
    const struct {
        int32_t kind, pos, dur;
        bool from_new, sub;
        int32_t level;
    } cases[] = {
        {12, 300, 1000, false, false, 153},  // t = 153
        {12, 500, 1000, false, false, 255},  // t = 255: old plus 255
        {12, 256, 511, true, false, 255},    // t = 256: new plus 255
        {12, 800, 1000, true, false, 103},   // t = 408
        {13, 300, 1000, false, true, 153},
        {13, 800, 1000, true, true, 103},
        {14, 0, 1000, true, false, 255},     // the flash starts white
        {14, 500, 1000, true, false, 128},   // 255 - 127
        {14, 999, 1000, true, false, 1},
    };
    for (const auto& c : cases)
        for (int32_t bits : {32, 16}) {
            WipePictures p(33, 9, bits, uint32_t(c.pos));
            auto w = p.Make(c.kind);
            Start(*w, c.dur);
            EXPECT_FALSE(StepAt(*w, c.pos));
            TPlainDIBX ref(33, 9, bits);
            TPlainDIBX& src = c.from_new ? p.new_picture : p.old_picture;
            PixmanGreyAdd(ref, [&](int32_t x, int32_t y) { return src.GetPixel(x, y); },
                          [&](int32_t, int32_t) { return c.level; }, c.sub);
            EXPECT_LE(WorstChannel(p.target, ref), Tolerance(bits)) << c.kind << " at " << c.pos << ", " << bits;
        }
}

TEST(LightWipes, FadeSlidesTheNewPictureInOverTheOld) {
    for (int32_t bits : {32, 16}) {
        WipePictures p(60, 10, bits);
        auto w = p.Make(1);
        w->SetParam(0, 100);
        Start(*w, 1000);
        StepAt(*w, 500);  // x = round(100 * 499 / 1000) = 50, alpha 128
        TPlainDIBX ref(60, 10, bits);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 60; ++x) ref.SetPixel(x, y, p.old_picture.GetPixel(x, y));
        const pixman_color_t half{0, 0, 0, 128 * 257};
        pixman_image_t* d = pixman_image_create_bits(PixmanFormat(ref), 60, 10, reinterpret_cast<uint32_t*>(ref.Row(0)), ref.Pitch());
        pixman_image_t* s = pixman_image_create_bits(PixmanFormat(ref), 60, 10,
                                                     reinterpret_cast<uint32_t*>(p.new_picture.Row(0)), p.new_picture.Pitch());
        pixman_image_t* m = pixman_image_create_solid_fill(&half);
        pixman_image_composite32(PIXMAN_OP_OVER, s, m, d, 0, 0, 0, 0, 50, 0, 10, 10);
        pixman_image_unref(d);
        pixman_image_unref(s);
        pixman_image_unref(m);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 50; ++x) ASSERT_EQ(p.target.GetPixel(x, y), p.old_picture.GetPixel(x, y));
        EXPECT_LE(WorstChannel(p.target, ref), 2) << bits;
    }
}

TEST(LightWipes, MosaicMixesTheNewPictureInFromTheMiddle) {
    // Plain pictures: every block has the picture's colour, so the screen is
    // one blend of the two. Alpha 63 at t = 511 and 128 at t = 512.
    for (int32_t bits : {32, 16}) {
        const struct {
            int32_t pos, alpha;
        } cases[] = {{511, 63}, {512, 128}, {300, 11}, {0, 0}, {900, 255}};
        for (const auto& c : cases) {
            WipePictures p(64, 32, bits);
            const uint32_t o = uint32_t(p.target.ColorToPixel(0x102030)), n = uint32_t(p.target.ColorToPixel(0xF0E0D0));
            p.old_picture.Fill(o);
            p.new_picture.Fill(n);
            auto w = p.Make(15);
            Start(*w, 1023);
            StepAt(*w, c.pos);
            TPlainDIBX ref(64, 32, bits);
            ref.Fill(o);
            const pixman_color_t a{0, 0, 0, uint16_t(c.alpha * 257)};
            pixman_image_t* d = pixman_image_create_bits(PixmanFormat(ref), 64, 32, reinterpret_cast<uint32_t*>(ref.Row(0)), ref.Pitch());
            pixman_image_t* s = pixman_image_create_bits(PixmanFormat(ref), 64, 32,
                                                         reinterpret_cast<uint32_t*>(p.new_picture.Row(0)), p.new_picture.Pitch());
            pixman_image_t* m = pixman_image_create_solid_fill(&a);
            pixman_image_composite32(PIXMAN_OP_OVER, s, m, d, 0, 0, 0, 0, 0, 0, 64, 32);
            pixman_image_unref(d);
            pixman_image_unref(s);
            pixman_image_unref(m);
            EXPECT_LE(WorstChannel(p.target, ref), 2) << "t " << c.pos << " at " << bits;
        }
    }
}

TEST(LightWipes, MosaicBlocksAreLargestAtHalfTime) {
    // 64 wide: at t = 0 f = 263, 16 blocks of 4 pixels; at t = 511 f = 24,
    // one block; a target under 4 pixels wide keeps blocks of width 1.
    const struct {
        int32_t w, pos, runs;
    } cases[] = {{64, 0, 16}, {64, 511, 1}, {64, 1022, 16}, {3, 200, 1}};
    for (const auto& c : cases) {
        WipePictures p(c.w, 8, 32);
        for (int32_t x = 0; x < c.w; ++x)
            for (int32_t y = 0; y < 8; ++y) {
                p.old_picture.SetPixel(x, y, uint32_t(x * 4));
                p.new_picture.SetPixel(x, y, uint32_t(x * 4));
            }
        auto w = p.Make(15);
        Start(*w, 1023);
        StepAt(*w, c.pos);
        int runs = 1;
        for (int32_t x = 1; x < c.w; ++x) runs += p.target.GetPixel(x, 4) != p.target.GetPixel(x - 1, 4);
        EXPECT_EQ(runs, c.runs) << c.w << " at " << c.pos;
    }
}

TEST(LightWipes, SpotlightRingFollowsTheDistances) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/wipes/spot.txt");
    ASSERT_TRUE(f);
    int32_t w, h, mode, pos, dur, cases = 0;
    while (f >> w >> h >> mode >> pos >> dur) {
        ++cases;
        std::vector<std::string> cells(size_t(w) * h);
        for (auto& cell : cells) f >> cell;
        for (int32_t bits : {32, 16}) {
            WipePictures p(w, h, bits, uint32_t(pos));
            auto wipe = p.Make(18);
            Start(*wipe, dur, uint8_t(mode));
            StepAt(*wipe, pos);
            TPlainDIBX ref(w, h, bits);
            auto cell = [&](int32_t x, int32_t y) -> const std::string& { return cells[size_t(y) * w + x]; };
            PixmanGreyAdd(ref,
                          [&](int32_t x, int32_t y) {
                              return (cell(x, y)[0] == 'n' ? p.new_picture : p.old_picture).GetPixel(x, y);
                          },
                          [&](int32_t x, int32_t y) { return std::stoi(cell(x, y).substr(1)); }, false);
            EXPECT_LE(WorstChannel(p.target, ref), Tolerance(bits)) << w << "x" << h << " mode " << mode;
        }
    }
    EXPECT_EQ(cases, 3);
}

TEST(LightWipes, SpotlightHasItsDistancesWithoutAMode) {
    // A driver that never sets the mode still steps a spotlight safely.
    WipePictures p(20, 10, 32);
    TWipeSpot spot(&p.target, &p.old_picture, &p.new_picture);
    spot.Duration = 100;
    EXPECT_EQ(spot.Dist.size(), 200u);
    spot.Position = 99;
    EXPECT_FALSE(spot.Step());
    // The centre pixel (d = 0) has long switched: t = 99 * 523 div 100.
    EXPECT_EQ(p.target.GetPixel(10, 5), p.new_picture.GetPixel(10, 5));
}

TEST(LightWipes, MaskedFlashesTimeEachPixelByItsGrey) {
    MaskPictureSource files;
    files.Add("m.bmp", 3, 1, [](int x, int) -> uint32_t { return x == 0 ? 0xFFFFFF : x == 1 ? 0x808080 : 0; });
    // v = clamp(P + grey - 256, 0, 511), P = pos * 768 div 1000; v < 256:
    // old plus v; else new plus 511 - v. Greys 255, 128, 0.
    const struct {
        int32_t kind, pos;
        const char* name;
        bool from_new[3];
        int32_t level[3];
    } cases[] = {
        {20, 250, "m.bmp", {false, false, false}, {191, 64, 0}},   // P = 192
        {20, 750, "m.bmp", {true, true, true}, {0, 63, 191}},      // P = 576
        {21, 250, "m.bmp", {false, false, false}, {191, 64, 0}},
        {21, 750, "none.bmp", {true, true, true}, {0, 0, 0}},      // no picture: all grey 255
        {20, 250, "none.bmp", {false, false, false}, {191, 191, 191}},
        {21, 400, "none.bmp", {true, true, true}, {205, 205, 205}},  // P = 307, v = 306
    };
    for (const auto& c : cases)
        for (int32_t bits : {32, 16}) {
            WipePictures p(7, 4, bits);
            auto w = p.Make(c.kind);
            w->SetName(c.name);
            Start(*w, 1000);
            StepAt(*w, c.pos);
            TPlainDIBX ref(7, 4, bits);
            PixmanGreyAdd(ref, [&](int32_t x, int32_t y) { return (c.from_new[x % 3] ? p.new_picture : p.old_picture).GetPixel(x, y); },
                          [&](int32_t x, int32_t) { return c.level[x % 3]; }, c.kind == 21);
            EXPECT_LE(WorstChannel(p.target, ref), Tolerance(bits)) << c.kind << " " << c.pos << " " << c.name;
        }
}

TEST(LightWipes, BlurredFadesPassThroughTheBlurredPictures) {
    for (int32_t bits : {32, 16}) {
        WipePictures p(60, 40, bits);
        auto w = p.Make(25);
        auto* blur = static_cast<TWipeBlurWhite*>(w.get());
        // Blurred with radius 40 div 20 = 2: smoother than the picture.
        auto roughness = [](TCustomDIBX& s) {
            int64_t sum = 0;
            for (int32_t x = 1; x < s.Width(); ++x) sum += std::abs(int(s.GetPixel(x, 20) & s.BlueMask()) - int(s.GetPixel(x - 1, 20) & s.BlueMask()));
            return sum;
        };
        EXPECT_LT(roughness(*blur->BlurOld) * 2, roughness(p.old_picture));
        Start(*w, 639);
        const struct {
            int32_t pos;
            bool from_new;
            int32_t level;
        } cases[] = {{300, false, 176}, {319, false, 252}, {320, true, 252}, {383, true, 0}};
        for (const auto& c : cases) {
            StepAt(*w, c.pos);
            TCustomDIBX& src = c.from_new ? *blur->BlurNew : *blur->BlurOld;
            TPlainDIBX ref(60, 40, bits);
            PixmanGreyAdd(ref, [&](int32_t x, int32_t y) { return src.GetPixel(x, y); },
                          [&](int32_t, int32_t) { return c.level; }, false);
            EXPECT_LE(WorstChannel(p.target, ref), Tolerance(bits)) << c.pos << " at " << bits;
        }
    }
}

TEST(LightWipes, BlurredFadesAtEveryLayerDepth) {
    // Layers may be 5-5-5 or 24-bit: the blurred copies keep the depth and
    // the brightened middle never darkens a channel.
    for (int32_t bits : {15, 24}) {
        WipePictures p(40, 40, bits);
        auto w = p.Make(25);
        auto* blur = static_cast<TWipeBlurWhite*>(w.get());
        ASSERT_EQ(blur->BlurOld->Width(), 40);
        ASSERT_EQ(blur->BlurNew->Height(), 40);
        EXPECT_EQ(blur->BlurOld->BitCount(), bits);
        Start(*w, 639);
        StepAt(*w, 350);  // BlurNew plus grey (383 - 350) * 4
        for (int32_t y = 0; y < 40; y += 7)
            for (int32_t x = 0; x < 40; x += 3)
                for (uint32_t f : {p.target.RedMask(), p.target.GreenMask(), p.target.BlueMask()})
                    ASSERT_GE(p.target.GetPixel(x, y) & f, blur->BlurNew->GetPixel(x, y) & f) << bits;
        EXPECT_FALSE(WipePictures::Same(p.target, p.new_picture));
    }
}

}  // namespace
#endif
