#include "chrome/toolbar.h"

#include <algorithm>

TToolbar97::TToolbar97(int32_t dock_width, int32_t dock_height) : Form(dock_width, dock_height) {}

TToolbarButton97& TToolbar97::AddButton(const std::string& sjis_caption, int32_t width, int32_t height,
                                        std::function<void()> on_click) {
    int32_t x = 0;
    for (const auto& w : Widgets()) x = std::max(x, w->Bounds().Right);
    TToolbarButton97& b = Add<TToolbarButton97>(::Bounds(x, 0, width, height), sjis_caption);
    b.OnClick = std::move(on_click);
    layout();
    return b;
}

TToolbarButton97& TToolbar97::ButtonAt(int32_t i) const {
    return static_cast<TToolbarButton97&>(*Widgets().at(static_cast<size_t>(i)));
}

void TToolbar97::layout() {
    const int32_t top = std::max(0, (DockHeight() - bar_height_) / 2);
    for (const auto& w : Widgets()) {
        const TRect r = w->Bounds();
        if (r.Top != top) w->SetBounds(::Bounds(r.Left, top, r.Width(), r.Height()));
    }
    Invalidate();
}

void TToolbar97::SetBarHeight(int32_t h) {
    bar_height_ = std::max(h, 0);
    layout();
}

void TToolbar97::SetDockHeight(int32_t h) {
    SetSize(Width(), std::max(h, 0));
    layout();
}

void TToolbar97::SetDockWidth(int32_t w) { SetSize(std::max(w, 0), Height()); }

void TToolbar97::SetVisible(bool on) {
    if (visible_ == on) return;
    visible_ = on;
    if (!on)
        for (const auto& w : Widgets()) Forget(w.get());
    Invalidate();
}

void TToolbar97::FollowPointer(int32_t x, int32_t y, bool at_top_edge) {
    if (at_top_edge) SetVisible(true);
    // On a screen taller than the picture the band above it lies at negative
    // rows: on the way down from the edge to the bar the bar stays.
    else if (visible_ && (y >= Height() || x < 0 || x >= Width())) SetVisible(false);
}

bool TToolbar97::HandleWindowEvent(const InputEvent& e) {
    if (!visible_) return false;
    switch (e.Kind) {
    case InputEventKind::MouseMove:
    case InputEventKind::MouseDown:
    case InputEventKind::MouseUp:
    case InputEventKind::MouseWheel: {
        const bool over = PointInRect(TPoint{e.X, e.Y}, TRect{0, 0, Width(), Height()});
        const bool pressed_here = Captured() != nullptr;
        if (e.Kind != InputEventKind::MouseWheel) HandleEvent(e);
        return over || pressed_here;
    }
    case InputEventKind::Deactivate: HandleEvent(e); return false;
    default: return false;
    }
}

bool TToolbar97::Draw(Video& window, bool force) {
    if (!visible_) return false;
    return Show(window, 0, 0, force);
}

void TToolbar97::DrawOver(Video& window) {
    if (visible_) Blit(window, 0, 0);
}

void TToolbar97::PaintBackground(ChromeCanvas& canvas) {
    canvas.HLine(0, Width(), Height() - 1, chrome_colour::Shadow);
}
