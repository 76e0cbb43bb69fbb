// Hit-area regions: masks against cairo's non-antialiased, non-zero winding
// fill (tests/data/region/regions.txt, made by make_regions.py there), the
// point test against the rasteriser everywhere, the 128-bit crossing path
// against the 64-bit one, inclusive bounds, the tie rule on edges, and
// bit-mask runs against single bits.
#include "render/region.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Golden {
    std::string name, kind;
    std::vector<int32_t> numbers;
    TRect clip;
    std::vector<std::string> rows;
};

std::vector<Golden> load_goldens() {
    std::ifstream in(VORQ_TEST_DATA "/region/regions.txt");
    std::vector<Golden> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("case ", 0) != 0) continue;
        Golden g;
        g.name = line.substr(5);
        std::getline(in, line);
        std::istringstream shape(line);
        shape >> g.kind;
        for (int32_t v; shape >> v;) g.numbers.push_back(v);
        std::getline(in, line);
        std::istringstream clip(line.substr(5));
        clip >> g.clip.Left >> g.clip.Top >> g.clip.Right >> g.clip.Bottom;
        while (std::getline(in, line) && line != "end") g.rows.push_back(line);
        out.push_back(std::move(g));
    }
    return out;
}

std::vector<TPoint> points_of(const std::vector<int32_t>& n, int64_t dx = 0, int64_t dy = 0) {
    std::vector<TPoint> p;
    for (size_t i = 0; i + 1 < n.size(); i += 2)
        p.push_back(TPoint{static_cast<int32_t>(n[i] + dx), static_cast<int32_t>(n[i + 1] + dy)});
    return p;
}

TRegion region_of(const Golden& g) {
    const auto& n = g.numbers;
    if (g.kind == "rect") return TRegion::Rect(n[0], n[1], n[2], n[3]);
    if (g.kind == "ellipse") return TRegion::Ellipse(n[0], n[1], n[2], n[3]);
    return TRegion::Polygon(points_of(n));
}

// The pixels of clip as a mask drawn from the point test alone.
std::vector<std::string> by_points(const TRegion& r, const TRect& clip) {
    std::vector<std::string> rows;
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
        std::string row;
        for (int32_t x = clip.Left; x < clip.Right; ++x) row += r.Contains(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> by_raster(const TRegion& r, const TRect& clip) {
    const TBitMask m = r.Rasterise(clip);
    std::vector<std::string> rows;
    for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
        std::string row;
        for (int32_t x = clip.Left; x < clip.Right; ++x) row += m.Get(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

TEST(Region, MasksMatchCairo) {
    const std::vector<Golden> goldens = load_goldens();
    ASSERT_EQ(goldens.size(), 18u);
    for (const Golden& g : goldens) {
        SCOPED_TRACE(g.name);
        const TRegion r = region_of(g);
        const std::vector<std::string> raster = by_raster(r, g.clip);
        ASSERT_EQ(raster.size(), g.rows.size());
        int compared = 0;
        for (size_t y = 0; y < g.rows.size(); ++y)
            for (size_t x = 0; x < g.rows[y].size(); ++x) {
                if (g.rows[y][x] == '?') continue;
                ++compared;
                EXPECT_EQ(raster[y][x], g.rows[y][x]) << "pixel " << x + g.clip.Left << ", " << y + g.clip.Top;
            }
        EXPECT_GT(compared, 0);
        // The point test and the rasteriser agree on every pixel, those on
        // the outline included.
        EXPECT_EQ(by_points(r, g.clip), raster);
    }
}

TEST(Region, BoxHoldsEveryPixel) {
    for (const Golden& g : load_goldens()) {
        SCOPED_TRACE(g.name);
        const TRegion r = region_of(g);
        const TRect box = r.Box();
        // A wide clip shows the whole shape.
        const TRect wide{-64, -64, 128, 128};
        TRect tight{std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
                    std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min()};
        r.ForEachSpan(wide, [&](int32_t y, int32_t x0, int32_t x1) {
            EXPECT_TRUE(PointInRect(TPoint{x0, y}, box) && PointInRect(TPoint{x1 - 1, y}, box));
            tight = UnionRects(tight, TRect{x0, y, x1, y + 1});
        });
        // Rectangles and ellipses know their box exactly.
        if (g.kind != "polygon") {
            EXPECT_EQ(box, tight);
        }
    }
}

TEST(Region, FarPolygonsTakeTheWideArithmeticAndAgree) {
    // Moved far out, a polygon takes 128-bit crossings; moved back, its
    // pixels must be those of the same polygon near the origin.
    const int64_t far = int64_t(1) << 30;
    for (const Golden& g : load_goldens()) {
        if (g.kind != "polygon") continue;
        SCOPED_TRACE(g.name);
        const TRegion near_region = region_of(g);
        const TRegion far_region = TRegion::Polygon(points_of(g.numbers, far, -far));
        const TRect far_clip{static_cast<int32_t>(g.clip.Left + far), static_cast<int32_t>(g.clip.Top - far),
                             static_cast<int32_t>(g.clip.Right + far), static_cast<int32_t>(g.clip.Bottom - far)};
        EXPECT_EQ(by_raster(far_region, far_clip), by_raster(near_region, g.clip));
        EXPECT_EQ(by_points(far_region, far_clip), by_raster(near_region, g.clip));
    }
}

TEST(Region, InclusiveBoundsAndEdgeRules) {
    struct Case {
        const char* what;
        TRegion region;
        int32_t x, y;
        bool inside;
    };
    const int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    const Case cases[] = {
        {"a rectangle holds its right-bottom corner", TRegion::Rect(10, 10, 19, 19), 19, 19, true},
        {"and not the pixel past it", TRegion::Rect(10, 10, 19, 19), 20, 20, false},
        {"its left-top corner", TRegion::Rect(10, 10, 19, 19), 10, 10, true},
        {"right before left is empty", TRegion::Rect(10, 10, 5, 19), 7, 12, false},
        {"a one-pixel ellipse is its pixel", TRegion::Ellipse(4, 4, 4, 4), 4, 4, true},
        {"an ellipse leaves its box's corner", TRegion::Ellipse(0, 0, 9, 9), 0, 0, false},
        {"a centre on a right edge stays out", TRegion::Polygon({{0, 0}, {8, 8}, {0, 8}}), 3, 3, false},
        {"a centre on a left edge is in", TRegion::Polygon({{0, 0}, {8, 8}, {8, 0}}), 3, 3, true},
        {"two vertices are no area", TRegion::Polygon({{0, 0}, {8, 8}}), 3, 3, false},
        {"a flat polygon is no area", TRegion::Polygon({{0, 0}, {4, 4}, {8, 8}}), 3, 3, false},
        {"the whole plane holds the origin", TRegion::Rect(lo, lo, hi, hi), 0, 0, true},
        {"and its far corner", TRegion::Rect(lo, lo, hi, hi), hi, hi, true},
        {"a huge ellipse holds its centre", TRegion::Ellipse(lo, lo, hi, hi), -1, 0, true},
        {"and leaves its corner", TRegion::Ellipse(lo, lo, hi, hi), lo, lo, false},
        {"a huge triangle holds the origin", TRegion::Polygon({{lo, lo}, {hi, 0}, {lo, hi}}), 0, 0, true},
        {"and leaves the far corner", TRegion::Polygon({{lo, lo}, {hi, 0}, {lo, hi}}), hi - 1, hi - 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.region.Contains(c.x, c.y), c.inside);
        // A small clip around the pixel (the column or row at the very end of
        // the range cannot be clipped to, as clips are half-open).
        auto from = [](int32_t v) { return v > std::numeric_limits<int32_t>::min() ? v - 1 : v; };
        auto to = [](int32_t v) { return v < std::numeric_limits<int32_t>::max() ? v + 1 : v; };
        if (c.x == hi || c.y == hi) continue;
        EXPECT_EQ(c.region.Rasterise(TRect{from(c.x), from(c.y), to(c.x), to(c.y)}).Get(c.x, c.y), c.inside);
    }
    EXPECT_TRUE(TRegion::Rect(3, 3, 1, 1).IsEmpty());
    EXPECT_EQ(TRegion::Rect(3, 3, 1, 1).Box(), TRect{});
    EXPECT_TRUE(TRegion::Polygon({{0, 0}, {9, 0}, {4, 0}}).IsEmpty());
    EXPECT_TRUE(TRegion().Rasterise(TRect{0, 0, 8, 8}).Bits.empty());
}

TEST(Region, BitMaskRunsMatchTheBits) {
    // Runs that start, end and cross 64-bit word boundaries.
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::vector<TPoint> pts;
        for (int k = 0; k < 6; ++k)
            pts.push_back(TPoint{int32_t(rng() % 300) - 20, int32_t(rng() % 40) - 5});
        const TRegion r = TRegion::Polygon(pts);
        const TBitMask m = r.Rasterise(TRect{0, 0, 257, 30});
        std::vector<std::string> runs(30, std::string(257, '.'));
        m.ForEachRun([&](int32_t y, int32_t x0, int32_t x1) {
            ASSERT_LT(x0, x1);
            for (int32_t x = x0; x < x1; ++x) runs[size_t(y)][size_t(x)] = '#';
        });
        EXPECT_EQ(runs, by_raster(r, TRect{0, 0, 257, 30}));
        EXPECT_EQ(runs, by_points(r, TRect{0, 0, 257, 30}));
    }
}

}  // namespace
