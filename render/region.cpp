#include "render/region.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
using i128 = __int128;
using u128 = unsigned __int128;

constexpr int64_t kSmall = int64_t(1) << 29;

int32_t clamp32(int64_t v) {
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(v);
}

template <class T>
T ceil_div(T n, T d) {  // d > 0
    T q = n / d;
    if (n % d != 0 && n > 0) ++q;
    return q;
}

// da^2 / la^2 + db^2 / lb^2 <= 1 for |da| < la, |db| < lb (doubled
// offsets from an ellipse's centre over its doubled radii).
bool inside_ellipse(int64_t da, int64_t db, int64_t la, int64_t lb) {
    if (la < (int64_t(1) << 30) && lb < (int64_t(1) << 30)) {
        const u128 a2 = u128(uint64_t(da < 0 ? -da : da)) * uint64_t(da < 0 ? -da : da);
        const u128 b2 = u128(uint64_t(db < 0 ? -db : db)) * uint64_t(db < 0 ? -db : db);
        const u128 la2 = u128(uint64_t(la)) * uint64_t(la), lb2 = u128(uint64_t(lb)) * uint64_t(lb);
        return a2 * lb2 + b2 * la2 <= la2 * lb2;
    }
    const long double a = static_cast<long double>(da) / la, b = static_cast<long double>(db) / lb;
    return a * a + b * b <= 1.0L;
}

// The largest |da| of the parity of la - 1 (da = 2x - left - right) with
// the centre inside at doubled row offset db; -1 when none.
int64_t widest(int64_t la, int64_t lb, int64_t db) {
    const int64_t low = (la - 1) & 1;
    if (!inside_ellipse(low, db, la, lb)) return -1;
    const long double q = static_cast<long double>(db) / lb;
    const long double f = static_cast<long double>(la) * std::sqrt(std::max(0.0L, 1.0L - q * q));
    int64_t k = f >= static_cast<long double>(la - 1) ? la - 1 : static_cast<int64_t>(f);
    if (k < low) k = low;
    if ((k - low) & 1) --k;
    // The estimate is within a step or two; the exact test decides.
    while (k + 2 <= la - 1 && inside_ellipse(k + 2, db, la, lb)) k += 2;
    while (k > low && !inside_ellipse(k, db, la, lb)) k -= 2;
    return k;
}
}  // namespace

bool TBitMask::Get(int32_t x, int32_t y) const {
    if (!PointInRect(TPoint{x, y}, Bounds)) return false;
    const uint32_t dx = static_cast<uint32_t>(int64_t(x) - Bounds.Left);
    return (Row(y)[dx >> 6] >> (dx & 63)) & 1;
}

TRegion TRegion::Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    TRegion r;
    if (right < left || bottom < top) return r;
    r.kind_ = Kind::Rect;
    r.left_ = left;
    r.top_ = top;
    r.right_ = int64_t(right) + 1;
    r.bottom_ = int64_t(bottom) + 1;
    return r;
}

TRegion TRegion::Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    TRegion r = Rect(left, top, right, bottom);
    if (r.kind_ == Kind::Empty) return r;
    r.kind_ = Kind::Ellipse;
    return r;
}

TRegion TRegion::Polygon(const std::vector<TPoint>& points) {
    TRegion r;
    if (points.size() < 3) return r;
    int64_t minx = points[0].X, maxx = minx, miny = points[0].Y, maxy = miny;
    for (size_t i = 0; i < points.size(); ++i) {
        const TPoint& a = points[i];
        const TPoint& b = points[(i + 1) % points.size()];
        minx = std::min<int64_t>(minx, a.X);
        maxx = std::max<int64_t>(maxx, a.X);
        miny = std::min<int64_t>(miny, a.Y);
        maxy = std::max<int64_t>(maxy, a.Y);
        // Horizontal edges never cross a row of pixel centres.
        if (a.Y == b.Y) continue;
        if (a.Y < b.Y) r.edges_.push_back(Edge{a.X, a.Y, b.X, b.Y, 1});
        else r.edges_.push_back(Edge{b.X, b.Y, a.X, a.Y, -1});
    }
    if (r.edges_.empty() || minx == maxx) {
        r.edges_.clear();
        return r;
    }
    std::stable_sort(r.edges_.begin(), r.edges_.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
    r.kind_ = Kind::Polygon;
    r.left_ = minx;
    r.top_ = miny;
    r.right_ = maxx;
    r.bottom_ = maxy;
    r.small_ = -kSmall < minx && maxx < kSmall && -kSmall < miny && maxy < kSmall;
    return r;
}

bool TRegion::IsEmpty() const { return kind_ == Kind::Empty; }

TRect TRegion::Box() const {
    if (kind_ == Kind::Empty) return TRect{};
    if (kind_ != Kind::Ellipse) return TRect{clamp32(left_), clamp32(top_), clamp32(right_), clamp32(bottom_)};
    // The widest row and the tallest column are those nearest the centre.
    const int64_t w = right_ - left_, h = bottom_ - top_;
    const int64_t kx = widest(w, h, (h - 1) & 1), ky = widest(h, w, (w - 1) & 1);
    const int64_t sx = left_ + right_ - 1, sy = top_ + bottom_ - 1;  // doubled centres
    return TRect{clamp32((sx - kx) / 2), clamp32((sy - ky) / 2), clamp32((sx + kx) / 2 + 1),
                 clamp32((sy + ky) / 2 + 1)};
}

bool TRegion::ellipse_row(int64_t y, int64_t& x0, int64_t& x1) const {
    const int64_t w = right_ - left_, h = bottom_ - top_;
    const int64_t k = widest(w, h, 2 * y - (top_ + bottom_ - 1));
    if (k < 0) return false;
    const int64_t sx = left_ + right_ - 1;
    x0 = (sx - k) / 2;
    x1 = (sx + k) / 2 + 1;
    return true;
}

int64_t TRegion::crossing(const Edge& e, int64_t y) const {
    // The crossing x = x0 + (y + 1/2 - y0) dx / dy; the first centre at or
    // right of it is ceil(x - 1/2), here with everything doubled.
    const int64_t dy = e.y1 - e.y0, dx = e.x1 - e.x0;
    if (small_) return ceil_div<int64_t>(2 * e.x0 * dy + (2 * (y - e.y0) + 1) * dx - dy, 2 * dy);
    return static_cast<int64_t>(ceil_div<i128>(i128(2) * e.x0 * dy + i128(2 * (y - e.y0) + 1) * dx - dy, i128(2) * dy));
}

bool TRegion::Contains(int32_t x, int32_t y) const {
    if (kind_ == Kind::Empty || x < left_ || x >= right_ || y < top_ || y >= bottom_) return false;
    switch (kind_) {
    case Kind::Rect: return true;
    case Kind::Ellipse:
        return inside_ellipse(2 * int64_t(x) - (left_ + right_ - 1), 2 * int64_t(y) - (top_ + bottom_ - 1),
                              right_ - left_, bottom_ - top_);
    default: break;
    }
    int32_t winding = 0;
    for (const Edge& e : edges_) {
        if (e.y0 > y) break;
        if (y < e.y1 && crossing(e, y) <= x) winding += e.dir;
    }
    return winding != 0;
}

bool TRegion::clip_rows(const TRect& clip, int64_t& top, int64_t& bottom, int64_t& left, int64_t& right) const {
    if (kind_ == Kind::Empty || RectIsEmpty(clip)) return false;
    top = std::max<int64_t>(top_, clip.Top);
    bottom = std::min<int64_t>(bottom_, clip.Bottom);
    left = std::max<int64_t>(left_, clip.Left);
    right = std::min<int64_t>(right_, clip.Right);
    return top < bottom && left < right;
}

void TRegion::polygon_spans(int64_t top, int64_t bottom, int64_t left, int64_t right,
                            void (*emit)(void*, int64_t, int64_t, int64_t), void* ctx) const {
    struct Cross {
        int64_t x;
        int32_t dir;
    };
    std::vector<const Edge*> active;
    std::vector<Cross> cross;
    size_t next = 0;
    for (int64_t y = top; y < bottom; ++y) {
        while (next < edges_.size() && edges_[next].y0 <= y) active.push_back(&edges_[next++]);
        active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->y1 <= y; }),
                     active.end());
        cross.clear();
        for (const Edge* e : active) cross.push_back(Cross{crossing(*e, y), e->dir});
        std::sort(cross.begin(), cross.end(), [](const Cross& a, const Cross& b) { return a.x < b.x; });
        int32_t winding = 0;
        int64_t start = 0;
        for (const Cross& c : cross) {
            const int32_t before = winding;
            winding += c.dir;
            if (before == 0 && winding != 0) {
                start = c.x;
            } else if (before != 0 && winding == 0) {
                const int64_t x0 = std::max(start, left), x1 = std::min(c.x, right);
                if (x0 < x1) emit(ctx, y, x0, x1);
            }
        }
    }
}

void TRegion::each_span(const TRect& clip, void (*emit)(void*, int64_t, int64_t, int64_t), void* ctx) const {
    int64_t top, bottom, left, right;
    if (!clip_rows(clip, top, bottom, left, right)) return;
    switch (kind_) {
    case Kind::Rect:
        for (int64_t y = top; y < bottom; ++y) emit(ctx, y, left, right);
        break;
    case Kind::Ellipse:
        for (int64_t y = top; y < bottom; ++y) {
            int64_t x0, x1;
            if (!ellipse_row(y, x0, x1)) continue;
            x0 = std::max(x0, left);
            x1 = std::min(x1, right);
            if (x0 < x1) emit(ctx, y, x0, x1);
        }
        break;
    case Kind::Polygon: polygon_spans(top, bottom, left, right, emit, ctx); break;
    case Kind::Empty: break;
    }
}

TBitMask TRegion::Rasterise(const TRect& clip) const {
    TBitMask m;
    const TRect box = Box();
    if (RectIsEmpty(clip) || !RectsOverlap(clip, box)) return m;
    m.Bounds = IntersectRects(clip, box);
    const int64_t width = int64_t(m.Bounds.Right) - m.Bounds.Left;
    m.WordsPerRow = static_cast<int32_t>((width + 63) / 64);
    m.Bits.assign(size_t(m.WordsPerRow) * size_t(int64_t(m.Bounds.Bottom) - m.Bounds.Top), 0);
    ForEachSpan(m.Bounds, [&m](int32_t y, int32_t x0, int32_t x1) {
        uint64_t* row = m.Bits.data() + size_t(y - m.Bounds.Top) * size_t(m.WordsPerRow);
        const uint32_t a = static_cast<uint32_t>(int64_t(x0) - m.Bounds.Left);
        const uint32_t b = static_cast<uint32_t>(int64_t(x1) - m.Bounds.Left);
        const uint32_t wa = a >> 6, wb = (b - 1) >> 6;
        const uint64_t head = ~uint64_t(0) << (a & 63);
        const uint64_t tail = ~uint64_t(0) >> (63 - ((b - 1) & 63));
        if (wa == wb) {
            row[wa] |= head & tail;
            return;
        }
        row[wa] |= head;
        for (uint32_t w = wa + 1; w < wb; ++w) row[w] = ~uint64_t(0);
        row[wb] |= tail;
    });
    return m;
}
