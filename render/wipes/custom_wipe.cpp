#include "render/wipes/custom_wipe.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/dibx.h"
#include "render/dibx_draw.h"
#include "render/dibx_kernels.h"
#include "render/tesk_collection.h"

// ------------------------------------------------------------------ base

TCustomWipe::TCustomWipe(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture)
    : TargetSurface(target), OldSurface(old_picture), NewSurface(new_picture) {}

int32_t TCustomWipe::GetParam(int32_t index) const {
    return index == 0 || index == 1 ? Parameters[index] : 0;
}

void TCustomWipe::SetParam(int32_t index, int32_t value) {
    if (index == 0 || index == 1) Parameters[index] = value;
}

bool TCustomWipe::Step() {
    BeginStep();
    return false;
}

int32_t TCustomWipe::Width() const { return TargetSurface ? TargetSurface->Width() : 0; }
int32_t TCustomWipe::Height() const { return TargetSurface ? TargetSurface->Height() : 0; }

bool TCustomWipe::BeginStep() {
    ChangedRect = TRect{0, 0, Width(), Height()};
    if (Duration <= 0 || Position >= Duration) return true;
    // Without pictures there is nothing to draw: report the end.
    return !TargetSurface || !OldSurface || !NewSurface || TargetSurface->IsEmpty();
}

// ------------------------------------------------------------------ mask

TWipeMask::TWipeMask(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture)
    : TCustomWipe(target, old_picture, new_picture), Mask(std::make_unique<TDIBX>()) {}

TWipeMask::~TWipeMask() = default;

void TWipeMask::SetParam(int32_t index, int32_t value) {
    if (index == 0) value = std::max(value, 2);
    else if (index == 1) value = std::max(value, 1);
    TCustomWipe::SetParam(index, value);
}

int32_t TWipeMask::MaskHeight() const { return Height(); }

void TWipeMask::Prepare() {
    Mask->SetSize(std::max(Width(), 1), std::max(MaskHeight(), 1), 8);
    prepared_ = true;
    FillMask(0);
}

int32_t TWipeMask::MaskRows() const { return Mask->Height(); }
int32_t TWipeMask::MaskWidth() const { return Mask->Width(); }

uint8_t* TWipeMask::MaskRow(int32_t y) { return Mask->Surface().ScanLine(y); }

void TWipeMask::FillMask(uint8_t value) {
    for (int32_t y = 0; y < MaskRows(); ++y) std::memset(MaskRow(y), value, size_t(MaskWidth()));
}

void TWipeMask::FillMaskRect(TRect r, uint8_t value) {
    r = dibx::Intersect(r, TRect{0, 0, MaskWidth(), MaskRows()});
    for (int32_t y = r.Top; y < r.Bottom; ++y) std::memset(MaskRow(y) + r.Left, value, size_t(r.Right - r.Left));
}

bool TWipeMask::Step() {
    if (BeginStep()) return true;
    // A driver that skipped Prepare still gets a mask of the right size.
    if (!prepared_) Prepare();
    if (!UpdateMask()) return false;
    wipes::ComposeMask(*TargetSurface, *OldSurface, *NewSurface, *Mask);
    return false;
}

void TWipeOrderHMask::SetParam(int32_t index, int32_t value) {
    TCustomWipe::SetParam(index, std::max(value, 1));
}

// ------------------------------------------------------------------ compositor

namespace wipes {
namespace {

inline uint32_t Mix(uint32_t n, uint32_t o, uint32_t m, uint32_t field) {
    return (((n & field) * m + (o & field) * (255 - m)) >> 8) & field;
}

// 32 bpp: all four bytes follow the formula; four pixels per SSE2 step,
// whole groups of 0 or 255 copied.
void ComposeRow32(uint8_t* d8, const uint8_t* o8, const uint8_t* n8, const uint8_t* m, int32_t w) {
    int32_t x = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i ones = _mm_set1_epi32(-1);
    const __m128i c255 = _mm_set1_epi16(255);
    for (; x + 4 <= w; x += 4) {
        uint32_t mm;
        std::memcpy(&mm, m + x, 4);
        if (mm == 0) {
            std::memcpy(d8 + 4 * x, o8 + 4 * x, 16);
            continue;
        }
        if (mm == 0xFFFFFFFFu) {
            std::memcpy(d8 + 4 * x, n8 + 4 * x, 16);
            continue;
        }
        const __m128i vo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(o8 + 4 * x));
        const __m128i vn = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n8 + 4 * x));
        __m128i vm = _mm_cvtsi32_si128(int32_t(mm));
        vm = _mm_unpacklo_epi8(vm, vm);
        vm = _mm_unpacklo_epi16(vm, vm);  // each pixel's weight in its four bytes
        const __m128i mlo = _mm_unpacklo_epi8(vm, zero), mhi = _mm_unpackhi_epi8(vm, zero);
        const __m128i lo = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(vn, zero), mlo),
                          _mm_mullo_epi16(_mm_unpacklo_epi8(vo, zero), _mm_sub_epi16(c255, mlo))),
            8);
        const __m128i hi = _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(vn, zero), mhi),
                          _mm_mullo_epi16(_mm_unpackhi_epi8(vo, zero), _mm_sub_epi16(c255, mhi))),
            8);
        __m128i r = _mm_packus_epi16(lo, hi);
        // Weight 0 and equal pictures keep the old pixel, 255 takes the new.
        const __m128i keep_old = _mm_or_si128(_mm_cmpeq_epi32(vm, zero), _mm_cmpeq_epi32(vo, vn));
        const __m128i take_new = _mm_cmpeq_epi32(vm, ones);
        r = _mm_or_si128(_mm_and_si128(keep_old, vo), _mm_andnot_si128(keep_old, r));
        r = _mm_or_si128(_mm_and_si128(take_new, vn), _mm_andnot_si128(take_new, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d8 + 4 * x), r);
    }
    for (; x < w; ++x) {
        uint32_t o, n;
        std::memcpy(&o, o8 + 4 * x, 4);
        std::memcpy(&n, n8 + 4 * x, 4);
        const uint32_t k = m[x];
        uint32_t v = o;
        if (k == 255) v = n;
        else if (k != 0 && n != o)
            v = Mix(n, o, k, 0xFFu) | Mix(n, o, k, 0xFF00u) | Mix(n >> 16, o >> 16, k, 0xFFu) << 16 |
                Mix(n >> 24, o >> 24, k, 0xFFu) << 24;
        std::memcpy(d8 + 4 * x, &v, 4);
    }
}

// 15 and 16 bpp: each field of the 5- or 6-bit channels.
void ComposeRow16(uint8_t* d8, const uint8_t* o8, const uint8_t* n8, const uint8_t* m, int32_t w, uint32_t rm,
                  uint32_t gm, uint32_t bm) {
    for (int32_t x = 0; x < w;) {
        const uint32_t k = m[x];
        // Runs of 0 or 255 are plain copies.
        if (k == 0 || k == 255) {
            int32_t e = x + 1;
            while (e < w && m[e] == k) ++e;
            std::memcpy(d8 + 2 * x, (k ? n8 : o8) + 2 * x, size_t(e - x) * 2);
            x = e;
            continue;
        }
        uint16_t o, n;
        std::memcpy(&o, o8 + 2 * x, 2);
        std::memcpy(&n, n8 + 2 * x, 2);
        uint16_t v = o;
        if (n != o) v = uint16_t(Mix(n, o, k, rm) | Mix(n, o, k, gm) | Mix(n, o, k, bm));
        std::memcpy(d8 + 2 * x, &v, 2);
        ++x;
    }
}

void ComposeRowAny(int bits, uint8_t* d, const uint8_t* o, const uint8_t* n, const uint8_t* m, int32_t w,
                   const uint32_t* fields, int nfields) {
    const int bpp = dibx::BytesPerPixel(bits);
    for (int32_t x = 0; x < w; ++x) {
        const uint32_t k = m[x];
        const uint32_t po = dibx::load_pixel(o + x * bpp, bpp), pn = dibx::load_pixel(n + x * bpp, bpp);
        uint32_t v = po;
        if (k == 255) v = pn;
        else if (k != 0 && pn != po) {
            v = 0;
            for (int f = 0; f < nfields; ++f) {
                const uint32_t fm = fields[f];
                const int sh = __builtin_ctz(fm);
                v |= Mix(pn >> sh, po >> sh, k, fm >> sh) << sh;
            }
        }
        dibx::store_pixel(d + x * bpp, bpp, v);
    }
}

// The channel fields of a depth for the per-channel rules; 8 bpp (and any
// surface without masks) works on the raw byte.
int ChannelFields(const TCustomDIBX& s, uint32_t out[4]) {
    int n = 0;
    for (uint32_t f : {s.RedMask(), s.GreenMask(), s.BlueMask()})
        if (f) out[n++] = f;
    if (n == 0) out[n++] = dibx::StoredMask(s.BitCount());
    return n;
}

struct Rows {
    uint8_t* base = nullptr;
    int64_t pitch = 0;
    uint8_t* row(int32_t y) const { return base + pitch * y; }
};

}  // namespace

void ComposeMask(TCustomDIBX& target, TCustomDIBX& old_picture, TCustomDIBX& new_picture, TDIBX& mask) {
    const int bits = target.BitCount();
    const int32_t w = std::min({target.Width(), old_picture.Width(), new_picture.Width(), mask.Width()});
    const int32_t h = std::min({target.Height(), old_picture.Height(), new_picture.Height()});
    const int32_t mh = mask.Height();
    if (w <= 0 || h <= 0 || mh <= 0 || mask.BitCount() != 8) return;
    if (old_picture.BitCount() != bits || new_picture.BitCount() != bits || !dibx::RowDepth(bits)) return;
    dibx::LockGuard lt(target, 0, 0), lo(old_picture, 0, 0), ln(new_picture, 0, 0);
    if (!lt.get() || !lo.get() || !ln.get()) return;
    const Rows t{lt.get(), target.Pitch()}, o{lo.get(), old_picture.Pitch()}, n{ln.get(), new_picture.Pitch()};
    TDIBSurface& ms = mask.Surface();
    uint32_t fields[4];
    const int nfields = ChannelFields(target, fields);
    for (int32_t y = 0; y < h; ++y) {
        // The mask's own height decides the repetition, whatever a late
        // parameter change would make of MaskHeight.
        const uint8_t* m = ms.ScanLineReadOnly(y % mh);
        if (bits == 32) ComposeRow32(t.row(y), o.row(y), n.row(y), m, w);
        else if (bits == 15 || bits == 16)
            ComposeRow16(t.row(y), o.row(y), n.row(y), m, w, target.RedMask(), target.GreenMask(), target.BlueMask());
        else ComposeRowAny(bits, t.row(y), o.row(y), n.row(y), m, w, fields, nfields);
    }
}

// ------------------------------------------------------------------ grey and saturating rows

void GreyTable(const TCustomDIBX& s, uint32_t out[256]) {
    for (int l = 0; l < 256; ++l) out[l] = uint32_t(s.ColorToPixel(l | l << 8 | l << 16));
}

namespace {

inline uint32_t SatField(uint32_t a, uint32_t b, uint32_t field, bool sub) {
    const int64_t fa = a & field, fb = b & field;
    int64_t v = sub ? fa - fb : fa + fb;
    if (v < 0) v = 0;
    if (v > int64_t(field)) v = field;
    return uint32_t(v);
}

}  // namespace

void AddRow(const TCustomDIBX& s, uint8_t* dst, const uint8_t* src, const uint32_t* grey, int32_t n, bool sub) {
    const int bits = s.BitCount();
    if (bits == 32) {
        int32_t x = 0;
        for (; x + 4 <= n; x += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
            const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey + x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x), sub ? _mm_subs_epu8(a, g) : _mm_adds_epu8(a, g));
        }
        for (; x < n; ++x) {
            uint32_t a;
            std::memcpy(&a, src + 4 * x, 4);
            uint32_t v = 0;
            for (int b = 0; b < 32; b += 8) v |= SatField(a >> b, grey[x] >> b, 0xFFu, sub) << b;
            std::memcpy(dst + 4 * x, &v, 4);
        }
        return;
    }
    uint32_t fields[4];
    const int nfields = ChannelFields(s, fields);
    const int bpp = dibx::BytesPerPixel(bits);
    for (int32_t x = 0; x < n; ++x) {
        const uint32_t a = dibx::load_pixel(src + x * bpp, bpp);
        uint32_t v = 0;
        for (int f = 0; f < nfields; ++f) v |= SatField(a, grey[x], fields[f], sub);
        dibx::store_pixel(dst + x * bpp, bpp, v);
    }
}

void AddConstRow(const TCustomDIBX& s, uint8_t* dst, const uint8_t* src, uint32_t grey, int32_t n, bool sub) {
    if (s.BitCount() != 32) {
        // Other depths are not on the hot path of a screen this size.
        uint32_t greys[64];
        std::fill(std::begin(greys), std::end(greys), grey);
        for (int32_t x = 0; x < n; x += 64) {
            const int32_t k = std::min<int32_t>(64, n - x);
            const int bpp = dibx::BytesPerPixel(s.BitCount());
            AddRow(s, dst + size_t(x) * bpp, src + size_t(x) * bpp, greys, k, sub);
        }
        return;
    }
    const __m128i g = _mm_set1_epi32(int32_t(grey));
    int32_t x = 0;
    auto op = [&](__m128i a) { return sub ? _mm_subs_epu8(a, g) : _mm_adds_epu8(a, g); };
    for (; x + 16 <= n; x += 16) {
        const __m128i* sp = reinterpret_cast<const __m128i*>(src + 4 * x);
        __m128i* dp = reinterpret_cast<__m128i*>(dst + 4 * x);
        const __m128i a0 = _mm_loadu_si128(sp), a1 = _mm_loadu_si128(sp + 1), a2 = _mm_loadu_si128(sp + 2),
                      a3 = _mm_loadu_si128(sp + 3);
        _mm_storeu_si128(dp, op(a0));
        _mm_storeu_si128(dp + 1, op(a1));
        _mm_storeu_si128(dp + 2, op(a2));
        _mm_storeu_si128(dp + 3, op(a3));
    }
    for (; x + 4 <= n; x += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x),
                         op(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x))));
    if (x < n) {
        const uint32_t greys[4] = {grey, grey, grey, grey};
        AddRow(s, dst + 4 * x, src + 4 * x, greys, n - x, sub);
    }
}

// ------------------------------------------------------------------ mask pictures

namespace {

// 8-bit channel value of a field of a pixel (short fields widened by
// repeating their top bits).
inline uint32_t Channel8(uint32_t p, uint32_t field) {
    if (!field) return 0;
    const int sh = __builtin_ctz(field);
    const int bits = __builtin_popcount(field);
    uint32_t v = (p & field) >> sh;
    if (bits >= 8) return v >> (bits - 8);
    uint32_t out = 0;
    for (int have = 0; have < 8; have += bits) out = (out << bits) | v;
    const int total = ((8 + bits - 1) / bits) * bits;
    return out >> (total - 8);
}

}  // namespace

std::vector<uint8_t> GreyMaskLevels(const std::string& name, int32_t width, int32_t height, bool invert) {
    std::vector<uint8_t> grey(size_t(std::max(width, 0)) * size_t(std::max(height, 0)), 255);
    if (grey.empty() || name.empty() || !TeskCollection || !TeskCollection->Source()) return grey;
    if (!TeskCollection->Source()->FileExists(name)) return grey;
    int user = 0;
    TTeskItem* item = TeskCollection->Acquire(&user, name, false, false);
    if (item && !item->Frames.empty() && item->Frames[0]->Image && !item->Frames[0]->Image->IsEmpty()) {
        TCustomDIBX& img = *item->Frames[0]->Image;
        const int32_t iw = img.Width(), ih = img.Height();
        // The picture's own grey levels once, then tiled.
        std::vector<uint8_t> tile(size_t(iw) * size_t(ih));
        const uint32_t rm = img.RedMask(), gm = img.GreenMask(), bm = img.BlueMask();
        const bool masks = rm | gm | bm;
        for (int32_t y = 0; y < ih; ++y)
            for (int32_t x = 0; x < iw; ++x) {
                const uint32_t p = img.GetPixel(x, y);
                uint32_t sum = masks ? Channel8(p, rm) + Channel8(p, gm) + Channel8(p, bm) : 3 * (p & 0xFF);
                // The nearest of 256 greys to (r, g, b) is their mean, rounded.
                uint32_t g = (sum + 1) / 3;
                tile[size_t(y) * iw + x] = uint8_t(invert ? 255 - g : g);
            }
        for (int32_t y = 0; y < height; ++y) {
            const uint8_t* src = &tile[size_t(y % ih) * iw];
            uint8_t* d = &grey[size_t(y) * width];
            for (int32_t x = 0; x < width; x += iw) std::memcpy(d + x, src, size_t(std::min(iw, width - x)));
        }
    }
    if (item) item->Release(&user);
    return grey;
}

// ------------------------------------------------------------------ sector filler

namespace {

// The part of a horizontal line where a * px + b >= 0, cut into [lo, hi].
void HalfLine(double a, double b, double& lo, double& hi) {
    if (a == 0) {
        if (b < 0) lo = 1, hi = 0;
        return;
    }
    const double t = -b / a;
    if (a > 0) lo = std::max(lo, t);
    else hi = std::min(hi, t);
}

}  // namespace

void FillSector(TDIBX& mask, double cx, double cy, double r, double from, double sweep, uint8_t value) {
    if (!(sweep > 0) || !(r > 0) || mask.BitCount() != 8) return;
    const double two_pi = 2 * M_PI;
    const bool full = sweep >= two_pi;
    // A sweep over half a turn is the disc less the convex sector it leaves.
    const bool reflex = !full && sweep > M_PI;
    const double a1 = reflex ? from + sweep : from;
    const double a2 = reflex ? from + two_pi : from + sweep;
    const double u1x = std::cos(a1), u1y = std::sin(a1), u2x = std::cos(a2), u2y = std::sin(a2);
    const int32_t w = mask.Width(), h = mask.Height();
    TDIBSurface& ms = mask.Surface();
    const int32_t y0 = std::max<int32_t>(0, int32_t(std::floor(cy - r)));
    const int32_t y1 = std::min<int32_t>(h - 1, int32_t(std::ceil(cy + r)));
    auto span = [&](uint8_t* row, double lo, double hi) {
        if (lo > hi) return;
        const double fx0 = std::ceil(lo + cx - 0.5), fx1 = std::floor(hi + cx - 0.5);
        const int32_t x0 = int32_t(std::max(0.0, fx0));
        const int32_t x1 = int32_t(std::min(double(w - 1), fx1));
        if (x0 <= x1) std::memset(row + x0, value, size_t(x1 - x0 + 1));
    };
    for (int32_t y = y0; y <= y1; ++y) {
        const double py = y + 0.5 - cy;
        const double q = r * r - py * py;
        if (q < 0) continue;
        const double half = std::sqrt(q);
        uint8_t* row = ms.ScanLine(y);
        if (full) {
            span(row, -half, half);
            continue;
        }
        // The convex sector from a1 to a2: p at or clockwise of u1 and at
        // or anticlockwise of u2 (y grows downward).
        double lo = -half, hi = half;
        if (reflex) lo = -1e300, hi = 1e300;
        HalfLine(-u1y, u1x * py, lo, hi);
        HalfLine(u2y, -u2x * py, lo, hi);
        if (!reflex) {
            span(row, lo, hi);
            continue;
        }
        // Disc minus the open convex part (lo, hi).
        span(row, -half, std::min(half, lo));
        span(row, std::max(-half, hi), half);
    }
}

}  // namespace wipes
