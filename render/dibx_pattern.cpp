// Tiling and patterns: repeated source rectangles (plain and zoomed), pattern
// fills, zoomed pattern fills and pattern frames.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "render/custom_dibx.h"
#include "render/dibx_draw.h"

using namespace dibx;

namespace {

// Non-negative remainder.
inline int64_t Mod(int64_t a, int64_t m) {
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// Sets the clip to c for the lifetime of the scope and puts the stored clip
// rectangle back afterwards.
class ClipScope {
public:
    ClipScope(TRect& field, const TRect& c) : field_(field), saved_(field) { field_ = c; }
    ~ClipScope() { field_ = saved_; }
    ClipScope(const ClipScope&) = delete;
    ClipScope& operator=(const ClipScope&) = delete;

private:
    TRect& field_;
    TRect saved_;
};

// First index k >= 0 such that start + k * step + size > lo (tiles before it
// end before lo and are not visible).
inline int64_t SkipTo(int64_t start, int64_t step, int64_t size, int64_t lo) {
    const int64_t gap = lo - size - start;
    return gap < 0 ? 0 : gap / step + 1;
}

// Calls draw(x, y, source sub-rectangle) for every tile of sr over dr
// (already clipped to c), the first tile starting at source offset (sx, sy).
template <class DrawFn>
void TileLoop(const TRect& dr, const TRect& c, int32_t gapX, int32_t gapY, const TRect& sr, int32_t originX,
              int32_t originY, DrawFn draw) {
    const int64_t w = int64_t(sr.Right) - sr.Left, h = int64_t(sr.Bottom) - sr.Top;
    // Gaps that swallow a whole tile would never advance.
    if (w <= 0 || h <= 0 || w + gapX <= 0 || h + gapY <= 0) return;
    const int64_t sx = originX >= 0 ? sr.Left + Mod(originX, w) : sr.Left + w - (-int64_t(originX)) % w;
    const int64_t sy = originY >= 0 ? sr.Top + Mod(originY, h) : sr.Top + h - (-int64_t(originY)) % h;
    const int64_t firstW = sr.Right - sx, firstH = sr.Bottom - sy;
    auto row = [&](int64_t y, int64_t ty, int64_t th) {
        const int64_t hh = std::min<int64_t>(th, dr.Bottom - y);
        if (hh <= 0) return;
        auto tile = [&](int64_t x, int64_t tx, int64_t tw) {
            const int64_t ww = std::min<int64_t>(tw, dr.Right - x);
            if (ww > 0)
                draw(int32_t(x), int32_t(y), TRect{int32_t(tx), int32_t(ty), int32_t(tx + ww), int32_t(ty + hh)});
        };
        tile(dr.Left, sx, firstW);
        int64_t x = dr.Left + firstW + gapX;
        x += SkipTo(x, w + gapX, w, c.Left) * (w + gapX);
        for (; x < c.Right; x += w + gapX) tile(x, sr.Left, w);
    };
    row(dr.Top, sy, firstH);
    int64_t y = dr.Top + firstH + gapY;
    y += SkipTo(y, h + gapY, h, c.Top) * (h + gapY);
    for (; y < c.Bottom; y += h + gapY) row(y, sr.Top, h);
}

// Fractional phase of an origin within a period, positive for negative origins.
double Phase(double origin, double period) {
    if (period == 0 || !std::isfinite(period)) return 0;
    const double f = origin / period;
    double p = (f - std::trunc(f)) * period;
    if (origin < 0) p += period;
    return p;
}

// Rounded to nearest (halves to even), kept in a range that cannot overflow.
int64_t RoundFixed(double v) {
    if (!std::isfinite(v)) return 0;
    v = std::clamp(v, -1e15, 1e15);
    return int64_t(std::nearbyint(v));
}

// Calls draw(tile rectangle) for the zoomed tiles over dr, clipped to c.
template <class DrawFn>
void ScaledTileLoop(const TRect& dr, const TRect& c, int32_t spacingX, int32_t spacingY, int32_t zoomX, int32_t zoomY,
                    const TRect& sr, int32_t originX, int32_t originY, DrawFn draw) {
    if (zoomX <= 0 || zoomY <= 0 || RectIsEmpty(sr)) return;
    const int64_t tw = std::max<int64_t>(1, int64_t(double(sr.Width()) * zoomX / 256));
    const int64_t th = std::max<int64_t>(1, int64_t(double(sr.Height()) * zoomY / 256));
    if (tw > INT32_MAX || th > INT32_MAX) return;
    const double px = double(spacingX) * zoomX / 256, py = double(spacingY) * zoomY / 256;
    const int64_t stepX = std::max<int64_t>(65536, RoundFixed(px * 65536));
    const int64_t stepY = std::max<int64_t>(65536, RoundFixed(py * 65536));
    int64_t col0 = int64_t(dr.Left) * 65536 - RoundFixed(Phase(originX, px) * 65536);
    int64_t row0 = int64_t(dr.Top) * 65536 - RoundFixed(Phase(originY, py) * 65536);
    col0 += SkipTo(col0, stepX, tw * 65536, int64_t(c.Left) * 65536) * stepX;
    row0 += SkipTo(row0, stepY, th * 65536, int64_t(c.Top) * 65536) * stepY;
    const int64_t endX = int64_t(std::min(dr.Right, c.Right)) * 65536;
    const int64_t endY = int64_t(std::min(dr.Bottom, c.Bottom)) * 65536;
    for (int64_t row = row0; row < endY; row += stepY)
        for (int64_t col = col0; col < endX; col += stepX)
            draw(Bounds(int32_t(col / 65536), int32_t(row / 65536), int32_t(tw), int32_t(th)));
}

// Clips dr, sets the clip for the duration and runs loop(c) over it.
template <class LoopFn>
void Clipped(TRect& clipField, const TRect& drawClip, const TRect& dr, LoopFn loop) {
    const TRect c = Intersect(dr, drawClip);
    if (RectIsEmpty(c)) return;
    ClipScope scope(clipField, c);
    loop(c);
}

}  // namespace

void TCustomDIBX::DrawTiled(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src, const TRect& srcRect,
                            bool transparent, int32_t originX, int32_t originY) {
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        TileLoop(dstRect, c, gapX, gapY, srcRect, originX, originY,
                 [&](int32_t x, int32_t y, const TRect& s) { Draw(x, y, src, s, transparent, false, false); });
    });
}

void TCustomDIBX::DrawTiledAlpha(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                                 const TRect& srcRect, bool transparent, int32_t originX, int32_t originY,
                                 int32_t alpha) {
    if (alpha <= 0) return;
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        TileLoop(dstRect, c, gapX, gapY, srcRect, originX, originY, [&](int32_t x, int32_t y, const TRect& s) {
            DrawAlpha(x, y, src, s, transparent, false, false, alpha);
        });
    });
}

void TCustomDIBX::DrawTiledAdd(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src, const TRect& srcRect,
                               bool transparent, int32_t originX, int32_t originY, int32_t level) {
    if (level <= 0) return;
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        TileLoop(dstRect, c, gapX, gapY, srcRect, originX, originY, [&](int32_t x, int32_t y, const TRect& s) {
            DrawAdd(x, y, src, s, transparent, false, false, level);
        });
    });
}

void TCustomDIBX::DrawTiledMask(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                                const TRect& srcRect, int32_t originX, int32_t originY, TCustomDIBX& mask) {
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        TileLoop(dstRect, c, gapX, gapY, srcRect, originX, originY,
                 [&](int32_t x, int32_t y, const TRect& s) { DrawMask(x, y, src, s, false, false, mask); });
    });
}

void TCustomDIBX::DrawTiledMaskAlpha(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                                     const TRect& srcRect, int32_t originX, int32_t originY, TCustomDIBX& mask,
                                     int32_t alpha) {
    if (alpha <= 0) return;
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        TileLoop(dstRect, c, gapX, gapY, srcRect, originX, originY,
                 [&](int32_t x, int32_t y, const TRect& s) { DrawMaskAlpha(x, y, src, s, false, false, mask, alpha); });
    });
}

void TCustomDIBX::DrawTiledMaskAdd(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                                   const TRect& srcRect, int32_t originX, int32_t originY, TCustomDIBX& mask,
                                   int32_t level) {
    if (level <= 0) return;
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        TileLoop(dstRect, c, gapX, gapY, srcRect, originX, originY,
                 [&](int32_t x, int32_t y, const TRect& s) { DrawMaskAdd(x, y, src, s, false, false, mask, level); });
    });
}

void TCustomDIBX::DrawTiledScaled(const TRect& dstRect, int32_t spacingX, int32_t spacingY, int32_t zoomX,
                                  int32_t zoomY, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
                                  bool flipV, int32_t alphaCode, int32_t originX, int32_t originY) {
    if (alphaCode <= 0) return;
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        ScaledTileLoop(dstRect, c, spacingX, spacingY, zoomX, zoomY, srcRect, originX, originY, [&](const TRect& t) {
            if (alphaCode < 256)
                DrawStretch(t, src, srcRect, transparent, flipH, flipV, alphaCode & 255);
            else
                DrawStretchAdd(t, src, srcRect, transparent, flipH, flipV, alphaCode & 255);
        });
    });
}

void TCustomDIBX::DrawTiledScaledMask(const TRect& dstRect, int32_t spacingX, int32_t spacingY, int32_t zoomX,
                                      int32_t zoomY, TCustomDIBX& src, const TRect& srcRect, TCustomDIBX& mask,
                                      bool flipH, bool flipV, int32_t alphaCode, int32_t originX, int32_t originY) {
    if (alphaCode <= 0) return;
    Clipped(FClipRect, DrawClip(), dstRect, [&](const TRect& c) {
        ScaledTileLoop(dstRect, c, spacingX, spacingY, zoomX, zoomY, srcRect, originX, originY, [&](const TRect& t) {
            if (alphaCode < 256)
                DrawStretchMask(t, src, srcRect, flipH, flipV, mask, alphaCode & 255);
            else
                DrawStretchMaskAdd(t, src, srcRect, flipH, flipV, mask, alphaCode & 255);
        });
    });
}

void TCustomDIBX::FillPattern(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY, bool flipH,
                              bool flipV) {
    const int bits = BitCount();
    if (pattern.IsEmpty() || pattern.BitCount() != bits) return;
    const TRect c = Intersect(r, DrawClip());
    if (RectIsEmpty(c)) return;
    const int64_t pw = pattern.Width(), ph = pattern.Height();
    const int64_t col0 = Mod(int64_t(offsetX) + (c.Left - int64_t(r.Left)), pw);
    const int64_t row0 = Mod(int64_t(offsetY) + (c.Top - int64_t(r.Top)), ph);
    auto patternRow = [&](int i) {
        const int64_t pr = (row0 + i) % ph;
        return int32_t(flipV ? ph - 1 - pr : pr);
    };
    if (!RowDepth(bits)) {
        // Packed depths: pixel by pixel through the primitives.
        for (int i = 0; i < c.Height(); ++i) {
            const int32_t pr = patternRow(i);
            for (int j = 0; j < c.Width(); ++j) {
                const int64_t pc = (col0 + j) % pw;
                SetPixel(c.Left + j, c.Top + i, pattern.GetPixel(int32_t(flipH ? pw - 1 - pc : pc), pr));
            }
        }
        return;
    }
    LockGuard dl(*this, 0, 0);
    if (!dl.get()) return;
    LockGuard pl(pattern, 0, 0);
    if (!pl.get()) return;
    const int bpp = BytesPerPixel(bits);
    uint8_t* rev = flipH ? Scratch(0, size_t(pw) * bpp) : nullptr;
    for (int i = 0; i < c.Height(); ++i) {
        const uint8_t* prow = pl.get() + ptrdiff_t(patternRow(i)) * pattern.Pitch();
        if (rev) {
            reverse_pixels(rev, prow, int(pw), bpp);
            prow = rev;
        }
        uint8_t* d = dl.get() + ptrdiff_t(c.Top + i) * Pitch() + ptrdiff_t(c.Left) * bpp;
        int64_t j = col0, left = c.Width();
        while (left > 0) {
            const int64_t len = std::min(pw - j, left);
            std::memcpy(d, prow + j * bpp, size_t(len) * bpp);
            d += len * bpp;
            left -= len;
            j = 0;
        }
    }
}

void TCustomDIBX::FramePattern(const TRect& r, int32_t t, bool flipH, bool flipV, TCustomDIBX& pattern) {
    if (t <= 0 || RectIsEmpty(r)) return;
    const int64_t w = int64_t(r.Right) - r.Left, h = int64_t(r.Bottom) - r.Top;
    // Bands are kept inside r even when the thickness exceeds its size.
    auto band = [&](int64_t x, int64_t y, int64_t bw, int64_t bh) {
        const TRect b = Intersect(TRect{int32_t(x), int32_t(y), int32_t(std::min<int64_t>(x + bw, INT32_MAX)),
                                        int32_t(std::min<int64_t>(y + bh, INT32_MAX))},
                                  r);
        if (!RectIsEmpty(b)) FillPattern(b, pattern, 0, 0, flipH, flipV);
    };
    band(r.Left, r.Top, w, t);
    band(r.Left, int64_t(r.Bottom) - t, w, t);
    band(r.Left, r.Top, t, h);
    band(int64_t(r.Right) - t, r.Top, t, h);
}

namespace {

// The zoomed pattern fill shared by the plain and the masked form.
void ZoomedPattern(TCustomDIBX& dst, const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                   int32_t zoomX, int32_t zoomY, TCustomDIBX* mask, bool flipH, bool flipV, const RowOp& op) {
    const int bits = dst.BitCount();
    if (!RowDepth(bits) || zoomX <= 0 || zoomY <= 0 || pattern.IsEmpty()) return;
    TRect limit;
    if (!SourceLimit(dst, &pattern, mask, limit) || limit != pattern.BoundsRect()) return;
    const TRect c = Intersect(r, dst.DrawClip());
    if (RectIsEmpty(c)) return;
    const int64_t pw = pattern.Width(), ph = pattern.Height();
    const int64_t PW = pw * 65536, PH = ph * 65536;
    const double ox = double(offsetX) + (c.Left - int64_t(r.Left)), oy = double(offsetY) + (c.Top - int64_t(r.Top));
    auto start = [](double offset, int64_t size, int32_t zoom, bool flip) {
        const double zoomed = double(size) * zoom / 256;
        const double f = offset / zoomed;
        double v = (f - std::trunc(f)) * double(size);
        if (offset < 0) v += double(size);
        if (flip) v = double(size) - v;
        if (v >= double(size)) v -= double(size);
        const int64_t fixed = int64_t(v * 65536);
        return std::clamp<int64_t>(fixed, 0, size * 65536 - 1);
    };
    int64_t stepX = std::min<int64_t>(int64_t(65536) * 256 / zoomX, PW);
    int64_t stepY = std::min<int64_t>(int64_t(65536) * 256 / zoomY, PH);
    if (flipH) stepX = -stepX;
    if (flipV) stepY = -stepY;
    const int n = c.Width();
    int32_t* cols = reinterpret_cast<int32_t*>(Scratch(3, size_t(n) * 4));
    int64_t u = start(ox, pw, zoomX, flipH);
    for (int j = 0; j < n; ++j) {
        cols[j] = int32_t(u >> 16);
        u += stepX;
        if (u >= PW) u -= PW;
        if (u < 0) u += PW;
    }
    LockGuard dl(dst, 0, 0);
    if (!dl.get()) return;
    LockGuard pl(pattern, 0, 0);
    if (!pl.get()) return;
    std::optional<LockGuard> ml;
    if (mask) {
        ml.emplace(*mask, 0, 0);
        if (!ml->get()) return;
    }
    const int bpp = BytesPerPixel(bits);
    uint8_t* tmp = Scratch(0, size_t(n) * bpp);
    uint8_t* mtmp = Scratch(1, size_t(n));
    int64_t v = start(oy, ph, zoomY, flipV);
    for (int i = 0; i < c.Height(); ++i) {
        const int32_t pr = int32_t(v >> 16);
        v += stepY;
        if (v >= PH) v -= PH;
        if (v < 0) v += PH;
        const uint8_t* prow = pl.get() + ptrdiff_t(pr) * pattern.Pitch();
        uint8_t* d = dl.get() + ptrdiff_t(c.Top + i) * dst.Pitch() + ptrdiff_t(c.Left) * bpp;
        for (int j = 0; j < n; ++j) std::memcpy(tmp + j * bpp, prow + ptrdiff_t(cols[j]) * bpp, size_t(bpp));
        if (mask) {
            const uint8_t* mrow = ml->get() + ptrdiff_t(pr) * mask->Pitch();
            for (int j = 0; j < n; ++j) mtmp[j] = mrow[cols[j]];
        }
        run_row(bits, d, tmp, mtmp, n, op);
    }
}

}  // namespace

void TCustomDIBX::FillPatternZoomed(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                                    int32_t zoomX, int32_t zoomY, bool transparent, bool flipH, bool flipV,
                                    int32_t alphaCode) {
    if (alphaCode <= 0) return;
    const int bits = BitCount();
    RowOp op;
    if (alphaCode < 255) {
        op = AlphaOp(pattern, transparent, bits, alphaCode, true);
    } else if (alphaCode == 255) {
        op = CopyOp(pattern, transparent, bits);
    } else {
        const int32_t level = std::min(alphaCode - 256, 255);
        if (level <= 0) return;
        op = AddOp(pattern, transparent, bits, level);
    }
    ZoomedPattern(*this, r, pattern, offsetX, offsetY, zoomX, zoomY, nullptr, flipH, flipV, op);
}

void TCustomDIBX::FillPatternZoomedMask(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                                        int32_t zoomX, int32_t zoomY, TCustomDIBX& mask, bool flipH, bool flipV,
                                        int32_t alphaCode) {
    if (alphaCode <= 0) return;
    const int bits = BitCount();
    RowOp op;
    if (alphaCode <= 255) {
        op = StretchMaskOp(bits, alphaCode);
    } else {
        const int32_t level = std::min(alphaCode - 256, 255);
        if (level <= 0) return;
        op = MaskAddOp(bits, level);
    }
    ZoomedPattern(*this, r, pattern, offsetX, offsetY, zoomX, zoomY, &mask, flipH, flipV, op);
}
