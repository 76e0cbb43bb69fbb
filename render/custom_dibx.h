// The drawing surface every picture is held in. The abstract class keeps the
// size, the clip rectangle and the transparent colour and implements every
// drawing operation once, on top of a few primitives (pixel address, pitch,
// bit count, size, channel masks) that each concrete kind overrides.
//
// Pixel values are raw values of the surface's own format; colours
// (0x00BBGGRR, negative = none) become pixel values through ColorToPixel.
// Bit count 15 means 16-bit 5-5-5 pixels, 16 means 5-6-5; 24 and 32 are
// 8-8-8 with blue in the lowest byte.
//
// Blends differ by depth, not by machine: at 15, 16 and 32 bits pixels equal
// to the source (or fill value) are left alone and a mask value of 255 takes
// the constant alpha or level whole; at 8 and 24 bits neither holds. At 32
// bits the unused fourth byte blends like a fourth channel. 1- and 4-bit
// surfaces serve as coverage and index sources and take pattern fills; other
// draws onto them do nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/rect.h"

class TStream;

class TCustomDIBX {
public:
    TCustomDIBX() = default;
    virtual ~TCustomDIBX() = default;
    TCustomDIBX(const TCustomDIBX&) = delete;
    TCustomDIBX& operator=(const TCustomDIBX&) = delete;

    // ---- primitives (kinds override these) ----
    virtual bool IsEmpty() const { return Width() <= 0 || Height() <= 0; }
    virtual int32_t BitCount() const { return 0; }
    virtual void SetBitCount(int32_t /*bits*/) {}
    virtual uint32_t RedMask() const { return 0; }
    virtual uint32_t GreenMask() const { return 0; }
    virtual uint32_t BlueMask() const { return 0; }
    // Signed distance in bytes from row y to row y + 1.
    virtual int32_t Pitch() const { return 0; }
    virtual uint32_t GetPixel(int32_t /*x*/, int32_t /*y*/) const { return 0; }
    virtual void SetPixel(int32_t /*x*/, int32_t /*y*/, uint32_t /*value*/) {}
    virtual int32_t BlueShift() const { return 0; }
    virtual int32_t GreenShift() const { return 0; }
    virtual int32_t RedShift() const { return 0; }
    virtual int32_t Height() const { return FHeight; }
    virtual int32_t Width() const { return FWidth; }
    virtual TCustomDIBX* Target() { return this; }
    virtual int32_t StorageBitCount() const { return BitCount(); }
    virtual void SetSize(int32_t width, int32_t height, int32_t bits);
    // Address of pixel (x, y), or nullptr when there are no pixels. Rows of
    // the locked surface are Pitch() bytes apart. Every Lock pairs an Unlock.
    virtual uint8_t* Lock(int32_t /*x*/, int32_t /*y*/) { return nullptr; }
    virtual void Unlock() {}

    // ---- clipping ----
    virtual void ClearClipRect() { FClipRect = TRect{}; }
    // Clamps r to the bounds; an empty result changes nothing; a set clip
    // grows to the union, else r becomes the clip.
    virtual void AddClipRect(const TRect& r);

    // Negative colours give -1; the base returns the colour unchanged.
    virtual int32_t ColorToPixel(int32_t color) const { return color < 0 ? -1 : color; }

    // ---- fills ----
    virtual void Fill(uint32_t value);
    virtual void FillRect(const TRect& r, uint32_t value);
    virtual void FillRectAlpha(const TRect& r, uint32_t value, int32_t alpha);
    virtual void FillRectAdd(const TRect& r, uint32_t value);
    virtual void FillRectSub(const TRect& r, uint32_t value);
    virtual void FrameRect(const TRect& r, int32_t thickness, uint32_t value);
    virtual void FrameRectAlpha(const TRect& r, int32_t thickness, uint32_t value, int32_t alpha);
    virtual void FrameRectAdd(const TRect& r, int32_t thickness, uint32_t value);

    // ---- single blits; source and destination share one depth ----
    virtual void CopyFrom(TCustomDIBX& src);
    virtual void Draw(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                      bool flipH, bool flipV);
    virtual void DrawMask(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                          bool flipV, TCustomDIBX& mask);
    virtual void DrawAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                           bool flipH, bool flipV, int32_t alpha);
    virtual void DrawMaskAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                               bool flipV, TCustomDIBX& mask, int32_t alpha);
    virtual void DrawAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                         bool flipH, bool flipV, int32_t level);
    virtual void DrawMaskAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                             bool flipV, TCustomDIBX& mask, int32_t level);
    virtual void FillMask(int32_t x, int32_t y, TCustomDIBX& mask, const TRect& maskRect, bool flipH,
                          bool flipV, uint32_t value, int32_t alpha);

    // ---- resampling draws ----
    // Angle in 1/256 turns (clockwise), zoom 8.8 fixed point, alpha code:
    // 0 nothing, 1..254 blend, 255 opaque, 256..511 additive (level code - 256).
    virtual void DrawRotate(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                            const TRect& srcRect, int32_t centerX, int32_t centerY, int32_t angle,
                            bool transparent, bool flipH, bool flipV, int32_t alphaCode);
    virtual void DrawRotateMask(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                                const TRect& srcRect, int32_t centerX, int32_t centerY, int32_t angle,
                                bool flipH, bool flipV, TCustomDIBX& mask, int32_t alphaCode);
    virtual void DrawStretch(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                             bool flipH, bool flipV, int32_t alpha);
    virtual void DrawStretchMask(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                 bool flipV, TCustomDIBX& mask, int32_t alpha);
    virtual void DrawStretchAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect,
                                bool transparent, bool flipH, bool flipV, int32_t level);
    virtual void DrawStretchMaskAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                    bool flipV, TCustomDIBX& mask, int32_t level);
    // src is a 1-bpp coverage bitmap at factor times the size (0 bits cover).
    virtual void DrawReduce(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, uint32_t value,
                            bool flipH, bool flipV, int32_t alpha, int32_t factor);
    // src is a 4-bpp bitmap of classes 0..3 (0 empty, 1..3 = colors[0..2]).
    virtual void DrawReduceClasses(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect,
                                   const uint32_t colors[3], bool flipH, bool flipV, int32_t alphaCode,
                                   int32_t factor);
    virtual void DrawTiled(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                           const TRect& srcRect, bool transparent, int32_t originX, int32_t originY);
    virtual void DrawTiledAlpha(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                                const TRect& srcRect, bool transparent, int32_t originX, int32_t originY,
                                int32_t alpha);
    virtual void DrawTiledAdd(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                              const TRect& srcRect, bool transparent, int32_t originX, int32_t originY,
                              int32_t level);
    virtual void DrawTiledMask(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                               const TRect& srcRect, int32_t originX, int32_t originY, TCustomDIBX& mask);
    virtual void DrawTiledMaskAlpha(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                                    const TRect& srcRect, int32_t originX, int32_t originY, TCustomDIBX& mask,
                                    int32_t alpha);
    virtual void DrawTiledMaskAdd(const TRect& dstRect, int32_t gapX, int32_t gapY, TCustomDIBX& src,
                                  const TRect& srcRect, int32_t originX, int32_t originY, TCustomDIBX& mask,
                                  int32_t level);
    virtual void DrawTiledScaled(const TRect& dstRect, int32_t spacingX, int32_t spacingY, int32_t zoomX,
                                 int32_t zoomY, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                                 bool flipH, bool flipV, int32_t alphaCode, int32_t originX, int32_t originY);
    virtual void DrawTiledScaledMask(const TRect& dstRect, int32_t spacingX, int32_t spacingY, int32_t zoomX,
                                     int32_t zoomY, TCustomDIBX& src, const TRect& srcRect, TCustomDIBX& mask,
                                     bool flipH, bool flipV, int32_t alphaCode, int32_t originX,
                                     int32_t originY);
    virtual void FramePattern(const TRect& r, int32_t thickness, bool flipH, bool flipV, TCustomDIBX& pattern);
    virtual void DrawIndexed4(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                              bool flipV, int32_t alphaCode, const uint32_t colors[16]);
    // colors holds one pixel value per index 0..255.
    virtual void DrawIndexed8Add(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                 bool flipV, int32_t level, const uint32_t colors[256], int32_t key);
    virtual void DrawStretchIndexed8Add(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect,
                                        bool flipH, bool flipV, int32_t level, const uint32_t colors[256],
                                        int32_t key);
    virtual void FillPatternZoomed(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                                   int32_t zoomX, int32_t zoomY, bool transparent, bool flipH, bool flipV,
                                   int32_t alphaCode);
    virtual void FillPatternZoomedMask(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                                       int32_t zoomX, int32_t zoomY, TCustomDIBX& mask, bool flipH, bool flipV,
                                       int32_t alphaCode);
    virtual void FillPattern(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                             bool flipH, bool flipV);

    // ---- whole pictures in and out (see LoadSurfaceFromFile and the others
    // in render/dibx.h, which these call) ----
    virtual void LoadFromFile(const std::string& sjisPath);
    virtual void LoadFromStream(TStream* stream, uint32_t idCode);
    virtual void SaveToFile(const std::string& sjisPath);

    // ---- life cycle and palette (kinds with device resources override) ----
    virtual void Clear() { FWidth = 0; FHeight = 0; }
    virtual void ReleaseSurface() {}
    // Entries are 4 bytes each: blue, green, red, reserved.
    virtual void GetPalette(uint8_t* /*entries*/) {}
    virtual void GetPaletteEntries(uint8_t* /*entries*/, int32_t /*start*/, int32_t /*count*/) {}
    virtual void SetPalette(const uint8_t* /*entries*/) {}
    virtual void SetPaletteEntries(const uint8_t* /*entries*/, int32_t /*start*/, int32_t /*count*/) {}
    virtual void DetachImage() {}
    // Output of (srcX, srcY, srcW, srcH) into (x, y, w, h) of dc, the surface
    // that stands for the device context here: an opaque nearest-pixel
    // stretch; opposite signs of the two widths (heights) mirror.
    virtual void StretchToDC(TCustomDIBX& dc, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX,
                             int32_t srcY, int32_t srcW, int32_t srcH);

    // ---- non-virtual ----
    TRect BoundsRect() const { return TRect{0, 0, Width(), Height()}; }
    // The clip rectangle when set (right non-zero), else the bounds; returned
    // as stored. Drawing clamps it to the bounds.
    TRect GetClipRect() const { return FClipRect.Right != 0 ? FClipRect : BoundsRect(); }
    void SetClipRect(const TRect& r) { FClipRect = r; }
    // Raw pixel value in the source's own format; -1 = no key.
    int32_t TransparentColor() const { return FTransparentColor; }
    void SetTransparentColor(int32_t value) { FTransparentColor = value; }
    // The destination rectangle DrawRotate touches.
    TRect GetRotatedBounds(int32_t x, int32_t y, int32_t width, int32_t height, int32_t centerX,
                           int32_t centerY, int32_t zoomX, int32_t zoomY, int32_t angle, bool flipH,
                           bool flipV) const;

    // A colour packed into the pixel layout of a memory surface of the given
    // depth (15, 16, 24, 32); other depths keep the value; negative gives -1.
    static int32_t PackColor(int32_t bits, int32_t color);

    // The clip rectangle limited to the bounds: what drawing really uses.
    TRect DrawClip() const;

    // Rectangles (in the picture's pixels) that cover its visible pixels, so
    // a draw may skip the rest: a layered-image frame's first rectangle list
    // when such a frame is put into the surface; empty for other pictures
    // (any new size empties it).
    std::vector<TRect> Pieces;
    // The frame's second rectangle list, carried along with the picture.
    std::vector<TRect> Pieces2;

protected:

    TRect FClipRect{};
    int32_t FTransparentColor = -1;
    int32_t FHeight = 0;
    int32_t FWidth = 0;
};
