#include "render/color_reduce.h"

#include "render/dib.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

// ---------------------------------------------------------------- TFastDIB

void TFastDIB::SetSize(int width, int height, int bitCount, int format) {
    width_ = width;
    height_ = height;
    bpp_ = bitCount;
    format_ = format;
    stride_ = ((width * bitCount + 31) / 32) * 4;
    bits_.assign(static_cast<size_t>(stride_) * height, 0);
    Colors = {};
}

uint8_t TFastDIB::GetIndex(int x, int y) const { return static_cast<uint8_t>(DIBGetRaw(Row(y), x, bpp_)); }

void TFastDIB::SetIndex(int x, int y, uint8_t index) { DIBSetRaw(Row(y), x, bpp_, index); }

int TFastDIB::CountColors() const {
    if (bpp_ == 1) return Colors[0] == Colors[1] ? 0 : 2;
    int count = 0;
    if (bpp_ == 24 || bpp_ == 32) {
        std::vector<uint64_t> seen(1 << 18, 0);
        const int step = bpp_ / 8;
        for (int y = 0; y < height_; ++y) {
            const uint8_t* p = Row(y);
            for (int x = 0; x < width_; ++x, p += step) {
                const uint32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
                uint64_t& word = seen[c >> 6];
                const uint64_t bit = uint64_t{1} << (c & 63);
                if (!(word & bit)) word |= bit, ++count;
            }
        }
        return count;
    }
    std::vector<uint8_t> seen(bpp_ == 16 ? 65536 : 256, 0);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const uint32_t v = bpp_ == 16 ? (Row(y)[2 * x] | (Row(y)[2 * x + 1] << 8)) : GetIndex(x, y);
            if (!seen[v]) seen[v] = 1, ++count;
        }
    return count;
}

namespace {

struct Rgb {
    int r, g, b;
};

int GreenBits(int format) { return format == 565 ? 6 : 5; }

// Colour of one pixel: the colour-table entry, a 16-bit field shifted up to
// 8 bits (low bits zero, so 5-bit 31 reads 248), or the first three bytes.
inline Rgb ReadRgb(const TFastDIB& s, const uint8_t* row, int x) {
    switch (s.BitCount()) {
    case 1:
    case 4:
    case 8: {
        const TRGBQuad& q = s.Colors[DIBGetRaw(row, x, s.BitCount())];
        return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    case 16: {
        const uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
        if (s.Format() == 565) return {static_cast<int>((v >> 11) << 3), static_cast<int>(((v >> 5) & 63) << 2), static_cast<int>((v & 31) << 3)};
        return {static_cast<int>(((v >> 10) & 31) << 3), static_cast<int>(((v >> 5) & 31) << 3), static_cast<int>((v & 31) << 3)};
    }
    case 24: return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    default: return {row[4 * x + 2], row[4 * x + 1], row[4 * x]};
    }
}

inline uint16_t Pack16(int r, int g, int b, int format) {
    if (format == 565) return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    return static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}

inline void WriteTrue(uint8_t* row, int x, int bpp, int format, int r, int g, int b) {
    if (bpp == 16) {
        const uint16_t v = Pack16(r, g, b, format);
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
    } else if (bpp == 24) {
        row[3 * x] = static_cast<uint8_t>(b), row[3 * x + 1] = static_cast<uint8_t>(g), row[3 * x + 2] = static_cast<uint8_t>(r);
    } else {
        uint8_t* p = row + 4 * x;
        p[0] = static_cast<uint8_t>(b), p[1] = static_cast<uint8_t>(g), p[2] = static_cast<uint8_t>(r), p[3] = 0xFF;
    }
}

// 16, 24 or 32 bits from any depth, pixel by pixel; the same depth and
// format is copied as it is.
TFastDIB Repack(const TFastDIB& src, int bpp, int format) {
    TFastDIB out;
    out.SetSize(src.Width(), src.Height(), bpp, format);
    const bool same = src.BitCount() == bpp && (bpp != 16 || src.Format() == format);
    for (int y = 0; y < src.Height(); ++y) {
        if (same) {
            std::memcpy(out.Row(y), src.Row(y), src.Stride());
            continue;
        }
        const uint8_t* s = src.Row(y);
        uint8_t* d = out.Row(y);
        for (int x = 0; x < src.Width(); ++x) {
            const Rgb c = ReadRgb(src, s, x);
            WriteTrue(d, x, bpp, format, c.r, c.g, c.b);
        }
    }
    return out;
}

// Serpentine Floyd-Steinberg walk shared by the 16-bit targets and the
// median-cut palettes: errors are carried at 16 times their value in two
// row buffers and spread 7, 3, 5 and 1 sixteenths. quantise(x, y, value,
// result) picks the output for the diffused colour and returns the colour
// it stands for.
template <class Quantise>
void Diffuse(const TFastDIB& src, Quantise quantise) {
    const int w = src.Width();
    std::vector<int> cur((w + 2) * 3), next((w + 2) * 3);
    std::vector<Rgb> in(w);
    for (int y = 0; y < src.Height(); ++y) {
        std::fill(next.begin(), next.end(), 0);
        const uint8_t* row = src.Row(y);
        for (int x = 0; x < w; ++x) in[x] = ReadRgb(src, row, x);
        const int dir = (y & 1) ? -1 : 1;
        int x = dir > 0 ? 0 : w - 1;
        for (int i = 0; i < w; ++i, x += dir) {
            int* e0 = &cur[(x + 1) * 3];
            const Rgb v{std::clamp((in[x].r * 16 + e0[0]) / 16, 0, 255), std::clamp((in[x].g * 16 + e0[1]) / 16, 0, 255),
                        std::clamp((in[x].b * 16 + e0[2]) / 16, 0, 255)};
            const Rgb q = quantise(x, y, v);
            const int e[3] = {v.r - q.r, v.g - q.g, v.b - q.b};
            int* ahead = &cur[(x + dir + 1) * 3];
            int* behindBelow = &next[(x - dir + 1) * 3];
            int* below = &next[(x + 1) * 3];
            int* aheadBelow = &next[(x + dir + 1) * 3];
            for (int c = 0; c < 3; ++c) {
                ahead[c] += e[c] * 7;
                behindBelow[c] += e[c] * 3;
                below[c] += e[c] * 5;
                aheadBelow[c] += e[c];
            }
        }
        std::swap(cur, next);
    }
}

// One channel cut to bits, rounded up when the dropped bits reach half a
// step and the level is not already the top.
inline int Level(int v, int bits) {
    const int drop = 8 - bits;
    int q = v >> drop;
    if ((v & ((1 << drop) - 1)) >= (1 << (drop - 1)) && q < (1 << bits) - 1) ++q;
    return q;
}

TFastDIB DiffuseTo16(const TFastDIB& src, int format) {
    TFastDIB out;
    out.SetSize(src.Width(), src.Height(), 16, format);
    const int gBits = GreenBits(format);
    Diffuse(src, [&](int x, int y, Rgb v) {
        const int r = Level(v.r, 5), g = Level(v.g, gBits), b = Level(v.b, 5);
        const uint16_t p = format == 565 ? static_cast<uint16_t>(r << 11 | g << 5 | b) : static_cast<uint16_t>(r << 10 | g << 5 | b);
        out.Row(y)[2 * x] = static_cast<uint8_t>(p);
        out.Row(y)[2 * x + 1] = static_cast<uint8_t>(p >> 8);
        return Rgb{r << 3, g << (8 - gBits), b << 3};
    });
    return out;
}

// Palette in order of first appearance (16/24/32-bit sources), at most
// capacity entries; a 32-bit pixel's fourth byte takes no part.
TFastDIB FitTrueColour(const TFastDIB& src, int bpp, int capacity) {
    TFastDIB out;
    out.SetSize(src.Width(), src.Height(), bpp);
    std::unordered_map<uint32_t, uint8_t> index;
    index.reserve(512);
    int used = 0;
    std::vector<TPaletteEntry> entries;
    for (int y = 0; y < src.Height(); ++y) {
        const uint8_t* row = src.Row(y);
        for (int x = 0; x < src.Width(); ++x) {
            uint32_t key;
            if (src.BitCount() == 16) key = row[2 * x] | (row[2 * x + 1] << 8);
            else {
                const uint8_t* p = row + x * (src.BitCount() / 8);
                key = p[0] | (p[1] << 8) | (p[2] << 16);
            }
            auto it = index.find(key);
            uint8_t i;
            if (it != index.end()) {
                i = it->second;
            } else {
                const Rgb c = ReadRgb(src, row, x);
                if (used < capacity) {
                    i = static_cast<uint8_t>(used++);
                    out.Colors[i] = {static_cast<uint8_t>(c.b), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.r), 0};
                    entries.push_back({static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b), 0});
                } else {
                    // Only reached when the caller let more colours through
                    // than the palette holds.
                    i = static_cast<uint8_t>(NearestColorIndex(entries.data(), c.r | c.g << 8 | c.b << 16, used));
                }
                index.emplace(key, i);
            }
            out.SetIndex(x, y, i);
        }
    }
    return out;
}

// Fit mapping to 8 bpp: palette sources keep their tables and indexes.
TFastDIB Fit8(const TFastDIB& src) {
    if (src.BitCount() > 8) return FitTrueColour(src, 8, 256);
    TFastDIB out;
    out.SetSize(src.Width(), src.Height(), 8);
    out.Colors = src.Colors;
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) out.Row(y)[x] = src.GetIndex(x, y);
    return out;
}

// Fit mapping to 4 bpp: an 8-bit source's indexes are below 16 here (it
// comes from a median cut of at most 16 boxes).
TFastDIB Fit4(const TFastDIB& src) {
    if (src.BitCount() > 8) return FitTrueColour(src, 4, 16);
    TFastDIB out;
    out.SetSize(src.Width(), src.Height(), 4);
    std::copy(src.Colors.begin(), src.Colors.begin() + 16, out.Colors.begin());
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) out.SetIndex(x, y, src.GetIndex(x, y) & 0x0F);
    return out;
}

// 1 bpp from a palette source: its first two entries; index 0 stays 0,
// every other index becomes 1.
TFastDIB TwoColours(const TFastDIB& src) {
    TFastDIB out;
    out.SetSize(src.Width(), src.Height(), 1);
    out.Colors[0] = src.Colors[0];
    out.Colors[1] = src.Colors[1];
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) out.SetIndex(x, y, src.GetIndex(x, y) != 0 ? 1 : 0);
    return out;
}

// ---------------------------------------------------------------- median cut

constexpr int kCells = 32 * 64 * 32;
inline int CellOf(int r, int g, int b) { return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3); }

struct Box {
    int lo[3], hi[3];  // cell bounds of red (0..31), green (0..63), blue (0..31)
};

void Shrink(Box& box, const std::vector<uint8_t>& marked) {
    int lo[3] = {99, 99, 99}, hi[3] = {-1, -1, -1};
    for (int r = box.lo[0]; r <= box.hi[0]; ++r)
        for (int g = box.lo[1]; g <= box.hi[1]; ++g) {
            const uint8_t* line = &marked[(r << 11) | (g << 5)];
            for (int b = box.lo[2]; b <= box.hi[2]; ++b) {
                if (!line[b]) continue;
                lo[0] = std::min(lo[0], r), hi[0] = std::max(hi[0], r);
                lo[1] = std::min(lo[1], g), hi[1] = std::max(hi[1], g);
                lo[2] = std::min(lo[2], b), hi[2] = std::max(hi[2], b);
            }
        }
    if (hi[0] < 0) return;  // no marked cell: the box stays as it is
    std::copy(lo, lo + 3, box.lo);
    std::copy(hi, hi + 3, box.hi);
}

// 8-bit image with a palette of at most maxIndex + 1 boxes, from an 8-, 24-
// or 32-bit source. The number of boxes is an int bounded by maxIndex
// (never above 255), so it cannot wrap round.
TFastDIB MedianCut(const TFastDIB& src, int maxIndex, bool dither) {
    std::vector<uint8_t> marked(kCells, 0);
    for (int y = 0; y < src.Height(); ++y) {
        const uint8_t* row = src.Row(y);
        for (int x = 0; x < src.Width(); ++x) {
            const Rgb c = ReadRgb(src, row, x);
            marked[CellOf(c.r, c.g, c.b)] = 1;
        }
    }
    std::vector<Box> boxes{Box{{0, 0, 0}, {31, 63, 31}}};
    Shrink(boxes[0], marked);
    while (static_cast<int>(boxes.size()) <= maxIndex) {
        int best = -1, channel = 0, bestDiff = 1;
        for (size_t i = 0; i < boxes.size(); ++i)
            for (int c = 0; c < 3; ++c)
                if (boxes[i].hi[c] - boxes[i].lo[c] > bestDiff) {
                    bestDiff = boxes[i].hi[c] - boxes[i].lo[c];
                    best = static_cast<int>(i);
                    channel = c;
                }
        if (best < 0) break;
        Box added = boxes[best];
        const int mid = (boxes[best].lo[channel] + boxes[best].hi[channel]) >> 1;
        boxes[best].hi[channel] = mid;
        added.lo[channel] = mid + 1;
        Shrink(boxes[best], marked);
        Shrink(added, marked);
        boxes.push_back(added);
    }
    TFastDIB out;
    out.SetSize(src.Width(), src.Height(), 8);
    std::vector<TPaletteEntry> entries;
    std::vector<int16_t> cellIndex(kCells, -1);
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& b = boxes[i];
        const uint8_t r = static_cast<uint8_t>((b.lo[0] + b.hi[0]) * 4), g = static_cast<uint8_t>((b.lo[1] + b.hi[1]) * 2),
                      bl = static_cast<uint8_t>((b.lo[2] + b.hi[2]) * 4);
        out.Colors[i] = {bl, g, r, 0};
        entries.push_back({r, g, bl, 0});
        for (int rr = b.lo[0]; rr <= b.hi[0]; ++rr)
            for (int gg = b.lo[1]; gg <= b.hi[1]; ++gg)
                for (int bb = b.lo[2]; bb <= b.hi[2]; ++bb) cellIndex[(rr << 11) | (gg << 5) | bb] = static_cast<int16_t>(i);
    }
    // A colour in no box (only reachable through diffusion) takes the
    // nearest entry, searched from the last (later entries win ties).
    auto lookup = [&](const Rgb& c) -> int {
        int16_t& slot = cellIndex[CellOf(c.r, c.g, c.b)];
        if (slot < 0) {
            int best = 0, bestDistance = 0x7FFFFFFF;
            for (int i = static_cast<int>(entries.size()) - 1; i >= 0; --i) {
                const int dr = entries[i].peRed - c.r, dg = entries[i].peGreen - c.g, db = entries[i].peBlue - c.b;
                const int d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) bestDistance = d, best = i;
            }
            slot = static_cast<int16_t>(best);
        }
        return slot;
    };
    if (!dither) {
        for (int y = 0; y < src.Height(); ++y) {
            const uint8_t* row = src.Row(y);
            for (int x = 0; x < src.Width(); ++x) out.Row(y)[x] = static_cast<uint8_t>(lookup(ReadRgb(src, row, x)));
        }
        return out;
    }
    Diffuse(src, [&](int x, int y, Rgb v) {
        const int i = lookup(v);
        out.Row(y)[x] = static_cast<uint8_t>(i);
        return Rgb{entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
    });
    return out;
}

// The largest index wanted for a palette of capacity entries: 0 or too
// many mean as many as the palette holds.
int MaxIndex(int colors, int capacity) { return colors <= 0 || colors >= capacity ? capacity - 1 : colors; }

// Median cut works from 8-, 24- and 32-bit images.
TFastDIB ForMedianCut(const TFastDIB& src) {
    if (src.BitCount() == 16) return Repack(src, 24, 888);
    if (src.BitCount() < 8) return Fit8(src);
    return src;
}

}  // namespace

TFastDIB ReduceColors(const TFastDIB& src, int bitCount, int colors, bool dither) {
    switch (bitCount) {
    case 24:
    case 32: return Repack(src, bitCount, 888);
    case 15:
    case 16: {
        const int format = bitCount == 15 ? 555 : 565;
        if (dither && src.BitCount() >= 24) return DiffuseTo16(src, format);
        return Repack(src, 16, format);
    }
    case 8: {
        const int n = MaxIndex(colors, 256);
        if (src.CountColors() <= n + 1) return Fit8(src);
        return MedianCut(ForMedianCut(src), n, dither);
    }
    case 4: {
        const int n = MaxIndex(colors, 16);
        if (src.BitCount() != 8 && src.CountColors() <= n + 1) return Fit4(src);
        return Fit4(MedianCut(ForMedianCut(src), n, dither));
    }
    default: {
        const TFastDIB four = src.BitCount() >= 8 ? ReduceColors(src, 4, 16, dither) : src;
        if (four.CountColors() <= 2) return TwoColours(four);
        // Two boxes, so that each pixel keeps the colour of its own box.
        return TwoColours(MedianCut(Fit8(four), 1, dither));
    }
    }
}
