// The concrete drawing surfaces: TDIBX keeps its pixels in a TDIBSurface;
// TDxDIBX is the surface in the display's pixel format that image-holding
// objects and the image cache use (a memory surface here as well, with the
// colour cache and palette of a device surface); TDIBXWave holds no pixels
// and draws into a target with every scanline shifted by its own offset.
// Also: loading a surface from BMP, PNG and layered-image data, and saving
// it as a 24-bit BMP.
#pragma once
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/custom_dibx.h"
#include "render/dib_surface.h"

class TStream;

// Bit depth of the display's surfaces: the screen manager's when there is
// one (it sets this), else 15, the depth the layers are made at without
// one. Only 15, 16, 24 and 32 are taken.
int32_t DisplayBitCount();
void SetDisplayBitCount(int32_t bits);
// Whether pictures may be held in display-format surfaces (TDxDIBX): the
// screen manager's choice; off without one.
bool DeviceSurfacesAllowed();
void SetDeviceSurfacesAllowed(bool allowed);

class TDIBX : public TCustomDIBX {
public:
    // A 1 x 1 surface at 15 bpp.
    TDIBX();
    // Draws onto a bitmap owned elsewhere; destruction leaves it alone.
    explicit TDIBX(TDIBSurface& borrowed);
    ~TDIBX() override;

    TDIBSurface& Surface() { return *surface_; }
    const TDIBSurface& Surface() const { return *surface_; }

    int32_t BitCount() const override;
    void SetBitCount(int32_t bits) override;
    uint32_t RedMask() const override { return surface_->PixelFormat().RBitMask; }
    uint32_t GreenMask() const override { return surface_->PixelFormat().GBitMask; }
    uint32_t BlueMask() const override { return surface_->PixelFormat().BBitMask; }
    int32_t Pitch() const override { return surface_->Pitch(); }
    uint32_t GetPixel(int32_t x, int32_t y) const override { return surface_->GetPixel(x, y); }
    void SetPixel(int32_t x, int32_t y, uint32_t value) override { surface_->SetPixel(x, y, value); }
    int32_t BlueShift() const override { return 0; }
    int32_t GreenShift() const override { return surface_->PixelFormat().BBitCount; }
    int32_t RedShift() const override {
        return surface_->PixelFormat().GBitCount + surface_->PixelFormat().BBitCount;
    }
    int32_t StorageBitCount() const override { return surface_->BitCount(); }
    void SetSize(int32_t width, int32_t height, int32_t bits) override;
    uint8_t* Lock(int32_t x, int32_t y) override;
    int32_t ColorToPixel(int32_t color) const override { return PackColor(BitCount(), color); }
    void Clear() override;
    void GetPalette(uint8_t* entries) override { GetPaletteEntries(entries, 0, 256); }
    void GetPaletteEntries(uint8_t* entries, int32_t start, int32_t count) override;
    void SetPalette(const uint8_t* entries) override { SetPaletteEntries(entries, 0, 256); }
    void SetPaletteEntries(const uint8_t* entries, int32_t start, int32_t count) override;
    void DetachImage() override { surface_->TopRow(); }
    // Writes the whole pixel buffer, padding included, ignoring the clip: at
    // 1 bpp 0xFF bytes for any non-zero value; at 4 bpp the low nibble in
    // both halves of each byte; at 8 bpp the low byte; at 15/16 bpp the low
    // 16 bits in every word; at 32 bpp the value in every word. At 24 bpp it
    // is FillRect of the bounds, which keeps to the clip.
    void Fill(uint32_t value) override;

private:
    TDIBSurface* surface_;
    bool borrowed_ = false;
};

// A surface in the display's format (DisplayBitCount), or palette-indexed
// at 1, 4 or 8 bpp. Empty until SetSize; ReleaseSurface drops the pixels
// (before a display change) and SetSize makes them again.
class TDxDIBX : public TDIBX {
public:
    TDxDIBX();

    bool IsEmpty() const override { return !has_surface_ || Width() < 1 || Height() < 1; }
    uint32_t GetPixel(int32_t x, int32_t y) const override { return has_surface_ ? TDIBX::GetPixel(x, y) : 0; }
    void SetPixel(int32_t x, int32_t y, uint32_t value) override;
    void SetSize(int32_t width, int32_t height, int32_t bits) override;
    uint8_t* Lock(int32_t x, int32_t y) override { return has_surface_ ? TDIBX::Lock(x, y) : nullptr; }
    // Colours met lately are remembered (16 of them, the oldest replaced
    // first); others are found by writing them at (0, 0) and reading back.
    int32_t ColorToPixel(int32_t color) const override;
    void SetBitCount(int32_t) override {}
    void Clear() override;
    void ReleaseSurface() override;
    // Only palette surfaces have a palette: 2, 16 or 256 entries.
    void GetPalette(uint8_t* entries) override;
    void GetPaletteEntries(uint8_t* entries, int32_t start, int32_t count) override;
    void SetPalette(const uint8_t* entries) override;
    void SetPaletteEntries(const uint8_t* entries, int32_t start, int32_t count) override;

private:
    bool has_surface_ = false;
    mutable int32_t cache_colors_[16];
    mutable int32_t cache_pixels_[16];
    mutable int32_t cache_next_ = 0;
};

// The raster wave: offsets[i] shifts target row top + i to the right.
class TDIBXWave : public TCustomDIBX {
public:
    TDIBXWave() = default;

    void SetTarget(TCustomDIBX* target) { target_ = target; }
    void SetPosition(int32_t left, int32_t top) { left_ = left, top_ = top; }
    std::vector<int32_t>& Offsets() { return offsets_; }
    // Rows visited by the drawing calls so far: only rows of the offset
    // table are, however large a rectangle a script passes.
    int64_t RowsWalked() const { return rows_walked_; }

    int32_t BitCount() const override { return target_ ? target_->BitCount() : 0; }
    TCustomDIBX* Target() override { return target_; }
    int32_t StorageBitCount() const override { return target_ ? target_->StorageBitCount() : 0; }
    void SetSize(int32_t width, int32_t height, int32_t bits) override;
    void ClearClipRect() override;
    void AddClipRect(const TRect& r) override;
    int32_t ColorToPixel(int32_t color) const override { return target_ ? target_->ColorToPixel(color) : -1; }

    void FillRect(const TRect& r, uint32_t value) override;
    void FillRectAlpha(const TRect& r, uint32_t value, int32_t alpha) override;
    void FillRectAdd(const TRect& r, uint32_t value) override;
    void FillRectSub(const TRect& r, uint32_t value) override;
    void CopyFrom(TCustomDIBX& src) override;
    void Draw(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
              bool flipV) override;
    void DrawMask(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                  TCustomDIBX& mask) override;
    void DrawAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
                   bool flipV, int32_t alpha) override;
    void DrawMaskAlpha(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                       TCustomDIBX& mask, int32_t alpha) override;
    void DrawAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
                 bool flipV, int32_t level) override;
    void DrawMaskAdd(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                     TCustomDIBX& mask, int32_t level) override;
    void FillMask(int32_t x, int32_t y, TCustomDIBX& mask, const TRect& maskRect, bool flipH, bool flipV,
                  uint32_t value, int32_t alpha) override;
    void FillPattern(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY, bool flipH,
                     bool flipV) override;

    void DrawRotate(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src, const TRect& srcRect,
                    int32_t centerX, int32_t centerY, int32_t angle, bool transparent, bool flipH, bool flipV,
                    int32_t alphaCode) override;
    void DrawRotateMask(int32_t x, int32_t y, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                        const TRect& srcRect, int32_t centerX, int32_t centerY, int32_t angle, bool flipH,
                        bool flipV, TCustomDIBX& mask, int32_t alphaCode) override;
    void DrawStretch(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool transparent, bool flipH,
                     bool flipV, int32_t alpha) override;
    void DrawStretchMask(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                         TCustomDIBX& mask, int32_t alpha) override;
    void DrawStretchAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool transparent,
                        bool flipH, bool flipV, int32_t level) override;
    void DrawStretchMaskAdd(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                            bool flipV, TCustomDIBX& mask, int32_t level) override;
    void FramePattern(const TRect& r, int32_t thickness, bool flipH, bool flipV, TCustomDIBX& pattern) override;
    void DrawStretchIndexed8Add(const TRect& dstRect, TCustomDIBX& src, const TRect& srcRect, bool flipH,
                                bool flipV, int32_t level, const uint32_t colors[256], int32_t key) override;
    void FillPatternZoomed(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY, int32_t zoomX,
                           int32_t zoomY, bool transparent, bool flipH, bool flipV, int32_t alphaCode) override;
    void FillPatternZoomedMask(const TRect& r, TCustomDIBX& pattern, int32_t offsetX, int32_t offsetY,
                               int32_t zoomX, int32_t zoomY, TCustomDIBX& mask, bool flipH, bool flipV,
                               int32_t alphaCode) override;

    void DrawReduce(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, uint32_t value, bool flipH,
                    bool flipV, int32_t alpha, int32_t factor) override;
    void DrawReduceClasses(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, const uint32_t colors[3],
                           bool flipH, bool flipV, int32_t alphaCode, int32_t factor) override;
    void DrawIndexed4(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                      int32_t alphaCode, const uint32_t colors[16]) override;
    void DrawIndexed8Add(int32_t x, int32_t y, TCustomDIBX& src, const TRect& srcRect, bool flipH, bool flipV,
                         int32_t level, const uint32_t colors[256], int32_t key) override;

private:
    // Calls op (y, rows, offset) for each run of destination rows y0..y1-1
    // that lie in the table and share one offset.
    template <class Op>
    void ForRuns(int64_t y0, int64_t y1, Op op);
    // Calls op (offset) once per row of bounds within the target's clip,
    // with the target clipped to that row.
    // The same for a blit of srcRect at row y: op (offset, row, rows of
    // srcRect drawn there).
    template <class Op>
    void ForSourceRuns(int32_t y, const TRect& srcRect, Op op);
    template <class Op>
    void ForClippedRows(const TRect& bounds, Op op);
    // Calls op (k, offset) for strip k going to destination row y + k.
    template <class Op>
    void ForStrips(int32_t y, int32_t strips, Op op);

    // One past the last row of the offset table, kept below the 32-bit end.
    int64_t TableEnd() const { return std::min<int64_t>(int64_t(top_) + int64_t(offsets_.size()), INT32_MAX); }

    TRect saved_clip_{};
    int64_t rows_walked_ = 0;
    TCustomDIBX* target_ = nullptr;
    std::vector<int32_t> offsets_;
    int32_t left_ = 0;
    int32_t top_ = 0;
};

// Copies a bitmap into a surface, which takes the bitmap's size at its own
// depth: 24 or 32-bit pixels are widened or copied with the top byte
// cleared, same formats move as rows, anything else through colours.
void CopyDIBToSurface(const TDIB& dib, TCustomDIBX& surface);

// A ".bmp" file (extension without case) into the surface at its depth;
// missing files, other extensions and empty pictures change nothing.
void LoadSurfaceFromFile(TCustomDIBX& surface, const std::string& sjisPath);
// Only ".bmp" (without case): the surface as a 24-bit bitmap.
void SaveSurfaceToFile(TCustomDIBX& surface, const std::string& sjisPath);
// The surface's picture as 24-bit pixels; dib takes the surface's size.
void CopySurfaceToDIB24(TCustomDIBX& surface, TDIB& dib);
