// TDIBSurface blits, fills and reshaping against the rules they follow,
// worked by hand on small surfaces.
#include "render/dib_surface.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

namespace {

TDIBSurface Make(int w, int h, int bpp, uint32_t fill = 0) {
    TDIBSurface s;
    s.SetSize(w, h, bpp);
    s.FillRect(TRect{0, 0, w, h}, fill);
    return s;
}

TRect All(const TDIB& d) { return TRect{0, 0, d.Width(), d.Height()}; }

}  // namespace

TEST(DIBSurface, DepthAsCallersSeeIt) {
    TDIBSurface s;
    s.SetSize(3, 2, 15);
    EXPECT_EQ(s.GetBitCount(), 15);
    EXPECT_EQ(s.StorageBitCount(), 16);
    EXPECT_EQ(s.PixelFormat().RBitMask, 0x7C00u);
    s.SetSize(3, 2, 16);
    EXPECT_EQ(s.GetBitCount(), 16);
    EXPECT_EQ(s.PixelFormat().GBitMask, 0x7E0u);
    // The 5-5-5 choice survives a conversion done through the bitmap itself.
    s.SetPixelFormat(MakeBitFieldFormat(5, 5, 5));
    s.SetBitCount(16);
    EXPECT_EQ(s.GetBitCount(), 15);
    EXPECT_EQ(s.Pitch(), 8);
    EXPECT_NE(s.Bits(), nullptr);
    s.CreateMask();
    s.SetSize(4, 2, 24);  // a mask of the old size does not stay
    EXPECT_EQ(s.Mask(), nullptr);
}

TEST(DIBSurface, FillAndCopyAreClipped) {
    TDIBSurface d = Make(6, 4, 8, 1);
    d.FillRect(TRect{-5, 2, 3, 99}, 7);
    EXPECT_EQ(d.GetPixel(0, 3), 7u);
    EXPECT_EQ(d.GetPixel(2, 2), 7u);
    EXPECT_EQ(d.GetPixel(3, 2), 1u);
    EXPECT_EQ(d.GetPixel(0, 1), 1u);

    TDIBSurface s = Make(4, 3, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) s.SetPixel(x, y, 10 * y + x + 20);
    TDIBSurface a = Make(6, 4, 8);
    a.CopyRect(-2, 1, All(s), s);  // starts two pixels into the source
    EXPECT_EQ(a.GetPixel(0, 1), 22u);
    EXPECT_EQ(a.GetPixel(1, 3), 43u);
    EXPECT_EQ(a.GetPixel(2, 1), 0u);
    TDIBSurface b = Make(6, 4, 8);
    b.ClipRect = TRect{1, 1, 3, 99};  // kept inside the surface when used
    b.Copy(0, 0, s);
    EXPECT_EQ(b.GetPixel(0, 0), 0u);
    EXPECT_EQ(b.GetPixel(1, 1), 31u);
    EXPECT_EQ(b.GetPixel(2, 2), 42u);
    EXPECT_EQ(b.GetPixel(3, 2), 0u);
    // Copying a surface onto itself with overlap reads the old pixels.
    s.CopyRect(1, 0, TRect{0, 0, 3, 3}, s);
    EXPECT_EQ(s.GetPixel(1, 0), 20u);
    EXPECT_EQ(s.GetPixel(3, 2), 42u);
    // 4-bit rows at odd positions.
    TDIBSurface n = Make(5, 1, 4), m = Make(3, 1, 4);
    m.SetPixel(0, 0, 9), m.SetPixel(1, 0, 10), m.SetPixel(2, 0, 11);
    n.Copy(1, 0, m);
    EXPECT_EQ(n.GetPixel(0, 0), 0u);
    EXPECT_EQ(n.GetPixel(1, 0), 9u);
    EXPECT_EQ(n.GetPixel(3, 0), 11u);
}

TEST(DIBSurface, CopyBetweenFormatsConvertsColours) {
    TDIBSurface src = Make(2, 1, 24);
    src.SetPixel(0, 0, 0xFF0000);  // red
    src.SetPixel(1, 0, 0x123456);
    TDIBSurface d16 = Make(2, 1, 16);
    d16.Copy(0, 0, src);
    EXPECT_EQ(d16.GetPixel(0, 0), 0xF800u);
    EXPECT_EQ(d16.GetPixel(1, 0), (0x12u >> 3) << 11 | (0x34u >> 2) << 5 | (0x56u >> 3));
    TDIBSurface p = Make(3, 1, 8);
    TRGBQuad table[256] = {};
    table[1] = {0, 0, 250, 0};
    table[2] = {0x50, 0x30, 0x10, 0};
    p.SetColorTable(table);
    p.CopyRect(1, 0, All(src), src);
    EXPECT_EQ(p.GetPixel(0, 0), 0u);
    EXPECT_EQ(p.GetPixel(1, 0), 1u);
    EXPECT_EQ(p.GetPixel(2, 0), 2u);
    EXPECT_EQ(p.RGBToPixel(0x10, 0x30, 0x50), 2u);
    uint8_t r, g, b;
    p.PixelToRGB(1, r, g, b);
    EXPECT_EQ(r, 250);
    d16.PixelToRGB(0xF800, r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
}

TEST(DIBSurface, ColourKeyedCopies) {
    for (int bpp : {4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bpp);
        TDIBSurface s = Make(3, 1, bpp);
        s.SetPixel(0, 0, 5), s.SetPixel(1, 0, 3), s.SetPixel(2, 0, 6);
        TDIBSurface d = Make(3, 1, bpp, 1);
        d.CopyTransparent(0, 0, 3, All(s), s);
        EXPECT_EQ(d.GetPixel(0, 0), 5u);
        EXPECT_EQ(d.GetPixel(1, 0), 1u);
        EXPECT_EQ(d.GetPixel(2, 0), 6u);
        d.CopyTransparent(0, 0, -1, All(s), s);  // no key
        EXPECT_EQ(d.GetPixel(1, 0), 3u);
    }
    // The key of a 24-bit surface is compared on 24 bits.
    TDIBSurface s = Make(1, 1, 24, 0xABCDEF), d = Make(1, 1, 24, 1);
    d.CopyTransparent(0, 0, static_cast<int32_t>(0x7FABCDEF), All(s), s);
    EXPECT_EQ(d.GetPixel(0, 0), 1u);
    // Another format draws nothing.
    TDIBSurface o = Make(1, 1, 32, 7);
    d.CopyTransparent(0, 0, 3, All(o), o);
    EXPECT_EQ(d.GetPixel(0, 0), 1u);
}

TEST(DIBSurface, ConstantAlpha) {
    // Palette surfaces: a screen door of level alpha div 16.
    TDIBSurface s = Make(8, 8, 8, 9), d = Make(8, 8, 8, 0);
    d.DrawAlpha(0, 0, 128, -1, All(s), s);
    int drawn = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) drawn += d.GetPixel(x, y) == 9;
    EXPECT_EQ(drawn, 9 * 4);
    EXPECT_EQ(d.GetPixel(0, 0), 9u);   // order 0
    EXPECT_EQ(d.GetPixel(1, 1), 9u);   // order 4
    EXPECT_EQ(d.GetPixel(2, 1), 0u);   // order 14
    EXPECT_EQ(d.GetPixel(0, 3), 0u);   // order 15
    d = Make(8, 8, 8, 0);
    d.DrawAlpha(0, 0, 240, -1, All(s), s);
    EXPECT_EQ(d.GetPixel(3, 3), 9u);
    d = Make(8, 8, 8, 0);
    d.DrawAlpha(0, 0, 0, -1, All(s), s);
    EXPECT_EQ(d.GetPixel(0, 0), 0u);

    TDIBSurface s24 = Make(1, 1, 24, 0x10C8FF), d24 = Make(1, 1, 24, 0x204000);
    d24.DrawAlpha(0, 0, 100, -1, All(s24), s24);
    const uint32_t want24 = ((0x20u * 155 + 0x10 * 100) / 255) << 16 | ((0x40u * 155 + 0xC8 * 100) / 255) << 8 |
                            ((0u * 155 + 0xFF * 100) / 255);
    EXPECT_EQ(d24.GetPixel(0, 0), want24);
    TDIBSurface s32 = Make(1, 1, 32, 0x10C8FF), d32 = Make(1, 1, 32, 0x77204000);
    d32.DrawAlpha(0, 0, 100, -1, All(s32), s32);
    const uint32_t want32 = 0x77000000u | ((0x20u * 155 + 0x10 * 100) >> 8) << 16 |
                            ((0x40u * 155 + 0xC8 * 100) >> 8) << 8 | ((0xFFu * 100) >> 8);
    EXPECT_EQ(d32.GetPixel(0, 0), want32);
    TDIBSurface s16 = Make(1, 1, 16, 0xFFFF), d16 = Make(1, 1, 16, 0x0000);
    d16.DrawAlpha(0, 0, 128, -1, All(s16), s16);
    const uint32_t want16 = ((0xF800u * 128 / 255) & 0xF800) | ((0x7E0u * 128 / 255) & 0x7E0) | (0x1Fu * 128 / 255);
    EXPECT_EQ(d16.GetPixel(0, 0), want16);
    // Keyed pixels are left out.
    d16 = Make(1, 1, 16, 0);
    d16.DrawAlpha(0, 0, 128, 0xFFFF, All(s16), s16);
    EXPECT_EQ(d16.GetPixel(0, 0), 0u);
}

TEST(DIBSurface, MaskedDraws) {
    TDIBSurface s = Make(3, 1, 24, 0xFFFFFF);
    s.CreateMask();
    s.Mask()->SetPixel(0, 0, 0);
    s.Mask()->SetPixel(1, 0, 100);
    s.Mask()->SetPixel(2, 0, 255);
    TDIBSurface d = Make(3, 1, 24, 0x000000);
    d.DrawMasked(0, 0, 255, All(s), s);
    EXPECT_EQ(d.GetPixel(0, 0), 0u);
    EXPECT_EQ(d.GetPixel(1, 0), 0x636363u);  // (0 * 155 + 255 * 100) shr 8 = 99
    EXPECT_EQ(d.GetPixel(2, 0), 0xFFFFFFu);
    d = Make(3, 1, 24, 0);
    d.DrawMasked(0, 0, 128, All(s), s);  // mask 255 becomes 127
    EXPECT_EQ(d.GetPixel(2, 0), 0x7E7E7Eu);
    // Palette surfaces take the source where the mask is at least 128.
    TDIBSurface p = Make(3, 1, 8, 4);
    p.CreateMask();
    p.Mask()->SetPixel(0, 0, 127);
    p.Mask()->SetPixel(1, 0, 128);
    TDIBSurface q = Make(3, 1, 8, 1);
    q.DrawMasked(0, 0, 255, All(p), p);
    EXPECT_EQ(q.GetPixel(0, 0), 1u);
    EXPECT_EQ(q.GetPixel(1, 0), 4u);
    EXPECT_EQ(q.GetPixel(2, 0), 1u);
}

TEST(DIBSurface, ExtractCropMirrorAndTrim) {
    TDIBSurface s = Make(5, 4, 4, 0);
    s.SetPixel(1, 1, 3);
    s.SetPixel(3, 2, 7);
    s.CreateMask();
    s.Mask()->SetPixel(3, 2, 200);
    EXPECT_EQ(s.BoundingRect(0), (TRect{1, 1, 4, 3}));
    EXPECT_EQ(s.BoundingRect(-1), (TRect{0, 0, 5, 4}));
    TDIBSurface e;
    e.Extract(s, TRect{3, 2, 6, 3}, true);  // one column outside the source
    EXPECT_EQ(e.Width(), 3);
    EXPECT_EQ(e.GetPixel(0, 0), 7u);
    ASSERT_NE(e.Mask(), nullptr);
    EXPECT_EQ(e.Mask()->GetPixel(0, 0), 200u);
    TDIBSurface t(s);
    EXPECT_EQ(t.TrimToKey(0), (TRect{1, 1, 4, 3}));
    EXPECT_EQ(t.Width(), 3);
    EXPECT_EQ(t.GetPixel(0, 0), 3u);
    EXPECT_EQ(t.GetPixel(2, 1), 7u);
    EXPECT_EQ(t.Mask()->GetPixel(2, 1), 200u);
    TDIBSurface blank = Make(4, 4, 8, 5);
    EXPECT_EQ(blank.TrimToKey(5), (TRect{0, 0, 1, 1}));
    EXPECT_EQ(blank.Width(), 1);

    s.MirrorHorizontal();
    EXPECT_EQ(s.GetPixel(3, 1), 3u);
    EXPECT_EQ(s.GetPixel(1, 2), 7u);
    EXPECT_EQ(s.Mask()->GetPixel(1, 2), 200u);
    s.MirrorVertical();
    EXPECT_EQ(s.GetPixel(3, 2), 3u);
    EXPECT_EQ(s.GetPixel(1, 1), 7u);
}

TEST(DIBSurface, Resampling) {
    // Without smoothing: nearest pixels at the same depth.
    TDIBSurface s = Make(2, 2, 8);
    s.SetPixel(0, 0, 1), s.SetPixel(1, 0, 2), s.SetPixel(0, 1, 3), s.SetPixel(1, 1, 4);
    TDIBSurface n(s);
    n.Resize(4, 4, false);
    EXPECT_EQ(n.GetPixel(1, 1), 1u);
    EXPECT_EQ(n.GetPixel(2, 3), 4u);

    // Smooth enlarging interpolates, reading beyond the edge as black.
    TDIBSurface w = Make(2, 1, 24, 0xC8C8C8);
    w.CreateMask();
    w.FillMask();
    w.Resize(4, 2, true);
    EXPECT_EQ(w.GetPixel(0, 0), 0xC8C8C8u);
    EXPECT_EQ(w.GetPixel(2, 0), 0xC8C8C8u);
    EXPECT_EQ(w.GetPixel(3, 0), 0x646464u);  // halfway to the black beyond
    EXPECT_EQ(w.GetPixel(0, 1), 0x646464u);
    ASSERT_NE(w.Mask(), nullptr);
    EXPECT_EQ(w.Mask()->Width(), 4);
    EXPECT_EQ(w.Mask()->GetPixel(3, 0), 128u);  // 127.5 rounds up

    // Smooth shrinking: block means, rounded, leaving out the excluded colour.
    TDIBSurface k = Make(4, 2, 24, 0);
    k.SetPixel(0, 0, 0x000010), k.SetPixel(1, 0, 0x000011), k.SetPixel(0, 1, 0x000020), k.SetPixel(1, 1, 0xFF00FF);
    k.FillRect(TRect{2, 0, 4, 2}, 0xFF00FF);
    k.Resize(2, 1, true, 0xFF00FF);
    EXPECT_EQ(k.GetPixel(0, 0), 0x000016u);  // (16 + 17 + 32) / 3 = 21.67
    EXPECT_EQ(k.GetPixel(1, 0), 0xFF00FFu);  // only excluded pixels
    // 16-bit surfaces keep their format.
    TDIBSurface f = Make(4, 4, 15, 0x7FFF);
    f.Resize(2, 2, true);
    EXPECT_EQ(f.GetBitCount(), 15);
    EXPECT_EQ(f.GetPixel(1, 1), 0x7FFFu);
}

TEST(DIBSurface, JpegOfAnyDepthDecodesToThePicture) {
    // Decoded with libjpeg's own reader: size and colours within JPEG's loss.
    TDIBSurface s;
    s.SetSize(37, 21, 16);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) s.SetPixel(x, y, x < 18 ? 0xF800 : 0x001F);  // red | blue
    const std::vector<uint8_t> jpeg = s.ToJpeg(90);
    ASSERT_GT(jpeg.size(), 100u);
    jpeg_decompress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    ASSERT_EQ(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    EXPECT_EQ(info.output_width, 37u);
    EXPECT_EQ(info.output_height, 21u);
    std::vector<uint8_t> row(37 * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&info, &r, 1);
        EXPECT_GT(row[3 * 2], 220);      // red on the left
        EXPECT_LT(row[3 * 2 + 2], 40);
        EXPECT_GT(row[3 * 34 + 2], 220);  // blue on the right
        EXPECT_LT(row[3 * 34], 40);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    EXPECT_TRUE(TDIBSurface().ToJpeg(70).empty());
}

TEST(DIBSurface, MaskedDrawWithoutMaskIsOpaqueAndStoresDetach) {
    TDIBSurface s = Make(2, 1, 24, 0xFFFFFF), d = Make(2, 1, 24, 0);
    d.DrawMasked(0, 0, 255, All(s), s);
    EXPECT_EQ(d.GetPixel(1, 0), 0xFFFFFFu);
    d = Make(2, 1, 24, 0);
    d.DrawMasked(0, 0, 128, All(s), s);
    EXPECT_EQ(d.GetPixel(0, 0), 0x7E7E7Eu);  // 255 * 128 shr 8 = 127, then (255 * 127) shr 8 = 126
    TDIBSurface o = Make(2, 1, 16, 0xFFFF);
    d.DrawMasked(0, 0, 255, All(o), o);  // another format: nothing
    EXPECT_EQ(d.GetPixel(0, 0), 0x7E7E7Eu);
    TDIBSurface shared(d);
    EXPECT_TRUE(shared.SharesStoreWith(d));
    shared.MakePrivate();
    EXPECT_FALSE(shared.SharesStoreWith(d));
}
