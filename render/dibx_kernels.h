// Row kernels of the drawing surface: one call draws one run of pixels of a
// destination row from a forward source run (and mask run). The drawing
// operations reduce every fill, blit, stretch and rotation to such runs, so
// the per-pixel arithmetic lives here once. Internal to render/.
#pragma once
#include <cstddef>
#include <cstdint>

namespace dibx {

// What happens to a destination pixel d given the source pixel s.
enum class Kind : uint8_t {
    Copy,     // d := s
    Blend,    // per channel (d * (255 - w) + s * w) >> 8
    Add,      // per channel d + ((s * w) >> 8), saturated
    AddFull,  // per channel d + s, saturated
    Sub,      // per channel d - s, floored at 0
    RawAdd8,  // 8-bit surfaces: d := min(d + s, 255) on the raw byte
};

// How the weight w follows from a mask value m (m = 0 always leaves d).
enum class Weight : uint8_t {
    Const,    // w = a (no mask)
    M,        // w = m
    MA,       // w = (m * a) >> 8
    MA255A,   // w = a when m = 255, else (m * a) >> 8
};

struct RowOp {
    Kind kind = Kind::Copy;
    Weight weight = Weight::Const;
    uint32_t a = 255;        // alpha or level, 0..255
    bool key_on = false;     // leave source pixels equal to key
    uint32_t key = 0;        // already cut to the stored width
    bool copy255 = false;    // mask value 255 copies the source
    bool skip_eq = false;    // leave pixels whose value equals the source
    bool const_src = false;  // source is the constant c, not a run
    uint32_t c = 0;
};

// Bytes per pixel of a depth (1 for 1/4/8 bpp).
constexpr int BytesPerPixel(int bits) { return (bits + 7) / 8; }

// True when run_row serves the depth (8, 15, 16, 24, 32).
constexpr bool RowDepth(int bits) { return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// Whether the depth follows the packed-loop rules of the blends (15, 16, 32)
// or the per-pixel rules (8, 24): masks at 255 and the equal-pixel skips
// differ between the two, per depth and never per machine.
constexpr bool PackedRules(int bits) { return bits == 15 || bits == 16 || bits == 32; }

// Draws n pixels. d and s point at the first pixel of their runs (s unused
// with const_src), m at the first mask byte (unused with Weight::Const).
// s may overlap d only when it equals d or the kind is Copy.
void run_row(int bits, uint8_t* d, const uint8_t* s, const uint8_t* m, int n, const RowOp& op);

// run_row with the loop for the depth and op chosen once, for the many rows
// of one rectangle: row(d, s, m, n) draws as run_row(bits, d, s, m, n, op).
class RowKernel {
public:
    RowKernel(int bits, const RowOp& op);
    void operator()(uint8_t* d, const uint8_t* s, const uint8_t* m, int n) const {
        if (n > 0) fn_(d, s, m, n, op_);
    }

private:
    using Fn = void (*)(uint8_t*, const uint8_t*, const uint8_t*, int, const RowOp&);
    Fn fn_;
    RowOp op_;
};

// Copies n pixels of bpp bytes from src to dst in reverse order.
void reverse_pixels(uint8_t* dst, const uint8_t* src, int n, int bpp);

// Raw pixel access of depths served by the row kernels.
uint32_t load_pixel(const uint8_t* p, int bpp);
void store_pixel(uint8_t* p, int bpp, uint32_t v);

// The bits of a raw value a pixel of the depth stores.
constexpr uint32_t StoredMask(int bits) {
    switch (BytesPerPixel(bits)) {
        case 1: return 0xFFu;
        case 2: return 0xFFFFu;
        case 3: return 0xFFFFFFu;
        default: return 0xFFFFFFFFu;
    }
}

// Key cut to the stored width of a depth; -1 means no key.
inline bool CutKey(int32_t transparent, int bits, uint32_t& key) {
    if (transparent == -1) return false;
    key = static_cast<uint32_t>(transparent) & StoredMask(bits);
    return true;
}

}  // namespace dibx
