// TVorqCustomImage: the base of every display object that shows a picture.
// It owns a drawing surface, may borrow a picture surface and an 8-bit mask
// (image sets put their current frame there), and draws it with an opacity
// code, zoom, rotation and mirroring; it sizes itself from its picture and
// hit-tests by the mask when asked. TVorqImage is the picture element films
// drive frame by frame; it can load a picture itself through SOURCE.
#pragma once
#include "objects/vorq_object.h"
#include "render/custom_dibx.h"

#include <cstdint>
#include <memory>
#include <string>

class TVorqCustomImage : public TVorqControl {
public:
    explicit TVorqCustomImage(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqCustomImage() override;

    TRect GetRect() const override;
    bool GetNeedsRelayout() const { return FRelayout != 0; }
    void SetNeedsRelayout(bool v) { FRelayout = v; }
    void SetWidth(int32_t v) override;
    void SetHeight(int32_t v) override;
    int32_t GetOrigWidth() const override;
    int32_t GetOrigHeight() const override;
    int32_t GetZoomX() const override { return FZoomX; }
    void SetZoomX(int32_t v) override;
    int32_t GetZoomY() const override { return FZoomY; }
    void SetZoomY(int32_t v) override;
    void SetPosZoomed(bool v) override;
    TCustomDIBX* GetOwnSurface() const override { return FPicture ? FPicture : FOwn.get(); }
    void SetPictureSurface(TCustomDIBX* s);
    TCustomDIBX* GetMaskSurface() const { return FMask; }
    void SetMaskSurface(TCustomDIBX* s);
    bool GetFlipH() const override { return FFlipH != 0; }
    void SetFlipH(bool v) override;
    bool GetFlipV() const override { return FFlipV != 0; }
    void SetFlipV(bool v) override;
    bool GetCaptureMask() const override { return FCaptureMask != 0; }
    void SetCaptureMask(bool v) override { FCaptureMask = v; }
    // 0 nothing, 1..254 translucent, 255 opaque, 256 and above additive.
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    // 1/256 turns; only the low 8 bits count.
    int32_t GetAngle() const override { return FAngle; }
    void SetAngle(int32_t v) override;
    int32_t GetTransparentColorField() const { return FTransparentColor; }
    void SetTransparentColorField(int32_t c) { FTransparentColor = c; }

    void Invalidate() override;
    void Draw() override;
    TVorqObject* HitTest(const TPoint& p, uint32_t mask) override;
    bool Update() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;

    // The rotation's screen anchor and the pivot in picture pixels.
    void GetDrawAnchor(TPoint& anchor, TPoint& pivot) const;
    virtual void DrawImage();
    // Sized by the picture unless a motion drives the object.
    virtual bool IsSizedByImage() const { return GetMotion() == nullptr; }
    void RecalcWidth() { Recalc(true); }
    void RecalcHeight() { Recalc(false); }
    bool HitTestPixel(const TPoint& p) const;
    bool HitTestRotated(const TPoint& p) const;

protected:
    TCustomDIBX* OwnSurfaceField() const { return FOwn.get(); }
    // Asks for the memory of the picture fields (for passes over many).
    void PrefetchPictureFields() const { __builtin_prefetch(&FPicture); }
    bool HasPictureSurface() const { return FPicture != nullptr; }
    // The unrotated drawing of picture at (x, y) of target, its screen place.
    void DrawUnrotated(TCustomDIBX& target, TCustomDIBX& picture, int32_t x, int32_t y);
    // The own surface of the display's kind and depth, 1 x 1.
    void MakeOwnSurface();
    bool MaskHit(int32_t x, int32_t y) const;
    void DrawPieces(TCustomDIBX& target, TCustomDIBX& picture, int32_t x, int32_t y);

private:
    void Recalc(bool horizontal);
    // This object's relayout flag and that of every child placed by zoom.
    void RaiseRelayout();

    int32_t FTransparentColor = 0;
    std::unique_ptr<TCustomDIBX> FOwn;
    TCustomDIBX* FPicture = nullptr;
    TCustomDIBX* FMask = nullptr;
    int32_t FAlpha = 255;
    int32_t FZoomX = 256, FZoomY = 256;
    int32_t FAngle = 0;
    uint8_t FFlipH = 0, FFlipV = 0, FCaptureMask = 0, FRelayout = 0;
};

// What a film image track hands its picture element for one frame.
struct TFilmImageFrame {
    TVorqControl* parent = nullptr;
    TCustomDIBX* picture = nullptr;
    TCustomDIBX* mask = nullptr;
    int32_t transparent_color = -1;
    int32_t zoom_x = 256, zoom_y = 256, priority = 0;
    bool flip_h = false, flip_v = false;
    int32_t offset_x = 0, offset_y = 0, left = 0, top = 0, angle = 0, alpha = 255;
    TRect clip{};
};

class TVorqImage : public TVorqCustomImage {
public:
    explicit TVorqImage(TVorqBaseList* registry, int create_flags = kCreateDefault);

    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    // 0..255, 255 unchanged; lower values darken the loaded picture.
    int32_t GetBrightness() const override { return FBrightness; }
    void SetBrightness(int32_t v) override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void RestoreSurfaces() override;
    void ApplyFilmFrame(const TFilmImageFrame& f);

private:
    void LoadPicture();

    std::string FSource;
    int32_t FBrightness = 255;
};
