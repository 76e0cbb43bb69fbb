// The wipe factory, the common step contract of all 38 kinds and the mask
// compositor, the last against pixman's masked OVER.
#include "render/wipes/custom_wipe.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "render/dibx.h"
#include "render/wipes/light_wipes.h"
#include "render/wipes/mask_wipes.h"
#include "render/wipes/moving_wipes.h"
#include "tests/render/wipes/wipe_fixture.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

TEST(WipeFactory, NumbersOutsideOneToThirtyEightGiveNoWipe) {
    WipePictures p(8, 8, 32);
    for (int32_t kind : {0, 39, 255, -1, 1000}) EXPECT_EQ(p.Make(kind), nullptr) << kind;
    for (int32_t kind = 1; kind <= 38; ++kind) EXPECT_NE(p.Make(kind), nullptr) << kind;
}

template <class T>
bool Is(TCustomWipe* w) {
    return dynamic_cast<T*>(w) != nullptr;
}

TEST(WipeFactory, EachNumberMakesItsKind) {
    WipePictures p(16, 12, 32);
    using Check = bool (*)(TCustomWipe*);
    const Check kinds[38] = {
        Is<TWipeFade>,       Is<TWipeBlindH>,     Is<TWipeBlindV>,      Is<TWipeCurtainH>,   Is<TWipeCurtainV>,
        Is<TWipeScrollH>,    Is<TWipeScrollV>,    Is<TWipeGrid>,        Is<TWipeGridH>,      Is<TWipeGridV>,
        Is<TWipeDither>,     Is<TWipeWhite>,      Is<TWipeBlack>,       Is<TWipeFlash>,      Is<TWipeMosaic>,
        Is<TWipeSudareH>,    Is<TWipeSudareV>,    Is<TWipeSpot>,        Is<TWipeShadow>,     Is<TWipeShadowWhite>,
        Is<TWipeShadowBlack>, Is<TWipeSmall>,     Is<TWipeBig>,         Is<TWipeRipple>,     Is<TWipeBlurWhite>,
        Is<TWipeBlurBlack>,  Is<TWipeTwistH>,     Is<TWipeTwistV>,      Is<TWipeCrack>,      Is<TWipeZoomin>,
        Is<TWipeClockhand>,  Is<TWipeRubberH>,    Is<TWipeRubberV>,     Is<TWipeFan>,        Is<TWipeWFan>,
        Is<TWipeCircle>,     Is<TWipeBlockCoil>,  Is<TWipeBlockRandom>,
    };
    for (int32_t kind = 1; kind <= 38; ++kind) {
        auto w = p.Make(kind);
        EXPECT_TRUE(kinds[kind - 1](w.get())) << kind;
    }
    // The twins that share a class family are still told apart.
    EXPECT_FALSE(Is<TWipeBlack>(p.Make(12).get()));
    EXPECT_FALSE(Is<TWipeGridH>(p.Make(8).get()));
    EXPECT_FALSE(Is<TWipeWFan>(p.Make(34).get()));
    EXPECT_FALSE(Is<TWipeBlockRandom>(p.Make(37).get()));
}

TEST(WipeFactory, DefaultsGoThroughEachKindsOwnClamps) {
    WipePictures p(64, 48, 32);
    // kind, parameter 0 and 1 as stored after the factory.
    const struct {
        int32_t kind, p0, p1;
    } cases[] = {
        {1, 0, 0},   {2, 20, 1},  {3, 20, 1},   {4, 30, 1}, {5, 30, 1},   {6, 0, 0},  {8, 80, 30},
        {11, 2, 1},  // a mask wipe's 0 parameters become 2 and 1
        {19, 2, 1},  {24, 5, 0},  {29, 64, 3},  {31, 0, 0}, {34, 0, 0},   {36, 2, 1}, {37, 60, 0},
        {38, 60, 0},
    };
    for (const auto& c : cases) {
        auto w = p.Make(c.kind);
        EXPECT_EQ(w->GetParam(0), c.p0) << c.kind;
        EXPECT_EQ(w->GetParam(1), c.p1) << c.kind;
    }
}

TEST(WipeFactory, ParameterClampsPerFamily) {
    WipePictures p(64, 48, 32);
    const struct {
        int32_t kind, value, p0, p1;
    } cases[] = {
        {2, 0, 2, 1},       // blind: index 0 at least 2, index 1 at least 1
        {2, -7, 2, 1},      {3, 1, 2, 1},   {2, 9, 9, 9},
        {4, 0, 1, 1},       // curtains: both at least 1
        {5, -3, 1, 1},      {5, 7, 7, 7},
        {37, -5, -5, -5},   // blocks store the value as given
        {29, 10, 16, 10},   // crack: pieces of at least 16, delays from 0
        {29, -4, 16, 0},
    };
    for (const auto& c : cases) {
        auto w = p.Make(c.kind);
        w->SetParam(0, c.value);
        w->SetParam(1, c.value);
        EXPECT_EQ(w->GetParam(0), c.p0) << c.kind << " " << c.value;
        EXPECT_EQ(w->GetParam(1), c.p1) << c.kind << " " << c.value;
    }
}

// Every kind at both screen depths: a duration of 0 and the end are
// finished steps that change no pixel but report the whole target.
TEST(WipeStep, FinishedStepsDrawNothingAndZeroDurationNeverDivides) {
    for (int32_t bits : {16, 32})
        for (int32_t kind = 1; kind <= 38; ++kind) {
            WipePictures p(40, 30, bits, uint32_t(kind));
            TPlainDIBX before(40, 30, bits);
            for (int32_t y = 0; y < 30; ++y)
                for (int32_t x = 0; x < 40; ++x) before.SetPixel(x, y, p.target.GetPixel(x, y));
            auto w = p.Make(kind);
            Start(*w, 0);
            EXPECT_TRUE(StepAt(*w, 0)) << kind;
            EXPECT_EQ(w->ChangedRect, MakeRect(0, 0, 40, 30)) << kind;
            w->Duration = 500;
            EXPECT_TRUE(StepAt(*w, 500)) << kind;
            EXPECT_TRUE(StepAt(*w, 900)) << kind;
            EXPECT_TRUE(WipePictures::Same(p.target, before)) << kind << " at " << bits;
        }
}

// At the first step the screen still shows the old picture, for every kind
// whose first picture is the old one (the others start from a bright,
// blocky, shrunken or partly opened picture by design).
TEST(WipeStep, FirstStepShowsTheOldPictureExactly) {
    const int32_t kinds[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 18, 19, 20, 21,
                             23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36};
    for (int32_t bits : {16, 32})
        for (int32_t kind : kinds) {
            WipePictures p(48, 36, bits, uint32_t(kind) * 7);
            // Wipes that draw nothing at the start leave the screen as it was.
            p.Reset(p.old_picture);
            auto w = p.Make(kind);
            Start(*w, 1000);
            EXPECT_FALSE(StepAt(*w, 0)) << kind;
            EXPECT_TRUE(WipePictures::Same(p.target, p.old_picture)) << "kind " << kind << " at " << bits;
        }
}

TEST(WipeStep, EveryKindRunsThroughWithoutTouchingOutsideItsSurfaces) {
    // Odd sizes, every depth a screen layer may have, both row orders and a
    // long duration whose position times 4096 passes 32 bits.
    for (int32_t kind = 1; kind <= 38; ++kind)
        for (int32_t bits : {15, 16, 24, 32})
        for (bool bottom_up : {false, true}) {
            WipePictures p(37, 23, bits, uint32_t(kind), bottom_up);
            auto w = p.Make(kind);
            Start(*w, 2000000000, uint8_t(bottom_up));
            for (int32_t pos : {0, 1, 700000000, 1000000000, 1999999999}) EXPECT_FALSE(StepAt(*w, pos)) << kind;
            EXPECT_EQ(p.target.OpenLocks(), 0);
        }
}

TEST(WipeStep, LongTransitionsDoNotWrap) {
    // Dither progress = position * 4096 div duration: at 3/4 of a long
    // transition three quarters of the tile are open.
    WipePictures p(64, 64, 32);
    auto w = p.Make(11);
    Start(*w, 2000000000);
    StepAt(*w, 1500000000);
    auto* d = static_cast<TWipeMask*>(w.get());
    int open = 0;
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) open += d->Mask->GetPixel(x, y) == 255;
    EXPECT_EQ(open, 3072);
}

// ---- the mask compositor ----

struct MaskCase {
    int32_t bits;
    bool bottom_up;
};

void FillMask(TDIBX& mask, std::mt19937& rng) {
    for (int32_t y = 0; y < mask.Height(); ++y)
        for (int32_t x = 0; x < mask.Width(); ++x) {
            const uint32_t r = rng() % 8;
            // Plenty of 0 and 255, and runs of them, among soft values.
            mask.SetPixel(x, y, r < 3 ? 0 : r < 6 ? 255 : rng() & 255);
        }
}

uint32_t Field(uint32_t p, uint32_t m) { return (p & m) >> __builtin_ctz(m); }

TEST(WipeCompose, ZeroAndFullWeightsAreExactAndEqualPixelsStay) {
    for (MaskCase c : {MaskCase{32, false}, MaskCase{32, true}, MaskCase{16, false}, MaskCase{15, true}, MaskCase{24, false}}) {
        WipePictures p(29, 11, c.bits, 3, c.bottom_up);
        // Some pixels the same in both pictures.
        for (int32_t x = 0; x < 29; x += 3) p.new_picture.SetPixel(x, 4, p.old_picture.GetPixel(x, 4));
        TDIBX mask;
        mask.SetSize(29, 5, 8);
        std::mt19937 rng(9);
        FillMask(mask, rng);
        wipes::ComposeMask(p.target, p.old_picture, p.new_picture, mask);
        for (int32_t y = 0; y < 11; ++y)
            for (int32_t x = 0; x < 29; ++x) {
                const uint32_t m = mask.GetPixel(x, y % 5), o = p.old_picture.GetPixel(x, y),
                               n = p.new_picture.GetPixel(x, y), t = p.target.GetPixel(x, y);
                if (m == 0 || o == n) EXPECT_EQ(t, o) << x << "," << y;
                else if (m == 255) EXPECT_EQ(t, n) << x << "," << y;
                else
                    for (uint32_t f : {p.target.RedMask(), p.target.GreenMask(), p.target.BlueMask()}) {
                        // Between the two pictures' channel values.
                        const uint32_t lo = std::min(Field(o, f), Field(n, f)), hi = std::max(Field(o, f), Field(n, f));
                        EXPECT_GE(Field(t, f) + 1, lo);
                        EXPECT_LE(Field(t, f), hi);
                    }
            }
    }
}

TEST(WipeCompose, HalfWeightFollowsTheShiftedFormula) {
    // 128: per channel (new * 128 + old * 127) shr 8, worked by hand.
    TPlainDIBX t(1, 1, 32), o(1, 1, 32), n(1, 1, 32);
    o.SetPixel(0, 0, 0x00FF4010);
    n.SetPixel(0, 0, 0x000080F0);
    TDIBX mask;
    mask.SetSize(1, 1, 8);
    mask.SetPixel(0, 0, 128);
    wipes::ComposeMask(t, o, n, mask);
    EXPECT_EQ(t.GetPixel(0, 0), uint32_t(((0xFF * 127) >> 8) << 16 | ((0x80 * 128 + 0x40 * 127) >> 8) << 8 |
                                         ((0xF0 * 128 + 0x10 * 127) >> 8)));
}

#ifdef HAVE_PIXMAN
// pixman's OVER of the new picture through an a8 mask onto the old one
// rounds where we shift; the two agree within 2 per channel.
TEST(WipeCompose, MatchesPixmanMaskedOver) {
    for (int32_t bits : {32, 16}) {
        const int32_t w = 67, h = 13;
        WipePictures p(w, h, bits, 21);
        TDIBX mask;
        mask.SetSize(w, h, 8);
        std::mt19937 rng(5);
        FillMask(mask, rng);
        wipes::ComposeMask(p.target, p.old_picture, p.new_picture, mask);
        const pixman_format_code_t fmt = bits == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5;
        TPlainDIBX ref(w, h, bits), mk(w, h, 8);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                ref.SetPixel(x, y, p.old_picture.GetPixel(x, y));
                mk.SetPixel(x, y, mask.GetPixel(x, y));
            }
        pixman_image_t* dst = pixman_image_create_bits(fmt, w, h, reinterpret_cast<uint32_t*>(ref.Row(0)), ref.Pitch());
        pixman_image_t* src =
            pixman_image_create_bits(fmt, w, h, reinterpret_cast<uint32_t*>(p.new_picture.Row(0)), p.new_picture.Pitch());
        pixman_image_t* msk = pixman_image_create_bits(PIXMAN_a8, w, h, reinterpret_cast<uint32_t*>(mk.Row(0)), mk.Pitch());
        pixman_image_composite32(PIXMAN_OP_OVER, src, msk, dst, 0, 0, 0, 0, 0, 0, w, h);
        pixman_image_unref(dst);
        pixman_image_unref(src);
        pixman_image_unref(msk);
        int worst = 0;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (uint32_t f : {p.target.RedMask(), p.target.GreenMask(), p.target.BlueMask()}) {
                    // Compared in 8-bit units: pixman widens 5/6-bit fields.
                    const int scale = 8 - __builtin_popcount(f);
                    const int d = std::abs(int(Field(p.target.GetPixel(x, y), f) << scale) -
                                           int(Field(ref.GetPixel(x, y), f) << scale));
                    worst = std::max(worst, d >> scale);
                }
        EXPECT_LE(worst, 2) << bits;
    }
}
#endif

TEST(WipeCompose, OneRowMaskMakesStripesDownTheWholeTarget) {
    WipePictures p(10, 7, 32);
    auto w = p.Make(2);  // blind H: a one-row mask
    w->SetParam(0, 4);
    Start(*w, 100);
    StepAt(*w, 50);  // L = 50 * 7 div 100 = 3: columns with x mod 4 < 2 open
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 10; ++x)
            EXPECT_EQ(p.target.GetPixel(x, y), (x % 4 < 2 ? p.new_picture : p.old_picture).GetPixel(x, y)) << x << "," << y;
}

TEST(WipeCompose, SamePositionTwiceComposesOnce) {
    for (int32_t kind : {2, 3, 4, 5, 8, 9, 10, 11, 19, 31, 34, 35, 36, 37, 38}) {
        WipePictures p(40, 30, 32, uint32_t(kind));
        auto w = p.Make(kind);
        Start(*w, 1000, kind == 37);
        StepAt(*w, 600);
        p.Reset(p.old_picture);
        StepAt(*w, 600);
        EXPECT_TRUE(WipePictures::Same(p.target, p.old_picture)) << kind;
    }
}

TEST(WipeCompose, LateParameterChangeKeepsToTheMasksRealHeight) {
    // Blind V sizes its mask to P0 rows in Prepare; a larger P0 afterwards
    // must neither write nor read rows the mask does not have.
    WipePictures p(16, 40, 32);
    auto w = p.Make(3);
    w->SetParam(0, 4);
    Start(*w, 100);
    w->SetParam(0, 30);
    StepAt(*w, 60);
    auto* m = static_cast<TWipeMask*>(w.get());
    EXPECT_EQ(m->Mask->Height(), 4);
    // L = 60 * 59 div 100 = 35 opens the four rows' thresholds 0, 2, 4, 6.
    EXPECT_TRUE(WipePictures::Same(p.target, p.new_picture));
}

TEST(WipeCompose, AStepWithoutPrepareStillHasAMask) {
    WipePictures p(20, 10, 32);
    auto w = p.Make(36);
    w->Duration = 100;
    EXPECT_FALSE(StepAt(*w, 99));
    EXPECT_EQ(p.target.GetPixel(10, 5), p.new_picture.GetPixel(10, 5));
}

}  // namespace
