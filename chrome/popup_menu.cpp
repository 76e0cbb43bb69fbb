#include "chrome/popup_menu.h"
#include "platform/display/keys.h"

#include <algorithm>

using namespace chrome_colour;

namespace {
constexpr int32_t kBorder = 3;
constexpr int32_t kItemHeight = 18;
constexpr int32_t kSeparatorHeight = 7;
constexpr int32_t kGutter = 20;  // the tick's column left of the captions
constexpr int32_t kRightSpace = 24;
constexpr int32_t kMinWidth = 100;
constexpr uint32_t kHighlight = 0x0A246A;
constexpr uint32_t kHighlightText = 0xFFFFFF;

TRect inset(const TRect& r, int32_t d) { return TRect{r.Left + d, r.Top + d, r.Right - d, r.Bottom - d}; }
}  // namespace

TPopupMenu::TPopupMenu() : Form(kMinWidth, 2 * kBorder) {}

void TPopupMenu::AddItem(const std::string& sjis_caption, bool checked, std::function<void()> on_click) {
    TMenuItem item;
    item.Text = ParseCaption(sjis_caption);
    item.Checked = checked;
    item.OnClick = std::move(on_click);
    items_.push_back(std::move(item));
    layout();
}

void TPopupMenu::AddSeparator() {
    TMenuItem item;
    item.Separator = true;
    items_.push_back(std::move(item));
    layout();
}

void TPopupMenu::layout() {
    int32_t text_width = 0;
    for (const TMenuItem& item : items_)
        if (!item.Separator) text_width = std::max(text_width, ChromeCanvas::TextWidth(item.Text.Text, Font));
    const int32_t width = std::max(kMinWidth, kBorder + kGutter + text_width + kRightSpace + kBorder);
    rects_.clear();
    int32_t y = kBorder;
    for (const TMenuItem& item : items_) {
        const int32_t h = item.Separator ? kSeparatorHeight : kItemHeight;
        rects_.push_back(TRect{kBorder, y, width - kBorder, y + h});
        y += h;
    }
    SetSize(width, y + kBorder);
}

TRect TPopupMenu::ItemRect(int32_t i) const { return rects_.at(static_cast<size_t>(i)); }

int32_t TPopupMenu::item_at(const TPoint& local) const {
    for (size_t i = 0; i < rects_.size(); ++i)
        if (!items_[i].Separator && PointInRect(local, rects_[i])) return static_cast<int32_t>(i);
    return -1;
}

void TPopupMenu::set_highlight(int32_t i) {
    if (i == highlight_) return;
    highlight_ = i;
    Invalidate();
}

void TPopupMenu::move_highlight(int32_t step) {
    const int32_t n = ItemCount();
    if (n == 0) return;
    int32_t i = highlight_;
    if (i < 0) i = step > 0 ? -1 : n;
    for (int32_t k = 0; k < n; ++k) {
        i = ((i + step) % n + n) % n;
        if (!items_[static_cast<size_t>(i)].Separator) {
            set_highlight(i);
            return;
        }
    }
}

void TPopupMenu::choose(int32_t i) {
    if (done_ || i < 0 || i >= ItemCount() || items_[static_cast<size_t>(i)].Separator) return;
    chosen_ = i;
    done_ = true;
}

void TPopupMenu::cancel() {
    if (done_) return;
    chosen_ = -1;
    done_ = true;
}

void TPopupMenu::Open(Video& window, int32_t x, int32_t y, bool from_keyboard) {
    window_ = &window;
    done_ = false;
    chosen_ = -1;
    alt_down_ = false;
    highlight_ = -1;
    if (from_keyboard) move_highlight(1);
    // Kept inside the client area where it fits, as desktop menus keep to the screen.
    x = std::max(0, std::min(x, window.ClientWidth() - Width()));
    y = std::max(0, std::min(y, window.ClientHeight() - Height()));
    origin_ = {x, y};
    covered_.Take(window);
    Show(window, x, y, true);
}

void TPopupMenu::Dispatch(const InputEvent& e) {
    if (!window_ || done_) return;
    const TPoint local{e.X - origin_.X, e.Y - origin_.Y};
    const bool inside = PointInRect(local, TRect{0, 0, Width(), Height()});
    switch (e.Kind) {
    case InputEventKind::MouseMove:
        if (inside) set_highlight(item_at(local));
        else set_highlight(-1);
        break;
    case InputEventKind::MouseDown:
        if (!inside) cancel();
        break;
    case InputEventKind::MouseUp:
        if (e.Button != MouseButton::Left && e.Button != MouseButton::Right) break;
        choose(inside ? item_at(local) : -1);
        break;
    case InputEventKind::KeyDown:
        switch (e.VirtualKey) {
        case VK_UP: move_highlight(-1); break;
        case VK_DOWN: move_highlight(1); break;
        case VK_HOME:
            highlight_ = -1;
            move_highlight(1);
            break;
        case VK_END:
            highlight_ = -1;
            move_highlight(-1);
            break;
        case VK_RETURN:
        case VK_SPACE: choose(highlight_); break;
        case VK_ESCAPE:
        case VK_APPS: cancel(); break;
        case VK_MENU: alt_down_ = true; break;
        default:
            for (size_t i = 0; i < items_.size(); ++i)
                if (!items_[i].Separator && items_[i].Text.AccessKey() == e.VirtualKey) {
                    choose(static_cast<int32_t>(i));
                    break;
                }
            break;
        }
        break;
    case InputEventKind::KeyUp:
        // Alt pressed and let go alone leaves the menu, as on the desktop.
        if (e.VirtualKey == VK_MENU && alt_down_) cancel();
        break;
    case InputEventKind::CloseRequest:
    case InputEventKind::Deactivate:
    case InputEventKind::DisplayChange: cancel(); break;
    default: break;
    }
}

void TPopupMenu::Refresh() {
    if (window_) Show(*window_, origin_.X, origin_.Y);
}

void TPopupMenu::Close() {
    if (!window_) return;
    Video& window = *window_;
    window_ = nullptr;
    if (covered_.Restore(window, Bounds(origin_.X, origin_.Y, Width(), Height()))) window.Present();
    covered_.Clear();
}

void TPopupMenu::RunChosen() {
    if (chosen_ < 0 || chosen_ >= ItemCount()) return;
    const TMenuItem& item = items_[static_cast<size_t>(chosen_)];
    if (item.OnClick) item.OnClick();
}

void TPopupMenu::PaintBackground(ChromeCanvas& canvas) {
    const TRect whole{0, 0, Width(), Height()};
    canvas.Edges(whole, Light, DarkShadow);
    canvas.Edges(inset(whole, 1), chrome_colour::Highlight, Shadow);
    const int32_t th = ChromeCanvas::TextHeight(Font);
    for (size_t i = 0; i < items_.size(); ++i) {
        const TMenuItem& item = items_[i];
        const TRect& r = rects_[i];
        if (item.Separator) {
            const int32_t y = r.Top + r.Height() / 2 - 1;
            canvas.HLine(r.Left + 1, r.Right - 1, y, Shadow);
            canvas.HLine(r.Left + 1, r.Right - 1, y + 1, chrome_colour::Highlight);
            continue;
        }
        const bool lit = static_cast<int32_t>(i) == highlight_;
        if (lit) canvas.Fill(r, kHighlight);
        const uint32_t ink = lit ? kHighlightText : Text;
        if (item.Checked) {
            // The tick: seven columns three pixels tall, down then up.
            static constexpr int32_t top[7] = {2, 3, 4, 3, 2, 1, 0};
            const int32_t left = r.Left + (kGutter - 7) / 2, y0 = r.Top + (r.Height() - 7) / 2;
            for (int32_t x = 0; x < 7; ++x) canvas.VLine(left + x, y0 + top[x], y0 + top[x] + 3, ink);
        }
        canvas.DrawCaption(r.Left + kGutter, r.Top + (r.Height() - th) / 2, item.Text, Font, ink, r);
    }
}
