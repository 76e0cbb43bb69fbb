// Areas of whole pixels: a rectangle, the ellipse inscribed in a box, or a
// polygon filled by the non-zero winding rule. Map images keep one per hit
// area, test the pointer against it and cut picture masks along it.
//
// A pixel belongs to a region when its centre lies inside the shape. Polygon
// vertices are whole numbers, so a centre never lies on a vertex row; a
// centre exactly on a sloping edge counts as lying to the right of that
// edge (left edges take their pixels, right edges leave them). The point
// test and the rasteriser share one crossing computation, so they always
// agree, whatever the coordinates (all arithmetic is exact or, for
// ellipses wider than 2^30 pixels, the same long double test in both).
#pragma once
#include "platform/rect.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

// One bit per pixel over Bounds, rows of WordsPerRow 64-bit words; bit
// (x - Bounds.Left) % 64 of word (x - Bounds.Left) / 64 of row y - Bounds.Top.
struct TBitMask {
    TRect Bounds{};
    int32_t WordsPerRow = 0;
    std::vector<uint64_t> Bits;

    bool Get(int32_t x, int32_t y) const;
    const uint64_t* Row(int32_t y) const { return Bits.data() + size_t(y - Bounds.Top) * size_t(WordsPerRow); }
    // Calls run(y, x0, x1) for every run of set bits, x1 exclusive.
    template <class Run>
    void ForEachRun(Run&& run) const;
};

class TRegion {
public:
    enum class Kind : uint8_t { Empty, Rect, Ellipse, Polygon };

    // The empty region.
    TRegion() = default;
    // left..right and top..bottom, both inclusive; right < left or
    // bottom < top gives the empty region.
    static TRegion Rect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // The ellipse inscribed in the box of Rect with the same arguments.
    static TRegion Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // Closed polygon (the last vertex joins the first), non-zero winding.
    // Fewer than three vertices give the empty region.
    static TRegion Polygon(const std::vector<TPoint>& points);

    Kind GetKind() const { return kind_; }
    bool Contains(int32_t x, int32_t y) const;
    // A rectangle that holds every pixel of the region ((0,0,0,0) when there
    // is none): exact for rectangles and ellipses, the vertices' box for
    // polygons. Clamped to the 32-bit range.
    TRect Box() const;
    bool IsEmpty() const;
    // The pixels of the region inside clip.
    TBitMask Rasterise(const TRect& clip) const;
    // Calls span(y, x0, x1) for each run of the region's pixels inside clip,
    // row by row from the top, x1 exclusive.
    template <class Span>
    void ForEachSpan(const TRect& clip, Span&& span) const;

private:
    struct Edge {
        int64_t x0, y0, x1, y1;  // y0 < y1
        int32_t dir;             // +1 downwards in the polygon's order, -1 upwards
    };
    // Rows [top, bottom) of box ∩ clip, and column limits; false when empty.
    bool clip_rows(const TRect& clip, int64_t& top, int64_t& bottom, int64_t& left, int64_t& right) const;
    // Ellipse: centre inside, in doubled coordinates relative to the centre.
    bool ellipse_holds(int64_t dx2, int64_t dy2) const;
    // Ellipse: the pixels of row y, [x0, x1); false when none.
    bool ellipse_row(int64_t y, int64_t& x0, int64_t& x1) const;
    // Polygon: the first column whose centre lies at or right of the edge's
    // crossing of row y.
    int64_t crossing(const Edge& e, int64_t y) const;
    void polygon_spans(int64_t top, int64_t bottom, int64_t left, int64_t right,
                       void (*emit)(void*, int64_t, int64_t, int64_t), void* ctx) const;
    void each_span(const TRect& clip, void (*emit)(void*, int64_t, int64_t, int64_t), void* ctx) const;

    Kind kind_ = Kind::Empty;
    // Half-open box of the shape in 64-bit (right, bottom may be 2^31).
    int64_t left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
    std::vector<Edge> edges_;  // sorted by y0
    bool small_ = true;        // every coordinate fits the 64-bit crossing arithmetic
};

template <class Span>
void TRegion::ForEachSpan(const TRect& clip, Span&& span) const {
    each_span(
        clip,
        [](void* ctx, int64_t y, int64_t x0, int64_t x1) {
            (*static_cast<std::remove_reference_t<Span>*>(ctx))(static_cast<int32_t>(y), static_cast<int32_t>(x0), static_cast<int32_t>(x1));
        },
        &span);
}

template <class Run>
void TBitMask::ForEachRun(Run&& run) const {
    const int32_t width = Bounds.Right - Bounds.Left;
    for (int32_t y = Bounds.Top; y < Bounds.Bottom; ++y) {
        const uint64_t* row = Row(y);
        int32_t x = 0;
        while (x < width) {
            // Skip clear bits a word at a time, then measure the set run.
            uint64_t w = row[x >> 6] >> (x & 63);
            if (w == 0) {
                x = (x | 63) + 1;
                continue;
            }
            x += __builtin_ctzll(w);
            if (x >= width) break;
            // The zeros shifted in from the top end a run at its word's end;
            // a run that reaches it goes on in the next word.
            int32_t end = x;
            for (;;) {
                const int32_t bit = end & 63;
                const uint64_t ones = ~(row[end >> 6] >> bit);
                const int32_t n = ones == 0 ? 64 : __builtin_ctzll(ones);
                end += n;
                if (n != 64 - bit || end >= width) break;
            }
            if (end > width) end = width;
            run(y, Bounds.Left + x, Bounds.Left + end);
            x = end;
        }
    }
}
