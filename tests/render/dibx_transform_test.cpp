// Rotation, stretch, reduction, indexed sources, tiling and patterns: sample
// points worked out by hand from the 16.16 stepping rules.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/plain_dibx.h"

namespace {

void Number(TPlainDIBX& s) {
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) s.SetPixel(x, y, uint32_t(1 + x + 16 * y));
}

std::vector<uint32_t> Row(TPlainDIBX& s, int y) {
    std::vector<uint32_t> v;
    for (int x = 0; x < s.Width(); ++x) v.push_back(s.GetPixel(x, y));
    return v;
}

using V = std::vector<uint32_t>;

TEST(DrawRotate, IdentityAndQuarterTurn) {
    TPlainDIBX src(4, 3, 32), d(20, 20, 32);
    Number(src);
    d.DrawRotate(5, 6, 256, 256, src, src.BoundsRect(), 0, 0, 0, false, false, false, 255);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(d.GetPixel(5 + x, 6 + y), src.GetPixel(x, y));
    EXPECT_EQ(d.GetPixel(9, 6), 0u);
    EXPECT_EQ(d.GetPixel(4, 6), 0u);
    // A quarter turn clockwise: source (k, r) lands on (X - r, Y + k).
    TPlainDIBX q(20, 20, 32);
    q.DrawRotate(10, 10, 256, 256, src, src.BoundsRect(), 0, 0, 64, false, false, false, 255);
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 4; ++k) EXPECT_EQ(q.GetPixel(10 - r, 10 + k), src.GetPixel(k, r)) << r << "," << k;
    EXPECT_EQ(q.GetRotatedBounds(10, 10, 4, 3, 0, 0, 256, 256, 64, false, false), MakeRect(8, 10, 11, 14));
    // Zoom 0 draws nothing and reports no bounds.
    TPlainDIBX z(20, 20, 32);
    z.DrawRotate(5, 5, 0, 256, src, src.BoundsRect(), 0, 0, 0, false, false, false, 255);
    for (uint8_t b : z.Bytes()) ASSERT_EQ(b, 0);
    EXPECT_TRUE(RectIsEmpty(z.GetRotatedBounds(5, 5, 4, 3, 0, 0, 0, 256, 0, false, false)));
}

TEST(DrawRotate, ZoomFlipAndSourceRectangle) {
    TPlainDIBX src(8, 1, 32), d(16, 2, 32);
    Number(src);
    // 1.5x: step trunc(65536 / 1.5) = 43690, so column i samples (i * 43690) shr 16;
    // the bounds end at trunc(8 * 1.5 - 1 + 1) = 12.
    d.DrawRotate(0, 0, 384, 256, src, src.BoundsRect(), 0, 0, 0, false, false, false, 255);
    EXPECT_EQ(Row(d, 0), (V{1, 1, 2, 2, 3, 4, 4, 5, 6, 6, 7, 8, 0, 0, 0, 0}));
    TPlainDIBX f(8, 1, 32);
    f.DrawRotate(0, 0, 256, 256, src, src.BoundsRect(), 0, 0, 0, false, true, false, 255);
    EXPECT_EQ(Row(f, 0), (V{8, 7, 6, 5, 4, 3, 2, 1}));
    // The centre counts from the source rectangle's corner.
    TPlainDIBX s(8, 1, 32);
    s.DrawRotate(3, 0, 256, 256, src, MakeRect(4, 0, 8, 1), 1, 0, 0, false, false, false, 255);
    EXPECT_EQ(Row(s, 0), (V{0, 0, 5, 6, 7, 8, 0, 0}));
    // A source rectangle past the source reads only real pixels.
    TPlainDIBX o(8, 1, 32);
    o.DrawRotate(0, 0, 256, 256, src, MakeRect(4, 0, 12, 1), 0, 0, 0, false, false, false, 255);
    EXPECT_EQ(Row(o, 0), (V{5, 6, 7, 8, 0, 0, 0, 0}));
}

TEST(DrawRotate, AlphaCodes) {
    TPlainDIBX src(2, 1, 32), d(2, 1, 32);
    src.Fill(0x808080);
    d.Fill(0x808080);
    // Rotating draws blend even where the pixels are equal.
    d.DrawRotate(0, 0, 256, 256, src, src.BoundsRect(), 0, 0, 0, false, false, false, 128);
    EXPECT_EQ(d.GetPixel(0, 0), 0x7F7F7Fu);
    d.Fill(0x101010);
    d.DrawRotate(0, 0, 256, 256, src, src.BoundsRect(), 0, 0, 0, false, false, false, 256 + 128);
    EXPECT_EQ(d.GetPixel(1, 0), 0x505050u);
    TPlainDIBX s24(1, 1, 24), d24(1, 1, 24);
    s24.Fill(0x808080);
    d24.Fill(0x101010);
    d24.DrawRotate(0, 0, 256, 256, s24, s24.BoundsRect(), 0, 0, 0, false, false, false, 300);
    EXPECT_EQ(d24.GetPixel(0, 0), 0x808080u);  // 24 bpp stores for additive codes
    // Through a mask: code 255 weighs by the mask, codes above add.
    TPlainDIBX m(2, 1, 8), e(2, 1, 32);
    m.SetPixel(0, 0, 0);
    m.SetPixel(1, 0, 128);
    e.Fill(0x000000);
    e.DrawRotateMask(0, 0, 256, 256, src, src.BoundsRect(), 0, 0, 0, false, false, m, 255);
    EXPECT_EQ(e.GetPixel(0, 0), 0u);
    EXPECT_EQ(e.GetPixel(1, 0), 0x404040u);
}

TEST(DrawRotate, BoundsCoverEverythingDrawn) {
    TPlainDIBX src(10, 6, 16), d(40, 40, 16);
    src.Fill(0xFFFF);
    for (bool flip : {false, true}) {
        d.Fill(0);
        d.DrawRotate(20, 20, 300, 200, src, src.BoundsRect(), 2, 1, 32, false, flip, false, 255);
        const TRect b = d.GetRotatedBounds(20, 20, 10, 6, 2, 1, 300, 200, 32, flip, false);
        int drawn = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x)
                if (d.GetPixel(x, y)) {
                    ++drawn;
                    EXPECT_TRUE(PointInRect(MakePoint(x, y), b)) << x << "," << y;
                }
        EXPECT_GT(drawn, 40);
    }
}

TEST(DrawStretch, SamplePointsClipAndFlip) {
    TPlainDIBX src(8, 2, 32);
    Number(src);
    TPlainDIBX up(8, 1, 32);
    up.DrawStretch(MakeRect(0, 0, 8, 1), src, MakeRect(0, 0, 4, 1), false, false, false, 255);
    EXPECT_EQ(Row(up, 0), (V{1, 1, 2, 2, 3, 3, 4, 4}));
    TPlainDIBX down(4, 1, 32);
    down.DrawStretch(MakeRect(0, 0, 4, 1), src, src.BoundsRect(), false, false, false, 255);
    EXPECT_EQ(Row(down, 0), (V{1, 3, 5, 7}));
    // Left cut by 3 at ratio 0.5: the source moves by 1 with a half-pixel fraction.
    TPlainDIBX cut(8, 1, 32);
    cut.SetClipRect(MakeRect(3, 0, 8, 1));
    cut.DrawStretch(MakeRect(0, 0, 8, 1), src, MakeRect(0, 0, 4, 1), false, false, false, 255);
    EXPECT_EQ(Row(cut, 0), (V{0, 0, 0, 2, 3, 3, 4, 4}));
    TPlainDIBX fl(8, 1, 32);
    fl.DrawStretch(MakeRect(0, 0, 8, 1), src, MakeRect(0, 0, 4, 1), false, true, false, 255);
    EXPECT_EQ(Row(fl, 0), (V{4, 4, 3, 3, 2, 2, 1, 1}));
    TPlainDIBX fv(1, 4, 32);
    fv.DrawStretch(MakeRect(0, 0, 1, 4), src, MakeRect(0, 0, 1, 2), false, false, true, 255);
    EXPECT_EQ(fv.GetPixel(0, 0), 17u);
    EXPECT_EQ(fv.GetPixel(0, 3), 1u);
    // A source rectangle half outside the source: that half stays untouched.
    TPlainDIBX out(8, 1, 32);
    out.DrawStretch(MakeRect(0, 0, 8, 1), src, MakeRect(-4, 0, 4, 1), false, false, false, 255);
    EXPECT_EQ(Row(out, 0), (V{0, 0, 0, 0, 1, 2, 3, 4}));
    // Empty source or destination: nothing.
    out.DrawStretch(MakeRect(0, 0, 8, 1), src, MakeRect(2, 0, 2, 1), false, false, false, 255);
    out.DrawStretch(MakeRect(0, 0, 0, 1), src, src.BoundsRect(), false, false, false, 255);
    EXPECT_EQ(Row(out, 0), (V{0, 0, 0, 0, 1, 2, 3, 4}));
}

// Exact halving of a wide 32- or 16-bit source takes every other pixel,
// including under a left clip and with the last sample at the row's end;
// 16-bit values from 0x8000 up keep their top bit.
TEST(DrawStretch, HalvingWideRows) {
    for (int bits : {32, 16}) {
        SCOPED_TRACE(bits);
        const auto value = [](int x, int y) { return uint32_t(0x7FF0 + x + 64 * y); };
        TPlainDIBX src(41, 5, bits);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 41; ++x) src.SetPixel(x, y, value(x, y));
        TPlainDIBX d(24, 3, bits);
        d.DrawStretch(MakeRect(2, 0, 21, 2), src, MakeRect(3, 1, 41, 5), false, false, false, 255);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 24; ++x) {
                const uint32_t want = x >= 2 && x < 21 ? value(3 + 2 * (x - 2), 1 + 2 * y) : 0u;
                EXPECT_EQ(d.GetPixel(x, y), want) << x << "," << y;
            }
        EXPECT_EQ(Row(d, 2), V(24, 0u));
        TPlainDIBX cut(24, 1, bits);
        cut.SetClipRect(MakeRect(7, 0, 24, 1));
        cut.DrawStretch(MakeRect(2, 0, 21, 1), src, MakeRect(3, 0, 41, 2), false, false, false, 255);
        for (int x = 0; x < 24; ++x)
            EXPECT_EQ(cut.GetPixel(x, 0), x >= 7 && x < 21 ? value(3 + 2 * (x - 2), 0) : 0u) << x;
    }
}

TEST(DrawStretch, BlendsKeysAndMasks) {
    TPlainDIBX src(2, 1, 16), d(4, 1, 16);
    src.SetPixel(0, 0, 0x001F);
    src.SetPixel(1, 0, 0xF800);
    src.SetTransparentColor(0xF800);
    d.Fill(0x001F);
    d.DrawStretch(MakeRect(0, 0, 4, 1), src, src.BoundsRect(), true, false, false, 128);
    EXPECT_EQ(Row(d, 0), (V{0x001F, 0x001F, 0x001F, 0x001F}));  // equal pixels and key left
    d.Fill(0);
    d.DrawStretchAdd(MakeRect(0, 0, 4, 1), src, src.BoundsRect(), false, false, false, 255);
    EXPECT_EQ(Row(d, 0), (V{30, 30, 0xF000, 0xF000}));  // no key without the flag
    TPlainDIBX m(2, 1, 8);
    m.SetPixel(0, 0, 255);
    d.Fill(0);
    d.DrawStretchMask(MakeRect(0, 0, 4, 1), src, src.BoundsRect(), false, false, m, 128);
    EXPECT_EQ(Row(d, 0), (V{15, 15, 0, 0}));
    // At 24 bits too, a stretched mask of 255 weighs by the alpha itself, while
    // the unstretched per-pixel rule takes (255 * a) shr 8.
    TPlainDIBX s24(1, 1, 24), m24(1, 1, 8), d24(1, 1, 24);
    s24.Fill(0xFFFFFF);
    m24.Fill(255);
    d24.DrawStretchMask(d24.BoundsRect(), s24, s24.BoundsRect(), false, false, m24, 128);
    EXPECT_EQ(d24.GetPixel(0, 0), 0x7F7F7Fu);
    d24.Fill(0);
    d24.DrawMaskAlpha(0, 0, s24, s24.BoundsRect(), false, false, m24, 128);
    EXPECT_EQ(d24.GetPixel(0, 0), 0x7E7E7Eu);
    uint32_t colors[256] = {};
    colors[1] = 0x0010;
    colors[2] = 0x0008;
    TPlainDIBX ix(2, 1, 8), e(4, 1, 16);
    ix.SetPixel(0, 0, 1);
    ix.SetPixel(1, 0, 2);
    ix.SetTransparentColor(1);  // indices up to 1 left out
    e.Fill(0x0001);
    e.DrawStretchIndexed8Add(MakeRect(0, 0, 4, 1), ix, ix.BoundsRect(), false, false, 255, colors, 1);
    EXPECT_EQ(Row(e, 0), (V{1, 1, 8, 8}));
}

TEST(StretchToDC, StretchesAndMirrors) {
    TPlainDIBX src(4, 1, 16), dc(8, 1, 16);
    Number(src);
    src.StretchToDC(dc, 0, 0, 8, 1, 0, 0, 4, 1);
    EXPECT_EQ(Row(dc, 0), (V{1, 1, 2, 2, 3, 3, 4, 4}));
    src.StretchToDC(dc, 4, 0, -4, 1, 0, 0, 4, 1);
    EXPECT_EQ(Row(dc, 0), (V{4, 3, 2, 1, 3, 3, 4, 4}));
}

TEST(DrawReduce, CoverageCounting) {
    TPlainDIBX bits(8, 4, 1), d(2, 1, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) bits.SetPixel(x, y, x >= 4 && y < 2 ? 0 : 1);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) bits.SetPixel(x, y, 0);
    d.Fill(0x000000);
    d.DrawReduce(0, 0, bits, bits.BoundsRect(), 0xFF8040, false, false, 255, 4);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFF8040u);  // full coverage stores the value
    EXPECT_EQ(d.GetPixel(1, 0), 0x7F4020u);  // 8 of 16: (v * 8) div 16
    d.Fill(0x000000);
    d.DrawReduce(0, 0, bits, bits.BoundsRect(), 0xFF8040, true, false, 128, 4);
    EXPECT_EQ(d.GetPixel(1, 0), 0x7F4020u);  // flipped: the full block lands right, n = 16 * 128 shr 8
    EXPECT_EQ(d.GetPixel(0, 0), 0x3F2010u);  // n = 8 * 128 shr 8 = 4
    d.DrawReduce(0, 0, bits, bits.BoundsRect(), 0xFFFFFF, false, false, 255, 0);  // factor 0: nothing
    EXPECT_EQ(d.GetPixel(1, 0), 0x7F4020u);
}

TEST(DrawReduce, Classes) {
    TPlainDIBX cls(6, 3, 4), d(2, 1, 32);
    const uint32_t colors[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) cls.SetPixel(x, y, 1);
    // Second block: 8 of 9 pixels class 1, one empty: a factor of 3 divides
    // by 9 * 256 exactly.
    for (int y = 0; y < 3; ++y)
        for (int x = 3; x < 6; ++x) cls.SetPixel(x, y, 1);
    cls.SetPixel(5, 2, 0);
    d.Fill(0x0000FF);
    d.DrawReduceClasses(0, 0, cls, cls.BoundsRect(), colors, false, false, 255, 3);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFF0000u);
    // red (255 * 2048) / 2304 = 226; blue (255 * 256) / 2304 = 28.
    EXPECT_EQ(d.GetPixel(1, 0), 0xE2001Cu);
    TPlainDIBX c4(4, 4, 4), e(1, 1, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) c4.SetPixel(x, y, x < 2 ? 2 : 0);
    e.Fill(0x000000);
    e.DrawReduceClasses(0, 0, c4, c4.BoundsRect(), colors, false, false, 256 + 255, 4);
    EXPECT_EQ(e.GetPixel(0, 0), 0x007F00u);  // additive: 8 * 255 * 255 / 4096
}

TEST(DrawIndexed, FourAndEightBit) {
    TPlainDIBX src(4, 1, 4), d(4, 1, 16);
    for (int x = 0; x < 4; ++x) src.SetPixel(x, 0, uint32_t(x));
    src.SetTransparentColor(0);
    uint32_t colors[16] = {0x1111, 0x001F, 0x0000, 0x07E0};
    d.Fill(0xFFFF);
    d.SetPixel(2, 0, 0x0001);
    d.DrawIndexed4(0, 0, src, src.BoundsRect(), false, false, 255, colors);
    EXPECT_EQ(Row(d, 0), (V{0xFFFF, 0x001F, 0x0000, 0x07E0}));
    d.Fill(0xFFFF);
    d.SetPixel(0, 0, 0x0001);
    d.SetPixel(1, 0, 0x0001);
    d.DrawIndexed4(0, 0, src, src.BoundsRect(), true, false, 256 + 255, colors);
    // Mirrored: indices 3, 2, 1, 0; colour 0, white pixels and the key are left.
    EXPECT_EQ(Row(d, 0), (V{0x07C1, 0x0001, 0xFFFF, 0xFFFF}));  // green (63 * 255) shr 8 = 62
    TPlainDIBX s8(3, 1, 8), e(3, 1, 32);
    s8.SetPixel(0, 0, 0);
    s8.SetPixel(1, 0, 5);
    s8.SetPixel(2, 0, 200);
    uint32_t c8[256] = {};
    c8[0] = 0xFFFFFF;
    c8[5] = 0x101010;
    c8[200] = 0x808080;
    s8.SetTransparentColor(-1);
    e.Fill(0x010101);
    e.DrawIndexed8Add(0, 0, s8, s8.BoundsRect(), false, false, 128, c8, -1);
    EXPECT_EQ(Row(e, 0), (V{0x808080, 0x090909, 0x414141}));
}

TEST(DrawTiled, OriginsGapsAndClip) {
    TPlainDIBX src(3, 1, 32), d(7, 1, 32);
    Number(src);
    d.SetClipRect(MakeRect(0, 0, 6, 1));
    d.DrawTiled(MakeRect(0, 0, 7, 1), 0, 0, src, src.BoundsRect(), false, -1, 0);
    EXPECT_EQ(Row(d, 0), (V{3, 1, 2, 3, 1, 2, 0}));
    EXPECT_EQ(d.GetClipRect(), MakeRect(0, 0, 6, 1));  // restored
    TPlainDIBX g(9, 1, 32);
    g.DrawTiled(MakeRect(1, 0, 9, 1), 1, 0, src, src.BoundsRect(), false, 1, 0);
    EXPECT_EQ(Row(g, 0), (V{0, 2, 3, 0, 1, 2, 3, 0, 1}));
    // A gap that swallows the tile would never advance: nothing is drawn.
    TPlainDIBX n(4, 1, 32);
    n.DrawTiled(n.BoundsRect(), -3, 0, src, src.BoundsRect(), false, 0, 0);
    EXPECT_EQ(Row(n, 0), (V{0, 0, 0, 0}));
    TPlainDIBX a(4, 2, 32);
    a.DrawTiledAdd(a.BoundsRect(), 0, 0, src, MakeRect(0, 0, 2, 1), false, 0, 0, 255);
    EXPECT_EQ(Row(a, 1), (V{0, 1, 0, 1}));  // (s * 255) shr 8 rounds 1 and 2 down
}

TEST(DrawTiledScaled, PhaseAndGuards) {
    TPlainDIBX src(2, 1, 32), d(8, 1, 32);
    Number(src);
    d.DrawTiledScaled(d.BoundsRect(), 2, 2, 512, 256, src, src.BoundsRect(), false, false, false, 255, 1, 0);
    EXPECT_EQ(Row(d, 0), (V{1, 2, 2, 1, 1, 2, 2, 1}));
    TPlainDIBX z(8, 1, 32);
    z.DrawTiledScaled(z.BoundsRect(), 2, 2, 0, 256, src, src.BoundsRect(), false, false, false, 255, 1, 0);
    z.DrawTiledScaled(z.BoundsRect(), 2, 2, 256, 256, src, MakeRect(0, 0, 0, 0), false, false, false, 255, 1, 0);
    EXPECT_EQ(Row(z, 0), (V{0, 0, 0, 0, 0, 0, 0, 0}));
    // Spacing 0: a tile at every pixel, the last one wins.
    z.DrawTiledScaled(z.BoundsRect(), 0, 0, 256, 256, src, src.BoundsRect(), false, false, false, 255, 5, 0);
    EXPECT_EQ(Row(z, 0), (V{1, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(FillPattern, OffsetsFlipsAndFrames) {
    TPlainDIBX pat(3, 2, 16), d(8, 4, 16);
    Number(pat);
    d.FillPattern(MakeRect(1, 1, 7, 3), pat, 1, 0, false, false);
    EXPECT_EQ(Row(d, 1), (V{0, 2, 3, 1, 2, 3, 1, 0}));
    EXPECT_EQ(Row(d, 2), (V{0, 18, 19, 17, 18, 19, 17, 0}));
    d.SetClipRect(MakeRect(3, 0, 8, 4));
    d.FillPattern(MakeRect(1, 1, 7, 2), pat, 0, 0, true, true);
    EXPECT_EQ(Row(d, 1), (V{0, 2, 3, 17, 19, 18, 17, 0}));  // offsets grew by the cut 2
    TPlainDIBX f(6, 6, 16);
    f.FramePattern(MakeRect(1, 1, 5, 3), 3, false, false, pat);  // thicker than the rectangle
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(f.GetPixel(x, y) != 0, x >= 1 && x < 5 && y >= 1 && y < 3) << x << "," << y;
}

TEST(FillPatternZoomed, StepsAndPhase) {
    TPlainDIBX pat(2, 1, 32), d(6, 1, 32);
    Number(pat);
    d.FillPatternZoomed(d.BoundsRect(), pat, 0, 0, 512, 256, false, false, false, 255);
    EXPECT_EQ(Row(d, 0), (V{1, 1, 2, 2, 1, 1}));
    d.FillPatternZoomed(d.BoundsRect(), pat, 1, 0, 512, 256, false, false, false, 255);
    EXPECT_EQ(Row(d, 0), (V{1, 2, 2, 1, 1, 2}));
    TPlainDIBX m(1, 1, 8), e(2, 1, 32);
    m.Fill(255);
    e.FillPatternZoomedMask(e.BoundsRect(), pat, 0, 0, 256, 256, m, false, false, 255);  // mask smaller: nothing
    EXPECT_EQ(Row(e, 0), (V{0, 0}));
    e.FillPatternZoomed(e.BoundsRect(), pat, 0, 0, 0, 256, false, false, false, 255);  // zoom 0: nothing
    EXPECT_EQ(Row(e, 0), (V{0, 0}));
}

}  // namespace

namespace {

// Runs a mix of operations on surfaces of one row order and returns the
// destination's pixels; bottom-up rows (negative pitch) must not change them.
std::vector<uint32_t> MixedScene(bool bottomUp) {
    TPlainDIBX d(24, 16, 32, bottomUp), src(9, 7, 32, bottomUp), m(9, 7, 8, bottomUp), bits(16, 8, 1, bottomUp),
        pat(5, 3, 32, bottomUp), cls(8, 8, 4, bottomUp);
    Number(src);
    Number(pat);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) m.SetPixel(x, y, uint32_t((x * 37 + y * 91) & 0xFF));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) bits.SetPixel(x, y, uint32_t((x * y + x) & 1));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) cls.SetPixel(x, y, uint32_t((x + 3 * y) & 3));
    d.Fill(0x203040);
    d.Draw(2, 1, src, MakeRect(1, 1, 8, 6), false, true, true);
    d.DrawMaskAlpha(10, 3, src, src.BoundsRect(), true, false, m, 200);
    d.DrawStretch(MakeRect(0, 8, 15, 16), src, src.BoundsRect(), false, false, true, 180);
    d.DrawRotate(16, 8, 300, 280, src, src.BoundsRect(), 4, 3, 21, false, true, false, 300);
    d.DrawRotateMask(6, 10, 256, 256, src, src.BoundsRect(), 2, 2, 40, false, true, m, 128);
    d.FillPattern(MakeRect(18, 0, 24, 6), pat, 1, 2, false, true);
    d.FillPatternZoomed(MakeRect(0, 12, 10, 16), pat, 3, 1, 400, 300, false, true, false, 90);
    d.DrawReduce(14, 12, bits, bits.BoundsRect(), 0xFFFFFF, false, true, 255, 4);
    const uint32_t colors[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    d.DrawReduceClasses(20, 10, cls, cls.BoundsRect(), colors, true, false, 255, 2);
    d.DrawTiledAlpha(MakeRect(3, 13, 20, 16), 1, 0, src, MakeRect(0, 0, 4, 2), false, -2, 1, 99);
    d.FrameRectAdd(MakeRect(1, 1, 23, 15), 1, 0x101010);
    TPlainDIBX copy(24, 16, 32, bottomUp);
    copy.CopyFrom(d);
    EXPECT_EQ(d.OpenLocks(), 0);
    EXPECT_EQ(src.OpenLocks(), 0);
    EXPECT_EQ(m.OpenLocks(), 0);
    std::vector<uint32_t> out;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) out.push_back(copy.GetPixel(x, y));
    return out;
}

TEST(RowOrder, BottomUpSurfacesDrawTheSame) {
    const std::vector<uint32_t> top = MixedScene(false);
    EXPECT_EQ(MixedScene(true), top);
    int changed = 0;
    for (uint32_t v : top) changed += v != 0x203040;
    EXPECT_GT(changed, 200);
}

}  // namespace
