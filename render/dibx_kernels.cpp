// Row kernels. Every depth has one per-pixel loop that states the arithmetic
// (channel by channel, in place: the formula ((d and M) * (255 - w) + (s and M)
// * w) shr 8 and M gives the same bits as the blend of the channel's value);
// 15/16 and 32 bpp add SSE2 loops for whole groups of pixels that give the
// same results and leave the remainder of a run to the per-pixel loop.
#include "render/dibx_kernels.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace dibx {
namespace {

// Channel layout of a depth: shift and maximum per channel. 32 bpp treats the
// fourth byte as a channel of its own, as the packed loops do.
template <int Bits> struct Fmt;
template <> struct Fmt<8> {
    static constexpr int bpp = 1, n = 1;
    static constexpr uint32_t sh[1] = {0}, mx[1] = {255};
};
template <> struct Fmt<15> {
    static constexpr int bpp = 2, n = 3;
    static constexpr uint32_t sh[3] = {10, 5, 0}, mx[3] = {31, 31, 31};
};
template <> struct Fmt<16> {
    static constexpr int bpp = 2, n = 3;
    static constexpr uint32_t sh[3] = {11, 5, 0}, mx[3] = {31, 63, 31};
};
template <> struct Fmt<24> {
    static constexpr int bpp = 3, n = 3;
    static constexpr uint32_t sh[3] = {16, 8, 0}, mx[3] = {255, 255, 255};
};
template <> struct Fmt<32> {
    static constexpr int bpp = 4, n = 4;
    static constexpr uint32_t sh[4] = {24, 16, 8, 0}, mx[4] = {255, 255, 255, 255};
};

template <int B> inline uint32_t ld(const uint8_t* p) {
    if constexpr (B == 1) {
        return *p;
    } else if constexpr (B == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (B == 3) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int B> inline void st(uint8_t* p, uint32_t v) {
    if constexpr (B == 1) {
        *p = uint8_t(v);
    } else if constexpr (B == 2) {
        uint16_t w = uint16_t(v);
        std::memcpy(p, &w, 2);
    } else if constexpr (B == 3) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
    } else {
        std::memcpy(p, &v, 4);
    }
}

template <class F> inline uint32_t combine(Kind k, uint32_t d, uint32_t s, uint32_t w) {
    uint32_t r = 0;
    for (int c = 0; c < F::n; ++c) {
        const uint32_t sh = F::sh[c], mx = F::mx[c];
        const uint32_t cd = (d >> sh) & mx, cs = (s >> sh) & mx;
        uint32_t v;
        switch (k) {
            case Kind::Blend: v = (cd * (255 - w) + cs * w) >> 8; break;
            case Kind::Add: v = std::min(cd + ((cs * w) >> 8), mx); break;
            case Kind::AddFull: v = std::min(cd + cs, mx); break;
            case Kind::Sub: v = cd > cs ? cd - cs : 0; break;
            default: v = cs; break;
        }
        r |= v << sh;
    }
    return r;
}

// The weight for mask value m (m > 0).
inline uint32_t weight_of(const RowOp& op, uint32_t m) {
    switch (op.weight) {
        case Weight::M: return m;
        case Weight::MA: return (m * op.a) >> 8;
        case Weight::MA255A: return m == 255 ? op.a : (m * op.a) >> 8;
        default: return op.a;
    }
}

template <int Bits>
void row_scalar(uint8_t* d, const uint8_t* s, const uint8_t* m, int n, const RowOp& op) {
    using F = Fmt<Bits>;
    constexpr int B = F::bpp;
    if (op.kind == Kind::Copy && !op.key_on && op.weight == Weight::Const) {
        if (!op.const_src) {
            std::memmove(d, s, size_t(n) * B);
        } else {
            for (int i = 0; i < n; ++i) st<B>(d + i * B, op.c);
        }
        return;
    }
    const bool masked = op.weight != Weight::Const;
    for (int i = 0; i < n; ++i) {
        const uint32_t sv = op.const_src ? op.c : ld<B>(s + i * B);
        if (op.key_on && sv == op.key) continue;
        uint32_t w = op.a;
        if (masked) {
            const uint32_t mv = m[i];
            if (mv == 0) continue;
            if (mv == 255 && op.copy255) {
                st<B>(d + i * B, sv);
                continue;
            }
            w = weight_of(op, mv);
        }
        const uint32_t dv = ld<B>(d + i * B);
        if (op.kind == Kind::Copy) {
            st<B>(d + i * B, sv);
        } else if (op.kind == Kind::RawAdd8) {
            st<B>(d + i * B, std::min<uint32_t>((dv & 0xFF) + (sv & 0xFF), 255));
        } else {
            if (op.kind == Kind::Blend && op.skip_eq && sv == dv) continue;
            st<B>(d + i * B, combine<F>(op.kind, dv, sv, w));
        }
    }
}

// Keyed copy of one 16-byte group (eq marks key pixels): groups wholly key
// or wholly drawn need no read of the destination.
inline void keyed_group(uint8_t* dp, __m128i sv, __m128i eq) {
    const int bits = _mm_movemask_epi8(eq);
    if (bits == 0xFFFF) return;
    if (bits != 0) {
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp));
        sv = _mm_or_si128(_mm_and_si128(eq, dv), _mm_andnot_si128(eq, sv));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), sv);
}

// ---- SSE2, 32 bpp: four pixels per step, bytes widened to 16-bit lanes ----

template <Kind K, Weight W, bool Key, bool Copy255, bool SkipEq, bool Const>
void row32(uint8_t* d8, const uint8_t* s8, const uint8_t* m, int n, const RowOp& op) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i av = _mm_set1_epi16(int16_t(op.a));
    const __m128i inv_av = _mm_set1_epi16(int16_t(255 - op.a));
    const __m128i keyv = _mm_set1_epi32(int32_t(op.key));
    const __m128i cv = _mm_set1_epi32(int32_t(op.c));
    const __m128i c255_16 = _mm_set1_epi16(255);
    const __m128i c255_32 = _mm_set1_epi32(255);
    const __m128i cw = _mm_mullo_epi16(_mm_unpacklo_epi8(cv, zero), av);
    int i = 0;
#pragma GCC unroll 2
    for (; i + 4 <= n; i += 4) {
        uint8_t* dp = d8 + i * 4;
        if constexpr (K == Kind::Copy && Key && W == Weight::Const && !Const) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s8 + i * 4));
            keyed_group(dp, sv, _mm_cmpeq_epi32(sv, keyv));
            continue;
        }
        int32_t mw = 0;
        if constexpr (W != Weight::Const) {
            // Soft-edged masks are mostly empty or full: those groups are cheap.
            std::memcpy(&mw, m + i, 4);
            if (mw == 0) continue;
            if (Copy255 && !Key && mw == -1) {
                if constexpr (!Const) std::memcpy(dp, s8 + i * 4, 16);
                continue;
            }
        }
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp));
        const __m128i sv = Const ? cv : _mm_loadu_si128(reinterpret_cast<const __m128i*>(s8 + i * 4));
        __m128i keep = zero;
        if constexpr (Key) keep = _mm_cmpeq_epi32(sv, keyv);
        __m128i wlo = av, whi = av, copy = zero;
        if constexpr (W != Weight::Const) {
            const __m128i m16 = _mm_unpacklo_epi8(_mm_cvtsi32_si128(mw), zero);
            const __m128i m32 = _mm_unpacklo_epi16(m16, zero);
            keep = _mm_or_si128(keep, _mm_cmpeq_epi32(m32, zero));
            if constexpr (Copy255) copy = _mm_cmpeq_epi32(m32, c255_32);
            __m128i e16;
            if constexpr (W == Weight::M) {
                e16 = m16;
            } else {
                const __m128i ma = _mm_srli_epi16(_mm_mullo_epi16(m16, av), 8);
                if constexpr (W == Weight::MA) {
                    e16 = ma;
                } else {
                    const __m128i full = _mm_cmpeq_epi16(m16, c255_16);
                    e16 = _mm_or_si128(_mm_and_si128(full, av), _mm_andnot_si128(full, ma));
                }
            }
            const __m128i e32 = _mm_unpacklo_epi16(e16, e16);
            wlo = _mm_unpacklo_epi32(e32, e32);
            whi = _mm_unpackhi_epi32(e32, e32);
        }
        __m128i res;
        if constexpr (K == Kind::Copy) {
            res = sv;
        } else if constexpr (K == Kind::AddFull) {
            res = _mm_adds_epu8(dv, sv);
        } else if constexpr (K == Kind::Sub) {
            res = _mm_subs_epu8(dv, sv);
        } else {
            const __m128i slo = _mm_unpacklo_epi8(sv, zero), shi = _mm_unpackhi_epi8(sv, zero);
            if constexpr (K == Kind::Blend) {
                const __m128i dlo = _mm_unpacklo_epi8(dv, zero), dhi = _mm_unpackhi_epi8(dv, zero);
                __m128i ilo = inv_av, ihi = inv_av;
                if constexpr (W != Weight::Const) {
                    ilo = _mm_sub_epi16(c255_16, wlo);
                    ihi = _mm_sub_epi16(c255_16, whi);
                }
                // A constant source weighs the same in every group.
                const __m128i swlo = Const && W == Weight::Const ? cw : _mm_mullo_epi16(slo, wlo);
                const __m128i swhi = Const && W == Weight::Const ? cw : _mm_mullo_epi16(shi, whi);
                const __m128i rlo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(dlo, ilo), swlo), 8);
                const __m128i rhi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(dhi, ihi), swhi), 8);
                res = _mm_packus_epi16(rlo, rhi);
            } else {  // Add
                const __m128i rlo = _mm_srli_epi16(_mm_mullo_epi16(slo, wlo), 8);
                const __m128i rhi = _mm_srli_epi16(_mm_mullo_epi16(shi, whi), 8);
                res = _mm_adds_epu8(dv, _mm_packus_epi16(rlo, rhi));
            }
        }
        if constexpr (Copy255) res = _mm_or_si128(_mm_and_si128(copy, sv), _mm_andnot_si128(copy, res));
        if constexpr (SkipEq && K == Kind::Blend) keep = _mm_or_si128(keep, _mm_cmpeq_epi32(sv, dv));
        res = _mm_or_si128(_mm_and_si128(keep, dv), _mm_andnot_si128(keep, res));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), res);
    }
    if (i < n) row_scalar<32>(d8 + i * 4, Const ? s8 : s8 + i * 4, m ? m + i : m, n - i, op);
}

// ---- SSE2, 15/16 bpp: eight pixels per step, channels split into lanes ----

template <int Bits, Kind K, Weight W, bool Key, bool Copy255, bool SkipEq, bool Const>
void row16(uint8_t* d8, const uint8_t* s8, const uint8_t* m, int n, const RowOp& op) {
    constexpr int RS = Bits == 16 ? 11 : 10;
    constexpr int GMAX = Bits == 16 ? 63 : 31;
    const __m128i zero = _mm_setzero_si128();
    const __m128i av = _mm_set1_epi16(int16_t(op.a));
    const __m128i keyv = _mm_set1_epi16(int16_t(op.key));
    const __m128i cv = _mm_set1_epi16(int16_t(op.c));
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i rmax = _mm_set1_epi16(31), gmax = _mm_set1_epi16(GMAX), bmax = _mm_set1_epi16(31);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        uint8_t* dp = d8 + i * 2;
        if constexpr (K == Kind::Copy && Key && W == Weight::Const && !Const) {
            const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s8 + i * 2));
            keyed_group(dp, sv, _mm_cmpeq_epi16(sv, keyv));
            continue;
        }
        if constexpr (W != Weight::Const) {
            int64_t mw;
            std::memcpy(&mw, m + i, 8);
            if (mw == 0) continue;
            if (Copy255 && !Key && mw == -1) {
                if constexpr (!Const) std::memcpy(dp, s8 + i * 2, 16);
                continue;
            }
        }
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp));
        const __m128i sv = Const ? cv : _mm_loadu_si128(reinterpret_cast<const __m128i*>(s8 + i * 2));
        __m128i keep = zero;
        if constexpr (Key) keep = _mm_cmpeq_epi16(sv, keyv);
        __m128i w = av, copy = zero;
        if constexpr (W != Weight::Const) {
            const __m128i m16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + i)), zero);
            keep = _mm_or_si128(keep, _mm_cmpeq_epi16(m16, zero));
            if constexpr (Copy255) copy = _mm_cmpeq_epi16(m16, c255);
            if constexpr (W == Weight::M) {
                w = m16;
            } else {
                const __m128i ma = _mm_srli_epi16(_mm_mullo_epi16(m16, av), 8);
                if constexpr (W == Weight::MA) {
                    w = ma;
                } else {
                    const __m128i full = _mm_cmpeq_epi16(m16, c255);
                    w = _mm_or_si128(_mm_and_si128(full, av), _mm_andnot_si128(full, ma));
                }
            }
        }
        __m128i res;
        if constexpr (K == Kind::Copy) {
            res = sv;
        } else {
            const __m128i dr = _mm_and_si128(_mm_srli_epi16(dv, RS), rmax);
            const __m128i dg = _mm_and_si128(_mm_srli_epi16(dv, 5), gmax);
            const __m128i db = _mm_and_si128(dv, bmax);
            const __m128i sr = _mm_and_si128(_mm_srli_epi16(sv, RS), rmax);
            const __m128i sg = _mm_and_si128(_mm_srli_epi16(sv, 5), gmax);
            const __m128i sb = _mm_and_si128(sv, bmax);
            __m128i r, g, b;
            if constexpr (K == Kind::Blend) {
                const __m128i iw = _mm_sub_epi16(c255, w);
                r = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(dr, iw), _mm_mullo_epi16(sr, w)), 8);
                g = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(dg, iw), _mm_mullo_epi16(sg, w)), 8);
                b = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(db, iw), _mm_mullo_epi16(sb, w)), 8);
            } else if constexpr (K == Kind::Add) {
                r = _mm_min_epi16(_mm_add_epi16(dr, _mm_srli_epi16(_mm_mullo_epi16(sr, w), 8)), rmax);
                g = _mm_min_epi16(_mm_add_epi16(dg, _mm_srli_epi16(_mm_mullo_epi16(sg, w), 8)), gmax);
                b = _mm_min_epi16(_mm_add_epi16(db, _mm_srli_epi16(_mm_mullo_epi16(sb, w), 8)), bmax);
            } else if constexpr (K == Kind::AddFull) {
                r = _mm_min_epi16(_mm_add_epi16(dr, sr), rmax);
                g = _mm_min_epi16(_mm_add_epi16(dg, sg), gmax);
                b = _mm_min_epi16(_mm_add_epi16(db, sb), bmax);
            } else {  // Sub
                r = _mm_max_epi16(_mm_sub_epi16(dr, sr), zero);
                g = _mm_max_epi16(_mm_sub_epi16(dg, sg), zero);
                b = _mm_max_epi16(_mm_sub_epi16(db, sb), zero);
            }
            res = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, RS), _mm_slli_epi16(g, 5)), b);
        }
        if constexpr (Copy255) res = _mm_or_si128(_mm_and_si128(copy, sv), _mm_andnot_si128(copy, res));
        if constexpr (SkipEq && K == Kind::Blend) keep = _mm_or_si128(keep, _mm_cmpeq_epi16(sv, dv));
        res = _mm_or_si128(_mm_and_si128(keep, dv), _mm_andnot_si128(keep, res));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dp), res);
    }
    if (i < n) row_scalar<Bits>(d8 + i * 2, Const ? s8 : s8 + i * 2, m ? m + i : m, n - i, op);
}

using RowFn = void (*)(uint8_t*, const uint8_t*, const uint8_t*, int, const RowOp&);

// Picks the packed loop for the flags of op; nullptr when none is made.
template <int Bits, Kind K, Weight W>
RowFn packed_for_flags(const RowOp& op) {
    // Only the combinations the drawing operations produce are made.
    const int idx = (op.key_on ? 1 : 0) | (op.copy255 ? 2 : 0) | (op.skip_eq ? 4 : 0) | (op.const_src ? 8 : 0);
#define VORQ_PACKED(KEY, C255, SKIP, CONST)                                             \
    if (idx == ((KEY ? 1 : 0) | (C255 ? 2 : 0) | (SKIP ? 4 : 0) | (CONST ? 8 : 0))) {    \
        if constexpr (Bits == 32) return &row32<K, W, KEY, C255, SKIP, CONST>;         \
        else return &row16<Bits, K, W, KEY, C255, SKIP, CONST>;                        \
    }
    if constexpr (W == Weight::Const) {
        VORQ_PACKED(false, false, false, false)
        VORQ_PACKED(true, false, false, false)
        VORQ_PACKED(false, false, true, false)
        VORQ_PACKED(true, false, true, false)
        VORQ_PACKED(false, false, false, true)
        VORQ_PACKED(false, false, true, true)
    } else {
        VORQ_PACKED(false, false, false, false)
        VORQ_PACKED(false, false, true, false)
        VORQ_PACKED(false, true, false, false)
        VORQ_PACKED(false, true, true, false)
        VORQ_PACKED(false, false, false, true)
        VORQ_PACKED(false, false, true, true)
    }
#undef VORQ_PACKED
    return nullptr;
}

template <int Bits, Kind K>
RowFn packed_for_weight(const RowOp& op) {
    switch (op.weight) {
        case Weight::Const: return packed_for_flags<Bits, K, Weight::Const>(op);
        case Weight::M: return packed_for_flags<Bits, K, Weight::M>(op);
        case Weight::MA: return packed_for_flags<Bits, K, Weight::MA>(op);
        case Weight::MA255A: return packed_for_flags<Bits, K, Weight::MA255A>(op);
    }
    return nullptr;
}

template <int Bits>
RowFn packed_for(const RowOp& op) {
    switch (op.kind) {
        case Kind::Copy:
            // Plain copies and fills are faster in the per-pixel loop's memmove / store.
            if (!op.key_on || op.weight != Weight::Const) return nullptr;
            return packed_for_flags<Bits, Kind::Copy, Weight::Const>(op);
        case Kind::Blend: return packed_for_weight<Bits, Kind::Blend>(op);
        case Kind::Add: return packed_for_weight<Bits, Kind::Add>(op);
        case Kind::AddFull:
            return op.weight == Weight::Const ? packed_for_flags<Bits, Kind::AddFull, Weight::Const>(op) : nullptr;
        case Kind::Sub:
            return op.weight == Weight::Const ? packed_for_flags<Bits, Kind::Sub, Weight::Const>(op) : nullptr;
        default: return nullptr;
    }
}

// Stores whole aligned 64-byte lines once the run is aligned.
void fill_vec(uint8_t* d, size_t bytes, __m128i cv, const uint8_t pattern[16]) {
    size_t head = (16 - (reinterpret_cast<uintptr_t>(d) & 15)) & 15;
    if (head > bytes) head = bytes;
    // The pattern repeats every pixel; callers pass pixel-aligned starts, so
    // the head holds whole pixels and the aligned stores keep the phase.
    std::memcpy(d, pattern, head);
    d += head;
    bytes -= head;
    size_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        _mm_store_si128(reinterpret_cast<__m128i*>(d + i), cv);
        _mm_store_si128(reinterpret_cast<__m128i*>(d + i + 16), cv);
        _mm_store_si128(reinterpret_cast<__m128i*>(d + i + 32), cv);
        _mm_store_si128(reinterpret_cast<__m128i*>(d + i + 48), cv);
    }
    for (; i + 16 <= bytes; i += 16) _mm_store_si128(reinterpret_cast<__m128i*>(d + i), cv);
    std::memcpy(d + i, pattern, bytes - i);
}

void fill32(uint8_t* d, int n, uint32_t v) {
    // Aligning moves the pattern's phase unless the start is 4-byte aligned.
    if (reinterpret_cast<uintptr_t>(d) & 3) {
        for (int i = 0; i < n; ++i) std::memcpy(d + i * 4, &v, 4);
        return;
    }
    const __m128i cv = _mm_set1_epi32(int32_t(v));
    alignas(16) uint8_t pattern[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(pattern), cv);
    fill_vec(d, size_t(n) * 4, cv, pattern);
}

void fill16(uint8_t* d, int n, uint32_t v) {
    const uint16_t w = uint16_t(v);
    if (reinterpret_cast<uintptr_t>(d) & 1) {
        for (int i = 0; i < n; ++i) std::memcpy(d + i * 2, &w, 2);
        return;
    }
    const __m128i cv = _mm_set1_epi16(int16_t(w));
    alignas(16) uint8_t pattern[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(pattern), cv);
    fill_vec(d, size_t(n) * 2, cv, pattern);
}

}  // namespace

namespace {

void fill8_row(uint8_t* d, const uint8_t*, const uint8_t*, int n, const RowOp& op) {
    std::memset(d, int(op.c & 0xFF), size_t(n));
}
void fill16_row(uint8_t* d, const uint8_t*, const uint8_t*, int n, const RowOp& op) { fill16(d, n, op.c); }
void fill32_row(uint8_t* d, const uint8_t*, const uint8_t*, int n, const RowOp& op) { fill32(d, n, op.c); }
void no_row(uint8_t*, const uint8_t*, const uint8_t*, int, const RowOp&) {}

// The loop run_row takes for the depth and op (op.c already cut).
RowFn row_loop(int bits, const RowOp& op) {
    const bool plain_fill = op.kind == Kind::Copy && op.const_src && !op.key_on && op.weight == Weight::Const;
    switch (bits) {
        case 8: return plain_fill ? &fill8_row : &row_scalar<8>;
        case 15: {
            if (plain_fill) return &fill16_row;
            const RowFn f = packed_for<15>(op);
            return f ? f : &row_scalar<15>;
        }
        case 16: {
            if (plain_fill) return &fill16_row;
            const RowFn f = packed_for<16>(op);
            return f ? f : &row_scalar<16>;
        }
        case 24: return &row_scalar<24>;
        case 32: {
            if (plain_fill) return &fill32_row;
            const RowFn f = packed_for<32>(op);
            return f ? f : &row_scalar<32>;
        }
        default: return &no_row;
    }
}

}  // namespace

RowKernel::RowKernel(int bits, const RowOp& op) : op_(op) {
    // A constant compares and stores at the stored width only.
    op_.c &= StoredMask(bits);
    fn_ = row_loop(bits, op_);
}

void run_row(int bits, uint8_t* d, const uint8_t* s, const uint8_t* m, int n, const RowOp& in) {
    if (n <= 0) return;
    RowKernel(bits, in)(d, s, m, n);
}

void reverse_pixels(uint8_t* dst, const uint8_t* src, int n, int bpp) {
    switch (bpp) {
        case 1:
            for (int i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
            break;
        case 2:
            for (int i = 0; i < n; ++i) std::memcpy(dst + 2 * i, src + 2 * (n - 1 - i), 2);
            break;
        case 4:
            for (int i = 0; i < n; ++i) std::memcpy(dst + 4 * i, src + 4 * (n - 1 - i), 4);
            break;
        default:
            for (int i = 0; i < n; ++i) std::memcpy(dst + i * bpp, src + (n - 1 - i) * bpp, size_t(bpp));
            break;
    }
}

uint32_t load_pixel(const uint8_t* p, int bpp) {
    switch (bpp) {
        case 1: return ld<1>(p);
        case 2: return ld<2>(p);
        case 3: return ld<3>(p);
        default: return ld<4>(p);
    }
}

void store_pixel(uint8_t* p, int bpp, uint32_t v) {
    switch (bpp) {
        case 1: return st<1>(p, v);
        case 2: return st<2>(p, v);
        case 3: return st<3>(p, v);
        default: return st<4>(p, v);
    }
}

}  // namespace dibx
