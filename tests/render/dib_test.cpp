// TDIB against pictures written and decoded by Pillow and ImageMagick (see
// tests/data/dib/make_golden.py), against hostile files made here by
// breaking good ones, and against the exact rules of depth conversion.
#include "render/dib.h"

#include "dib_golden.h"
#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace dibtest;

namespace {

TDIB LoadDIB(const std::string& name) {
    auto bytes = ReadBytes(DataPath(name));
    TMemoryStream s = StreamOf(bytes);
    TDIB dib;
    dib.LoadFromStream(s);
    return dib;
}

// Every pixel read through the colour table / bytes / bit fields, compared
// with the golden RGB; 16-bit fields are compared on their own bits since
// decoders widen a 5-bit field in different ways.
void ExpectPixels(const TDIB& dib, const Golden& g, int rBits = 8, int gBits = 8, int bBits = 8) {
    ASSERT_EQ(dib.Width(), g.width);
    ASSERT_EQ(dib.Height(), g.height);
    std::vector<uint8_t> bgr(dib.Width() * 3);
    int bad = 0;
    for (int y = 0; y < dib.Height(); ++y) {
        dib.ReadRowBGR(y, bgr.data());
        for (int x = 0; x < dib.Width(); ++x) {
            const uint8_t* want = &g.rgb[(y * g.width + x) * 3];
            const uint8_t* got = &bgr[x * 3];
            if ((got[2] >> (8 - rBits)) != (want[0] >> (8 - rBits)) || (got[1] >> (8 - gBits)) != (want[1] >> (8 - gBits)) ||
                (got[0] >> (8 - bBits)) != (want[2] >> (8 - bBits))) {
                if (++bad < 5) ADD_FAILURE() << "pixel " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(bad, 0);
}

std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return "(no error)";
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
    return MessageOf([&] {
        TMemoryStream s = StreamOf(bytes);
        TDIB d;
        d.LoadFromStream(s);
    });
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }
void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); }

const std::string kBadDIB = Sjis("不正な DIB です");
// The same refusal naming the field that was cut short or out of range.
std::string BadField(const char* field) { return kBadDIB + " (" + field + ")"; }

}  // namespace

TEST(DIBRead, GoldenFilesOfEveryDepthAndLayout) {
    struct Case { const char* name; int bpp; int r, g, b; };
    const Case cases[] = {
        {"bmp_1bit", 1, 8, 8, 8},       {"bmp_4bit", 4, 8, 8, 8},      {"bmp_8bit", 8, 8, 8, 8},
        {"bmp_24bit", 24, 8, 8, 8},     {"bmp_32bit", 32, 8, 8, 8},    {"bmp_rle8", 8, 8, 8, 8},
        {"bmp_rle8_delta", 8, 8, 8, 8}, {"bmp_rle4", 4, 8, 8, 8},      {"bmp_os2", 4, 8, 8, 8},
        {"bmp_16_555", 16, 5, 5, 5},    {"bmp_16_565", 16, 5, 6, 5},   {"bmp_32_fields", 32, 8, 8, 8},
        {"bmp_topdown", 24, 8, 8, 8},   {"bmp_offbits", 24, 8, 8, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDIB dib = LoadDIB(std::string(c.name) + ".bmp");
        EXPECT_EQ(dib.BitCount(), c.bpp);
        ExpectPixels(dib, LoadGolden(c.name), c.r, c.g, c.b);
    }
    EXPECT_EQ(LoadDIB("bmp_16_565.bmp").PixelFormat().GBitMask, 0x7E0u);
    EXPECT_EQ(LoadDIB("bmp_16_555.bmp").PixelFormat().GBitMask, 0x3E0u);
}

TEST(DIBRead, EmptyStreamLeavesTheBitmapAndAnEmptyInfoClearsIt) {
    TDIB dib = LoadDIB("bmp_24bit.bmp");
    TMemoryStream empty;
    dib.LoadFromStream(empty);
    EXPECT_EQ(dib.Width(), 9);
    dib.ReadData(empty);
    EXPECT_TRUE(dib.Empty());
}

TEST(DIBRead, HostileHeadersAreRefused) {
    const auto good = ReadBytes(DataPath("bmp_24bit.bmp"));
    EXPECT_EQ(LoadError({'B'}), BadField("signature"));
    EXPECT_EQ(LoadError({'X', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), BadField("signature"));
    {
        auto b = good;
        b.resize(30);  // inside the info header
        EXPECT_EQ(LoadError(b), BadField("compression"));
    }
    {
        auto b = good;
        b.resize(b.size() - 5);  // pixels cut short
        EXPECT_EQ(LoadError(b), BadField("pixels"));
    }
    {
        auto b = good;
        Put32(b, 14, 108);  // only 12- and 40-byte headers are read
        EXPECT_EQ(LoadError(b), BadField("header size"));
    }
    {
        auto b = good;
        Put16(b, 28, 7);
        EXPECT_EQ(LoadError(b), Sjis("不正なビット数です (7)"));
    }
    for (auto [w, h] : {std::pair<int32_t, int32_t>{100000, 100000}, {60000, 60000}, {0, 4}, {-9, 4}, {9, 0},
                        {9, INT32_MIN}}) {
        auto b = good;
        Put32(b, 18, static_cast<uint32_t>(w));
        Put32(b, 22, static_cast<uint32_t>(h));
        EXPECT_EQ(LoadError(b), kBadDIB) << w << " x " << h;
    }
    {
        auto b = good;
        Put32(b, 10, static_cast<uint32_t>(b.size() + 10));  // pixel offset past the end
        EXPECT_EQ(LoadError(b), BadField("pixel offset"));
        Put32(b, 10, 20);  // pixel offset inside the headers
        EXPECT_EQ(LoadError(b), BadField("pixel offset"));
    }
    {
        auto b = ReadBytes(DataPath("bmp_8bit.bmp"));
        Put32(b, 46, 0xFFFFFFF0u);  // colours used far beyond the file
        EXPECT_EQ(LoadError(b), BadField("colour table"));
        Put32(b, 46, 0);
        Put32(b, 30, 9);  // unknown compression
        EXPECT_EQ(LoadError(b), kBadDIB);
        Put32(b, 30, 2);  // RLE4 on an 8-bit bitmap
        EXPECT_EQ(LoadError(b), kBadDIB);
    }
    {
        auto b = ReadBytes(DataPath("bmp_16_565.bmp"));
        Put32(b, 54, 0xF00);
        Put32(b, 58, 0xF0);
        Put32(b, 62, 0xF);
        EXPECT_EQ(LoadError(b), Sjis("不正なピクセルフォーマットです"));
    }
}

TEST(DIBRead, HostileRunLengthDataIsRefused) {
    const auto good = ReadBytes(DataPath("bmp_rle8_delta.bmp"));  // 8 x 4
    const size_t pixels = good[10] | (good[11] << 8);
    auto withData = [&](std::vector<uint8_t> rle) {
        auto b = good;
        b.resize(pixels);
        b.insert(b.end(), rle.begin(), rle.end());
        Put32(b, 2, static_cast<uint32_t>(b.size()));
        Put32(b, 34, static_cast<uint32_t>(rle.size()));
        return LoadError(b);
    };
    EXPECT_EQ(withData({8, 1, 0, 1}), "(no error)");
    EXPECT_EQ(withData({9, 1, 0, 1}), kBadDIB);                 // run past the row
    EXPECT_EQ(withData({5, 1, 4, 1, 0, 1}), kBadDIB);           // second run crosses the row end
    EXPECT_EQ(withData({0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}), kBadDIB);  // literal past the row
    EXPECT_EQ(withData({0, 4, 1, 2}), kBadDIB);                 // literal past the data
    EXPECT_EQ(withData({0, 2, 9, 0}), kBadDIB);                 // delta past the right edge
    EXPECT_EQ(withData({0, 2, 0, 5}), kBadDIB);                 // delta below the last row
    EXPECT_EQ(withData({0, 2, 0}), kBadDIB);                    // delta cut short
    EXPECT_EQ(withData({0, 0, 0, 0, 0, 0, 0, 0, 1, 1}), kBadDIB);  // a fifth row of four
    EXPECT_EQ(withData({0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "(no error)");
    // Image size larger than what is left.
    auto b = good;
    Put32(b, 34, 5000);
    EXPECT_EQ(LoadError(b), BadField("image size"));
    // RLE4 with a literal of 17 nibbles in a 10-pixel bitmap (its rows hold
    // 16 nibbles with the padding).
    auto r4 = ReadBytes(DataPath("bmp_rle4.bmp"));
    const size_t p4 = r4[10] | (r4[11] << 8);
    r4.resize(p4);
    for (uint8_t v : {0, 17, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x10, 0, 0, 1}) r4.push_back(v);
    Put32(r4, 34, 14);
    EXPECT_EQ(LoadError(r4), kBadDIB);
    // A failed load keeps the bitmap as it was.
    TDIB dib = LoadDIB("bmp_8bit.bmp");
    TMemoryStream s = StreamOf(r4);
    EXPECT_THROW(dib.LoadFromStream(s), EInvalidGraphic);
    EXPECT_EQ(dib.Width(), 11);
}

TEST(DIBWrite, RoundTripOfEveryDepthAndCheckedByPillow) {
    // Our files are left in the build folder; make_golden.py --check-writers
    // decoded them with Pillow and ImageMagick and keeps the verified bytes
    // under written/, so a change of the writer shows here.
    std::filesystem::create_directories(WriterOutDir());
    for (const char* name : {"bmp_1bit", "bmp_4bit", "bmp_8bit", "bmp_16_555", "bmp_16_565", "bmp_24bit", "bmp_32bit"}) {
        SCOPED_TRACE(name);
        TDIB dib = LoadDIB(std::string(name) + ".bmp");
        TMemoryStream out;
        dib.SaveToStream(out);
        const std::string file = std::string("w_") + name + ".bmp";
        WriteFile(WriterOutDir() + file, out.Memory(), out.GetSize());
        std::vector<uint8_t> rgb;
        std::vector<uint8_t> bgr(dib.Width() * 3);
        for (int y = 0; y < dib.Height(); ++y) {
            dib.ReadRowBGR(y, bgr.data());
            for (int x = 0; x < dib.Width(); ++x) rgb.insert(rgb.end(), {bgr[3 * x + 2], bgr[3 * x + 1], bgr[3 * x]});
        }
        WriteFile(WriterOutDir() + "w_" + name + ".rgb", rgb.data(), rgb.size());
        out.SetPosition(0);
        TDIB back;
        back.LoadFromStream(out);
        ASSERT_EQ(back.BitCount(), dib.BitCount());
        ASSERT_EQ(back.Width(), dib.Width());
        for (int y = 0; y < dib.Height(); ++y)
            EXPECT_EQ(std::memcmp(back.ScanLineReadOnly(y), dib.ScanLineReadOnly(y), dib.WidthBytes()), 0);
        EXPECT_EQ(std::memcmp(back.ColorTable(), dib.ColorTable(), 1024), 0);
        const auto verified = ReadBytes(DataPath("written/" + file));
        EXPECT_TRUE(verified == std::vector<uint8_t>(out.Memory(), out.Memory() + out.GetSize()));
    }
    TDIB empty;
    TMemoryStream out;
    empty.SaveToStream(out);
    EXPECT_EQ(out.GetSize(), 0);
}

TEST(DIB, StoresAreSharedUntilWritten) {
    TDIB a = LoadDIB("bmp_24bit.bmp");
    TDIB b(a);
    EXPECT_TRUE(b.SharesStoreWith(a));
    const uint32_t before = a.GetPixel(2, 1);
    b.SetPixel(2, 1, before ^ 0xFFFFFF);
    EXPECT_FALSE(b.SharesStoreWith(a));
    EXPECT_EQ(a.GetPixel(2, 1), before);
    EXPECT_EQ(b.GetPixel(2, 1), before ^ 0xFFFFFF);
    TDIB c;
    c.Assign(&a);
    EXPECT_TRUE(c.SharesStoreWith(a));
    c.Assign(nullptr);
    EXPECT_TRUE(c.Empty());
    // An unchanged colour table keeps the store shared.
    TDIB p = LoadDIB("bmp_8bit.bmp"), q(p);
    q.SetColorTable(p.ColorTable());
    EXPECT_TRUE(q.SharesStoreWith(p));
    TRGBQuad red{0, 0, 255, 0};
    q.SetColorTable(&red, 3, 1);
    EXPECT_FALSE(q.SharesStoreWith(p));
    EXPECT_EQ(q.ColorTable()[3], red);
}

TEST(DIB, PixelAccessAndScanLineBounds) {
    TDIB dib;
    dib.SetSize(10, 3, 4);
    dib.SetPixel(3, 1, 0xA);
    dib.SetPixel(4, 1, 0x5);
    EXPECT_EQ(dib.ScanLineReadOnly(1)[1], 0x0A);  // odd pixel in the low nibble
    EXPECT_EQ(dib.ScanLineReadOnly(1)[2], 0x50);
    EXPECT_EQ(dib.GetPixel(10, 0), 0u);
    EXPECT_EQ(dib.GetPixel(-1, 0), 0u);
    dib.SetPixel(10, 0, 1);  // ignored
    EXPECT_THROW(dib.ScanLine(3), EInvalidGraphicOperation);
    try {
        dib.ScanLine(-1);
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_EQ(e.Message(), Sjis("スキャンラインのインデックスが範囲を越えました (-1)"));
    }
    TDIB one;
    one.SetSize(9, 1, 1);
    one.SetPixel(0, 0, 1);
    one.SetPixel(8, 0, 1);
    EXPECT_EQ(one.ScanLineReadOnly(0)[0], 0x80);
    EXPECT_EQ(one.ScanLineReadOnly(0)[1], 0x80);
    EXPECT_EQ(one.WidthBytes(), 4);
    TDIB t;
    t.SetSize(2, 1, 24);
    t.SetPixel(1, 0, 0x112233);
    EXPECT_EQ(t.ScanLineReadOnly(0)[3], 0x33);  // blue first
    EXPECT_EQ(t.ScanLineReadOnly(0)[5], 0x11);
    EXPECT_THROW(t.SetSize(2, 2, 7), EInvalidGraphic);
}

TEST(DIB, SizeChangesFollowTheirRules) {
    TDIB d;
    d.SetWidth(5);
    EXPECT_EQ(d.Height(), 1);
    EXPECT_EQ(d.BitCount(), 8);
    d.SetHeight(4);
    EXPECT_EQ(d.Width(), 5);
    d.SetBitCount(24);
    EXPECT_EQ(d.BitCount(), 24);
    d.SetWidth(0);
    EXPECT_TRUE(d.Empty());
    d.SetBitCount(4);
    EXPECT_EQ(d.Width(), 1);
    EXPECT_EQ(d.BitCount(), 4);
    d.SetBitCount(0);
    EXPECT_TRUE(d.Empty());
}

TEST(DIBConvert, PaletteToTrueColourGoesThroughTheColourTable) {
    TDIB dib = LoadDIB("bmp_8bit.bmp");
    const Golden g = LoadGolden("bmp_8bit");
    dib.SetBitCount(24);
    EXPECT_EQ(dib.BitCount(), 24);
    ExpectPixels(dib, g);
    dib.SetBitCount(32);
    ExpectPixels(dib, g);
}

TEST(DIBConvert, TrueColourToSixteenBitsPacksTopBits) {
    TDIB dib = LoadDIB("bmp_24bit.bmp");
    const TDIB orig(dib);
    dib.SetPixelFormat(MakeBitFieldFormat(5, 6, 5));
    dib.SetBitCount(16);
    EXPECT_EQ(dib.PixelFormat().GBitMask, 0x7E0u);
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            const uint32_t c = orig.GetPixel(x, y);  // blue | green << 8 | red << 16
            const uint32_t r = c >> 16, g = (c >> 8) & 255, b = c & 255;
            EXPECT_EQ(dib.GetPixel(x, y), (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
        }
    // 5-6-5 to 5-5-5 at the same depth converts through RGB.
    TDIB d16;
    d16.SetPixelFormat(MakeBitFieldFormat(5, 6, 5));
    d16.SetSize(2, 1, 16);
    d16.SetPixel(0, 0, 0xFFFF);
    d16.SetPixel(1, 0, 0x8410);  // red 16, green 32, blue 16
    d16.SetPixelFormat(MakeBitFieldFormat(5, 5, 5));
    d16.SetBitCount(16);
    EXPECT_EQ(d16.PixelFormat().GBitMask, 0x3E0u);
    EXPECT_EQ(d16.GetPixel(0, 0), 0x7FFFu);
    EXPECT_EQ(d16.GetPixel(1, 0), 0x4210u);
    // Widening repeats the field's top bits below it: 5-bit 16 is 128 | 4.
    d16.SetBitCount(24);
    EXPECT_EQ(d16.GetPixel(0, 0), 0xFFFFFFu);
    EXPECT_EQ(d16.GetPixel(1, 0), 0x848484u);
}

TEST(DIBConvert, ToPaletteDepthsUsesFixedCubesAndNearestColours) {
    TDIB d;
    d.SetSize(4, 1, 24);
    d.SetPixel(0, 0, 0xFFFFFF);
    d.SetPixel(1, 0, 0x0000F0);  // blue 240
    d.SetPixel(2, 0, 0xFF0000);  // red
    d.SetPixel(3, 0, 0x202020);
    TDIB e(d);
    d.SetBitCount(8);  // 3-3-2 cube
    EXPECT_EQ(d.ColorTable()[0xE0], (TRGBQuad{0, 0, 255, 0}));
    EXPECT_EQ(d.ColorTable()[0x03], (TRGBQuad{255, 0, 0, 0}));
    EXPECT_EQ(d.ColorTable()[0x1F].rgbGreen, 255);
    EXPECT_EQ(d.GetPixel(0, 0), 0xFFu);
    EXPECT_EQ(d.GetPixel(1, 0), 0x03u);
    EXPECT_EQ(d.GetPixel(2, 0), 0xE0u);
    EXPECT_EQ(d.GetPixel(3, 0), 0x24u);  // red 1/7, green 1/7, blue 0
    e.SetBitCount(1);
    EXPECT_EQ(e.GetPixel(0, 0), 1u);
    EXPECT_EQ(e.GetPixel(3, 0), 0u);
    // A larger palette depth keeps indexes and table.
    TDIB p = LoadDIB("bmp_4bit.bmp");
    const TDIB p4(p);
    p.SetBitCount(8);
    for (int x = 0; x < 7; ++x) EXPECT_EQ(p.GetPixel(x, 2), p4.GetPixel(x, 2));
    EXPECT_EQ(std::memcmp(p.ColorTable(), p4.ColorTable(), 16 * 4), 0);
}

TEST(DIB, GreyscaleBlurAndNegative) {
    TDIB d;
    d.SetSize(3, 1, 24);
    d.SetPixel(0, 0, 0xFFFFFF);
    d.SetPixel(1, 0, 0x000000);
    d.SetPixel(2, 0, 0x0000FF);  // blue 255
    TDIB g(d);
    g.Greyscale(8);
    EXPECT_EQ(g.BitCount(), 8);
    EXPECT_EQ(g.GetPixel(0, 0), 253u);  // 91 + 102 + 60
    EXPECT_EQ(g.GetPixel(2, 0), 60u);
    EXPECT_EQ(g.ColorTable()[200], (TRGBQuad{200, 200, 200, 0}));
    TDIB g1(d);
    g1.Greyscale(1);
    EXPECT_EQ(g1.GetPixel(0, 0), 1u);
    EXPECT_EQ(g1.GetPixel(2, 0), 0u);
    TDIB g24(d);
    g24.Greyscale(24);
    EXPECT_EQ(g24.GetPixel(0, 0), 0xFDFDFDu);

    TDIB b(d);
    int starts = 0, ends = 0;
    b.OnProgress = [&](TProgressStage s, int percent, bool, const TRect&, const std::string& name) {
        EXPECT_EQ(name, "Blur");
        if (s == TProgressStage::Starting) ++starts;
        if (s == TProgressStage::Ending) {
            ++ends;
            EXPECT_EQ(percent, 100);
        }
    };
    b.Blur(24, -1);  // the radius' absolute value
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ends, 1);
    // Means of the clipped 3-wide windows: (W + K) / 2, (W + K + B) / 3, (K + B) / 2.
    EXPECT_EQ(b.GetPixel(0, 0), 0x7F7F7Fu);
    EXPECT_EQ(b.GetPixel(1, 0), 0x5555AAu);
    EXPECT_EQ(b.GetPixel(2, 0), 0x00007Fu);
    TDIB b8(d);
    b8.Blur(8, 1);
    EXPECT_EQ(b8.GetPixel(1, 0), (170u + 85 + 85) / 3);

    TDIB big;
    big.SetSize(7, 6, 24);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x) big.SetPixel(x, y, static_cast<uint32_t>((x * 31 + y * 17) & 255));
    TDIB bb(big);
    bb.Blur(24, 2);
    // Brute-force mean of blue over the clipped 5 x 5 window.
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x) {
            int sum = 0, n = 0;
            for (int j = std::max(0, y - 2); j <= std::min(5, y + 2); ++j)
                for (int i = std::max(0, x - 2); i <= std::min(6, x + 2); ++i) sum += big.GetPixel(i, j) & 255, ++n;
            EXPECT_EQ(bb.GetPixel(x, y) & 255, static_cast<uint32_t>(sum / n)) << x << "," << y;
        }

    TDIB n(d);
    n.Negative();
    EXPECT_EQ(n.GetPixel(0, 0), 0u);
    EXPECT_EQ(n.GetPixel(2, 0), 0xFFFF00u);
    TDIB p = LoadDIB("bmp_8bit.bmp");
    const uint32_t idx = p.GetPixel(0, 0);
    const TRGBQuad q = p.ColorTable()[idx];
    p.Negative();
    EXPECT_EQ(p.GetPixel(0, 0), idx);
    EXPECT_EQ(p.ColorTable()[idx].rgbRed, 255 - q.rgbRed);
}
