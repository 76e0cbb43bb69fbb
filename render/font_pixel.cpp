#include "render/font_pixel.h"

#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/text/fonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Stored coverage for each level the glyph formats return. The steps are
// uneven on purpose: they give the text its familiar weight.
constexpr uint8_t kLevels4[5] = {0, 79, 127, 207, 255};
constexpr uint8_t kLevels16[17] = {0, 43, 55, 67, 79, 91, 103, 115, 159, 171, 183, 195, 207, 219, 231, 243, 255};
constexpr uint8_t kLevels64[65] = {0,   18,  21,  24,  27,  30,  33,  36,  55,  58,  61,  64,  67,
                                   70,  73,  76,  79,  82,  85,  88,  91,  94,  97,  100, 119, 122,
                                   125, 128, 131, 134, 137, 140, 143, 146, 149, 152, 155, 158, 161,
                                   164, 183, 186, 189, 192, 195, 198, 201, 204, 207, 210, 213, 216,
                                   219, 222, 225, 228, 231, 234, 237, 240, 243, 246, 249, 252, 255};

GlyphFormat format_of(int32_t quality) {
    switch (quality) {
        case 1: return GlyphFormat::Gray2;
        case 2: return GlyphFormat::Gray4;
        case 3: return GlyphFormat::Gray8;
        default: return GlyphFormat::Bitmap;
    }
}

// A locked surface: rows addressed by the signed pitch from pixel (0, 0).
struct Locked {
    TCustomDIBX& s;
    uint8_t* base;
    int32_t pitch, width, height;
    explicit Locked(TCustomDIBX& surface)
        : s(surface), base(surface.IsEmpty() ? nullptr : surface.Lock(0, 0)), pitch(surface.Pitch()),
          width(surface.Width()), height(surface.Height()) {}
    ~Locked() {
        if (base) s.Unlock();
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    uint8_t* row(int32_t y) const { return base + static_cast<ptrdiff_t>(pitch) * y; }
};

struct Channels {
    uint32_t r, g, b;
    bool bytes;  // 8-8-8: red and blue can share one multiplication
    explicit Channels(const TCustomDIBX& s)
        : r(s.RedMask()), g(s.GreenMask()), b(s.BlueMask()), bytes(r == 0xFF0000 && g == 0xFF00 && b == 0xFF) {}
    // (w * a + (255 - w) * b) >> 8 per channel, w in 0..255.
    uint32_t blend(uint32_t a, uint32_t old, uint32_t w) const {
        const uint32_t v = 255 - w;
        if (bytes) {
            // Each product stays below 2^16, so the two lanes never touch.
            return (((w * (a & 0xFF00FF) + v * (old & 0xFF00FF)) >> 8) & 0xFF00FF) |
                   (((w * (a & 0xFF00) + v * (old & 0xFF00)) >> 8) & 0xFF00);
        }
        return (((w * (a & r) + v * (old & r)) >> 8) & r) | (((w * (a & g) + v * (old & g)) >> 8) & g) |
               (((w * (a & b) + v * (old & b)) >> 8) & b);
    }
};

bool is_mask(const TCustomDIBX& m) { return m.BitCount() == 8; }

// Runs fn(pixel row, coverage row, count) over the clipped glyph area.
template <typename Fn>
void for_glyph_rows(const Locked& t, int32_t x, int32_t y, const TFontPixel& g, int32_t bytes_per_pixel, Fn fn) {
    int32_t sx = 0, sy = 0, w = g.GetWidth(), h = g.GetHeight();
    if (!t.base || !ClipGlyphRect(t.width, t.height, x, y, sx, sy, w, h)) return;
    for (int32_t j = 0; j < h; ++j)
        fn(t.row(y + j) + static_cast<ptrdiff_t>(x) * bytes_per_pixel,
           g.Pixels() + static_cast<ptrdiff_t>(sy + j) * g.GetWidth() + sx, w);
}

template <typename P>
void solid_rows(const Locked& t, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour) {
    const P value = static_cast<P>(colour);
    for_glyph_rows(t, x, y, g, sizeof(P), [&](uint8_t* d, const uint8_t* c, int32_t n) {
        P* p = reinterpret_cast<P*>(d);
        for (int32_t i = 0; i < n; ++i)
            if (c[i]) p[i] = value;
    });
}

// Coverage bytes of a block of 16 * N: all empty, all full, none empty
// (inked), or some empty and some not.
enum class Block { empty, full, inked, mixed };
template <int N>
inline Block block_of(const uint8_t* c) {
#if defined(__SSE2__)
    __m128i any = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c)), all = any, least = any;
    for (int k = 1; k < N; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 16 * k));
        any = _mm_or_si128(any, v);
        all = _mm_and_si128(all, v);
        least = _mm_min_epu8(least, v);
    }
    const __m128i zero = _mm_setzero_si128();
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) == 0xFFFF) return Block::empty;
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1))) == 0xFFFF) return Block::full;
    return _mm_movemask_epi8(_mm_cmpeq_epi8(least, zero)) == 0 ? Block::inked : Block::mixed;
#else
    uint64_t any = 0, all = ~uint64_t{0};
    bool gap = false;
    for (int k = 0; k < 16 * N; ++k) gap = gap || c[k] == 0;
    for (int k = 0; k < 2 * N; ++k) {
        uint64_t v;
        std::memcpy(&v, c + 8 * k, 8);
        any |= v;
        all &= v;
    }
    if (any == 0) return Block::empty;
    if (all == ~uint64_t{0}) return Block::full;
    return gap ? Block::mixed : Block::inked;
#endif
}
inline Block block_of(const uint8_t* c, int32_t count) { return count == 64 ? block_of<4>(c) : block_of<1>(c); }

// Most of a large glyph or a wide border is empty or full: n pixels are
// walked by blocks of 64 and then 16, an empty block skipped, a full one
// handed to full(i, count), which paints it and says true, or says false to
// have it taken pixel by pixel like the rest (each(i, end) for pixels i up
// to end).
template <typename Full, typename Each>
inline void by_blocks(const uint8_t* c, int32_t n, Full full, Each each) {
    for (int32_t i = 0; i < n;) {
        if (i + 64 <= n) {
            const Block k = block_of<4>(c + i);
            if (k == Block::empty || (k == Block::full && full(i, 64))) {
                i += 64;
                continue;
            }
        }
        for (const int32_t end64 = std::min(n, i + 64); i < end64;) {
            if (i + 16 <= end64) {
                const Block k = block_of<1>(c + i);
                if (k == Block::empty || (k == Block::full && full(i, 16))) {
                    i += 16;
                    continue;
                }
            }
            const int32_t end = std::min(end64, i + 16);
            each(i, end);
            i = end;
        }
    }
}

// A block's worth of one pixel value, copied over a full block.
template <typename P>
struct Repeated {
    P v[64];
    explicit Repeated(uint32_t colour) { std::fill(v, v + 64, static_cast<P>(colour)); }
    void to(P* p, int32_t count) const { std::memcpy(p, v, static_cast<size_t>(count) * sizeof(P)); }
    // Only where own is empty (count a multiple of 16): the colour and an
    // opaque mask.
    void to_where_empty(P* p, uint8_t* k, const uint8_t* own, int32_t count) const {
        int32_t i = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const __m128i col = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
        for (; i + 16 <= count; i += 16) {
            const __m128i e = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(own + i)), zero);
            __m128i* km = reinterpret_cast<__m128i*>(k + i);
            _mm_storeu_si128(km, _mm_or_si128(_mm_loadu_si128(km), e));
            // The byte mask widened to the pixel's size, 16 / sizeof(P) pixels per step.
            __m128i lanes[4];
            if constexpr (sizeof(P) == 2) {
                lanes[0] = _mm_unpacklo_epi8(e, e);
                lanes[1] = _mm_unpackhi_epi8(e, e);
            } else {
                const __m128i lo = _mm_unpacklo_epi8(e, e), hi = _mm_unpackhi_epi8(e, e);
                lanes[0] = _mm_unpacklo_epi16(lo, lo);
                lanes[1] = _mm_unpackhi_epi16(lo, lo);
                lanes[2] = _mm_unpacklo_epi16(hi, hi);
                lanes[3] = _mm_unpackhi_epi16(hi, hi);
            }
            for (int j = 0; j < static_cast<int>(sizeof(P)); ++j) {
                __m128i* pm = reinterpret_cast<__m128i*>(p + i) + j;
                const __m128i old = _mm_loadu_si128(pm);
                _mm_storeu_si128(pm, _mm_or_si128(_mm_andnot_si128(lanes[j], old), _mm_and_si128(lanes[j], col)));
            }
        }
#endif
        for (; i < count; ++i)
            if (!own[i]) {
                p[i] = v[0];
                k[i] = 255;
            }
    }
};

// The pixels of a mixed block, their values passed in (not captured) so that
// they stay in registers across the stores.
template <typename P>
void two_colour_pixels(P* p, const uint8_t* c, int32_t i, int32_t end, uint32_t c1, uint32_t c2, const Channels& ch) {
    for (; i < end; ++i) {
        const uint32_t v = c[i];
        if (v >= 255) p[i] = static_cast<P>(c1);
        else if (v) p[i] = static_cast<P>(ch.blend(c1, c2, v));
    }
}

template <typename P>
void two_colour_rows(const Locked& t, const Channels& ch, int32_t x, int32_t y, const TFontPixel& g, uint32_t c1,
                     uint32_t c2) {
    const Repeated<P> full(c1);
    for_glyph_rows(t, x, y, g, sizeof(P), [&](uint8_t* d, const uint8_t* c, int32_t n) {
        P* p = reinterpret_cast<P*>(d);
        by_blocks(
            c, n,
            [&](int32_t i, int32_t count) {
                full.to(p + i, count);
                return true;
            },
            [&](int32_t i, int32_t end) { two_colour_pixels<P>(p, c, i, end, c1, c2, ch); });
    });
}

// x / 255 for 0 <= x <= 255 * 255, without a division.
inline uint32_t div255(uint32_t x) { return (x + 1 + (x >> 8)) >> 8; }

// The colour weight of the "over" rule, c * 255 / new mask, tabulated by
// (new mask, coverage). It is off the chain that carries the mask from one
// step to the next, so its table lookups overlap.
struct OverTable {
    uint8_t weight[256][256];
    OverTable() {
        for (uint32_t m = 0; m < 256; ++m)
            for (uint32_t c = 0; c < 256; ++c) {
                const uint32_t w = m ? c * 255u / m : 255u;
                weight[m][c] = static_cast<uint8_t>(w > 255 ? 255 : w);
            }
    }
};

const OverTable& over_table() {
    static const OverTable table;
    return table;
}

// The "over" rule for one pixel: the mask grows by the coverage and the
// colour moves toward colour by the share the new coverage has of it.
// Full coverage sets both outright.
template <typename P>
inline void over_pixel(P& pixel, uint8_t& mask, uint32_t c, uint32_t colour, const Channels& ch,
                       const OverTable& t) {
    const uint32_t grown = mask + div255((255u - mask) * c);
    mask = static_cast<uint8_t>(grown);
    pixel = c >= 255 ? static_cast<P>(colour) : static_cast<P>(ch.blend(colour, pixel, t.weight[grown][c]));
}

// Coverage c painted by the "over" rule on pixels i up to end, leaving
// those that own (when given) covers.
template <typename P>
void over_pixels(P* p, uint8_t* k, const uint8_t* c, const uint8_t* own, int32_t i, int32_t end, uint32_t colour,
                 const Channels& ch, const OverTable& tables) {
    for (; i < end; ++i) {
        const uint8_t v = c[i];
        if (!v || (own && own[i])) continue;
        if (v == 255) {
            p[i] = static_cast<P>(colour);
            k[i] = 255;
        } else {
            over_pixel<P>(p[i], k[i], v, colour, ch, tables);
        }
    }
}

template <typename P>
void over_rows(const Locked& t, const Locked& m, const Channels& ch, int32_t x, int32_t y, const TFontPixel& g,
               uint32_t colour) {
    int32_t sx = 0, sy = 0, w = g.GetWidth(), h = g.GetHeight();
    const int32_t tw = std::min(t.width, m.width), th = std::min(t.height, m.height);
    if (!t.base || !m.base || !ClipGlyphRect(tw, th, x, y, sx, sy, w, h)) return;
    const OverTable& tables = over_table();
    for (int32_t j = 0; j < h; ++j) {
        P* p = reinterpret_cast<P*>(t.row(y + j)) + x;
        uint8_t* k = m.row(y + j) + x;
        const uint8_t* c = g.Pixels() + static_cast<ptrdiff_t>(sy + j) * g.GetWidth() + sx;
        for (int32_t i = 0; i < w; ++i)
            if (c[i]) over_pixel<P>(p[i], k[i], c[i], colour, ch, tables);
    }
}

// Stamping through the glyph's plan: each pixel of the square starts from
// the colour when fully covered, else from what it was, and takes the
// partial coverages that follow. Pixels outside the target are skipped one
// by one.
// The offsets of a border square that reach glyph pixel (gx, gy), walked
// backwards: partial coverages go to push (latest first) until a full one,
// which sets the pixel outright and ends the walk (the result is true).
template <typename Push>
inline bool offsets_backwards(const uint8_t* cov, int32_t gw, int32_t gh, int32_t gx, int32_t gy, int32_t b,
                              Push push) {
    const int32_t dy0 = std::max(-b, gy - gh + 1), dy1 = std::min(b, gy);
    const int32_t dx0 = std::max(-b, gx - gw + 1), dx1 = std::min(b, gx);
    for (int32_t dy = dy1; dy >= dy0; --dy) {
        const uint8_t* crow = cov + static_cast<ptrdiff_t>(gy - dy) * gw + gx;
        for (int32_t dx = dx1; dx >= dx0; --dx) {
            const uint8_t c = crow[-dx];
            if (!c || (dx == 0 && dy == 0)) continue;
            if (c == 255) return true;
            push(c);
        }
    }
    return false;
}

inline bool glyph_covers(const uint8_t* cov, int32_t gw, int32_t gh, int32_t gx, int32_t gy) {
    return gx >= 0 && gy >= 0 && gx < gw && gy < gh && cov[static_cast<ptrdiff_t>(gy) * gw + gx];
}

// Stamping without a plan: per target pixel the offsets are walked
// backwards to the last full coverage (which sets the pixel outright), and
// the partial ones after it are applied in their order.
template <typename P>
void stamp_direct(const Locked& t, const Locked& m, const Channels& ch, int32_t x, int32_t y, const TFontPixel& g,
                  uint32_t colour, int32_t b, bool outside_only) {
    if (!t.base || !m.base) return;
    const int32_t gw = g.GetWidth(), gh = g.GetHeight();
    const int32_t tw = std::min(t.width, m.width), th = std::min(t.height, m.height);
    const int32_t x0 = std::max(0, x - b), x1 = std::min(tw, x + gw + b);
    const int32_t y0 = std::max(0, y - b), y1 = std::min(th, y + gh + b);
    const uint8_t* cov = g.Pixels();
    const OverTable& tables = over_table();
    const size_t side = 2 * static_cast<size_t>(b) + 1;
    uint8_t small[81];
    std::vector<uint8_t> large(side * side > sizeof(small) ? side * side : 0);
    uint8_t* pending = large.empty() ? small : large.data();
    for (int32_t py = y0; py < y1; ++py) {
        P* prow = reinterpret_cast<P*>(t.row(py));
        uint8_t* krow = m.row(py);
        const int32_t gy = py - y;  // glyph row at offset 0
        for (int32_t px = x0; px < x1; ++px) {
            const int32_t gx = px - x;
            if (outside_only && glyph_covers(cov, gw, gh, gx, gy)) continue;
            int32_t n = 0;
            const bool full = offsets_backwards(cov, gw, gh, gx, gy, b, [&](uint8_t c) { pending[n++] = c; });
            if (!full && n == 0) continue;
            P pixel = full ? static_cast<P>(colour) : prow[px];
            uint8_t mask = full ? 255 : krow[px];
            while (n > 0) over_pixel<P>(pixel, mask, pending[--n], colour, ch, tables);
            prow[px] = pixel;
            krow[px] = mask;
        }
    }
}

// d[i] = max(a[i], b[i]) for i < n. d may be a when b lies ahead of it:
// each step reads before it writes, and writes nothing it reads later.
inline void max_into(uint8_t* d, const uint8_t* a, const uint8_t* b, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_max_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i))));
#endif
    for (; i < n; ++i) d[i] = std::max(a[i], b[i]);
}

// Glyph coverage dilated by b over a region of the target: dilated holds,
// per pixel of the region, the largest coverage of any placed glyph within
// b across and down; plane holds the glyphs' own coverage over the region
// grown by b on every side.
struct Dilation {
    TRect region;
    int32_t b = 0;
    int64_t plane_width = 0;
    std::vector<uint8_t> plane, dilated;
    // Working rows, kept from one strip to the next.
    std::vector<uint8_t> inked, prefix, suffix, scratch;
};

struct PlacedGlyph {
    const TFontPixel* glyph;
    int32_t x, y;  // where its body lies
};

// Across, sliding maxima by windows that double (every step the maximum of
// two whole rows, log2(2b + 1) of them), on the rows that hold glyphs only;
// down, maxima of blocks of 2b + 1 rows from their start and from their end
// (three whole-row steps per row whatever the width), so the time grows
// with the region's area and the glyphs' rows, never with the square of b.
void dilate(const std::vector<PlacedGlyph>& glyphs, int32_t b, const TRect& region, Dilation& d) {
    d.region = region;
    d.b = b;
    const int64_t rw = region.Width(), rh = region.Height();
    const int64_t pw = rw + 2 * int64_t{b}, ph = rh + 2 * int64_t{b};
    const int64_t px = int64_t{region.Left} - b, py = int64_t{region.Top} - b;
    d.plane_width = pw;
    d.plane.assign(static_cast<size_t>(pw * ph), 0);
    std::vector<uint8_t>& inked = d.inked;
    inked.assign(static_cast<size_t>(ph), 0);
    for (const PlacedGlyph& p : glyphs) {
        const TFontPixel& g = *p.glyph;
        const int64_t gx0 = std::max<int64_t>(0, px - p.x), gx1 = std::min<int64_t>(g.GetWidth(), px + pw - p.x);
        const int64_t gy0 = std::max<int64_t>(0, py - p.y), gy1 = std::min<int64_t>(g.GetHeight(), py + ph - p.y);
        // A glyph of the line off the target may lie beyond every pixel it could reach.
        if (gx0 >= gx1) continue;
        for (int64_t gy = gy0; gy < gy1; ++gy) {
            const uint8_t* src = g.Pixels() + gy * g.GetWidth();
            uint8_t* dst = d.plane.data() + (p.y + gy - py) * pw + (p.x - px);
            max_into(dst + gx0, dst + gx0, src + gx0, static_cast<size_t>(gx1 - gx0));
            inked[static_cast<size_t>(p.y + gy - py)] = 1;
        }
    }
    const int64_t span = 2 * int64_t{b} + 1;
    int64_t k = 1;
    while (2 * k <= span) k *= 2;
    std::vector<uint8_t>& prefix = d.prefix;
    std::vector<uint8_t>& scratch = d.scratch;
    prefix.assign(static_cast<size_t>(ph * rw), 0);
    scratch.resize(static_cast<size_t>(pw));
    for (int64_t y = 0; y < ph; ++y) {
        if (!inked[static_cast<size_t>(y)]) continue;
        const uint8_t* in = d.plane.data() + y * pw;
        std::copy(in, in + pw, scratch.begin());
        for (int64_t s = 1; s < k; s *= 2)
            max_into(scratch.data(), scratch.data(), scratch.data() + s, static_cast<size_t>(pw - 2 * s + 1));
        max_into(prefix.data() + y * rw, scratch.data(), scratch.data() + (span - k), static_cast<size_t>(rw));
    }
    auto row = [rw](std::vector<uint8_t>& v, int64_t y) { return v.data() + y * rw; };
    std::vector<uint8_t>& suffix = d.suffix;
    suffix = prefix;
    for (int64_t y = ph - 2; y >= 0; --y)
        if ((y + 1) % span != 0) max_into(row(suffix, y), row(suffix, y), row(suffix, y + 1), static_cast<size_t>(rw));
    for (int64_t y = 1; y < ph; ++y)
        if (y % span != 0) max_into(row(prefix, y), row(prefix, y), row(prefix, y - 1), static_cast<size_t>(rw));
    d.dilated.resize(static_cast<size_t>(rw * rh));
    for (int64_t y = 0; y < rh; ++y)
        max_into(row(d.dilated, y), row(suffix, y), row(prefix, y + span - 1), static_cast<size_t>(rw));
}

// A region is dilated strip by strip across, each strip handed to paint
// before the next is worked out: a line as wide as a surface may be then
// needs working rows for one strip only, used over again. Every strip
// holds the same pixels the whole region would (each one looks at its
// square only), and painting strip after strip changes no result: a
// strip's pixels are its own, and a shadow's strip lies right of the
// border's strips painted before it.
// The rows are kept for the next stamp too (a page of huge glyphs stamps
// them one by one), unless they grew past kKeptDilationBytes.
constexpr int32_t kDilationStrip = 1024;
constexpr size_t kKeptDilationBytes = size_t{8} << 20;

Dilation& kept_dilation() {
    static thread_local Dilation kept;
    return kept;
}

template <typename Paint>
void dilate_by_strips(const std::vector<PlacedGlyph>& glyphs, int32_t b, const TRect& region, Paint paint) {
    Dilation& d = kept_dilation();
    for (int64_t left = region.Left; left < region.Right; left += kDilationStrip) {
        const int32_t right = static_cast<int32_t>(std::min<int64_t>(region.Right, left + kDilationStrip));
        dilate(glyphs, b, TRect{static_cast<int32_t>(left), region.Top, right, region.Bottom}, d);
        paint(d);
    }
    size_t bytes = 0;
    for (const auto* v : {&d.plane, &d.dilated, &d.inked, &d.prefix, &d.suffix, &d.scratch}) bytes += v->capacity();
    if (bytes > kKeptDilationBytes) d = Dilation{};
}

// The dilated coverage painted by the "over" rule at (dx, dy) from where it
// was worked out, on the part of the target it reaches; with outside_only,
// pixels the glyphs themselves cover are left (whoever paints them next).
template <typename P>
void paint_dilation(const Locked& t, const Locked& m, const Channels& ch, const Dilation& d, int32_t dx, int32_t dy,
                    uint32_t colour, bool outside_only) {
    if (!t.base || !m.base) return;
    const int32_t tw = std::min(t.width, m.width), th = std::min(t.height, m.height);
    const int32_t x0 = static_cast<int32_t>(std::max<int64_t>(0, int64_t{d.region.Left} + dx));
    const int32_t x1 = static_cast<int32_t>(std::min<int64_t>(tw, int64_t{d.region.Right} + dx));
    const int32_t y0 = static_cast<int32_t>(std::max<int64_t>(0, int64_t{d.region.Top} + dy));
    const int32_t y1 = static_cast<int32_t>(std::min<int64_t>(th, int64_t{d.region.Bottom} + dy));
    const OverTable& tables = over_table();
    if (x0 >= x1) return;
    const Repeated<P> full(colour);
    const int64_t rw = d.region.Width();
    for (int32_t py = y0; py < y1; ++py) {
        P* p = reinterpret_cast<P*>(t.row(py)) + x0;
        uint8_t* k = m.row(py) + x0;
        // Row py - dy of the region, from column x0 - dx.
        const int64_t ry = int64_t{py} - dy - d.region.Top, rx = int64_t{x0} - dx - d.region.Left;
        const uint8_t* cc = d.dilated.data() + ry * rw + rx;
        const uint8_t* oc = d.plane.data() + (ry + d.b) * d.plane_width + d.b + rx;
        by_blocks(
            cc, x1 - x0,
            [&](int32_t i, int32_t count) {
                const Block o = outside_only ? block_of(oc + i, count) : Block::empty;
                if (o == Block::empty) {
                    full.to(p + i, count);
                    std::memset(k + i, 255, static_cast<size_t>(count));
                } else if (o == Block::mixed) {
                    full.to_where_empty(p + i, k + i, oc + i, count);
                }
                return true;
            },
            [&](int32_t i, int32_t end) {
                over_pixels<P>(p, k, cc, outside_only ? oc : nullptr, i, end, colour, ch, tables);
            });
    }
}

// The square of a wide border around a body at (x, y), as a rectangle.
TRect border_square(const TFontPixel& g, int64_t x, int64_t y, int32_t b) {
    auto clamp = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
    return TRect{clamp(x - b), clamp(y - b), clamp(x + g.GetWidth() + b), clamp(y + g.GetHeight() + b)};
}

// A wide border of one glyph, worked out only over the part of its square
// that lies on the target.
template <typename P>
void stamp_dilated(const Locked& t, const Locked& m, const Channels& ch, int32_t x, int32_t y, const TFontPixel& g,
                   uint32_t colour, int32_t b, bool outside_only) {
    if (!t.base || !m.base) return;
    const TRect on = IntersectRects(border_square(g, x, y, b),
                                    TRect{0, 0, std::min(t.width, m.width), std::min(t.height, m.height)});
    if (RectIsEmpty(on)) return;
    dilate_by_strips({{&g, x, y}}, b, on,
                     [&](const Dilation& d) { paint_dilation<P>(t, m, ch, d, 0, 0, colour, outside_only); });
}

#if defined(__SSE2__)
// Pixels of one run of a border stamp on an 8-8-8 target, eight at a time
// in two sets of four lanes (their chains of steps interleave); the same
// arithmetic as over_pixel. The weight c * 255 / mask is a float division
// truncated: the true quotient lies at least 1/255 from the next integer,
// far beyond the float's rounding, so it is exact.
struct StampLanes {
    __m128i p, m;
};

inline void stamp_step(StampLanes& s, __m128i cv, __m128i col_rb, __m128i col_g) {
    const __m128i k255 = _mm_set1_epi32(255), one = _mm_set1_epi32(1);
    const __m128i rb_mask = _mm_set1_epi32(0xFF00FF), g_mask = _mm_set1_epi32(0xFF00);
    // grown = m + (255 - m) * c / 255 (products stay below 2^16)
    const __m128i prod = _mm_mullo_epi16(_mm_sub_epi32(k255, s.m), cv);
    s.m = _mm_add_epi32(s.m, _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(prod, one), _mm_srli_epi32(prod, 8)), 8));
    // w = c * 255 / grown, never above 255 since grown >= c
    const __m128 q = _mm_div_ps(_mm_cvtepi32_ps(_mm_mullo_epi16(cv, k255)), _mm_cvtepi32_ps(s.m));
    const __m128i w = _mm_cvttps_epi32(q);
    const __m128i v = _mm_sub_epi32(k255, w);
    // Both halves of each lane get the weight, for red and blue at once.
    const __m128i w2 = _mm_or_si128(w, _mm_slli_epi32(w, 16));
    const __m128i v2 = _mm_or_si128(v, _mm_slli_epi32(v, 16));
    const __m128i rb = _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(w2, col_rb), _mm_mullo_epi16(v2, _mm_and_si128(s.p, rb_mask))), 8);
    const __m128i g = _mm_and_si128(
        _mm_add_epi16(_mm_mullo_epi16(w, col_g), _mm_mullo_epi16(v, _mm_srli_epi32(_mm_and_si128(s.p, g_mask), 8))),
        g_mask);
    s.p = _mm_or_si128(rb, g);
}

template <int N>
inline void stamp_lanes(const Locked& t, const Locked& m, const TFontPixel::StampPixel* e, const uint8_t* c,
                        uint32_t count, bool full, int32_t ox, int32_t oy, int32_t tw, int32_t th, uint32_t colour) {
    uint32_t* dst[4 * N];
    uint8_t* msk[4 * N];
    alignas(16) uint32_t pv[4 * N], mv[4 * N];
    for (int j = 0; j < 4 * N; ++j) {
        const int32_t px = ox + e[j].x, py = oy + e[j].y;
        const bool in = px >= 0 && py >= 0 && px < tw && py < th;
        dst[j] = in ? reinterpret_cast<uint32_t*>(t.row(py)) + px : nullptr;
        msk[j] = in ? m.row(py) + px : nullptr;
        pv[j] = full || !in ? colour : *dst[j];
        mv[j] = full || !in ? 255 : *msk[j];
    }
    StampLanes s[N];
    for (int n = 0; n < N; ++n) {
        s[n].p = _mm_load_si128(reinterpret_cast<const __m128i*>(pv + 4 * n));
        s[n].m = _mm_load_si128(reinterpret_cast<const __m128i*>(mv + 4 * n));
    }
    const __m128i col = _mm_set1_epi32(static_cast<int>(colour));
    const __m128i col_rb = _mm_and_si128(col, _mm_set1_epi32(0xFF00FF));
    const __m128i col_g = _mm_srli_epi32(_mm_and_si128(col, _mm_set1_epi32(0xFF00)), 8);
    for (uint32_t i = 0; i < count; ++i)
        for (int n = 0; n < N; ++n) {
            const uint8_t* cc = c + static_cast<size_t>(4 * n) * count + i;
            stamp_step(s[n], _mm_set_epi32(cc[3 * count], cc[2 * count], cc[count], cc[0]), col_rb, col_g);
        }
    for (int n = 0; n < N; ++n) {
        _mm_store_si128(reinterpret_cast<__m128i*>(pv + 4 * n), s[n].p);
        _mm_store_si128(reinterpret_cast<__m128i*>(mv + 4 * n), s[n].m);
    }
    for (int j = 0; j < 4 * N; ++j)
        if (dst[j]) {
            *dst[j] = pv[j];
            *msk[j] = static_cast<uint8_t>(mv[j]);
        }
}
#endif

template <typename P>
void stamp_rows(const Locked& t, const Locked& m, const Channels& ch, int32_t x, int32_t y,
                const std::vector<TFontPixel::StampRun>& runs, const std::vector<TFontPixel::StampPixel>& pixels,
                const std::vector<uint8_t>& coverage, int32_t b, uint32_t colour) {
    if (!t.base || !m.base) return;
    const int32_t tw = std::min(t.width, m.width), th = std::min(t.height, m.height);
    const OverTable& tables = over_table();
    const int32_t ox = x - b, oy = y - b;
    const TFontPixel::StampPixel* e = pixels.data();
    const uint8_t* c = coverage.data();
    for (const TFontPixel::StampRun& run : runs) {
        const uint32_t count = run.count;
        uint32_t k = 0;
#if defined(__SSE2__)
        if constexpr (sizeof(P) == 4) {
            if (ch.bytes && count > 0) {
                for (; k + 8 <= run.pixels; k += 8, e += 8, c += 8 * count)
                    stamp_lanes<2>(t, m, e, c, count, run.full, ox, oy, tw, th, colour);
                for (; k + 4 <= run.pixels; k += 4, e += 4, c += 4 * count)
                    stamp_lanes<1>(t, m, e, c, count, run.full, ox, oy, tw, th, colour);
            }
        }
#endif
        for (; k < run.pixels; ++k, ++e, c += count) {
            const int32_t px = ox + e->x, py = oy + e->y;
            if (px < 0 || py < 0 || px >= tw || py >= th) continue;
            P& dst = reinterpret_cast<P*>(t.row(py))[px];
            uint8_t& msk = m.row(py)[px];
            P pixel;
            uint8_t mask;
            if (run.full) {
                pixel = static_cast<P>(colour);
                mask = 255;
            } else {
                pixel = dst;
                mask = msk;
            }
            for (uint32_t i = 0; i < count; ++i) over_pixel<P>(pixel, mask, c[i], colour, ch, tables);
            dst = pixel;
            msk = mask;
        }
    }
}

template <typename Fn>
void by_depth(TCustomDIBX& target, Fn fn) {
    switch (target.BitCount()) {
        case 15:
        case 16: fn(uint16_t{}); break;
        case 32: fn(uint32_t{}); break;
        default: break;  // other depths receive nothing
    }
}

// Whether a border of width b round g is stamped from the dilated coverage.
bool stamps_dilated(const TFontPixel& g, int32_t b) {
    return b > kExactStampBorder || !ExactStampAffordable(g.GetWidth(), g.GetHeight(), b);
}

void fill_colour_rect(TCustomDIBX& colour, const TRect& r, uint32_t value) {
    const TRect cr = IntersectRects(r, colour.BoundsRect());
    if (RectIsEmpty(cr)) return;
    by_depth(colour, [&](auto pixel_type) {
        using P = decltype(pixel_type);
        Locked t(colour);
        if (!t.base) return;
        for (int32_t y = cr.Top; y < cr.Bottom; ++y) {
            P* p = reinterpret_cast<P*>(t.row(y));
            std::fill(p + cr.Left, p + cr.Right, static_cast<P>(value));
        }
    });
}

void fill_mask_rect(TCustomDIBX& mask, const TRect& r, uint8_t value) {
    const TRect mr = IntersectRects(r, mask.BoundsRect());
    if (RectIsEmpty(mr) || !is_mask(mask)) return;
    Locked m(mask);
    if (!m.base) return;
    for (int32_t y = mr.Top; y < mr.Bottom; ++y) std::memset(m.row(y) + mr.Left, value, static_cast<size_t>(mr.Width()));
}

// A line band: the colour in the colour surface, opaque in the mask.
void fill_band(TCustomDIBX& colour, TCustomDIBX& mask, const TRect& band, uint32_t value, TRect& out) {
    if (RectIsEmpty(band)) return;
    out = UnionRects(out, band);
    fill_mask_rect(mask, band, 255);
    fill_colour_rect(colour, band, value);
}

}  // namespace

// ---- painting routines ----

bool ClipGlyphRect(int32_t targetWidth, int32_t targetHeight, int32_t& x, int32_t& y, int32_t& srcX, int32_t& srcY,
                   int32_t& width, int32_t& height) {
    if (x < 0) {
        srcX -= x;
        width += x;
        x = 0;
    }
    if (y < 0) {
        srcY -= y;
        height += y;
        y = 0;
    }
    if (x + width > targetWidth) width = targetWidth - x;
    if (y + height > targetHeight) height = targetHeight - y;
    return width > 0 && height > 0;
}

void PaintSolid(TCustomDIBX& target, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour) {
    if (g.IsEmpty()) return;
    by_depth(target, [&](auto pixel_type) {
        Locked t(target);
        solid_rows<decltype(pixel_type)>(t, x, y, g, colour);
    });
}

void PaintTwoColour(TCustomDIBX& target, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour1,
                    uint32_t colour2) {
    if (g.IsEmpty()) return;
    const Channels ch(target);
    by_depth(target, [&](auto pixel_type) {
        Locked t(target);
        two_colour_rows<decltype(pixel_type)>(t, ch, x, y, g, colour1, colour2);
    });
}

void PaintOver(TCustomDIBX& target, TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g, uint32_t colour) {
    if (g.IsEmpty() || !is_mask(mask)) return;
    const Channels ch(target);
    by_depth(target, [&](auto pixel_type) {
        Locked t(target);
        Locked m(mask);
        over_rows<decltype(pixel_type)>(t, m, ch, x, y, g, colour);
    });
}

void StampBorder(TCustomDIBX& target, TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g,
                 uint32_t colour, int32_t border) {
    stamp_border(target, mask, x, y, g, colour, border, false);
}

void stamp_border(TCustomDIBX& target, TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g,
                  uint32_t colour, int32_t border, bool outside_only) {
    if (g.IsEmpty() || border <= 0 || !is_mask(mask)) return;
    const Channels ch(target);
    by_depth(target, [&](auto pixel_type) {
        Locked t(target);
        Locked m(mask);
        if (stamps_dilated(g, border))
            stamp_dilated<decltype(pixel_type)>(t, m, ch, x, y, g, colour, border, outside_only);
        else if (const auto* plan = g.StampPlanFor(border, outside_only))
            stamp_rows<decltype(pixel_type)>(t, m, ch, x, y, plan->runs, plan->pixels, plan->coverage, border, colour);
        else
            stamp_direct<decltype(pixel_type)>(t, m, ch, x, y, g, colour, border, outside_only);
    });
}

void StampBorderRun(TCustomDIBX& colour, TCustomDIBX& mask, const std::vector<BorderRunGlyph>& glyphs,
                    int32_t border, int32_t shadow, uint32_t borderColour, uint32_t shadowColour) {
    const int32_t b = border, s = std::max(0, shadow);
    if (b <= 0 || !is_mask(mask)) return;
    // The shadow is the border's shape moved by s: one dilation serves both.
    std::vector<PlacedGlyph> placed;
    TRect reach{};
    for (const BorderRunGlyph& r : glyphs) {
        if (r.glyph->IsEmpty()) continue;
        const TPoint o = r.glyph->Origin(r.cell);
        placed.push_back({r.glyph, o.X + b, o.Y + b});
        const TRect sq = border_square(*r.glyph, o.X + b, o.Y + b, b);
        reach = RectIsEmpty(reach) ? sq : UnionRects(reach, sq);
    }
    const TRect on = IntersectRects(
        reach, TRect{-s, -s, std::min(colour.Width(), mask.Width()), std::min(colour.Height(), mask.Height())});
    if (placed.empty() || RectIsEmpty(on)) return;
    const Channels ch(colour);
    by_depth(colour, [&](auto pixel_type) {
        using P = decltype(pixel_type);
        Locked t(colour);
        Locked m(mask);
        dilate_by_strips(placed, b, on, [&](const Dilation& d) {
            if (s > 0) paint_dilation<P>(t, m, ch, d, s, s, shadowColour, false);
            paint_dilation<P>(t, m, ch, d, 0, 0, borderColour, true);
        });
    });
}

void MaskFromCoverage(TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g) {
    if (g.IsEmpty() || !is_mask(mask)) return;
    Locked m(mask);
    for_glyph_rows(m, x, y, g, 1, [](uint8_t* d, const uint8_t* c, int32_t n) {
        int32_t i = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(-1);
        for (; i + 16 <= n; i += 16) {
            const __m128i empty = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i)), zero);
            const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_or_si128(old, _mm_andnot_si128(empty, ones)));
        }
#endif
        for (; i < n; ++i)
            if (c[i]) d[i] = 255;
    });
}

void MaskMaxCoverage(TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g) {
    if (g.IsEmpty() || !is_mask(mask)) return;
    Locked m(mask);
    for_glyph_rows(m, x, y, g, 1, [](uint8_t* d, const uint8_t* c, int32_t n) {
        for (int32_t i = 0; i < n; ++i)
            if (c[i] > d[i]) d[i] = c[i];
    });
}

void MaskCopyCoverage(TCustomDIBX& mask, int32_t x, int32_t y, const TFontPixel& g) {
    if (g.IsEmpty() || !is_mask(mask)) return;
    Locked m(mask);
    for_glyph_rows(m, x, y, g, 1, [](uint8_t* d, const uint8_t* c, int32_t n) { std::memcpy(d, c, static_cast<size_t>(n)); });
}

// ---- TFontPixel ----

void TFontPixel::SetSize(int32_t width, int32_t height) {
    FWidth = width;
    FHeight = height;
    FPixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    FStamp[0] = StampPlan{};
    FStamp[1] = StampPlan{};
    FStampAsked[0] = FStampAsked[1] = -1;
}

// Painting the glyph at each offset in turn (rows of offsets top to bottom,
// each left to right) gives every pixel of the square the "over" rule once
// per offset in that order. Full coverage sets the pixel outright, so only
// the offsets after the last full one matter: they are gathered walking
// the offsets backwards and stored in the order they apply.
const TFontPixel::StampPlan* TFontPixel::StampPlanFor(int32_t b, bool outside_only) const {
    StampPlan& plan = FStamp[outside_only ? 1 : 0];
    if (plan.border == b) return &plan;
    int32_t& asked = FStampAsked[outside_only ? 1 : 0];
    if (asked != b) {
        asked = b;
        return nullptr;
    }
    plan = StampPlan{};
    plan.border = b;
    struct Found {
        StampPixel at;
        uint32_t first, count;
        bool full;
    };
    std::vector<Found> found;
    std::vector<uint8_t> pending;
    const int32_t gw = FWidth, gh = FHeight;
    const uint8_t* cov = FPixels.data();
    for (int32_t gy = -b; gy < gh + b; ++gy) {
        for (int32_t gx = -b; gx < gw + b; ++gx) {
            if (outside_only && glyph_covers(cov, gw, gh, gx, gy)) continue;
            const size_t start = pending.size();
            const bool full = offsets_backwards(cov, gw, gh, gx, gy, b, [&](uint8_t c) { pending.push_back(c); });
            if (!full && pending.size() == start) continue;
            std::reverse(pending.begin() + static_cast<ptrdiff_t>(start), pending.end());
            found.push_back({{static_cast<uint16_t>(gx + b), static_cast<uint16_t>(gy + b)},
                             static_cast<uint32_t>(start), static_cast<uint32_t>(pending.size() - start), full});
        }
    }
    // Pixels are independent of each other: grouped by the number of
    // partial coverages, the per-pixel loop runs a predictable course.
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& z) {
        return a.count != z.count ? a.count < z.count : a.full > z.full;
    });
    plan.pixels.reserve(found.size());
    plan.coverage.reserve(pending.size());
    for (const Found& f : found) {
        if (plan.runs.empty() || plan.runs.back().count != f.count || plan.runs.back().full != f.full)
            plan.runs.push_back({0, f.count, f.full});
        ++plan.runs.back().pixels;
        plan.pixels.push_back(f.at);
        plan.coverage.insert(plan.coverage.end(), pending.begin() + f.first, pending.begin() + f.first + f.count);
    }
    return &plan;
}

TPoint TFontPixel::Origin(const TRect& cell) const {
    // Centre narrow glyphs in a wider cell by the character's ink balance.
    int32_t offset = 0;
    const int32_t room = std::min(cell.Width(), Size) - FWidth;
    if (Left + ExtraAdvance < room) {
        const int32_t total = AbcA + AbcB + AbcC;
        if (AbcA + AbcC == 0 || total == 0)
            offset = room / 2;
        else
            offset = static_cast<int32_t>(std::nearbyint(static_cast<double>(AbcA + AbcB / 2) * room / total));
        offset = std::max(0, offset - Left);
    }
    return MakePoint(cell.Left + Left + offset, cell.Top + Top);
}

void TFontPixel::DrawTo(TCustomDIBX& colour, TCustomDIBX& mask, const TRect& cell, int32_t border, int32_t shadow,
                        bool shadowRunStart, bool runEnd, uint32_t fill, uint32_t borderColour, uint32_t shadowColour,
                        TRect& out, bool copyMode, bool bordersStamped) const {
    if (IsEmpty()) {
        out = TRect{};
        return;
    }
    // Negative widths would turn the bands inside out; they mean none.
    const int32_t b = std::max(0, border), s = std::max(0, shadow);
    const int32_t cellW = cell.Width();
    const TPoint origin = Origin(cell);
    const int32_t x = origin.X, y = origin.Y;
    out = Bounds(x, y, FWidth + 2 * b + s, FHeight + 2 * b + s);

    if (b == 0 && s == 0) {
        if (copyMode) {
            fill_colour_rect(colour, Bounds(x, y, FWidth, FHeight), fill);
            MaskCopyCoverage(mask, x, y, *this);
        } else {
            PaintSolid(colour, x, y, *this, fill);
            MaskMaxCoverage(mask, x, y, *this);
        }
        // The lines are painted in the text colour as well as made opaque, so
        // a caller compositing the colour surface sees them too.
        if (UnderlineThickness > 0)
            fill_band(colour, mask, Bounds(cell.Left, cell.Bottom - UnderlineThickness, cellW, UnderlineThickness),
                      fill, out);
        if (StrikeOutThickness > 0)
            fill_band(colour, mask, Bounds(cell.Left, cell.Top + StrikeOutTop, cellW, StrikeOutThickness), fill, out);
        return;
    }

    if (copyMode) fill_mask_rect(mask, Bounds(cell.Left + Left, cell.Top + Top, out.Width(), out.Height()), 0);

    // A dilated shadow is the border's shape moved: with no line drawn in
    // between, one dilation serves both, as for a row's run.
    bool stamped = bordersStamped;
    if (s > 0 && b > 0 && !stamped && UnderlineThickness <= 0 && StrikeOutThickness <= 0 &&
        stamps_dilated(*this, b)) {
        StampBorderRun(colour, mask, {{this, cell}}, b, s, borderColour, shadowColour);
        stamped = true;
    }

    if (s > 0) {
        const int32_t start = cell.Left + (shadowRunStart ? s : 0);
        if (UnderlineThickness > 0) {
            const int32_t top = cell.Bottom - 2 * b - UnderlineThickness;
            fill_band(colour, mask, TRect{start, top, cell.Right, top + UnderlineThickness + 2 * b}, shadowColour, out);
        }
        if (b == 0) {
            MaskCopyCoverage(mask, x + s, y + s, *this);
            PaintSolid(colour, x + s, y + s, *this, shadowColour);
        } else if (!stamped) {
            StampBorder(colour, mask, x + b + s, y + b + s, *this, shadowColour, b);
        }
        if (StrikeOutThickness > 0) {
            const int32_t top = cell.Top + s + StrikeOutTop;
            fill_band(colour, mask, TRect{start, top, cell.Right, top + StrikeOutThickness + 2 * b}, shadowColour, out);
        }
    }

    const int32_t right = cell.Right - (runEnd ? s : 0);
    auto line = [&](int32_t top, int32_t thickness) {
        fill_band(colour, mask, TRect{cell.Left, top, right, top + thickness}, fill, out);
        if (b > 0) {
            fill_band(colour, mask, TRect{cell.Left, top - b, right, top}, borderColour, out);
            fill_band(colour, mask, TRect{cell.Left, top + thickness, right, top + thickness + b}, borderColour, out);
        }
    };
    if (UnderlineThickness > 0) line(cell.Bottom - s - b - UnderlineThickness, UnderlineThickness);
    if (b == 0) {
        PaintOver(colour, mask, x, y, *this, fill);
    } else {
        // Every pixel the glyph covers is painted afresh by the next two
        // steps (mask 255, colour from fill and border alone), so the stamp
        // skips them.
        if (!stamped) stamp_border(colour, mask, x + b, y + b, *this, borderColour, b, true);
        MaskFromCoverage(mask, x + b, y + b, *this);
        PaintTwoColour(colour, x + b, y + b, *this, fill, borderColour);
    }
    if (StrikeOutThickness > 0) line(cell.Top + b + StrikeOutTop, StrikeOutThickness);
}

// ---- TFontPixelManager ----

TFontPixelManager::TFontPixelManager() = default;

TFontPixelManager::~TFontPixelManager() {
    for (TFontPixel* g = FNewest; g;) {
        TFontPixel* next = g->FOlder;
        delete g;
        g = next;
    }
}

TFontPixelManager& FontPixelManager() {
    static TFontPixelManager manager;
    return manager;
}

TFontPixel* TFontPixelManager::FindGlyph(uint16_t code, const std::string& fontName, int32_t size, uint8_t style,
                                         int32_t quality) const {
    const auto& bucket = FBuckets[code & 0xFF];
    if (!bucket) return nullptr;
    for (TFontPixel* g : *bucket)
        if (g->Code == code && g->Size == size && g->Style == style && g->Quality == quality &&
            g->FontName == fontName)
            return g;
    return nullptr;
}

void TFontPixelManager::LinkFront(TFontPixel* g) {
    g->FNewer = nullptr;
    g->FOlder = FNewest;
    if (FNewest) FNewest->FNewer = g;
    FNewest = g;
    if (!FOldest) FOldest = g;
}

void TFontPixelManager::Unlink(TFontPixel* g) {
    if (g->FNewer) g->FNewer->FOlder = g->FOlder;
    else FNewest = g->FOlder;
    if (g->FOlder) g->FOlder->FNewer = g->FNewer;
    else FOldest = g->FNewer;
    g->FNewer = g->FOlder = nullptr;
}

void TFontPixelManager::Evict(TFontPixel* g) {
    auto& bucket = *FBuckets[g->Code & 0xFF];
    bucket.erase(std::find(bucket.begin(), bucket.end(), g));
    Unlink(g);
    --FCount;
    delete g;
}

std::vector<const TFontPixel*> TFontPixelManager::RecencyOrder() const {
    std::vector<const TFontPixel*> order;
    for (const TFontPixel* g = FNewest; g; g = g->FOlder) order.push_back(g);
    return order;
}

void TFontPixelManager::SelectFont(const std::string& fontName, int32_t size, uint8_t style) {
    if (FFontValid && fontName == FFontName && size == FFontSize && style == FFontStyle) return;
    FFontValid = false;
    LogFont lf = GetLogFontByName(fontName);
    if (lf.FaceName != fontName) lf = GetLogFontByName(Sjis("ＭＳ ゴシック"));
    lf.Height = size;
    lf.Width = 0;
    lf.Weight = (style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.Italic = (style & fsItalic) ? 1 : 0;
    lf.Underline = (style & fsUnderline) ? 1 : 0;
    lf.StrikeOut = (style & fsStrikeOut) ? 1 : 0;
    try {
        FFont = std::make_unique<Font>(lf);
    } catch (const Exception&) {
        FFont.reset();
        throw Exception("Error:GetOutlineTextMetrics");
    }
    FFontName = fontName;
    FFontSize = size;
    FFontStyle = style;
    FFontValid = true;
}

int64_t TFontPixelManager::FetchGlyph(Font& font, uint16_t code, GlyphFormat format, GlyphMetrics& gm,
                                      std::vector<uint8_t>& bits, AbcWidths& abc) {
    return font.GetGlyphOutline(code, format, gm, &bits, &abc);
}

bool TFontPixelManager::Rasterise(TFontPixel& g) {
    GlyphMetrics gm;
    AbcWidths abc;
    int64_t n = FetchGlyph(*FFont, g.Code, format_of(FQuality), gm, FScratch, abc);
    if (n == GDI_ERROR) {
        // The format was refused: plain bitmaps from now on, until a caller
        // stores its quality again. The glyph's key says what it really is.
        FQuality = 0;
        g.Quality = 0;
        n = FetchGlyph(*FFont, g.Code, GlyphFormat::Bitmap, gm, FScratch, abc);
        if (n == GDI_ERROR) return false;
    }
    if (n == 0) {
        g.ExtraAdvance = FFont->TextExtentWidth(g.Code);
        return true;
    }
    const OutlineTextMetric& otm = FFont->Metrics();
    const int32_t ascent = otm.otmTextMetrics.tmAscent;
    const int32_t w = static_cast<int32_t>(gm.gmBlackBoxX), h = static_cast<int32_t>(gm.gmBlackBoxY);
    g.SetSize(w, h);
    g.Left = std::max(0, gm.gmptGlyphOrigin.x);
    g.Top = std::max(0, ascent - gm.gmptGlyphOrigin.y);
    g.ExtraAdvance = std::max(0, gm.gmCellIncX - (w + g.Left));
    g.UnderlineThickness = (g.Style & fsUnderline) ? otm.otmsUnderscoreSize : 0;
    g.StrikeOutTop = ascent - otm.otmsStrikeoutPosition;
    g.StrikeOutThickness = (g.Style & fsStrikeOut) ? static_cast<int32_t>(otm.otmsStrikeoutSize) : 0;
    g.AbcA = abc.abcA;
    g.AbcB = static_cast<int32_t>(abc.abcB);
    g.AbcC = abc.abcC;
    uint8_t* dst = g.FPixels.data();
    const uint8_t* src = FScratch.data();
    if (g.Quality == 0) {
        const size_t stride = ((static_cast<size_t>(w) + 31) / 32) * 4;
        for (int32_t y = 0; y < h; ++y, dst += w, src += stride)
            for (int32_t x = 0; x < w; ++x) dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    } else {
        const uint8_t* table = g.Quality == 1 ? kLevels4 : (g.Quality == 2 ? kLevels16 : kLevels64);
        const int top = g.Quality == 1 ? 4 : (g.Quality == 2 ? 16 : 64);
        const size_t stride = (static_cast<size_t>(w) + 3) & ~size_t{3};
        for (int32_t y = 0; y < h; ++y, dst += w, src += stride)
            for (int32_t x = 0; x < w; ++x) dst[x] = table[std::min<int>(src[x], top)];
    }
    return true;
}

TFontPixel* TFontPixelManager::RenderGlyph(uint16_t code, const std::string& fontName, int32_t size, uint8_t style) {
    if (TFontPixel* hit = FindGlyph(code, fontName, size, style, FQuality)) {
        if (hit != FNewest) {
            Unlink(hit);
            LinkFront(hit);
        }
        return hit;
    }
    auto g = std::make_unique<TFontPixel>();
    g->Code = code;
    g->FontName = fontName;
    g->Size = size;
    g->Style = style;
    g->Quality = FQuality;
    // A glyph that failed is never cached: it would stay blank for good.
    SelectFont(fontName, size, style);
    if (!Rasterise(*g)) {
        FFailed = TFontPixel{};
        FFailed.Code = code;
        FFailed.FontName = fontName;
        FFailed.Size = size;
        FFailed.Style = style;
        FFailed.Quality = g->Quality;
        return &FFailed;
    }
    auto& bucket = FBuckets[code & 0xFF];
    if (!bucket) bucket = std::make_unique<std::vector<TFontPixel*>>();
    TFontPixel* raw = g.release();
    bucket->push_back(raw);
    LinkFront(raw);
    ++FCount;
    if (FCount > kCapacity) Evict(FOldest);
    return raw;
}
