#include "objects/images/image_list.h"

#include "script/game_clock.h"
#include "objects/vorq_object.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"
#include "render/text/display_link.h"

#include <cstdlib>

namespace {
std::unique_ptr<TCustomDIBX> new_picture_surface() {
    if (DeviceSurfacesAllowed()) return std::make_unique<TDxDIBX>();
    return std::make_unique<TDIBX>();
}

void adjust(TCustomDIBX& s, const TRect& r, uint32_t pixel, bool lighter) {
    if (lighter) s.FillRectAdd(r, pixel);
    else s.FillRectSub(r, pixel);
}

int32_t capped(int32_t alpha) { return alpha > 511 ? 511 : alpha; }
}  // namespace

void DrawByCode(TCustomDIBX& dest, int32_t x, int32_t y, TCustomDIBX& src, TCustomDIBX* mask, const TRect& srcRect,
                bool flipH, bool flipV, int32_t alpha) {
    alpha = capped(alpha);
    if (alpha <= 0) return;
    const bool keyed = src.TransparentColor() >= 0;
    if (mask) {
        if (alpha < 255) dest.DrawMaskAlpha(x, y, src, srcRect, flipH, flipV, *mask, alpha);
        else if (alpha == 255) dest.DrawMask(x, y, src, srcRect, flipH, flipV, *mask);
        else dest.DrawMaskAdd(x, y, src, srcRect, flipH, flipV, *mask, alpha - 256);
    } else {
        if (alpha < 255) dest.DrawAlpha(x, y, src, srcRect, keyed, flipH, flipV, alpha);
        else if (alpha == 255) dest.Draw(x, y, src, srcRect, keyed, flipH, flipV);
        else dest.DrawAdd(x, y, src, srcRect, keyed, flipH, flipV, alpha - 256);
    }
}

void StretchByCode(TCustomDIBX& dest, const TRect& dst, TCustomDIBX& src, TCustomDIBX* mask, bool flipH, bool flipV,
                   int32_t alpha) {
    alpha = capped(alpha);
    if (alpha <= 0) return;
    const bool keyed = src.TransparentColor() >= 0;
    if (mask) {
        if (alpha < 256) dest.DrawStretchMask(dst, src, src.BoundsRect(), flipH, flipV, *mask, alpha);
        else dest.DrawStretchMaskAdd(dst, src, src.BoundsRect(), flipH, flipV, *mask, alpha - 256);
    } else {
        if (alpha < 256) dest.DrawStretch(dst, src, src.BoundsRect(), keyed, flipH, flipV, alpha);
        else dest.DrawStretchAdd(dst, src, src.BoundsRect(), keyed, flipH, flipV, alpha - 256);
    }
}

void RotateByCode(TCustomDIBX& dest, const TPoint& anchor, int32_t zoomX, int32_t zoomY, TCustomDIBX& src,
                  TCustomDIBX* mask, const TPoint& pivot, int32_t angle, bool flipH, bool flipV, int32_t alpha) {
    alpha = capped(alpha);
    if (alpha <= 0) return;
    if (mask)
        dest.DrawRotateMask(anchor.X, anchor.Y, zoomX, zoomY, src, src.BoundsRect(), pivot.X, pivot.Y, angle & 0xFF,
                            flipH, flipV, *mask, alpha);
    else
        dest.DrawRotate(anchor.X, anchor.Y, zoomX, zoomY, src, src.BoundsRect(), pivot.X, pivot.Y, angle & 0xFF,
                        src.TransparentColor() >= 0, flipH, flipV, alpha);
}

// ---- TVorqImageData ----

TVorqImageData::~TVorqImageData() = default;

TCustomDIBX* TVorqImageData::GetSurface() const {
    if (FLevel != 0 && FAdjusted) return FAdjusted.get();
    return FFrame ? FFrame->Image.get() : nullptr;
}
TCustomDIBX* TVorqImageData::GetMask() const { return FFrame ? FFrame->Mask.get() : nullptr; }
int32_t TVorqImageData::GetTransparentColor() const { return FFrame ? FFrame->TransparentColor : -1; }
int32_t TVorqImageData::GetDelay() const { return FFrame ? FFrame->Delay : 0; }

void TVorqImageData::SetBrightness(int32_t level) {
    if (level == FLevel) return;
    FLevel = level;
    if (level == 0 || !FFrame || !FFrame->Image) return;
    TCustomDIBX& image = *FFrame->Image;
    if (!FAdjusted) {
        FAdjusted = new_picture_surface();
        FAdjusted->SetSize(image.Width(), image.Height(), image.BitCount());
    }
    TCustomDIBX& copy = *FAdjusted;
    copy.ClearClipRect();
    // Levels beyond 255 overlap their channels; they are passed through as
    // the owners' setters give them.
    const uint32_t m = static_cast<uint32_t>(std::abs(static_cast<int64_t>(level)) & 0xFFFFFFFF);
    const int32_t grey = static_cast<int32_t>((m | m << 8 | m << 16) & 0x7FFFFFFF);
    const uint32_t p = static_cast<uint32_t>(copy.ColorToPixel(grey));
    const bool lighter = level > 0;
    int32_t key = -1;
    if (FFrame->TransparentColor >= 0 && image.TransparentColor() >= 0 && !copy.IsEmpty()) {
        // The key goes through the same adjustment as the picture, so that
        // the transparent pixels still match it.
        copy.SetPixel(0, 0, static_cast<uint32_t>(image.TransparentColor()));
        adjust(copy, TRect{0, 0, 1, 1}, p, lighter);
        key = static_cast<int32_t>(copy.GetPixel(0, 0));
    }
    copy.CopyFrom(image);
    copy.Pieces = image.Pieces;
    copy.Pieces2 = image.Pieces2;
    adjust(copy, copy.BoundsRect(), p, lighter);
    copy.SetTransparentColor(key);
}

void TVorqImageData::ReleaseAdjusted() { FAdjusted.reset(); }

void TVorqImageData::RebuildAdjusted() {
    const int32_t level = FLevel;
    if (level == 0) return;
    FLevel = level + 1;
    SetBrightness(level);
}

void TVorqImageData::Draw(TVorqObject& control, int32_t x, int32_t y, const TRect& srcRect) const {
    const int32_t alpha = control.GetAlpha();
    TCustomDIBX* target = control.GetSurface();
    TCustomDIBX* s = GetSurface();
    if (alpha <= 0 || alpha >= 512 || !target || !s || s->IsEmpty()) return;
    DrawByCode(*target, x, y, *s, GetMask(), srcRect, control.GetFlipH(), control.GetFlipV(), alpha);
}

void TVorqImageData::DrawFor(TVorqObject& control, TCustomDIBX* mask) const {
    const int32_t alpha = control.GetAlpha();
    TCustomDIBX* target = control.GetSurface();
    TCustomDIBX* s = GetSurface();
    if (alpha <= 0 || alpha >= 512 || !target || !s || s->IsEmpty()) return;
    const bool flipH = control.GetFlipH(), flipV = control.GetFlipV();
    const int32_t angle = control.GetAngle() & 0xFF;
    if (angle == 0) {
        const int32_t x = control.GetScreenX(), y = control.GetScreenY();
        if (control.GetWidth() == s->Width() && control.GetHeight() == s->Height())
            DrawByCode(*target, x, y, *s, mask, s->BoundsRect(), flipH, flipV, alpha);
        else
            StretchByCode(*target, Bounds(x, y, control.GetWidth(), control.GetHeight()), *s, mask, flipH, flipV,
                          alpha);
        return;
    }
    TPoint pivot{control.GetOffsetX(), control.GetOffsetY()};
    if (flipH) pivot.X = WrapSub(s->Width() - 1, pivot.X);
    if (flipV) pivot.Y = WrapSub(s->Height() - 1, pivot.Y);
    TPoint anchor{control.GetLeft(), control.GetTop()};
    if (TVorqControl* parent = control.GetParent()) {
        anchor.X = WrapAdd(WrapSub(parent->GetScreenX(), parent->GetScrollX()), anchor.X);
        anchor.Y = WrapAdd(WrapSub(parent->GetScreenY(), parent->GetScrollY()), anchor.Y);
    }
    RotateByCode(*target, anchor, control.GetZoomX(), control.GetZoomY(), *s, mask, pivot, angle, flipH, flipV,
                 alpha);
}

void TVorqImageData::DrawInline(TCustomDIBX& target, const TRect& dest, int32_t opacity, int32_t x,
                                int32_t y) const {
    TCustomDIBX* s = GetSurface();
    if (!s || s->IsEmpty()) return;
    if (TCustomDIBX* mask = GetMask())
        target.FillPatternZoomedMask(dest, *s, x, y, 256, 256, *mask, false, false, opacity);
    else if (opacity == 255 && s->TransparentColor() < 0)
        target.FillPattern(dest, *s, x, y, false, false);
    else
        target.FillPatternZoomed(dest, *s, x, y, 256, 256, s->TransparentColor() >= 0, false, false, opacity);
}

// ---- TVorqImageList ----

void TVorqImageList::LoadFromFile(void* user, const std::string& name, bool mask_from_key) {
    Clear();
    FUser = user;
    if (!TeskCollection) return;
    FItem = TeskCollection->Acquire(user, name, false, mask_from_key);
    for (auto& frame : FItem->Frames) FItems.push_back(std::make_unique<TVorqImageData>(frame.get()));
    FIndex = 0;
    if (!FItems.empty()) FCountdown = FItems[0]->GetDelay() + 1;
}

TVorqImageData* TVorqImageList::GetItem(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return FItems[static_cast<size_t>(index)].get();
}

void TVorqImageList::SetIndex(int32_t index) {
    FIndex = index < Count() ? index : Count() - 1;
    if (FIndex >= 0) FCountdown = WrapAdd(FItems[static_cast<size_t>(FIndex)]->GetDelay(), 1);
}

bool TVorqImageList::Step(int32_t delta_ms) {
    const int32_t count = Count();
    if (count <= 1) return false;
    FCountdown = WrapSub(FCountdown, delta_ms);
    if (FCountdown >= 1) return false;
    // Lateness carries over within a pass but not across the wrap to frame
    // 0. An index set out of range by a caller restarts from frame 0.
    while (FCountdown < 1) {
        FIndex = FIndex < 0 || FIndex >= count ? 0 : (FIndex + 1) % count;
        const bool wrapped = FIndex == 0;
        if (wrapped) FCountdown = 0;
        FCountdown = WrapAdd(FCountdown, FItems[static_cast<size_t>(FIndex)]->GetDelay());
        if (wrapped) break;
    }
    return true;
}

void TVorqImageList::ReleaseAdjusted() {
    for (auto& item : FItems) item->ReleaseAdjusted();
}
void TVorqImageList::RebuildAdjusted() {
    for (auto& item : FItems) item->RebuildAdjusted();
}

void TVorqImageList::Clear() {
    FItems.clear();
    if (FItem) FItem->Release(FUser);
    FItem = nullptr;
}

// ---- rich text ----

namespace {
class ListFrames : public TWdImageFrames {
public:
    void LoadFromFile(void* owner_key, const std::string& name) override { list_.LoadFromFile(owner_key, name, false); }
    int32_t FrameCount() const override { return list_.Count(); }
    TCustomDIBX* CurrentSurface() override {
        TVorqImageData* d = list_.GetItem(list_.Index());
        return d ? d->GetSurface() : nullptr;
    }
    bool Step() override { return list_.Step(static_cast<int32_t>(FrameTime)); }
    void ReleaseAdjusted() override { list_.ReleaseAdjusted(); }
    void RebuildAdjusted() override { list_.RebuildAdjusted(); }

private:
    TVorqImageList list_;
};

class ListSource : public TWdImageSource {
public:
    bool FileExists(const std::string& name) override {
        return TeskCollection && TeskCollection->Source() && TeskCollection->Source()->FileExists(name);
    }
    std::unique_ptr<TWdImageFrames> CreateFrames() override { return std::make_unique<ListFrames>(); }
};
ListSource list_source;
}  // namespace

void InstallRichTextImages() { SetRichTextImageSource(&list_source); }
