#include "files/palette.h"

#include <cstddef>

int ScanLineWidth(int width, int bitCount) {
    const int64_t bytes = (static_cast<int64_t>(width) * bitCount + 7) / 8;
    return static_cast<int>((bytes + 3) & ~int64_t{3});
}

int NearestColorIndex(const TPaletteEntry* entries, int32_t color, int count) {
    const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    int best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (int i = 0; i < count; ++i) {
        const int dr = entries[i].peRed - r, dg = entries[i].peGreen - g, db = entries[i].peBlue - b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance == 0) return i;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

int NearestPaletteIndex(const TPalette& palette, int32_t color) {
    if (palette.empty()) return -1;
    const int count = palette.size() > 256 ? 256 : static_cast<int>(palette.size());
    return NearestColorIndex(palette.data(), color, count);
}

TPalette CreatePaletteFromQuads(const TRGBQuad* quads, int count) {
    TPalette palette;
    for (int i = 0; i < count; ++i) palette.push_back({quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue, 0});
    return palette;
}

int32_t GetPaletteColor(const TPalette& palette, int index) {
    if (index < 0 || static_cast<size_t>(index) >= palette.size()) return -1;
    const TPaletteEntry& e = palette[index];
    return e.peRed | (e.peGreen << 8) | (e.peBlue << 16);
}

int PaletteToQuads(const TPalette& palette, TRGBQuad* quads) {
    const int count = palette.size() > 256 ? 256 : static_cast<int>(palette.size());
    for (int i = 0; i < count; ++i) quads[i] = {palette[i].peBlue, palette[i].peGreen, palette[i].peRed, 0};
    return count;
}

void MakeGrayPalette(TRGBQuad* quads, int bitCount) {
    int count = 256, step = 1;
    if (bitCount == 1) count = 2, step = 255;
    else if (bitCount == 2) count = 4, step = 85;
    else if (bitCount == 4) count = 16, step = 17;
    for (int i = 0; i < count; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * step);
        quads[i] = {v, v, v, 0};
    }
}
