// Pictures and helpers shared by the wipe tests: three surfaces of one size
// (target, old, new) with distinct random pixels, and a step at a position.
#pragma once
#include <cstdint>
#include <memory>
#include <random>

#include "render/wipes/custom_wipe.h"
#include "tests/support/plain_dibx.h"

struct WipePictures {
    WipePictures(int32_t w, int32_t h, int32_t bits, uint32_t seed = 1, bool bottom_up = false)
        : target(w, h, bits, bottom_up), old_picture(w, h, bits, !bottom_up), new_picture(w, h, bits, bottom_up) {
        std::mt19937 rng(seed);
        const uint32_t keep = bits == 32 ? 0xFFFFFFFFu : bits == 24 ? 0xFFFFFFu : bits == 16 ? 0xFFFFu : 0x7FFFu;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                old_picture.SetPixel(x, y, rng() & keep);
                new_picture.SetPixel(x, y, rng() & keep);
                target.SetPixel(x, y, rng() & keep);
            }
    }
    std::unique_ptr<TCustomWipe> Make(int32_t kind) { return CreateWipe(kind, &target, &old_picture, &new_picture); }
    // The target still equal to a picture, pixel for pixel.
    static bool Same(TPlainDIBX& a, TPlainDIBX& b) {
        for (int32_t y = 0; y < a.Height(); ++y)
            for (int32_t x = 0; x < a.Width(); ++x)
                if (a.GetPixel(x, y) != b.GetPixel(x, y)) return false;
        return true;
    }
    void Reset(TPlainDIBX& from) {
        for (int32_t y = 0; y < target.Height(); ++y)
            for (int32_t x = 0; x < target.Width(); ++x) target.SetPixel(x, y, from.GetPixel(x, y));
    }

    TPlainDIBX target, old_picture, new_picture;
};

// Sets the wipe up as the registry does and steps it once at position.
inline bool StepAt(TCustomWipe& wipe, int32_t position) {
    wipe.Position = position;
    return wipe.Step();
}
inline void Start(TCustomWipe& wipe, int32_t duration, uint8_t mode = 0) {
    wipe.Duration = duration;
    wipe.SetMode(mode);
    wipe.Prepare();
}
