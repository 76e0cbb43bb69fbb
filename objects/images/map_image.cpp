#include "objects/images/map_image.h"

#include "script/game_clock.h"
#include "script/param_collection.h"
#include "files/containers.h"
#include "files/hit_map.h"
#include "files/save_stream.h"
#include "files/vr_file_manager.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "platform/exception.h"
#include "platform/display/keys.h"
#include "platform/filesystem/stream.h"
#include "render/dibx.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {
// A cut mask that must be made again before it is drawn.
constexpr int32_t kUncut = std::numeric_limits<int32_t>::min();

int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// r moved by (dx, dy); far-off areas stop at the 32-bit range instead of
// wrapping round into view.
TRect moved(const TRect& r, int32_t dx, int32_t dy) {
    return TRect{clamp32(int64_t(r.Left) + dx), clamp32(int64_t(r.Top) + dy), clamp32(int64_t(r.Right) + dx),
                 clamp32(int64_t(r.Bottom) + dy)};
}

void set_selection(const std::string& text, int32_t index) {
    if (!Params) return;
    Params->sel_str = text;
    Params->sel_index = index;
}
}  // namespace

TVorqMapImage::TVorqMapImage(TVorqBaseList* registry) : TVorqControl(registry) {
    if (!registry) return;
    std::vector<TVorqControl*>& list = registry->RightClickList();
    if (std::find(list.begin(), list.end(), this) == list.end()) list.push_back(this);
}

TVorqMapImage::~TVorqMapImage() {
    if (FRegistry) {
        std::vector<TVorqControl*>& list = FRegistry->RightClickList();
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    Invalidate();
}

// ---- sources --------------------------------------------------------------------------

void TVorqMapImage::load_list(TVorqImageList& list, std::vector<CutMask>& masks, const std::string& name) {
    masks.clear();
    list.Clear();
    if (!name.empty()) {
        // A picture that cannot be decoded leaves the list empty.
        try {
            list.LoadFromFile(&list, name, true);
        } catch (const Exception&) {
            list.Clear();
        }
    }
    masks.resize(static_cast<size_t>(list.Count()));
    for (CutMask& m : masks) m.Area = kUncut;
}

void TVorqMapImage::SetSource(const std::string& v) {
    if (v == FSource) return;
    Invalidate();
    FSource = v;
    load_list(FPicture, FPictureMasks, v);
    int32_t w = 0, h = 0;
    if (FPicture.Count() > 0) {
        FPicture.SetIndex(0);
        if (TCustomDIBX* s = FPicture.GetItem(0)->GetSurface()) {
            w = s->Width();
            h = s->Height();
        }
    }
    SetWidth(w);
    SetHeight(h);
    Invalidate();
}

void TVorqMapImage::SetHoverSource(const std::string& v) {
    if (v == FHoverSource) return;
    FHoverSource = v;
    load_list(FHover, FHoverMasks, v);
    // The hovered area shows the new picture.
    invalidate_area();
}

void TVorqMapImage::SetMapSource(const std::string& v) {
    if (v == FMapSource) return;
    FMapSource = v;
    invalidate_area();
    FArea = -1;
    FRegions.clear();
    FTexts.clear();
    // Masks were cut along the old areas, whose numbers now mean others.
    for (auto* masks : {&FPictureMasks, &FHoverMasks})
        for (CutMask& m : *masks) m.Area = kUncut;
    FAreaBitsFor = -1;
    // A missing file leaves the map without areas; a damaged one is refused.
    if (v.empty() || !FileManager || !FileManager->FileExists(v)) return;
    TMemoryStream s;
    FileManager->LoadToStream(s, v);
    s.SetPosition(0);
    const std::vector<THitArea> areas = ReadHitMap(s, v);
    FRegions.reserve(areas.size());
    FTexts.reserve(areas.size());
    for (const THitArea& a : areas) {
        if (a.Shape == kHitRectangle) FRegions.push_back(TRegion::Rect(a.Left, a.Top, a.Right, a.Bottom));
        else if (a.Shape == kHitEllipse) FRegions.push_back(TRegion::Ellipse(a.Left, a.Top, a.Right, a.Bottom));
        else FRegions.push_back(TRegion::Polygon(a.Points));
        FTexts.push_back(a.Text);
    }
}

void TVorqMapImage::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    Invalidate();
}

void TVorqMapImage::SetBrightness(int32_t v) {
    if (v == FBrightness) return;
    FBrightness = v;
    Invalidate();
}

// ---- areas ----------------------------------------------------------------------------

int32_t TVorqMapImage::AreaAt(int32_t x, int32_t y) const {
    for (size_t i = 0; i < FRegions.size(); ++i)
        if (FRegions[i].Contains(x, y)) return static_cast<int32_t>(i);
    return -1;
}

void TVorqMapImage::invalidate_area() {
    if (FArea < 0 || FArea >= AreaCount() || !GetVisible()) return;
    TVorqBase* base = GetBase();
    const TRegion& region = FRegions[static_cast<size_t>(FArea)];
    if (!base || region.IsEmpty()) return;
    TRect r = moved(region.Box(), GetScreenX(), GetScreenY());
    // Nothing of the map shows outside its own rectangle.
    if (!IntersectsRect(r)) return;
    if (FParent && !FParent->IntersectsRect(r)) return;
    const TRect clip = GetClipRect();
    if (!RectIsEmpty(clip)) {
        r = IntersectRects(r, clip);
        if (RectIsEmpty(r)) return;
    }
    AdjustDirtyRect(r);
    base->AddDirtyRect(r);
}

void TVorqMapImage::SetArea(int32_t i) {
    if (i == FArea) return;
    if (FArea >= 0 && !FOnMapOut.empty()) {
        TArrayString args;
        args.Add(AreaText(FArea));
        args.Add(std::to_string(FArea));
        QueueEvent(FOnMapOut, PR_ONMAPOUT, &args);
    }
    invalidate_area();
    FArea = i;
    if (FHover.Count() > 0) FHover.SetIndex(0);
    invalidate_area();
    if (FArea >= 0 && !FOnMapIn.empty()) {
        TArrayString args;
        args.Add(AreaText(FArea));
        args.Add(std::to_string(FArea));
        QueueEvent(FOnMapIn, PR_ONMAPIN, &args);
    }
}

void TVorqMapImage::request_close() {
    set_selection(std::string(), -1);
    FPhase = kCloseRequested;
}

void TVorqMapImage::select() {
    const std::string& text = AreaText(FArea);
    set_selection(text, FArea);
    // One waiting selection per map: a second click before the handler ran
    // adds nothing.
    if (!FOnSelect.empty() && !FClosing && !EventQueued(PR_ONSELECT)) {
        TArrayString args;
        args.Add(text);
        args.Add(std::to_string(FArea));
        QueueEvent(FOnSelect, PR_ONSELECT, &args);
    }
    if (FAutoScrap) {
        FPhase = kCloseRequested;
        FClosing = 1;
    }
}

// ---- input ----------------------------------------------------------------------------

void TVorqMapImage::MouseMove() {
    if (!FClosing)
        if (TVorqBase* base = GetBase())
            SetArea(AreaAt(WrapSub(base->MouseX, GetScreenX()), WrapSub(base->MouseY, GetScreenY())));
    TVorqControl::MouseMove();
}

void TVorqMapImage::MouseOut(TVorqObject* next) {
    SetArea(-1);
    TVorqControl::MouseOut(next);
}

void TVorqMapImage::LBtnDown() {
    if (FClosing) return;
    const uint8_t m = GetIgnoreMouse();
    if ((m == 0 || m == 4) && !FPaused && FArea >= 0) select();
    TVorqControl::LBtnDown();
}

void TVorqMapImage::KeyRepeat() {
    TVorqBaseList* reg = FRegistry;
    if (!FClosing && reg) {
        const int32_t last = AreaCount() - 1;
        if (reg->GetKeyRepeat(VK_UP) || reg->GetKeyRepeat(VK_LEFT)) {
            if (last >= 0) SetArea(FArea < 1 ? last : FArea - 1);
        } else if (reg->GetKeyRepeat(VK_DOWN) || reg->GetKeyRepeat(VK_RIGHT)) {
            if (last >= 0) SetArea(FArea == -1 || FArea >= last ? 0 : FArea + 1);
        } else if ((reg->GetKeyClick(VK_RETURN) || reg->GetKeyClick(VK_SPACE)) && FArea >= 0) {
            select();
        } else if (FRClickScrap && reg->GetKeyClick(VK_ESCAPE)) {
            request_close();
        }
    }
    TVorqControl::KeyRepeat();
}

bool TVorqMapImage::RightClickScrap() {
    const uint8_t m = GetIgnoreMouse();
    if (FClosing || (m != 0 && m != 3)) return false;
    FClosing = 1;
    request_close();
    return true;
}

// ---- frames ---------------------------------------------------------------------------

const TBitMask& TVorqMapImage::area_bits(int32_t width, int32_t height) {
    const TRect clip{0, 0, width, height};
    if (FAreaBitsFor != FArea || !(FAreaBitsClip == clip)) {
        FAreaBits = FRegions[static_cast<size_t>(FArea)].Rasterise(clip);
        FAreaBitsFor = FArea;
        FAreaBitsClip = clip;
    }
    return FAreaBits;
}

TDIBX* TVorqMapImage::cut(std::vector<CutMask>& masks, const TVorqImageList& list, bool inside_area) {
    const int32_t index = list.Index();
    TVorqImageData* frame = list.GetItem(index);
    if (!frame || index >= static_cast<int32_t>(masks.size())) return nullptr;
    TCustomDIBX* image = frame->GetSurface();
    if (!image || image->IsEmpty()) return nullptr;
    CutMask& m = masks[static_cast<size_t>(index)];
    if (m.Mask && m.Area == FArea) return m.Mask.get();
    const int32_t w = image->Width(), h = image->Height();
    if (!m.Mask) m.Mask = std::make_unique<TDIBX>();
    if (m.Mask->Width() != w || m.Mask->Height() != h || m.Mask->BitCount() != 8) m.Mask->SetSize(w, h, 8);
    // A frame whose picture has neither mask nor colour key is opaque: its
    // copy is made all 255, so that cutting still works.
    TCustomDIBX* cached = frame->GetMask();
    if (cached && (cached->BitCount() != 8 || cached->Width() != w || cached->Height() != h)) cached = nullptr;
    uint8_t* dst = m.Mask->Lock(0, 0);
    const uint8_t* src = cached ? cached->Lock(0, 0) : nullptr;
    if (dst) {
        const int64_t dp = m.Mask->Pitch(), sp = cached ? cached->Pitch() : 0;
        auto as_loaded = [&](int32_t y, int32_t x0, int32_t x1) {
            uint8_t* out = dst + dp * y + x0;
            if (src) std::memcpy(out, src + sp * y + x0, size_t(x1 - x0));
            else std::memset(out, 255, size_t(x1 - x0));
        };
        const bool cutting = FArea >= 0 && FArea < AreaCount();
        for (int32_t y = 0; y < h; ++y) {
            if (cutting && inside_area) std::memset(dst + dp * y, 0, size_t(w));
            else as_loaded(y, 0, w);
        }
        if (cutting) {
            area_bits(w, h).ForEachRun([&](int32_t y, int32_t x0, int32_t x1) {
                if (inside_area) as_loaded(y, x0, x1);
                else std::memset(dst + dp * y + x0, 0, size_t(x1 - x0));
            });
        }
    }
    if (src) cached->Unlock();
    if (dst) m.Mask->Unlock();
    m.Area = FArea;
    return m.Mask.get();
}

void TVorqMapImage::Draw() {
    if (TVorqImageData* d = FPicture.GetItem(FPicture.Index())) {
        TDIBX* mask = cut(FPictureMasks, FPicture, false);
        if (d->GetBrightness() != FBrightness) d->SetBrightness(FBrightness);
        d->DrawFor(*this, mask);
    }
    if (FArea >= 0)
        if (TVorqImageData* d = FHover.GetItem(FHover.Index())) {
            TDIBX* mask = cut(FHoverMasks, FHover, true);
            if (d->GetBrightness() != FBrightness) d->SetBrightness(FBrightness);
            d->DrawFor(*this, mask);
        }
    TVorqControl::Draw();
}

bool TVorqMapImage::Update() {
    bool r = TVorqControl::Update();
    if (FPhase == kCloseRequested) {
        FClosing = 1;
        FPhase = kClosing;
    } else if (FPhase == kClosing) {
        r = true;
    } else if (!GetAniPaused()) {
        if (FPicture.Step(static_cast<int32_t>(FrameTime))) Invalidate();
        if (FArea >= 0 && FHover.Step(static_cast<int32_t>(FrameTime))) invalidate_area();
    }
    return r;
}

// ---- record and surfaces --------------------------------------------------------------

void TVorqMapImage::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamString(s, FHoverSource);
    WriteStreamString(s, FMapSource);
    WriteStreamInteger(s, FAlpha);
    WriteStreamInteger(s, FBrightness);
    WriteStreamString(s, FOnMapIn);
    WriteStreamString(s, FOnMapOut);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamByte(s, FRClickScrap);
    WriteStreamString(s, FOnIdle);
    WriteStreamByte(s, FPaused);
    WriteStreamString(s, FOnSelect);
    WriteStreamInteger(s, FPhase);
}

void TVorqMapImage::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    const std::string hover = r.String("hover source");
    const std::string map = r.String("map source");
    const int32_t alpha = r.I32("alpha");
    const int32_t brightness = r.I32("brightness");
    FOnMapIn = r.String("map-in handler");
    FOnMapOut = r.String("map-out handler");
    FAutoScrap = r.U8("auto scrap");
    FRClickScrap = r.U8("right-click scrap");
    if (version >= 104) {
        FOnIdle = r.String("idle handler");
        FPaused = r.U8("paused");
        FOnSelect = r.String("select handler");
    }
    if (version >= 115) FPhase = r.I32("phase");
    SetSource(source);
    SetHoverSource(hover);
    SetMapSource(map);
    FAlpha = alpha;
    FBrightness = brightness;
    // Neither the area under the pointer nor the closing flag is saved.
    FArea = -1;
    FClosing = 0;
}

void TVorqMapImage::ReleaseSurfaces() {
    FPicture.ReleaseAdjusted();
    FHover.ReleaseAdjusted();
    TVorqControl::ReleaseSurfaces();
}

void TVorqMapImage::RestoreSurfaces() {
    FPicture.RebuildAdjusted();
    FHover.RebuildAdjusted();
    // The cache decoded its frames again: the masks are cut anew.
    for (auto* masks : {&FPictureMasks, &FHoverMasks})
        for (CutMask& m : *masks) m.Area = kUncut;
    TVorqControl::RestoreSurfaces();
}
