// Depth conversion: exact results where the rules define them (fit
// mapping, repacking, the first steps of the diffusion), properties where
// they do not (palette sizes, colour error of median cut and dithering).
#include "render/color_reduce.h"
#include "render/dib_surface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

TDIBSurface Gradient(int w, int h) {
    TDIBSurface s;
    s.SetSize(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t r = x * 255 / (w - 1), g = y * 255 / (h - 1), b = (x + y) * 255 / (w + h - 2);
            s.SetPixel(x, y, r << 16 | g << 8 | b);
        }
    return s;
}

std::set<uint32_t> Indexes(const TDIB& d) {
    std::set<uint32_t> used;
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x) used.insert(d.GetPixel(x, y));
    return used;
}

// Mean absolute channel difference between a converted surface and the
// source 24-bit colours.
double MeanError(const TDIBSurface& out, const TDIBSurface& orig) {
    double sum = 0;
    for (int y = 0; y < orig.Height(); ++y)
        for (int x = 0; x < orig.Width(); ++x) {
            uint8_t r, g, b;
            out.PixelToRGB(out.GetPixel(x, y), r, g, b);
            const uint32_t c = orig.GetPixel(x, y);
            sum += std::abs(r - static_cast<int>(c >> 16)) + std::abs(g - static_cast<int>((c >> 8) & 255)) +
                   std::abs(b - static_cast<int>(c & 255));
        }
    return sum / (3.0 * orig.Width() * orig.Height());
}

}  // namespace

TEST(ColorReduce, ExactPalettesKeepEveryColourInOrderOfAppearance) {
    TDIBSurface s;
    s.SetSize(16, 16, 24);
    for (int i = 0; i < 256; ++i) s.SetPixel(i % 16, i / 16, static_cast<uint32_t>(i * 0x010305 + 0x400000));
    const TDIBSurface orig(s);
    s.ConvertBitCount(8, 255, true);
    EXPECT_EQ(s.BitCount(), 8);
    EXPECT_EQ(Indexes(s).size(), 256u);
    EXPECT_EQ(s.GetPixel(0, 0), 0u);  // entry 0 is the top-left colour
    EXPECT_EQ(MeanError(s, orig), 0.0);
    // The engine's n = 0 means as many colours as the palette holds.
    TDIBSurface z(orig);
    z.ConvertBitCount(8, 0, true);
    EXPECT_EQ(MeanError(z, orig), 0.0);

    // Two colours to 1 bpp pass through 4 bpp and keep their order.
    TDIBSurface two;
    two.SetSize(3, 2, 24);
    two.FillRect(TRect{0, 0, 3, 2}, 0x3366CC);
    two.SetPixel(1, 1, 0x010203);
    two.ConvertBitCount(1, 0, true);
    EXPECT_EQ(two.BitCount(), 1);
    EXPECT_EQ(two.ColorTable()[0], (TRGBQuad{0xCC, 0x66, 0x33, 0}));
    EXPECT_EQ(two.ColorTable()[1], (TRGBQuad{0x03, 0x02, 0x01, 0}));
    EXPECT_EQ(two.GetPixel(1, 1), 1u);
    EXPECT_EQ(two.GetPixel(2, 1), 0u);

    // A 1-bit picture of two colours fits 8 and 4 bpp with its own table.
    TDIBSurface mono;
    mono.SetSize(9, 1, 1);
    TRGBQuad t[2] = {{10, 20, 30, 0}, {200, 100, 50, 0}};
    mono.SetColorTable(t, 0, 2);
    mono.SetPixel(8, 0, 1);
    TDIBSurface m8(mono), m4(mono);
    m8.ConvertBitCount(8, 0, false);
    EXPECT_EQ(m8.GetPixel(8, 0), 1u);
    EXPECT_EQ(m8.ColorTable()[1], t[1]);
    m4.ConvertBitCount(4, 0, false);
    EXPECT_EQ(m4.GetPixel(8, 0), 1u);
    EXPECT_EQ(m4.GetPixel(7, 0), 0u);
}

TEST(ColorReduce, RepackingCutsAndWidensFields) {
    TDIBSurface s;
    s.SetSize(2, 1, 16);
    s.SetPixel(0, 0, 0xFFFF);
    s.SetPixel(1, 0, 0x8410);
    s.ConvertBitCount(24, 0, true);
    EXPECT_EQ(s.GetPixel(0, 0), 0xF8FCF8u);  // 248, 252, 248: no widening here
    EXPECT_EQ(s.GetPixel(1, 0), 0x808080u);
    s.ConvertBitCount(32, 0, true);
    EXPECT_EQ(s.GetPixel(0, 0), 0xFFF8FCF8u);  // the fourth byte is 0xFF
    s.ConvertBitCount(15, 0, false);
    EXPECT_EQ(s.GetBitCount(), 15);
    EXPECT_EQ(s.GetPixel(0, 0), 0x7FFFu);
    s.ConvertBitCount(16, 0, true);  // 16-bit sources are not dithered
    EXPECT_EQ(s.GetPixel(0, 0), 0xFFDFu);
    // Undithered 24 to 16 bits is plain truncation.
    TDIBSurface g = Gradient(20, 7);
    TDIBSurface g16(g);
    g16.ConvertBitCount(16, 0, false);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint32_t c = g.GetPixel(x, y);
            EXPECT_EQ(g16.GetPixel(x, y), (c >> 19) << 11 | ((c >> 10) & 63) << 5 | ((c & 255) >> 3));
        }
}

TEST(ColorReduce, DiffusionToSixteenBits) {
    // Blue 4 is half a step of a 5-bit channel: level 1, error -4, of which
    // 7/16 reach the next pixel: (64 - 28) div 16 = 2, level 0.
    TDIBSurface s;
    s.SetSize(2, 1, 24);
    s.SetPixel(0, 0, 4);
    s.SetPixel(1, 0, 4);
    s.ConvertBitCount(15, 0, true);
    EXPECT_EQ(s.GetPixel(0, 0), 1u);
    EXPECT_EQ(s.GetPixel(1, 0), 0u);
    // Over a smooth gradient the diffused levels keep the mean red of the
    // source; plain truncation loses about half a step.
    const TDIBSurface g = Gradient(64, 32);
    TDIBSurface d(g), t(g);
    d.ConvertBitCount(15, 0, true);
    t.ConvertBitCount(15, 0, false);
    double biasD = 0, biasT = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const int orig = static_cast<int>((g.GetPixel(x, y) >> 16) & 255);
            biasD += static_cast<int>((d.GetPixel(x, y) >> 10) & 31) * 8 - orig;
            biasT += static_cast<int>((t.GetPixel(x, y) >> 10) & 31) * 8 - orig;
        }
    EXPECT_LT(std::abs(biasD / 2048), 1.0);
    EXPECT_LT(biasT / 2048, -2.5);
}

TEST(ColorReduce, MedianCutBoundsThePaletteAndTheError) {
    const TDIBSurface g = Gradient(64, 48);  // far more than 256 colours
    for (bool dither : {false, true}) {
        SCOPED_TRACE(dither);
        TDIBSurface a(g);
        a.ConvertBitCount(8, 0, dither);
        // n = 0 must not wrap the box counter: the palette fills up rather
        // than collapsing to one box.
        EXPECT_GT(Indexes(a).size(), 200u);
        EXPECT_LT(MeanError(a, g), 6.0);
        TDIBSurface b(g);
        b.ConvertBitCount(8, 15, dither);
        EXPECT_LE(Indexes(b).size(), 16u);
        EXPECT_GE(Indexes(b).size(), 8u);
        EXPECT_LT(MeanError(b, g), 30.0);
        TDIBSurface c(g);
        c.ConvertBitCount(4, 0, dither);
        EXPECT_EQ(c.BitCount(), 4);
        EXPECT_LE(Indexes(c).size(), 16u);
        EXPECT_LT(MeanError(c, g), 30.0);
        TDIBSurface m(g);
        m.ConvertBitCount(1, 0, dither);
        EXPECT_EQ(m.BitCount(), 1);
        EXPECT_EQ(Indexes(m).size(), 2u);
        EXPECT_NE(m.ColorTable()[0], m.ColorTable()[1]);
    }
    // Palette entries sit at the middle of their boxes' cells.
    TDIBSurface few;
    few.SetSize(4, 1, 24);
    for (int i = 0; i < 4; ++i) few.SetPixel(i, 0, static_cast<uint32_t>(i) * 0x404040);
    TDIBSurface f(few);
    f.ConvertBitCount(8, 1, false);  // two boxes for four colours
    EXPECT_EQ(Indexes(f).size(), 2u);
    EXPECT_EQ(f.GetPixel(0, 0), f.GetPixel(1, 0));
    EXPECT_NE(f.GetPixel(1, 0), f.GetPixel(2, 0));
    const TRGBQuad e = f.ColorTable()[f.GetPixel(0, 0)];
    EXPECT_EQ(e.rgbRed, (0 + 8) * 4);    // red cells 0..8
    EXPECT_EQ(e.rgbGreen, (0 + 16) * 2);  // green cells 0..16
}

TEST(ColorReduce, FastDibCountsColoursByDepth) {
    TFastDIB f;
    f.SetSize(5, 2, 4);
    f.SetIndex(4, 1, 9);  // the odd last pixel counts too
    EXPECT_EQ(f.CountColors(), 2);
    f.SetSize(3, 1, 1);
    EXPECT_EQ(f.CountColors(), 0);  // two equal entries
    f.Colors[1] = {1, 1, 1, 0};
    EXPECT_EQ(f.CountColors(), 2);
    f.SetSize(2, 1, 32);
    f.Row(0)[3] = 0x55;  // the fourth byte takes no part
    EXPECT_EQ(f.CountColors(), 1);
    EXPECT_THROW(TDIBSurface().ConvertBitCount(12, 0, true), EInvalidGraphic);
}
