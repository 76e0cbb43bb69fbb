#include "render/ico.h"

#include "files/palette.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "render/dib_surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void BadFile() { RaiseInvalidDIB(); }

TIconChooser icon_chooser = nullptr;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

TIconDirectory ReadIconDirectory(TStream& stream) {
    FieldReader r = PictureFields(stream);
    TIconDirectory dir;
    const uint16_t reserved = r.U16("reserved");
    dir.Type = r.U16("type");
    if (reserved != 0 || (dir.Type != 1 && dir.Type != 2)) BadFile();
    const uint32_t count = r.U16("entry count");
    if (count == 0) BadFile();
    r.CheckCount(count, 16, 65535, "entry count");
    for (uint32_t i = 0; i < count; ++i) {
        TIconEntry entry;
        const uint8_t width = r.U8("width"), height = r.U8("height");
        entry.Width = width ? width : 256;
        entry.Height = height ? height : 256;
        entry.ColorCount = r.U8("colour count");
        r.U8("reserved");
        entry.Planes = r.U16("planes");
        entry.BitCount = r.U16("bit count");
        entry.Size = r.U32("size");
        entry.Offset = r.U32("offset");
        dir.Entries.push_back(entry);
    }
    return dir;
}

void LoadIcon(TDIBSurface& surface, TStream& stream, int index) {
    const int64_t start = stream.GetPosition();
    const int64_t total = stream.GetSize() - start;
    const TIconDirectory dir = ReadIconDirectory(stream);
    if (index < 0 || index >= static_cast<int>(dir.Entries.size())) BadFile();
    const TIconEntry& e = dir.Entries[index];
    if (e.Size < 40 || static_cast<int64_t>(e.Offset) + e.Size > total) BadFile();
    TMemoryStream image;
    image.SetSize(e.Size);
    stream.SetPosition(start + e.Offset);
    PictureFields(stream).Bytes(image.Memory(), e.Size, "image");
    const uint8_t* blob = image.Memory();

    // The colour image's header, with the height of both halves.
    FieldReader r = PictureFields(image);
    if (r.U32("header size") != 40) BadFile();  // also refuses PNG-compressed images
    const int32_t width = r.I32("width");
    const int32_t fullHeight = r.I32("height");
    r.U16("planes");
    const int bpp = r.U16("bit count");
    const uint32_t compression = r.U32("compression");
    r.U32("image size");
    r.U32("horizontal resolution");
    r.U32("vertical resolution");
    const uint32_t colorsUsed = r.U32("colours used");
    r.U32("important colours");
    if (width < 1 || fullHeight < 2 || (compression != 0 && compression != 3)) BadFile();
    const int height = fullHeight / 2;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) BadFile();
    CheckDIBSize(width, height, bpp);
    const int64_t colors = colorsUsed ? colorsUsed : (bpp <= 8 ? 1 << bpp : 0);
    if (colors > 256) BadFile();
    const int64_t fieldsIn = compression == 3 ? 12 : 0;
    const int64_t xorBytes = static_cast<int64_t>(ScanLineWidth(width, bpp)) * height;
    const int64_t andStride = ScanLineWidth(width, 1);
    const int64_t xorAt = 40 + fieldsIn + colors * 4;
    if (xorAt + xorBytes > e.Size) BadFile();
    // A missing AND mask reads as all zero (everything shown).
    const int64_t andAt = xorAt + xorBytes;
    const bool hasAnd = andAt + andStride * height <= e.Size;

    // The colour half rebuilt as a packed bitmap (16/32 bpp with bit fields).
    std::vector<uint8_t> bmp;
    const bool fields = bpp == 16 || bpp == 32;
    Put32(bmp, 40);
    Put32(bmp, static_cast<uint32_t>(width));
    Put32(bmp, static_cast<uint32_t>(height));
    Put16(bmp, 1);
    Put16(bmp, static_cast<uint16_t>(bpp));
    Put32(bmp, fields ? 3 : 0);
    Put32(bmp, static_cast<uint32_t>(xorBytes));
    Put32(bmp, 0);
    Put32(bmp, 0);
    Put32(bmp, static_cast<uint32_t>(colors));
    Put32(bmp, 0);
    if (fields) {
        if (fieldsIn) bmp.insert(bmp.end(), blob + 40, blob + 52);
        else if (bpp == 16) Put32(bmp, 0x7C00), Put32(bmp, 0x3E0), Put32(bmp, 0x1F);
        else Put32(bmp, 0xFF0000), Put32(bmp, 0xFF00), Put32(bmp, 0xFF);
    }
    bmp.insert(bmp.end(), blob + 40 + fieldsIn, blob + andAt);
    TMemoryStream ms;
    ms.WriteBuffer(bmp.data(), static_cast<int64_t>(bmp.size()));
    ms.SetPosition(0);
    TDIBSurface out;
    out.ReadData(ms);

    auto andBit = [&](int x, int y) {
        if (!hasAnd) return false;
        const uint8_t* row = &blob[static_cast<size_t>(andAt + andStride * (height - 1 - y))];
        return ((row[x >> 3] >> (7 - (x & 7))) & 1) != 0;
    };
    out.CreateMask();
    bool anyAlpha = false;
    if (bpp == 32)
        for (int y = 0; y < height && !anyAlpha; ++y)
            for (int x = 0; x < width; ++x) anyAlpha |= out.ScanLineReadOnly(y)[4 * x + 3] != 0;
    for (int y = 0; y < height; ++y) {
        uint8_t* m = out.Mask()->ScanLine(y);
        const uint8_t* s = out.ScanLineReadOnly(y);
        for (int x = 0; x < width; ++x) {
            const uint8_t a = anyAlpha ? s[4 * x + 3] : 255;
            m[x] = andBit(x, y) ? 0 : a;
        }
    }
    if (bpp == 32) out.SetBitCount(24);
    if (dir.Type == 2) out.HotSpot = TPoint{e.Planes, e.BitCount};
    surface.AssignSurface(out);
    surface.HotSpot = out.HotSpot;
}

int IconImageBitCount(TStream& stream, const TIconEntry& entry) {
    const int64_t start = stream.GetPosition();
    int bits = entry.BitCount;
    try {
        if (entry.Size >= 40 && start + entry.Offset + 40 <= stream.GetSize()) {
            stream.SetPosition(start + entry.Offset);
            FieldReader r = PictureFields(stream);
            if (r.U32("header size") == 40) {
                r.I32("width");
                r.I32("height");
                r.U16("planes");
                bits = r.U16("bit count");
            }
        }
    } catch (const Exception&) {
    }
    stream.SetPosition(start);
    return bits;
}

void SetIconChooser(TIconChooser chooser) { icon_chooser = chooser; }

void LoadChosenIcon(TDIBSurface& surface, TStream& stream) {
    const int64_t start = stream.GetPosition();
    const TIconDirectory dir = ReadIconDirectory(stream);
    int index = 0;
    if (dir.Entries.size() > 1 && icon_chooser) {
        stream.SetPosition(start);
        const int chosen = icon_chooser(dir, stream);
        if (chosen >= 0 && chosen < static_cast<int>(dir.Entries.size())) index = chosen;
    }
    stream.SetPosition(start);
    LoadIcon(surface, stream, index);
}

void LoadCursorIcon(TDIBSurface& surface, TStream& stream) {
    const int64_t start = stream.GetPosition();
    const TIconDirectory dir = ReadIconDirectory(stream);
    stream.SetPosition(start);
    int best = 0, bestDistance = 0, bestBits = 0;
    for (size_t i = 0; i < dir.Entries.size(); ++i) {
        const TIconEntry& e = dir.Entries[i];
        const int distance = std::abs(e.Width - 32) + std::abs(e.Height - 32);
        const int bits = IconImageBitCount(stream, e);
        if (i == 0 || distance < bestDistance || (distance == bestDistance && bits > bestBits)) {
            best = static_cast<int>(i);
            bestDistance = distance;
            bestBits = bits;
        }
    }
    LoadIcon(surface, stream, best);
}

void SaveIcon(const TDIBSurface& surface, TStream& stream, bool cursor) {
    if (surface.Empty()) return;
    const int w = surface.Width(), h = surface.Height();
    const TDIBSurface* mask = surface.Mask();
    bool soft = false;
    if (mask)
        for (int y = 0; y < h && !soft; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t m = mask->ScanLineReadOnly(y)[x];
                if (m != 0 && m != 255) {
                    soft = true;
                    break;
                }
            }
    TDIB image(surface);
    if (soft) image.SetBitCount(32);
    else if (image.BitCount() == 16 || image.BitCount() == 32) image.SetBitCount(24);
    const int bpp = image.BitCount();
    const bool keyed = !mask && bpp <= 8 && surface.TransparentColor >= 0;
    const int andStride = ScanLineWidth(w, 1);
    std::vector<uint8_t> andBits(static_cast<size_t>(andStride) * h, 0);
    const uint32_t black = bpp <= 8 ? surface.RGBToPixel(0, 0, 0) : 0;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = image.ScanLine(y);
        for (int x = 0; x < w; ++x) {
            const uint8_t m = mask ? mask->ScanLineReadOnly(y)[x] : 255;
            if (soft) {
                row[4 * x + 3] = m;
                if (m == 0) std::memset(row + 4 * x, 0, 4);
                continue;
            }
            const bool out = mask ? m < 128 : keyed && DIBGetRaw(row, x, bpp) == static_cast<uint32_t>(surface.TransparentColor);
            if (!out) continue;
            andBits[static_cast<size_t>(y) * andStride + (x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
            DIBSetRaw(row, x, bpp, black);
        }
    }
    const int colors = bpp <= 8 ? image.ColorCount() : 0;
    const int xorBytes = image.WidthBytes() * h;
    const uint32_t size = static_cast<uint32_t>(40 + colors * 4 + xorBytes + andStride * h);
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, cursor ? 2 : 1);
    Put16(out, 1);
    out.push_back(static_cast<uint8_t>(w >= 256 ? 0 : w));
    out.push_back(static_cast<uint8_t>(h >= 256 ? 0 : h));
    out.push_back(static_cast<uint8_t>(colors < 256 ? colors : 0));
    out.push_back(0);
    Put16(out, static_cast<uint16_t>(cursor ? surface.HotSpot.X : 1));
    Put16(out, static_cast<uint16_t>(cursor ? surface.HotSpot.Y : bpp));
    Put32(out, size);
    Put32(out, 22);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(w));
    Put32(out, static_cast<uint32_t>(h * 2));
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(bpp));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(xorBytes + andStride * h));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    for (int i = 0; i < colors; ++i) {
        const TRGBQuad& q = image.ColorTable()[i];
        out.insert(out.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
    }
    for (int y = h - 1; y >= 0; --y) out.insert(out.end(), image.ScanLineReadOnly(y), image.ScanLineReadOnly(y) + image.WidthBytes());
    for (int y = h - 1; y >= 0; --y)
        out.insert(out.end(), andBits.begin() + static_cast<ptrdiff_t>(y) * andStride, andBits.begin() + static_cast<ptrdiff_t>(y + 1) * andStride);
    stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
}
