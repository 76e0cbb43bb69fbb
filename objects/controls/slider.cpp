#include "objects/controls/slider.h"

#include "script/game_clock.h"
#include "files/containers.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "platform/exception.h"
#include "render/custom_dibx.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int32_t kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39, kKeyDown = 40;
// First repeat of a held button or page, and the pitch after it (ms).
constexpr int32_t kFirstRepeat = 300, kRepeatPitch = 50;

int32_t clamp_i32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

int32_t limit(int64_t v, int32_t min, int32_t max) {
    if (v > max) v = max;
    if (v < min) v = min;
    return static_cast<int32_t>(v);
}

TTeskItem* acquire(void* user, const std::string& name) {
    if (name.empty() || !TeskCollection) return nullptr;
    // A picture that cannot be decoded leaves its part at 0 x 0 rather than
    // stopping the scene.
    try {
        return TeskCollection->Acquire(user, name, false, false);
    } catch (const Exception&) {
        return nullptr;
    }
}

const TTeskItemFrame* first_frame(const TTeskItem* item) {
    return item && item->GetFrameCount() > 0 ? item->Frames[0].get() : nullptr;
}

// Inside r, and on an opaque enough mask pixel when the picture has a mask;
// (cell_x, cell_y) is where the tested cell starts in the picture and the
// offset wraps at (wrap_w, wrap_h) where the part is tiled.
bool part_hit(const TPoint& p, const TRect& r, const TTeskItem* item, bool use_mask, int32_t cell_x,
              int32_t wrap_w, int32_t wrap_h) {
    if (!PointInRect(p, r)) return false;
    const TTeskItemFrame* f = first_frame(item);
    if (!use_mask || !f || !f->Mask) return true;
    int64_t x = int64_t(p.X) - r.Left, y = int64_t(p.Y) - r.Top;
    if (wrap_w > 0) x %= wrap_w;
    if (wrap_h > 0) y %= wrap_h;
    x += cell_x;
    if (x < 0 || y < 0 || x >= f->Mask->Width() || y >= f->Mask->Height()) return false;
    return (f->Mask->GetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y)) & 0xFF) >= 128;
}
}  // namespace

int32_t SliderValueAt(int32_t min, int32_t max, int64_t length, int64_t distance, int32_t current) {
    if (length <= 0) return current;
    const long double range = static_cast<long double>(int64_t(max) - int64_t(min));
    const long double v = std::nearbyint(range / static_cast<long double>(length) * static_cast<long double>(distance));
    if (!(v < 1e12L)) return max;
    if (!(v > -1e12L)) return min;
    return limit(static_cast<int64_t>(v) + min, min, max);
}

int32_t SliderThumbOffset(int32_t min, int32_t max, int32_t value, int64_t length) {
    const int64_t range = int64_t(max) - int64_t(min);
    if (range <= 0) return 0;
    const long double q = static_cast<long double>(int64_t(value) - min) / static_cast<long double>(range);
    return clamp_i32(static_cast<int64_t>(std::nearbyint(q * static_cast<long double>(length))));
}

// ---- TVorqSlider ----

TVorqSlider::TVorqSlider(TVorqBaseList* registry) : TVorqControl(registry) {}

TVorqSlider::~TVorqSlider() {
    Invalidate();
    for (TTeskItem* item : {FBar, FThumb, FButton})
        if (item) item->Release(this);
}

void TVorqSlider::recompute_parts() {
    const TTeskItemFrame* bar = first_frame(FBar);
    FBarW = bar ? FBar->Width / 2 : 0;
    FBarH = bar ? FBar->Height : 0;
    if (bar && FBarSize > 0) (vertical() ? FBarH : FBarW) = FBarSize;
    const bool thumb = first_frame(FThumb) != nullptr;
    FThumbW = thumb ? FThumb->Width / 3 : 0;
    FThumbH = thumb ? FThumb->Height : 0;
    const bool button = first_frame(FButton) != nullptr;
    FButtonW = button ? FButton->Width / 6 : 0;
    FButtonH = button ? FButton->Height : 0;
}

void TVorqSlider::set_part(std::string& source, TTeskItem*& item, const std::string& v) {
    if (v == source) return;
    source = v;
    if (item) item->Release(this);
    item = acquire(this, v);
    recompute_parts();
    UpdateSize();
}

void TVorqSlider::SetSource(const std::string& v) { set_part(FSource, FBar, v); }
void TVorqSlider::SetThumbSource(const std::string& v) { set_part(FThumbSource, FThumb, v); }
void TVorqSlider::SetButtonSource(const std::string& v) { set_part(FButtonSource, FButton, v); }

void TVorqSlider::SetMin(int32_t v) {
    if (v == FMin) return;
    FMin = v;
    UpdateThumb();
}

void TVorqSlider::SetMax(int32_t v) {
    if (v == FMax) return;
    FMax = v;
    UpdateThumb();
}

int32_t TVorqSlider::GetValue() const {
    if (FValue < FMin) return FMin;
    return FValue < FMax ? FValue : FMax;
}

void TVorqSlider::SetValue(int32_t v) {
    if (v == FValue) return;
    FValue = v;
    UpdateThumb();
}

void TVorqSlider::SetOrientation(int32_t v) {
    const uint8_t o = static_cast<uint8_t>(v);
    if (o == FOrientation) return;
    FOrientation = o;
    recompute_parts();
    UpdateSize();
}

void TVorqSlider::SetBarSize(int32_t v) {
    if (v == FBarSize) return;
    FBarSize = v;
    recompute_parts();
    UpdateSize();
}

void TVorqSlider::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    Invalidate();
}

void TVorqSlider::ChangeValue(int32_t v) {
    if (v == GetValue()) return;
    SetValue(v);
    if (FOnNotify.empty()) return;
    TArrayString args;
    args.Add(std::to_string(GetValue()));
    QueueEvent(FOnNotify, PR_ONNOTIFY, &args);
}

void TVorqSlider::UpdateSize() {
    int64_t w = 0, h = 0;
    if (FBarW >= 1 && FBarH >= 1) {
        if (!vertical()) {
            w = int64_t(FBarW) + FThumbW + 2 * int64_t(FButtonW);
            h = std::max({FBarH, FThumbH, FButtonH});
        } else {
            w = std::max({FBarW, FThumbW, FButtonW});
            h = int64_t(FBarH) + FThumbH + 2 * int64_t(FButtonH);
        }
    }
    SetWidth(clamp_i32(w));
    SetHeight(clamp_i32(h));
    UpdateThumb();
}

void TVorqSlider::set_thumb_offset(int32_t p) {
    if (p == FThumbOffset) return;
    Invalidate();
    FThumbOffset = p;
    Invalidate();
}

void TVorqSlider::UpdateThumb() {
    const int32_t p = SliderThumbOffset(FMin, FMax, GetValue(), vertical() ? FBarH : FBarW);
    set_thumb_offset(p);
}

TRect TVorqSlider::GetBarRect() const {
    const int64_t x = GetScreenX(), y = GetScreenY();
    if (!vertical())
        return Bounds(clamp_i32(x + FButtonW + FThumbW / 2), clamp_i32(y + (int64_t(FHeight) - FBarH) / 2), FBarW,
                      FBarH);
    return Bounds(clamp_i32(x + (int64_t(FWidth) - FBarW) / 2), clamp_i32(y + FButtonH + FThumbH / 2), FBarW, FBarH);
}

TRect TVorqSlider::GetThumbRect() const {
    const int64_t x = GetScreenX(), y = GetScreenY();
    if (!vertical())
        return Bounds(clamp_i32(x + FButtonW + FThumbOffset), clamp_i32(y + (int64_t(FHeight) - FThumbH) / 2),
                      FThumbW, FThumbH);
    return Bounds(clamp_i32(x + (int64_t(FWidth) - FThumbW) / 2),
                  clamp_i32(y + FButtonH + FBarH - int64_t(FThumbOffset)), FThumbW, FThumbH);
}

TRect TVorqSlider::GetButtonRect(int index) const {
    const int64_t x = GetScreenX(), y = GetScreenY();
    if (!vertical()) {
        const int64_t left = index == 0 ? x : x + FWidth - FButtonW;
        return Bounds(clamp_i32(left), clamp_i32(y + (int64_t(FHeight) - FButtonH) / 2), FButtonW, FButtonH);
    }
    const int64_t top = index == 0 ? y : y + FHeight - FButtonH;
    return Bounds(clamp_i32(x + (int64_t(FWidth) - FButtonW) / 2), clamp_i32(top), FButtonW, FButtonH);
}

void TVorqSlider::tile_part(const TRect& dest, int32_t cell, int32_t offset_y, int32_t offset_x) const {
    TCustomDIBX* s = GetSurface();
    const TTeskItemFrame* f = first_frame(FBar);
    if (!s || !f || RectIsEmpty(dest)) return;
    const int32_t c = FBar->Width / 2, ch = FBar->Height;
    f->DrawTiled(*s, dest, FAlpha, false, false, offset_y, offset_x, Bounds(cell * c, 0, c, ch));
}

void TVorqSlider::draw_thumb_and_buttons(TCustomDIBX& s) const {
    if (FThumbW >= 1 && FThumbH >= 1 && range() >= 1) {
        const TRect t = GetThumbRect();
        first_frame(FThumb)->Draw(s, t.Left, t.Top, FAlpha, false, false,
                                  Bounds(std::clamp(FThumbState, 0, 2) * FThumbW, 0, FThumbW, FThumbH));
    }
    if (FButtonW >= 1 && FButtonH >= 1) {
        const TTeskItemFrame* f = first_frame(FButton);
        for (int i = 0; i < 2; ++i) {
            const TRect r = GetButtonRect(i);
            const int32_t cell = 3 * i + std::clamp(FButtonState[i], 0, 2);
            f->Draw(s, r.Left, r.Top, FAlpha, false, false, Bounds(cell * FButtonW, 0, FButtonW, FButtonH));
        }
    }
}

void TVorqSlider::DrawParts() {
    const TTeskItemFrame* bar = first_frame(FBar);
    TCustomDIBX* s = GetSurface();
    if (!bar || !s) return;
    const int32_t c = FBar->Width / 2, ch = FBar->Height;
    const TRect b = GetBarRect();
    const int32_t p = std::clamp(FThumbOffset, 0, vertical() ? FBarH : FBarW);
    // Both parts tile from the MIN end, so the pattern runs on across the split.
    if (!vertical()) {
        tile_part(Bounds(b.Left, b.Top, p, ch), 1, 0, 0);
        tile_part(Bounds(WrapAdd(b.Left, p), b.Top, FBarW - p, ch), 0, 0, p);
    } else if (ch > 0) {
        auto from_bottom = [&](int64_t distance) { return ch - static_cast<int32_t>(distance % ch); };
        tile_part(Bounds(b.Left, clamp_i32(int64_t(b.Top) + FBarH - p), c, p), 1, from_bottom(p), 0);
        tile_part(Bounds(b.Left, b.Top, c, FBarH - p), 0, from_bottom(FBarH), 0);
    }
    draw_thumb_and_buttons(*s);
}

void TVorqSlider::Draw() {
    TCustomDIBX* s = GetSurface();
    if (!s || FWidth == 0 || FHeight == 0 || RectIsEmpty(IntersectRects(GetRect(), s->GetClipRect()))) return;
    DrawParts();
    TVorqControl::Draw();
}

TPoint TVorqSlider::pointer() const {
    const TVorqBase* b = GetBase();
    return b ? TPoint{b->MouseX, b->MouseY} : TPoint{INT32_MIN, INT32_MIN};
}

bool TVorqSlider::bar_hit() const {
    // The bar is tiled along its length: the mask repeats with the cell.
    const int32_t c = FBar ? FBar->Width / 2 : 0, ch = FBar ? FBar->Height : 0;
    return part_hit(pointer(), GetBarRect(), FBar, true, 0, c, ch);
}

bool TVorqSlider::thumb_hit() const {
    return part_hit(pointer(), GetThumbRect(), FThumb, FCaptureMask != 0, 0, 0, 0);
}

bool TVorqSlider::button_hit(int index) const {
    return part_hit(pointer(), GetButtonRect(index), FButton, true, index == 1 ? 3 * FButtonW : 0, 0, 0);
}

void TVorqSlider::set_states(int32_t thumb, int32_t b0, int32_t b1) {
    if (thumb == FThumbState && b0 == FButtonState[0] && b1 == FButtonState[1]) return;
    FThumbState = thumb;
    FButtonState[0] = b0;
    FButtonState[1] = b1;
    Invalidate();
}

void TVorqSlider::hover_states() {
    if (range() <= 0 || GetIgnoreMouse() == IM_ALL || FPaused) {
        set_states(0, 0, 0);
        return;
    }
    set_states(thumb_hit() ? 1 : 0, button_hit(0) ? 1 : 0, button_hit(1) ? 1 : 0);
}

void TVorqSlider::capture_left() {
    if (TVorqBase* b = GetBase()) {
        b->PressFlags |= TVorqBase::kLeftTaken;
        b->LClicked = 0;
    }
}

int32_t TVorqSlider::drag_value() const {
    const TRect b = GetBarRect();
    const TPoint p = pointer();
    if (!vertical()) return SliderValueAt(FMin, FMax, FBarW, int64_t(p.X) - b.Left - FGrab, GetValue());
    return SliderValueAt(FMin, FMax, FBarH, int64_t(FBarH) - 1 - (int64_t(p.Y) - b.Top - FGrab), GetValue());
}

void TVorqSlider::press_bar() {
    if (!FOnHold.empty()) QueueEvent(FOnHold, PR_ONHOLD);
    set_states(2, FButtonState[0], FButtonState[1]);
    FInteraction = kDrag;
    FGrab = 0;
    ChangeValue(drag_value());
    capture_left();
}

void TVorqSlider::step_by(int64_t delta) { ChangeValue(limit(int64_t(GetValue()) + delta, FMin, FMax)); }

void TVorqSlider::step_button(int index) {
    const int sign = (index == 0) == (ButtonDirection() == 0) ? -1 : 1;
    step_by(int64_t(sign) * FSmallChange);
}

void TVorqSlider::MouseMove() {
    if (FInteraction == kNone) hover_states();
    else if (FInteraction == kDrag) ChangeValue(drag_value());
    TVorqControl::MouseMove();
}

void TVorqSlider::MouseOut(TVorqObject* next) {
    if (FInteraction == kNone) set_states(0, 0, 0);
    TVorqControl::MouseOut(next);
}

void TVorqSlider::LBtnDown() {
    TVorqControl::LBtnDown();
    const uint8_t m = GetIgnoreMouse();
    if (FInteraction != kNone || (m != IM_NONE && m != IM_RCLICK) || range() < 1) return;
    const TPoint p = pointer();
    if (FThumbState == 1) {
        if (!FOnHold.empty()) QueueEvent(FOnHold, PR_ONHOLD);
        capture_left();
        const TRect t = GetThumbRect();
        if (GetCompoType() == LT_SLIDER)
            FGrab = vertical() ? clamp_i32(int64_t(p.Y) - (int64_t(t.Top) + FThumbH / 2))
                               : clamp_i32(int64_t(p.X) - (int64_t(t.Left) + FThumbW / 2));
        else
            FGrab = vertical() ? clamp_i32(int64_t(p.Y) - t.Top) : clamp_i32(int64_t(p.X) - t.Left);
        set_states(2, FButtonState[0], FButtonState[1]);
        FInteraction = kDrag;
        return;
    }
    for (int i = 0; i < 2; ++i) {
        if (FButtonState[i] != 1) continue;
        step_button(i);
        capture_left();
        set_states(FThumbState, i == 0 ? 2 : FButtonState[0], i == 1 ? 2 : FButtonState[1]);
        FRepeat = kFirstRepeat;
        FInteraction = i == 0 ? kButton0 : kButton1;
        return;
    }
    if (bar_hit()) press_bar();
}

void TVorqSlider::MouseStepEnd() {
    if (FInteraction < kButton0 || FInteraction > kPageMax) return;
    FRepeat = WrapSub(FRepeat, static_cast<int32_t>(FrameTime));
    if (FRepeat >= 1) return;
    FRepeat = WrapAdd(FRepeat, kRepeatPitch);
    if (FInteraction == kButton0 || FInteraction == kButton1) {
        const int i = FInteraction == kButton0 ? 0 : 1;
        const int32_t state = button_hit(i) ? 2 : 0;
        set_states(FThumbState, i == 0 ? state : FButtonState[0], i == 1 ? state : FButtonState[1]);
        if (state == 2) step_button(i);
        return;
    }
    bool stepped = false;
    if (bar_hit()) {
        const TRect t = GetThumbRect();
        const TPoint p = pointer();
        const bool reached = FInteraction == kPageMin ? (vertical() ? t.Top <= p.Y : t.Left <= p.X)
                                                      : (vertical() ? t.Bottom > p.Y : t.Right > p.X);
        if (!reached) {
            const int32_t large = GetLargeChange();
            step_by(FInteraction == kPageMin ? -int64_t(large) : int64_t(large));
            stepped = true;
        }
    }
    if (stepped != (FPagingShown != 0)) {
        FPagingShown = stepped;
        Invalidate();
    }
}

void TVorqSlider::LBtnUp() {
    TVorqControl::LBtnUp();
    if (FInteraction < kDrag || FInteraction > kPageMax) return;
    if (FInteraction == kDrag && !FOnRelease.empty()) QueueEvent(FOnRelease, PR_ONRELEASE);
    FInteraction = kNone;
    hover_states();
    FPagingShown = 0;
    Invalidate();
}

void TVorqSlider::value_keys(int32_t& increase, int32_t& decrease) const {
    increase = vertical() ? kKeyUp : kKeyRight;
    decrease = vertical() ? kKeyDown : kKeyLeft;
}

void TVorqSlider::KeyRepeat() {
    int32_t up = 0, down = 0;
    value_keys(up, down);
    if (FRegistry) {
        const int32_t v = GetValue();
        if (FRegistry->GetKeyRepeat(up) && v < FMax) ChangeValue(limit(int64_t(v) + FSmallChange, INT32_MIN, FMax));
        else if (FRegistry->GetKeyRepeat(down) && v > FMin)
            ChangeValue(limit(int64_t(v) - FSmallChange, FMin, INT32_MAX));
    }
    TVorqControl::KeyRepeat();
}

void TVorqSlider::SaveToStream(TStream& s) {
    TVorqControl::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamString(s, FThumbSource);
    WriteStreamString(s, FButtonSource);
    WriteStreamInteger(s, FMin);
    WriteStreamInteger(s, FMax);
    WriteStreamInteger(s, FValue);
    WriteStreamInteger(s, FSmallChange);
    WriteStreamInteger(s, FAlpha);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FOrientation);
    WriteStreamString(s, FOnNotify);
    WriteStreamString(s, FOnHold);
    WriteStreamString(s, FOnRelease);
    WriteStreamString(s, FOnIdle);
    WriteStreamByte(s, FCaptureMask);
    WriteStreamInteger(s, FBarSize);
    save_extra(s);
}

void TVorqSlider::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string bar = r.String("source");
    const std::string thumb = r.String("thumb source");
    const std::string button = r.String("button source");
    SetSource(bar);
    SetThumbSource(thumb);
    SetButtonSource(button);
    FMin = r.I32("minimum");
    FMax = r.I32("maximum");
    FValue = r.I32("value");
    FSmallChange = r.I32("small change");
    FAlpha = r.I32("alpha");
    FPaused = r.U8("paused");
    FOrientation = r.U8("orientation");
    FOnNotify = r.String("notify handler");
    FOnHold = r.String("hold handler");
    FOnRelease = r.String("release handler");
    FOnIdle = r.String("idle handler");
    if (version >= 119) FCaptureMask = r.U8("capture mask");
    if (version >= 128) SetBarSize(r.I32("bar size"));
    // The orientation came after the pictures: the parts are sized again.
    recompute_parts();
    UpdateSize();
    load_extra(r);
    FInteraction = kNone;
    FThumbState = FButtonState[0] = FButtonState[1] = 0;
    FPagingShown = 0;
}

// ---- TVorqScrollbar ----

TVorqScrollbar::TVorqScrollbar(TVorqBaseList* registry) : TVorqSlider(registry) {}

void TVorqScrollbar::UpdateSize() {
    int64_t w = 0, h = 0;
    if (FBarW >= 1 && FBarH >= 1) {
        if (!vertical()) {
            w = int64_t(FBarW) + 2 * int64_t(FButtonW);
            h = std::max({FBarH, FThumbH, FButtonH});
        } else {
            w = std::max({FBarW, FThumbW, FButtonW});
            h = int64_t(FBarH) + 2 * int64_t(FButtonH);
        }
    }
    SetWidth(clamp_i32(w));
    SetHeight(clamp_i32(h));
    UpdateThumb();
}

void TVorqScrollbar::UpdateThumb() {
    const int64_t travel = vertical() ? int64_t(FBarH) - FThumbH : int64_t(FBarW) - FThumbW;
    const int32_t p = SliderThumbOffset(FMin, FMax, GetValue(), travel);
    set_thumb_offset(p);
}

TRect TVorqScrollbar::GetBarRect() const {
    const int64_t x = GetScreenX(), y = GetScreenY();
    if (!vertical())
        return Bounds(clamp_i32(x + FButtonW), clamp_i32(y + (int64_t(FHeight) - FBarH) / 2), FBarW, FBarH);
    return Bounds(clamp_i32(x + (int64_t(FWidth) - FBarW) / 2), clamp_i32(y + FButtonH), FBarW, FBarH);
}

TRect TVorqScrollbar::GetThumbRect() const {
    const int64_t x = GetScreenX(), y = GetScreenY();
    if (!vertical())
        return Bounds(clamp_i32(x + FButtonW + FThumbOffset), clamp_i32(y + (int64_t(FHeight) - FThumbH) / 2),
                      FThumbW, FThumbH);
    return Bounds(clamp_i32(x + (int64_t(FWidth) - FThumbW) / 2), clamp_i32(y + FButtonH + int64_t(FThumbOffset)),
                  FThumbW, FThumbH);
}

void TVorqScrollbar::DrawParts() {
    const TTeskItemFrame* bar = first_frame(FBar);
    TCustomDIBX* s = GetSurface();
    if (!bar || !s) return;
    const int32_t c = FBar->Width / 2, ch = FBar->Height;
    const TRect b = GetBarRect();
    const int32_t length = vertical() ? FBarH : FBarW;
    if ((FInteraction == kPageMin || FInteraction == kPageMax) && FPagingShown) {
        // The pressed part runs from the thumb's centre to the end it pages to.
        const int64_t split64 = int64_t(vertical() ? FThumbH / 2 : FThumbW / 2) + FThumbOffset;
        const int32_t split = static_cast<int32_t>(std::clamp<int64_t>(split64, 0, length));
        const int32_t first = FInteraction == kPageMin ? 1 : 0;
        if (!vertical()) {
            tile_part(Bounds(b.Left, b.Top, split, ch), first, 0, 0);
            tile_part(Bounds(WrapAdd(b.Left, split), b.Top, length - split, ch), 1 - first, 0, split);
        } else {
            tile_part(Bounds(b.Left, b.Top, c, split), first, 0, 0);
            tile_part(Bounds(b.Left, WrapAdd(b.Top, split), c, length - split), 1 - first, split, 0);
        }
    } else {
        tile_part(vertical() ? Bounds(b.Left, b.Top, c, length) : Bounds(b.Left, b.Top, length, ch), 0, 0, 0);
    }
    draw_thumb_and_buttons(*s);
}

int32_t TVorqScrollbar::drag_value() const {
    // A bar no longer than its thumb leaves the thumb no travel: dragging
    // keeps the value (SliderValueAt with no length).
    const TRect b = GetBarRect();
    const TPoint p = pointer();
    if (!vertical())
        return SliderValueAt(FMin, FMax, int64_t(FBarW) - FThumbW, int64_t(p.X) - b.Left - FGrab, GetValue());
    return SliderValueAt(FMin, FMax, int64_t(FBarH) - FThumbH, int64_t(p.Y) - b.Top - FGrab, GetValue());
}

void TVorqScrollbar::press_bar() {
    FPagingShown = 1;
    FRepeat = kFirstRepeat;
    const TRect t = GetThumbRect();
    const TPoint p = pointer();
    FInteraction = (vertical() ? t.Top < p.Y : t.Left < p.X) ? kPageMax : kPageMin;
    step_by(FInteraction == kPageMin ? -int64_t(FLargeChange) : int64_t(FLargeChange));
    capture_left();
    Invalidate();
}

void TVorqScrollbar::value_keys(int32_t& increase, int32_t& decrease) const {
    increase = vertical() ? kKeyDown : kKeyRight;
    decrease = vertical() ? kKeyUp : kKeyLeft;
}

void TVorqScrollbar::save_extra(TStream& s) { WriteStreamInteger(s, FLargeChange); }

void TVorqScrollbar::load_extra(FieldReader& r) { FLargeChange = r.I32("large change"); }
