#include "render/tesk.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"
#include "tests/support/plain_dibx.h"
#include "tests/support/tesk_writer.h"

namespace {

TMemoryStream StreamOf(const std::vector<uint8_t>& bytes) {
    TMemoryStream s;
    if (!bytes.empty()) s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(0);
    return s;
}

std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/tesk/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// A 24-bit picture whose pixel (x, y) has a value of its own.
std::vector<uint8_t> Rows24(int w, int h, int seed) {
    const int stride = TeskTestStride(w, 24);
    std::vector<uint8_t> rows(size_t(stride) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) rows[size_t(y) * stride + x * 3 + c] = uint8_t(seed + x * 3 + y * 41 + c * 17);
    return rows;
}

void ExpectRows(const TDIB& dib, const std::vector<uint8_t>& rows) {
    const int n = int(TeskTestStride(dib.Width(), dib.BitCount()));
    for (int y = 0; y < dib.Height(); ++y)
        ASSERT_EQ(0, std::memcmp(dib.ScanLineReadOnly(y), rows.data() + size_t(y) * n, size_t(dib.Width() * dib.BitCount() / 8)))
            << "row " << y;
}

TeskTestFrame Frame24(int w, int h, std::vector<uint8_t> rows) {
    TeskTestFrame f;
    f.width = w, f.height = h, f.bits = 24;
    TeskTestLayer l;
    l.rows = std::move(rows);
    f.layers.push_back(l);
    return f;
}

TTeskFrameList Load(const std::vector<uint8_t>& bytes, uint32_t id = 0, bool firstOnly = false) {
    TTeskFrameList list(id);
    TMemoryStream s = StreamOf(bytes);
    list.LoadFromStream(s, firstOnly);
    return list;
}

}  // namespace

// Every version reads plain rows; the old ones always permute with the
// identification code, and a code of 0 is the identity.
TEST(TeskReader, EveryVersionAndCompressionReadsRows) {
    const int w = 13, h = 7;
    const auto rows = Rows24(w, h, 5);
    for (int version = 100; version <= 106; ++version) {
        for (uint8_t comp : {uint8_t(0), uint8_t(1)}) {
            for (uint32_t id : {0u, 0x1234567u}) {
                TeskTestFile f;
                f.version = version;
                f.compression = comp;
                f.idCode = id;
                f.scrambled = id != 0;
                f.frames.push_back(Frame24(w, h, rows));
                TTeskFrameList list = Load(WriteTeskTestFile(f), id);
                ASSERT_EQ(1, list.Count());
                EXPECT_EQ(version, list.Version);
                ExpectRows(list.GetFrame(0)->Image, rows);
            }
        }
    }
}

TEST(TeskReader, ScrambledDataNeedsItsCode) {
    const auto rows = Rows24(9, 12, 1);
    TeskTestFile f;
    f.scrambled = true;
    f.idCode = 77;
    f.frames.push_back(Frame24(9, 12, rows));
    TTeskFrameList wrong = Load(WriteTeskTestFile(f), 78);
    bool same = true;
    for (int y = 0; y < 12; ++y)
        same = same && std::memcmp(wrong.GetFrame(0)->Image.ScanLineReadOnly(y), rows.data() + y * 28, 27) == 0;
    EXPECT_FALSE(same);
}

// Tiles: stored, copies of earlier tiles (-2), and copies from layers of
// this or an earlier frame, scrambled and not, cut at the right and bottom.
TEST(TeskReader, TilesSharedAndReferring) {
    const int w = 10, h = 7, tw = 4, th = 3;  // 3 x 3 tiles, last ones cut
    const auto a = Rows24(w, h, 3);
    for (bool scrambled : {false, true}) {
        for (uint8_t comp : {uint8_t(0), uint8_t(1)}) {
            TeskTestFile f;
            f.compression = comp;
            f.tileWidth = tw, f.tileHeight = th;
            f.scrambled = scrambled;
            f.idCode = scrambled ? 99 : 0;
            TeskTestFrame f0 = Frame24(w, h, a);
            f0.layers[0].maskRows.assign(size_t(12) * h, 0);
            for (size_t i = 0; i < f0.layers[0].maskRows.size(); ++i) f0.layers[0].maskRows[i] = uint8_t(i * 7);
            f0.layers[0].useMask = true;
            f.frames.push_back(f0);
            // Frame 1: layer 0 copies everything from frame 0 layer 0 except
            // tile 1, which copies tile 0 of its own layer.
            TeskTestFrame f1 = Frame24(w, h, a);
            f1.layers[0].tiles.assign(9, {0, 0});
            f1.layers[0].tiles[1] = {-2, 0};
            f1.layers[0].tiles[0] = {-1, 0};
            f1.layers[0].maskRows = f0.layers[0].maskRows;
            f1.layers[0].maskTiles.assign(9, {0, 0});
            f1.layers[0].useMask = true;
            f.frames.push_back(f1);
            TTeskFrameList list = Load(WriteTeskTestFile(f), f.idCode);
            ASSERT_EQ(2, list.Count());
            ExpectRows(list.GetFrame(0)->Image, a);
            auto expect = a;
            for (int r = 0; r < th; ++r) std::memcpy(&expect[size_t(r) * 32 + tw * 3], &a[size_t(r) * 32], tw * 3);
            ExpectRows(list.GetFrame(1)->Image, expect);
            ASSERT_TRUE(list.GetFrame(1)->HasMask());
            for (int y = 0; y < h; ++y)
                EXPECT_EQ(0, std::memcmp(list.GetFrame(1)->Image.Mask()->ScanLineReadOnly(y), &f0.layers[0].maskRows[y * 12], w));
        }
    }
}

TEST(TeskReader, ComposesLayersByTheirRules) {
    const int w = 4, h = 2;
    TeskTestFrame fr;
    fr.width = w, fr.height = h, fr.bits = 24;
    TeskTestLayer base;
    base.rows.assign(size_t(TeskTestStride(w, 24)) * h, 100);
    TeskTestLayer keyed;  // pixels equal to the key 0x000000 are skipped
    keyed.rows.assign(base.rows.size(), 0);
    keyed.rows[0] = keyed.rows[1] = keyed.rows[2] = 200;
    keyed.key = 0;
    TeskTestLayer half;  // opacity 51 over the second row only
    half.rows.assign(base.rows.size(), 0);
    for (int x = 0; x < w * 3; ++x) half.rows[12 + x] = 255;
    half.opacity = 51;
    half.key = 0;
    TeskTestLayer hidden;
    hidden.visible = false;
    hidden.rows.assign(base.rows.size(), 9);
    TeskTestLayer masked;  // mask 128 on pixel (1, 0)
    masked.rows.assign(base.rows.size(), 0);
    masked.maskRows.assign(8, 0);
    masked.maskRows[1] = 128;
    masked.useMask = true;
    fr.layers = {base, keyed, half, hidden, masked};
    TeskTestFile f;
    f.frames.push_back(fr);
    TTeskFrameList list = Load(WriteTeskTestFile(f));
    const TDIB& img = list.GetFrame(0)->Image;
    EXPECT_EQ(0xC8C8C8u, img.GetPixel(0, 0));
    // (100 * 127 + 0 * 128) >> 8 = 49
    EXPECT_EQ(0x313131u, img.GetPixel(1, 0));
    EXPECT_EQ(0x646464u, img.GetPixel(2, 0));
    // (100 * 204 + 255 * 51) / 255 = 131
    EXPECT_EQ(0x838383u, img.GetPixel(3, 1));
    EXPECT_FALSE(list.GetFrame(0)->HasMask());
}

TEST(TeskReader, FirstLayerMaskBecomesFrameMaskAndKeyMakesMask) {
    TeskTestFrame fr = Frame24(3, 1, Rows24(3, 1, 0));
    fr.layers[0].maskRows = {0, 10, 255, 0};
    fr.layers[0].useMask = true;
    TeskTestFrame keyed = Frame24(3, 1, {1, 2, 3, 4, 5, 6, 1, 2, 3, 0});
    keyed.key = 0x030201;
    TeskTestFile f;
    f.frames = {fr, keyed};
    TTeskFrameList list = Load(WriteTeskTestFile(f));
    ASSERT_TRUE(list.GetFrame(0)->HasMask());
    EXPECT_EQ(10, list.GetFrame(0)->Image.Mask()->ScanLineReadOnly(0)[1]);
    const TTeskFrame& k = *list.GetFrame(1);
    EXPECT_EQ(0x010203, k.TransparentColor);
    ASSERT_TRUE(k.HasMask());
    const uint8_t* m = k.Image.Mask()->ScanLineReadOnly(0);
    EXPECT_EQ(0, m[0]);
    EXPECT_EQ(255, m[1]);
    EXPECT_EQ(0, m[2]);
}

TEST(TeskReader, PaletteFrameBecomes24BitWithTranslatedKey) {
    TeskTestFrame fr;
    fr.width = 3, fr.height = 2, fr.bits = 8;
    fr.palette.assign(1024, 0);
    fr.palette[4 * 5 + 0] = 10, fr.palette[4 * 5 + 1] = 20, fr.palette[4 * 5 + 2] = 30;
    fr.palette[4 * 6 + 2] = 255;
    fr.key = 6;
    TeskTestLayer l;
    l.rows = {5, 6, 5, 0, 6, 6, 5, 0};
    fr.layers.push_back(l);
    TeskTestFile f;
    f.frames.push_back(fr);
    TTeskFrameList list = Load(WriteTeskTestFile(f));
    const TTeskFrame& k = *list.GetFrame(0);
    EXPECT_EQ(24, k.Image.GetBitCount());
    EXPECT_EQ(0x1E140Au, k.Image.GetPixel(0, 0));
    EXPECT_EQ(0x0000FF, k.TransparentColor);
    EXPECT_EQ(0xFF0000, k.TransparentPixel);
}

TEST(TeskReader, FirstFrameOnlyStopsAfterIt) {
    TeskTestFile f;
    for (int i = 0; i < 5; ++i) f.frames.push_back(Frame24(2, 2, Rows24(2, 2, i)));
    const auto bytes = WriteTeskTestFile(f);
    TTeskFrameList list;
    TMemoryStream s = StreamOf(bytes);
    list.LoadFromStream(s, true);
    EXPECT_EQ(1, list.Count());
    TeskTestFile one = f;
    one.frames.resize(1);
    // What one frame takes: the file of one frame less its header.
    EXPECT_EQ(int64_t(WriteTeskTestFile(one).size()), s.GetPosition());
}

TEST(TeskReader, HeaderLongerThanKnownAndTileHeightAlone) {
    TeskTestFile f;
    f.headerSize = 64;
    f.tileHeight = 3;  // without a tile width the rows are plain
    const auto rows = Rows24(5, 5, 2);
    f.frames.push_back(Frame24(5, 5, rows));
    TTeskFrameList list = Load(WriteTeskTestFile(f));
    ExpectRows(list.GetFrame(0)->Image, rows);
}

TEST(TeskReader, RectangleListsAndTrim) {
    TeskTestFrame fr = Frame24(6, 5, std::vector<uint8_t>(size_t(20) * 5, 0));
    fr.layers[0].rows[20 * 1 + 3 * 2] = 9;  // opaque (2, 1)
    fr.layers[0].rows[20 * 3 + 3 * 4] = 9;  // opaque (4, 3)
    fr.key = 0;
    fr.rects1 = {TRect{0, 0, 3, 3}, TRect{5, 4, 6, 5}};
    TeskTestFile f;
    f.frames.push_back(fr);
    TTeskFrameList list = Load(WriteTeskTestFile(f));
    TTeskFrame& k = *list.GetFrame(0);
    ASSERT_EQ(2u, k.Rects1.size());
    TRect area;
    k.Trim(area);
    EXPECT_EQ((TRect{2, 1, 5, 4}), area);
    EXPECT_EQ(3, k.Image.Width());
    EXPECT_EQ(3, k.Image.Mask()->Width());
    ASSERT_EQ(1u, k.Rects1.size());
    EXPECT_EQ((TRect{0, 0, 1, 2}), k.Rects1[0]);
}

// A frame put into a surface hands on its rectangle lists as the surface's
// pieces; any other picture leaves the surface without pieces.
TEST(TeskReader, AFramePutIntoASurfaceCarriesItsRectangleLists) {
    TeskTestFrame fr = Frame24(6, 5, Rows24(6, 5, 7));
    fr.rects1 = {TRect{0, 0, 3, 3}, TRect{-2, 4, 6, 5}};
    fr.rects2 = {TRect{1, 1, 2, 2}};
    TeskTestFile f;
    f.frames.push_back(fr);
    f.frames.push_back(Frame24(6, 5, Rows24(6, 5, 3)));
    TTeskFrameList list = Load(WriteTeskTestFile(f));
    for (int depth : {16, 32}) {
        TPlainDIBX surface(1, 1, depth);
        list.GetFrame(0)->CopyToSurface(surface);
        EXPECT_EQ(surface.Width(), 6);
        EXPECT_EQ(surface.Pieces, (std::vector<TRect>{TRect{0, 0, 3, 3}, TRect{-2, 4, 6, 5}}));
        EXPECT_EQ(surface.Pieces2, (std::vector<TRect>{TRect{1, 1, 2, 2}}));
        // A frame without lists, a plain bitmap, or a new size: no pieces.
        list.GetFrame(1)->CopyToSurface(surface);
        EXPECT_TRUE(surface.Pieces.empty());
        EXPECT_TRUE(surface.Pieces2.empty());
        list.GetFrame(0)->CopyToSurface(surface);
        CopyDIBToSurface(list.GetFrame(1)->Image, surface);
        EXPECT_TRUE(surface.Pieces.empty());
        list.GetFrame(0)->CopyToSurface(surface);
        surface.SetSize(2, 2, depth);
        EXPECT_TRUE(surface.Pieces.empty() && surface.Pieces2.empty());
    }
    // A memory surface, whose size is set anew by the copy, keeps them too.
    TDIBX memory;
    list.GetFrame(0)->CopyToSurface(memory);
    EXPECT_EQ(memory.Pieces, list.GetFrame(0)->Rects1);
    EXPECT_EQ(memory.Pieces2, list.GetFrame(0)->Rects2);
}

// JPEG colour data decodes exactly as libjpeg-turbo's own djpeg does.
TEST(TeskReader, JpegLayersMatchDjpeg) {
    struct Case {
        const char* jpg;
        const char* ref;
        int channels;
    } cases[] = {{"photo.jpg", "photo_djpeg.ppm", 3}, {"grey.jpg", "grey_djpeg.pgm", 1}};
    for (const Case& c : cases)
    for (int bits : {24, 32}) {
        const auto ref = ReadFile(c.ref);
        const size_t pixels = size_t(37) * 21;
        ASSERT_GE(ref.size(), pixels * c.channels);
        const uint8_t* p = ref.data() + ref.size() - pixels * c.channels;
        TeskTestFrame fr;
        fr.width = 37, fr.height = 21, fr.bits = bits;
        TeskTestLayer l;
        l.jpeg = ReadFile(c.jpg);
        l.maskRows.assign(size_t(40) * 21, 200);
        l.useMask = true;
        fr.layers.push_back(l);
        TeskTestFile f;
        f.compression = 2;
        f.scrambled = true;  // JPEG data is never permuted
        f.idCode = 5;
        f.frames.push_back(fr);
        TTeskFrameList list = Load(WriteTeskTestFile(f), 5);
        const TTeskFrame& k = *list.GetFrame(0);
        EXPECT_EQ(bits, k.Image.GetBitCount());
        for (int y = 0; y < 21; ++y) {
            for (int x = 0; x < 37; ++x) {
                const uint8_t* q = p + (size_t(y) * 37 + x) * c.channels;
                const uint32_t r = q[0], g = q[c.channels == 3 ? 1 : 0], b = q[c.channels == 3 ? 2 : 0];
                ASSERT_EQ(b | g << 8 | r << 16, k.Image.GetPixel(x, y) & 0xFFFFFF) << c.jpg << " " << x << "," << y;
            }
        }
        ASSERT_TRUE(k.HasMask());
        EXPECT_EQ(200, k.Image.Mask()->ScanLineReadOnly(20)[36]);
    }
}

TEST(TeskWriter, RoundTripsEveryDepthAndKind) {
    for (int bits : {8, 15, 16, 24, 32}) {
        for (uint8_t comp : {uint8_t(0), uint8_t(1)}) {
            for (uint32_t id : {0u, 4242u}) {
                TTeskFrameList out(id);
                out.BackColor = 0x123456;
                TTeskFrame& fr = *out.AddFrame();
                fr.Delay = 40;
                fr.Image.SetSize(11, 6, bits);
                if (bits == 8) {
                    std::array<TRGBQuad, 256> pal{};
                    for (int i = 0; i < 256; ++i) pal[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3), 0};
                    fr.Image.SetColorTable(pal.data());
                }
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 11; ++x) fr.Image.SetPixel(x, y, uint32_t(x * 37 + y * 1001 + 7) & (bits == 8 ? 255 : 0xFFFFFF));
                fr.TransparentColor = SurfacePixelToColor(fr.Image, fr.Image.GetPixel(3, 2));
                TMemoryStream s;
                out.SaveToStream(s, comp);
                s.SetPosition(0);
                TTeskFrameList in(id);
                in.LoadFromStream(s, false);
                ASSERT_EQ(1, in.Count());
                const TTeskFrame& back = *in.GetFrame(0);
                EXPECT_EQ(106, in.Version);
                EXPECT_EQ(0x123456u, in.BackColor);
                EXPECT_EQ(40, back.Delay);
                EXPECT_EQ(fr.TransparentColor, back.TransparentColor) << bits;
                ASSERT_TRUE(back.HasMask());
                EXPECT_EQ(0, back.Image.Mask()->ScanLineReadOnly(2)[3]);
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 11; ++x)
                        ASSERT_EQ(SurfacePixelToColor(fr.Image, fr.Image.GetPixel(x, y)),
                                  SurfacePixelToColor(back.Image, back.Image.GetPixel(x, y)));
            }
        }
    }
}

TEST(TeskWriter, WritesMaskAndJpeg) {
    TTeskFrameList out;
    TTeskFrame& fr = *out.AddFrame();
    fr.Image.SetSize(16, 16, 24);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) fr.Image.SetPixel(x, y, 0x808080);
    fr.Image.CreateMask();
    TDIB& m = *fr.Image.Mask();
    m.ScanLine(3)[4] = 77;
    TMemoryStream s;
    out.SaveToStream(s, 2);
    s.SetPosition(0);
    EXPECT_FALSE(IsUncompressedTeskStream(s));
    s.SetPosition(0);
    TTeskFrameList in;
    in.LoadFromStream(s, false);
    const TTeskFrame& back = *in.GetFrame(0);
    EXPECT_EQ(77, back.Image.Mask()->ScanLineReadOnly(3)[4]);
    const uint32_t v = back.Image.GetPixel(5, 5);
    EXPECT_NEAR(0x80, int(v & 255), 2);

    TTeskFrameList plain(9);  // a code forces raw, scrambled data
    plain.AddFrame()->Image.SetSize(2, 2, 24);
    TMemoryStream r;
    plain.SaveToStream(r, 0);
    r.SetPosition(0);
    EXPECT_TRUE(IsUncompressedTeskStream(r));
}

TEST(TeskReader, TargetDepthDithersTo555) {
    TeskTestFrame fr = Frame24(2, 1, {4, 0, 0, 0, 0, 0, 0, 0});
    TeskTestFile f;
    f.frames.push_back(fr);
    TTeskFrameList list;
    list.TargetBitCount = 15;
    TMemoryStream s = StreamOf(WriteTeskTestFile(f));
    list.LoadFromStream(s, false);
    const TDIBSurface& img = list.GetFrame(0)->Image;
    EXPECT_EQ(15, img.GetBitCount());
    // Blue 4 is half a step: level 1, and the error -4 goes on to the next
    // pixel, whose blue 0 - 4 * 7 / 16 stays at level 0.
    EXPECT_EQ(1u, img.GetPixel(0, 0));
    EXPECT_EQ(0u, img.GetPixel(1, 0));
}

// 32-bit BMPs: a fourth byte of 0 in every pixel (as Windows writes them)
// is no alpha, the picture is opaque; any other fourth bytes are alpha.
TEST(TeskBmp, AllZeroFourthBytesAreNoAlpha) {
    const struct {
        const char* name;
        bool mask;
    } cases[] = {{"bmp_32_noalpha", false}, {"bmp_32bit", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = std::string(VORQ_TEST_DATA) + "/dib/";
        TTeskFrameList list;
        TMemoryStream s;
        s.LoadFromFile(dir + c.name + ".bmp");
        list.LoadAnyFromStream(s, false);
        ASSERT_EQ(1, list.Count());
        const TTeskFrame& fr = *list.GetFrame(0);
        TMemoryStream rgb;
        rgb.LoadFromFile(dir + c.name + ".rgb");  // Pillow's decoding
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x) {
                const uint8_t* q = rgb.Memory() + (size_t(y) * 9 + x) * 3;
                ASSERT_EQ(q[0] | q[1] << 8 | q[2] << 16, SurfacePixelToColor(fr.Image, fr.Image.GetPixel(x, y)));
            }
        ASSERT_EQ(fr.HasMask(), c.mask);
        if (c.mask) {
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 9; ++x) EXPECT_EQ(255, fr.Image.Mask()->ScanLineReadOnly(y)[x]);
        }
    }
}

TEST(TeskPng, DecodesAsPillowDoes) {
    for (const char* name : {"rgb", "rgba", "pal_trns", "grey"}) {
        TTeskFrameList list;
        TMemoryStream s = StreamOf(ReadFile(std::string(name) + ".png"));
        list.LoadAnyFromStream(s, false);
        ASSERT_EQ(1, list.Count()) << name;
        const TTeskFrame& fr = *list.GetFrame(0);
        const auto rgb = ReadFile(std::string(name) + ".rgb");
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x) {
                const uint8_t* q = &rgb[(size_t(y) * 37 + x) * 3];
                ASSERT_EQ(q[0] | q[1] << 8 | q[2] << 16, SurfacePixelToColor(fr.Image, fr.Image.GetPixel(x, y))) << name;
            }
        if (std::string(name) == "rgba") {
            const auto alpha = ReadFile("rgba.alpha");
            ASSERT_TRUE(fr.HasMask());
            for (int y = 0; y < 21; ++y) EXPECT_EQ(0, std::memcmp(fr.Image.Mask()->ScanLineReadOnly(y), &alpha[y * 37], 37));
        }
        if (std::string(name) == "pal_trns") {
            EXPECT_EQ(3, fr.TransparentPixel);
            EXPECT_EQ(SurfacePixelToColor(fr.Image, 3), fr.TransparentColor);
        }
    }
}

// Hostile files: every prefix of a valid file, and files whose fields lie.
TEST(TeskReader, RefusesTruncatedAndLyingFiles) {
    TeskTestFile f;
    f.compression = 0;
    f.tileWidth = 3, f.tileHeight = 2;
    f.frames.push_back(Frame24(7, 5, Rows24(7, 5, 1)));
    f.frames[0].layers[0].maskRows.assign(8 * 5, 255);
    const auto good = WriteTeskTestFile(f);
    for (size_t n = 8; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        EXPECT_THROW(Load(cut), Exception) << n;
    }
    auto expectCorrupt = [](const TeskTestFile& bad) { EXPECT_THROW(Load(WriteTeskTestFile(bad)), ECorruptData); };
    TeskTestFile b = f;
    b.frames[0].bits = 12;
    expectCorrupt(b);
    b = f, b.frames[0].width = 0;
    expectCorrupt(b);
    b = f, b.frames[0].width = 100000;
    expectCorrupt(b);
    b = f, b.frameCountOverride = 0x7FFFFFFF;
    expectCorrupt(b);
    b = f, b.frames[0].layers[0].tiles.assign(9, {-2, 5});  // a later tile
    expectCorrupt(b);
    b = f, b.frames[0].layers[0].tiles.assign(9, {-3, 0});
    expectCorrupt(b);
    b = f, b.frames[0].layers[0].tiles.assign(9, {0, 0});  // itself
    expectCorrupt(b);
    b = f, b.frames[0].layers[0].tiles.assign(9, {1, 0});  // a later frame
    expectCorrupt(b);
    // Referring to a layer of another size.
    b = f;
    b.frames.push_back(Frame24(3, 3, Rows24(3, 3, 0)));
    b.frames[1].layers[0].tiles.assign(4, {0, 0});
    expectCorrupt(b);
    // A mask copied from a layer without one.
    b = f;
    b.frames[0].layers[0].maskRows.clear();
    b.frames.push_back(Frame24(7, 5, Rows24(7, 5, 1)));
    b.frames[1].layers[0].maskRows.assign(8 * 5, 1);
    b.frames[1].layers[0].maskTiles.assign(12, {0, 0});
    expectCorrupt(b);
    // A small zlib block that inflates far beyond the picture.
    b = f;
    b.tileWidth = 0;
    b.frames[0].layers[0].useRawBlock = true;
    {
        std::vector<uint8_t> zeros(1 << 22, 0);
        uLongf n = compressBound(uLong(zeros.size()));
        std::vector<uint8_t> packed(n);
        compress2(packed.data(), &n, zeros.data(), uLong(zeros.size()), 9);
        packed.resize(n);
        b.frames[0].layers[0].rawBlock = packed;
    }
    expectCorrupt(b);
    b.frames[0].layers[0].rawBlock = {1, 2, 3, 4};
    expectCorrupt(b);
    // JPEG of another size than the frame, and no JPEG at all.
    TeskTestFile j;
    j.compression = 2;
    TeskTestFrame jf;
    jf.width = 36, jf.height = 21;
    TeskTestLayer jl;
    jl.jpeg = ReadFile("photo.jpg");
    jf.layers.push_back(jl);
    j.frames.push_back(jf);
    expectCorrupt(j);
    j.frames[0].layers[0].jpeg = {0xFF, 0xD8, 0xFF, 0x00};
    expectCorrupt(j);
    // A name length beyond the data.
    auto bytes = good;
    bytes[7 + 4 + 40] = 0xFF, bytes[7 + 4 + 40 + 3] = 0x7F;
    EXPECT_THROW(Load(bytes), ECorruptData);
}

// A JPEG block libjpeg cannot read is reported as a broken JPEG picture,
// through both the 24-bit and the converting path.
TEST(TeskReader, BrokenJpegBlockNamesJpeg) {
    for (int bits : {24, 32}) {
        TeskTestFile f;
        f.compression = 2;
        TeskTestFrame fr;
        fr.width = 37, fr.height = 21, fr.bits = bits;
        TeskTestLayer l;
        l.jpeg = {0xFF, 0xD8, 0xFF, 0x00};
        fr.layers.push_back(l);
        f.frames.push_back(fr);
        try {
            Load(WriteTeskTestFile(f));
            ADD_FAILURE() << bits << ": loaded";
        } catch (const ECorruptData& e) {
            EXPECT_EQ(e.Message(), Sjis("JPEG 画像が壊れています")) << bits;
        }
    }
}

TEST(TeskPng, RefusesCorruptPng) {
    auto png = ReadFile("rgba.png");
    png.resize(png.size() / 2);
    TTeskFrameList list;
    TMemoryStream s = StreamOf(png);
    EXPECT_THROW(list.LoadAnyFromStream(s, false), ECorruptData);
}

// Packed data is small; the pixels a file asks for are bounded over the
// whole file (every layer stays until the last frame is read) and refused
// before anything is allocated for them.
TEST(TeskReader, RefusesFilesAskingForTooManyPixels) {
    TeskTestFile f;
    f.compression = 0;
    f.frames.push_back(Frame24(2, 2, Rows24(2, 2, 0)));
    TeskTestFrame big;
    big.width = big.height = 4096;
    TeskTestLayer l;
    l.useRawBlock = true;  // never reached
    big.layers.assign(20, l);
    f.frames.push_back(big);
    EXPECT_THROW(Load(WriteTeskTestFile(f)), ECorruptData);
    EXPECT_EQ(1, Load(WriteTeskTestFile(f), 0, true).Count());
}

TEST(TeskWriter, FilesByExtension) {
    const std::string dir = PrivateTempFolder();
    TTeskFrameList out;
    out.AddFrame()->Image.SetSize(3, 3, 24);
    out.GetFrame(0)->Image.SetPixel(2, 2, 0xABCDEF);
    out.SaveToFile(dir + "/saved.TES");
    TTeskFrameList in;
    in.LoadFromFile(dir + "/saved.TES", false);
    ASSERT_EQ(1, in.Count());
    EXPECT_EQ(0xABCDEFu, in.GetFrame(0)->Image.GetPixel(2, 2));
    TMemoryStream head;
    head.LoadFromFile(dir + "/saved.TES");
    EXPECT_EQ(0, std::memcmp(head.Memory(), "Tesk106", 7));
    EXPECT_EQ(0, head.Memory()[7 + 4 + 22]);  // zlib
    TTeskFrameList other;
    other.LoadFromFile(dir + "/saved.gif", false);  // not a known extension
    EXPECT_EQ(0, other.Count());
    in.LoadFromFile(std::string(VORQ_TEST_DATA) + "/dib/bmp_24bit.bmp", false);
    ASSERT_EQ(1, in.Count());
    std::remove((dir + "/saved.TES").c_str());
}

// Scrambling without a key would store data nobody can read back.
TEST(TeskWriter, ScrambledBlockWithoutACodeIsRefused) {
    TDIBSurface bmp;
    bmp.SetSize(2, 2, 24);
    TTeskHeader header;
    header.Width = header.Height = 2;
    header.BitCount = 24;
    header.Scrambled = 1;
    TMemoryStream s;
    try {
        TTeskLayer::WriteImageData(s, header, 0, &bmp, false);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(Sjis("識別コードを設定してください"), e.Message());
    }
    EXPECT_NO_THROW(TTeskLayer::WriteImageData(s, header, 9, &bmp, false));
}
