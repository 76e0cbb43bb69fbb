// The bit-depth conversion engine: TFastDIB is its working buffer (rows top
// to bottom, 4-byte aligned), ReduceColors turns one TFastDIB into another
// of any depth by repacking, Floyd-Steinberg error diffusion, palettes in
// order of first appearance ("fit mapping") or by median cut.
#pragma once
#include "files/palette.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class TFastDIB {
public:
    // format: 555 or 565 for 16 bpp, 888 for 24 and 32 bpp, 0 otherwise.
    void SetSize(int width, int height, int bitCount, int format = 0);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitCount() const { return bpp_; }
    int Format() const { return format_; }
    int Stride() const { return stride_; }
    uint8_t* Row(int y) { return bits_.data() + static_cast<size_t>(y) * stride_; }
    const uint8_t* Row(int y) const { return bits_.data() + static_cast<size_t>(y) * stride_; }

    // Palette index of 1-, 4- and 8-bit images (most significant bits first).
    uint8_t GetIndex(int x, int y) const;
    void SetIndex(int x, int y, uint8_t index);

    // Distinct three-byte colours (24/32 bpp), words (16 bpp), indexes in
    // use (4/8 bpp); a 1-bit image counts 2 when its entries differ, else 0.
    int CountColors() const;

    std::array<TRGBQuad, 256> Colors{};

private:
    int width_ = 0, height_ = 0, bpp_ = 0, format_ = 0, stride_ = 0;
    std::vector<uint8_t> bits_;
};

// Converts to bitCount (1, 4, 8, 15, 16, 24, 32); colors is the wanted
// palette size minus one for palette targets, 0 (or more than the target
// holds) meaning as many as the target holds.
TFastDIB ReduceColors(const TFastDIB& src, int bitCount, int colors, bool dither);
