#include "render/wipes/moving_wipes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "files/number_text.h"
#include "render/dibx.h"
#include "render/dibx_draw.h"
#include "render/dibx_kernels.h"

namespace {

TRect Box(int64_t x, int64_t y, int64_t w, int64_t h) {
    return TRect{int32_t(x), int32_t(y), int32_t(x + w), int32_t(y + h)};
}

int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); }

// The column (row) of the roll: the old picture's first half, the new
// picture's second; x counts back towards the edge in the second half.
TCustomDIBX* RollSource(int64_t& x, int64_t size, TCustomDIBX* old_picture, TCustomDIBX* new_picture) {
    if (x < size) return old_picture;
    x = 2 * size - 1 - x;
    return new_picture;
}

}  // namespace

// ------------------------------------------------------------------ scroll

bool TWipeScrollH::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int32_t w = Width(), s = int32_t(Progress(w));
    t.Draw(Mode ? s : -s, 0, *OldSurface, OldSurface->BoundsRect(), false, false, false);
    t.Draw(Mode ? s - w : w - s, 0, *NewSurface, NewSurface->BoundsRect(), false, false, false);
    return false;
}

bool TWipeScrollV::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int32_t h = Height(), s = int32_t(Progress(h));
    t.Draw(0, Mode ? s : -s, *OldSurface, OldSurface->BoundsRect(), false, false, false);
    t.Draw(0, Mode ? s - h : h - s, *NewSurface, NewSurface->BoundsRect(), false, false, false);
    return false;
}

// ------------------------------------------------------------------ bamboo blind

bool TWipeSudareH::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int64_t w = Width(), h = Height();
    int64_t x = Progress(2 * w - 1);
    TCustomDIBX& src = *RollSource(x, w, OldSurface, NewSurface);
    const int64_t n = x + 1;
    if (!Mode) {
        t.DrawStretch(Box(0, 0, n, h), src, Box(x, 0, 1, h), false, false, false, 255);
        if (w > n) t.Draw(int32_t(n), 0, src, Box(n, 0, w - n, h), false, false, false);
    } else {
        t.DrawStretch(Box(w - n, 0, n, h), src, Box(w - 1 - x, 0, 1, h), false, false, false, 255);
        if (w > n) t.Draw(0, 0, src, Box(0, 0, w - n, h), false, false, false);
    }
    return false;
}

bool TWipeSudareV::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int64_t w = Width(), h = Height();
    int64_t y = Progress(2 * h - 1);
    TCustomDIBX& src = *RollSource(y, h, OldSurface, NewSurface);
    const int64_t n = y + 1;
    if (!Mode) {
        t.DrawStretch(Box(0, 0, w, n), src, Box(0, y, w, 1), false, false, false, 255);
        if (h > n) t.Draw(0, int32_t(n), src, Box(0, n, w, h - n), false, false, false);
    } else {
        t.DrawStretch(Box(0, h - n, w, n), src, Box(0, h - 1 - y, w, 1), false, false, false, 255);
        if (h > n) t.Draw(0, 0, src, Box(0, 0, w, h - n), false, false, false);
    }
    return false;
}

// ------------------------------------------------------------------ rubber

namespace {

// Width of the source band being pulled: one column at half time.
int64_t RubberBand(int64_t pos, int32_t duration, int64_t f) {
    const double half = duration / 2.0;
    const double k = std::nearbyint(std::fabs(pos - half) * double(f) / half);
    return std::max<int64_t>(1, int64_t(k));
}

}  // namespace

bool TWipeRubberH::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int64_t w = Width(), h = Height();
    int64_t x = Progress(2 * w - 1);
    TCustomDIBX& src = *RollSource(x, w, OldSurface, NewSurface);
    const int64_t k = RubberBand(Pos(), Duration, Mode ? x + 1 : x);
    if (!Mode) {
        t.DrawStretch(Box(0, 0, x + 1, h), src, Box(std::max<int64_t>(0, x - k), 0, k, h), false, false, false,
                      255);
        if (w > x + 1) t.Draw(int32_t(x + 1), 0, src, Box(x + 1, 0, w - x - 1, h), false, false, false);
    } else {
        t.DrawStretch(Box(w - x - 1, 0, x + 1, h), src, Box(w - 1 - x, 0, k, h), false, false, false, 255);
        if (w > x + 1) t.Draw(0, 0, src, Box(0, 0, w - x - 1, h), false, false, false);
    }
    return false;
}

bool TWipeRubberV::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int64_t w = Width(), h = Height();
    int64_t y = Progress(2 * h - 1);
    TCustomDIBX& src = *RollSource(y, h, OldSurface, NewSurface);
    const int64_t k = RubberBand(Pos(), Duration, Mode ? y + 1 : y);
    if (!Mode) {
        t.DrawStretch(Box(0, 0, w, y + 1), src, Box(0, std::max<int64_t>(0, y - k), w, k), false, false, false,
                      255);
        if (h > y + 1) t.Draw(0, int32_t(y + 1), src, Box(0, y + 1, w, h - y - 1), false, false, false);
    } else {
        t.DrawStretch(Box(0, h - y - 1, w, y + 1), src, Box(0, h - 1 - y, w, k), false, false, false, 255);
        if (h > y + 1) t.Draw(0, 0, src, Box(0, 0, w, h - y - 1), false, false, false);
    }
    return false;
}

// ------------------------------------------------------------------ twist

bool TWipeTwistH::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int32_t w = Width(), h = Height();
    const double phase = double(Pos()) * (3 * M_PI / 2) / Duration;
    const uint32_t black = uint32_t(t.ColorToPixel(0));
    int32_t last = -1;
    for (int32_t r = 0; r < h; ++r) {
        const int32_t y = Mode ? h - 1 - r : r;
        const double angle = double(r) / h * (-M_PI / 2) + phase;
        if (angle < 0) continue;
        if (angle > M_PI) {
            last = y;
            continue;
        }
        t.FillRect(Box(0, y, w, 1), black);
        const int32_t cw = int32_t(std::nearbyint(std::cos(angle) * w));
        if (cw > 0) t.DrawStretch(Box((w - cw) / 2, y, cw, 1), *OldSurface, Box(0, y, w, 1), false, false, false, 255);
        else if (cw < 0)
            t.DrawStretch(Box((w + cw) / 2, y, -cw, 1), *NewSurface, Box(0, y, w, 1), false, false, false, 255);
    }
    if (last >= 0) {
        if (!Mode) t.Draw(0, 0, *NewSurface, Box(0, 0, w, last + 1), false, false, false);
        else t.Draw(0, last, *NewSurface, Box(0, last, w, h - last), false, false, false);
    }
    return false;
}

namespace {

// The source row of each of n destination rows when `rows` rows are
// stretched into n: the nearest-sample stepping of the surface's stretch
// (16.16 steps of rows / n), so that a twist drawn row by row puts every
// pixel where column stretches would.
std::vector<int32_t> StretchRows(int32_t rows, int32_t n) {
    const int64_t step = int64_t(double(rows) / n * 65536);
    std::vector<int32_t> map(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) map[size_t(i)] = int32_t(std::min<int64_t>((i * step) >> 16, rows - 1));
    return map;
}

}  // namespace

bool TWipeTwistV::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int32_t w = Width(), h = Height();
    const double phase = double(Pos()) * (3 * M_PI / 2) / Duration;
    const uint32_t black = uint32_t(t.ColorToPixel(0));
    // Per screen column: 0 not yet turning, 1 turning with apparent height
    // heights[x] (negative: the new picture's back), 2 done.
    std::vector<uint8_t> state(static_cast<size_t>(w), 0);
    std::vector<int32_t> heights(static_cast<size_t>(w), 0);
    std::vector<std::vector<int32_t>> maps(static_cast<size_t>(h) + 1);
    for (int32_t c = 0; c < w; ++c) {
        const int32_t x = Mode ? w - 1 - c : c;
        const double angle = double(c) / w * (-M_PI / 2) + phase;
        if (angle < 0) continue;
        if (angle > M_PI) {
            state[size_t(x)] = 2;
            continue;
        }
        const int32_t ch = int32_t(std::nearbyint(std::cos(angle) * h));
        state[size_t(x)] = 1;
        heights[size_t(x)] = ch;
        const size_t ah = size_t(std::abs(ch));
        if (ah > 0 && maps[ah].empty()) maps[ah] = StretchRows(h, int32_t(ah));
    }
    TCustomDIBX& o = *OldSurface;
    TCustomDIBX& n = *NewSurface;
    const int bits = t.BitCount();
    const bool rows = dibx::RowDepth(bits) && o.BitCount() == bits && n.BitCount() == bits && o.Width() >= w &&
                      n.Width() >= w && o.Height() >= h && n.Height() >= h;
    dibx::LockGuard lt(t, 0, 0), lo(o, 0, 0), ln(n, 0, 0);
    const bool locked = rows && lt.get() && lo.get() && ln.get();
    const int bpp = dibx::BytesPerPixel(bits);
    const int64_t tp = t.Pitch(), op = o.Pitch(), np = n.Pitch();
    // Each column, drawn row by row: the picture part stretched over the
    // column's apparent height between bands of black (the whole column is
    // black around it), done columns from the new picture.
    if (!locked) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t st = state[size_t(x)];
                if (st == 0) continue;
                if (st == 2) {
                    t.SetPixel(x, y, n.GetPixel(x, y));
                    continue;
                }
                const int32_t ch = heights[size_t(x)], ah = std::abs(ch), band = (h - ah) / 2;
                if (y < band || y >= band + ah) t.SetPixel(x, y, black);
                else t.SetPixel(x, y, (ch < 0 ? n : o).GetPixel(x, maps[size_t(ah)][size_t(y - band)]));
            }
        return false;
    }
    // Per column once: where its picture part lies and which rows it takes.
    std::vector<int32_t> bands(static_cast<size_t>(w), 0), spans(static_cast<size_t>(w), 0);
    std::vector<const int32_t*> col_map(static_cast<size_t>(w), nullptr);
    std::vector<const uint8_t*> col_src(static_cast<size_t>(w), nullptr);
    std::vector<int64_t> col_pitch(static_cast<size_t>(w), 0);
    for (int32_t x = 0; x < w; ++x) {
        const int32_t ch = heights[size_t(x)], ah = std::abs(ch);
        spans[size_t(x)] = state[size_t(x)] == 1 ? ah : 0;
        bands[size_t(x)] = (h - ah) / 2;
        if (ah > 0) col_map[size_t(x)] = maps[size_t(ah)].data();
        col_src[size_t(x)] = ch < 0 ? ln.get() : lo.get();
        col_pitch[size_t(x)] = ch < 0 ? np : op;
    }
    auto draw = [&](auto pixel) {
        using P = decltype(pixel);
        P dark;
        std::memcpy(&dark, &black, sizeof(P));
        for (int32_t y = 0; y < h; ++y) {
            P* d = reinterpret_cast<P*>(lt.get() + tp * y);
            const P* done_row = reinterpret_cast<const P*>(ln.get() + np * y);
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t st = state[size_t(x)];
                if (st == 0) continue;
                if (st == 2) {
                    d[x] = done_row[x];
                    continue;
                }
                const uint32_t rel = uint32_t(y - bands[size_t(x)]);
                if (rel >= uint32_t(spans[size_t(x)])) {
                    d[x] = dark;
                    continue;
                }
                const int32_t sy = col_map[size_t(x)][rel];
                d[x] = reinterpret_cast<const P*>(col_src[size_t(x)] + col_pitch[size_t(x)] * sy)[x];
            }
        }
    };
    struct P24 {
        uint8_t b[3];
    };
    if (bpp == 4) draw(uint32_t{});
    else if (bpp == 2) draw(uint16_t{});
    else if (bpp == 3) draw(P24{});
    else draw(uint8_t{});
    return false;
}

// ------------------------------------------------------------------ shrink and grow

bool TWipeSmall::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const double d = Duration, p = double(Pos());
    const int32_t z = int32_t(std::nearbyint(255 * (d - 1 - p) / d));
    const int32_t a = int32_t(std::nearbyint((Mode ? -double(Parameters[0]) : double(Parameters[0])) * p / d));
    t.CopyFrom(*NewSurface);
    TCustomDIBX& o = *OldSurface;
    t.DrawRotate(Width() / 2, Height() / 2, z, z, o, o.BoundsRect(), o.Width() / 2, o.Height() / 2, a, false, false,
                 false, z);
    return false;
}

bool TWipeBig::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const double d = Duration, p = double(Pos());
    const int32_t z = int32_t(std::nearbyint(255 * p / d));
    int32_t a = int32_t(std::nearbyint(double(Parameters[0]) * (d - 1 - p) / d));
    if (Mode) a = -a;
    t.CopyFrom(*OldSurface);
    TCustomDIBX& n = *NewSurface;
    t.DrawRotate(Width() / 2, Height() / 2, z, z, n, n.BoundsRect(), n.Width() / 2, n.Height() / 2, a, false, false,
                 false, z);
    return false;
}

// ------------------------------------------------------------------ zoom in

bool TWipeZoomin::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int32_t w = Width(), h = Height();
    const double s = 2.0 * double(Pos()) / Duration;
    const bool closing = s < 1;
    const double f = closing ? 1 - s : s - 1, g = closing ? s : 2 - s;
    const int64_t vw = std::max<int64_t>(1, int64_t(std::nearbyint(w * f)));
    const int64_t vh = std::max<int64_t>(1, int64_t(std::nearbyint(h * f)));
    // The window never leaves the picture.
    auto place = [](double point, int64_t size, int64_t view, double g) {
        int64_t at = int64_t(std::nearbyint((point - size / 2.0) * g)) + size / 2 - view / 2;
        if (at < 0) at = 0;
        if (at + view > size) at = size - view;
        return at;
    };
    const int64_t left = place(Parameters[0], w, vw, g), top = place(Parameters[1], h, vh, g);
    TCustomDIBX& src = closing ? *OldSurface : *NewSurface;
    t.DrawStretch(t.BoundsRect(), src, Box(left, top, vw, vh), false, false, false, 255);
    return false;
}

// ------------------------------------------------------------------ ripple

TWipeRipple::TWipeRipple(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture)
    : TCustomWipe(target, old_picture, new_picture) {
    qw_ = Width() / 2;
    qh_ = Height() / 2;
    const size_t n = size_t(std::max(qw_, 0)) * size_t(std::max(qh_, 0));
    Dist.resize(n);
    CosTab.resize(n);
    SinTab.resize(n);
    for (int32_t y = 0; y < qh_; ++y)
        for (int32_t x = 0; x < qw_; ++x) {
            const int32_t dx = x - qw_, dy = y - qh_;
            const size_t i = size_t(y) * qw_ + x;
            Dist[i] = uint16_t(std::nearbyint(std::hypot(std::abs(dx), std::abs(dy))));
            const double phi = std::atan2(double(dy), double(dx));
            CosTab[i] = int32_t(std::nearbyint(std::cos(phi) * 65536));
            SinTab[i] = int32_t(std::nearbyint(std::sin(phi) * 65536));
        }
    Wave.resize(size_t((std::min(qw_, qh_) * 2) / 3));
    build_wave(5);
}

void TWipeRipple::build_wave(int32_t amplitude) {
    const int64_t period = int64_t(Wave.size()) / 4;
    // Under 12 pixels a side the wave has no teeth: it stays flat.
    for (size_t i = 0; i < Wave.size(); ++i)
        Wave[i] = period > 0 ? Clamp32(int64_t(i) % period * amplitude / period) : 0;
}

void TWipeRipple::SetParam(int32_t index, int32_t value) {
    TCustomWipe::SetParam(index, value);
    if (index == 0) build_wave(value);
}

bool TWipeRipple::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    const int32_t w = Width(), h = Height();
    if (w / 2 != qw_ || h / 2 != qh_) return false;
    t.AddClipRect(t.BoundsRect());
    const int64_t len = int64_t(Wave.size());
    const int64_t reach = int64_t(std::nearbyint(std::hypot(qh_, qw_))) + len;
    const int64_t now = Progress(reach);
    TCustomDIBX& o = *OldSurface;
    TCustomDIBX& n = *NewSurface;
    const int bits = t.BitCount();
    const bool rows = dibx::RowDepth(bits) && o.BitCount() == bits && n.BitCount() == bits && o.Width() >= w &&
                      n.Width() >= w && o.Height() >= h && n.Height() >= h;
    dibx::LockGuard lt(t, 0, 0), lo(o, 0, 0), ln(n, 0, 0);
    const bool locked = rows && lt.get() && lo.get() && ln.get();
    const int bpp = dibx::BytesPerPixel(bits);
    const int64_t tp = t.Pitch(), op = o.Pitch(), np = n.Pitch();
    auto pass = [&](auto put) {
        for (int32_t y = 0; y < qh_; ++y)
            for (int32_t x = 0; x < qw_; ++x) {
                const size_t at = size_t(y) * qw_ + x;
                const int64_t d = Dist[at];
                const int64_t i = (len - 1) + d - now;
                const int32_t x2 = w - 1 - x, y2 = h - 1 - y;
                if (i > len - 1 || i < 0) {
                    const bool from_new = i < 0;
                    put(from_new, x, y, x, y), put(from_new, x2, y, x2, y);
                    put(from_new, x, y2, x, y2), put(from_new, x2, y2, x2, y2);
                    continue;
                }
                const int64_t r = d + Wave[size_t(i)];
                const int64_t sx = CosTab[at] * r / 65536 + qw_, sy = SinTab[at] * r / 65536 + qh_;
                if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
                    const int32_t sx1 = int32_t(sx), sy1 = int32_t(sy), sx2 = w - 1 - sx1, sy2 = h - 1 - sy1;
                    put(true, sx1, sy1, x, y), put(true, sx2, sy1, x2, y);
                    put(true, sx1, sy2, x, y2), put(true, sx2, sy2, x2, y2);
                } else {
                    put(true, x, y, x, y), put(true, x2, y, x2, y);
                    put(true, x, y2, x, y2), put(true, x2, y2, x2, y2);
                }
            }
    };
    if (!locked) {
        pass([&](bool from_new, int32_t sx, int32_t sy, int32_t dx, int32_t dy) {
            t.SetPixel(dx, dy, (from_new ? n : o).GetPixel(sx, sy));
        });
        return false;
    }
    uint8_t* const tb = lt.get();
    const uint8_t* const ob = lo.get();
    const uint8_t* const nb = ln.get();
    auto put_bytes = [&](auto pixel) {
        using P = decltype(pixel);
        pass([&](bool from_new, int32_t sx, int32_t sy, int32_t dx, int32_t dy) {
            const uint8_t* s = from_new ? nb + np * sy : ob + op * sy;
            std::memcpy(tb + tp * dy + int64_t(dx) * int64_t(sizeof(P)), s + int64_t(sx) * int64_t(sizeof(P)),
                        sizeof(P));
        });
    };
    if (bpp == 4) put_bytes(uint32_t{});
    else if (bpp == 2) put_bytes(uint16_t{});
    else
        pass([&](bool from_new, int32_t sx, int32_t sy, int32_t dx, int32_t dy) {
            const uint8_t* s = from_new ? nb + np * sy : ob + op * sy;
            std::memcpy(tb + tp * dy + int64_t(dx) * bpp, s + int64_t(sx) * bpp, size_t(bpp));
        });
    return false;
}

// ------------------------------------------------------------------ crack

TWipeCrack::~TWipeCrack() = default;

void TWipeCrack::SetParam(int32_t index, int32_t value) {
    if (index == 1) {
        TCustomWipe::SetParam(1, std::max(value, 0));
        set_starts();
        return;
    }
    if (index != 0) return;
    // The pieces read their size back from here: the minimum is stored.
    const int64_t size = std::max(value, 16);
    TCustomWipe::SetParam(0, int32_t(size));
    Tiles.clear();
    const int64_t w = Width(), h = Height();
    const int64_t cols = (w + size - 1) / size, rows = (h + size - 1) / size;
    const int64_t count = std::max<int64_t>(0, cols * rows);
    FallTime = 0;
    while (FallTime * (5 * FallTime - 1500) / 1000 < h) ++FallTime;
    std::vector<int32_t> cells(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) cells[size_t(i)] = int32_t(i);
    for (int64_t i = 0; i < count; ++i) {
        const int32_t r = RandomInt(int32_t(cells.size()));
        auto piece = std::make_unique<TWipeCrackDraw>(this);
        piece->Column = int32_t(cells[size_t(r)] % cols);
        piece->Row = int32_t(cells[size_t(r)] / cols);
        piece->Drift = RandomInt(200) - 100;
        Tiles.push_back(std::move(piece));
        cells.erase(cells.begin() + r);
    }
    set_starts();
}

void TWipeCrack::set_starts() {
    const int64_t gap = Parameters[1];
    LastStart = Tiles.empty() ? 0 : int64_t(Tiles.size() - 1) * gap;
    for (size_t i = 0; i < Tiles.size(); ++i)
        if (Tiles[i]) Tiles[i]->Start = int64_t(i) * gap;
}

bool TWipeCrack::Step() {
    if (BeginStep()) return true;
    TCustomDIBX& t = *TargetSurface;
    t.AddClipRect(t.BoundsRect());
    const int64_t now = (FallTime + LastStart) * Pos() / Duration;
    t.CopyFrom(*NewSurface);
    for (auto& piece : Tiles)
        if (piece && piece->Start > now) piece->Draw(now);
    for (size_t i = Tiles.size(); i-- > 0;)
        if (Tiles[i] && Tiles[i]->Start <= now && Tiles[i]->Draw(now)) Tiles[i].reset();
    return false;
}

bool TWipeCrackDraw::Draw(int64_t t) {
    const int64_t s = Owner->GetParam(0);
    TCustomDIBX& target = *Owner->TargetSurface;
    const int64_t left = s * Column, top = s * Row;
    int64_t x = left, y = top;
    bool gone = false;
    if (t >= Start) {
        const int64_t dt = t - Start;
        x = left + dt * Drift / 100;
        y = top + dt * (dt * 5 - 1500) / 1000;
        gone = y >= target.Height();
    }
    const int64_t w = std::min<int64_t>(s, target.Width() - left), h = std::min<int64_t>(s, target.Height() - top);
    if (w > 0 && h > 0 && !gone)
        target.Draw(Clamp32(x), Clamp32(y), *Owner->OldSurface, Box(left, top, w, h), false, false, false);
    return gone;
}
