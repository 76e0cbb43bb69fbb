// The layout of a prepared menu as the authoring editor stores it: the menu
// area's size and, per button, its place, the motion files of each state,
// the overlay shown over it, its capture mask and cursor. Only read here.
#pragma once
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <string>
#include <vector>

struct TContSelButton {
    int32_t X = 0, Y = 0;
    std::string NormalMotion;
    uint8_t CaptureMask = 0;
    std::string Name;
    std::string HoverMotion, LeaveMotion, ClickMotion;
    std::string DisabledMotion, DisabledHoverMotion, DisabledLeaveMotion;
    std::string HoverOverlay, LeaveOverlay, ClickOverlay;
    std::string DisabledHoverOverlay, DisabledLeaveOverlay;
    int32_t OverlayX = 0, OverlayY = 0;
    std::string Cursor;
};

struct TContSelList {
    int32_t Width = 0, Height = 0;
    std::vector<TContSelButton> Buttons;

    // Replaces the content with the layout in s; folder (the layout file's)
    // makes the stored relative names whole. A stream that is not a layout
    // (other tag, version below 100) leaves it empty; a layout whose counts or
    // fields run past the data is refused with ECorruptData.
    void LoadFromStream(TStream& s, const std::string& folder);
    int32_t TopLevelCount() const { return static_cast<int32_t>(Buttons.size()); }
    const TContSelButton* TopLevelButton(int32_t i) const {
        return i >= 0 && i < TopLevelCount() ? &Buttons[static_cast<size_t>(i)] : nullptr;
    }
};
