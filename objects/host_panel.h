// The panel of the main window in which the game picture is shown. Besides
// the frames the screen manager presents, the last picture must come back
// whenever the window system asks the panel to repaint (uncovering,
// restoring from the taskbar).
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <vector>

class Video;
class TCustomDIBX;

class TBasePanel {
public:
    explicit TBasePanel(Video& view) : view_(view) {}
    Video& View() const { return view_; }
    uint8_t Flag = 0;

    // Where the panel lies in the window's client area: below the
    // toolbar's dock in a window, the whole area in full screen. Empty (at
    // first): the whole client area.
    void SetBounds(const TRect& bounds) { bounds_ = bounds; }
    TRect Bounds() const { return bounds_; }

    // Repaint: the main registry's screen surface stretched over the
    // panel (nearest pixel) and presented; the rest of the window is left
    // as it is. Nothing while there is no registry or no screen surface.
    void Paint();

private:
    Video& view_;
    TRect bounds_{};
    std::vector<uint32_t> frame_;
};

// The surface stretched (nearest pixel) to width × height 0x00RRGGBB pixels.
void StretchToRgb(TCustomDIBX& surface, int32_t width, int32_t height, std::vector<uint32_t>& out);
