// Fills and blits: every operation clips, locks and hands rows to the row
// kernels.
#include <cstring>
#include <optional>

#include "render/custom_dibx.h"
#include "render/dibx_draw.h"

using dibx::Intersect;

namespace {

// Rows of a small rectangle are short and a pitch apart, which the
// hardware's stream detection does not follow: the destination lines of
// the row kAhead below are asked for while this one is drawn.
constexpr int kAhead = 2;
inline void prefetch_row(const uint8_t* p, size_t bytes) {
    for (size_t k = 0; k < bytes; k += 64) __builtin_prefetch(p + k, 1);
    __builtin_prefetch(p + bytes - 1, 1);
}

// The copy and the blends of a source rectangle (and/or an 8-bpp mask
// addressed with the same coordinates) at (x, y).
void Blit(TCustomDIBX& dst, int32_t x, int32_t y, TCustomDIBX* src, TRect s, bool flipH, bool flipV,
          TCustomDIBX* mask, const dibx::RowOp& op) {
    const int bits = dst.BitCount();
    if (!dibx::RowDepth(bits) || dst.IsEmpty()) return;
    TRect limit;
    if (!dibx::SourceLimit(dst, src, mask, limit)) return;
    int64_t dx = x, dy = y;
    if (!dibx::ClipSourceTo(limit, s, dx, dy, flipH, flipV)) return;
    if (!dibx::ClipBlit(dst.DrawClip(), dx, dy, s, flipH, flipV)) return;
    const int n = s.Width(), rows = s.Height();
    const int bpp = dibx::BytesPerPixel(bits);
    const int32_t firstRow = flipV ? s.Bottom - 1 : s.Top;

    dibx::LockGuard dl(dst, int32_t(dx), int32_t(dy));
    if (!dl.get()) return;
    const uint8_t* sb = nullptr;
    ptrdiff_t sp = 0;
    std::optional<dibx::LockGuard> sl, ml;
    if (src) {
        sl.emplace(*src, s.Left, firstRow);
        if (!sl->get()) return;
        sb = sl->get();
        sp = flipV ? -ptrdiff_t(src->Pitch()) : ptrdiff_t(src->Pitch());
    }
    const uint8_t* mb = nullptr;
    ptrdiff_t mp = 0;
    if (mask) {
        ml.emplace(*mask, s.Left, firstRow);
        if (!ml->get()) return;
        mb = ml->get();
        mp = flipV ? -ptrdiff_t(mask->Pitch()) : ptrdiff_t(mask->Pitch());
    }
    uint8_t* db = dl.get();
    const ptrdiff_t dp = dst.Pitch();
    const size_t rowBytes = size_t(n) * bpp;

    // A source that shares memory with the destination is read from a copy
    // taken before drawing, so the result does not depend on the order.
    if (sb) {
        auto span = [&](const uint8_t* b, ptrdiff_t p) {
            const uint8_t* lo = p < 0 ? b + p * (rows - 1) : b;
            const uint8_t* hi = (p < 0 ? b : b + p * (rows - 1)) + rowBytes;
            return std::pair{reinterpret_cast<uintptr_t>(lo), reinterpret_cast<uintptr_t>(hi)};
        };
        const auto [slo, shi] = span(sb, sp);
        const auto [dlo, dhi] = span(db, dp);
        if (slo < dhi && dlo < shi) {
            uint8_t* copy = dibx::Scratch(2, rowBytes * rows);
            for (int r = 0; r < rows; ++r) std::memcpy(copy + r * rowBytes, sb + r * sp, rowBytes);
            sb = copy;
            sp = ptrdiff_t(rowBytes);
        }
    }
    // Rows that follow each other without padding in every buffer are one run.
    if (!flipH && rows > 1 && dp == ptrdiff_t(rowBytes) && (!sb || sp == dp) && (!mb || mp == n) &&
        int64_t(n) * rows <= INT32_MAX) {
        dibx::run_row(bits, db, sb, mb, n * rows, op);
        return;
    }
    uint8_t* rev = flipH && sb ? dibx::Scratch(0, rowBytes) : nullptr;
    uint8_t* mrev = flipH && mb ? dibx::Scratch(1, size_t(n)) : nullptr;
    const dibx::RowKernel row(bits, op);
    for (int r = 0; r < rows; ++r) {
        const uint8_t* srow = sb ? sb + r * sp : nullptr;
        const uint8_t* mrow = mb ? mb + r * mp : nullptr;
        if (rev) {
            dibx::reverse_pixels(rev, srow, n, bpp);
            srow = rev;
        }
        if (mrev) {
            dibx::reverse_pixels(mrev, mrow, n, 1);
            mrow = mrev;
        }
        row(db + r * dp, srow, mrow, n);
    }
}

// A constant value over the clipped rectangle.
void FillOp(TCustomDIBX& dst, const TRect& r, const dibx::RowOp& op) {
    const int bits = dst.BitCount();
    if (!dibx::RowDepth(bits)) return;
    const TRect c = Intersect(r, dst.DrawClip());
    if (c.Left >= c.Right) return;
    dibx::LockGuard dl(dst, c.Left, c.Top);
    if (!dl.get()) return;
    const ptrdiff_t dp = dst.Pitch();
    const int64_t n = c.Width();
    if (dp == n * dibx::BytesPerPixel(bits) && n * c.Height() <= INT32_MAX) {
        dibx::run_row(bits, dl.get(), nullptr, nullptr, int(n * c.Height()), op);
        return;
    }
    const dibx::RowKernel row(bits, op);
    const size_t row_bytes = size_t(n) * size_t(dibx::BytesPerPixel(bits));
    const int rows = c.Height();
    for (int y = 0; y < rows; ++y) {
        if (y + kAhead < rows) prefetch_row(dl.get() + (y + kAhead) * dp, row_bytes);
        row(dl.get() + y * dp, nullptr, nullptr, int(n));
    }
}

dibx::RowOp ConstOp(dibx::Kind kind, uint32_t value, int32_t alpha = 255) {
    dibx::RowOp op;
    op.kind = kind;
    op.const_src = true;
    op.c = value;
    op.a = uint32_t(alpha);
    op.skip_eq = kind == dibx::Kind::Blend;
    return op;
}

// The four bands of a frame, each filled by fill (top, bottom, then the
// sides only when rows remain between the bands).
template <class FillFn> void Frame(const TRect& r, int32_t t, FillFn fill) {
    // Band edges wrap as Bounds does: a scripted thickness near the 32-bit
    // limit must not overflow.
    auto wrap = [](int64_t v) { return int32_t(uint32_t(uint64_t(v))); };
    const int64_t w = int64_t(r.Right) - r.Left;
    fill(Bounds(r.Left, r.Top, int32_t(w), t));
    fill(Bounds(r.Left, wrap(int64_t(r.Bottom) - t), int32_t(w), t));
    const int64_t h = int64_t(r.Bottom) - r.Top - 2 * int64_t(t);
    if (h > 0) {
        fill(Bounds(r.Left, wrap(int64_t(r.Top) + t), t, int32_t(h)));
        fill(Bounds(wrap(int64_t(r.Right) - t), wrap(int64_t(r.Top) + t), t, int32_t(h)));
    }
}

}  // namespace

void TCustomDIBX::Fill(uint32_t value) { FillRect(BoundsRect(), value); }

void TCustomDIBX::FillRect(const TRect& r, uint32_t value) { FillOp(*this, r, ConstOp(dibx::Kind::Copy, value)); }

void TCustomDIBX::FillRectAlpha(const TRect& r, uint32_t value, int32_t alpha) {
    if (alpha <= 0) return;
    FillOp(*this, r, ConstOp(dibx::Kind::Blend, value, alpha > 255 ? 255 : alpha));
}

void TCustomDIBX::FillRectAdd(const TRect& r, uint32_t value) { FillOp(*this, r, ConstOp(dibx::Kind::AddFull, value)); }

void TCustomDIBX::FillRectSub(const TRect& r, uint32_t value) { FillOp(*this, r, ConstOp(dibx::Kind::Sub, value)); }

void TCustomDIBX::FrameRect(const TRect& r, int32_t t, uint32_t value) {
    Frame(r, t, [&](const TRect& b) { FillRect(b, value); });
}

void TCustomDIBX::FrameRectAlpha(const TRect& r, int32_t t, uint32_t value, int32_t alpha) {
    if (alpha <= 0) return;
    Frame(r, t, [&](const TRect& b) { FillRectAlpha(b, value, alpha); });
}

void TCustomDIBX::FrameRectAdd(const TRect& r, int32_t t, uint32_t value) {
    Frame(r, t, [&](const TRect& b) { FillRectAdd(b, value); });
}

void TCustomDIBX::CopyFrom(TCustomDIBX& src) {
    // Same geometry: the whole buffer at once, clip and key ignored.
    if (&src != this && src.Width() == Width() && src.Height() == Height() && src.Pitch() == Pitch() &&
        src.StorageBitCount() == StorageBitCount() && !IsEmpty() && Pitch() != 0) {
        const int64_t bytes = int64_t(Pitch() < 0 ? -Pitch() : Pitch()) * Height();
        dibx::LockGuard dl(*this, 0, Pitch() < 0 ? Height() - 1 : 0);
        if (!dl.get()) return;
        dibx::LockGuard sl(src, 0, Pitch() < 0 ? Height() - 1 : 0);
        if (!sl.get()) return;
        std::memcpy(dl.get(), sl.get(), size_t(bytes));
        return;
    }
    Draw(0, 0, src, src.BoundsRect(), false, false, false);
}

void TCustomDIBX::Draw(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
                       bool flipV) {
    const int bits = BitCount();
    Blit(*this, x, y, &src, srcRect, flipH, flipV, nullptr, dibx::CopyOp(src, transparent, bits));
}

void TCustomDIBX::DrawMask(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                           TCustomDIBX& mask) {
    Blit(*this, x, y, &src, srcRect, flipH, flipV, &mask, dibx::MaskOp(BitCount()));
}

void TCustomDIBX::DrawAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                            bool flipH, bool flipV, int32_t alpha) {
    if (alpha <= 0) return;
    if (alpha > 255) alpha = 255;
    Blit(*this, x, y, &src, srcRect, flipH, flipV, nullptr, dibx::AlphaOp(src, transparent, BitCount(), alpha, true));
}

void TCustomDIBX::DrawMaskAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                bool flipV, TCustomDIBX& mask, int32_t alpha) {
    if (alpha <= 0) return;
    if (alpha > 255) alpha = 255;
    Blit(*this, x, y, &src, srcRect, flipH, flipV, &mask, dibx::MaskAlphaOp(BitCount(), alpha));
}

void TCustomDIBX::DrawAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool /*transparent*/,
                          bool flipH, bool flipV, int32_t level) {
    if (level <= 0) return;
    if (level > 255) level = 255;
    // The key always applies here, whatever the flag says.
    dibx::RowOp op = dibx::AddOp(src, true, BitCount(), level);
    if (StorageBitCount() <= 8) op.kind = dibx::Kind::RawAdd8;
    Blit(*this, x, y, &src, srcRect, flipH, flipV, nullptr, op);
}

void TCustomDIBX::DrawMaskAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                              bool flipV, TCustomDIBX& mask, int32_t level) {
    if (level <= 0) return;
    if (level > 255) level = 255;
    Blit(*this, x, y, &src, srcRect, flipH, flipV, &mask, dibx::MaskAddOp(BitCount(), level));
}

void TCustomDIBX::FillMask(int32_t x, int32_t y, TCustomDIBX& mask, const TRect& maskRect, bool flipH, bool flipV,
                           uint32_t value, int32_t alpha) {
    if (alpha <= 0) return;
    if (alpha > 255) alpha = 255;
    if (maskRect.Left < 0 || maskRect.Top < 0 || maskRect.Right > mask.Width() || maskRect.Bottom > mask.Height())
        return;
    const int bits = BitCount();
    dibx::RowOp op;
    op.kind = dibx::Kind::Blend;
    op.const_src = true;
    op.c = value;
    op.a = uint32_t(alpha);
    if (dibx::PackedRules(bits)) {
        op.weight = alpha == 255 ? dibx::Weight::M : dibx::Weight::MA;
        op.skip_eq = true;
    } else {
        op.weight = dibx::Weight::MA;
    }
    Blit(*this, x, y, nullptr, maskRect, flipH, flipV, &mask, op);
}
