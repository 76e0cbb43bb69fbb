#include "render/custom_dibx.h"

#include <cstring>

#include "render/dibx_draw.h"

using dibx::Intersect;

namespace dibx {

bool ClipSourceTo(const TRect& limit, TRect& s, int64_t& x, int64_t& y, bool flipH, bool flipV) {
    if (s.Left < limit.Left) {
        if (!flipH) x += int64_t(limit.Left) - s.Left;
        s.Left = limit.Left;
    }
    if (s.Right > limit.Right) {
        if (flipH) x += int64_t(s.Right) - limit.Right;
        s.Right = limit.Right;
    }
    if (s.Top < limit.Top) {
        if (!flipV) y += int64_t(limit.Top) - s.Top;
        s.Top = limit.Top;
    }
    if (s.Bottom > limit.Bottom) {
        if (flipV) y += int64_t(s.Bottom) - limit.Bottom;
        s.Bottom = limit.Bottom;
    }
    return s.Left < s.Right && s.Top < s.Bottom;
}

bool ClipBlit(const TRect& c, int64_t& x, int64_t& y, TRect& s, bool flipH, bool flipV) {
    if (s.Left >= s.Right || s.Top >= s.Bottom) return false;
    if (x < c.Left) {
        const int64_t d = c.Left - x;
        if (d >= s.Width()) return false;
        if (flipH) s.Right -= int32_t(d); else s.Left += int32_t(d);
        x = c.Left;
    }
    if (y < c.Top) {
        const int64_t d = c.Top - y;
        if (d >= s.Height()) return false;
        if (flipV) s.Bottom -= int32_t(d); else s.Top += int32_t(d);
        y = c.Top;
    }
    if (x + s.Width() > c.Right) {
        const int64_t d = c.Right - x;
        if (d <= 0) return false;
        if (flipH) s.Left = s.Right - int32_t(d); else s.Right = s.Left + int32_t(d);
    }
    if (y + s.Height() > c.Bottom) {
        const int64_t d = c.Bottom - y;
        if (d <= 0) return false;
        if (flipV) s.Top = s.Bottom - int32_t(d); else s.Bottom = s.Top + int32_t(d);
    }
    return true;
}

bool SourceLimit(const TCustomDIBX& dst, const TCustomDIBX* src, const TCustomDIBX* mask, TRect& limit) {
    limit = TRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    if (src) {
        if (BytesPerPixel(src->BitCount()) != BytesPerPixel(dst.BitCount())) return false;
        limit = src->BoundsRect();
    }
    if (mask) {
        if (mask->BitCount() != 8) return false;
        limit = Intersect(limit, mask->BoundsRect());
    }
    return limit.Left < limit.Right && limit.Top < limit.Bottom;
}

RowOp CopyOp(const TCustomDIBX& src, bool transparent, int bits) {
    RowOp op;
    op.kind = Kind::Copy;
    op.key_on = transparent && CutKey(src.TransparentColor(), bits, op.key);
    return op;
}

RowOp AlphaOp(const TCustomDIBX& src, bool transparent, int bits, int32_t alpha, bool skipEqual) {
    RowOp op = CopyOp(src, transparent, bits);
    op.kind = Kind::Blend;
    op.a = uint32_t(alpha);
    op.skip_eq = skipEqual;
    return op;
}

RowOp AddOp(const TCustomDIBX& src, bool keyOn, int bits, int32_t level) {
    RowOp op = CopyOp(src, keyOn, bits);
    op.kind = Kind::Add;
    op.a = uint32_t(level);
    return op;
}

// The packed rules skip pixels equal to the source and give the constant
// weight at mask 255; the per-pixel rules (8 and 24 bpp) do neither.
RowOp MaskOp(int bits) {
    RowOp op;
    op.kind = Kind::Blend;
    op.weight = Weight::M;
    op.copy255 = true;
    op.skip_eq = PackedRules(bits);
    return op;
}

RowOp MaskAlphaOp(int bits, int32_t alpha) {
    RowOp op;
    op.kind = Kind::Blend;
    op.weight = PackedRules(bits) ? Weight::MA255A : Weight::MA;
    op.a = uint32_t(alpha);
    op.skip_eq = PackedRules(bits);
    return op;
}

RowOp StretchMaskOp(int bits, int32_t alpha) {
    RowOp op = MaskAlphaOp(bits, alpha);
    op.weight = Weight::MA255A;
    return op;
}

RowOp MaskAddOp(int bits, int32_t level) {
    RowOp op;
    op.kind = Kind::Add;
    op.weight = PackedRules(bits) ? Weight::MA255A : Weight::MA;
    op.a = uint32_t(level);
    return op;
}

uint8_t* Scratch(int slot, size_t bytes) {
    thread_local std::vector<uint8_t> buffers[4];
    std::vector<uint8_t>& b = buffers[slot];
    if (b.size() < bytes) b.resize(bytes);
    return b.data();
}

}  // namespace dibx

TRect TCustomDIBX::DrawClip() const {
    return Intersect(GetClipRect(), BoundsRect());
}

void TCustomDIBX::SetSize(int32_t width, int32_t height, int32_t /*bits*/) {
    FWidth = width < 0 ? 0 : width;
    FHeight = height < 0 ? 0 : height;
    Pieces.clear();
    Pieces2.clear();
}

void TCustomDIBX::AddClipRect(const TRect& r) {
    TRect c = r;
    if (c.Left < 0) c.Left = 0;
    if (c.Top < 0) c.Top = 0;
    if (c.Right > Width()) c.Right = Width();
    if (c.Bottom > Height()) c.Bottom = Height();
    if (RectIsEmpty(c)) return;
    FClipRect = FClipRect.Right != 0 ? UnionRects(FClipRect, c) : c;
}

int32_t TCustomDIBX::PackColor(int32_t bits, int32_t color) {
    if (color < 0) return -1;
    const uint32_t r = uint32_t(color) & 0xFF, g = (uint32_t(color) >> 8) & 0xFF, b = (uint32_t(color) >> 16) & 0xFF;
    switch (bits) {
        case 15: return int32_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        case 16: return int32_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
        // Stored blue, green, red in memory: red goes to bits 16-23.
        case 24:
        case 32: return int32_t(r << 16 | g << 8 | b);
        default: return color;
    }
}

