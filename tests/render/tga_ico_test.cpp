// TGA and icon codecs against files written by Pillow, ImageMagick or
// make_golden.py and decoded by them (tests/data/dib), against hostile
// files made here, and our writers against what Pillow decoded from them.
#include "render/ico.h"
#include "render/tga.h"

#include "dib_golden.h"
#include "platform/text/codepage.h"
#include "render/dib_surface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace dibtest;

namespace {

const std::string kBad = Sjis("不正な DIB です");
// The same refusal naming the field that was cut short or out of range.
std::string BadField(const char* field) { return kBad + " (" + field + ")"; }

void ExpectRgb(const TDIBSurface& s, const Golden& g, int bits = 8, const std::vector<uint8_t>* onlyWhere = nullptr) {
    ASSERT_EQ(s.Width(), g.width);
    ASSERT_EQ(s.Height(), g.height);
    int bad = 0;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            const size_t i = static_cast<size_t>(y) * g.width + x;
            if (onlyWhere && (*onlyWhere)[i] == 0) continue;
            uint8_t r, gg, b;
            s.PixelToRGB(s.GetPixel(x, y), r, gg, b);
            const uint8_t* w = &g.rgb[i * 3];
            const int sh = 8 - bits;
            if ((r >> sh) != (w[0] >> sh) || (gg >> sh) != (w[1] >> sh) || (b >> sh) != (w[2] >> sh))
                if (++bad < 4) ADD_FAILURE() << "pixel " << x << "," << y;
        }
    EXPECT_EQ(bad, 0);
}

std::string TgaError(const std::vector<uint8_t>& bytes) {
    try {
        TMemoryStream s = StreamOf(bytes);
        TDIBSurface d;
        LoadTGA(d, s, false);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return "(no error)";
}

std::string IconError(const std::vector<uint8_t>& bytes, int index = 0) {
    try {
        TMemoryStream s = StreamOf(bytes);
        TDIBSurface d;
        LoadIcon(d, s, index);
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return "(no error)";
}

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }

// Leaves a written file and its expected RGB (and alpha) for
// make_golden.py --check-writers, and compares with the verified copy.
void CheckWritten(const std::string& file, TMemoryStream& out, const TDIBSurface& expect,
                  const std::vector<uint8_t>* alpha = nullptr) {
    std::filesystem::create_directories(WriterOutDir());
    WriteFile(WriterOutDir() + file, out.Memory(), static_cast<size_t>(out.GetSize()));
    std::vector<uint8_t> rgb;
    for (int y = 0; y < expect.Height(); ++y)
        for (int x = 0; x < expect.Width(); ++x) {
            uint8_t r, g, b;
            expect.PixelToRGB(expect.GetPixel(x, y), r, g, b);
            rgb.insert(rgb.end(), {r, g, b});
        }
    const std::string base = file.substr(0, file.find('.'));
    WriteFile(WriterOutDir() + base + ".rgb", rgb.data(), rgb.size());
    if (alpha) WriteFile(WriterOutDir() + base + ".alpha", alpha->data(), alpha->size());
    const auto verified = ReadBytes(DataPath("written/" + file));
    EXPECT_TRUE(verified == std::vector<uint8_t>(out.Memory(), out.Memory() + out.GetSize())) << file;
}

TDIBSurface LoadTgaFile(const std::string& name, bool alpha = false) {
    auto bytes = ReadBytes(DataPath(name));
    TMemoryStream s = StreamOf(bytes);
    TDIBSurface d;
    EXPECT_TRUE(LoadTGA(d, s, alpha));
    return d;
}

}  // namespace

TEST(TGARead, GoldenFilesOfEachType) {
    for (const char* name : {"tga_type1", "tga_type2", "tga_type9", "tga_type10", "tga_type10_32"}) {
        SCOPED_TRACE(name);
        const TDIBSurface d = LoadTgaFile(std::string(name) + ".tga");
        ExpectRgb(d, LoadGolden(name));
    }
    EXPECT_EQ(LoadTgaFile("tga_type9.tga").BitCount(), 8);
    EXPECT_EQ(LoadTgaFile("tga_type10_32.tga").BitCount(), 32);

    // 16-bit pixels become 5-6-5: 0x7FFF is 0xFFDF.
    const TDIBSurface t = LoadTgaFile("tga_16_topdown.tga");
    EXPECT_EQ(t.GetBitCount(), 16);
    EXPECT_EQ(t.GetPixel(0, 0), 0xFFDFu);
    ExpectRgb(t, LoadGolden("tga_16_topdown"), 5);
    // The extension area's key colour (10, 20, 30) as a 5-6-5 pixel.
    EXPECT_EQ(t.TransparentColor, static_cast<int32_t>((10 >> 3) << 11 | (20 >> 2) << 5 | (30 >> 3)));
    const TDIBSurface m = LoadTgaFile("tga_16_mirrored.tga");
    ExpectRgb(m, LoadGolden("tga_16_mirrored"), 5);
    EXPECT_EQ(m.TransparentColor, -1);

    // With the alpha flag a 32-bit picture gets its mask and becomes 24-bit.
    const TDIBSurface a = LoadTgaFile("tga_type10_32.tga", true);
    EXPECT_EQ(a.BitCount(), 24);
    ASSERT_NE(a.Mask(), nullptr);
    const Golden g = LoadGolden("tga_type10_32");
    ExpectRgb(a, g);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) EXPECT_EQ(a.Mask()->GetPixel(x, y), g.alpha[y * g.width + x]);
}

TEST(TGARead, HostileFilesAreRefusedAndOtherTypesLoadNothing) {
    const auto raw = ReadBytes(DataPath("tga_type1.tga"));
    {
        auto b = raw;
        b.resize(18 + 256 * 3 + 9 * 5 - 3);  // pixels cut short (and no footer)
        EXPECT_EQ(TgaError(b), BadField("pixels"));
        EXPECT_EQ(TgaError({0, 1, 1}), BadField("first map entry"));  // header cut short
    }
    {
        auto b = raw;
        Put16(b, 3, 250);  // map from 250 with 64 entries: past 256
        EXPECT_EQ(TgaError(b), kBad);
        Put16(b, 3, 0);
        Put16(b, 5, 3);  // only three entries: the pixels index further
        EXPECT_EQ(TgaError(b), kBad);
    }
    {
        auto b = raw;
        Put16(b, 12, 65535);
        Put16(b, 14, 65535);
        EXPECT_EQ(TgaError(b), kBad);
        Put16(b, 12, 0);
        EXPECT_EQ(TgaError(b), kBad);
    }
    {
        auto b = ReadBytes(DataPath("tga_type10.tga"));
        b.resize(40);  // packets end before the picture is full
        EXPECT_EQ(TgaError(b), kBad);
        auto c = ReadBytes(DataPath("tga_type10.tga"));
        c.resize(18);
        c.insert(c.end(), {0xFF, 1, 2, 3});  // a run of 128 in a 45-pixel picture
        EXPECT_EQ(TgaError(c), kBad);
    }
    {
        auto b = ReadBytes(DataPath("tga_type2.tga"));
        b[16] = 12;  // pixel depth
        EXPECT_EQ(TgaError(b), kBad);
        b[16] = 24;
        b[2] = 3;  // grey picture: not read
        TMemoryStream s = StreamOf(b);
        TDIBSurface d;
        d.SetSize(2, 2, 8);
        EXPECT_FALSE(LoadTGA(d, s, false));
        EXPECT_EQ(d.Width(), 2);
    }
    {
        // An extension-area offset past the file is ignored.
        auto b = ReadBytes(DataPath("tga_16_topdown.tga"));
        Put32(b, b.size() - 26, 0x7FFFFFFF);
        TMemoryStream s = StreamOf(b);
        TDIBSurface d;
        EXPECT_TRUE(LoadTGA(d, s, false));
        EXPECT_EQ(d.TransparentColor, -1);
    }
}

TEST(TGAWrite, EveryDepthRawAndRunLengthCheckedByPillow) {
    struct Case { const char* src; int bpp; };
    for (const Case& c : {Case{"bmp_8bit.bmp", 8}, Case{"bmp_4bit.bmp", 4}, Case{"bmp_16_555.bmp", 15},
                          Case{"bmp_16_565.bmp", 16}, Case{"bmp_24bit.bmp", 24}, Case{"bmp_32_fields.bmp", 32}}) {
        TDIBSurface s;
        auto bytes = ReadBytes(DataPath(c.src));
        TMemoryStream in = StreamOf(bytes);
        s.LoadFromStream(in);
        if (c.bpp == 32)
            for (int y = 0; y < s.Height(); ++y)
                for (int x = 0; x < s.Width(); ++x) s.ScanLine(y)[4 * x + 3] = 0xFF;  // opaque for the decoders
        ASSERT_EQ(s.GetBitCount(), c.bpp);
        for (bool rle : {false, true}) {
            SCOPED_TRACE(std::string(c.src) + (rle ? " rle" : " raw"));
            TMemoryStream out;
            SaveTGA(s, out, rle);
            CheckWritten(std::string("w_tga_") + std::to_string(c.bpp) + (rle ? "_rle" : "_raw") + ".tga", out, s);
            out.SetPosition(0);
            TDIBSurface back;
            ASSERT_TRUE(LoadTGA(back, out, false));
            EXPECT_EQ(back.BitCount(), c.bpp <= 8 ? 8 : c.bpp == 15 ? 16 : c.bpp);
            for (int y = 0; y < s.Height(); ++y)
                for (int x = 0; x < s.Width(); ++x) {
                    uint8_t r1, g1, b1, r2, g2, b2;
                    s.PixelToRGB(s.GetPixel(x, y), r1, g1, b1);
                    back.PixelToRGB(back.GetPixel(x, y), r2, g2, b2);
                    const int sh = c.bpp == 15 || c.bpp == 16 ? 3 : 0;
                    EXPECT_EQ(r1 >> sh, r2 >> sh);
                    EXPECT_EQ(g1 >> sh, g2 >> sh);
                    EXPECT_EQ(b1 >> sh, b2 >> sh);
                }
        }
    }
}

TEST(IconRead, GoldenIconsAndCursor) {
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        auto bytes = ReadBytes(DataPath("ico_two.ico"));
        TMemoryStream s = StreamOf(bytes);
        const TIconDirectory dir = ReadIconDirectory(s);
        ASSERT_EQ(dir.Entries.size(), 2u);
        EXPECT_EQ(dir.Type, 1);
        s.SetPosition(0);
        TDIBSurface d;
        LoadIcon(d, s, i);
        EXPECT_EQ(d.BitCount(), 24);  // 32-bit entries become 24-bit with a mask
        const Golden g = LoadGolden("ico_two_" + std::to_string(i));
        ExpectRgb(d, g, 8, &g.alpha);
        ASSERT_NE(d.Mask(), nullptr);
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) EXPECT_EQ(d.Mask()->GetPixel(x, y), g.alpha[y * g.width + x]);
    }
    TDIBSurface p;
    {
        auto bytes = ReadBytes(DataPath("ico_4bit.ico"));
        TMemoryStream s = StreamOf(bytes);
        LoadIcon(p, s, 0);
    }
    EXPECT_EQ(p.BitCount(), 4);
    const Golden g = LoadGolden("ico_4bit_0");
    ExpectRgb(p, g, 8, &g.alpha);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) EXPECT_EQ(p.Mask()->GetPixel(x, y), g.alpha[y * g.width + x]);

    TDIBSurface c;
    c.LoadFromFile(DataPath("cur_one.cur"));
    EXPECT_EQ(c.HotSpot, (TPoint{3, 5}));
    const Golden one = LoadGolden("ico_one_0");
    ExpectRgb(c, one, 8, &one.alpha);
}

TEST(IconRead, ThirtyTwoBitIconWithoutAlphaUsesItsAndMask) {
    // ico_two entry 0 with every fourth byte cleared: old-style 32-bit icons
    // carry no alpha, so only the AND bits may hide pixels.
    auto b = ReadBytes(DataPath("ico_two.ico"));
    const uint32_t off = b[18] | (b[19] << 8) | (b[20] << 16) | (static_cast<uint32_t>(b[21]) << 24);
    for (int i = 0; i < 16 * 16; ++i) b[off + 40 + 4 * i + 3] = 0;
    TMemoryStream s = StreamOf(b);
    TDIBSurface d;
    LoadIcon(d, s, 0);
    const size_t andAt = off + 40 + 16 * 16 * 4;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool hidden = (b[andAt + (15 - y) * 4 + x / 8] >> (7 - x % 8)) & 1;
            EXPECT_EQ(d.Mask()->GetPixel(x, y), hidden ? 0u : 255u);
        }
}

TEST(IconRead, HostileIconsAreRefused) {
    const auto good = ReadBytes(DataPath("ico_4bit.ico"));
    EXPECT_EQ(IconError(good), "(no error)");
    EXPECT_EQ(IconError(good, 1), kBad);
    EXPECT_EQ(IconError({0, 0, 1}), BadField("type"));
    {
        auto b = good;
        Put16(b, 2, 3);  // neither icon nor cursor
        EXPECT_EQ(IconError(b), kBad);
        b = good;
        Put16(b, 4, 0);
        EXPECT_EQ(IconError(b), kBad);
        Put16(b, 4, 500);  // more entries than the file holds
        EXPECT_EQ(IconError(b), BadField("entry count"));
    }
    {
        auto b = good;
        Put32(b, 6 + 12, static_cast<uint32_t>(b.size()));  // image offset past the data
        EXPECT_EQ(IconError(b), kBad);
        b = good;
        Put32(b, 6 + 8, 20);  // image shorter than its header
        EXPECT_EQ(IconError(b), kBad);
        b = good;
        Put32(b, 22 + 4, 5000);  // width whose rows run past the image
        EXPECT_EQ(IconError(b), kBad);
        b = good;
        Put32(b, 22 + 32, 100000);  // colours used
        EXPECT_EQ(IconError(b), kBad);
        b = good;
        std::memcpy(&b[22], "\x89PNG", 4);  // compressed images are not read
        EXPECT_EQ(IconError(b), kBad);
    }
}

TEST(IconWrite, MasksBecomeAlphaOrAndBitsCheckedByPillow) {
    // A soft mask: 32-bit image with the mask as alpha.
    TDIBSurface s;
    {
        auto bytes = ReadBytes(DataPath("bmp_24bit.bmp"));
        TMemoryStream in = StreamOf(bytes);
        s.LoadFromStream(in);
    }
    s.CreateMask();
    std::vector<uint8_t> alpha;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) {
            const uint8_t a = static_cast<uint8_t>((x * 40 + y * 60) & 255);
            s.Mask()->SetPixel(x, y, a);
            alpha.push_back(a);
        }
    TMemoryStream out;
    SaveIcon(s, out, false);
    CheckWritten("w_ico_soft.ico", out, s, &alpha);
    out.SetPosition(0);
    TDIBSurface back;
    LoadIcon(back, out, 0);
    EXPECT_EQ(back.BitCount(), 24);
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) {
            EXPECT_EQ(back.Mask()->GetPixel(x, y), s.Mask()->GetPixel(x, y));
            if (s.Mask()->GetPixel(x, y)) {
                EXPECT_EQ(back.GetPixel(x, y), s.GetPixel(x, y));
            }
        }

    // A hard mask on a 16-bit picture: 24-bit with AND bits, black beneath.
    TDIBSurface h;
    {
        auto bytes = ReadBytes(DataPath("bmp_16_565.bmp"));
        TMemoryStream in = StreamOf(bytes);
        h.LoadFromStream(in);
    }
    h.CreateMask();
    h.FillMask();
    h.Mask()->SetPixel(1, 1, 0);
    h.Mask()->SetPixel(4, 0, 0);
    std::vector<uint8_t> hardAlpha(h.Width() * h.Height(), 255);
    hardAlpha[1 * h.Width() + 1] = 0;
    hardAlpha[4] = 0;
    TDIBSurface h24(h);
    h24.SetBitCount(24);
    h24.SetPixel(1, 1, 0);
    h24.SetPixel(4, 0, 0);
    TMemoryStream out2;
    SaveIcon(h, out2, true);
    CheckWritten("w_cur_hard.cur", out2, h24, &hardAlpha);
    out2.SetPosition(0);
    TDIBSurface hb;
    LoadIcon(hb, out2, 0);
    EXPECT_EQ(hb.BitCount(), 24);
    EXPECT_EQ(hb.GetPixel(1, 1), 0u);
    EXPECT_EQ(hb.Mask()->GetPixel(4, 0), 0u);
    EXPECT_EQ(hb.Mask()->GetPixel(3, 0), 255u);
    EXPECT_EQ(out2.Memory()[2], 2);  // cursor

    // A palette picture keyed by its transparent colour.
    TDIBSurface p;
    {
        auto bytes = ReadBytes(DataPath("ico_4bit.ico"));
        TMemoryStream in = StreamOf(bytes);
        LoadIcon(p, in, 0);
    }
    p.FreeMask();
    p.TransparentColor = static_cast<int32_t>(p.GetPixel(0, 0));
    TMemoryStream out3;
    SaveIcon(p, out3, false);
    out3.SetPosition(0);
    TDIBSurface pb;
    LoadIcon(pb, out3, 0);
    EXPECT_EQ(pb.BitCount(), 4);
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x) {
            const bool keyed = p.GetPixel(x, y) == static_cast<uint32_t>(p.TransparentColor);
            EXPECT_EQ(pb.Mask()->GetPixel(x, y), keyed ? 0u : 255u);
            if (!keyed) {
                EXPECT_EQ(pb.GetPixel(x, y), p.GetPixel(x, y));
            }
        }
}
