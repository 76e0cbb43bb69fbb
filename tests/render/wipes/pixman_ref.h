// pixman as the reference for the saturating adds and blends of the wipes:
// a copy of a picture with a grey added per pixel (or, through the
// negative, subtracted), at 32 and 16 bpp.
#pragma once
#ifdef HAVE_PIXMAN
#include <pixman.h>

#include <cstdint>
#include <functional>

#include "tests/support/plain_dibx.h"

inline pixman_format_code_t PixmanFormat(const TPlainDIBX& s) {
    return s.BitCount() == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r5g6b5;
}

// ref := pick(x, y) (a raw pixel) plus grey level(x, y) per channel,
// saturating; with sub the grey is taken off, floored at 0, computed as
// the negative of (negative + grey).
inline void PixmanGreyAdd(TPlainDIBX& ref, const std::function<uint32_t(int32_t, int32_t)>& pick,
                          const std::function<int32_t(int32_t, int32_t)>& level, bool sub) {
    const int32_t w = ref.Width(), h = ref.Height();
    const uint32_t all = ref.BitCount() == 32 ? 0xFFFFFFu : 0xFFFFu;
    TPlainDIBX grey(w, h, 32);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            ref.SetPixel(x, y, sub ? ~pick(x, y) & all : pick(x, y));
            const uint32_t l = uint32_t(level(x, y));
            grey.SetPixel(x, y, l | l << 8 | l << 16);
        }
    pixman_image_t* d = pixman_image_create_bits(PixmanFormat(ref), w, h, reinterpret_cast<uint32_t*>(ref.Row(0)), ref.Pitch());
    pixman_image_t* s = pixman_image_create_bits(PIXMAN_x8r8g8b8, w, h, reinterpret_cast<uint32_t*>(grey.Row(0)), grey.Pitch());
    pixman_image_composite32(PIXMAN_OP_ADD, s, nullptr, d, 0, 0, 0, 0, 0, 0, w, h);
    pixman_image_unref(d);
    pixman_image_unref(s);
    if (sub)
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) ref.SetPixel(x, y, ~ref.GetPixel(x, y) & all);
}

// The largest difference of any channel, in units of that channel's field.
inline int WorstChannel(TPlainDIBX& a, TPlainDIBX& b) {
    int worst = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            for (uint32_t f : {a.RedMask(), a.GreenMask(), a.BlueMask()}) {
                const int sh = __builtin_ctz(f);
                const int d = int((a.GetPixel(x, y) & f) >> sh) - int((b.GetPixel(x, y) & f) >> sh);
                worst = std::max(worst, d < 0 ? -d : d);
            }
    return worst;
}
#endif
