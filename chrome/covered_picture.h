// The window's picture under a dialog or a menu, kept while it is open so
// that closing puts it back. Nothing is put back when the client area has
// changed size meanwhile: the next frame draws it whole.
#pragma once
#include "platform/rect.h"
#include "platform/display/video.h"

#include <cstdint>
#include <vector>

class TCoveredPicture {
public:
    void Take(const Video& window) {
        width_ = window.ClientWidth();
        height_ = window.ClientHeight();
        pixels_.assign(window.ReadPixels(), window.ReadPixels() + static_cast<size_t>(width_) * height_);
    }
    // Puts back the box; false when nothing was kept for this client size.
    bool Restore(Video& window, const TRect& box) const {
        if (window.ClientWidth() != width_ || window.ClientHeight() != height_ || pixels_.empty()) return false;
        window.Update(pixels_.data(), width_, height_, width_, 0, 0, &box, 1);
        return true;
    }
    void Clear() { pixels_.clear(); }

private:
    std::vector<uint32_t> pixels_;
    int32_t width_ = 0, height_ = 0;
};
