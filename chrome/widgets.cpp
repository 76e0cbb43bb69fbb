#include "chrome/widgets.h"
#include "platform/display/keys.h"

#include <algorithm>
#include <cmath>

using namespace chrome_colour;

namespace {
TRect inset(const TRect& r, int32_t d) { return TRect{r.Left + d, r.Top + d, r.Right - d, r.Bottom - d}; }

// Disabled text is embossed: a white copy one pixel down and right under a grey one.
void draw_caption(ChromeCanvas& canvas, int32_t x, int32_t y, const Widget& w, const ChromeFont& font,
                  const TRect& clip) {
    if (w.Enabled()) {
        canvas.DrawCaption(x, y, w.GetCaption(), font, Text, clip);
    } else {
        canvas.DrawCaption(x + 1, y + 1, w.GetCaption(), font, Highlight, clip);
        canvas.DrawCaption(x, y, w.GetCaption(), font, GrayText, clip);
    }
}
}  // namespace

// ---- Button ------------------------------------------------------------------

Button::Button(Form& form, const TRect& bounds, const std::string& sjis_caption, bool flat)
    : Widget(form, bounds, sjis_caption), Flat(flat) {
    TabStop = !flat;
}

void Button::Click() {
    if (!Enabled() || !OnClick) return;
    // The handler may close the form that holds the button.
    std::function<void()> handler = OnClick;
    handler();
}

void Button::set_pressed(bool on) {
    if (pressed_ == on) return;
    pressed_ = on;
    Invalidate();
}

void Button::MouseDown(const TPoint&) {
    mouse_down_ = true;
    set_pressed(true);
}

void Button::MouseMove(const TPoint& p) {
    if (mouse_down_) set_pressed(PointInRect(p, Bounds()));
}

void Button::MouseUp(const TPoint& p) {
    if (!mouse_down_) return;
    mouse_down_ = false;
    set_pressed(false);
    if (PointInRect(p, Bounds())) Click();
}

void Button::KeyDown(int32_t vk) {
    if (vk != VK_SPACE) return;
    space_down_ = true;
    set_pressed(true);
}

void Button::KeyUp(int32_t vk) {
    if (vk != VK_SPACE || !space_down_) return;
    space_down_ = false;
    set_pressed(false);
    Click();
}

void Button::Paint(ChromeCanvas& canvas) {
    const TRect r = Bounds();
    canvas.Fill(r, Owner().Color);
    if (Flat) {
        if (pressed_) canvas.Edges(r, Shadow, Highlight);
        else if (Hovered() && Enabled()) canvas.Edges(r, Highlight, Shadow);
    } else {
        TRect f = r;
        const bool focus_on_button = dynamic_cast<Button*>(Owner().Focus()) != nullptr;
        if (Focused() || (Owner().DefaultButton == this && !focus_on_button)) {
            canvas.Edges(f, Text, Text);
            f = inset(f, 1);
        }
        if (pressed_) {
            canvas.Edges(f, Shadow, Shadow);
        } else {
            canvas.Edges(f, Highlight, DarkShadow);
            canvas.Edges(inset(f, 1), Light, Shadow);
        }
    }
    const ChromeFont& font = Owner().Font;
    const int32_t shift = pressed_ ? 1 : 0;
    const int32_t x = r.Left + (r.Width() - ChromeCanvas::TextWidth(GetCaption().Text, font)) / 2 + shift;
    const int32_t y = r.Top + (r.Height() - ChromeCanvas::TextHeight(font)) / 2 + shift;
    draw_caption(canvas, x, y, *this, font, inset(r, 2));
    if (Focused() && !Flat) canvas.DottedFrame(inset(r, 4), Text);
}

// ---- CheckBox ----------------------------------------------------------------

CheckBox::CheckBox(Form& form, const TRect& bounds, const std::string& sjis_caption)
    : Widget(form, bounds, sjis_caption) {
    TabStop = true;
}

void CheckBox::SetChecked(bool on) {
    if (checked_ == on) return;
    checked_ = on;
    Invalidate();
    if (OnClick) OnClick();
}

void CheckBox::MouseDown(const TPoint&) {
    mouse_down_ = pressed_ = true;
    Invalidate();
}

void CheckBox::MouseMove(const TPoint& p) {
    if (!mouse_down_) return;
    pressed_ = PointInRect(p, Bounds());
    Invalidate();
}

void CheckBox::MouseUp(const TPoint& p) {
    if (!mouse_down_) return;
    mouse_down_ = pressed_ = false;
    Invalidate();
    if (PointInRect(p, Bounds())) SetChecked(!checked_);
}

void CheckBox::KeyDown(int32_t vk) {
    if (vk != VK_SPACE) return;
    space_down_ = pressed_ = true;
    Invalidate();
}

void CheckBox::KeyUp(int32_t vk) {
    if (vk != VK_SPACE || !space_down_) return;
    space_down_ = pressed_ = false;
    SetChecked(!checked_);
    Invalidate();
}

void CheckBox::AccessKeyPressed() {
    Owner().SetFocus(this);
    SetChecked(!checked_);
}

void CheckBox::Paint(ChromeCanvas& canvas) {
    const TRect r = Bounds();
    const TRect box = ::Bounds(r.Left, r.Top + (r.Height() - 13) / 2, 13, 13);
    canvas.Edges(box, Shadow, Highlight);
    canvas.Edges(inset(box, 1), DarkShadow, Light);
    canvas.Fill(inset(box, 2), Enabled() && !pressed_ ? Window : Owner().Color);
    if (checked_) {
        // The tick: seven columns three pixels tall, down then up.
        static constexpr int32_t top[7] = {2, 3, 4, 3, 2, 1, 0};
        const uint32_t mark = Enabled() ? Text : GrayText;
        for (int32_t x = 0; x < 7; ++x) canvas.VLine(box.Left + 3 + x, box.Top + 3 + top[x], box.Top + 6 + top[x], mark);
    }
    const ChromeFont& font = Owner().Font;
    const int32_t th = ChromeCanvas::TextHeight(font);
    const int32_t x = r.Left + 17, y = r.Top + (r.Height() - th) / 2;
    draw_caption(canvas, x, y, *this, font, r);
    if (Focused()) {
        const int32_t tw = ChromeCanvas::TextWidth(GetCaption().Text, font);
        canvas.DottedFrame(IntersectRects(TRect{x - 2, y - 1, x + tw + 2, y + th + 2}, r), Text);
    }
}

// ---- Label -------------------------------------------------------------------

Label::Label(Form& form, const TRect& bounds, const std::string& sjis_caption, TextAlign align)
    : Widget(form, bounds, sjis_caption), Align(align) {}

void Label::AccessKeyPressed() {
    if (FocusControl) Owner().SetFocus(FocusControl);
}

void Label::Paint(ChromeCanvas& canvas) {
    const TRect r = Bounds();
    const ChromeFont& font = Owner().Font;
    int32_t x = r.Left;
    if (Align == TextAlign::Right) x = r.Right - ChromeCanvas::TextWidth(GetCaption().Text, font);
    draw_caption(canvas, x, r.Top, *this, font, r);
}

// ---- TrackBar ------------------------------------------------------------------

namespace {
constexpr int32_t kThumbWidth = 11;
constexpr int32_t kChannelMargin = 13;  // from the bar's side to a thumb's centre at either end
}  // namespace

TrackBar::TrackBar(Form& form, const TRect& bounds, int32_t min, int32_t max)
    : Widget(form, bounds), min_(min), max_(std::max(min, max)), position_(min) {
    TabStop = true;
}

void TrackBar::SetPosition(int32_t value) {
    value = std::clamp(value, min_, max_);
    if (value == position_) return;
    position_ = value;
    Invalidate();
    if (OnChange) OnChange();
}

int32_t TrackBar::channel_left() const { return Bounds().Left + kChannelMargin; }
int32_t TrackBar::channel_right() const { return Bounds().Right - kChannelMargin; }

int32_t TrackBar::PositionX(int32_t value) const {
    if (max_ == min_) return channel_left();
    return channel_left() + static_cast<int32_t>(int64_t{value - min_} * (channel_right() - channel_left()) / (max_ - min_));
}

int32_t TrackBar::nearest(int32_t x) const {
    const int32_t span = channel_right() - channel_left();
    if (max_ == min_ || span <= 0) return min_;
    const double v = min_ + double(x - channel_left()) * (max_ - min_) / span;
    return std::clamp(static_cast<int32_t>(std::floor(v + 0.5)), min_, max_);
}

TRect TrackBar::ThumbRect() const {
    return ::Bounds(PositionX(position_) - kThumbWidth / 2, Bounds().Top + 2, kThumbWidth, ThumbLength);
}

void TrackBar::MouseDown(const TPoint& p) {
    if (PointInRect(p, ThumbRect())) {
        dragging_ = true;
        return;
    }
    SetPosition(p.X < PositionX(position_) ? position_ - PageSize : position_ + PageSize);
}

void TrackBar::MouseMove(const TPoint& p) {
    if (dragging_) SetPosition(nearest(p.X));
}

void TrackBar::MouseUp(const TPoint& p) {
    if (!dragging_) return;
    SetPosition(nearest(p.X));
    dragging_ = false;
}

void TrackBar::KeyDown(int32_t vk) {
    switch (vk) {
    case VK_LEFT:
    case VK_UP: SetPosition(position_ - 1); break;
    case VK_RIGHT:
    case VK_DOWN: SetPosition(position_ + 1); break;
    case VK_PRIOR: SetPosition(position_ - PageSize); break;
    case VK_NEXT: SetPosition(position_ + PageSize); break;
    case VK_HOME: SetPosition(min_); break;
    case VK_END: SetPosition(max_); break;
    default: break;
    }
}

void TrackBar::Paint(ChromeCanvas& canvas) {
    const TRect r = Bounds();
    const int32_t half = kThumbWidth / 2;
    const TRect channel{channel_left() - half, r.Top + 8, channel_right() + half + 1, r.Top + 12};
    canvas.Edges(channel, Shadow, Highlight);
    canvas.Edges(inset(channel, 1), DarkShadow, Light);
    const uint32_t tick = Enabled() ? Text : GrayText;
    for (int32_t v = min_; v <= max_; ++v) {
        canvas.VLine(PositionX(v), r.Top + ThumbLength + 4, r.Top + ThumbLength + 7, tick);
        if (v == max_) break;  // max_ may be INT32_MAX
    }
    const TRect thumb = ThumbRect();
    canvas.Fill(thumb, Owner().Color);
    canvas.Edges(thumb, Highlight, DarkShadow);
    canvas.Edges(inset(thumb, 1), Light, Shadow);
    if (!Enabled()) canvas.Fill(inset(thumb, 3), Light);
    if (Focused()) canvas.DottedFrame(r, Text);
}

// ---- Bevel ---------------------------------------------------------------------

void Bevel::Paint(ChromeCanvas& canvas) {
    const TRect r = Bounds();
    canvas.Edges(TRect{r.Left, r.Top, r.Right - 1, r.Bottom - 1}, Shadow, Shadow);
    canvas.Edges(TRect{r.Left + 1, r.Top + 1, r.Right, r.Bottom}, Highlight, Highlight);
}

// ---- ListBox -----------------------------------------------------------------

namespace {
constexpr int32_t kListBorder = 2;
constexpr int32_t kStripWidth = 12;
constexpr uint32_t kSelected = 0x0A246A;
constexpr uint32_t kSelectedText = 0xFFFFFF;
constexpr uint32_t kStripColour = 0xECE9E4;
}  // namespace

ListBox::ListBox(Form& form, const TRect& bounds) : Widget(form, bounds) { TabStop = true; }

void ListBox::SetItems(std::vector<std::string> items) {
    items_ = std::move(items);
    top_ = 0;
    index_ = -1;
    SetItemIndex(0);
    Invalidate();
}

int32_t ListBox::VisibleLines() const {
    return std::max(1, (Bounds().Height() - 2 * kListBorder) / std::max(1, ItemHeight));
}

TRect ListBox::LineRect(int32_t i) const {
    const TRect r = Bounds();
    const int32_t right = r.Right - kListBorder - (scrolls() ? kStripWidth : 0);
    const int32_t y = r.Top + kListBorder + (i - top_) * ItemHeight;
    return TRect{r.Left + kListBorder, y, right, y + ItemHeight};
}

TRect ListBox::strip() const {
    const TRect r = Bounds();
    return TRect{r.Right - kListBorder - kStripWidth, r.Top + kListBorder, r.Right - kListBorder, r.Bottom - kListBorder};
}

TRect ListBox::thumb() const {
    const TRect s = strip();
    const int32_t n = static_cast<int32_t>(items_.size()), lines = VisibleLines();
    const int32_t h = std::max(8, s.Height() * lines / std::max(1, n));
    const int32_t range = std::max(1, n - lines);
    const int32_t y = s.Top + (s.Height() - h) * top_ / range;
    return TRect{s.Left, y, s.Right, y + h};
}

void ListBox::set_top(int32_t top) {
    top = std::clamp(top, 0, std::max(0, static_cast<int32_t>(items_.size()) - VisibleLines()));
    if (top == top_) return;
    top_ = top;
    Invalidate();
}

void ListBox::SetItemIndex(int32_t i) {
    if (items_.empty()) i = -1;
    else i = std::clamp(i, 0, static_cast<int32_t>(items_.size()) - 1);
    if (i >= 0) {
        if (i < top_) set_top(i);
        else if (i >= top_ + VisibleLines()) set_top(i - VisibleLines() + 1);
    }
    if (i == index_) return;
    index_ = i;
    Invalidate();
    if (OnChange) OnChange();
}

int32_t ListBox::line_at(int32_t y) const {
    return top_ + (y - Bounds().Top - kListBorder) / std::max(1, ItemHeight);
}

void ListBox::MouseDown(const TPoint& p) {
    if (scrolls() && PointInRect(p, strip())) {
        const TRect t = thumb();
        if (p.Y < t.Top) set_top(top_ - VisibleLines());
        else if (p.Y >= t.Bottom) set_top(top_ + VisibleLines());
        return;
    }
    dragging_ = true;
    if (p.Y >= Bounds().Top + kListBorder && line_at(p.Y) < static_cast<int32_t>(items_.size()))
        SetItemIndex(line_at(p.Y));
}

void ListBox::MouseMove(const TPoint& p) {
    if (!dragging_) return;
    // Dragging past the ends scrolls the selection along.
    SetItemIndex(p.Y < Bounds().Top + kListBorder ? index_ - 1 : std::min(line_at(p.Y), top_ + VisibleLines()));
}

void ListBox::MouseWheel(int32_t notches) { set_top(top_ - 3 * notches); }

void ListBox::KeyDown(int32_t vk) {
    switch (vk) {
    case VK_UP: SetItemIndex(index_ - 1); break;
    case VK_DOWN: SetItemIndex(index_ + 1); break;
    case VK_PRIOR: SetItemIndex(index_ - (VisibleLines() - 1)); break;
    case VK_NEXT: SetItemIndex(index_ + (VisibleLines() - 1)); break;
    case VK_HOME: SetItemIndex(0); break;
    case VK_END: SetItemIndex(static_cast<int32_t>(items_.size()) - 1); break;
    default: break;
    }
}

void ListBox::Paint(ChromeCanvas& canvas) {
    const TRect r = Bounds();
    canvas.Edges(r, Shadow, Highlight);
    canvas.Edges(inset(r, 1), DarkShadow, Light);
    const TRect inner = inset(r, kListBorder);
    canvas.Fill(inner, Enabled() ? Window : Owner().Color);
    const ChromeFont& font = Owner().Font;
    const int32_t th = ChromeCanvas::TextHeight(font);
    const int32_t last = std::min(static_cast<int32_t>(items_.size()), top_ + VisibleLines());
    for (int32_t i = top_; i < last; ++i) {
        const TRect line = IntersectRects(LineRect(i), inner);
        const bool selected = i == index_;
        if (selected) canvas.Fill(line, kSelected);
        canvas.DrawText(line.Left + 2, line.Top + (ItemHeight - th) / 2, items_[static_cast<size_t>(i)], font,
                        selected ? kSelectedText : (Enabled() ? Text : GrayText), line);
        if (selected && Focused()) canvas.DottedFrame(line, kSelectedText);
    }
    if (scrolls()) {
        canvas.Fill(strip(), kStripColour);
        const TRect t = thumb();
        canvas.Fill(t, Face);
        canvas.Edges(t, Highlight, DarkShadow);
    }
}
