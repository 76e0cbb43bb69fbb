// Points and rectangles as the stored forms and drawing code use them:
// Left, Top, Right, Bottom as signed 32-bit, Right and Bottom exclusive.
#pragma once
#include <cstdint>

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    // The differences wrap as 32-bit values, so Bounds (l, t, w, h) gives
    // back w and h whatever the position; a rectangle from far-off scripted
    // corners never overflows.
    int32_t Width() const { return static_cast<int32_t>(static_cast<uint32_t>(Right) - static_cast<uint32_t>(Left)); }
    int32_t Height() const { return static_cast<int32_t>(static_cast<uint32_t>(Bottom) - static_cast<uint32_t>(Top)); }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// Sums and differences of stored positions and offsets wrap as 32-bit
// values, as Bounds does: far-off damaged positions must not overflow.
constexpr int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// A 64-bit result of geometry arithmetic held to the 32-bit range: far-off
// coordinates stop at its ends instead of wrapping round.
constexpr int32_t ClampToInt32(int64_t v) {
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

constexpr TPoint MakePoint(int32_t x, int32_t y) { return TPoint{x, y}; }
constexpr TRect MakeRect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }
// Right and bottom wrap as 32-bit sums: a far-off position with a large size
// (damaged save data) gives an empty rectangle, not an overflow.
constexpr TRect Bounds(int32_t l, int32_t t, int32_t w, int32_t h) {
    return TRect{l, t, static_cast<int32_t>(static_cast<uint32_t>(l) + static_cast<uint32_t>(w)),
                 static_cast<int32_t>(static_cast<uint32_t>(t) + static_cast<uint32_t>(h))};
}

// Left >= Right or Top >= Bottom.
constexpr bool RectIsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }
// The rectangles share area; touching ones do not overlap.
constexpr bool RectsOverlap(const TRect& a, const TRect& b) {
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}
constexpr bool PointInRect(const TPoint& p, const TRect& r) {
    return r.Left <= p.X && p.X < r.Right && r.Top <= p.Y && p.Y < r.Bottom;
}
// The intersection, or (0, 0, 0, 0) when the rectangles do not overlap.
constexpr TRect IntersectRects(const TRect& a, const TRect& b) {
    if (!RectsOverlap(a, b)) return TRect{};
    return TRect{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top,
                 a.Right < b.Right ? a.Right : b.Right, a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
}
// The bounding box of both.
constexpr TRect UnionRects(const TRect& a, const TRect& b) {
    return TRect{a.Left < b.Left ? a.Left : b.Left, a.Top < b.Top ? a.Top : b.Top,
                 a.Right > b.Right ? a.Right : b.Right, a.Bottom > b.Bottom ? a.Bottom : b.Bottom};
}
