// The main window's button bar: a fixed strip along the top of the
// window's client area (its dock) carrying flat text buttons laid out left
// to right in the order they were added. It cannot be dragged, floated or
// closed; the main window only shows or hides it and reads its height.
// A button's click fires on release of the left button over it.
#pragma once
#include "chrome/widgets.h"

#include <functional>
#include <string>

class TToolbarButton97 : public Button {
public:
    TToolbarButton97(Form& form, const TRect& bounds, const std::string& sjis_caption)
        : Button(form, bounds, sjis_caption, true) {}
};

class TToolbar97 : public Form {
public:
    // dock_width: the window's client width.
    explicit TToolbar97(int32_t dock_width, int32_t dock_height = 9);

    // Appends a flat text button after the others.
    TToolbarButton97& AddButton(const std::string& sjis_caption, int32_t width, int32_t height,
                                std::function<void()> on_click);
    int32_t ButtonCount() const { return static_cast<int32_t>(Widgets().size()); }
    TToolbarButton97& ButtonAt(int32_t i) const;

    // The bar sits vertically centred in the dock.
    int32_t BarHeight() const { return bar_height_; }
    void SetBarHeight(int32_t h);
    int32_t DockHeight() const { return Height(); }
    void SetDockHeight(int32_t h);
    void SetDockWidth(int32_t w);

    bool Visible() const { return visible_; }
    // Hiding drops any press or hover on the bar; what the bar covered in
    // the window is the caller's to draw again.
    void SetVisible(bool on);
    // In full screen the bar appears when the pointer really is on the
    // screen's top row (at_top_edge), stays while the pointer is over it or
    // above it (in a band above the picture, y < 0) so that its buttons can
    // be reached, and goes again when it moves below or beside it.
    void FollowPointer(int32_t x, int32_t y, bool at_top_edge);

    // The window's input in client coordinates. True when the bar took it:
    // pointer events over the dock, or the release of a press that began
    // on it. A hidden bar takes nothing.
    bool HandleWindowEvent(const InputEvent& e);
    // Shows the bar at the window's top-left corner when it changed (or
    // always with force); nothing while hidden.
    bool Draw(Video& window, bool force = false);
    // Copies the shown bar into the window's image without presenting, so
    // that a frame drawn where it stands does not cover it.
    void DrawOver(Video& window);

protected:
    // The boundary line along the dock's bottom edge.
    void PaintBackground(ChromeCanvas& canvas) override;

private:
    void layout();
    int32_t bar_height_ = 18;
    bool visible_ = true;
};
