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
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

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
