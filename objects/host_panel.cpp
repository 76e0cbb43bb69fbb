#include "objects/host_panel.h"

#include "media/media.h"
#include "objects/base_list.h"
#include "platform/video.h"
#include "render/custom_dibx.h"

namespace {
// One channel of a raw pixel widened to 8 bits.
uint32_t channel(uint32_t v, uint32_t mask, int32_t shift) {
    if (mask == 0) return 0;
    uint32_t bits = mask >> shift;
    uint32_t c = (v & mask) >> shift;
    if (bits >= 255) return c & 255;
    return bits ? c * 255 / bits : 0;
}
}  // namespace

void StretchToRgb(TCustomDIBX& s, int32_t width, int32_t height, std::vector<uint32_t>& out) {
    out.assign(static_cast<size_t>(width > 0 ? width : 0) * static_cast<size_t>(height > 0 ? height : 0), 0);
    const int32_t sw = s.Width(), sh = s.Height();
    if (width <= 0 || height <= 0 || sw <= 0 || sh <= 0) return;
    const uint32_t rm = s.RedMask(), gm = s.GreenMask(), bm = s.BlueMask();
    const int32_t rs = s.RedShift(), gs = s.GreenShift(), bs = s.BlueShift();
    std::vector<int32_t> xs(static_cast<size_t>(width));
    for (int32_t x = 0; x < width; ++x) xs[static_cast<size_t>(x)] = static_cast<int32_t>(int64_t(x) * sw / width);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t sy = static_cast<int32_t>(int64_t(y) * sh / height);
        uint32_t* row = out.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t v = s.GetPixel(xs[static_cast<size_t>(x)], sy);
            row[x] = channel(v, rm, rs) << 16 | channel(v, gm, gs) << 8 | channel(v, bm, bs);
        }
    }
}

void TBasePanel::Paint() {
    if (!VorqBaseList || !ScreenManager) return;
    TCustomDIBX* s = VorqBaseList->ScreenSurface();
    if (!s || s->IsEmpty()) return;
    const TRect client{0, 0, view_.ClientWidth(), view_.ClientHeight()};
    const TRect area = RectIsEmpty(bounds_) ? client : IntersectRects(bounds_, client);
    if (RectIsEmpty(area)) return;
    const int32_t w = area.Width(), h = area.Height();
    StretchToRgb(*s, w, h, frame_);
    view_.Update(frame_.data(), w, h, w, area.Left, area.Top);
    view_.Present();
}
