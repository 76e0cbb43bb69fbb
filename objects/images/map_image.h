// TVorqMapImage: a clickable picture divided into areas by a hit-map file
// (MAPSOURCE): a town map, a menu drawn as one picture, a board. It shows
// SOURCE everywhere except the area under the pointer, where the same place
// of HOVERSOURCE shows through. Entering and leaving an area queues
// ONMAPIN / ONMAPOUT; a click, or Enter / Space on the focused map, selects
// the area (@SelStr, @SelIndex and ONSELECT); the arrows move between areas.
// With AUTOSCRAP the map closes itself after a selection, with RCLICKSCRAP a
// right click or Escape cancels it.
//
// The frames' masks belong to the image cache and are shared with every
// other user of the same picture, so the map cuts copies of its own and
// draws through those.
#pragma once
#include "objects/images/image_list.h"
#include "objects/vorq_object.h"
#include "render/region.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TDIBX;

class TVorqMapImage : public TVorqControl {
public:
    // Closing phases: a request waits for the next update, which starts the
    // closing; the one after it frees the map.
    enum Phase : int32_t { kNormal = 0, kCloseRequested = 100, kClosing = 101 };

    explicit TVorqMapImage(TVorqBaseList* registry);
    ~TVorqMapImage() override;

    uint8_t GetCompoType() const override { return LT_MAPIMG; }
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    bool GetRClickScrap() const override { return FRClickScrap != 0; }
    void SetRClickScrap(bool v) override { FRClickScrap = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    // A closing map takes no input.
    bool IsBusy() const override { return FClosing != 0; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    std::string GetHoverSource() const override { return FHoverSource; }
    void SetHoverSource(const std::string& v) override;
    std::string GetMapSource() const override { return FMapSource; }
    void SetMapSource(const std::string& v) override;
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    int32_t GetBrightness() const override { return FBrightness; }
    void SetBrightness(int32_t v) override;
    bool GetRepeat() const override { return true; }
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    std::string GetOnSelect() const override { return FOnSelect; }
    void SetOnSelect(const std::string& v) override { FOnSelect = v; }
    std::string GetOnMapIn() const override { return FOnMapIn; }
    void SetOnMapIn(const std::string& v) override { FOnMapIn = v; }
    std::string GetOnMapOut() const override { return FOnMapOut; }
    void SetOnMapOut(const std::string& v) override { FOnMapOut = v; }

    void Draw() override;
    bool Update() override;
    void LBtnDown() override;
    void MouseMove() override;
    void MouseOut(TVorqObject* next) override;
    void KeyRepeat() override;
    bool RightClickScrap() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;

    // The area under the pointer or chosen by keys, -1 none.
    int32_t CurrentArea() const { return FArea; }
    int32_t AreaCount() const { return static_cast<int32_t>(FRegions.size()); }
    const TRegion& AreaRegion(int32_t i) const { return FRegions[static_cast<size_t>(i)]; }
    const std::string& AreaText(int32_t i) const { return FTexts[static_cast<size_t>(i)]; }
    // The lowest area holding the point (picture pixels), -1 none.
    int32_t AreaAt(int32_t x, int32_t y) const;
    // Makes area i current: MAPOUT for the area left, MAPIN for the new one.
    void SetArea(int32_t i);
    int32_t PhaseNow() const { return FPhase; }
    TVorqImageList& PictureList() { return FPicture; }
    TVorqImageList& HoverList() { return FHover; }

private:
    // A mask of one frame as the map draws it: a copy of the cached mask
    // with the current area cut out (picture) or alone left (hover).
    struct CutMask {
        std::unique_ptr<TDIBX> Mask;
        int32_t Area;
    };
    void load_list(TVorqImageList& list, std::vector<CutMask>& masks, const std::string& name);
    // The frame's mask cut for the current area; null without a frame.
    TDIBX* cut(std::vector<CutMask>& masks, const TVorqImageList& list, bool inside_area);
    const TBitMask& area_bits(int32_t width, int32_t height);
    void invalidate_area();
    void select();
    void request_close();

    TVorqImageList FPicture, FHover;
    std::string FSource, FHoverSource, FMapSource;
    int32_t FAlpha = 0;
    int32_t FBrightness = 0;
    uint8_t FAutoScrap = 0, FRClickScrap = 0, FPaused = 0;
    std::string FOnMapIn, FOnMapOut, FOnSelect;
    std::vector<TRegion> FRegions;
    std::vector<std::string> FTexts;
    int32_t FArea = -1;
    std::vector<CutMask> FPictureMasks, FHoverMasks;
    int32_t FPhase = kNormal;
    std::string FOnIdle;
    uint8_t FClosing = 0;
    // The current area rasterised over a frame's size, shared by both cuts.
    TBitMask FAreaBits;
    int32_t FAreaBitsFor = -1;
    TRect FAreaBitsClip{};
};
