#include "objects/images/image.h"

#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/film_target.h"
#include "objects/images/image_list.h"
#include "objects/object_record.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr long double kPi = 3.14159265358979323846264338327950288L;

// (n x 65536) div s, plus one when the remainder passes the threshold.
int64_t scaled_edge(int64_t n, int64_t s, int64_t threshold) {
    const int64_t q = n * 65536 / s, r = n * 65536 % s;
    return q + (r > threshold ? 1 : 0);
}
}  // namespace

// ---- TVorqCustomImage ----

TVorqCustomImage::TVorqCustomImage(TVorqBaseList* registry, int create_flags)
    : TVorqControl(registry, create_flags) {
    MakeOwnSurface();
}

TVorqCustomImage::~TVorqCustomImage() { Invalidate(); }

void TVorqCustomImage::MakeOwnSurface() {
    if (DeviceSurfacesAllowed()) FOwn = std::make_unique<TDxDIBX>();
    else FOwn = std::make_unique<TDIBX>();
    const int32_t bits = FRegistry ? FRegistry->CurrentSurfaceBits() : DisplayBitCount();
    FOwn->SetSize(1, 1, bits > 0 ? bits : DisplayBitCount());
}

TRect TVorqCustomImage::GetRect() const {
    if ((FAngle & 0xFF) == 0) return TVorqControl::GetRect();
    TPoint anchor, pivot;
    GetDrawAnchor(anchor, pivot);
    const TCustomDIBX* s = GetOwnSurface();
    const int32_t w = s ? s->Width() : 1, h = s ? s->Height() : 1;
    // The pivot is the one the drawing uses, so the bounds cover what is drawn.
    TDIBX probe;
    const TCustomDIBX& measure = s ? *s : probe;
    return measure.GetRotatedBounds(anchor.X, anchor.Y, w, h, pivot.X, pivot.Y, FZoomX, FZoomY, FAngle & 0xFF,
                                    FFlipH != 0, FFlipV != 0);
}

void TVorqCustomImage::SetWidth(int32_t v) {
    TVorqControl::SetWidth(v);
    if (IsSizedByImage()) FZoomX = 0;
}

void TVorqCustomImage::SetHeight(int32_t v) {
    TVorqControl::SetHeight(v);
    if (IsSizedByImage()) FZoomY = 0;
}

int32_t TVorqCustomImage::GetOrigWidth() const {
    const TCustomDIBX* s = GetOwnSurface();
    return s ? s->Width() : 0;
}

int32_t TVorqCustomImage::GetOrigHeight() const {
    const TCustomDIBX* s = GetOwnSurface();
    return s ? s->Height() : 0;
}

void TVorqCustomImage::RaiseRelayout() {
    FRelayout = 1;
    for (TVorqControl* c : FChildren)
        if (c->GetPosZoomed())
            if (auto* img = dynamic_cast<TVorqCustomImage*>(c)) img->SetNeedsRelayout(true);
}

void TVorqCustomImage::SetZoomX(int32_t v) {
    Invalidate();
    FZoomX = v < 1 ? 1 : v;
    RaiseRelayout();
}

void TVorqCustomImage::SetZoomY(int32_t v) {
    Invalidate();
    FZoomY = v < 1 ? 1 : v;
    RaiseRelayout();
}

void TVorqCustomImage::SetPosZoomed(bool v) {
    TVorqControl::SetPosZoomed(v);
    RaiseRelayout();
}

void TVorqCustomImage::SetPictureSurface(TCustomDIBX* s) {
    if (s == FPicture) return;
    Invalidate();
    FPicture = s;
    Invalidate();
}

void TVorqCustomImage::SetMaskSurface(TCustomDIBX* s) {
    if (s == FMask) return;
    Invalidate();
    FMask = s;
    Invalidate();
}

void TVorqCustomImage::SetFlipH(bool v) {
    if (v == (FFlipH != 0)) return;
    Invalidate();
    FFlipH = v;
    RecalcWidth();
    Invalidate();
}

void TVorqCustomImage::SetFlipV(bool v) {
    if (v == (FFlipV != 0)) return;
    Invalidate();
    FFlipV = v;
    RecalcHeight();
    Invalidate();
}

void TVorqCustomImage::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    Invalidate();
    FAlpha = v;
    Invalidate();
}

void TVorqCustomImage::SetAngle(int32_t v) {
    if (v == FAngle) return;
    Invalidate();
    FAngle = v;
    Invalidate();
}

void TVorqCustomImage::Recalc(bool horizontal) {
    if (!IsSizedByImage()) return;
    auto store = [&](int64_t v) {
        if (horizontal) TVorqControl::SetWidth(static_cast<int32_t>(v));
        else TVorqControl::SetHeight(static_cast<int32_t>(v));
    };
    TCustomDIBX* s = GetOwnSurface();
    if (GetSource().empty() && !FPicture) {
        store(0);
        return;
    }
    const int32_t zoom = horizontal ? FZoomX : FZoomY;
    const int64_t w = s ? (horizontal ? s->Width() : s->Height()) : 0;
    TVorqControl* parent = FParent;
    TCustomDIBX* ps = parent ? parent->GetOwnSurface() : nullptr;
    const int32_t parent_size = parent ? (horizontal ? parent->GetWidth() : parent->GetHeight()) : 0;
    const int32_t parent_zoom = parent ? (horizontal ? parent->GetZoomX() : parent->GetZoomY()) : 0;
    // A parent of no size gives no scale: the plain zoom rule applies.
    if (FPosZoomed && parent && !parent->IsLayer() && ps && parent_zoom == zoom && s && !GetMotion() &&
        parent_size > 0) {
        const int64_t P = horizontal ? ps->Width() : ps->Height();
        const long double ratio = static_cast<long double>(P) / parent_size * 65536.0L;
        int64_t scale = ratio >= 9.0e18L ? INT64_MAX / 65536 : static_cast<int64_t>(std::trunc(ratio));
        if (scale < 1) scale = 1;
        const int64_t L = int64_t(horizontal ? FLeft : FTop) - (horizontal ? FOffsetX : FOffsetY);
        const bool flip = horizontal ? FFlipH != 0 : FFlipV != 0;
        int64_t a, b;
        if (!flip) {
            a = scaled_edge(L, scale, 32767);
            b = scaled_edge(w + L, scale, 0);
        } else {
            a = scaled_edge(P - L - w, scale, 32767);
            b = scaled_edge(P - L, scale, 0);
        }
        store(b - a);
        return;
    }
    store(w * zoom / 256);
}

void TVorqCustomImage::GetDrawAnchor(TPoint& anchor, TPoint& pivot) const {
    anchor = GetDrawPos();
    pivot = TPoint{FOffsetX, FOffsetY};
    if (const TCustomDIBX* s = GetOwnSurface()) {
        if (FFlipH) pivot.X = WrapSub(s->Width() - 1, pivot.X);
        if (FFlipV) pivot.Y = WrapSub(s->Height() - 1, pivot.Y);
    }
}

void TVorqCustomImage::Invalidate() {
    const TCustomDIBX* s = GetOwnSurface();
    if (!s || s->IsEmpty()) return;
    TVorqControl::Invalidate();
}

void TVorqCustomImage::Draw() {
    TCustomDIBX* s = GetOwnSurface();
    if (!s) return;
    if (!s->IsEmpty()) DrawImage();
    TVorqControl::Draw();
}

void TVorqCustomImage::DrawImage() {
    TCustomDIBX* s = GetOwnSurface();
    TCustomDIBX* target = GetSurface();
    if (!s || !target || s->IsEmpty() || FAlpha <= 0 || FWidth <= 0 || FHeight <= 0) return;
    const bool flipH = FFlipH != 0, flipV = FFlipV != 0;
    if ((FAngle & 0xFF) == 0) {
        const int32_t x = GetScreenX(), y = GetScreenY();
        DrawUnrotated(*target, *s, x, y);
        return;
    }
    TPoint anchor, pivot;
    GetDrawAnchor(anchor, pivot);
    RotateByCode(*target, anchor, FZoomX, FZoomY, *s, FMask, pivot, FAngle, flipH, flipV, FAlpha);
}

void TVorqCustomImage::DrawUnrotated(TCustomDIBX& target, TCustomDIBX& picture, int32_t x, int32_t y) {
    const bool flipH = FFlipH != 0, flipV = FFlipV != 0;
    if (picture.Width() == FWidth && picture.Height() == FHeight) {
        if (!picture.Pieces.empty() && !dynamic_cast<TDIBXWave*>(&target)) DrawPieces(target, picture, x, y);
        else DrawByCode(target, x, y, picture, FMask, picture.BoundsRect(), flipH, flipV, FAlpha);
    } else
        StretchByCode(target, Bounds(x, y, FWidth, FHeight), picture, FMask, flipH, flipV, FAlpha);
}

// Only the pixels inside the picture's pieces are drawn: each piece narrows
// the target's clip and the whole picture is drawn through it.
void TVorqCustomImage::DrawPieces(TCustomDIBX& target, TCustomDIBX& picture, int32_t x, int32_t y) {
    const TRect saved = target.GetClipRect();
    const TRect limit = target.DrawClip();
    const int64_t w = picture.Width(), h = picture.Height();
    auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    // Copied: the pieces belong to the picture, which a draw must not change.
    const std::vector<TRect> pieces = picture.Pieces;
    for (const TRect& p : pieces) {
        const int64_t left = FFlipH ? x + w - p.Right : int64_t(x) + p.Left;
        const int64_t right = FFlipH ? x + w - p.Left : int64_t(x) + p.Right;
        const int64_t top = FFlipV ? y + h - p.Bottom : int64_t(y) + p.Top;
        const int64_t bottom = FFlipV ? y + h - p.Top : int64_t(y) + p.Bottom;
        const TRect c = IntersectRects(TRect{clamp(left), clamp(top), clamp(right), clamp(bottom)}, limit);
        if (RectIsEmpty(c)) continue;
        target.ClearClipRect();
        target.AddClipRect(c);
        DrawByCode(target, x, y, picture, FMask, picture.BoundsRect(), FFlipH != 0, FFlipV != 0, FAlpha);
    }
    target.ClearClipRect();
    target.SetClipRect(saved);
}

bool TVorqCustomImage::MaskHit(int32_t x, int32_t y) const {
    if (!FCaptureMask || !FMask) return true;
    if (FFlipH) x = WrapSub(FMask->Width() - 1, x);
    if (FFlipV) y = WrapSub(FMask->Height() - 1, y);
    if (x < 0 || y < 0 || x >= FMask->Width() || y >= FMask->Height()) return false;
    return (FMask->GetPixel(x, y) & 0xFF) >= 128;
}

bool TVorqCustomImage::HitTestPixel(const TPoint& p) const {
    const TRect r = GetRect();
    if (!PointInRect(p, r)) return false;
    if (!FCaptureMask || !FMask) return true;
    // After an explicit size the zoom is 0: the explicit size is the scale.
    const int64_t dx = int64_t(p.X) - r.Left, dy = int64_t(p.Y) - r.Top;
    const int64_t x = FZoomX > 0 ? dx * 256 / FZoomX : (FWidth > 0 ? dx * FMask->Width() / FWidth : -1);
    const int64_t y = FZoomY > 0 ? dy * 256 / FZoomY : (FHeight > 0 ? dy * FMask->Height() / FHeight : -1);
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return false;
    return MaskHit(static_cast<int32_t>(x), static_cast<int32_t>(y));
}

bool TVorqCustomImage::HitTestRotated(const TPoint& p) const {
    const TPoint c = GetDrawPos();
    const long double t = -static_cast<long double>(FAngle & 0xFF) * 2.0L * kPi / 256.0L;
    const long double dx = static_cast<long double>(p.X) - c.X, dy = static_cast<long double>(p.Y) - c.Y;
    const long double xr = std::nearbyint(dx * std::cos(t) - dy * std::sin(t) + c.X);
    const long double yr = std::nearbyint(dx * std::sin(t) + dy * std::cos(t) + c.Y);
    const TRect r = TVorqControl::GetRect();
    if (xr < r.Left || xr >= r.Right || yr < r.Top || yr >= r.Bottom) return false;
    const TPoint q{static_cast<int32_t>(xr), static_cast<int32_t>(yr)};
    if (!FCaptureMask || !FMask) return true;
    const int64_t qx = int64_t(q.X) - r.Left, qy = int64_t(q.Y) - r.Top;
    const int64_t x = FZoomX > 0 ? qx * 256 / FZoomX : (FWidth > 0 ? qx * FMask->Width() / FWidth : -1);
    const int64_t y = FZoomY > 0 ? qy * 256 / FZoomY : (FHeight > 0 ? qy * FMask->Height() / FHeight : -1);
    return MaskHit(static_cast<int32_t>(x), static_cast<int32_t>(y));
}

TVorqObject* TVorqCustomImage::HitTest(const TPoint& p, uint32_t mask) {
    if (!GetVisible() || !PointInRect(p, GetRect())) return nullptr;
    for (size_t i = FChildren.size(); i-- > 0;)
        if (TVorqObject* hit = FChildren[i]->HitTest(p, mask)) return hit;
    const uint8_t m = GetIgnoreMouse();
    if (m >= 8 || !((mask >> m) & 1)) return nullptr;
    const bool hit = (FAngle & 0xFF) == 0 ? HitTestPixel(p) : HitTestRotated(p);
    return hit ? this : nullptr;
}

bool TVorqCustomImage::Update() {
    const bool r = TVorqControl::Update();
    if (FRelayout) {
        FRelayout = 0;
        Invalidate();
        RecalcWidth();
        RecalcHeight();
        Invalidate();
    }
    return r;
}

void TVorqCustomImage::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamInteger(s, FAlpha);
    WriteStreamInteger(s, FZoomX);
    WriteStreamInteger(s, FAngle);
    WriteStreamByte(s, FFlipH);
    WriteStreamByte(s, FFlipV);
    WriteStreamByte(s, FCaptureMask);
    WriteStreamInteger(s, FZoomY);
}

void TVorqCustomImage::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FAlpha = r.I32("alpha");
    FZoomX = r.I32("zoom x");
    FAngle = r.I32("angle");
    FFlipH = r.U8("flip h");
    FFlipV = r.U8("flip v");
    FCaptureMask = r.U8("capture mask");
    if (version >= 104) FZoomY = r.I32("zoom y");
}

void TVorqCustomImage::ReleaseSurfaces() {
    FPicture = nullptr;
    FOwn.reset();
    TVorqControl::ReleaseSurfaces();
}

void TVorqCustomImage::RestoreSurfaces() {
    MakeOwnSurface();
    TVorqControl::RestoreSurfaces();
}

// ---- TVorqImage ----

TVorqImage::TVorqImage(TVorqBaseList* registry, int create_flags) : TVorqCustomImage(registry, create_flags) {}

void TVorqImage::SetSource(const std::string& v) {
    if (v == FSource) return;
    FSource = v;
    LoadPicture();
}

void TVorqImage::SetBrightness(int32_t v) {
    v = v < 0 ? 0 : v > 255 ? 255 : v;
    if (v == FBrightness) return;
    FBrightness = v;
    LoadPicture();
}

void TVorqImage::LoadPicture() {
    Invalidate();
    TCustomDIBX* own = OwnSurfaceField();
    if (!own) return;
    if (FSource.empty() || !TeskCollection) {
        own->SetSize(1, 1, own->BitCount());
        own->SetTransparentColor(-1);
        FWidth = FHeight = 0;
        return;
    }
    TTeskItem* item = TeskCollection->Acquire(this, FSource, false, false);
    FWidth = static_cast<int32_t>(int64_t(GetZoomX()) * item->Width / 256);
    FHeight = static_cast<int32_t>(int64_t(GetZoomY()) * item->Height / 256);
    if (!item->Frames.empty() && item->Frames[0]->Image) {
        TCustomDIBX& frame = *item->Frames[0]->Image;
        // The own surface takes the picture's size first, so that the whole
        // picture is shown.
        own->SetSize(frame.Width(), frame.Height(), frame.BitCount());
        own->ClearClipRect();
        own->CopyFrom(frame);
        own->SetTransparentColor(frame.TransparentColor());
        // The copy shows the same pixels: the frame's pieces still cover them.
        own->Pieces = frame.Pieces;
        own->Pieces2 = frame.Pieces2;
    }
    item->Release(this);
    if (!own->IsEmpty() && FBrightness < 255) {
        const int32_t d = 255 - FBrightness;
        const uint32_t grey = static_cast<uint32_t>(own->ColorToPixel(d | d << 8 | d << 16));
        // Keyed pixels stay the key, and no darkened pixel may become it:
        // the transparent parts stay transparent and only they.
        const int32_t key = own->TransparentColor();
        const int32_t w = own->Width(), h = own->Height();
        std::vector<uint8_t> keyed;
        if (key >= 0) {
            keyed.resize(size_t(w) * size_t(h));
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    keyed[size_t(y) * size_t(w) + size_t(x)] = own->GetPixel(x, y) == uint32_t(key);
        }
        own->FillRectSub(own->BoundsRect(), grey);
        if (key >= 0)
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) {
                    const bool was_key = keyed[size_t(y) * size_t(w) + size_t(x)] != 0;
                    const uint32_t p = own->GetPixel(x, y);
                    if (was_key) own->SetPixel(x, y, uint32_t(key));
                    else if (p == uint32_t(key)) own->SetPixel(x, y, p ^ 1u);
                }
    }
    Invalidate();
}

void TVorqImage::SaveToStream(TStream& s) {
    TVorqCustomImage::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamInteger(s, FBrightness);
}

void TVorqImage::LoadFromStream(TStream& s, int32_t version) {
    TVorqCustomImage::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    const int32_t brightness = r.I32("brightness");
    SetSource(source);
    SetBrightness(brightness);
}

void TVorqImage::RestoreSurfaces() {
    TVorqCustomImage::RestoreSurfaces();
    if (!HasPictureSurface()) LoadPicture();
}

void TVorqImage::ApplyFilmFrame(const TFilmImageFrame& f) {
    SetPictureSurface(f.picture);
    if (f.picture) {
        if (GetZoomX() == 256) TVorqControl::SetWidth(f.picture->Width());
        if (GetZoomY() == 256) TVorqControl::SetHeight(f.picture->Height());
    }
    if (f.parent) SetParent(f.parent);
    SetMaskSurface(f.mask);
    SetTransparentColorField(f.transparent_color);
    if (TCustomDIBX* s = GetOwnSurface()) s->SetTransparentColor(s->ColorToPixel(f.transparent_color));
    SetZoomX(f.zoom_x);
    SetZoomY(f.zoom_y);
    SetPriority(f.priority);
    SetFlipH(f.flip_h);
    SetFlipV(f.flip_v);
    SetOffsetX(f.offset_x);
    SetOffsetY(f.offset_y);
    SetLeft(f.left);
    SetTop(f.top);
    SetAngle(f.angle);
    SetAlpha(f.alpha);
    ApplyFilmClip(*this, f.clip);
}
