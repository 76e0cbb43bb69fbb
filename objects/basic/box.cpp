#include "objects/basic/box.h"

#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"
#include "render/custom_dibx.h"

namespace {
bool is_motion_file(const std::string& name) {
    const std::string ext = AnsiLowerCase(ExtractFileExt(name));
    return ext == ".vmt";
}

// One rectangle by the alpha rule: opaque, weighted blend or saturating add.
void fill_by_alpha(TCustomDIBX& s, const TRect& r, int32_t color, int32_t alpha) {
    if (alpha == 255)
        s.FillRect(r, static_cast<uint32_t>(s.ColorToPixel(color)));
    else if (alpha < 255)
        s.FillRectAlpha(r, static_cast<uint32_t>(s.ColorToPixel(color)), alpha);
    else
        s.FillRectAdd(r, static_cast<uint32_t>(s.ColorToPixel(AdditiveBoxColor(color, alpha))));
}

void frame_by_alpha(TCustomDIBX& s, const TRect& r, int32_t width, int32_t color, int32_t alpha) {
    if (alpha == 255)
        s.FrameRect(r, width, static_cast<uint32_t>(s.ColorToPixel(color)));
    else if (alpha < 255)
        s.FrameRectAlpha(r, width, static_cast<uint32_t>(s.ColorToPixel(color)), alpha);
    else
        s.FrameRectAdd(r, width, static_cast<uint32_t>(s.ColorToPixel(AdditiveBoxColor(color, alpha))));
}
}  // namespace

int32_t AdditiveBoxColor(int32_t color, int32_t alpha) {
    const uint32_t k = static_cast<uint32_t>(alpha - 256) & 0xFF;
    const uint32_t c = static_cast<uint32_t>(color);
    const uint32_t r = ((c & 0xFF) * k) >> 8, g = (((c >> 8) & 0xFF) * k) >> 8, b = (((c >> 16) & 0xFF) * k) >> 8;
    return static_cast<int32_t>(r | g << 8 | b << 16);
}

TVorqBox::TVorqBox(TVorqBaseList* registry) : TVorqControl(registry) {}

TVorqBox::~TVorqBox() { Invalidate(); }

void TVorqBox::SetBorderWidth(int32_t v) {
    if (v == FBorderWidth) return;
    FBorderWidth = v;
    Invalidate();
}

void TVorqBox::SetBorderColor(int32_t v) {
    if (v == FBorderColor) return;
    FBorderColor = v;
    Invalidate();
}

void TVorqBox::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    Invalidate();
}

void TVorqBox::TakeParentView(TFilmParentView& v) const {
    v = TFilmParentView{};
    v.parent = FParent;
    if (!FParent || !FParent->GetVisible()) return;
    v.base = FParent->GetBase();
    if (!v.base) return;
    v.shown = true;
    v.term_x = int64_t(FParent->GetScreenX()) - FParent->GetScrollX();
    v.term_y = int64_t(FParent->GetScreenY()) - FParent->GetScrollY();
    v.rect = FParent->GetRect();
}

// Invalidate with the parent's part from v (the box's own getters are the
// control's: the class is final).
void TVorqBox::InvalidateIn(const TFilmParentView& v) {
    if (!FVisible || !v.shown) return;
    const int32_t x = ScreenAxisFrom(true, v.term_x), y = ScreenAxisFrom(false, v.term_y);
    TRect r = IntersectRects(Bounds(x, y, FWidth, FHeight), v.rect);
    if (RectIsEmpty(r)) return;
    if (FClipWidth > 0 && FClipHeight > 0) {
        r = IntersectRects(r, Bounds(WrapAdd(x, FClipLeft), WrapAdd(y, FClipTop), FClipWidth, FClipHeight));
        if (RectIsEmpty(r)) return;
    }
    FParent->AdjustDirtyRect(r);
    v.base->AddDirtyRect(r);
}

bool TVorqBox::ApplyFilmBox(const TFilmBoxFrame& f) {
    const TFilmPlacement& p = f.place;
    SetParent(p.parent);
    const bool moved = p.left != FLeft || p.top != FTop || f.width != FWidth || f.height != FHeight;
    const bool restyled = p.priority != FPriority || f.alpha != FAlpha || f.color != FColor ||
                          f.border_width != FBorderWidth || f.border_color != FBorderColor;
    // Priority, alpha, colours and border all draw inside the rectangle: the
    // setters one by one would add the new area again for each of them,
    // which the dirty list takes as already there.
    if (moved || restyled) {
        TFilmParentView own;
        TFilmParentView& view = f.parent_view ? *f.parent_view : own;
        if (view.parent != FParent || !FParent) TakeParentView(view);
        if (moved) {
            InvalidateIn(view);
            FLeft = p.left;
            FTop = p.top;
            FWidth = f.width;
            FHeight = f.height;
        }
        InvalidateIn(view);
    }
    if (p.priority != FPriority) {
        FPriority = p.priority;
        FOrder = 0;
        ResortParent();
    }
    FAlpha = f.alpha;
    FColor = f.color;
    FBorderWidth = f.border_width;
    FBorderColor = f.border_color;
    const TRect& c = p.clip;
    if (c.Left != FClipLeft || c.Top != FClipTop || WrapSub(c.Right, c.Left) != FClipWidth ||
        WrapSub(c.Bottom, c.Top) != FClipHeight)
        ApplyFilmClip(*this, c);
    return true;
}

void TVorqBox::SetSource(const std::string& v) {
    if (v == FSource) return;
    FSource = v;
    if (FMotion) {
        FMotion->ClearTarget();
        FMotion.reset();
    }
    if (is_motion_file(v)) AttachMotion(v);
}

void TVorqBox::SetRepeat(bool v) {
    if (v == (FRepeat != 0)) return;
    FRepeat = v;
    if (v && FMotion && FMotion->Ended()) RestartMotion();
}

void TVorqBox::Draw() {
    TCustomDIBX* s = GetSurface();
    if (s && GetVisible() && FAlpha > 0 && FAlpha < 512) {
        const TRect r = GetRect();
        if (FBorderWidth <= 0) {
            if (FColor >= 0) fill_by_alpha(*s, r, FColor, FAlpha);
        } else {
            if (FBorderColor >= 0) frame_by_alpha(*s, r, FBorderWidth, FBorderColor, FAlpha);
            if (FColor >= 0) {
                // Widths are i32 each: the inner size is worked out wide.
                const int64_t w = int64_t(FWidth) - 2 * int64_t(FBorderWidth);
                const int64_t h = int64_t(FHeight) - 2 * int64_t(FBorderWidth);
                if (w > 0 && h > 0)
                    fill_by_alpha(*s,
                                  Bounds(static_cast<int32_t>(int64_t(GetScreenX()) + FBorderWidth),
                                         static_cast<int32_t>(int64_t(GetScreenY()) + FBorderWidth),
                                         static_cast<int32_t>(w), static_cast<int32_t>(h)),
                                  FColor, FAlpha);
            }
        }
    }
    TVorqControl::Draw();
}

void TVorqBox::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamInteger(s, FBorderWidth);
    WriteStreamInteger(s, FBorderColor);
    WriteStreamInteger(s, FAlpha);
    WriteStreamString(s, FOnIdle);
    WriteStreamString(s, FSource);
    WriteStreamByte(s, FRepeat);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamString(s, FOnPlayEnd);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FAniPaused);
}

void TVorqBox::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    FBorderWidth = r.I32("border width");
    FBorderColor = r.I32("border colour");
    FAlpha = r.I32("alpha");
    if (version < 104) return;
    FOnIdle = r.String("idle handler");
    // Through the setter, so that a motion file attaches again from its start.
    const std::string source = r.String("source");
    FRepeat = r.U8("repeat");
    FAutoScrap = r.U8("auto scrap");
    FOnPlayEnd = r.String("play-end handler");
    FPaused = r.U8("paused");
    FAniPaused = r.U8("animation paused");
    SetSource(source);
}
