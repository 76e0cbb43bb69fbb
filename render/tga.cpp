#include "render/tga.h"

#include "platform/filesystem/stream.h"
#include "render/dib_surface.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void BadFile() { RaiseInvalidDIB(); }

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// Bytes of one stored pixel of the given depth.
int PixelBytes(int depth) { return (depth + 7) / 8; }

}  // namespace

bool LoadTGA(TDIBSurface& surface, TStream& stream, bool alpha) {
    const int64_t start = stream.GetPosition();
    const int64_t total = stream.GetSize() - start;
    FieldReader r = PictureFields(stream);
    const int idLength = r.U8("id length");
    const int mapType = r.U8("colour map type");
    const int type = r.U8("image type");
    const int mapFirst = r.U16("first map entry");
    const int mapLength = r.U16("map length");
    const int mapDepth = r.U8("map entry size");
    r.U16("x origin");
    r.U16("y origin");
    const int width = r.U16("width");
    const int height = r.U16("height");
    const int depth = r.U8("pixel depth");
    const int descriptor = r.U8("descriptor");
    if (type != 1 && type != 2 && type != 9 && type != 10) return false;
    const bool mapped = type == 1 || type == 9;
    if (mapped && (mapType != 1 || depth != 8 || mapLength == 0 || mapFirst + mapLength > 256)) BadFile();
    if (!mapped && depth != 15 && depth != 16 && depth != 24 && depth != 32) BadFile();
    if (mapType == 1 && mapDepth != 15 && mapDepth != 16 && mapDepth != 24 && mapDepth != 32) BadFile();
    const int bpp = mapped ? 8 : depth == 15 ? 16 : depth;
    CheckDIBSize(width, height, bpp);

    // Image id, then the colour map (only a colour-mapped picture keeps it).
    r.Skip(idLength, "image id");
    const int mapEntries = mapType == 1 ? mapLength : 0;
    r.CheckCount(mapEntries, PixelBytes(mapDepth), 65535, "colour map");
    std::vector<uint8_t> map(static_cast<size_t>(mapEntries) * PixelBytes(mapDepth));
    r.Bytes(map.data(), map.size(), "colour map");
    // The pixels the header declares must be there before any memory is
    // taken for them: raw data byte for byte, packets at most 128 pixels
    // each, every packet a header byte and a pixel at least.
    const int pb = PixelBytes(depth);
    const int64_t count = static_cast<int64_t>(width) * height;
    const int64_t pixelBytes = count * pb;
    if (type == 1 || type == 2) r.Need(pixelBytes, "pixels");
    else r.Need((count + 127) / 128 * (1 + pb), "packets");

    TDIBSurface out;
    out.SetSize(width, height, bpp == 16 ? 16 : bpp);
    if (mapped) {
        TRGBQuad table[256] = {};
        const int eb = PixelBytes(mapDepth);
        for (int i = 0; i < mapLength; ++i) {
            const uint8_t* e = &map[static_cast<size_t>(i) * eb];
            TRGBQuad& q = table[mapFirst + i];
            if (eb == 2) {
                const uint16_t v = U16(e);
                q = {static_cast<uint8_t>((v & 31) << 3), static_cast<uint8_t>(((v >> 5) & 31) << 3),
                     static_cast<uint8_t>(((v >> 10) & 31) << 3), 0};
            } else {
                q = {e[0], e[1], e[2], 0};
            }
        }
        out.SetColorTable(table);
    }

    // Pixel data as stored: raw, or packets (header < 128: header + 1
    // literal pixels; else (header and 127) + 1 copies of one pixel).
    std::vector<uint8_t> px(static_cast<size_t>(pixelBytes));
    if (type == 1 || type == 2) {
        r.Bytes(px.data(), px.size(), "pixels");
    } else {
        // Packets run to the end of the file at most.
        std::vector<uint8_t> data(static_cast<size_t>(std::max<int64_t>(r.Remaining(), 0)));
        r.Bytes(data.data(), data.size(), "packets");
        size_t p = 0;
        int64_t filled = 0;
        while (filled < count) {
            if (p >= data.size()) BadFile();
            const int header = data[p++];
            const int n = (header & 127) + 1;
            if (n > count - filled) BadFile();
            uint8_t* dst = &px[static_cast<size_t>(filled) * pb];
            if (header >= 128) {
                if (p + pb > data.size()) BadFile();
                for (int i = 0; i < n; ++i) std::memcpy(dst + i * pb, &data[p], pb);
                p += pb;
            } else {
                if (p + static_cast<size_t>(n) * pb > data.size()) BadFile();
                std::memcpy(dst, &data[p], static_cast<size_t>(n) * pb);
                p += static_cast<size_t>(n) * pb;
            }
            filled += n;
        }
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.ScanLine(y);
        const uint8_t* s = &px[static_cast<size_t>(y) * width * pb];
        for (int x = 0; x < width; ++x, s += pb) {
            if (mapped) {
                if (s[0] < mapFirst || s[0] >= mapFirst + mapLength) BadFile();
                row[x] = s[0];
            } else if (pb == 2) {
                // 5-5-5 (top bit an attribute) into 5-6-5: red and green up one bit.
                const uint16_t v = U16(s);
                const uint16_t w = static_cast<uint16_t>(((v & 0x7FE0) << 1) | (v & 0x1F));
                row[2 * x] = static_cast<uint8_t>(w);
                row[2 * x + 1] = static_cast<uint8_t>(w >> 8);
            } else {
                std::memcpy(row + x * pb, s, pb);
            }
        }
    }
    if (descriptor & 0x10) out.MirrorHorizontal();
    if (!(descriptor & 0x20)) out.MirrorVertical();

    // Footer: extension-area offset, developer-area offset, signature.
    if (total >= 18 + 26) {
        stream.SetPosition(start + total - 26);
        const uint32_t ext = r.U32("extension offset");
        r.U32("developer offset");
        if (r.Fixed(18, "signature") == std::string("TRUEVISION-XFILE.", 18)) {
            if (ext > 0 && static_cast<int64_t>(ext) + 474 <= total - 26) {
                // The key colour of the extension area, stored blue, green, red, alpha.
                stream.SetPosition(start + ext + 470);
                const uint8_t b = r.U8("key colour"), g = r.U8("key colour"), red = r.U8("key colour");
                out.TransparentColor = static_cast<int32_t>(out.RGBToPixel(red, g, b));
            }
        }
    }
    if (alpha && bpp == 32) {
        out.CreateMask();
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = out.ScanLineReadOnly(y);
            uint8_t* m = out.Mask()->ScanLine(y);
            for (int x = 0; x < width; ++x) m[x] = s[4 * x + 3];
        }
        out.SetBitCount(24);
    }
    surface.AssignSurface(out);
    surface.TransparentColor = out.TransparentColor;
    return true;
}

void SaveTGA(const TDIBSurface& surface, TStream& stream, bool rle) {
    if (surface.Empty()) return;
    const int bpp = surface.BitCount(), w = surface.Width(), h = surface.Height();
    const bool mapped = bpp <= 8;
    const int depth = mapped ? 8 : bpp;
    const int pb = depth / 8;
    std::vector<uint8_t> out;
    out.push_back(0);  // no image id
    out.push_back(mapped ? 1 : 0);
    out.push_back(static_cast<uint8_t>(mapped ? (rle ? 9 : 1) : (rle ? 10 : 2)));
    Put16(out, 0);
    Put16(out, static_cast<uint16_t>(mapped ? surface.ColorCount() : 0));
    out.push_back(mapped ? 24 : 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint16_t>(w));
    Put16(out, static_cast<uint16_t>(h));
    out.push_back(static_cast<uint8_t>(depth));
    out.push_back(bpp == 32 ? 8 : 0);  // bottom-up; 32 bits carry 8 attribute bits
    for (int i = 0; mapped && i < surface.ColorCount(); ++i) {
        const TRGBQuad& q = surface.ColorTable()[i];
        out.insert(out.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed});
    }
    const bool is555 = surface.GetBitCount() == 15;
    std::vector<uint8_t> row(static_cast<size_t>(w) * pb);
    for (int y = h - 1; y >= 0; --y) {
        const uint8_t* s = surface.ScanLineReadOnly(y);
        for (int x = 0; x < w; ++x) {
            uint8_t* d = &row[static_cast<size_t>(x) * pb];
            if (mapped) {
                d[0] = static_cast<uint8_t>(DIBGetRaw(s, x, bpp));
            } else if (bpp == 16) {
                uint16_t v = static_cast<uint16_t>(DIBGetRaw(s, x, 16));
                if (!is555) v = static_cast<uint16_t>(((v >> 1) & 0x7FE0) | (v & 0x1F));
                d[0] = static_cast<uint8_t>(v);
                d[1] = static_cast<uint8_t>(v >> 8);
            } else {
                std::memcpy(d, s + x * pb, pb);
            }
        }
        if (!rle) {
            out.insert(out.end(), row.begin(), row.end());
            continue;
        }
        // Runs of equal pixels within the row, literals between them.
        auto same = [&](int a, int b) { return std::memcmp(&row[static_cast<size_t>(a) * pb], &row[static_cast<size_t>(b) * pb], pb) == 0; };
        int x = 0;
        while (x < w) {
            int run = 1;
            while (x + run < w && run < 128 && same(x, x + run)) ++run;
            if (run >= 2) {
                out.push_back(static_cast<uint8_t>(0x80 | (run - 1)));
                out.insert(out.end(), &row[static_cast<size_t>(x) * pb], &row[static_cast<size_t>(x) * pb] + pb);
                x += run;
                continue;
            }
            int n = 1;
            while (x + n < w && n < 128 && !(x + n + 1 < w && same(x + n, x + n + 1))) ++n;
            out.push_back(static_cast<uint8_t>(n - 1));
            out.insert(out.end(), &row[static_cast<size_t>(x) * pb], &row[static_cast<size_t>(x + n) * pb]);
            x += n;
        }
    }
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}
