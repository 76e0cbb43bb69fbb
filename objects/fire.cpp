#include "objects/fire.h"

#include <cmath>

#include "files/number_text.h"
#include "platform/codepage.h"
#include "platform/exception.h"

namespace {
std::array<uint32_t, 256> make_palette() {
    struct Knot { int i, r, g, b; };
    static const Knot knots[] = {{0, 0, 0, 0},        {32, 102, 39, 3},    {112, 213, 97, 7},
                                 {160, 243, 157, 13}, {192, 255, 192, 55}, {255, 255, 230, 175}};
    std::array<uint32_t, 256> p{};
    for (int k = 0; k + 1 < 6; ++k) {
        const Knot& a = knots[k];
        const Knot& b = knots[k + 1];
        for (int i = a.i; i <= b.i; ++i) {
            const int span = b.i - a.i, t = i - a.i;
            const int r = a.r + (b.r - a.r) * t / span;
            const int g = a.g + (b.g - a.g) * t / span;
            const int bl = a.b + (b.b - a.b) * t / span;
            p[i] = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(bl);
        }
    }
    // Entries the stored ramp holds one step above the straight line.
    p[113] = 214u << 16 | 98u << 8 | 7u;
    p[115] = 215u << 16 | 101u << 8 | 7u;
    p[118] = 217u << 16 | 104u << 8 | 8u;
    p[119] = 217u << 16 | 106u << 8 | 8u;
    p[123] = 220u << 16 | 110u << 8 | 8u;
    return p;
}
}  // namespace

const std::array<uint32_t, 256>& FirePalette32() {
    static const std::array<uint32_t, 256> palette = make_palette();
    return palette;
}

double BuildFireIntensityTable(double factor, std::array<uint8_t, 1024>& table) {
    if (factor <= 0) factor = 0.0001;
    for (int i = 0; i < 1024; ++i) {
        const double t = double(1023 - i) / 1023.0;
        const double t3 = t * t * t;
        const double d = factor - 0.05 * t3;
        const double v = std::nearbyint(double(i) / d);
        table[i] = v > 254 ? 254 : uint8_t(v);
    }
    return factor;
}

double FireHeatFactor(int32_t power) {
    return double(128 - power) / 128.0 * 1.2825 + 4.2175;
}

void FireField::Reset(int32_t width, int32_t height) {
    if (width < 0 || height < 0) throw Exception(Sjis("炎の大きさが負です"));
    width_ = width;
    height_ = height;
    const size_t cells = size_t(width) * size_t(height);
    heat_.assign(cells, 16);
    noise_.resize(cells);
    for (auto& n : noise_) n = uint8_t(RandomInt(9));
    col_wrap_.resize(size_t(width) * 2);
    for (size_t i = 0; i < col_wrap_.size(); ++i) col_wrap_[i] = uint32_t(i % size_t(width));
    row_wrap_.resize(size_t(height) * 2);
    for (size_t i = 0; i < row_wrap_.size(); ++i) row_wrap_[i] = uint32_t(i % size_t(height));
    col_offset_ = row_offset_ = 0;
}

void FireField::Step() {
    if (col_wrap_.empty() || row_wrap_.empty()) return;
    const uint32_t w = uint32_t(width_), h = uint32_t(height_);
    row_offset_ = row_wrap_[row_offset_ + 1];
    col_offset_ = col_wrap_[row_offset_ % 8 == 0 ? col_offset_ + 1 : col_offset_];
    uint8_t* p = heat_.data();
    for (uint32_t y = h >= 4 ? h - 4 : 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) p[y * w + x] = 254;
    if (w < 3 || h < 3) return;
    const uint32_t* cw = col_wrap_.data() + col_offset_;
    for (uint32_t y = 0; y + 2 < h; ++y) {
        uint8_t* row = p + y * w;
        const uint8_t* below = row + w;
        const uint8_t* below2 = row + 2 * w;
        const uint8_t* noise_row = noise_.data() + size_t(row_wrap_[row_offset_ + y + 1]) * w;
        for (uint32_t x = 1; x + 1 < w; ++x) {
            const unsigned s = unsigned(below[x - 1]) + below[x + 1] + row[x] + below2[x];
            const int v = int(intensity_[s]) - noise_row[cw[x]];
            row[x] = v < 16 ? 16 : uint8_t(v);
        }
    }
}
