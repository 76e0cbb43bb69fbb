// Clipping, colour conversion, fills, frames and blits of the drawing surface,
// with expectations worked out by hand from the blend formulas.
#include "render/custom_dibx.h"

#include <gtest/gtest.h>

#include <random>

#include "render/dibx_kernels.h"
#include "tests/support/plain_dibx.h"

namespace {

// Source whose pixel (x, y) is 1 + x + 16 * y (distinct, never 0).
void Number(TPlainDIBX& s) {
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) s.SetPixel(x, y, uint32_t(1 + x + 16 * y));
}

TEST(CustomDIBXClip, AddClipRectClampsAndOnlyGrows) {
    TPlainDIBX s(10, 8, 32);
    s.AddClipRect(MakeRect(20, 20, 30, 30));  // wholly outside
    EXPECT_EQ(s.GetClipRect(), s.BoundsRect());
    s.AddClipRect(MakeRect(-5, 2, 3, 4));
    EXPECT_EQ(s.GetClipRect(), MakeRect(0, 2, 3, 4));
    s.AddClipRect(MakeRect(6, 5, 99, 99));
    EXPECT_EQ(s.GetClipRect(), MakeRect(0, 2, 10, 8));
    s.AddClipRect(MakeRect(1, 3, 2, 4));  // inside: unchanged
    EXPECT_EQ(s.GetClipRect(), MakeRect(0, 2, 10, 8));
    s.ClearClipRect();
    EXPECT_EQ(s.GetClipRect(), s.BoundsRect());
}

TEST(CustomDIBXClip, SetClipRectIsStoredAsGivenButDrawingStaysInside) {
    TPlainDIBX s(4, 3, 8);
    s.SetClipRect(MakeRect(-100, -100, 100, 100));
    EXPECT_EQ(s.GetClipRect(), MakeRect(-100, -100, 100, 100));
    s.FillRect(MakeRect(-1000, -1000, 1000, 1000), 7);  // would run off the buffer unclamped
    for (uint8_t b : s.Bytes()) EXPECT_EQ(b, 7);
    s.SetClipRect(MakeRect(1, 1, 2, 2));
    s.FillRect(s.BoundsRect(), 9);
    EXPECT_EQ(s.GetPixel(1, 1), 9u);
    EXPECT_EQ(s.GetPixel(0, 1), 7u);
    EXPECT_EQ(s.GetPixel(2, 1), 7u);
}

TEST(CustomDIBX, EmptyAndColorToPixel) {
    TPlainDIBX a(0, 5, 32), b(5, 0, 32), c(1, 1, 32);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_FALSE(c.IsEmpty());
    TPlainDIBX s16(1, 1, 16), s15(1, 1, 15), s24(1, 1, 24), s32(1, 1, 32);
    EXPECT_EQ(s16.ColorToPixel(-5), -1);
    EXPECT_EQ(s16.ColorToPixel(0x112233), (0x33 >> 3) << 11 | (0x22 >> 2) << 5 | (0x11 >> 3));
    EXPECT_EQ(s15.ColorToPixel(0x112233), (0x33 >> 3) << 10 | (0x22 >> 3) << 5 | (0x11 >> 3));
    EXPECT_EQ(s32.ColorToPixel(0x112233), 0x332211);
    // 24-bit pixels are stored blue, green, red: red must land in bits 16-23,
    // as at 32 bits (the colour unchanged would swap red and blue).
    EXPECT_EQ(s24.ColorToPixel(0x0000FF), 0xFF0000);
    s24.Fill(uint32_t(s24.ColorToPixel(0x0000FF)));
    EXPECT_EQ(s24.Bytes()[0], 0x00);  // blue
    EXPECT_EQ(s24.Bytes()[2], 0xFF);  // red
    TCustomDIBX base;
    EXPECT_EQ(base.ColorToPixel(0x123456), 0x123456);
    EXPECT_EQ(base.ColorToPixel(-2), -1);
}

TEST(CustomDIBXFill, StoresTheStoredWidthPerDepth) {
    TPlainDIBX s8(3, 2, 8), s16(3, 2, 16), s24(3, 2, 24), s32(3, 2, 32), s4(3, 2, 4);
    s8.FillRect(MakeRect(1, 0, 3, 1), 0x1234);
    EXPECT_EQ(s8.GetPixel(0, 0), 0u);
    EXPECT_EQ(s8.GetPixel(1, 0), 0x34u);
    s16.FillRect(s16.BoundsRect(), 0xABCDEF);
    EXPECT_EQ(s16.GetPixel(2, 1), 0xCDEFu);
    s24.FillRect(s24.BoundsRect(), 0x12345678);
    EXPECT_EQ(s24.GetPixel(2, 1), 0x345678u);
    EXPECT_EQ(s24.Row(1)[9], 0);  // row padding untouched
    s32.FillRect(s32.BoundsRect(), 0x12345678);
    EXPECT_EQ(s32.GetPixel(2, 1), 0x12345678u);
    s4.FillRect(s4.BoundsRect(), 5);  // no inner routine: nothing
    EXPECT_EQ(s4.GetPixel(0, 0), 0u);
}

TEST(CustomDIBXFill, BlendsAddsAndSubtracts) {
    TPlainDIBX s(2, 1, 16);
    s.FillRectAlpha(s.BoundsRect(), 0xFFFF, 128);  // white at 128 over black
    EXPECT_EQ(s.GetPixel(0, 0), 0x7BEFu);
    s.FillRectAlpha(s.BoundsRect(), 0x1234, 0);  // alpha 0: nothing
    EXPECT_EQ(s.GetPixel(0, 0), 0x7BEFu);

    TPlainDIBX t(1, 1, 32);
    t.Fill(0x808080);
    t.FillRectAlpha(t.BoundsRect(), 0x808080, 200);  // already equal: unchanged
    EXPECT_EQ(t.GetPixel(0, 0), 0x808080u);
    t.Fill(0x101010);
    t.FillRectSub(t.BoundsRect(), 0x202020);
    EXPECT_EQ(t.GetPixel(0, 0), 0u);
    t.Fill(0xF01008);
    t.FillRectAdd(t.BoundsRect(), 0x2020F0);
    EXPECT_EQ(t.GetPixel(0, 0), 0xFF30F8u);
}

TEST(CustomDIBXFill, FramesDrawTheirBands) {
    TPlainDIBX s(6, 6, 8);
    s.FrameRect(MakeRect(0, 0, 6, 6), 1, 1);
    int ones = 0;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) ones += s.GetPixel(x, y) == 1;
    EXPECT_EQ(ones, 20);
    EXPECT_EQ(s.GetPixel(2, 2), 0u);
    // Thicker than half the height: only top and bottom bands, overlapping.
    TPlainDIBX t(6, 5, 8);
    t.FrameRectAdd(MakeRect(1, 0, 5, 5), 3, 1);
    EXPECT_EQ(t.GetPixel(1, 0), 1u);
    EXPECT_EQ(t.GetPixel(1, 2), 2u);  // both bands added here
    EXPECT_EQ(t.GetPixel(0, 2), 0u);
    EXPECT_EQ(t.GetPixel(5, 2), 0u);
}

TEST(CustomDIBXDraw, ClipsAtTheLeftWithAndWithoutFlip) {
    TPlainDIBX src(16, 2, 32);
    Number(src);
    TPlainDIBX d(8, 2, 32);
    d.Draw(-10, 0, src, src.BoundsRect(), false, false, false);
    EXPECT_EQ(d.GetPixel(0, 0), 11u);  // source column 10
    EXPECT_EQ(d.GetPixel(5, 1), 16u + 16);
    EXPECT_EQ(d.GetPixel(6, 0), 0u);
    TPlainDIBX f(8, 2, 32);
    f.Draw(-10, 0, src, src.BoundsRect(), false, true, false);
    EXPECT_EQ(f.GetPixel(0, 0), 6u);  // mirrored: column 15 - 10 = 5
    EXPECT_EQ(f.GetPixel(5, 0), 1u);
    EXPECT_EQ(f.GetPixel(6, 0), 0u);
    TPlainDIBX v(3, 2, 32);
    v.Draw(0, 0, src, MakeRect(0, 0, 3, 2), false, true, true);
    EXPECT_EQ(v.GetPixel(0, 0), 3u + 16);
    EXPECT_EQ(v.GetPixel(2, 1), 1u);
    EXPECT_EQ(src.OpenLocks(), 0);
    EXPECT_EQ(d.OpenLocks(), 0);
}

TEST(CustomDIBXDraw, KeyedCopyPerDepth) {
    for (int bits : {8, 15, 16, 24, 32}) {
        TPlainDIBX src(9, 1, bits);
    Number(src);
        src.SetPixel(2, 0, 0xFF);
        src.SetPixel(3, 0, 0xFF);
        src.SetPixel(4, 0, 0xFF);
        src.SetPixel(5, 0, 0xFF);
        src.SetPixel(6, 0, 0xFF);
        TPlainDIBX d(9, 1, bits);
        d.Fill(0x77);
        src.SetTransparentColor(-1);  // no key: everything copies
        d.Draw(0, 0, src, src.BoundsRect(), true, false, false);
        EXPECT_EQ(d.GetPixel(3, 0), 0xFFu) << bits;
        d.Fill(0x77);
        src.SetTransparentColor(0xFF);
        d.Draw(0, 0, src, src.BoundsRect(), true, true, false);
        for (int x = 0; x < 9; ++x) {
            const uint32_t s = src.GetPixel(8 - x, 0);
            EXPECT_EQ(d.GetPixel(x, 0), s == 0xFF ? 0x77u : s) << bits << " x=" << x;
        }
    }
}

TEST(CustomDIBXDraw, SourceAndMaskRectanglesAreCheckedAgainstTheirSurfaces) {
    TPlainDIBX src(4, 4, 32);
    Number(src);
    TPlainDIBX d(8, 8, 32);
    // A source rectangle past the source: only the real pixels are read, placed
    // as they would be.
    d.Draw(0, 0, src, MakeRect(-2, -1, 6, 4), false, false, false);
    EXPECT_EQ(d.GetPixel(0, 0), 0u);
    EXPECT_EQ(d.GetPixel(2, 1), 1u);
    EXPECT_EQ(d.GetPixel(5, 4), 4u + 48);
    EXPECT_EQ(d.GetPixel(6, 1), 0u);
    // A mask smaller than the source cuts the draw to the mask.
    TPlainDIBX mask(2, 2, 8), e(8, 8, 32);
    mask.Fill(255);
    e.DrawMask(0, 0, src, src.BoundsRect(), false, false, mask);
    EXPECT_EQ(e.GetPixel(1, 1), 18u);
    EXPECT_EQ(e.GetPixel(2, 0), 0u);
    EXPECT_EQ(e.GetPixel(0, 2), 0u);
    // A mask of another depth, or a source of another depth, draws nothing.
    TPlainDIBX wide(4, 4, 32), s16(4, 4, 16), f(8, 8, 32);
    Number(s16);
    wide.Fill(0xFFFFFFFF);
    f.DrawMask(0, 0, src, src.BoundsRect(), false, false, wide);
    f.Draw(0, 0, s16, s16.BoundsRect(), false, false, false);
    for (uint8_t b : f.Bytes()) ASSERT_EQ(b, 0);
    // FillMask wants its rectangle inside the mask.
    f.FillMask(0, 0, mask, MakeRect(0, 0, 3, 2), false, false, 5, 255);
    for (uint8_t b : f.Bytes()) ASSERT_EQ(b, 0);
}

TEST(CustomDIBXDraw, OverlappingSelfDrawReadsTheSource) {
    TPlainDIBX s(8, 1, 32);
    Number(s);
    s.Draw(1, 0, s, MakeRect(0, 0, 7, 1), false, false, false);
    for (int x = 1; x < 8; ++x) EXPECT_EQ(s.GetPixel(x, 0), uint32_t(x));
    TPlainDIBX t(8, 1, 16);
    Number(t);
    t.DrawAlpha(1, 0, t, MakeRect(0, 0, 7, 1), false, true, false, 255);
    // Mirrored onto itself: pixel x takes the source's 7 - x, blended at 255.
    EXPECT_EQ(t.GetPixel(1, 0), ((7u * 255) >> 8) | 0u);
}

TEST(CustomDIBXBlend, StatedCornerCases) {
    TPlainDIBX s(2, 1, 32), d(2, 1, 32);
    s.Fill(0x00FF8040);
    d.SetPixel(1, 0, 0x00FF8040);  // equal to the source: left alone
    d.DrawAlpha(0, 0, s, s.BoundsRect(), false, false, false, 255);
    EXPECT_EQ(d.GetPixel(0, 0), 0x00FE7F3Fu);  // (s * 255) shr 8
    EXPECT_EQ(d.GetPixel(1, 0), 0x00FF8040u);
    s.Fill(0x808080);
    d.Fill(0x808080);
    d.DrawAdd(0, 0, s, s.BoundsRect(), false, false, false, 255);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFFFFFFu);  // 128 + 127 saturates
    // Masks all 0 change nothing; all 255 copy.
    TPlainDIBX src(5, 3, 16), m(5, 3, 8), e(5, 3, 16);
    Number(src);
    e.Fill(0x1111);
    e.DrawMask(0, 0, src, src.BoundsRect(), false, false, m);
    EXPECT_EQ(e.GetPixel(4, 2), 0x1111u);
    m.Fill(255);
    e.DrawMask(0, 0, src, src.BoundsRect(), false, false, m);
    EXPECT_EQ(e.GetPixel(4, 2), src.GetPixel(4, 2));
    // 8-bit surfaces add raw bytes, key included.
    TPlainDIBX g(3, 1, 8), h(3, 1, 8);
    g.SetPixel(0, 0, 200), g.SetPixel(1, 0, 9), g.SetPixel(2, 0, 10);
    h.Fill(100);
    g.SetTransparentColor(9);
    h.DrawAdd(0, 0, g, g.BoundsRect(), false, false, false, 1);
    EXPECT_EQ(h.GetPixel(0, 0), 255u);
    EXPECT_EQ(h.GetPixel(1, 0), 100u);
    EXPECT_EQ(h.GetPixel(2, 0), 110u);
}

// The packed loops and the per-pixel loop must agree pixel for pixel: a run
// drawn whole (packed groups plus a tail) equals the same run drawn one pixel
// at a time.
TEST(RowKernels, PackedLoopsMatchPerPixelLoop) {
    std::mt19937 rng(7);
    using dibx::Kind;
    using dibx::Weight;
    std::vector<dibx::RowOp> ops;
    for (Kind k : {Kind::Copy, Kind::Blend, Kind::Add, Kind::AddFull, Kind::Sub})
        for (Weight w : {Weight::Const, Weight::M, Weight::MA, Weight::MA255A})
            for (int flags = 0; flags < 16; ++flags) {
                dibx::RowOp op;
                op.kind = k;
                op.weight = w;
                op.a = rng() % 256;
                op.key_on = flags & 1;
                op.copy255 = flags & 2;
                op.skip_eq = flags & 4;
                op.const_src = flags & 8;
                op.c = rng();
                ops.push_back(op);
            }
    for (int bits : {15, 16, 32}) {
        const int bpp = dibx::BytesPerPixel(bits);
        const int n = 37;
        for (const dibx::RowOp& base : ops) {
            dibx::RowOp op = base;
            std::vector<uint8_t> s(n * bpp), d(n * bpp), m(n);
            for (auto& b : s) b = uint8_t(rng());
            for (auto& b : d) b = uint8_t(rng());
            for (auto& b : m) b = uint8_t(rng() % 4 == 0 ? 0 : rng() % 4 == 0 ? 255 : rng());
            std::copy(s.begin(), s.begin() + 3 * bpp, d.begin());  // equal pixels
            op.key = dibx::load_pixel(s.data() + 5 * bpp, bpp);
            std::vector<uint8_t> whole = d, single = d;
            dibx::run_row(bits, whole.data(), s.data(), m.data(), n, op);
            for (int i = 0; i < n; ++i)
                dibx::run_row(bits, single.data() + i * bpp, s.data() + i * bpp, m.data() + i, 1, op);
            ASSERT_EQ(whole, single) << bits << " kind " << int(op.kind) << " weight " << int(op.weight)
                                     << " key " << op.key_on << " c255 " << op.copy255 << " skip " << op.skip_eq
                                     << " const " << op.const_src;
        }
    }
}

}  // namespace

namespace {

TEST(CustomDIBXCopyFrom, SameGeometryCopiesEverythingElseDraws) {
    TPlainDIBX src(5, 3, 24), d(5, 3, 24);
    Number(src);
    src.SetTransparentColor(int32_t(src.GetPixel(1, 1)));
    d.SetClipRect(MakeRect(0, 0, 1, 1));
    d.CopyFrom(src);  // whole buffer: clip and key ignored
    EXPECT_EQ(d.Bytes(), src.Bytes());
    TPlainDIBX small(3, 2, 24);
    small.SetClipRect(MakeRect(0, 0, 2, 2));
    small.CopyFrom(src);  // other size: a clipped Draw
    EXPECT_EQ(small.GetPixel(1, 1), 18u);
    EXPECT_EQ(small.GetPixel(2, 0), 0u);
}

TEST(CustomDIBXPattern, PackedDepthsGoPixelByPixel) {
    TPlainDIBX pat(3, 1, 4), d(7, 1, 4);
    for (int x = 0; x < 3; ++x) pat.SetPixel(x, 0, uint32_t(x + 5));
    d.FillPattern(MakeRect(1, 0, 7, 1), pat, 0, 0, true, false);
    const uint32_t want[7] = {0, 7, 6, 5, 7, 6, 5};
    for (int x = 0; x < 7; ++x) EXPECT_EQ(d.GetPixel(x, 0), want[x]) << x;
}

}  // namespace

namespace {

// Runs of every length from every alignment: the aligned store loop, its
// head and its tail must cover exactly the rectangle.
TEST(CustomDIBXFill, EveryStartAndLength) {
    for (int bits : {15, 16, 32}) {
        TPlainDIBX s(48, 1, bits);
        for (int x0 = 0; x0 < 8; ++x0)
            for (int w = 0; w <= 40; ++w) {
                s.Fill(0);
                s.FillRect(MakeRect(x0, 0, x0 + w, 1), 0x5A5A3C3C);
                for (int x = 0; x < 48; ++x) {
                    const uint32_t want = x >= x0 && x < x0 + w ? (bits == 32 ? 0x5A5A3C3Cu : 0x3C3Cu) : 0u;
                    ASSERT_EQ(s.GetPixel(x, 0), want) << bits << " x0=" << x0 << " w=" << w << " x=" << x;
                }
            }
    }
}

}  // namespace
