// Every reader of outside data on damaged input: each prefix of a valid file
// and each single byte of it replaced (inverted, cleared, set to 0x7F and to
// 0x80). Every case must either load or raise one of our exceptions; a
// crash, a standard-library exception or a sanitizer report is a fault.
// Deterministic, so a failure names the case.
#include "dib_golden.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "render/dib.h"
#include "render/dib_surface.h"
#include "render/dibx.h"
#include "render/ico.h"
#include "render/label_list.h"
#include "render/tesk.h"
#include "render/tga.h"
#include "tests/support/plain_dibx.h"
#include "tests/support/tesk_writer.h"

#include <gtest/gtest.h>

#include <functional>

using namespace dibtest;

namespace {

struct Tally {
    int loaded = 0;
    int refused = 0;
};

// Runs load on one damaged copy; the reader sees a stream at position 0.
void Try(const std::vector<uint8_t>& bytes, const std::function<void(TStream&)>& load, Tally& t,
         const std::string& what) {
    TMemoryStream s = StreamOf(bytes);
    try {
        load(s);
        ++t.loaded;
    } catch (const Exception&) {
        ++t.refused;
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": " << e.what();
    }
}

Tally Fuzz(const std::string& name, const std::vector<uint8_t>& good, const std::function<void(TStream&)>& load) {
    Tally t;
    {
        TMemoryStream s = StreamOf(good);
        EXPECT_NO_THROW(load(s)) << name << " (undamaged)";
    }
    for (size_t n = 0; n < good.size(); ++n)
        Try(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(n)), load, t,
            name + " cut to " + std::to_string(n));
    for (size_t i = 0; i < good.size(); ++i)
        for (int v : {-1, 0x00, 0x7F, 0x80}) {
            std::vector<uint8_t> b = good;
            b[i] = v < 0 ? uint8_t(~b[i]) : uint8_t(v);
            if (b[i] == good[i]) continue;
            Try(b, load, t, name + " byte " + std::to_string(i) + " = " + std::to_string(b[i]));
        }
    // The empty prefix at least is refused by every reader.
    EXPECT_GT(t.refused, 0) << name;
    return t;
}

std::vector<uint8_t> Bytes(TMemoryStream& s) { return {s.Memory(), s.Memory() + s.GetSize()}; }

}  // namespace

TEST(ReaderFuzz, Bitmaps) {
    for (const char* name : {"bmp_1bit.bmp", "bmp_4bit.bmp", "bmp_8bit.bmp", "bmp_16_565.bmp", "bmp_24bit.bmp",
                             "bmp_32_fields.bmp", "bmp_os2.bmp", "bmp_rle4.bmp", "bmp_rle8_delta.bmp",
                             "bmp_topdown.bmp", "bmp_offbits.bmp"}) {
        // Run-length data is kept packed until the pixels are first read,
        // so every pixel is read as well as written once.
        Fuzz(name, ReadBytes(DataPath(name)), [](TStream& s) {
            TDIB d;
            d.LoadFromStream(s);
            uint32_t sum = 0;
            for (int y = 0; y < d.Height(); ++y)
                for (int x = 0; x < d.Width(); ++x) sum += d.GetPixel(x, y);
            if (!d.Empty()) d.SetPixel(0, 0, sum);
            d.SetBitCount(24);
        });
        // The surface loader sniffs the same bytes.
        Fuzz(std::string(name) + " as surface", ReadBytes(DataPath(name)), [](TStream& s) {
            TPlainDIBX d(1, 1, 32);
            LoadSurfaceFromStream(d, &s, 0);
        });
    }
}

TEST(ReaderFuzz, Targa) {
    for (const char* name : {"tga_type1.tga", "tga_type2.tga", "tga_type9.tga", "tga_type10.tga",
                             "tga_type10_32.tga", "tga_16_mirrored.tga"})
        for (bool alpha : {false, true})
            Fuzz(name, ReadBytes(DataPath(name)), [alpha](TStream& s) {
                TDIBSurface d;
                LoadTGA(d, s, alpha);
            });
}

TEST(ReaderFuzz, IconsAndCursors) {
    for (const char* name : {"ico_4bit.ico", "ico_one.ico", "ico_two.ico", "cur_one.cur"})
        Fuzz(name, ReadBytes(DataPath(name)), [](TStream& s) {
            const int64_t start = s.GetPosition();
            const TIconDirectory dir = ReadIconDirectory(s);
            for (size_t i = 0; i < dir.Entries.size() && i < 4; ++i) {
                s.SetPosition(start);
                TDIBSurface d;
                LoadIcon(d, s, int(i));
                s.SetPosition(start);
                IconImageBitCount(s, dir.Entries[i]);
            }
        });
}

// The image a pointer takes, chosen over every entry of the directory.
TEST(ReaderFuzz, CursorChoice) {
    for (const char* name : {"choose_tie.cur", "choose_colours.cur"})
        Fuzz(name, ReadBytes(std::string(VORQ_TEST_DATA) + "/objects/" + name), [](TStream& s) {
            TDIBSurface d;
            LoadCursorIcon(d, s);
        });
}

TEST(ReaderFuzz, PngThroughTheLayeredImageReader) {
    for (const char* name : {"grey.png", "rgb.png", "rgba.png", "pal_trns.png"}) {
        const auto bytes = ReadBytes(std::string(VORQ_TEST_DATA) + "/tesk/" + name);
        Fuzz(name, bytes, [](TStream& s) {
            TTeskFrameList list;
            list.LoadAnyFromStream(s, false);
        });
        Fuzz(std::string(name) + " as surface", bytes, [](TStream& s) {
            TPlainDIBX d(1, 1, 16);
            LoadSurfaceFromStream(d, &s, 0);
        });
    }
}

TEST(ReaderFuzz, LayeredImages) {
    auto load = [](uint32_t id) {
        return [id](TStream& s) {
            TTeskFrameList list(id);
            list.LoadFromStream(s, false);
            list.MakeMasks();
        };
    };
    // Our own writer: two frames, a mask, each compression but JPEG.
    for (uint8_t comp : {uint8_t(0), uint8_t(1)}) {
        TTeskFrameList list;
        for (int f = 0; f < 2; ++f) {
            TTeskFrame& fr = *list.AddFrame();
            fr.Image.SetSize(5, 3, 24);
            fr.Image.FillRect(TRect{1, 0, 4, 2}, 0x102030 * (f + 1));
            fr.TransparentColor = 0;
            fr.Delay = 20;
        }
        list.MakeMasks();
        TMemoryStream s;
        list.SaveToStream(s, comp);
        Fuzz("written, compression " + std::to_string(comp), Bytes(s), load(0));
    }
    // Tiles shared within a layer and with an earlier frame, scrambled, and
    // a palette frame.
    TeskTestFile f;
    f.compression = 0;
    f.tileWidth = 2, f.tileHeight = 2;
    f.scrambled = true;
    f.idCode = 5;
    TeskTestFrame f0;
    f0.width = 3, f0.height = 3, f0.bits = 24;
    TeskTestLayer l;
    l.rows.assign(size_t(TeskTestStride(3, 24)) * 3, 0x55);
    l.maskRows.assign(size_t(4) * 3, 0x99);
    l.useMask = true;
    f0.layers.push_back(l);
    f.frames.push_back(f0);
    TeskTestFrame f1 = f0;
    f1.layers[0].tiles = {{-1, 0}, {-2, 0}, {0, 0}, {-1, 0}};
    f1.layers[0].maskTiles = {{0, 0}, {0, 0}, {0, 0}, {-1, 0}};
    f.frames.push_back(f1);
    TeskTestFrame p;
    p.width = 4, p.height = 2, p.bits = 8;
    p.palette.assign(256 * 4, 0x40);
    p.key = 3;
    TeskTestLayer pl;
    pl.rows.assign(size_t(TeskTestStride(4, 8)) * 2, 3);
    p.layers.push_back(pl);
    f.frames.push_back(p);
    Fuzz("tiled and scrambled", WriteTeskTestFile(f), load(5));
}

TEST(ReaderFuzz, LabelSettings) {
    TWzLabelList a([](int32_t, int32_t, int32_t) -> std::unique_ptr<TCustomDIBX> { return std::make_unique<TPlainDIBX>(); });
    a.FontName = "x";
    a.BorderWidth = 2;
    a.ShadowWidth = 1;
    TMemoryStream s;
    a.SaveToStream(s);
    const auto good = Bytes(s);
    for (int32_t version : {108, 122})
        Fuzz("label settings " + std::to_string(version), good, [version](TStream& in) {
            TWzLabelList b([](int32_t, int32_t, int32_t) -> std::unique_ptr<TCustomDIBX> { return std::make_unique<TPlainDIBX>(); });
            b.LoadFromStream(in, version);
        });
}
