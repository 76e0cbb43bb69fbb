#include "chrome/form.h"
#include "chrome/widgets.h"
#include "platform/display/keys.h"

#include <algorithm>

Widget::Widget(Form& form, const TRect& bounds, const std::string& sjis_caption)
    : form_(form), bounds_(bounds), caption_(ParseCaption(sjis_caption)) {}

void Widget::SetBounds(const TRect& r) {
    bounds_ = r;
    Invalidate();
}

void Widget::SetCaption(const std::string& sjis_caption) {
    caption_ = ParseCaption(sjis_caption);
    Invalidate();
}

void Widget::SetEnabled(bool on) {
    if (enabled_ == on) return;
    enabled_ = on;
    if (!on) form_.Forget(this);
    Invalidate();
}

void Widget::SetVisible(bool on) {
    if (visible_ == on) return;
    visible_ = on;
    if (!on) form_.Forget(this);
    Invalidate();
}

bool Widget::Focused() const { return form_.Focus() == this; }
bool Widget::Hovered() const { return form_.Hover() == this; }
void Widget::Invalidate() { form_.Invalidate(); }

Form::Form(int32_t width, int32_t height) : width_(width), height_(height) {}

Form::~Form() = default;

void Form::SetSize(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    Invalidate();
}

Widget* Form::widget_at(const TPoint& p) const {
    for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it)
        if ((*it)->Visible() && (*it)->Enabled() && PointInRect(p, (*it)->Bounds())) return it->get();
    return nullptr;
}

void Form::set_hover(Widget* w) {
    if (w == hover_) return;
    Widget* old = hover_;
    hover_ = w;
    if (old) old->HoverChanged();
    if (w) w->HoverChanged();
}

void Form::Forget(Widget* w) {
    if (focus_ == w) {
        focus_ = nullptr;
        w->FocusChanged();
    }
    if (hover_ == w) {
        hover_ = nullptr;
        w->HoverChanged();
    }
    if (captured_ == w) captured_ = nullptr;
}

void Form::SetFocus(Widget* w) {
    if (w == focus_ || (w && !w->CanFocus())) return;
    Widget* old = focus_;
    focus_ = w;
    if (old) old->FocusChanged();
    if (w) w->FocusChanged();
    Invalidate();
}

namespace {
std::vector<Widget*> tab_list(const std::vector<std::unique_ptr<Widget>>& widgets) {
    std::vector<Widget*> list;
    for (const auto& w : widgets)
        if (w->CanFocus()) list.push_back(w.get());
    std::stable_sort(list.begin(), list.end(), [](Widget* a, Widget* b) { return a->TabOrder < b->TabOrder; });
    return list;
}
}  // namespace

void Form::SelectNext(bool backward) {
    const std::vector<Widget*> list = tab_list(widgets_);
    if (list.empty()) return;
    const auto n = static_cast<ptrdiff_t>(list.size());
    const auto at = std::find(list.begin(), list.end(), focus_) - list.begin();
    ptrdiff_t next;
    if (at == n) next = backward ? n - 1 : 0;
    else next = backward ? (at + n - 1) % n : (at + 1) % n;
    SetFocus(list[static_cast<size_t>(next)]);
}

void Form::FocusFirst() {
    const std::vector<Widget*> list = tab_list(widgets_);
    if (!list.empty()) SetFocus(list.front());
}

bool Form::key_down(int32_t vk) {
    if (vk == VK_SHIFT) return shift_ = true;
    if (vk == VK_MENU) return alt_ = true;
    if (focus_ && focus_->TakesAllKeys() && !alt_) {
        focus_->KeyDown(vk);
        return true;
    }
    if (alt_) {
        for (const auto& w : widgets_)
            if (w->Visible() && w->Enabled() && w->GetCaption().AccessKey() == vk) {
                w->AccessKeyPressed();
                return true;
            }
        return false;
    }
    switch (vk) {
    case VK_TAB: SelectNext(shift_); return true;
    case VK_RETURN: {
        // A focused push button stands in for the default one.
        if (auto* b = dynamic_cast<Button*>(focus_)) b->Click();
        else if (DefaultButton && DefaultButton->Visible() && DefaultButton->Enabled()) DefaultButton->Click();
        return true;
    }
    case VK_ESCAPE:
        if (CancelButton && CancelButton->Visible() && CancelButton->Enabled()) CancelButton->Click();
        return true;
    default:
        if (!focus_) return false;
        focus_->KeyDown(vk);
        return true;
    }
}

bool Form::HandleEvent(const InputEvent& e) {
    const TPoint p{e.X, e.Y};
    const bool inside = PointInRect(p, TRect{0, 0, width_, height_});
    switch (e.Kind) {
    case InputEventKind::MouseMove:
        if (captured_) captured_->MouseMove(p);
        set_hover(inside ? widget_at(p) : nullptr);
        return inside || captured_;
    case InputEventKind::MouseDown: {
        if (e.Button != MouseButton::Left || !inside) return inside;
        Widget* w = widget_at(p);
        set_hover(w);
        if (!w) return true;
        if (w->CanFocus()) SetFocus(w);
        captured_ = w;
        w->MouseDown(p);
        return true;
    }
    case InputEventKind::MouseUp: {
        if (e.Button != MouseButton::Left) return inside;
        Widget* w = captured_;
        captured_ = nullptr;
        if (w) w->MouseUp(p);
        return inside || w;
    }
    case InputEventKind::MouseWheel:
        if (!inside) return false;
        if (Widget* w = widget_at(p)) w->MouseWheel(e.WheelDelta);
        return true;
    case InputEventKind::KeyDown:
        // A text field also sees its modifier keys go down.
        if (focus_ && focus_->TakesAllKeys() && (e.VirtualKey == VK_SHIFT || e.VirtualKey == VK_MENU))
            focus_->KeyDown(e.VirtualKey);
        return key_down(e.VirtualKey);
    case InputEventKind::Text:
        if (!focus_) return false;
        focus_->TextInput(e.Text);
        return true;
    case InputEventKind::Composition:
        if (!focus_) return false;
        focus_->Composition(e.Text);
        return true;
    case InputEventKind::KeyUp:
        if (e.VirtualKey == VK_SHIFT) shift_ = false;
        else if (e.VirtualKey == VK_MENU) alt_ = false;
        if (focus_ && (focus_->TakesAllKeys() || (e.VirtualKey != VK_SHIFT && e.VirtualKey != VK_MENU)))
            focus_->KeyUp(e.VirtualKey);
        return true;
    case InputEventKind::Deactivate:
        // Modifier releases go to whoever has the focus then.
        shift_ = alt_ = false;
        set_hover(nullptr);
        return false;
    default: return false;
    }
}

void Form::Paint() {
    if (canvas_.Width() != width_ || canvas_.Height() != height_) canvas_.SetSize(width_, height_);
    canvas_.Fill(TRect{0, 0, width_, height_}, Color);
    PaintBackground(canvas_);
    for (const auto& w : widgets_)
        if (w->Visible()) w->Paint(canvas_);
    dirty_ = false;
}

bool Form::Show(Video& window, int32_t x, int32_t y, bool force) {
    if (!dirty_ && !force) return false;
    Blit(window, x, y);
    window.Present();
    return true;
}

void Form::Blit(Video& window, int32_t x, int32_t y) {
    if (dirty_ || canvas_.Width() != width_ || canvas_.Height() != height_) Paint();
    window.Update(canvas_.Pixels(), width_, height_, width_, x, y);
}
