#include "objects/images/tile.h"

#include "files/save_stream.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "render/custom_dibx.h"
#include "render/dibx.h"

#include <algorithm>

namespace {
// The origin of the pattern within one step: a negative scroll starts one
// whole step further left, as stored films expect (-100 at step 100 is 100).
int64_t origin_offset(int32_t scroll, int64_t step) {
    if (scroll >= 0) return scroll % step;
    return step - (-int64_t(scroll)) % step;
}

// First index k >= 0 with start + k * step + size > lo: copies before it lie
// wholly before lo and would be clipped away.
int64_t first_visible(int64_t start, int64_t step, int64_t size, int64_t lo) {
    const int64_t gap = lo - size - start;
    return gap < 0 ? 0 : gap / step + 1;
}
}  // namespace

TVorqTile::TVorqTile(TVorqBaseList* registry, int create_flags)
    : TVorqCustomImages(registry, create_flags), FList(std::make_unique<TVorqImageList>()) {}

TVorqTile::~TVorqTile() {
    // The borrowed frame goes before the list that owns it.
    SetPictureSurface(nullptr);
    SetMaskSurface(nullptr);
}

int32_t TVorqTile::Axis(bool horizontal, bool local) const {
    int32_t p = horizontal ? FLeft : FTop;
    if (GetMotion()) p = horizontal ? FMotionX : FMotionY;
    if (local || !FParent) return p;
    const int32_t base = horizontal ? WrapSub(FParent->GetScreenX(), FParent->GetScrollX())
                                    : WrapSub(FParent->GetScreenY(), FParent->GetScrollY());
    return WrapAdd(base, p);
}

int32_t TVorqTile::GetScreenX() const { return Axis(true, false); }
int32_t TVorqTile::GetScreenY() const { return Axis(false, false); }
int32_t TVorqTile::GetLocalX() const { return Axis(true, true); }
int32_t TVorqTile::GetLocalY() const { return Axis(false, true); }

void TVorqTile::ChangeStored(int32_t& field, int32_t v) {
    if (v == field) return;
    field = v;
    Invalidate();
}

void TVorqTile::SetDistanceX(int32_t v) { ChangeStored(FDistanceX, v); }
void TVorqTile::SetDistanceY(int32_t v) { ChangeStored(FDistanceY, v); }
void TVorqTile::SetScrollX(int32_t v) { ChangeStored(FScrollX, v); }
void TVorqTile::SetScrollY(int32_t v) { ChangeStored(FScrollY, v); }

void TVorqTile::SetSource(const std::string& v) {
    if (v == FSource) return;
    Invalidate();
    FSource = v;
    SetIndex(-1);
    SetPictureSurface(nullptr);
    // The tile draws only its picture: the own surface is left blank.
    if (TCustomDIBX* own = OwnSurfaceField()) {
        own->SetSize(1, 1, own->BitCount());
        own->SetTransparentColor(-1);
    }
    SetMaskSurface(nullptr);
    FList->Clear();
    if (FMotion) {
        FMotion->ClearTarget();
        FMotion.reset();
    }
    const std::string ext = AnsiLowerCase(ExtractFileExt(v));
    if (ext == ".tes") FList->LoadFromFile(this, v, false);
    else if (ext == ".vmt") AttachMotion(v);
    if (FList->Count() > 0) SetIndex(0);
}

void TVorqTile::DrawImage() {
    if (!HasPictureSurface()) return;
    TCustomDIBX* s = GetOwnSurface();
    TCustomDIBX* target = GetSurface();
    const int32_t alpha = GetAlpha(), zx = GetZoomX(), zy = GetZoomY();
    if (!s || !target || s->IsEmpty() || alpha < 1 || FWidth < 1 || FHeight < 1 || zx < 1 || zy < 1) return;
    // Levels past 255 would run over a channel's range.
    const int32_t code = std::min(alpha, 511);
    const int32_t W = s->Width(), H = s->Height();
    const TRect r = Bounds(GetScreenX(), GetScreenY(), FWidth, FHeight);
    const bool keyed = s->TransparentColor() >= 0;
    TCustomDIBX* mask = GetMaskSurface();
    const bool flipH = GetFlipH(), flipV = GetFlipV();
    // A pitch below half the picture would pile copies on copies; it is
    // taken as no pitch.
    const bool pitchX = FDistanceX >= 1 && FDistanceX >= W / 2;
    const bool pitchY = FDistanceY >= 1 && FDistanceY >= H / 2;
    if (pitchX || pitchY) {
        const int32_t stepX = pitchX ? FDistanceX : W, stepY = pitchY ? FDistanceY : H;
        if (zx == 256 && zy == 256) {
            // Unzoomed copies are plain draws: only their pieces when the
            // frame lists any, else the whole picture.
            DrawPieces(*target, *s, r, stepX, stepY, s->Pieces.empty() ? std::vector<TRect>{s->BoundsRect()}
                                                                        : s->Pieces);
        } else if (mask) {
            target->DrawTiledScaledMask(r, stepX, stepY, zx, zy, *s, s->BoundsRect(), *mask, flipH, flipV, code,
                                        FScrollX, FScrollY);
        } else {
            target->DrawTiledScaled(r, stepX, stepY, zx, zy, *s, s->BoundsRect(), keyed, flipH, flipV, code,
                                    FScrollX, FScrollY);
        }
        return;
    }
    if (zx == 256 && zy == 256 && !keyed && !mask && code == 255)
        target->FillPattern(r, *s, FScrollX, FScrollY, flipH, flipV);
    else if (mask)
        target->FillPatternZoomedMask(r, *s, FScrollX, FScrollY, zx, zy, *mask, flipH, flipV, code);
    else
        target->FillPatternZoomed(r, *s, FScrollX, FScrollY, zx, zy, keyed, flipH, flipV, code);
}

// Only the pieces of each copy are drawn, each piece placed (mirrored with
// the flips) inside its copy; the clip is set once for the whole tile.
void TVorqTile::DrawPieces(TCustomDIBX& target, TCustomDIBX& picture, const TRect& r, int64_t stepX,
                           int64_t stepY, const std::vector<TRect>& pieces) {
    const TRect saved = target.GetClipRect();
    const TRect d = IntersectRects(target.DrawClip(), r);
    if (RectIsEmpty(d)) return;
    target.ClearClipRect();
    target.AddClipRect(d);
    const int64_t ox = origin_offset(FScrollX, stepX), oy = origin_offset(FScrollY, stepY);
    const int64_t W = picture.Width(), H = picture.Height();
    const bool flipH = GetFlipH(), flipV = GetFlipV();
    TCustomDIBX* mask = GetMaskSurface();
    const int32_t code = std::min(GetAlpha(), 511);
    // Pieces come from the file: those outside the picture are cut to it.
    for (const TRect& stored : pieces) {
        const TRect piece = IntersectRects(stored, picture.BoundsRect());
        if (RectIsEmpty(piece)) continue;
        const int64_t pw = piece.Right - piece.Left, ph = piece.Bottom - piece.Top;
        int64_t y0 = int64_t(r.Top) + (flipV ? H - piece.Bottom : piece.Top) - oy;
        int64_t x0 = int64_t(r.Left) + (flipH ? W - piece.Right : piece.Left) - ox;
        y0 += first_visible(y0, stepY, ph, d.Top) * stepY;
        x0 += first_visible(x0, stepX, pw, d.Left) * stepX;
        const int64_t endY = std::min<int64_t>(r.Bottom, d.Bottom), endX = std::min<int64_t>(r.Right, d.Right);
        for (int64_t y = y0; y < endY; y += stepY)
            for (int64_t x = x0; x < endX; x += stepX)
                DrawByCode(target, int32_t(x), int32_t(y), picture, mask, piece, flipH, flipV, code);
    }
    target.ClearClipRect();
    target.SetClipRect(saved);
}

void TVorqTile::ApplyFilmTile(const TFilmTileFrame& f) {
    SetWidth(f.width);
    SetHeight(f.height);
    if (f.place.parent && !f.place.motion) SetParent(f.place.parent);
    SetPictureSurface(f.picture);
    SetMaskSurface(f.mask);
    SetTransparentColorField(f.transparent_color);
    if (TCustomDIBX* s = GetOwnSurface()) s->SetTransparentColor(s->ColorToPixel(f.transparent_color));
    SetZoomX(f.zoom_x);
    SetZoomY(f.zoom_y);
    SetPriority(f.place.priority);
    SetDistanceX(f.distance_x);
    SetDistanceY(f.distance_y);
    SetFlipH(f.flip_h);
    SetFlipV(f.flip_v);
    SetOffsetX(f.offset_x);
    SetOffsetY(f.offset_y);
    ApplyFilmPosition(*this, f.place);
    SetAlpha(f.alpha);
    SetScrollX(f.scroll_x);
    SetScrollY(f.scroll_y);
    ApplyFilmClip(*this, f.place.clip);
}

void TVorqTile::SaveToStream(TStream& s) {
    TVorqCustomImages::SaveToStream(s);
    WriteStreamInteger(s, FScrollX);
    WriteStreamInteger(s, FScrollY);
    WriteStreamString(s, FSource);
    WriteStreamString(s, FOnIdle);
    WriteStreamInteger(s, FDistanceX);
    WriteStreamInteger(s, FDistanceY);
}

void TVorqTile::LoadFromStream(TStream& s, int32_t version) {
    TVorqCustomImages::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FScrollX = r.I32("scroll x");
    FScrollY = r.I32("scroll y");
    const std::string source = r.String("source");
    FOnIdle = r.String("idle handler");
    FDistanceX = r.I32("distance x");
    FDistanceY = r.I32("distance y");
    SetSource(source);
}

void TVorqTile::ReleaseSurfaces() {
    FList->ReleaseAdjusted();
    TVorqCustomImages::ReleaseSurfaces();
}

void TVorqTile::RestoreSurfaces() {
    FList->RebuildAdjusted();
    TVorqCustomImages::RestoreSurfaces();
}
