// Resampling draws: rotation and zoom, stretch, reduction with coverage
// counting, indexed sources, tiling and patterns. Each samples its source into
// a row buffer and hands the row to the same kernels as the plain blits, so
// the blend arithmetic is shared; floating point is used only for set-up.
#include <emmintrin.h>
#include <xmmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "render/custom_dibx.h"
#include "render/dibx_draw.h"

using namespace dibx;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Truncation toward zero, kept inside a range no coordinate sum can overflow.
int32_t SafeTrunc(double v) {
    if (!(v == v)) return 0;
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return int32_t(v);
}

// 16.16 to integer, negative values rounded toward zero first.
inline int64_t FixedToInt(int64_t v) { return v >= 0 ? v >> 16 : -((-v) >> 16); }

// A locked surface addressed by absolute coordinates.
struct View {
    uint8_t* base = nullptr;
    ptrdiff_t pitch = 0;
    uint8_t* row(int32_t y) const { return base + ptrdiff_t(y) * pitch; }
};

struct Locked {
    std::optional<LockGuard> guard;
    View view;
    bool ok = true;
    explicit Locked(TCustomDIBX* s) {
        if (!s) return;
        guard.emplace(*s, 0, 0);
        ok = guard->get() != nullptr;
        view = View{guard->get(), s->Pitch()};
    }
};

void Gather(uint8_t* out, const uint8_t* row, const int32_t* cols, int n, int bpp) {
    switch (bpp) {
        case 1:
            for (int i = 0; i < n; ++i) out[i] = row[cols[i]];
            break;
        case 2:
            for (int i = 0; i < n; ++i) std::memcpy(out + 2 * i, row + 2 * ptrdiff_t(cols[i]), 2);
            break;
        case 3:
            for (int i = 0; i < n; ++i) std::memcpy(out + 3 * i, row + 3 * ptrdiff_t(cols[i]), 3);
            break;
        default:
            for (int i = 0; i < n; ++i) std::memcpy(out + 4 * i, row + 4 * ptrdiff_t(cols[i]), 4);
            break;
    }
}

bool PlainCopy(const RowOp& op) { return op.kind == Kind::Copy && !op.key_on && op.weight == Weight::Const; }

// ---- rotation ----

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Narrows [lo, hi) to the i with a <= p + i * d < b.
void Span(int64_t p, int64_t d, int64_t a, int64_t b, int64_t& lo, int64_t& hi) {
    if (d == 0) {
        if (p < a || p >= b) hi = lo;
        return;
    }
    int64_t l, h;
    if (d > 0) {
        l = -FloorDiv(p - a, d);      // ceil((a - p) / d)
        h = -FloorDiv(p - b, d);      // ceil((b - p) / d)
    } else {
        l = FloorDiv(p - b, -d) + 1;
        h = FloorDiv(p - a, -d) + 1;
    }
    lo = std::max(lo, l);
    hi = std::min(hi, h);
}

// Nearest samples along a destination row; every sample is known to be
// inside the source.
template <int B>
void RotGather(uint8_t* out, const View& s, int64_t u, int64_t v, int64_t du, int64_t dv, int n, int64_t mirrorX,
               int64_t mirrorY, bool flipH, bool flipV) {
    for (int i = 0; i < n; ++i, u += du, v += dv) {
        int64_t c = u >> 16, r = v >> 16;
        if (flipH) c = mirrorX - c;
        if (flipV) r = mirrorY - r;
        std::memcpy(out + i * B, s.base + ptrdiff_t(r) * s.pitch + ptrdiff_t(c) * B, B);
    }
}

TRect RotatedBounds(int32_t x, int32_t y, int32_t w, int32_t h, int32_t centerX, int32_t centerY, int32_t zoomX,
                    int32_t zoomY, int32_t angle) {
    const double zx = zoomX / 256.0, zy = zoomY / 256.0, t = double(angle) * 2 * kPi / 256;
    const double cx = centerX * zx, cy = centerY * zy;
    const double px[4] = {-cx, w * zx - cx - 1, -cx, w * zx - cx - 1};
    const double py[4] = {-cy, -cy, h * zy - cy - 1, h * zy - cy - 1};
    const double c = std::cos(t), s = std::sin(t);
    double minx = 1e300, maxx = -1e300, miny = 1e300, maxy = -1e300;
    for (int i = 0; i < 4; ++i) {
        const double X = px[i] * c - py[i] * s + x, Y = px[i] * s + py[i] * c + y;
        minx = std::min(minx, X), maxx = std::max(maxx, X);
        miny = std::min(miny, Y), maxy = std::max(maxy, Y);
    }
    return TRect{SafeTrunc(minx), SafeTrunc(miny), SafeTrunc(maxx + 1), SafeTrunc(maxy + 1)};
}

// The centre is taken relative to the source rectangle both for the bounds
// and for the sampling, so a source rectangle away from the origin turns
// about the same point the bounds were computed for.
void RotateCore(TCustomDIBX& dst, int32_t X, int32_t Y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                const TRect& sr, int32_t centerX, int32_t centerY, int32_t angle, bool flipH, bool flipV,
                TCustomDIBX* mask, const RowOp& op) {
    const int bits = dst.BitCount();
    if (bits != 15 && bits != 16 && bits != 24 && bits != 32) return;
    if (zoomX < 1 || zoomY < 1 || RectIsEmpty(sr)) return;
    TRect limit;
    if (!SourceLimit(dst, &src, mask, limit)) return;
    const TRect b = Intersect(RotatedBounds(X, Y, sr.Width(), sr.Height(), centerX, centerY, zoomX, zoomY, angle),
                              dst.DrawClip());
    if (RectIsEmpty(b)) return;
    const double zx = zoomX / 256.0, zy = zoomY / 256.0, t = double(angle) * 2 * kPi / 256;
    const int64_t dudx = SafeTrunc(65536 * std::cos(-t) / zx);
    const int64_t dvdx = SafeTrunc(65536 * std::sin(-t) / zy);
    const int64_t dudy = SafeTrunc(65536 * -std::sin(-t) / zx);
    const int64_t dvdy = SafeTrunc(65536 * std::cos(-t) / zy);
    // Columns and rows whose samples (after the flips) lie in the source.
    // Wide: a scripted source rectangle may lie anywhere in the 32-bit range.
    const int64_t mirrorX = int64_t(sr.Left) + sr.Right - 1, mirrorY = int64_t(sr.Top) + sr.Bottom - 1;
    int64_t el = sr.Left, er = sr.Right, et = sr.Top, eb = sr.Bottom;
    el = std::max<int64_t>(el, flipH ? mirrorX - limit.Right + 1 : limit.Left);
    er = std::min<int64_t>(er, flipH ? mirrorX - limit.Left + 1 : limit.Right);
    et = std::max<int64_t>(et, flipV ? mirrorY - limit.Bottom + 1 : limit.Top);
    eb = std::min<int64_t>(eb, flipV ? mirrorY - limit.Top + 1 : limit.Bottom);
    // Negative 16.16 positions are never drawn.
    el = std::max<int64_t>(el, 0), et = std::max<int64_t>(et, 0);
    if (el >= er || et >= eb) return;
    Locked dl(&dst), sl(&src), ml(mask);
    if (!dl.ok || !sl.ok || !ml.ok) return;
    const int bpp = BytesPerPixel(bits);
    const int n = b.Width();
    uint8_t* tmp = Scratch(0, size_t(n) * bpp);
    uint8_t* mtmp = Scratch(1, size_t(n));
    const bool direct = PlainCopy(op);
    // Positions in exact 64-bit arithmetic, so that far-off coordinates
    // cannot wrap around into the source.
    const int64_t u0 = (int64_t(sr.Left) + centerX) * 65536, v0 = (int64_t(sr.Top) + centerY) * 65536;
    for (int32_t y = b.Top; y < b.Bottom; ++y) {
        const int64_t u = u0 + (int64_t(b.Left) - X) * dudx + (int64_t(y) - Y) * dudy;
        const int64_t v = v0 + (int64_t(b.Left) - X) * dvdx + (int64_t(y) - Y) * dvdy;
        int64_t lo = 0, hi = n;
        Span(u, dudx, el * 65536, er * 65536, lo, hi);
        Span(v, dvdx, et * 65536, eb * 65536, lo, hi);
        if (lo >= hi) continue;
        const int k = int(hi - lo);
        uint8_t* drow = dl.view.row(y) + ptrdiff_t(b.Left + lo) * bpp;
        const int64_t us = u + lo * dudx, vs = v + lo * dvdx;
        uint8_t* out = direct ? drow : tmp;
        switch (bpp) {
            case 2: RotGather<2>(out, sl.view, us, vs, dudx, dvdx, k, mirrorX, mirrorY, flipH, flipV); break;
            case 3: RotGather<3>(out, sl.view, us, vs, dudx, dvdx, k, mirrorX, mirrorY, flipH, flipV); break;
            default: RotGather<4>(out, sl.view, us, vs, dudx, dvdx, k, mirrorX, mirrorY, flipH, flipV); break;
        }
        if (direct) continue;
        if (mask) RotGather<1>(mtmp, ml.view, us, vs, dudx, dvdx, k, mirrorX, mirrorY, flipH, flipV);
        run_row(bits, drow, tmp, mtmp, k, op);
    }
}

// ---- stretch ----

// 16.16 source position of the first destination column (or row) after
// cut destination pixels, and the signed step per destination pixel.
struct Steps {
    int64_t pos, step;
};
Steps StretchSteps(int64_t cut, double ratio, int32_t srcLo, int32_t srcHi, bool flip) {
    const double t = cut * ratio;
    const int64_t whole = int64_t(t);
    const int64_t frac = int64_t((t - double(whole)) * 65536);
    const int64_t step = int64_t(ratio * 65536);
    if (flip) return Steps{(int64_t(srcHi) - whole) * 65536 - 1 - frac, -step};
    return Steps{(int64_t(srcLo) + whole) * 65536 + frac, step};
}

void StretchTable(int32_t* out, int n, Steps s) {
    for (int i = 0; i < n; ++i, s.pos += s.step)
        out[i] = int32_t(std::clamp<int64_t>(FixedToInt(s.pos), INT32_MIN, INT32_MAX));
}

// Nearest samples of a row by stepping the 16.16 position (all non-negative).
template <int B> void GatherStep(uint8_t* out, const uint8_t* row, int64_t pos, int64_t step, int n) {
    int i = 0;
    if constexpr (B == 4) {
        // Halving: every other pixel, four at a time. The odd neighbour read
        // with the last of each four stays before the final sample.
        if (step == 2 * 65536) {
            const uint8_t* s = row + (pos >> 16) * 4;
            for (; i + 4 < n; i += 4) {
                const __m128 a = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 8)));
                const __m128 b = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 8 + 16)));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 4),
                                 _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))));
            }
            for (; i < n; ++i) std::memcpy(out + i * 4, s + i * 8, 4);
            return;
        }
    }
    if constexpr (B == 2) {
        // Halving at 16 bpp: the even pixels of sixteen, eight at a time
        // (sign-extended lanes pack back to the same 16 bits).
        if (step == 2 * 65536) {
            const uint8_t* s = row + (pos >> 16) * 2;
            for (; i + 8 < n; i += 8) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4 + 16));
                const __m128i ea = _mm_srai_epi32(_mm_slli_epi32(a, 16), 16);
                const __m128i eb = _mm_srai_epi32(_mm_slli_epi32(b, 16), 16);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 2), _mm_packs_epi32(ea, eb));
            }
            for (; i < n; ++i) std::memcpy(out + i * 2, s + i * 4, 2);
            return;
        }
    }
    // Shrinking reads a new line every few pixels: ask for it early.
    const int64_t ahead = step * 96;
    for (; i + 8 <= n; i += 8) {
        _mm_prefetch(reinterpret_cast<const char*>(row + ((pos + ahead) >> 16) * B), _MM_HINT_T0);
        for (int k = 0; k < 8; ++k, pos += step) std::memcpy(out + (i + k) * B, row + (pos >> 16) * B, B);
    }
    for (; i < n; ++i, pos += step) std::memcpy(out + i * B, row + (pos >> 16) * B, B);
}

void GatherSteps(uint8_t* out, const uint8_t* row, int64_t pos, int64_t step, int n, int bpp) {
    switch (bpp) {
        case 1: return GatherStep<1>(out, row, pos, step, n);
        case 2: return GatherStep<2>(out, row, pos, step, n);
        case 3: return GatherStep<3>(out, row, pos, step, n);
        default: return GatherStep<4>(out, row, pos, step, n);
    }
}

struct Indexed8 {
    const uint32_t* colors;
    int32_t key;
};

void StretchCore(TCustomDIBX& dst, const TRect& dr, TCustomDIBX& src, const TRect& sr, bool flipH, bool flipV,
                 TCustomDIBX* mask, const RowOp& op, const Indexed8* indexed = nullptr) {
    const int bits = dst.BitCount();
    if (!RowDepth(bits)) return;
    if (dr.Right - int64_t(dr.Left) < 1 || dr.Bottom - int64_t(dr.Top) < 1 || RectIsEmpty(sr)) return;
    TRect limit;
    if (indexed) {
        if (src.BitCount() != 8) return;
        limit = src.BoundsRect();
    } else if (!SourceLimit(dst, &src, mask, limit)) {
        return;
    }
    limit = Intersect(limit, sr);
    if (RectIsEmpty(limit)) return;
    const TRect c = Intersect(dr, dst.DrawClip());
    if (RectIsEmpty(c)) return;
    const double rx = double(sr.Width()) / dr.Width(), ry = double(sr.Height()) / dr.Height();
    const int n = c.Width(), rows = c.Height();
    int32_t* cols = reinterpret_cast<int32_t*>(Scratch(3, size_t(n) * 4));
    const Steps colSteps = StretchSteps(c.Left - int64_t(dr.Left), rx, sr.Left, sr.Right, flipH);
    StretchTable(cols, n, colSteps);
    // Columns are monotonic: the ones inside the source form one run.
    int j0 = 0, j1 = n;
    while (j0 < n && (cols[j0] < limit.Left || cols[j0] >= limit.Right)) ++j0;
    while (j1 > j0 && (cols[j1 - 1] < limit.Left || cols[j1 - 1] >= limit.Right)) --j1;
    if (j0 >= j1) return;
    const int run = j1 - j0;
    std::vector<int32_t> rowTable(static_cast<size_t>(rows));
    StretchTable(rowTable.data(), rows, StretchSteps(c.Top - int64_t(dr.Top), ry, sr.Top, sr.Bottom, flipV));
    // Within the run the positions are not negative: they can simply step.
    const int64_t pos0 = colSteps.pos + j0 * colSteps.step;
    const bool stepping = std::min(pos0, pos0 + (run - 1) * colSteps.step) >= 0;

    Locked dl(&dst), sl(&src), ml(mask);
    if (!dl.ok || !sl.ok || !ml.ok) return;
    const int bpp = BytesPerPixel(bits);
    const int sbpp = indexed ? 1 : bpp;
    uint8_t* tmp = Scratch(0, size_t(run) * 4);
    uint8_t* mtmp = Scratch(1, size_t(run));
    uint8_t* itmp = indexed ? Scratch(2, size_t(run)) : nullptr;
    const bool direct = PlainCopy(op) && !indexed;
    int32_t lastRow = INT32_MIN;
    uint8_t* lastDst = nullptr;
    for (int r = 0; r < rows; ++r) {
        const int32_t sy = rowTable[size_t(r)];
        if (sy < limit.Top || sy >= limit.Bottom) continue;
        uint8_t* drow = dl.view.row(c.Top + r) + ptrdiff_t(c.Left + j0) * bpp;
        if (direct && sy == lastRow) {
            std::memcpy(drow, lastDst, size_t(run) * bpp);
            continue;
        }
        const uint8_t* srow = sl.view.row(sy);
        if (mask) Gather(mtmp, ml.view.row(sy), cols + j0, run, 1);
        if (indexed) {
            Gather(itmp, srow, cols + j0, run, 1);
            for (int i = 0; i < run; ++i) {
                store_pixel(tmp + i * bpp, bpp, indexed->colors[itmp[i]]);
                mtmp[i] = int32_t(itmp[i]) > indexed->key ? 255 : 0;
            }
            run_row(bits, drow, tmp, mtmp, run, op);
        } else {
            uint8_t* out = direct ? drow : tmp;
            if (stepping) GatherSteps(out, srow, pos0, colSteps.step, run, sbpp);
            else Gather(out, srow, cols + j0, run, sbpp);
            if (!direct) {
                run_row(bits, drow, tmp, mtmp, run, op);
                continue;
            }
            lastRow = sy;
            lastDst = drow;
        }
    }
}

// ---- row-by-row scans of indexed and coverage sources ----

// Clips a draw of blocks (one block = one destination pixel) and calls
// fn(destination row pointer, destination row, first block column, block
// row, count) per destination row; the block column runs backwards with
// flipH (the callee walks it).
template <class Fn>
void ScanBlocks(TCustomDIBX& dst, int32_t x, int32_t y, TRect blocks, const TRect& blockLimit, bool flipH,
                bool flipV, Fn fn) {
    int64_t dx = x, dy = y;
    if (!ClipSourceTo(blockLimit, blocks, dx, dy, flipH, flipV)) return;
    if (!ClipBlit(dst.DrawClip(), dx, dy, blocks, flipH, flipV)) return;
    Locked dl(&dst);
    if (!dl.ok) return;
    const int bpp = BytesPerPixel(dst.BitCount());
    const int n = blocks.Width();
    for (int r = 0; r < blocks.Height(); ++r) {
        const int32_t by = flipV ? blocks.Bottom - 1 - r : blocks.Top + r;
        fn(dl.view.row(int32_t(dy) + r) + ptrdiff_t(dx) * bpp, flipH ? blocks.Right - 1 : blocks.Left, by, n);
    }
}

inline uint32_t Nibble(const uint8_t* row, int32_t x) { return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4; }
inline uint32_t Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

struct Channels {
    int n;
    uint32_t sh[3], mx[3];
};
bool ChannelsOf(int bits, Channels& c) {
    if (bits == 15) c = {3, {10, 5, 0}, {31, 31, 31}};
    else if (bits == 16) c = {3, {11, 5, 0}, {31, 63, 31}};
    else if (bits == 32) c = {3, {16, 8, 0}, {255, 255, 255}};
    else return false;
    return true;
}

// Blocks of factor x factor source pixels fully inside the source.
bool BlockLimit(const TCustomDIBX& src, const TRect& sr, int32_t factor, TRect& blocks, TRect& limit) {
    const int64_t bw = (int64_t(sr.Right) - sr.Left) / factor, bh = (int64_t(sr.Bottom) - sr.Top) / factor;
    if (bw <= 0 || bh <= 0) return false;
    blocks = TRect{0, 0, int32_t(bw), int32_t(bh)};
    auto lo = [&](int32_t s) { return s >= 0 ? int64_t(0) : (-int64_t(s) + factor - 1) / factor; };
    auto hi = [&](int32_t s, int32_t size, int64_t count) {
        const int64_t fit = (int64_t(size) - s) / factor;
        return std::min<int64_t>(count, fit < 0 ? 0 : fit);
    };
    limit = TRect{int32_t(lo(sr.Left)), int32_t(lo(sr.Top)), int32_t(hi(sr.Left, src.Width(), bw)),
                  int32_t(hi(sr.Top, src.Height(), bh))};
    return !RectIsEmpty(limit);
}

}  // namespace

TRect TCustomDIBX::GetRotatedBounds(int32_t x, int32_t y, int32_t width, int32_t height, int32_t centerX,
                                    int32_t centerY, int32_t zoomX, int32_t zoomY, int32_t angle, bool /*flipH*/,
                                    bool /*flipV*/) const {
    // The flips mirror only the sampled pixels, so the footprint is the same
    // with or without them: the bounds are those DrawRotate touches.
    if (zoomX < 1 || zoomY < 1) return TRect{};
    return RotatedBounds(x, y, width, height, centerX, centerY, zoomX, zoomY, angle);
}

void TCustomDIBX::DrawRotate(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                             const TRect& srcRect, int32_t centerX, int32_t centerY, int32_t angle, bool transparent,
                             bool flipH, bool flipV, int32_t alphaCode) {
    if (alphaCode <= 0) return;
    const int bits = BitCount();
    RowOp op;
    if (alphaCode == 255 || (alphaCode > 255 && bits == 24)) {
        op = CopyOp(src, transparent, bits);
    } else if (alphaCode < 255) {
        op = AlphaOp(src, transparent, bits, alphaCode, false);
    } else {
        const int32_t level = std::min(alphaCode - 256, 255);
        if (level == 0) return;
        op = AddOp(src, transparent, bits, level);
    }
    RotateCore(*this, x, y, zoomX, zoomY, src, srcRect, centerX, centerY, angle, flipH, flipV, nullptr, op);
}

void TCustomDIBX::DrawRotateMask(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                                 const TRect& srcRect, int32_t centerX, int32_t centerY, int32_t angle, bool flipH,
                                 bool flipV, TCustomDIBX& mask, int32_t alphaCode) {
    if (alphaCode <= 0) return;
    RowOp op;
    op.kind = alphaCode >= 256 ? Kind::Add : Kind::Blend;
    op.a = uint32_t(alphaCode & 255);
    op.weight = op.a == 255 ? Weight::M : Weight::MA;
    RotateCore(*this, x, y, zoomX, zoomY, src, srcRect, centerX, centerY, angle, flipH, flipV, &mask, op);
}

void TCustomDIBX::DrawStretch(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                              bool flipH, bool flipV, int32_t alpha) {
    if (alpha <= 0) return;
    const int bits = BitCount();
    const RowOp op = alpha >= 255 ? CopyOp(src, transparent, bits) : AlphaOp(src, transparent, bits, alpha, true);
    StretchCore(*this, dstRect, src, srcRect, flipH, flipV, nullptr, op);
}

void TCustomDIBX::DrawStretchMask(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                  bool flipV, TCustomDIBX& mask, int32_t alpha) {
    if (alpha <= 0) return;
    StretchCore(*this, dstRect, src, srcRect, flipH, flipV, &mask, StretchMaskOp(BitCount(), std::min(alpha, 255)));
}

void TCustomDIBX::DrawStretchAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                                 bool flipH, bool flipV, int32_t level) {
    if (level <= 0) return;
    RowOp op = AddOp(src, transparent, BitCount(), std::min(level, 255));
    if (StorageBitCount() <= 8) op.kind = Kind::RawAdd8;
    StretchCore(*this, dstRect, src, srcRect, flipH, flipV, nullptr, op);
}

void TCustomDIBX::DrawStretchMaskAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                     bool flipV, TCustomDIBX& mask, int32_t level) {
    if (level <= 0) return;
    StretchCore(*this, dstRect, src, srcRect, flipH, flipV, &mask, MaskAddOp(BitCount(), std::min(level, 255)));
}

void TCustomDIBX::DrawReduce(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, uint32_t value,
                             bool flipH, bool flipV, int32_t alpha, int32_t factor) {
    Channels ch;
    // Factors are bounded so that block counts and products stay exact.
    if (!ChannelsOf(BitCount(), ch) || src.BitCount() != 1 || factor < 1 || factor > 256 || alpha <= 0) return;
    TRect blocks, blimit;
    if (!BlockLimit(src, srcRect, factor, blocks, blimit)) return;
    Locked sl(&src);
    if (!sl.ok) return;
    const int bpp = BytesPerPixel(BitCount());
    const uint32_t area = uint32_t(factor) * uint32_t(factor);
    const int32_t sx0 = srcRect.Left, sy0 = srcRect.Top;
    ScanBlocks(*this, x, y, blocks, blimit, flipH, flipV, [&](uint8_t* drow, int32_t bx, int32_t by, int n) {
        for (int i = 0; i < n; ++i, bx += flipH ? -1 : 1) {
            uint32_t cover = 0;
            for (int32_t ry = 0; ry < factor; ++ry) {
                const uint8_t* srow = sl.view.row(sy0 + by * factor + ry);
                const int32_t c0 = sx0 + bx * factor;
                for (int32_t rx = 0; rx < factor; ++rx) cover += Bit(srow, c0 + rx) ^ 1;
            }
            if (cover == 0) continue;
            if (alpha < 255) cover = (cover * uint32_t(alpha)) >> 8;
            uint8_t* p = drow + i * bpp;
            const uint32_t d = load_pixel(p, bpp);
            uint32_t out = bpp == 4 ? d & 0xFF000000u : 0;
            for (int k = 0; k < ch.n; ++k) {
                const uint64_t cv = (value >> ch.sh[k]) & ch.mx[k], cd = (d >> ch.sh[k]) & ch.mx[k];
                out |= uint32_t((cv * cover + cd * (area - cover)) / area) << ch.sh[k];
            }
            store_pixel(p, bpp, out);
        }
    });
}

void TCustomDIBX::DrawReduceClasses(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect,
                                    const uint32_t colors[3], bool flipH, bool flipV, int32_t alphaCode,
                                    int32_t factor) {
    Channels ch;
    if (!ChannelsOf(BitCount(), ch) || src.BitCount() != 4 || factor < 1 || factor > 256 || alphaCode <= 0) return;
    TRect blocks, blimit;
    if (!BlockLimit(src, srcRect, factor, blocks, blimit)) return;
    Locked sl(&src);
    if (!sl.ok) return;
    const int bpp = BytesPerPixel(BitCount());
    const uint64_t area = uint64_t(factor) * uint64_t(factor);
    // Exact division by the total weight: a shift by trunc(log2) of it would
    // overflow the channels for factors that are not powers of two.
    const uint64_t total = area * 256;
    const bool additive = alphaCode > 255;
    const uint64_t a = uint64_t(alphaCode & 255);
    const int32_t sx0 = srcRect.Left, sy0 = srcRect.Top;
    ScanBlocks(*this, x, y, blocks, blimit, flipH, flipV, [&](uint8_t* drow, int32_t bx, int32_t by, int n) {
        for (int i = 0; i < n; ++i, bx += flipH ? -1 : 1) {
            uint64_t cnt[4] = {0, 0, 0, 0};
            for (int32_t ry = 0; ry < factor; ++ry) {
                const uint8_t* srow = sl.view.row(sy0 + by * factor + ry);
                const int32_t c0 = sx0 + bx * factor;
                for (int32_t rx = 0; rx < factor; ++rx) ++cnt[Nibble(srow, c0 + rx) & 3];
            }
            if (cnt[0] == area) continue;
            uint8_t* p = drow + i * bpp;
            if (alphaCode == 255 && (cnt[1] == area || cnt[2] == area)) {
                store_pixel(p, bpp, cnt[1] == area ? colors[0] : colors[1]);
                continue;
            }
            const uint64_t wk = alphaCode == 255 ? 256 : a;
            const uint64_t w1 = cnt[1] * wk, w2 = cnt[2] * wk, w3 = cnt[3] * wk;
            const uint64_t wd = additive ? total : total - w1 - w2 - w3;
            const uint32_t d = load_pixel(p, bpp);
            uint32_t out = bpp == 4 ? d & 0xFF000000u : 0;
            for (int k = 0; k < ch.n; ++k) {
                const uint32_t sh = ch.sh[k], mx = ch.mx[k];
                const uint64_t t = ((colors[0] >> sh) & mx) * w1 + ((colors[1] >> sh) & mx) * w2 +
                                   ((colors[2] >> sh) & mx) * w3 + ((d >> sh) & mx) * wd;
                out |= uint32_t(std::min<uint64_t>(t / total, mx)) << sh;
            }
            store_pixel(p, bpp, out);
        }
    });
}

void TCustomDIBX::DrawIndexed4(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                               int32_t alphaCode, const uint32_t colors[16]) {
    const int bits = BitCount();
    // Code 0 would blend with weight 0, which still darkens: it draws nothing.
    if ((bits != 15 && bits != 16 && bits != 32) || src.BitCount() != 4 || alphaCode <= 0) return;
    RowOp op;
    op.a = uint32_t(std::min(alphaCode, 255));
    op.weight = Weight::MA255A;  // mask 255 = drawn pixel, weight a
    if (alphaCode == 255) {
        op.kind = Kind::Copy;
        op.weight = Weight::M;
        op.copy255 = true;
    } else if (alphaCode > 255) {
        op.kind = Kind::Add;
        op.a = uint32_t(alphaCode & 255);
        if (op.a == 0) return;
    } else {
        op.kind = Kind::Blend;
        op.skip_eq = true;
    }
    Locked sl(&src);
    if (!sl.ok) return;
    const int bpp = BytesPerPixel(bits);
    const uint32_t white = bits == 32 ? 0xFFFFFFu : 0xFFFFu;
    const int32_t key = src.TransparentColor();
    ScanBlocks(*this, x, y, srcRect, src.BoundsRect(), flipH, flipV, [&](uint8_t* drow, int32_t sx, int32_t sy, int n) {
        uint8_t* tmp = Scratch(0, size_t(n) * 4);
        uint8_t* m = Scratch(1, size_t(n));
        const uint8_t* srow = sl.view.row(sy);
        for (int i = 0; i < n; ++i, sx += flipH ? -1 : 1) {
            const uint32_t idx = Nibble(srow, sx);
            const uint32_t c = colors[idx];
            store_pixel(tmp + i * bpp, bpp, c);
            bool draw = int32_t(idx) != key;
            if (draw && op.kind == Kind::Add)
                draw = c != 0 && load_pixel(drow + i * bpp, bpp) < white;
            m[i] = draw ? 255 : 0;
        }
        run_row(bits, drow, tmp, m, n, op);
    });
}

void TCustomDIBX::DrawIndexed8Add(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                  bool flipV, int32_t level, const uint32_t colors[256], int32_t /*key*/) {
    const int bits = BitCount();
    if (!RowDepth(bits) || src.BitCount() != 8 || level <= 0) return;
    RowOp op;
    op.kind = Kind::Add;
    op.weight = Weight::MA255A;
    op.a = uint32_t(std::min(level, 255));
    Locked sl(&src);
    if (!sl.ok) return;
    const int bpp = BytesPerPixel(bits);
    // Indices at or below the source's transparent colour (signed) are left out.
    const int32_t key = src.TransparentColor();
    ScanBlocks(*this, x, y, srcRect, src.BoundsRect(), flipH, flipV, [&](uint8_t* drow, int32_t sx, int32_t sy, int n) {
        uint8_t* tmp = Scratch(0, size_t(n) * 4);
        uint8_t* m = Scratch(1, size_t(n));
        const uint8_t* srow = sl.view.row(sy);
        for (int i = 0; i < n; ++i, sx += flipH ? -1 : 1) {
            const uint8_t idx = srow[sx];
            store_pixel(tmp + i * bpp, bpp, colors[idx]);
            m[i] = int32_t(idx) > key ? 255 : 0;
        }
        run_row(bits, drow, tmp, m, n, op);
    });
}

void TCustomDIBX::DrawStretchIndexed8Add(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                         bool flipV, int32_t level, const uint32_t colors[256], int32_t /*key*/) {
    if (level <= 0) return;
    RowOp op;
    op.kind = Kind::Add;
    op.weight = Weight::MA255A;
    op.a = uint32_t(std::min(level, 255));
    const Indexed8 ix{colors, src.TransparentColor()};
    StretchCore(*this, dstRect, src, srcRect, flipH, flipV, nullptr, op, &ix);
}

void TCustomDIBX::StretchToDC(TCustomDIBX& dc, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX,
                              int32_t srcY, int32_t srcW, int32_t srcH) {
    // A negative extent counts from the other edge, as the device call takes it.
    auto span = [](int32_t at, int32_t size, int32_t& lo, int32_t& hi) {
        const int64_t end = int64_t(at) + size;
        lo = int32_t(std::min<int64_t>(at, end));
        hi = int32_t(std::max<int64_t>(at, end));
    };
    TRect d, s;
    span(x, w, d.Left, d.Right);
    span(y, h, d.Top, d.Bottom);
    span(srcX, srcW, s.Left, s.Right);
    span(srcY, srcH, s.Top, s.Bottom);
    dc.DrawStretch(d, *this, s, false, (w < 0) != (srcW < 0), (h < 0) != (srcH < 0), 255);
}
