#include "render/tesk.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "files/field_reader.h"
#include "files/packing.h"
#include "files/palette.h"
#include "files/random.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/custom_dibx.h"
#include "render/dibx.h"

namespace {

// Bounds that keep hostile files from asking for absurd allocations; real
// images stay far below them.
constexpr uint32_t kMaxNameLength = 1u << 16;
constexpr int32_t kMaxLayers = 4096;
constexpr uint32_t kMaxRects = 1u << 20;
constexpr int kMaxSide = 32768;
constexpr int64_t kMaxPixelBytes = int64_t(1) << 30;

[[noreturn]] void Corrupt(const char* what) {
    throw ECorruptData(Sjis("Tesk 画像が壊れています: ") + what);
}

// The JPEG decoder's own failure, named as the PNG decoder names its own.
[[noreturn]] void CorruptJpeg() { throw ECorruptData(Sjis("JPEG 画像が壊れています")); }

int StorageBits(int bits) { return bits == 15 ? 16 : bits; }
int RowBytes(int width, int bits) { return ScanLineWidth(width, StorageBits(bits)); }
bool ValidTeskBits(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// The fewest bytes a layer record of a w x h frame can take: its fields and
// an image block that holds its pixels. Raw rows are stored whole; zlib
// packs at most 1032 to 1; a tile table has 8 bytes a tile; JPEG spends at
// least a bit on each 8 x 8 block.
int64_t MinLayerBytes(int w, int h, int bits, int version, const TTeskHeader& header) {
    const int64_t rows = int64_t(RowBytes(w, bits)) * h;
    int64_t data = rows;
    if (version >= 103 && header.Compression == tcJpeg) {
        data = (int64_t(w + 7) / 8) * ((h + 7) / 8) / 8;
    } else if (version >= 103) {
        const bool tiled = header.TileWidth >= 1 && header.TileHeight >= 1;
        if (tiled)
            data = ((int64_t(w) + header.TileWidth - 1) / header.TileWidth) *
                   ((int64_t(h) + header.TileHeight - 1) / header.TileHeight) * 8;
        if (header.Compression == tcZlib) data /= 1032;
    }
    return 25 + 8 + data;
}

// The one reader of this form's fields, raising its corrupt-picture message.
FieldReader TeskFields(TStream& s) { return FieldReader(s, Sjis("Tesk 画像が壊れています")); }

std::vector<TRect> ReadRects(FieldReader& in) {
    const uint32_t n = in.Count("rectangle count", 16, kMaxRects);
    std::vector<TRect> v(n);
    for (TRect& r : v) {
        r.Left = in.I32("rectangle left");
        r.Top = in.I32("rectangle top");
        r.Right = in.I32("rectangle right");
        r.Bottom = in.I32("rectangle bottom");
    }
    return v;
}

void PutU32(TStream& s, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    s.WriteBuffer(b, 4);
}
void PutU8(TStream& s, uint8_t v) { s.WriteBuffer(&v, 1); }
void PutBytes(TStream& s, const std::string& v) {
    PutU32(s, static_cast<uint32_t>(v.size()));
    s.WriteBuffer(v.data(), static_cast<int64_t>(v.size()));
}

// ------------------------------------------------------------------ JPEG

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void JpegSilent(j_common_ptr, int) {}

// Kept free of objects with destructors: libjpeg reports errors by a long
// jump back into this function. Rows are written as blue, green, red.
// Returns false on any decoding error or a size other than width x height.
bool DecodeJpegRows(const uint8_t* data, size_t n, int width, int height, uint8_t* rows, size_t stride) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.emit_message = JpegSilent;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(n));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width != unsigned(width) || cinfo.image_height != unsigned(height) ||
        (cinfo.jpeg_color_space != JCS_GRAYSCALE && cinfo.num_components != 3)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rows + size_t(cinfo.output_scanline) * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool EncodeJpegRows(const uint8_t* rows, int width, int height, size_t stride, int quality, unsigned char** out,
                    unsigned long* outSize) {
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegErrorExit;
    err.mgr.emit_message = JpegSilent;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(rows) + size_t(cinfo.next_scanline) * stride;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// The picture as top-down blue, green, red rows of width * 3 bytes.
std::vector<uint8_t> BgrRows(const TDIB& dib) {
    const size_t stride = size_t(dib.Width()) * 3;
    std::vector<uint8_t> bgr(stride * dib.Height());
    for (int y = 0; y < dib.Height(); ++y) dib.ReadRowBGR(y, bgr.data() + y * stride);
    return bgr;
}

}  // namespace

// ------------------------------------------------------------------ colours

int32_t SurfacePixelToColor(const TDIBSurface& surface, uint32_t pixel) {
    uint8_t r, g, b;
    surface.PixelToRGB(pixel, r, g, b);
    return r | g << 8 | b << 16;
}

uint32_t SurfaceColorToPixel(const TDIBSurface& surface, int32_t color) {
    return surface.RGBToPixel(uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16));
}

std::vector<int32_t> TeskScrambleOrder(uint32_t idCode, int32_t count) {
    std::vector<int32_t> order(static_cast<size_t>(std::max(count, 0)));
    TWzRandom random(idCode);
    random.SetCount(count);
    for (int32_t& v : order) v = random.Pick();
    return order;
}

// ------------------------------------------------------------------ layer

namespace {

// What one picture block must become: a layer's image or its mask.
struct BlockTarget {
    TDIB& dib;
    int bits;  // storage bits (8 for a mask)
    bool isMask;
};

// Copies a rectangle of whole bytes between two pictures of one format.
void CopyByteRect(TDIB& dst, const TDIB& src, int bits, int x, int y, int w, int h, int srcX, int srcY) {
    const size_t n = (size_t(w) * bits + 7) / 8;
    const size_t dx = size_t(x) * bits / 8, sx = size_t(srcX) * bits / 8;
    for (int r = 0; r < h; ++r) std::memcpy(dst.ScanLine(y + r) + dx, src.ScanLineReadOnly(srcY + r) + sx, n);
}

void DecodeRows(BlockTarget t, const uint8_t* data, size_t n, const std::vector<int32_t>* order) {
    const int h = t.dib.Height();
    const size_t stride = static_cast<size_t>(t.dib.WidthBytes());
    if (n < stride * h) Corrupt("image rows");
    for (int i = 0; i < h; ++i) {
        const int row = order ? (*order)[i] : i;
        std::memcpy(t.dib.ScanLine(row), data + stride * i, stride);
    }
}

}  // namespace

void TTeskLayer::LoadFromStream(TStream& stream, const TTeskHeader& header) {
    FieldReader in = TeskFields(stream);
    TTeskFrameList& list = *Owner->Owner;
    const int version = list.Version;
    in.Skip(8, "layer");
    Visible = in.U8("layer visible");
    TransparentColor = in.I32("layer transparent colour");
    Opacity = in.I32("layer opacity");
    if (version >= 101) UseMask = in.U8("layer uses mask");
    in.Skip(in.U32("layer name"), "layer name");

    const int w = Bitmap.Width(), h = Bitmap.Height(), frameBits = Bitmap.GetBitCount();
    const bool scrambled = version < 103 || (header.Scrambled && header.Compression != tcJpeg);
    const bool tiled = version >= 103 && header.TileWidth >= 1 && header.TileHeight >= 1 && header.Compression != tcJpeg;

    auto readBlock = [&](BlockTarget t) {
        const uint32_t size = in.U32("block size");
        in.Need(size, "block size");
        const size_t stride = static_cast<size_t>(t.dib.WidthBytes());
        const bool packed = version >= 103 && header.Compression != tcNone;
        const bool jpeg = version >= 103 && header.Compression == tcJpeg && !t.isMask;
        // Plain rows go straight into the bitmap, without a copy of the block.
        if (!tiled && !packed) {
            if (size < stride * h) Corrupt("image rows");
            std::vector<int32_t> order;
            if (scrambled) order = TeskScrambleOrder(list.IdCode, h);
            for (int i = 0; i < h; ++i) in.Bytes(t.dib.ScanLine(scrambled ? order[i] : i), int64_t(stride), "image rows");
            in.Skip(int64_t(size) - int64_t(stride) * h, "block");
            return;
        }
        std::vector<uint8_t> raw(size);
        in.Bytes(raw.data(), size, "block");
        if (jpeg) {
            if (t.dib.BitCount() == 24) {
                if (!DecodeJpegRows(raw.data(), raw.size(), w, h, t.dib.TopRow(), stride)) CorruptJpeg();
                return;
            }
            std::vector<uint8_t> bgr(size_t(w) * 3 * h);
            if (!DecodeJpegRows(raw.data(), raw.size(), w, h, bgr.data(), size_t(w) * 3)) CorruptJpeg();
            TColorMatcher matcher(t.dib.ColorTable(), t.dib.ColorCount());
            for (int y = 0; y < h; ++y) t.dib.WriteRowBGR(y, bgr.data() + size_t(w) * 3 * y, &matcher);
            return;
        }
        if (!tiled && !scrambled) {
            if (!InflateExactly(raw.data(), raw.size(), t.dib.TopRow(), stride * h)) Corrupt("image rows");
            return;
        }
        int tilesX = 0, tilesY = 0;
        size_t limit = stride * h;
        if (tiled) {
            tilesX = int((int64_t(w) + header.TileWidth - 1) / header.TileWidth);
            tilesY = int((int64_t(h) + header.TileHeight - 1) / header.TileHeight);
            const int64_t tiles = int64_t(tilesX) * tilesY;
            // The table plus every tile stored in full: each tile row rounds
            // its bytes up at most once per tile column.
            const int64_t bound = tiles * 8 + (int64_t(stride) + tilesX) * h;
            if (bound > kMaxPixelBytes * 2) Corrupt("tiles");
            limit = size_t(bound);
        }
        // More than the bound of output is corrupt data, so a small hostile
        // block cannot make a huge allocation.
        TMemoryStream inflated;
        const uint8_t* data = raw.data();
        size_t n = raw.size();
        if (packed) {
            try {
                InflateTo(raw.data(), raw.size(), inflated, int64_t(limit));
            } catch (const ECorruptData&) {
                Corrupt("zlib");
            }
            data = inflated.Memory();
            n = size_t(inflated.GetSize());
        }
        if (!tiled) {
            std::vector<int32_t> order;
            if (scrambled) order = TeskScrambleOrder(list.IdCode, h);
            DecodeRows(t, data, n, scrambled ? &order : nullptr);
            return;
        }
        const int tiles = tilesX * tilesY;
        if (n / 8 < size_t(tiles)) Corrupt("tile table");
        std::vector<std::array<int32_t, 2>> table(tiles);
        std::vector<int32_t> order;
        if (header.Scrambled) order = TeskScrambleOrder(list.IdCode, tiles);
        for (int i = 0; i < tiles; ++i) {
            int32_t e[2];
            std::memcpy(e, data + size_t(i) * 8, 8);
            table[header.Scrambled ? order[i] : i] = {e[0], e[1]};
        }
        size_t pos = size_t(tiles) * 8;
        // A tile wider or taller than the picture covers it in one column or
        // row; clamping keeps the tile arithmetic in range for any header.
        const int tw = int(std::min<int64_t>(header.TileWidth, w)), th = int(std::min<int64_t>(header.TileHeight, h));
        for (int i = 0; i < tiles; ++i) {
            const int x = (i % tilesX) * tw, y = (i / tilesX) * th;
            const int cw = std::min(tw, w - x), ch = std::min(th, h - y);
            const int32_t a = table[i][0], b = table[i][1];
            if (a == -1) {
                const size_t rowBytes = (size_t(cw) * t.bits + 7) / 8;
                if ((n - pos) / rowBytes < size_t(ch)) Corrupt("tile data");
                const size_t dx = size_t(x) * t.bits / 8;
                for (int r = 0; r < ch; ++r, pos += rowBytes) std::memcpy(t.dib.ScanLine(y + r) + dx, data + pos, rowBytes);
            } else if (a == -2) {
                if (b < 0 || b >= i) Corrupt("tile reference");
                const int sx = (b % tilesX) * tw, sy = (b / tilesX) * th;
                if (sx + cw > w || sy + ch > h) Corrupt("tile reference");
                CopyByteRect(t.dib, t.dib, t.bits, x, y, cw, ch, sx, sy);
            } else if (a >= 0) {
                // An earlier frame, or an earlier layer of the frame being read.
                if (a > list.loading_ || a >= list.Count()) Corrupt("tile reference");
                const TTeskFrame& frame = *list.frames_[a];
                const int limitLayer = a == list.loading_ ? Owner->LayerCount() - 1 : frame.LayerCount();
                if (b < 0 || b >= limitLayer) Corrupt("tile reference");
                const TDIBSurface& from = frame.layers_[b]->Bitmap;
                const TDIB* src = t.isMask ? static_cast<const TDIB*>(from.Mask()) : &from;
                if (!src || src->Width() != w || src->Height() != h || src->BitCount() != t.dib.BitCount() ||
                    (!t.isMask && from.GetBitCount() != frameBits)) {
                    Corrupt("tile reference");
                }
                CopyByteRect(t.dib, *src, t.bits, x, y, cw, ch, x, y);
            } else {
                Corrupt("tile entry");
            }
        }
    };

    readBlock({Bitmap, StorageBits(frameBits), false});
    if (version >= 100) {
        const int64_t at = stream.GetPosition();
        const uint32_t maskSize = in.U32("mask size");
        if (maskSize > 0) {
            stream.SetPosition(at);
            TransparentColor = -1;
            Bitmap.CreateMask();
            readBlock({*Bitmap.Mask(), 8, true});
        }
    }
}

void TTeskLayer::WriteImageData(TStream& stream, const TTeskHeader& header, uint32_t idCode,
                                const TDIBSurface* bitmap, bool isMask) {
    const TDIB* dib = bitmap ? (isMask ? static_cast<const TDIB*>(bitmap->Mask()) : bitmap) : nullptr;
    if (!dib || dib->Empty()) {
        PutU32(stream, 0);
        return;
    }
    if (header.Scrambled && idCode == 0) throw Exception(Sjis("識別コードを設定してください"));
    if (header.Compression == tcJpeg && !isMask) {
        const std::vector<uint8_t> bgr = BgrRows(*dib);
        unsigned char* out = nullptr;
        unsigned long outSize = 0;
        const bool ok = EncodeJpegRows(bgr.data(), dib->Width(), dib->Height(), size_t(dib->Width()) * 3,
                                       header.JpegQuality, &out, &outSize);
        if (ok) {
            PutU32(stream, static_cast<uint32_t>(outSize));
            stream.WriteBuffer(out, static_cast<int64_t>(outSize));
        }
        std::free(out);
        if (!ok) throw Exception(Sjis("JPEG に変換できません"));
        return;
    }
    TMemoryStream block;
    const int h = dib->Height();
    const int64_t stride = dib->WidthBytes();
    std::vector<int32_t> order;
    const bool scrambled = header.Scrambled && header.Compression != tcJpeg;
    if (scrambled) order = TeskScrambleOrder(idCode, h);
    for (int i = 0; i < h; ++i) block.WriteBuffer(dib->ScanLineReadOnly(scrambled ? order[i] : i), stride);
    if (header.Compression == tcZlib || header.Compression == tcJpeg) CompressStream(block);
    PutU32(stream, static_cast<uint32_t>(block.GetSize()));
    stream.WriteBuffer(block.Memory(), block.GetSize());
}

// ------------------------------------------------------------------ frame

TTeskLayer* TTeskFrame::GetLayer(int i) const {
    if (i < 0 || i >= LayerCount()) throw EListError(Sjis("レイヤー番号が範囲外です"));
    return layers_[i].get();
}

void TTeskFrame::LoadFromStream(TStream& stream, const TTeskHeader& header) {
    FieldReader in = TeskFields(stream);
    const int version = Owner->Version;
    Name = in.String("frame name", kMaxNameLength);
    TransparentPixel = in.I32("transparent pixel");
    Delay = in.I32("delay");
    in.Skip(5, "frame");
    // Each layer record takes at least 25 bytes.
    const int32_t layerCount = int32_t(in.Count("layer count", 25, kMaxLayers));
    const int32_t w = in.I32("frame width"), h = in.I32("frame height"), bits = in.I32("bit count");
    if (!ValidTeskBits(bits)) Corrupt("bit count");
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) Corrupt("frame size");
    // Every layer (with its mask) stays until the whole file is read, so a
    // few bytes of packed data must not add up to more than the budget.
    Owner->pixel_bytes_ += (int64_t(RowBytes(w, bits)) + ScanLineWidth(w, 8)) * h * (int64_t(layerCount) + 1);
    if (Owner->pixel_bytes_ > kMaxPixelBytes) Corrupt("frame size");
    // The picture comes from the layers, their pixels from the blocks: what
    // the blocks must hold is checked against the bytes left before any
    // pixel memory is taken.
    if (layerCount < 1) Corrupt("layer count");
    if (in.Remaining() / layerCount < MinLayerBytes(w, h, bits, version, header)) Corrupt("frame size");
    // Sized in full only when a layer does not replace every pixel; until
    // then a 1 x 1 image carries the format and palette.
    Image.SetSize(1, 1, bits);
    bool sized = false;
    auto sizeImage = [&] {
        if (!sized) Image.SetSize(w, h, bits);
        sized = true;
    };
    std::array<TRGBQuad, 256> palette{};
    if (bits <= 8) {
        const int n = 1 << bits;
        in.Bytes(palette.data(), size_t(n) * 4, "palette");
        for (int i = 0; i < n; ++i) palette[i].rgbReserved = 0;
        Image.SetColorTable(palette.data(), 0, n);
    }
    TransparentColor = TransparentPixel >= 0 ? SurfacePixelToColor(Image, uint32_t(TransparentPixel)) : -1;
    // The back colour is filled in only when a layer does not replace the
    // whole picture.
    bool filled = false;
    auto fillBack = [&] {
        if (filled) return;
        filled = true;
        sizeImage();
        Image.FillRect(TRect{0, 0, w, h}, SurfaceColorToPixel(Image, int32_t(Owner->BackColor & 0xFFFFFF)));
    };

    bool first = true;
    for (int32_t i = 0; i < layerCount; ++i) {
        layers_.push_back(std::make_unique<TTeskLayer>(this));
        TTeskLayer& layer = *layers_.back();
        layer.Bitmap.SetSize(w, h, bits);
        if (bits <= 8) layer.Bitmap.SetColorTable(palette.data(), 0, 1 << bits);
        layer.LoadFromStream(stream, header);
        if (!layer.Visible) continue;
        const TRect all{0, 0, w, h};
        const bool masked = layer.Bitmap.Mask() && layer.UseMask;
        if (masked && i == 0) {
            sizeImage();
            Image.SetMaskFrom(*layer.Bitmap.Mask());
        } else if (masked) {
            fillBack();
            Image.DrawMasked(0, 0, 255, all, layer.Bitmap);
            first = false;
            continue;
        }
        if ((layer.TransparentColor < 0 || (first && Owner->FirstLayerOpaque)) && layer.Opacity >= 255) {
            // The layer replaces every pixel: the image shares its store
            // (copied on the next write) instead of copying it.
            filled = sized = true;
            static_cast<TDIB&>(Image) = layer.Bitmap;
        } else {
            fillBack();
            Image.DrawAlpha(0, 0, layer.Opacity, layer.TransparentColor, all, layer.Bitmap);
        }
        first = false;
    }
    fillBack();
    if (version >= 104) {
        Rects1 = ReadRects(in);
        Rects2 = ReadRects(in);
    }
}

void TTeskFrame::SaveToStream(TStream& stream, const TTeskHeader& header, int position) const {
    char name[32];
    std::snprintf(name, sizeof name, "Frame%d", position);
    PutBytes(stream, name);
    // The reader takes this field as a raw pixel value of the image.
    int32_t key = -1;
    if (TransparentPixel >= 0) key = TransparentPixel;
    else if (TransparentColor >= 0) key = int32_t(SurfaceColorToPixel(Image, TransparentColor));
    PutU32(stream, uint32_t(key));
    PutU32(stream, uint32_t(Delay));
    PutU8(stream, 2);
    PutU32(stream, 0);
    PutU32(stream, 1);
    const int bits = Image.GetBitCount();
    PutU32(stream, uint32_t(Image.Width()));
    PutU32(stream, uint32_t(Image.Height()));
    PutU32(stream, uint32_t(bits));
    if (bits <= 8) stream.WriteBuffer(Image.ColorTable(), int64_t(4) << bits);
    PutU32(stream, 0);
    PutU32(stream, 0);
    PutU8(stream, 1);
    PutU32(stream, 0xFFFFFFFFu);
    PutU32(stream, 255);
    PutU8(stream, HasMask() ? 1 : 0);
    PutBytes(stream, "Layer");
    TTeskLayer::WriteImageData(stream, header, Owner->IdCode, &Image, false);
    TTeskLayer::WriteImageData(stream, header, Owner->IdCode, &Image, true);
    PutU32(stream, 0);
    PutU32(stream, 0);
}

void TTeskFrame::MaskFromTransparentColor() {
    Image.CreateMask();
    TDIBSurface& mask = *Image.Mask();
    const int w = Image.Width(), h = Image.Height(), bpp = Image.BitCount();
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = Image.ScanLineReadOnly(y);
        uint8_t* m = mask.ScanLine(y);
        for (int x = 0; x < w; ++x) m[x] = int32_t(DIBGetRaw(s, x, bpp)) == TransparentPixel ? 0 : 255;
    }
}

void TTeskFrame::Trim(TRect& rect) {
    const TRect whole{0, 0, Image.Width(), Image.Height()};
    rect = whole;
    TRect area;
    if (HasMask()) area = Image.Mask()->BoundingRect(0);
    else if (TransparentColor >= 0) area = Image.BoundingRect(TransparentPixel);
    else return;
    if (RectIsEmpty(area)) area = TRect{0, 0, 1, 1};
    if (area == whole) return;
    Image.Crop(area);
    rect = area;
    for (std::vector<TRect>* list : {&Rects1, &Rects2}) {
        std::vector<TRect> kept;
        for (const TRect& r : *list) {
            if (!RectsOverlap(r, area)) continue;
            const TRect c = IntersectRects(r, area);
            kept.push_back(TRect{c.Left - area.Left, c.Top - area.Top, c.Right - area.Left, c.Bottom - area.Top});
        }
        *list = std::move(kept);
    }
}

void TTeskFrame::CopyToSurface(TCustomDIBX& surface) const {
    CopyDIBToSurface(Image, surface);
    surface.Pieces = Rects1;
    surface.Pieces2 = Rects2;
}

void TTeskFrame::CopyMaskToSurface(TCustomDIBX& surface) const {
    if (!HasMask()) return;
    const int w = Image.Width(), h = Image.Height();
    surface.SetSize(w, h, 8);
    uint8_t* base = surface.Lock(0, 0);
    if (!base) return;
    for (int y = 0; y < h; ++y) std::memcpy(base + int64_t(surface.Pitch()) * y, Image.Mask()->ScanLineReadOnly(y), size_t(w));
    surface.Unlock();
}

void TTeskFrame::CopyMaskTo(TDIB& dib) const {
    if (!HasMask()) return;
    dib = *Image.Mask();
}

// ------------------------------------------------------------------ list

TTeskFrame* TTeskFrameList::GetFrame(int i) const {
    if (i < 0 || i >= Count()) throw EListError(Sjis("フレーム番号が範囲外です"));
    return frames_[i].get();
}

TTeskFrame* TTeskFrameList::AddFrame() {
    frames_.push_back(std::make_unique<TTeskFrame>(this));
    return frames_.back().get();
}

void TTeskFrameList::LoadFromStream(TStream& stream, bool firstFrameOnly) {
    Clear();
    FieldReader in = TeskFields(stream);
    TTeskHeader header;
    // Files without the tag are of version 0.
    Version = std::max(in.TagVersionIfTagged("Tesk"), 0);
    uint32_t frameCount;
    if (Version >= 103) {
        header = ReadTeskHeader(in, Version);
        if (header.Compression > tcJpeg) Corrupt("compression");
        frameCount = header.FrameCount;
    } else {
        frameCount = in.U32("frame count");
        in.Skip(1, "header");
        header.BackColor = Version >= 102 ? in.U32("back colour") : 0;
        header.Compression = tcNone;
    }
    BackColor = header.BackColor;
    FirstLayerOpaque = header.FirstLayerOpaque;
    // A frame record takes at least 40 bytes.
    in.CheckCount(frameCount, 40, UINT32_MAX, "frame count");
    const uint32_t toRead = firstFrameOnly ? std::min<uint32_t>(frameCount, 1) : frameCount;
    struct Done {
        TTeskFrameList& l;
        ~Done() {
            l.loading_ = -1;
            for (auto& f : l.frames_) f->FreeLayers();
        }
    } done{*this};
    pixel_bytes_ = 0;
    for (uint32_t i = 0; i < toRead; ++i) {
        loading_ = int(i);
        TTeskFrame& frame = *AddFrame();
        frame.LoadFromStream(stream, header);
        if (!frame.HasMask() && frame.TransparentColor >= 0) frame.MaskFromTransparentColor();
        if ((frame.HasMask() || frame.TransparentColor < 0) && TargetBitCount > 0) {
            frame.Image.ConvertBitCount(TargetBitCount, 0, true);
        } else if (frame.Image.BitCount() <= 8) {
            const TDIB& img = frame.Image;
            int fx = -1, fy = -1;
            for (int y = 0; y < img.Height() && fx < 0 && frame.TransparentPixel >= 0; ++y) {
                for (int x = 0; x < img.Width(); ++x) {
                    if (int32_t(img.GetPixel(x, y)) == frame.TransparentPixel) {
                        fx = x, fy = y;
                        break;
                    }
                }
            }
            frame.Image.ConvertBitCount(24, 0, true);
            if (fx >= 0) frame.TransparentPixel = int32_t(frame.Image.GetPixel(fx, fy));
        }
    }
}

void TTeskFrameList::LoadAnyFromStream(TStream& stream, bool firstFrameOnly) {
    const int64_t start = stream.GetPosition();
    uint8_t sig[4] = {};
    const int64_t got = stream.Read(sig, 4);
    stream.SetPosition(start);
    if (got >= 2 && sig[0] == 'B' && sig[1] == 'M') LoadBitmap(stream);
    else if (got >= 4 && sig[0] == 0x89 && std::memcmp(sig + 1, "PNG", 3) == 0) LoadPng(stream);
    else LoadFromStream(stream, firstFrameOnly);
}

void TTeskFrameList::LoadFromFile(const std::string& sjisPath, bool firstFrameOnly) {
    const std::string ext = AnsiLowerCase(ExtractFileExt(sjisPath));
    if (ext != ".tes" && ext != ".png" && ext != ".bmp" && ext != ".dib") return;
    TFileStream file(sjisPath, fmOpenRead | fmShareDenyWrite);
    if (ext == ".tes") LoadFromStream(file, firstFrameOnly);
    else if (ext == ".png") LoadPng(file);
    else LoadBitmap(file);
}

void TTeskFrameList::LoadBitmap(TStream& stream) {
    Clear();
    TDIB dib;
    dib.LoadFromStream(stream);
    if (dib.Empty()) return;
    TTeskFrame& frame = *AddFrame();
    static_cast<TDIB&>(frame.Image) = dib;
    if (dib.BitCount() == 32) {
        if (dib.HasAlpha()) {
            frame.Image.CreateMask();
            TDIB& mask = *frame.Image.Mask();
            for (int y = 0; y < dib.Height(); ++y) {
                const uint8_t* s = dib.ScanLineReadOnly(y);
                uint8_t* m = mask.ScanLine(y);
                for (int x = 0; x < dib.Width(); ++x) m[x] = s[4 * x + 3];
            }
        }
        frame.Image.ConvertBitCount(24, 0, true);
    }
}

namespace {

struct PngRead {
    TStream* stream;
    std::jmp_buf jump;
};

void PngReadData(png_structp png, png_bytep data, png_size_t n) {
    auto* r = static_cast<PngRead*>(png_get_io_ptr(png));
    if (r->stream->Read(data, static_cast<int64_t>(n)) != static_cast<int64_t>(n)) png_error(png, "truncated");
}
void PngError(png_structp png, png_const_charp) {
    std::longjmp(static_cast<PngRead*>(png_get_error_ptr(png))->jump, 1);
}
void PngWarning(png_structp, png_const_charp) {}

// What the PNG decoder produces: 8-bit palette rows or blue, green, red
// rows, an optional alpha plane and a transparent colour or index.
struct PngPicture {
    int width = 0, height = 0;
    bool palette = false;
    std::array<TRGBQuad, 256> colors{};
    std::vector<uint8_t> rows;  // width (palette) or width * 3 bytes per row
    std::vector<uint8_t> alpha; // width * height, empty without alpha
    int32_t keyIndex = -1;
    int32_t keyColor = -1;      // 0x00BBGGRR
};

// Chooses libpng's output: palette files whose tRNS marks whole entries
// transparent stay palette pictures with a transparent index; everything
// else becomes blue, green, red with alpha where the file has any.
void SetupPngTransforms(png_structp png, png_infop info, int type, int depth, PngPicture& pic) {
    png_bytep trans = nullptr;
    int transCount = 0;
    png_color_16p transColor = nullptr;
    const bool hasTrns = png_get_tRNS(png, info, &trans, &transCount, &transColor) != 0;
    bool keepPalette = type == PNG_COLOR_TYPE_PALETTE;
    int key = -1;
    if (keepPalette && hasTrns) {
        for (int i = 0; i < transCount; ++i) {
            if (trans[i] == 255) continue;
            if (trans[i] == 0 && key < 0) key = i;
            else keepPalette = false;
        }
    }
    if (!keepPalette) key = -1;
    if (depth == 16) png_set_strip_16(png);
    if (keepPalette) {
        png_set_packing(png);
        png_colorp pal;
        int n = 0;
        png_get_PLTE(png, info, &pal, &n);
        for (int i = 0; i < n && i < 256; ++i) pic.colors[i] = {pal[i].blue, pal[i].green, pal[i].red, 0};
        pic.keyIndex = key;
        if (key >= 0) pic.keyColor = pal[key].red | pal[key].green << 8 | pal[key].blue << 16;
    } else {
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (hasTrns && type != PNG_COLOR_TYPE_PALETTE && transColor) {
            // A named colour key of a grey or colour file, in 8-bit terms.
            const int shift = depth == 16 ? 8 : 0;
            if (type == PNG_COLOR_TYPE_GRAY) {
                int g = transColor->gray >> shift;
                if (depth < 8) g = g * 255 / ((1 << depth) - 1);
                pic.keyColor = g | g << 8 | g << 16;
            } else {
                pic.keyColor = (transColor->red >> shift) | (transColor->green >> shift) << 8 |
                               (transColor->blue >> shift) << 16;
            }
        } else if (hasTrns) {
            png_set_tRNS_to_alpha(png);
        }
        if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        png_set_bgr(png);
    }
    pic.palette = keepPalette;
}

// Free of objects with destructors between setjmp and the calls that may
// jump: the buffers are sized through plain callbacks.
bool DecodePng(PngRead& io, PngPicture& pic) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &io, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(io.jump)) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, &io, PngReadData);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    png_uint_32 w, h;
    int depth, type;
    png_get_IHDR(png, info, &w, &h, &depth, &type, nullptr, nullptr, nullptr);
    SetupPngTransforms(png, info, type, depth, pic);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const int channels = png_get_channels(png, info);
    if (int64_t(rowBytes) * h > kMaxPixelBytes) png_error(png, "too large");
    pic.width = int(w);
    pic.height = int(h);
    uint8_t* buf = static_cast<uint8_t*>(png_malloc(png, rowBytes * h));
    png_bytep* rows = static_cast<png_bytep*>(png_malloc(png, sizeof(png_bytep) * h));
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = buf + y * rowBytes;
    // From here on an error must free both buffers (set before the jump
    // point and never changed, so they survive the long jump).
    if (setjmp(io.jump)) {
        png_free(png, buf);
        png_free(png, rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    const size_t outBytes = pic.palette ? 1 : 3;
    pic.rows.resize(size_t(w) * outBytes * h);
    if (channels == 4) pic.alpha.resize(size_t(w) * h);
    for (png_uint_32 y = 0; y < h; ++y) {
        const uint8_t* s = rows[y];
        uint8_t* d = &pic.rows[size_t(y) * w * outBytes];
        if (channels == 4) {
            uint8_t* a = &pic.alpha[size_t(y) * w];
            for (png_uint_32 x = 0; x < w; ++x, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2], a[x] = s[3];
        } else {
            std::memcpy(d, s, size_t(w) * outBytes);
        }
    }
    png_free(png, buf);
    png_free(png, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

void TTeskFrameList::LoadPng(TStream& stream) {
    Clear();
    PngRead io{&stream, {}};
    PngPicture pic;
    if (!DecodePng(io, pic)) throw ECorruptData(Sjis("PNG 画像が壊れています"));
    TTeskFrame& frame = *AddFrame();
    TDIBSurface& bmp = frame.Image;
    const int w = pic.width;
    if (pic.palette) {
        bmp.SetSize(w, pic.height, 8);
        bmp.SetColorTable(pic.colors.data());
        for (int y = 0; y < pic.height; ++y) std::memcpy(bmp.ScanLine(y), &pic.rows[size_t(y) * w], size_t(w));
    } else {
        bmp.SetSize(w, pic.height, 24);
        for (int y = 0; y < pic.height; ++y) std::memcpy(bmp.ScanLine(y), &pic.rows[size_t(y) * w * 3], size_t(w) * 3);
    }
    if (!pic.alpha.empty()) {
        bmp.CreateMask();
        TDIB& mask = *bmp.Mask();
        for (int y = 0; y < pic.height; ++y) std::memcpy(mask.ScanLine(y), &pic.alpha[size_t(y) * w], size_t(w));
    }
    if (pic.keyColor >= 0) {
        frame.TransparentColor = pic.keyColor;
        frame.TransparentPixel = pic.palette ? pic.keyIndex : int32_t(SurfaceColorToPixel(bmp, pic.keyColor));
    }
}

void TTeskFrameList::SaveToStream(TStream& stream, uint8_t compression) const {
    TTeskHeader header;
    header.Version = 106;
    if (!frames_.empty()) {
        const TDIBSurface& img = frames_[0]->Image;
        header.Width = uint32_t(img.Width());
        header.Height = uint32_t(img.Height());
        header.BitCount = uint32_t(img.GetBitCount());
    }
    header.FrameCount = uint32_t(frames_.size());
    header.Scrambled = IdCode != 0;
    header.Compression = header.Scrambled ? uint8_t(tcNone) : compression;
    header.BackColor = BackColor;
    header.FirstLayerOpaque = FirstLayerOpaque;
    header.JpegQuality = 70;
    stream.WriteBuffer("Tesk106", 7);
    PutU32(stream, kTeskHeaderSize);
    PutU32(stream, header.Version);
    PutU32(stream, header.Width);
    PutU32(stream, header.Height);
    PutU32(stream, header.BitCount);
    PutU32(stream, header.FrameCount);
    const uint8_t flags[4] = {0, header.Scrambled, header.Compression, 0};
    stream.WriteBuffer(flags, 4);
    PutU32(stream, header.BackColor);
    PutU32(stream, 0);
    PutU32(stream, 0);
    const uint8_t tail[4] = {header.FirstLayerOpaque, header.JpegQuality, 0, 0};
    stream.WriteBuffer(tail, 4);
    for (size_t i = 0; i < frames_.size(); ++i) frames_[i]->SaveToStream(stream, header, int(i) + 1);
}

void TTeskFrameList::SaveToFile(const std::string& sjisPath) const {
    TFileStream file(sjisPath, fmCreate);
    SaveToStream(file, tcZlib);
}

void TTeskFrameList::MakeMasks() {
    for (auto& f : frames_) {
        if (!f->HasMask()) f->MaskFromTransparentColor();
    }
}

void LoadSurfaceFromStream(TCustomDIBX& surface, TStream* stream, uint32_t idCode) {
    if (!stream) return;
    uint8_t sig[4] = {};
    stream->SetPosition(0);
    const int64_t got = stream->Read(sig, 4);
    stream->SetPosition(0);
    const bool known = (got >= 2 && sig[0] == 'B' && sig[1] == 'M') ||
                       (got >= 4 && std::memcmp(sig + 1, "PNG", 3) == 0) ||
                       (got >= 4 && std::memcmp(sig, "Tesk", 4) == 0);
    if (!known) return;
    TTeskFrameList list(idCode);
    list.LoadAnyFromStream(*stream, true);
    if (list.Count() > 0 && !list.GetFrame(0)->Image.Empty()) CopyDIBToSurface(list.GetFrame(0)->Image, surface);
}

void TCustomDIBX::LoadFromStream(TStream* stream, uint32_t idCode) { LoadSurfaceFromStream(*this, stream, idCode); }
