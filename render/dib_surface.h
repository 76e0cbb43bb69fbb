// TDIBSurface: the TDIB that the engine draws with in memory. Adds a clip
// rectangle for blits into it, an optional 8-bit mask (per-pixel opacity,
// 255 opaque), colour-keyed, constant-alpha and masked blits, fills,
// copies, cropping, mirroring, resampling, conversion to any depth (see
// render/color_reduce.h) and the TGA and ICO/CUR codecs by file extension.
//
// For drawing surfaces built on it: Bits() / ScanLine(y) give the pixels
// (top row first), Pitch() the step between rows, GetBitCount() the depth
// as callers see it (15 for 5-5-5), StorageBitCount() the stored one.
#pragma once
#include "render/dib.h"

#include <memory>
#include <vector>

class TDIBSurface : public TDIB {
public:
    TDIBSurface();
    TDIBSurface(const TDIBSurface& other);
    TDIBSurface& operator=(const TDIBSurface& other);
    ~TDIBSurface() override;

    // Area that blits into this surface may touch; right <= left or bottom
    // <= top means the whole surface. Always kept inside the surface.
    TRect ClipRect{};
    // Raw key pixel from a TGA extension area (-1 = none).
    int32_t TransparentColor = -1;
    // Hot spot of a cursor file.
    TPoint HotSpot{};

    int GetBitCount() const;
    int StorageBitCount() const { return BitCount(); }
    int Pitch() const { return NextLine(); }
    // Top row, made private first; nil when empty.
    uint8_t* Bits() { return TopRow(); }
    TDIBSurface* Mask() const { return mask_.get(); }

    // 15 makes a 16-bit 5-5-5 surface, 16 a 5-6-5 one, other depths 8-8-8.
    void SetSize(int width, int height, int bitCount) override;
    void Clear() override;

    void CreateMask();
    void FreeMask();
    void FillMask();
    // Creates the mask and copies the rows of an 8-bit surface into it.
    void SetMaskFrom(const TDIB& mask);
    // Copies a rectangle of src's rows into the mask from its top-left.
    void CopyMaskRect(const TDIB& src, const TRect& rect);

    // Raw pixel value, clipped to the surface.
    void FillRect(const TRect& rect, uint32_t pixel);
    // Clipped copies; a source of another format is converted pixel by pixel.
    void Copy(int x, int y, const TDIB& src);
    void CopyRect(int x, int y, const TRect& srcRect, const TDIB& src);
    // The blits below need a source of this surface's depth and format and
    // draw nothing otherwise. Source pixels equal to the raw key are left
    // out (key -1: none).
    void CopyTransparent(int x, int y, int32_t key, const TRect& srcRect, const TDIB& src);
    // Constant alpha 0..255; palette surfaces use a 4 x 4 screen door.
    void DrawAlpha(int x, int y, int alpha, int32_t key, const TRect& srcRect, const TDIB& src);
    // Through src's mask (fully opaque without one) scaled by alpha.
    void DrawMasked(int x, int y, int alpha, const TRect& srcRect, const TDIBSurface& src);

    // Becomes a copy of a rectangle of src (the rectangle's size; parts
    // outside src are zero), with the mask part when asked.
    void Extract(const TDIBSurface& src, const TRect& rect, bool withMask);
    void Crop(const TRect& rect);
    void MirrorHorizontal();
    void MirrorVertical();
    // Smallest rectangle holding every pixel whose raw value differs from
    // key ((0,0,0,0) when there is none; key -1: the whole surface).
    TRect BoundingRect(int32_t key) const;
    // BoundingRect, empty becoming (0,0,1,1), then Crop unless it is whole.
    TRect TrimToKey(int32_t key);

    // Raw value for this depth (palette surfaces: nearest entry) and back.
    uint32_t RGBToPixel(uint8_t r, uint8_t g, uint8_t b) const;
    void PixelToRGB(uint32_t pixel, uint8_t& r, uint8_t& g, uint8_t& b) const;

    // Conversion to 1, 4, 8, 15, 16, 24 or 32 bpp; colors is the wanted
    // palette size minus one for palette targets (0: as many as fit).
    void ConvertBitCount(int bitCount, int colors, bool dither);
    // Resampling; the mask is resized with the image. excludedColor is a
    // 24-bit raw value left out of averaged blocks when shrinking smoothly.
    void Resize(int width, int height, bool smooth, int32_t excludedColor = -1);
    // The picture (any depth, mask left out) as a JPEG stream of the given
    // quality (1..100), as the layered-image writer stores colour data.
    std::vector<uint8_t> ToJpeg(int quality) const;
    // Same size, depth, colour table, pixels and mask as src.
    void AssignSurface(const TDIBSurface& src);

    // By extension (without case): ".tga", ".ico" and ".cur" through their
    // codecs, anything else as BMP.
    void LoadFromFile(const std::string& sjisPath) override;
    void SaveToFile(const std::string& sjisPath) override;

private:
    bool ClipBlit(int& x, int& y, TRect& srcRect, const TDIB& src) const;
    bool SameFormat(const TDIB& src) const;

    std::unique_ptr<TDIBSurface> mask_;
};
