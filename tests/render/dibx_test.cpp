#include "render/dibx.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/tesk.h"
#include "tests/support/plain_dibx.h"

namespace {

TMemoryStream FileStream(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::vector<char> b{std::istreambuf_iterator<char>(f), {}};
    TMemoryStream s;
    s.WriteBuffer(b.data(), int64_t(b.size()));
    s.SetPosition(0);
    return s;
}

// Counts the fills that reach it.
class CountingDIBX : public TPlainDIBX {
public:
    using TPlainDIBX::TPlainDIBX;
    void FillRect(const TRect& r, uint32_t value) override {
        ++fills;
        TPlainDIBX::FillRect(r, value);
    }
    int fills = 0;
};

}  // namespace

TEST(DIBX, DepthsAndPixels) {
    TDIBX s;
    EXPECT_EQ(1, s.Width());
    EXPECT_EQ(15, s.BitCount());
    s.SetSize(4, 3, 24);
    s.SetPixel(1, 1, s.ColorToPixel(0x0000FF));
    s.SetBitCount(15);
    EXPECT_EQ(15, s.BitCount());
    EXPECT_EQ(16, s.StorageBitCount());
    EXPECT_EQ(10, s.RedShift());
    EXPECT_EQ(0x7C00u, s.GetPixel(1, 1));
    s.SetBitCount(32);
    EXPECT_EQ(0xFF0000u, s.GetPixel(1, 1) & 0xFFFFFF);
    ASSERT_NE(nullptr, s.Lock(0, 0));
    s.Unlock();
    s.Clear();
    EXPECT_TRUE(s.IsEmpty());
}

TEST(DIBX, LoadsByExtensionAndSignature) {
    const std::string dib = std::string(VORQ_TEST_DATA) + "/dib/bmp_24bit.bmp";
    TDIBX a;
    a.SetSize(1, 1, 32);
    a.LoadFromFile(dib);  // the member forms call the free functions
    TDIB ref;
    ref.LoadFromFile(dib);
    ASSERT_EQ(ref.Width(), a.Width());
    EXPECT_EQ(32, a.BitCount());
    EXPECT_EQ(ref.GetPixel(2, 1), a.GetPixel(2, 1) & 0xFFFFFF);

    TDIBX b;
    b.SetSize(1, 1, 24);
    TMemoryStream s = FileStream(dib);
    LoadSurfaceFromStream(b, &s, 0);
    EXPECT_EQ(ref.GetPixel(0, 0), b.GetPixel(0, 0));

    // The PNG path: Pillow's decoding of the same file is the reference.
    TDIBX c;
    c.SetSize(1, 1, 24);
    TMemoryStream png = FileStream(std::string(VORQ_TEST_DATA) + "/tesk/rgb.png");
    c.LoadFromStream(&png, 0);
    ASSERT_EQ(37, c.Width());
    std::ifstream rgbFile(std::string(VORQ_TEST_DATA) + "/tesk/rgb.rgb", std::ios::binary);
    std::vector<uint8_t> rgb{std::istreambuf_iterator<char>(rgbFile), {}};
    EXPECT_EQ(uint32_t(rgb[3 * 40] << 16 | rgb[3 * 40 + 1] << 8 | rgb[3 * 40 + 2]), c.GetPixel(3, 1));

    // A layered image: its first frame.
    TTeskFrameList list;
    for (int i = 0; i < 2; ++i) {
        TTeskFrame& f = *list.AddFrame();
        f.Image.SetSize(3, 2, 24);
        f.Image.SetPixel(0, 0, 0x102030u + i);
    }
    TMemoryStream tes;
    list.SaveToStream(tes, 0);
    TDIBX d;
    d.SetSize(1, 1, 32);
    LoadSurfaceFromStream(d, &tes, 0);
    EXPECT_EQ(3, d.Width());
    EXPECT_EQ(0x102030u, d.GetPixel(0, 0) & 0xFFFFFF);

    // Anything else leaves the surface alone.
    TMemoryStream other;
    other.WriteBuffer("GIF89a", 6);
    LoadSurfaceFromStream(d, &other, 0);
    EXPECT_EQ(3, d.Width());
    LoadSurfaceFromStream(d, nullptr, 0);
    LoadSurfaceFromFile(d, dib + ".png");
    EXPECT_EQ(3, d.Width());
}

TEST(DIBX, SavesOnly24BitBmp) {
    TDIBX s;
    s.SetSize(5, 4, 16);
    s.SetPixel(4, 3, s.ColorToPixel(0x00FF00));
    const std::string dir = PrivateTempFolder();
    const std::string bmp = dir + "/dibx_save.bmp", png = dir + "/dibx_save.png";
    SaveSurfaceToFile(s, bmp);
    s.SaveToFile(png);
    EXPECT_FALSE(FileExists(png));
    TDIB back;
    back.LoadFromFile(bmp);
    EXPECT_EQ(24, back.BitCount());
    EXPECT_EQ(0x00FF00u, back.GetPixel(4, 3));
    std::remove(bmp.c_str());
}

TEST(DxDIBX, DisplayFormatColourCacheAndPalettes) {
    TDxDIBX s;
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(nullptr, s.Lock(0, 0));
    const int32_t before = DisplayBitCount();
    SetDisplayBitCount(16);
    s.SetSize(4, 4, 24);
    SetDisplayBitCount(before);
    EXPECT_EQ(16, s.BitCount());
    s.SetPixel(0, 0, 0x1234);
    for (int i = 0; i < 17; ++i) {
        const int32_t c = (i * 15) | (i * 7) << 8 | (255 - i) << 16;
        EXPECT_EQ(TCustomDIBX::PackColor(16, c), s.ColorToPixel(c)) << i;
    }
    EXPECT_EQ(TCustomDIBX::PackColor(16, 0), s.ColorToPixel(0));
    EXPECT_EQ(0x1234u, s.GetPixel(0, 0));  // the probe leaves the pixel alone
    EXPECT_EQ(-1, s.ColorToPixel(-5));

    uint8_t pal[1024] = {};
    EXPECT_THROW(s.SetPaletteEntries(pal, 0, 1), Exception);
    TDxDIBX p;
    p.SetSize(2, 2, 4);
    EXPECT_EQ(4, p.BitCount());
    pal[4] = 9;
    p.SetPaletteEntries(pal, 0, 16);
    uint8_t back[1024] = {};
    p.GetPalette(back);
    EXPECT_EQ(9, back[4]);
    EXPECT_THROW(p.SetPaletteEntries(pal, 10, 7), Exception);

    s.ReleaseSurface();
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(0u, s.GetPixel(0, 0));
}

TEST(DIBXWave, RunsOfEqualOffsetsAndShiftedRows) {
    CountingDIBX target(12, 6, 32);
    TDIBXWave wave;
    wave.SetTarget(&target);
    wave.SetSize(8, 4, 32);
    wave.SetPosition(0, 1);
    wave.FillRect(TRect{0, 0, 4, 6}, 7);
    EXPECT_EQ(1, target.fills);
    EXPECT_EQ(0u, target.GetPixel(0, 0));  // row 0 lies above the wave
    EXPECT_EQ(7u, target.GetPixel(0, 1));
    EXPECT_EQ(0u, target.GetPixel(0, 5));  // below it

    wave.Offsets() = {0, 2, 2, 5};
    TPlainDIBX src(2, 4, 32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 2; ++x) src.SetPixel(x, y, uint32_t(10 * y + x + 1));
    target.Fill(0);
    wave.Draw(1, 1, src, src.BoundsRect(), false, false, false);
    EXPECT_EQ(1u, target.GetPixel(1, 1));
    EXPECT_EQ(11u, target.GetPixel(3, 2));
    EXPECT_EQ(22u, target.GetPixel(4, 3));
    EXPECT_EQ(31u, target.GetPixel(6, 4));
    EXPECT_EQ(0u, target.GetPixel(1, 2));

    wave.AddClipRect(TRect{-5, -5, 100, 100});
    EXPECT_EQ((TRect{0, 1, 8, 5}), target.GetClipRect());
    wave.ClearClipRect();
    EXPECT_EQ(target.BoundsRect(), target.GetClipRect());
}

TEST(DIBX, FillWritesTheWholeBufferIgnoringTheClipSave24Bits) {
    struct Case {
        int32_t bits;
        uint32_t value;
        std::vector<uint8_t> pattern;  // the bytes every row repeats, padding included
    };
    const std::vector<Case> cases = {
        {1, 2, {0xFF}},
        {1, 0, {0x00}},
        {4, 0x1AB, {0xBB}},
        {8, 0x1234, {0x34}},
        {15, 0xABCD1234, {0x34, 0x12}},
        {16, 0x7E0, {0xE0, 0x07}},
        {32, 0x11223344, {0x44, 0x33, 0x22, 0x11}},
    };
    for (const Case& c : cases) {
        TDIBX s;
        s.SetSize(5, 3, c.bits);  // rows padded to four bytes at most depths
        s.Fill(c.value == 0 ? 1 : 0);
        s.SetClipRect(TRect{1, 1, 2, 2});
        s.Fill(c.value);
        const int stride = s.Surface().WidthBytes();
        for (int y = 0; y < 3; ++y)
            for (int i = 0; i < stride; ++i)
                ASSERT_EQ(s.Surface().ScanLineReadOnly(y)[i], c.pattern[size_t(i) % c.pattern.size()])
                    << c.bits << " bpp, row " << y << ", byte " << i;
    }
    // 24 bits: a rectangle fill of the bounds, kept to the clip.
    TDIBX s;
    s.SetSize(4, 3, 24);
    s.SetClipRect(TRect{1, 1, 3, 2});
    s.Fill(0x102030);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(s.GetPixel(x, y), (x >= 1 && x < 3 && y == 1) ? 0x102030u : 0u) << x << "," << y;
}
