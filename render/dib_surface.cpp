#include "render/dib_surface.h"

#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "render/color_reduce.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include <jpeglib.h>

namespace {

// 4 x 4 order matrix of the screen door used for constant alpha on palette
// surfaces.
constexpr uint8_t kOrder[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Raw pixel compared with a key at the stored width (24 bpp: low 24 bits).
inline bool IsKey(uint32_t pixel, int bpp, int32_t key) {
    if (key < 0 && bpp != 32) return false;
    if (key == -1) return false;
    return bpp == 24 ? (pixel & 0xFFFFFF) == (static_cast<uint32_t>(key) & 0xFFFFFF) : pixel == static_cast<uint32_t>(key);
}

inline uint32_t Blend16(uint32_t d, uint32_t s, uint32_t a, const TBitFieldFormat& f) {
    uint32_t out = 0;
    for (uint32_t m : {f.RBitMask, f.GBitMask, f.BBitMask}) out |= (((d & m) * (255 - a) + (s & m) * a) / 255) & m;
    return out;
}

inline uint32_t BlendShr16(uint32_t d, uint32_t s, uint32_t m, const TBitFieldFormat& f) {
    uint32_t out = 0;
    for (uint32_t k : {f.RBitMask, f.GBitMask, f.BBitMask}) out |= (((d & k) * (255 - m) + (s & k) * m) >> 8) & k;
    return out;
}

}  // namespace

TDIBSurface::TDIBSurface() = default;

TDIBSurface::TDIBSurface(const TDIBSurface& other)
    : TDIB(other), ClipRect(other.ClipRect), TransparentColor(other.TransparentColor), HotSpot(other.HotSpot) {
    if (other.mask_) mask_ = std::make_unique<TDIBSurface>(*other.mask_);
}

TDIBSurface& TDIBSurface::operator=(const TDIBSurface& other) {
    if (this == &other) return *this;
    TDIB::operator=(other);
    ClipRect = other.ClipRect;
    TransparentColor = other.TransparentColor;
    HotSpot = other.HotSpot;
    mask_ = other.mask_ ? std::make_unique<TDIBSurface>(*other.mask_) : nullptr;
    return *this;
}

TDIBSurface::~TDIBSurface() = default;

int TDIBSurface::GetBitCount() const {
    return BitCount() == 16 && PixelFormat().GBitMask == 0x3E0 ? 15 : BitCount();
}

void TDIBSurface::SetSize(int width, int height, int bitCount) {
    int bpp = bitCount;
    if (bitCount == 15) {
        format_ = MakeBitFieldFormat(5, 5, 5);
        bpp = 16;
    } else if (bitCount == 16) {
        format_ = MakeBitFieldFormat(5, 6, 5);
    } else {
        format_ = MakeBitFieldFormat(8, 8, 8);
    }
    TDIB::SetSize(width, height, bpp);
    // A mask of another size would be read out of step with the pixels.
    if (mask_ && (mask_->Width() != Width() || mask_->Height() != Height())) mask_.reset();
}

void TDIBSurface::Clear() {
    TDIB::Clear();
    mask_.reset();
}

// ---------------------------------------------------------------- mask

void TDIBSurface::CreateMask() {
    if (Empty()) return;
    if (mask_ && mask_->Width() == Width() && mask_->Height() == Height()) return;
    mask_ = std::make_unique<TDIBSurface>();
    mask_->SetSize(Width(), Height(), 8);
    TRGBQuad grey[256];
    MakeGrayPalette(grey, 8);
    mask_->SetColorTable(grey);
}

void TDIBSurface::FreeMask() { mask_.reset(); }

void TDIBSurface::FillMask() {
    CreateMask();
    if (!mask_) return;
    uint8_t* p = mask_->Bits();
    std::memset(p, 255, static_cast<size_t>(mask_->Size()));
}

void TDIBSurface::SetMaskFrom(const TDIB& mask) {
    if (mask.BitCount() != 8) return;
    CreateMask();
    if (!mask_) return;
    CopyMaskRect(mask, TRect{0, 0, mask.Width(), mask.Height()});
}

void TDIBSurface::CopyMaskRect(const TDIB& src, const TRect& rect) {
    if (!mask_ || src.BitCount() != 8) return;
    const TRect r{std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, src.Width()), std::min(rect.Bottom, src.Height())};
    const int w = std::min(r.Width(), mask_->Width()), h = std::min(r.Height(), mask_->Height());
    if (w <= 0 || h <= 0) return;
    const TDIB s(src);
    for (int y = 0; y < h; ++y) std::memcpy(mask_->ScanLine(y), s.ScanLineReadOnly(r.Top + y) + r.Left, w);
}

// ---------------------------------------------------------------- fills and blits

void TDIBSurface::FillRect(const TRect& rect, uint32_t pixel) {
    const int l = std::max(rect.Left, 0), t = std::max(rect.Top, 0), r = std::min(rect.Right, Width()),
              b = std::min(rect.Bottom, Height());
    if (l >= r || t >= b) return;
    const int bpp = BitCount();
    uint8_t* base = TopRow();
    const int pitch = Pitch();
    for (int y = t; y < b; ++y) {
        uint8_t* row = base + static_cast<size_t>(y) * pitch;
        if (bpp == 8) {
            std::memset(row + l, static_cast<uint8_t>(pixel), r - l);
        } else if (bpp == 32) {
            uint32_t* p = reinterpret_cast<uint32_t*>(row) + l;
            std::fill(p, p + (r - l), pixel);
        } else {
            for (int x = l; x < r; ++x) DIBSetRaw(row, x, bpp, pixel);
        }
    }
}

bool TDIBSurface::ClipBlit(int& x, int& y, TRect& sr, const TDIB& src) const {
    int64_t dx = x, dy = y;
    int64_t sl = sr.Left, st = sr.Top, srr = sr.Right, sb = sr.Bottom;
    if (sl < 0) dx -= sl, sl = 0;
    if (st < 0) dy -= st, st = 0;
    srr = std::min<int64_t>(srr, src.Width());
    sb = std::min<int64_t>(sb, src.Height());
    TRect c{0, 0, Width(), Height()};
    if (ClipRect.Right > ClipRect.Left && ClipRect.Bottom > ClipRect.Top) {
        c = TRect{std::max(ClipRect.Left, 0), std::max(ClipRect.Top, 0), std::min(ClipRect.Right, Width()),
                  std::min(ClipRect.Bottom, Height())};
    }
    if (dx < c.Left) sl += c.Left - dx, dx = c.Left;
    if (dy < c.Top) st += c.Top - dy, dy = c.Top;
    if (dx + (srr - sl) > c.Right) srr = sl + (c.Right - dx);
    if (dy + (sb - st) > c.Bottom) sb = st + (c.Bottom - dy);
    if (srr <= sl || sb <= st) return false;
    x = static_cast<int>(dx);
    y = static_cast<int>(dy);
    sr = TRect{static_cast<int32_t>(sl), static_cast<int32_t>(st), static_cast<int32_t>(srr), static_cast<int32_t>(sb)};
    return true;
}

bool TDIBSurface::SameFormat(const TDIB& src) const {
    return src.BitCount() == BitCount() && (BitCount() != 16 || src.PixelFormat() == PixelFormat());
}

void TDIBSurface::Copy(int x, int y, const TDIB& src) { CopyRect(x, y, TRect{0, 0, src.Width(), src.Height()}, src); }

void TDIBSurface::CopyRect(int x, int y, const TRect& srcRect, const TDIB& src) {
    TRect sr = srcRect;
    if (Empty() || !ClipBlit(x, y, sr, src)) return;
    const TDIB s(src);  // keeps the source's pixels when it is this surface
    const int bpp = BitCount(), w = sr.Width();
    uint8_t* base = TopRow();
    const int pitch = Pitch();
    if (SameFormat(s)) {
        for (int j = 0; j < sr.Height(); ++j) {
            const uint8_t* sp = s.ScanLineReadOnly(sr.Top + j);
            uint8_t* dp = base + static_cast<size_t>(y + j) * pitch;
            if (bpp >= 8) {
                const int bytes = bpp / 8;
                std::memmove(dp + static_cast<size_t>(x) * bytes, sp + static_cast<size_t>(sr.Left) * bytes, static_cast<size_t>(w) * bytes);
            } else {
                for (int i = 0; i < w; ++i) DIBSetRaw(dp, x + i, bpp, DIBGetRaw(sp, sr.Left + i, bpp));
            }
        }
        return;
    }
    TColorMatcher matcher(ColorTable(), ColorCount());
    std::vector<uint8_t> bgr(static_cast<size_t>(s.Width()) * 3);
    for (int j = 0; j < sr.Height(); ++j) {
        s.ReadRowBGR(sr.Top + j, bgr.data());
        WriteRowBGR(y + j, bgr.data() + static_cast<size_t>(sr.Left) * 3, &matcher, x, w);
    }
}

namespace {

template <int Bytes>
inline uint32_t LoadPixel(const uint8_t* p) {
    if constexpr (Bytes == 1) return p[0];
    if constexpr (Bytes == 2) return p[0] | (p[1] << 8);
    if constexpr (Bytes == 3) return p[0] | (p[1] << 8) | (p[2] << 16);
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Runs op(dest pixel, source pixel, row j, column i) over a clipped blit of
// whole-byte pixels, the depth fixed at compile time so the inner loop is
// a plain walk over two rows.
template <int Bytes, class Op>
void ForEachPixel(uint8_t* base, int pitch, int x, int y, const TDIB& s, const TRect& sr, Op op) {
    const int w = sr.Width();
    for (int j = 0; j < sr.Height(); ++j) {
        const uint8_t* sp = s.ScanLineReadOnly(sr.Top + j) + static_cast<size_t>(sr.Left) * Bytes;
        uint8_t* dp = base + static_cast<size_t>(y + j) * pitch + static_cast<size_t>(x) * Bytes;
        for (int i = 0; i < w; ++i, sp += Bytes, dp += Bytes) op(dp, sp, j, i);
    }
}

}  // namespace

void TDIBSurface::CopyTransparent(int x, int y, int32_t key, const TRect& srcRect, const TDIB& src) {
    if (key == -1) {
        if (SameFormat(src)) CopyRect(x, y, srcRect, src);
        return;
    }
    TRect sr = srcRect;
    if (Empty() || !SameFormat(src) || !ClipBlit(x, y, sr, src)) return;
    const TDIB s(src);
    const int bpp = BitCount();
    uint8_t* base = TopRow();
    const int pitch = Pitch();
    if (bpp < 8) {
        for (int j = 0; j < sr.Height(); ++j) {
            const uint8_t* sp = s.ScanLineReadOnly(sr.Top + j);
            uint8_t* dp = base + static_cast<size_t>(y + j) * pitch;
            for (int i = 0; i < sr.Width(); ++i) {
                const uint32_t v = DIBGetRaw(sp, sr.Left + i, bpp);
                if (!IsKey(v, bpp, key)) DIBSetRaw(dp, x + i, bpp, v);
            }
        }
        return;
    }
    const uint32_t k = bpp == 24 ? static_cast<uint32_t>(key) & 0xFFFFFF : static_cast<uint32_t>(key);
    switch (bpp) {
    case 8:
        ForEachPixel<1>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int, int) {
            if (q[0] != k) d[0] = q[0];
        });
        break;
    case 16:
        ForEachPixel<2>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int, int) {
            if (LoadPixel<2>(q) != k) std::memcpy(d, q, 2);
        });
        break;
    case 24:
        ForEachPixel<3>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int, int) {
            if (LoadPixel<3>(q) != k) std::memcpy(d, q, 3);
        });
        break;
    default:
        ForEachPixel<4>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int, int) {
            if (LoadPixel<4>(q) != k) std::memcpy(d, q, 4);
        });
        break;
    }
}

void TDIBSurface::DrawAlpha(int x, int y, int alpha, int32_t key, const TRect& srcRect, const TDIB& src) {
    if (alpha <= 0) return;
    const int bpp = BitCount();
    if ((bpp <= 8 && alpha / 16 >= 15) || alpha >= 255) {
        CopyTransparent(x, y, key, srcRect, src);
        return;
    }
    TRect sr = srcRect;
    if (Empty() || !SameFormat(src) || !ClipBlit(x, y, sr, src)) return;
    const TDIB s(src);
    uint8_t* base = TopRow();
    const int pitch = Pitch();
    const uint32_t a = static_cast<uint32_t>(alpha), na = 255 - a;
    if (bpp <= 8) {
        // Screen door: destination pixel (x, y) takes the source where the
        // order matrix at (y and 3, x and 3) is at most alpha div 16.
        const int level = alpha / 16;
        for (int j = 0; j < sr.Height(); ++j) {
            const uint8_t* sp = s.ScanLineReadOnly(sr.Top + j);
            uint8_t* dp = base + static_cast<size_t>(y + j) * pitch;
            const uint8_t* order = kOrder[(y + j) & 3];
            for (int i = 0; i < sr.Width(); ++i) {
                const uint32_t v = DIBGetRaw(sp, sr.Left + i, bpp);
                if (order[(x + i) & 3] <= level && !IsKey(v, bpp, key)) DIBSetRaw(dp, x + i, bpp, v);
            }
        }
        return;
    }
    const bool keyed = key != -1;
    const uint32_t k = bpp == 24 ? static_cast<uint32_t>(key) & 0xFFFFFF : static_cast<uint32_t>(key);
    switch (bpp) {
    case 16: {
        const TBitFieldFormat f = PixelFormat();
        ForEachPixel<2>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int, int) {
            const uint32_t v = LoadPixel<2>(q);
            if (keyed && v == k) return;
            const uint32_t out = Blend16(LoadPixel<2>(d), v, a, f);
            d[0] = static_cast<uint8_t>(out), d[1] = static_cast<uint8_t>(out >> 8);
        });
        break;
    }
    case 24:
        ForEachPixel<3>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int, int) {
            if (keyed && LoadPixel<3>(q) == k) return;
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((d[c] * na + q[c] * a) / 255);
        });
        break;
    default:
        ForEachPixel<4>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int, int) {
            if (keyed && LoadPixel<4>(q) == k) return;
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((d[c] * na + q[c] * a) >> 8);
        });
        break;
    }
}

void TDIBSurface::DrawMasked(int x, int y, int alpha, const TRect& srcRect, const TDIBSurface& src) {
    if (alpha <= 0) return;
    TRect sr = srcRect;
    if (Empty() || !SameFormat(src) || !ClipBlit(x, y, sr, src)) return;
    const TDIB s(src);
    const TDIB* mask = src.Mask();
    const TDIB m(mask ? *mask : TDIB());
    const bool hasMask = mask && m.Width() == s.Width() && m.Height() == s.Height();
    const int bpp = BitCount();
    uint8_t* base = TopRow();
    const int pitch = Pitch();
    const uint32_t scale = static_cast<uint32_t>(std::min(alpha, 255));
    auto weight = [&](int j, int i) -> uint32_t {
        const uint32_t k = hasMask ? m.ScanLineReadOnly(sr.Top + j)[sr.Left + i] : 255;
        return scale < 255 ? k * scale >> 8 : k;
    };
    if (bpp <= 8) {
        // Palette pictures cannot blend: the source shows where the scaled
        // mask is at least half.
        for (int j = 0; j < sr.Height(); ++j) {
            const uint8_t* sp = s.ScanLineReadOnly(sr.Top + j);
            uint8_t* dp = base + static_cast<size_t>(y + j) * pitch;
            for (int i = 0; i < sr.Width(); ++i)
                if (weight(j, i) >= 128) DIBSetRaw(dp, x + i, bpp, DIBGetRaw(sp, sr.Left + i, bpp));
        }
        return;
    }
    const TBitFieldFormat f = PixelFormat();
    auto blend = [&](auto bytes, uint8_t* d, const uint8_t* q, int j, int i) {
        constexpr int B = decltype(bytes)::value;
        const uint32_t k = weight(j, i);
        if (k == 0) return;
        if (k >= 255) {
            std::memcpy(d, q, B);
        } else if constexpr (B == 2) {
            const uint32_t out = BlendShr16(LoadPixel<2>(d), LoadPixel<2>(q), k, f);
            d[0] = static_cast<uint8_t>(out), d[1] = static_cast<uint8_t>(out >> 8);
        } else {
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((d[c] * (255 - k) + q[c] * k) >> 8);
        }
    };
    switch (bpp) {
    case 16:
        ForEachPixel<2>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int j, int i) {
            blend(std::integral_constant<int, 2>{}, d, q, j, i);
        });
        break;
    case 24:
        ForEachPixel<3>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int j, int i) {
            blend(std::integral_constant<int, 3>{}, d, q, j, i);
        });
        break;
    default:
        ForEachPixel<4>(base, pitch, x, y, s, sr, [&](uint8_t* d, const uint8_t* q, int j, int i) {
            blend(std::integral_constant<int, 4>{}, d, q, j, i);
        });
        break;
    }
}

// ---------------------------------------------------------------- reshaping

void TDIBSurface::Extract(const TDIBSurface& src, const TRect& rect, bool withMask) {
    if (RectIsEmpty(rect)) {
        Clear();
        return;
    }
    TDIBSurface out;
    out.format_ = src.PixelFormat();
    out.TDIB::SetSize(rect.Width(), rect.Height(), src.BitCount());
    out.SetColorTable(src.ColorTable());
    out.TransparentColor = src.TransparentColor;
    out.HotSpot = src.HotSpot;
    out.CopyRect(0, 0, rect, src);
    if (withMask && src.Mask()) {
        out.CreateMask();
        out.mask_->CopyRect(0, 0, rect, *src.Mask());
    }
    TDIB::operator=(out);
    TransparentColor = out.TransparentColor;
    HotSpot = out.HotSpot;
    mask_ = std::move(out.mask_);
}

void TDIBSurface::Crop(const TRect& rect) {
    const TDIBSurface self(*this);
    Extract(self, rect, true);
}

void TDIBSurface::MirrorHorizontal() {
    if (Empty()) return;
    const int w = Width(), bpp = BitCount();
    for (int y = 0; y < Height(); ++y) {
        uint8_t* row = ScanLine(y);
        for (int l = 0, r = w - 1; l < r; ++l, --r) {
            const uint32_t a = DIBGetRaw(row, l, bpp);
            DIBSetRaw(row, l, bpp, DIBGetRaw(row, r, bpp));
            DIBSetRaw(row, r, bpp, a);
        }
    }
    if (mask_) mask_->MirrorHorizontal();
}

void TDIBSurface::MirrorVertical() {
    if (Empty()) return;
    std::vector<uint8_t> tmp(WidthBytes());
    for (int t = 0, b = Height() - 1; t < b; ++t, --b) {
        uint8_t* rt = ScanLine(t);
        uint8_t* rb = ScanLine(b);
        std::memcpy(tmp.data(), rt, tmp.size());
        std::memcpy(rt, rb, tmp.size());
        std::memcpy(rb, tmp.data(), tmp.size());
    }
    if (mask_) mask_->MirrorVertical();
}

TRect TDIBSurface::BoundingRect(int32_t key) const {
    if (key == -1) return TRect{0, 0, Width(), Height()};
    int l = Width(), t = Height(), r = -1, b = -1;
    const int bpp = BitCount();
    for (int y = 0; y < Height(); ++y) {
        const uint8_t* row = ScanLineReadOnly(y);
        for (int x = 0; x < Width(); ++x) {
            if (IsKey(DIBGetRaw(row, x, bpp), bpp, key)) continue;
            l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
        }
    }
    if (r < 0) return TRect{};
    return TRect{l, t, r + 1, b + 1};
}

TRect TDIBSurface::TrimToKey(int32_t key) {
    TRect r = BoundingRect(key);
    if (RectIsEmpty(r)) r = TRect{0, 0, 1, 1};
    if (!(r == TRect{0, 0, Width(), Height()})) Crop(r);
    return r;
}

// ---------------------------------------------------------------- colours

uint32_t TDIBSurface::RGBToPixel(uint8_t r, uint8_t g, uint8_t b) const {
    const int bpp = BitCount();
    if (bpp <= 8) {
        const TPalette p = Palette();
        return static_cast<uint32_t>(NearestColorIndex(p.data(), r | g << 8 | b << 16, static_cast<int>(p.size())));
    }
    if (bpp == 16) return PixelFormat().Pack(r, g, b);
    return b | g << 8 | static_cast<uint32_t>(r) << 16;
}

void TDIBSurface::PixelToRGB(uint32_t pixel, uint8_t& r, uint8_t& g, uint8_t& b) const {
    const int bpp = BitCount();
    if (bpp <= 8) {
        const TRGBQuad& q = ColorTable()[pixel & 0xFF];
        r = q.rgbRed, g = q.rgbGreen, b = q.rgbBlue;
    } else if (bpp == 16) {
        PixelFormat().Unpack(pixel, r, g, b);
    } else {
        b = static_cast<uint8_t>(pixel), g = static_cast<uint8_t>(pixel >> 8), r = static_cast<uint8_t>(pixel >> 16);
    }
}

void TDIBSurface::ConvertBitCount(int bitCount, int colors, bool dither) {
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 15 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        RaiseBadBitCount(bitCount);
    if (Empty()) return;
    const int w = Width(), h = Height(), bpp = BitCount();
    TFastDIB src;
    src.SetSize(w, h, bpp, bpp == 16 ? (GetBitCount() == 15 ? 555 : 565) : bpp > 16 ? 888 : 0);
    std::copy(ColorTable(), ColorTable() + 256, src.Colors.begin());
    for (int y = 0; y < h; ++y) std::memcpy(src.Row(y), ScanLineReadOnly(y), WidthBytes());
    const TFastDIB out = ReduceColors(src, bitCount, colors, dither);
    SetSize(w, h, bitCount);
    if (BitCount() <= 8) SetColorTable(out.Colors.data());
    for (int y = 0; y < h; ++y) {
        uint8_t* row = ScanLine(y);
        std::memcpy(row, out.Row(y), WidthBytes());
        if (BitCount() == 32)
            for (int x = 0; x < w; ++x) row[4 * x + 3] = 0xFF;
    }
}

void TDIBSurface::Resize(int width, int height, bool smooth, int32_t excludedColor) {
    if (width == Width() && height == Height()) return;
    if (width < 1 || height < 1 || Empty()) {
        SetSize(width, height, GetBitCount());
        return;
    }
    std::unique_ptr<TDIBSurface> mask = std::move(mask_);
    if (mask) mask->Resize(width, height, smooth, -1);
    const TDIB old(*this);
    const int ow = old.Width(), oh = old.Height(), bpp = old.BitCount();
    format_ = old.PixelFormat();
    TDIB::SetSize(width, height, bpp);
    if (!smooth) {
        // Nearest source pixel of each destination pixel, at the same depth.
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = old.ScanLineReadOnly(static_cast<int>(static_cast<int64_t>(y) * oh / height));
            uint8_t* d = ScanLine(y);
            for (int x = 0; x < width; ++x) DIBSetRaw(d, x, bpp, DIBGetRaw(s, static_cast<int>(static_cast<int64_t>(x) * ow / width), bpp));
        }
        mask_ = std::move(mask);
        return;
    }
    std::vector<uint8_t> src(static_cast<size_t>(ow) * oh * 3);
    for (int y = 0; y < oh; ++y) old.ReadRowBGR(y, &src[static_cast<size_t>(y) * ow * 3]);
    const double sx = static_cast<double>(width) / ow, sy = static_cast<double>(height) / oh;
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    TColorMatcher matcher(ColorTable(), ColorCount());
    const uint8_t ex[3] = {static_cast<uint8_t>(excludedColor), static_cast<uint8_t>(excludedColor >> 8),
                           static_cast<uint8_t>(excludedColor >> 16)};
    auto at = [&](int x, int y, int c) -> int {
        // Neighbours beyond the last column or row read as 0.
        if (x >= ow || y >= oh) return 0;
        return src[(static_cast<size_t>(y) * ow + x) * 3 + c];
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* out = &row[static_cast<size_t>(x) * 3];
            if (sx <= 1.0 && sy <= 1.0) {
                const int x0 = std::min(static_cast<int>(x / sx), ow - 1), y0 = std::min(static_cast<int>(y / sy), oh - 1);
                const int x1 = std::clamp(static_cast<int>((x + 1) / sx), x0 + 1, ow);
                const int y1 = std::clamp(static_cast<int>((y + 1) / sy), y0 + 1, oh);
                int sum[3] = {0, 0, 0}, n = 0;
                for (int j = y0; j < y1; ++j)
                    for (int i = x0; i < x1; ++i) {
                        const uint8_t* p = &src[(static_cast<size_t>(j) * ow + i) * 3];
                        if (excludedColor >= 0 && p[0] == ex[0] && p[1] == ex[1] && p[2] == ex[2]) continue;
                        sum[0] += p[0], sum[1] += p[1], sum[2] += p[2], ++n;
                    }
                for (int c = 0; c < 3; ++c) out[c] = n ? static_cast<uint8_t>((sum[c] + n / 2) / n) : ex[c];
            } else {
                const double fxs = x / sx, fys = y / sy;
                const int ix = static_cast<int>(fxs), iy = static_cast<int>(fys);
                const double fx = fxs - ix, fy = fys - iy;
                for (int c = 0; c < 3; ++c) {
                    const double v = at(ix, iy, c) * (1 - fx) * (1 - fy) + at(ix + 1, iy, c) * fx * (1 - fy) +
                                     at(ix, iy + 1, c) * (1 - fx) * fy + at(ix + 1, iy + 1, c) * fx * fy;
                    out[c] = static_cast<uint8_t>(std::min(255.0, v + 0.5));
                }
            }
        }
        WriteRowBGR(y, row.data(), &matcher);
    }
    mask_ = std::move(mask);
}

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

}  // namespace

std::vector<uint8_t> TDIBSurface::ToJpeg(int quality) const {
    if (Empty()) return {};
    const int w = Width(), h = Height();
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = &rgb[static_cast<size_t>(y) * w * 3];
        ReadRowBGR(y, row);
        for (int x = 0; x < w; ++x) std::swap(row[3 * x], row[3 * x + 2]);
    }
    jpeg_compress_struct info{};
    JpegError err{};
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        throw EInvalidGraphicOperation("JPEG");
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(w);
    info.image_height = static_cast<JDIMENSION>(h);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(info.next_scanline) * w * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

void TDIBSurface::AssignSurface(const TDIBSurface& src) {
    if (this == &src) return;
    Assign(&src);
    mask_ = src.mask_ ? std::make_unique<TDIBSurface>(*src.mask_) : nullptr;
}

