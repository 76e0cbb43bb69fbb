// Colour tables as bitmaps and drawing surfaces keep them: RGB quadruples
// (blue, green, red, reserved) in bitmap files and colour tables, palette
// entries (red, green, blue, flags) where a palette of its own is asked for.
// A palette is a plain array of entries; nothing here needs a display.
#pragma once
#include <cstdint>
#include <vector>

struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

struct TPaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

using TPalette = std::vector<TPaletteEntry>;

// Bytes of one bitmap row: whole bytes of the pixels, rounded up to 4.
int ScanLineWidth(int width, int bitCount);

// Index of the entry nearest to color (0x00BBGGRR) by the sum of squared
// channel differences; an exact match ends the search, ties keep the first
// entry; 0 for count <= 0.
int NearestColorIndex(const TPaletteEntry* entries, int32_t color, int count);
// The same over up to 256 entries of a palette; -1 for an empty palette.
int NearestPaletteIndex(const TPalette& palette, int32_t color);

// A palette with the quadruples' colours (flags 0).
TPalette CreatePaletteFromQuads(const TRGBQuad* quads, int count);
// Colour value (0x00BBGGRR) of one entry; -1 when the index is outside.
int32_t GetPaletteColor(const TPalette& palette, int index);
// Up to 256 entries as quadruples (reserved 0) into quads[256]; the count.
int PaletteToQuads(const TPalette& palette, TRGBQuad* quads);
// Grey ramp: 1 bit: 0 and 255; 2 bits: steps of 85; 4 bits: steps of 17;
// any other count: 256 entries 0..255. quads must hold that many entries.
void MakeGrayPalette(TRGBQuad* quads, int bitCount);
