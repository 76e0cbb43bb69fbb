#include "render/wipes/mask_wipes.h"

#include <cmath>
#include <cstring>

#include "files/number_text.h"
#include "files/random.h"
#include "render/dibx.h"

namespace {

// Degrees of a parameter as radians from straight up, clockwise.
double AngleOf(int32_t degrees) { return degrees / 360.0 * 2 * M_PI - M_PI / 2; }

}  // namespace

// ------------------------------------------------------------------ blinds

bool TWipeBlindH::UpdateMask() {
    const int64_t p0 = std::max(Parameters[0], 2), s = std::max(Parameters[1], 1);
    const int64_t level = Progress((p0 - 1) * 2 + s);
    if (level == LastLevel) return false;
    LastLevel = level;
    TwoLevel = s <= 1;
    uint8_t* row = MaskRow(0);
    for (int32_t x = 0; x < MaskWidth(); ++x) {
        const int64_t r = x % p0;
        row[x] = SoftEdge(level, 2 * (Mode ? p0 - 1 - r : r), s);
    }
    return true;
}

bool TWipeBlindV::UpdateMask() {
    const int64_t p0 = std::max(Parameters[0], 2), s = std::max(Parameters[1], 1);
    const int64_t level = Progress((p0 - 1) * 2 + s);
    if (level == LastLevel) return false;
    LastLevel = level;
    TwoLevel = 1;
    for (int32_t y = 0; y < MaskRows(); ++y) {
        const uint8_t v = SoftEdge(level, 2 * (Mode ? p0 - 1 - y : y), s);
        if (v != 0 && v != 255) TwoLevel = 0;
        std::memset(MaskRow(y), v, size_t(MaskWidth()));
    }
    return true;
}

// ------------------------------------------------------------------ curtains

namespace {

int64_t CurtainLevel(int64_t n, int64_t p0, int64_t s, int64_t pos, int64_t duration) {
    return pos * ((((n + p0 - 1) / p0 - 1) + (p0 - 1)) * 16 + s) / duration;
}

int64_t CurtainThreshold(int64_t index, int64_t n, int64_t p0, bool reverse) {
    const int64_t i = reverse ? n - 1 - index : index;
    return ((i / p0) + (i % p0)) * 16;
}

}  // namespace

bool TWipeCurtainH::UpdateMask() {
    const int64_t p0 = std::max(Parameters[0], 1), s = std::max(Parameters[1], 1), n = MaskWidth();
    const int64_t level = CurtainLevel(n, p0, s, Pos(), Duration);
    if (level == LastLevel) return false;
    LastLevel = level;
    TwoLevel = s <= 1;
    uint8_t* row = MaskRow(0);
    for (int64_t x = 0; x < n; ++x) row[x] = SoftEdge(level, CurtainThreshold(x, n, p0, Mode != 0), s);
    return true;
}

bool TWipeCurtainV::UpdateMask() {
    const int64_t p0 = std::max(Parameters[0], 1), s = std::max(Parameters[1], 1), n = MaskRows();
    const int64_t level = CurtainLevel(n, p0, s, Pos(), Duration);
    if (level == LastLevel) return false;
    LastLevel = level;
    TwoLevel = s <= 1;
    for (int64_t y = 0; y < n; ++y)
        std::memset(MaskRow(int32_t(y)), SoftEdge(level, CurtainThreshold(y, n, p0, Mode != 0), s),
                    size_t(MaskWidth()));
    return true;
}

// ------------------------------------------------------------------ grids

int32_t TWipeGridH::MaskHeight() const { return std::min(std::max(Parameters[0], 2), Height()); }

bool TWipeGrid::UpdateMask() {
    const int64_t p0 = std::max(Parameters[0], 2), s = std::max(Parameters[1], 1);
    const int64_t cols = (MaskWidth() + p0 - 1) / p0, rows = (MaskRows() + p0 - 1) / p0;
    const int order = Order();
    const int64_t n = order == 1 ? cols : order == 2 ? rows : int64_t(std::nearbyint(std::hypot(rows - 1, cols - 1)));
    const int64_t level = Progress((n - 1) * 4 + s);
    if (level == LastLevel) return false;
    LastLevel = level;
    TwoLevel = s <= 1;
    FillMask(0);
    for (int64_t cy = 0; cy < rows; ++cy)
        for (int64_t cx = 0; cx < cols; ++cx) {
            int64_t k;
            if (order == 1) k = Mode ? cols - 1 - cx : cx;
            else if (order == 2) k = Mode ? rows - 1 - cy : cy;
            else if (Mode) k = int64_t(std::nearbyint(std::hypot(rows - 1 - cy, cols - 1 - cx)));
            else k = int64_t(std::nearbyint(std::hypot(cy, cx)));
            const int64_t d = 4 * k;
            const uint8_t v = SoftEdge(level, d, s);
            if (v == 0) continue;
            const int64_t side = std::min(p0, (level - d) * p0 / s);
            if (side <= 0) continue;
            const int64_t left = cx * p0 + (p0 - side) / 2, top = cy * p0 + (p0 - side) / 2;
            FillMaskRect(TRect{int32_t(left), int32_t(top), int32_t(left + side), int32_t(top + side)}, v);
        }
    return true;
}

// ------------------------------------------------------------------ dither

void TWipeDither::Prepare() {
    TWipeMask::Prepare();
    // A fixed generator: every run shows the same dither.
    TWzRandom random(12341);
    random.SetCount(4096);
    Order.resize(4096);
    for (int32_t& p : Order) p = random.Pick();
}

bool TWipeDither::UpdateMask() {
    if (Order.size() != 4096) return false;
    const int64_t k = Progress(4096);
    if (k == LastLevel) return false;
    LastLevel = k;
    // A mask narrower than the tile keeps only the tile's first columns.
    const int32_t tw = std::min(MaskWidth(), 64), th = std::min(MaskRows(), 64);
    auto set = [&](int32_t p, uint8_t v) {
        const int32_t x = p & 63, y = p >> 6;
        if (x < tw && y < th) MaskRow(y)[x] = v;
    };
    const bool mostly_open = k >= 2048;
    for (int32_t y = 0; y < th; ++y) std::memset(MaskRow(y), mostly_open ? 255 : 0, size_t(tw));
    if (mostly_open)
        for (int64_t i = 4095; i >= k; --i) set(Order[size_t(i)], 0);
    else
        for (int64_t i = 0; i < k; ++i) set(Order[size_t(i)], 255);
    TwoLevel = 1;
    for (int32_t y = 0; y < th; ++y) {
        uint8_t* row = MaskRow(y);
        for (int32_t x = 64; x < MaskWidth(); x += 64) std::memcpy(row + x, row, size_t(std::min(64, MaskWidth() - x)));
    }
    return true;
}

// ------------------------------------------------------------------ mask picture

void TWipeShadow::Prepare() {
    TWipeMask::Prepare();
    const int32_t w = MaskWidth(), h = MaskRows();
    const std::vector<uint8_t> grey = wipes::GreyMaskLevels(MaskName, w, h, Mode != 0);
    Levels.resize(grey.size());
    for (size_t i = 0; i < grey.size(); ++i) Levels[i] = int32_t(grey[i]) - 255;
    for (int i = 0; i < 768; ++i) Ramp[i] = uint8_t(i < 256 ? 0 : i <= 511 ? i - 256 : 255);
}

bool TWipeShadow::UpdateMask() {
    const int64_t level = Progress(512) + 255;
    if (level == LastLevel) return false;
    LastLevel = level;
    TwoLevel = 0;
    const int32_t w = MaskWidth();
    if (Levels.size() != size_t(w) * size_t(MaskRows())) return false;
    const uint8_t* ramp = Ramp + level;
    for (int32_t y = 0; y < MaskRows(); ++y) {
        uint8_t* row = MaskRow(y);
        const int32_t* lv = &Levels[size_t(y) * w];
        for (int32_t x = 0; x < w; ++x) row[x] = ramp[lv[x]];
    }
    return true;
}

// ------------------------------------------------------------------ clock hand and fans

void TWipeClockhand::SetParam(int32_t index, int32_t value) {
    TCustomWipe::SetParam(index, value);
    if (index == 0) StartAngle = LastAngle = AngleOf(value);
}

bool TWipeClockhand::UpdateMask() {
    const double turn = Fraction() * 2 * M_PI;
    const double a = Mode ? StartAngle - turn : StartAngle + turn;
    if (a == LastAngle) return false;
    const int32_t cx = MaskWidth() / 2, cy = MaskRows() / 2;
    const double r = std::hypot(cx, cy);
    FillMask(0);
    if (Mode) wipes::FillSector(*Mask, cx, cy, r, a, StartAngle - a, 255);
    else wipes::FillSector(*Mask, cx, cy, r, StartAngle, a - StartAngle, 255);
    LastAngle = a;
    return true;
}

void TWipeFan::SetParam(int32_t index, int32_t value) {
    TCustomWipe::SetParam(index, value);
    if (index == 0) LastAngle = AngleOf(value);
}

bool TWipeFan::UpdateMask() {
    const double c = AngleOf(Parameters[0]), f = Fraction();
    const double a1 = c + f * M_PI;
    if (a1 == LastAngle) return false;
    const int32_t cx = MaskWidth() / 2, cy = MaskRows() / 2;
    FillMask(0);
    wipes::FillSector(*Mask, cx, cy, std::hypot(cx, cy), c - f * M_PI, 2 * f * M_PI, 255);
    LastAngle = a1;
    return true;
}

bool TWipeWFan::UpdateMask() {
    const double c1 = AngleOf(Parameters[0]), c2 = Parameters[0] / 360.0 * 2 * M_PI + M_PI / 2;
    const double delta = Fraction() * M_PI / 2;
    if (c1 + delta == LastAngle) return false;
    const int32_t cx = MaskWidth() / 2, cy = MaskRows() / 2;
    const double r = std::hypot(cx, cy);
    FillMask(0);
    wipes::FillSector(*Mask, cx, cy, r, c1 - delta, 2 * delta, 255);
    wipes::FillSector(*Mask, cx, cy, r, c2 - delta, 2 * delta, 255);
    LastAngle = c1 + delta;
    return true;
}

// ------------------------------------------------------------------ circle

bool TWipeCircle::UpdateMask() {
    const int32_t cx = MaskWidth() / 2, cy = MaskRows() / 2;
    const double reach = std::hypot(cx, cy);
    const double part = Mode ? double(Duration - Pos()) / Duration : Fraction();
    const int32_t r = int32_t(std::nearbyint(reach * part));
    if (r == LastRadius) return false;
    LastRadius = r;
    FillMask(Mode ? 255 : 0);
    if (r > 0) wipes::FillSector(*Mask, cx, cy, r, 0, 2 * M_PI, Mode ? 0 : 255);
    return true;
}

// ------------------------------------------------------------------ blocks

int32_t TWipeBlockCoil::ClampBlockSize() {
    Parameters[0] = std::min(MaskRows(), std::min(MaskWidth(), std::max(10, Parameters[0])));
    return Parameters[0];
}

void TWipeBlockCoil::Prepare() {
    TWipeMask::Prepare();
    const int32_t p0 = ClampBlockSize();
    Blocks.clear();
    TRect area{0, 0, MaskWidth(), MaskRows()};
    TRect block{0, 0, p0, p0};
    int dir = 0;  // right, down, left, up
    // Each lap takes at least one block's side off the area; the bound only
    // guards against a mistake turning this into an endless loop.
    const int64_t limit = 4 * (int64_t(MaskWidth() / p0) + 2) * (int64_t(MaskRows() / p0) + 2);
    auto move = [&](int32_t dx, int32_t dy) {
        block = TRect{block.Left + dx, block.Top + dy, block.Right + dx, block.Bottom + dy};
    };
    while (area.Left < area.Right && area.Top < area.Bottom && int64_t(Blocks.size()) < limit) {
        Blocks.push_back(block);
        switch (dir) {
        case 0:
            if (block.Right >= area.Right) area.Top = block.Bottom, dir = 1, move(0, p0);
            else move(p0, 0);
            break;
        case 1:
            if (block.Bottom >= area.Bottom) area.Right = block.Left, dir = 2, move(-p0, 0);
            else move(0, p0);
            break;
        case 2:
            if (block.Left <= area.Left) area.Bottom = block.Top, dir = 3, move(0, -p0);
            else move(-p0, 0);
            break;
        default:
            if (block.Top <= area.Top) area.Left = block.Right, dir = 0, move(p0, 0);
            else move(0, -p0);
            break;
        }
    }
    LastBlock = Mode ? int32_t(Blocks.size()) : -1;
}

bool TWipeBlockCoil::UpdateMask() {
    const int64_t count = int64_t(Blocks.size());
    if (count == 0) return false;
    if (!Mode) {
        const int64_t k = (count - 1) * Pos() / Duration;
        if (k == LastBlock) return false;
        for (int64_t i = LastBlock + 1; i <= k; ++i) FillMaskRect(Blocks[size_t(i)], 255);
        LastBlock = int32_t(k);
        return true;
    }
    // From the centre outward.
    const int64_t k = (count - 1) * (Duration - Pos()) / Duration;
    if (k == LastBlock) return false;
    for (int64_t i = std::min<int64_t>(LastBlock - 1, count - 1); i >= k && i >= 0; --i)
        FillMaskRect(Blocks[size_t(i)], 255);
    LastBlock = int32_t(k);
    return true;
}

void TWipeBlockRandom::Prepare() {
    TWipeMask::Prepare();
    const int32_t p0 = ClampBlockSize();
    std::vector<TRect> all;
    for (int32_t y = 0; y < MaskRows(); y += p0)
        for (int32_t x = 0; x < MaskWidth(); x += p0) all.push_back(TRect{x, y, x + p0, y + p0});
    Blocks.clear();
    while (!all.empty()) {
        const int32_t i = RandomInt(int32_t(all.size()));
        Blocks.push_back(all[size_t(i)]);
        all.erase(all.begin() + i);
    }
    LastBlock = -1;
}

bool TWipeBlockRandom::UpdateMask() {
    const int64_t count = int64_t(Blocks.size());
    if (count == 0) return false;
    const int64_t k = (count - 1) * Pos() / Duration;
    if (k == LastBlock) return false;
    for (int64_t i = LastBlock + 1; i <= k; ++i) FillMaskRect(Blocks[size_t(i)], 255);
    LastBlock = int32_t(k);
    return true;
}
