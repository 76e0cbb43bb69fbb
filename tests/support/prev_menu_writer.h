// Writes prepared-menu layout files as the authoring editor stores them, for
// tests and fuzz seeds: the names in the records are written as given
// (relative to the layout file).
#pragma once
#include "objects/controls/prev_menu_layout.h"

#include <cstdint>
#include <cstdio>
#include <string>

class PrevMenuWriter {
public:
    static std::string Write(const TContSelList& layout, int version, const std::string& tag = "VorqPrevMenu") {
        PrevMenuWriter w;
        w.out_ = tag;
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", version);
        w.out_ += digits;
        if (version < 100) return w.out_;
        w.i32(layout.Width);
        w.i32(layout.Height);
        w.i32(static_cast<int32_t>(layout.Buttons.size()));
        for (const TContSelButton& b : layout.Buttons) {
            w.i32(b.X);
            w.i32(b.Y);
            w.str(b.NormalMotion);
            w.out_ += static_cast<char>(b.CaptureMask);
            w.str(b.Name);
            w.str(b.HoverMotion);
            w.str(b.LeaveMotion);
            w.str(b.ClickMotion);
            if (version >= 101) w.str(b.DisabledMotion);
            if (version >= 103) w.str(b.DisabledHoverMotion);
            if (version >= 103) w.str(b.DisabledLeaveMotion);
            w.str(b.HoverOverlay);
            w.str(b.LeaveOverlay);
            w.str(b.ClickOverlay);
            if (version >= 102) w.str(b.DisabledHoverOverlay);
            if (version >= 102) w.str(b.DisabledLeaveOverlay);
            w.i32(b.OverlayX);
            w.i32(b.OverlayY);
            w.str(b.Cursor);
        }
        return w.out_;
    }

private:
    void i32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int k = 0; k < 4; ++k) out_ += static_cast<char>((u >> (8 * k)) & 0xFF);
    }
    void str(const std::string& s) {
        i32(static_cast<int32_t>(s.size()));
        out_ += s;
    }
    std::string out_;
};
