// Shared pieces of the drawing operations: locking, clipping of a source
// rectangle, and the row operations of the blends per depth. Internal to
// render/.
#pragma once
#include <cstdint>
#include <vector>

#include "render/custom_dibx.h"
#include "render/dibx_kernels.h"

namespace dibx {

// Holds a Lock for the duration of a draw; unlocks only what was locked.
class LockGuard {
public:
    LockGuard(TCustomDIBX& s, int32_t x, int32_t y) : s_(s), p_(s.Lock(x, y)) {}
    ~LockGuard() {
        if (p_) s_.Unlock();
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    uint8_t* get() const { return p_; }

private:
    TCustomDIBX& s_;
    uint8_t* p_;
};

inline TRect Intersect(const TRect& a, const TRect& b) {
    TRect r{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
            a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
    if (r.Left >= r.Right || r.Top >= r.Bottom) return TRect{};
    return r;
}

// Cuts the source rectangle s to the part inside limit and moves the
// destination point (x, y) along, minding the flips. False when empty.
bool ClipSourceTo(const TRect& limit, TRect& s, int64_t& x, int64_t& y, bool flipH, bool flipV);

// Clips a blit at (x, y) of source rectangle s against clip: the source
// moves with the destination as the flips say. False when nothing is left.
bool ClipBlit(const TRect& clip, int64_t& x, int64_t& y, TRect& s, bool flipH, bool flipV);

// The limit a source (and its mask) can be read within: the source bounds,
// cut to the mask bounds. False when the mask is not an 8-bpp surface or the
// source's depth does not match the destination's storage.
bool SourceLimit(const TCustomDIBX& dst, const TCustomDIBX* src, const TCustomDIBX* mask, TRect& limit);

// Row operations of the blends at a destination depth.
RowOp CopyOp(const TCustomDIBX& src, bool transparent, int bits);
RowOp AlphaOp(const TCustomDIBX& src, bool transparent, int bits, int32_t alpha, bool skipEqual);
RowOp AddOp(const TCustomDIBX& src, bool keyOn, int bits, int32_t level);
RowOp MaskOp(int bits);
RowOp MaskAlphaOp(int bits, int32_t alpha);
RowOp MaskAddOp(int bits, int32_t level);
// The stretched and zoomed mask draws weigh by the constant alpha at mask 255
// at every depth.
RowOp StretchMaskOp(int bits, int32_t alpha);

// A scratch buffer that keeps its storage between draws.
uint8_t* Scratch(int slot, size_t bytes);

}  // namespace dibx
