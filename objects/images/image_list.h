// The frames of one picture as the display objects show them: each
// TVorqImageData borrows one decoded frame of the image cache and may keep a
// brightness-adjusted copy of it; a TVorqImageList holds the cache item for
// as long as its frames exist, plus the animation position.
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TCustomDIBX;
class TTeskItem;
class TTeskItemFrame;
class TVorqObject;

class TVorqImageData {
public:
    explicit TVorqImageData(TTeskItemFrame* frame) : FFrame(frame) {}
    ~TVorqImageData();

    // The adjusted copy when a level is set, else the cached frame.
    TCustomDIBX* GetSurface() const;
    TCustomDIBX* GetMask() const;
    int32_t GetTransparentColor() const;
    int32_t GetDelay() const;
    int32_t GetBrightness() const { return FLevel; }
    // Positive lighter, negative darker, 0 the frame unchanged. The copy is
    // made once per change of level and keeps the colour key matching.
    void SetBrightness(int32_t level);
    void ReleaseAdjusted();
    void RebuildAdjusted();

    // Part of the frame at (x, y) on the control's target, with its ALPHA
    // code and flips.
    void Draw(TVorqObject& control, int32_t x, int32_t y, const TRect& srcRect) const;
    // The frame as the control's picture: placed, stretched or rotated as
    // the control's size, zoom and angle ask.
    void DrawFor(TVorqObject& control) const { DrawFor(control, GetMask()); }
    // The same through another 8-bit mask of the frame's size (map images
    // draw through masks of their own); null draws without one.
    void DrawFor(TVorqObject& control, TCustomDIBX* mask) const;
    // An inline picture of rich text, patterned into dest at 100 %.
    void DrawInline(TCustomDIBX& target, const TRect& dest, int32_t opacity, int32_t x, int32_t y) const;

private:
    std::unique_ptr<TCustomDIBX> FAdjusted;
    int32_t FLevel = 0;
    TTeskItemFrame* FFrame;
};

class TVorqImageList {
public:
    TVorqImageList() = default;
    ~TVorqImageList() { Clear(); }
    TVorqImageList(const TVorqImageList&) = delete;
    TVorqImageList& operator=(const TVorqImageList&) = delete;

    // Clears, then holds the named picture for user (untrimmed; with
    // mask_from_key a mask made from its transparent colour).
    void LoadFromFile(void* user, const std::string& name, bool mask_from_key);
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    TVorqImageData* GetItem(int32_t index) const;
    int32_t Index() const { return FIndex; }
    int32_t Countdown() const { return FCountdown; }
    void SetCountdown(int32_t ms) { FCountdown = ms; }
    // At most the last frame; a frame index restarts that frame's time.
    void SetIndex(int32_t index);
    // One frame of delta_ms; true when the current frame changed.
    bool Step(int32_t delta_ms);
    void ReleaseAdjusted();
    void RebuildAdjusted();
    void Clear();
    TTeskItem* Item() const { return FItem; }

private:
    std::vector<std::unique_ptr<TVorqImageData>> FItems;
    int32_t FIndex = 0;
    int32_t FCountdown = 0;
    TTeskItem* FItem = nullptr;
    void* FUser = nullptr;
};

// The placements every picture kind shares, by opacity code: 0 nothing,
// 1..254 constant opacity, 255 opaque (per pixel with a mask), 256 and
// above additive at level code - 256, capped at 255 so that no blend runs
// past a channel's range.
void DrawByCode(TCustomDIBX& dest, int32_t x, int32_t y, TCustomDIBX& src, TCustomDIBX* mask, const TRect& srcRect,
                bool flipH, bool flipV, int32_t alpha);
// Stretched into dst; 255 goes through the constant-opacity stretch.
void StretchByCode(TCustomDIBX& dest, const TRect& dst, TCustomDIBX& src, TCustomDIBX* mask, bool flipH, bool flipV,
                   int32_t alpha);
// Rotated by angle (1/256 turns) about pivot, which lands on anchor.
void RotateByCode(TCustomDIBX& dest, const TPoint& anchor, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                  TCustomDIBX* mask, const TPoint& pivot, int32_t angle, bool flipH, bool flipV, int32_t alpha);

// Rich text's inline images get their frames from these lists.
void InstallRichTextImages();
