#include "objects/controls/list_box.h"

#include "script/game_clock.h"
#include "script/param_collection.h"
#include "files/containers.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "objects/basic/box.h"
#include "objects/text/label.h"
#include "objects/object_record.h"
#include "platform/exception.h"
#include "platform/display/keys.h"
#include "render/custom_dibx.h"
#include "render/tesk_collection.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {
int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

void fill_by_alpha(TCustomDIBX& s, const TRect& r, int32_t color, int32_t alpha) {
    if (alpha == 255) s.FillRect(r, static_cast<uint32_t>(s.ColorToPixel(color)));
    else if (alpha < 255) s.FillRectAlpha(r, static_cast<uint32_t>(s.ColorToPixel(color)), alpha);
    else s.FillRectAdd(r, static_cast<uint32_t>(s.ColorToPixel(AdditiveBoxColor(color, alpha))));
}

void frame_by_alpha(TCustomDIBX& s, const TRect& r, int32_t width, int32_t color, int32_t alpha) {
    if (alpha == 255) s.FrameRect(r, width, static_cast<uint32_t>(s.ColorToPixel(color)));
    else if (alpha < 255) s.FrameRectAlpha(r, width, static_cast<uint32_t>(s.ColorToPixel(color)), alpha);
    else s.FrameRectAdd(r, width, static_cast<uint32_t>(s.ColorToPixel(AdditiveBoxColor(color, alpha))));
}

const TTeskItemFrame* first_frame(const TTeskItem* item) {
    return item && item->GetFrameCount() > 0 ? item->Frames[0].get() : nullptr;
}

TTeskItem* acquire(void* user, const std::string& name) {
    if (name.empty() || !TeskCollection) return nullptr;
    // A picture that cannot be decoded leaves its part empty rather than
    // stopping the scene.
    try {
        return TeskCollection->Acquire(user, name, false, false);
    } catch (const Exception&) {
        return nullptr;
    }
}

// Item text as stored: control bytes before the first item and after the
// last one would make empty rows.
std::string trim_controls(const std::string& v) {
    size_t b = 0, e = v.size();
    while (b < e && static_cast<uint8_t>(v[b]) < 32) ++b;
    while (e > b && static_cast<uint8_t>(v[e - 1]) < 32) --e;
    return v.substr(b, e - b);
}

void set_selection(const std::string& text, int32_t index) {
    if (!Params) return;
    Params->sel_str = text;
    Params->sel_index = index;
}
}  // namespace

TVorqCustomListBox::TVorqCustomListBox(TVorqBaseList* registry) : TVorqControl(registry) {
    FColor = -1;
    FHoverLabels.Colour = FLabels.Colour;
}

TVorqCustomListBox::~TVorqCustomListBox() {
    Invalidate();
    for (TTeskItem*& item : FBorder)
        if (item) item->Release(this);
    if (FScroll) FScroll->Release(this);
    if (FCheck) FCheck->Release(this);
}

// ---- properties --------------------------------------------------------------------

void TVorqCustomListBox::SetText(const std::string& v) {
    Invalidate();
    FLabels.Clear();
    FHoverLabels.Clear();
    FText = trim_controls(v);
    FItems = FText.empty() ? std::vector<std::string>{} : SplitLabelLines(FText);
    for (const std::string& line : FItems) {
        FLabels.AddLabel()->SetText(line);
        FHoverLabels.AddLabel()->SetText(line);
    }
    FChecks.assign(FItems.size(), 0);
    FTopIndex = 0;
    if (FHover >= GetCount()) FHover = -1;
    FLayoutDirty = 1;
}

#define VORQ_LIST_INT_SETTER(Name, Field, Resizes) \
    void TVorqCustomListBox::Set##Name(int32_t v) { \
        if (v == Field) return;                     \
        Invalidate();                               \
        Field = v;                                  \
        if (Resizes) FLayoutDirty = 1;              \
    }
VORQ_LIST_INT_SETTER(LineSpace, FLineSpace, true)
VORQ_LIST_INT_SETTER(MarginX, FMarginX, true)
VORQ_LIST_INT_SETTER(MarginY, FMarginY, true)
VORQ_LIST_INT_SETTER(BorderWidth, FBorderWidth, true)
VORQ_LIST_INT_SETTER(BorderColor, FBorderColor, false)
VORQ_LIST_INT_SETTER(RowCount, FRowCount, true)
VORQ_LIST_INT_SETTER(HoverColor, FHoverColor, false)
#undef VORQ_LIST_INT_SETTER

void TVorqCustomListBox::SetAlpha(int32_t v) {
    if (v == FAlpha) return;
    FAlpha = v;
    FLabels.Opacity = FHoverLabels.Opacity = v;
    Invalidate();
}

std::string TVorqCustomListBox::GetBorderSource(int cell) const {
    return cell >= 0 && cell < 9 ? FBorderSource[cell] : std::string();
}

void TVorqCustomListBox::SetBorderSource(int cell, const std::string& name) {
    if (cell < 0 || cell >= 9 || name == FBorderSource[cell]) return;
    Invalidate();
    FBorderSource[cell] = name;
    if (FBorder[cell]) FBorder[cell]->Release(this);
    FBorder[cell] = acquire(this, name);
    const TTeskItemFrame* f = first_frame(FBorder[cell]);
    FPartW[cell] = f ? FBorder[cell]->Width : 0;
    FPartH[cell] = f ? FBorder[cell]->Height : 0;
    FPartFrame[cell] = 0;
    FPartCountdown[cell] = f ? f->Delay : 0;
    FLayoutDirty = 1;
}

uint8_t TVorqCustomListBox::GetBorderHAlign(int cell) const { return cell >= 0 && cell < 9 ? FBorderHAlign[cell] : 0; }
void TVorqCustomListBox::SetBorderHAlign(int cell, uint8_t value) {
    if (cell < 0 || cell >= 9 || value == FBorderHAlign[cell]) return;
    FBorderHAlign[cell] = value;
    Invalidate();
}
uint8_t TVorqCustomListBox::GetBorderVAlign(int cell) const { return cell >= 0 && cell < 9 ? FBorderVAlign[cell] : 0; }
void TVorqCustomListBox::SetBorderVAlign(int cell, uint8_t value) {
    if (cell < 0 || cell >= 9 || value == FBorderVAlign[cell]) return;
    FBorderVAlign[cell] = value;
    Invalidate();
}

void TVorqCustomListBox::acquire_cells(TTeskItem*& item, const std::string& name, int32_t cells, int32_t& cw,
                                       int32_t& ch) {
    Invalidate();
    if (item) item->Release(this);
    item = acquire(this, name);
    const bool ok = first_frame(item) != nullptr;
    cw = ok ? item->Width / cells : 0;
    ch = ok ? item->Height : 0;
    FLayoutDirty = 1;
}

void TVorqCustomListBox::SetScrollSource(const std::string& v) {
    if (v == FScrollSource) return;
    FScrollSource = v;
    acquire_cells(FScroll, v, 7, FScrollW, FScrollH);
}

void TVorqCustomListBox::SetCheckSource(const std::string& v) {
    if (v == FCheckSource) return;
    FCheckSource = v;
    acquire_cells(FCheck, v, 2, FCheckW, FCheckH);
}

int32_t TVorqCustomListBox::max_top() const { return clamp32(std::max<int64_t>(0, int64_t(GetCount()) - FRowCount)); }

void TVorqCustomListBox::SetTopIndex(int32_t v) {
    v = std::clamp(v, 0, max_top());
    if (v == FTopIndex) return;
    FTopIndex = v;
    Invalidate();
}

void TVorqCustomListBox::SetHAlign(uint8_t v) {
    if (v == FHAlign) return;
    FHAlign = v;
    Invalidate();
}

void TVorqCustomListBox::SetPaused(bool v) {
    if (v == (FPaused != 0)) return;
    FPaused = v;
    TVorqBaseList* reg = FRegistry;
    if (!reg) return;
    TVorqControl* focus = reg->Focus();
    if ((v && focus && (focus == this || Contains(focus))) || (!v && !focus)) {
        reg->SetFocusObject(nullptr);
        reg->RequestFocusSearch();
    }
}

void TVorqCustomListBox::SetFontName(const std::string& v) {
    if (v == FLabels.FontName && v == FHoverLabels.FontName) return;
    Invalidate();
    FLabels.FontName = FHoverLabels.FontName = v;
    FLayoutDirty = 1;
}

void TVorqCustomListBox::SetFontHeight(int32_t v) {
    v = TWzLabelList::ClampFontSize(v);
    if (v == FLabels.FontSize && v == FHoverLabels.FontSize) return;
    Invalidate();
    FLabels.SetFontSize(v);
    FHoverLabels.SetFontSize(v);
    FLayoutDirty = 1;
}

void TVorqCustomListBox::SetAntialias(bool v) {
    Invalidate();
    FLabels.Quality = FHoverLabels.Quality = v ? 3 : 0;
    FLayoutDirty = 1;
}

void TVorqCustomListBox::SetFontStyle(TFontStyles v) {
    Invalidate();
    FLabels.Style = v.Bits;
    FLayoutDirty = 1;
}

namespace {
int32_t same(int32_t v) { return v; }
}  // namespace

// Border and shadow widths are clamped to what a label can draw.
#define VORQ_LIST_FONT_SETTER(Name, List, Field, Type, Clamp) \
    void TVorqCustomListBox::Set##Name(int32_t v) {           \
        Invalidate();                                         \
        List.Field = static_cast<Type>(Clamp(v));             \
        List.InvalidateAll();                                 \
        FLayoutDirty = 1;                                     \
    }
VORQ_LIST_FONT_SETTER(FontColor, FLabels, Colour, uint32_t, same)
VORQ_LIST_FONT_SETTER(FontBorder, FLabels, BorderWidth, int32_t, TWzLabelList::ClampEdgeWidth)
VORQ_LIST_FONT_SETTER(FontShadow, FLabels, ShadowWidth, int32_t, TWzLabelList::ClampEdgeWidth)
VORQ_LIST_FONT_SETTER(FontBorderColor, FLabels, BorderColour, uint32_t, same)
VORQ_LIST_FONT_SETTER(FontShadowColor, FLabels, ShadowColour, uint32_t, same)
VORQ_LIST_FONT_SETTER(FontHoverBorder, FHoverLabels, BorderWidth, int32_t, TWzLabelList::ClampEdgeWidth)
VORQ_LIST_FONT_SETTER(FontHoverShadow, FHoverLabels, ShadowWidth, int32_t, TWzLabelList::ClampEdgeWidth)
VORQ_LIST_FONT_SETTER(FontHoverBorderColor, FHoverLabels, BorderColour, uint32_t, same)
VORQ_LIST_FONT_SETTER(FontHoverShadowColor, FHoverLabels, ShadowColour, uint32_t, same)
#undef VORQ_LIST_FONT_SETTER

bool TVorqCustomListBox::GetChecked(int32_t index) const {
    return index >= 0 && index < static_cast<int32_t>(FChecks.size()) && FChecks[static_cast<size_t>(index)] != 0;
}

void TVorqCustomListBox::SetChecked(int32_t index, bool value) {
    if (index < 0 || index >= static_cast<int32_t>(FChecks.size())) return;
    if ((FChecks[static_cast<size_t>(index)] != 0) == value) return;
    FChecks[static_cast<size_t>(index)] = value;
    Invalidate();
}

void TVorqCustomListBox::SetHover(int32_t index) {
    if (index == FHover) return;
    FHover = index;
    FIndex = -1;
    Invalidate();
}

// ---- geometry ----------------------------------------------------------------------

TVorqCustomListBox::Metrics TVorqCustomListBox::metrics() const {
    Metrics m;
    m.left = std::max({FPartW[0], FPartW[3], FPartW[6]});
    m.right = std::max({FPartW[2], FPartW[5], FPartW[8]});
    m.top = std::max({FPartH[0], FPartH[1], FPartH[2]});
    m.bottom = std::max({FPartH[6], FPartH[7], FPartH[8]});
    m.frame_top = clamp32(int64_t(FBorderWidth) + m.top);
    return m;
}

int32_t TVorqCustomListBox::scroll_width() const { return GetCount() > FRowCount ? FScrollW : 0; }
int32_t TVorqCustomListBox::check_width() const { return FCheckW; }

int32_t TVorqCustomListBox::row_top(int32_t k) const {
    const Metrics m = metrics();
    return clamp32(int64_t(GetScreenY()) + m.frame_top + FMarginY + int64_t(k) * (int64_t(FLabels.FontSize) + FLineSpace));
}

void TVorqCustomListBox::Layout() {
    FLabels.Measure();
    FHoverLabels.Measure();
    FLabels.InvalidateAll();
    FHoverLabels.InvalidateAll();
    const Metrics m = metrics();
    const int64_t w = int64_t(std::max(FLabels.MaxWidth(), FHoverLabels.MaxWidth())) + 2 * int64_t(FBorderWidth) +
                      m.left + m.right + 2 * int64_t(FMarginX) + scroll_width() + check_width();
    const int64_t n = std::max(0, std::min(FRowCount, GetCount()));
    const int64_t h = int64_t(FLabels.FontSize) * n + (n - 1) * FLineSpace + 2 * int64_t(FBorderWidth) + m.top +
                      m.bottom + 2 * int64_t(FMarginY);
    FLayoutDirty = 0;
    SetWidth(clamp32(std::max<int64_t>(w, 0)));
    SetHeight(clamp32(std::max<int64_t>(h, 0)));
}

int32_t TVorqCustomListBox::ItemAt(const TPoint& p) const {
    const Metrics m = metrics();
    const int64_t x0 = int64_t(GetScreenX()) + FBorderWidth + m.left;
    const int64_t x1 = int64_t(GetScreenX()) + FWidth - FBorderWidth - m.right - scroll_width();
    const int32_t n = std::min(FRowCount, GetCount() - FTopIndex);
    if (n <= 0 || p.X < x0 || p.X >= x1) return -1;
    const int64_t pitch = int64_t(FLabels.FontSize) + FLineSpace;
    const int64_t h = std::min<int64_t>(FLineSpace / 2, FMarginY);
    const int64_t first = row_top(0);
    if (p.Y < first - h || p.Y >= first + (n - 1) * pitch + FLabels.FontSize + h) return -1;
    // Rows start half a line space above their text.
    int32_t starts = 0;
    for (int32_t k = 0; k < n; ++k)
        if (first + k * pitch - FLineSpace / 2 <= p.Y) ++starts;
    const int32_t row = FTopIndex - 1 + starts;
    return row >= 0 && row < GetCount() ? row : -1;
}

bool TVorqCustomListBox::ScrollShown() const { return GetCount() > FRowCount && FScroll && FScrollW > 0; }

void TVorqCustomListBox::strip_span(int32_t& top, int32_t& height) const {
    const Metrics m = metrics();
    top = clamp32(int64_t(GetScreenY()) + m.frame_top);
    height = clamp32(int64_t(FHeight) - 2 * int64_t(FBorderWidth) - m.top - m.bottom);
}

TRect TVorqCustomListBox::UpButtonRect() const {
    if (!ScrollShown()) return TRect{};
    const Metrics m = metrics();
    int32_t top, height;
    strip_span(top, height);
    const int32_t right = clamp32(int64_t(GetScreenX()) + FWidth - FBorderWidth - m.right);
    return TRect{right - FScrollW, top, right, top + FScrollH};
}

TRect TVorqCustomListBox::DownButtonRect() const {
    if (!ScrollShown()) return TRect{};
    const TRect up = UpButtonRect();
    int32_t top, height;
    strip_span(top, height);
    return TRect{up.Left, top + height - FScrollH, up.Right, top + height};
}

TRect TVorqCustomListBox::ThumbRect() const {
    if (!ScrollShown()) return TRect{};
    const TRect up = UpButtonRect();
    int32_t top, height;
    strip_span(top, height);
    const int64_t usable = int64_t(height) - 3 * int64_t(FScrollH);
    const int64_t span = GetCount() - FRowCount;
    const int32_t t = clamp32(int64_t(top) + FScrollH + usable * FTopIndex / span);
    return TRect{up.Left, t, up.Right, t + FScrollH};
}

// ---- per frame ---------------------------------------------------------------------

TPoint TVorqCustomListBox::pointer() const {
    const TVorqBase* b = GetBase();
    return b ? TPoint{b->MouseX, b->MouseY} : TPoint{INT32_MIN, INT32_MIN};
}

bool TVorqCustomListBox::pressed_part_hit() const {
    const TPoint p = pointer();
    switch (FPress) {
    case kUp: return PointInRect(p, UpButtonRect());
    case kDown: return PointInRect(p, DownButtonRect());
    case kPageUp:
    case kPageDown: {
        const TRect up = UpButtonRect(), down = DownButtonRect(), thumb = ThumbRect();
        const TRect track = FPress == kPageUp ? TRect{up.Left, up.Bottom, up.Right, thumb.Top}
                                              : TRect{up.Left, thumb.Bottom, up.Right, down.Top};
        return PointInRect(p, track);
    }
    default: return false;
    }
}

void TVorqCustomListBox::step_scroll() {
    switch (FPress) {
    case kUp: if (FTopIndex >= 1) SetTopIndex(FTopIndex - 1); break;
    case kDown: SetTopIndex(FTopIndex + 1); break;
    case kPageUp: SetTopIndex(clamp32(std::max<int64_t>(0, int64_t(FTopIndex) - FRowCount))); break;
    case kPageDown: SetTopIndex(clamp32(int64_t(FTopIndex) + FRowCount)); break;
    default: break;
    }
}

bool TVorqCustomListBox::step_border_parts(int32_t elapsed) {
    bool changed = false;
    for (int cell = 0; cell < 9; ++cell) {
        const TTeskItem* item = FBorder[cell];
        const int32_t count = item ? item->GetFrameCount() : 0;
        if (count < 2) continue;
        FPartCountdown[cell] = WrapSub(FPartCountdown[cell], elapsed);
        // At most one round of frames per update: frames without a display
        // time must not spin here.
        for (int32_t n = 0; FPartCountdown[cell] < 1 && n < count; ++n) {
            FPartFrame[cell] = (FPartFrame[cell] + 1) % count;
            FPartCountdown[cell] =
                WrapAdd(FPartCountdown[cell], std::max(1, item->Frames[static_cast<size_t>(FPartFrame[cell])]->Delay));
            changed = true;
        }
        if (FPartCountdown[cell] < 1) FPartCountdown[cell] = 1;
    }
    return changed;
}

bool TVorqCustomListBox::Update() {
    if (FLayoutDirty) Layout();
    if (!GetAniPaused() && step_border_parts(static_cast<int32_t>(FrameTime))) Invalidate();
    if (FPress >= kUp && FPress <= kPageDown) {
        const uint8_t hit = pressed_part_hit();
        if (hit != FPartPressed) {
            FPartPressed = hit;
            Invalidate();
        }
        FCountdown -= static_cast<int32_t>(FrameTime);
        if (FCountdown < 1) {
            FCountdown += kRepeatPitch;
            if (FPartPressed) step_scroll();
        }
    }
    TVorqControl::Update();
    return false;
}

// ---- input -------------------------------------------------------------------------

void TVorqCustomListBox::LBtnDown() {
    if (!FPaused) {
        const TPoint p = pointer();
        FPress = kItem;
        if (ScrollShown()) {
            const TRect up = UpButtonRect(), down = DownButtonRect(), thumb = ThumbRect();
            if (PointInRect(p, thumb)) {
                FPress = kThumb;
                FDragOffset = clamp32(int64_t(p.Y) - (int64_t(thumb.Top) + FScrollH / 2));
            } else if (PointInRect(p, up)) {
                FPress = kUp;
            } else if (PointInRect(p, down)) {
                FPress = kDown;
            } else if (p.X >= up.Left && p.X < up.Right && p.Y >= up.Bottom && p.Y < down.Top) {
                FPress = p.Y < thumb.Top ? kPageUp : kPageDown;
            }
            if (FPress >= kUp && FPress <= kPageDown) {
                FPartPressed = 1;
                step_scroll();
                FCountdown = kFirstRepeat;
                Invalidate();
            }
        }
        if (TVorqBase* b = GetBase()) b->PressFlags |= TVorqBase::kLeftTaken;
    }
    TVorqControl::LBtnDown();
}

void TVorqCustomListBox::LBtnUp() {
    if (!FPaused) {
        if (!Busy() && FPress == kItem && FHover >= 0) Select();
        FPress = kNone;
        FPartPressed = 0;
        Invalidate();
    }
    TVorqControl::LBtnUp();
}

void TVorqCustomListBox::MouseMove() {
    if (!FPaused) {
        if (FPress == kThumb) {
            int32_t top, height;
            strip_span(top, height);
            const int64_t usable = int64_t(height) - 3 * int64_t(FScrollH);
            // A strip too short for its buttons has no travel: the thumb stays.
            if (usable > 0) {
                const long double d = static_cast<long double>(int64_t(pointer().Y) - FDragOffset - top - FScrollH -
                                                               FScrollH / 2);
                const long double v =
                    std::nearbyint(d / static_cast<long double>(usable) * static_cast<long double>(max_top()));
                SetTopIndex(v < 0 ? 0 : v > max_top() ? max_top() : static_cast<int32_t>(v));
            }
        } else if (FPress == kItem || FPress == kNone) {
            SetHover(ItemAt(pointer()));
        }
    }
    TVorqControl::MouseMove();
}

void TVorqCustomListBox::MouseOut(TVorqObject* next) {
    if (!FPaused && GetIgnoreMouse() != 1) SetHover(-1);
    TVorqControl::MouseOut(next);
}

void TVorqCustomListBox::handle_list_keys() {
    TVorqBaseList* reg = FRegistry;
    const int32_t count = GetCount();
    // An empty list has nothing to move to: no key may pick an item.
    if (!reg || FPaused || count == 0) return;
    const int32_t old = FHover, last = count - 1;
    int32_t h = FHover;
    if (reg->GetKeyRepeat(VK_UP)) {
        if (h >= 1) --h;
        else if (h < 0) h = last;
    } else if (reg->GetKeyRepeat(VK_DOWN)) {
        if (h < 0) h = 0;
        else if (h < last) ++h;
    } else if (reg->GetKeyRepeat(VK_PRIOR)) {
        if (h > 0) h = clamp32(std::max<int64_t>(0, int64_t(h) - FRowCount));
        else if (h < 0) h = last;
    } else if (reg->GetKeyRepeat(VK_NEXT)) {
        if (h < 0) h = 0;
        else if (h < last) h = clamp32(std::min<int64_t>(last, int64_t(h) + FRowCount));
    }
    if (h == old) return;
    SetHover(h);
    if (h >= FTopIndex + FRowCount) SetTopIndex(h - FRowCount + 1);
    else if (h < FTopIndex) SetTopIndex(h);
}

void TVorqCustomListBox::KeyRepeat() {
    handle_list_keys();
    TVorqControl::KeyRepeat();
}

void TVorqCustomListBox::Select() {
    if (FHover < 0 || FHover >= GetCount()) return;
    FIndex = FHover;
    const std::string& text = Item(FIndex);
    set_selection(text, FIndex);
    if (!FOnSelect.empty() && !EventQueued(PR_ONSELECT)) {
        TArrayString args;
        args.Add(text);
        args.Add(std::to_string(FIndex));
        QueueEvent(FOnSelect, PR_ONSELECT, &args);
    }
}

// ---- drawing -----------------------------------------------------------------------

void TVorqCustomListBox::draw_border_parts(TCustomDIBX& s, const TRect& o) const {
    const Metrics m = metrics();
    const int64_t x0 = o.Left, y0 = o.Top, x1 = o.Right, y1 = o.Bottom;
    for (int cell = 0; cell < 9; ++cell) {
        const TTeskItem* item = FBorder[cell];
        if (!first_frame(item) || FPartW[cell] <= 0 || FPartH[cell] <= 0) continue;
        const TTeskItemFrame* f = item->Frames[static_cast<size_t>(FPartFrame[cell] % item->GetFrameCount())].get();
        const int col = cell % 3, row = cell / 3;
        int64_t l, r, t, b;
        if (col == 0) l = x0 + m.left - FPartW[cell], r = x0 + m.left;
        else if (col == 1) l = x0 + m.left, r = x1 - m.right;
        else l = x1 - m.right, r = x1 - m.right + FPartW[cell];
        if (row == 0) t = y0 + m.top - FPartH[cell], b = y0 + m.top;
        else if (row == 1) t = y0 + m.top, b = y1 - m.bottom;
        else if (m.top > y1 - y0) t = b = y1;
        else t = y1 - m.bottom, b = y1 - m.bottom + FPartH[cell];
        t = std::max(t, y0);
        b = std::min(b, y1);
        if (r <= l || b <= t) continue;
        auto shift = [](int64_t span, int32_t tile, uint8_t align) -> int32_t {
            const int32_t rem = static_cast<int32_t>(span % tile);
            return align == 1 ? rem / 2 : align == 2 ? rem : 0;
        };
        const TRect dest{clamp32(l), clamp32(t), clamp32(r), clamp32(b)};
        f->DrawTiled(s, dest, FAlpha, false, false, shift(b - t, FPartH[cell], FBorderVAlign[cell]),
                     shift(r - l, FPartW[cell], FBorderHAlign[cell]), TRect{0, 0, FPartW[cell], FPartH[cell]});
    }
}

void TVorqCustomListBox::draw_scroll(TCustomDIBX& s) const {
    const TTeskItemFrame* f = first_frame(FScroll);
    if (!f) return;
    auto cell = [&](int32_t c) { return TRect{c * FScrollW, 0, (c + 1) * FScrollW, FScrollH}; };
    const TRect up = UpButtonRect(), down = DownButtonRect(), thumb = ThumbRect();
    const bool held = FPartPressed != 0;
    f->DrawTiled(s, TRect{up.Left, up.Bottom, up.Right, thumb.Top}, FAlpha, false, false, 0, 0,
                 cell(FPress == kPageUp && held ? 5 : 4));
    f->DrawTiled(s, TRect{up.Left, thumb.Bottom, up.Right, down.Top}, FAlpha, false, false, 0, 0,
                 cell(FPress == kPageDown && held ? 5 : 4));
    f->Draw(s, up.Left, up.Top, FAlpha, false, false, cell(FPress == kUp && held ? 1 : 0));
    f->Draw(s, down.Left, down.Top, FAlpha, false, false, cell(FPress == kDown && held ? 3 : 2));
    f->Draw(s, thumb.Left, thumb.Top, FAlpha, false, false, cell(6));
}

void TVorqCustomListBox::Draw() {
    TCustomDIBX* s = GetSurface();
    const TRect o = GetRect();
    if (!s || FAlpha <= 0 || FWidth <= 0 || FHeight <= 0 || RectIsEmpty(IntersectRects(o, s->GetClipRect()))) {
        TVorqControl::Draw();
        return;
    }
    if (FLayoutDirty) Layout();
    FLabels.Target = FHoverLabels.Target = s;
    const int32_t bw = FBorderWidth;
    if (bw > 0 && FBorderColor != -1 && 2 * int64_t(bw) <= FWidth && 2 * int64_t(bw) <= FHeight)
        frame_by_alpha(*s, o, bw, FBorderColor, FAlpha);
    if (FColor != -1) {
        const int32_t in = std::max(bw, 0);
        const TRect inner{o.Left + in, o.Top + in, o.Right - in, o.Bottom - in};
        if (!RectIsEmpty(inner)) fill_by_alpha(*s, inner, FColor, FAlpha);
    }
    draw_border_parts(*s, o);
    if (ScrollShown() && !Animating()) draw_scroll(*s);

    const Metrics m = metrics();
    const int64_t text_left = int64_t(o.Left) + bw + m.left + FMarginX + check_width();
    const int64_t text_right = int64_t(o.Right) - bw - m.right - FMarginX - scroll_width();
    const int32_t fh = FLabels.FontSize;
    const int32_t hh = std::min(FLineSpace / 2, FMarginY);
    for (int32_t k = 0; k < FRowCount; ++k) {
        const int32_t item = FTopIndex + k;
        if (item < 0 || item >= GetCount()) break;
        const int32_t top = row_top(k);
        const bool hovered = item == FHover;
        if (hovered && FHoverColor != -1)
            fill_by_alpha(*s, TRect{clamp32(text_left), top - hh, clamp32(text_right), top + fh + hh}, FHoverColor,
                          FAlpha);
        TWzLabelDIB* label = (hovered ? FHoverLabels : FLabels).GetLabel(item);
        if (label) {
            int64_t x = text_left;
            if (FHAlign == 1) x = text_left + (text_right - text_left - label->Width) / 2;
            else if (FHAlign == 2) x = text_right - label->Width;
            label->Draw(clamp32(x), top);
        }
        if (GetChecked(item))
            if (const TTeskItemFrame* c = first_frame(FCheck))
                c->Draw(*s, clamp32(text_left - FCheckW), top + (fh - FCheckH) / 2, FAlpha, false, false,
                        TRect{hovered ? FCheckW : 0, 0, hovered ? 2 * FCheckW : FCheckW, FCheckH});
    }
    TVorqControl::Draw();
}

// ---- record ------------------------------------------------------------------------

void TVorqCustomListBox::SaveToStream(TStream& s) {
    // The labels' measured font is part of the record: a save taken before
    // the first frame stores what loading that save would measure.
    if (FLayoutDirty) Layout();
    TVorqControl::SaveToStream(s);
    FLabels.SaveToStream(s);
    FHoverLabels.SaveToStream(s);
    WriteStreamString(s, FText);
    for (int32_t v : {FLineSpace, FAlpha, FMarginX, FMarginY, FBorderWidth, FBorderColor, FRowCount})
        WriteStreamInteger(s, v);
    for (int cell = 0; cell < 9; ++cell) {
        WriteStreamString(s, FBorderSource[cell]);
        WriteStreamByte(s, FBorderHAlign[cell]);
        WriteStreamByte(s, FBorderVAlign[cell]);
    }
    WriteStreamString(s, FScrollSource);
    WriteStreamString(s, FCheckSource);
    WriteStreamInteger(s, FTopIndex);
    WriteStreamByte(s, FHAlign);
    for (uint8_t c : FChecks) WriteStreamByte(s, c);
    WriteStreamString(s, FOnSelect);
    WriteStreamByte(s, FPaused);
    WriteStreamInteger(s, FIndex);
    WriteStreamInteger(s, FState);
}

void TVorqCustomListBox::LoadFromStream(TStream& s, int32_t version) {
    TVorqControl::LoadFromStream(s, version);
    FLabels.LoadFromStream(s, version);
    FHoverLabels.LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    SetText(r.String("text"));
    FLineSpace = r.I32("line space");
    FAlpha = r.I32("alpha");
    FLabels.Opacity = FHoverLabels.Opacity = FAlpha;
    FMarginX = r.I32("margin x");
    FMarginY = r.I32("margin y");
    FBorderWidth = r.I32("border width");
    FBorderColor = r.I32("border colour");
    FRowCount = r.I32("row count");
    for (int cell = 0; cell < 9; ++cell) {
        SetBorderSource(cell, r.String("border source"));
        FBorderHAlign[cell] = r.U8("border h-align");
        FBorderVAlign[cell] = r.U8("border v-align");
    }
    SetScrollSource(r.String("scroll source"));
    SetCheckSource(r.String("check source"));
    const int32_t top = r.I32("top index");
    if (version < 104) r.Skip(1, "old flag");
    FHAlign = r.U8("h-align");
    r.Need(static_cast<int64_t>(FChecks.size()), "check marks");
    for (uint8_t& c : FChecks) c = r.U8("check mark");
    FOnSelect = r.String("select handler");
    FPaused = r.U8("paused");
    FIndex = r.I32("index");
    FState = r.I32("state");
    // A damaged first row must still name an item.
    FTopIndex = std::clamp(top, 0, max_top());
    FLayoutDirty = 1;
}
