// The one factory of the wipe kinds: number -> class and default parameters.
#include "render/wipes/custom_wipe.h"
#include "render/wipes/light_wipes.h"
#include "render/wipes/mask_wipes.h"
#include "render/wipes/moving_wipes.h"

namespace {

using Maker = std::unique_ptr<TCustomWipe> (*)(TCustomDIBX*, TCustomDIBX*, TCustomDIBX*);

template <class T>
std::unique_ptr<TCustomWipe> Make(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture) {
    return std::make_unique<T>(target, old_picture, new_picture);
}

struct Kind {
    Maker make;
    int32_t param0, param1;
};

// Index = wipe number - 1. Not constant: the zoom-in's point becomes the
// screen's centre once the game's screen size is known.
Kind kKinds[38] = {
    {Make<TWipeFade>, 0, 0},          // 1
    {Make<TWipeBlindH>, 20, 1},       // 2
    {Make<TWipeBlindV>, 20, 1},       // 3
    {Make<TWipeCurtainH>, 30, 1},     // 4
    {Make<TWipeCurtainV>, 30, 1},     // 5
    {Make<TWipeScrollH>, 0, 0},       // 6
    {Make<TWipeScrollV>, 0, 0},       // 7
    {Make<TWipeGrid>, 80, 30},        // 8
    {Make<TWipeGridH>, 80, 30},       // 9
    {Make<TWipeGridV>, 80, 30},       // 10
    {Make<TWipeDither>, 0, 0},        // 11
    {Make<TWipeWhite>, 0, 0},         // 12
    {Make<TWipeBlack>, 0, 0},         // 13
    {Make<TWipeFlash>, 0, 0},         // 14
    {Make<TWipeMosaic>, 0, 0},        // 15
    {Make<TWipeSudareH>, 0, 0},       // 16
    {Make<TWipeSudareV>, 0, 0},       // 17
    {Make<TWipeSpot>, 0, 0},          // 18
    {Make<TWipeShadow>, 0, 0},        // 19
    {Make<TWipeShadowWhite>, 0, 0},   // 20
    {Make<TWipeShadowBlack>, 0, 0},   // 21
    {Make<TWipeSmall>, 0, 0},         // 22
    {Make<TWipeBig>, 0, 0},           // 23
    {Make<TWipeRipple>, 5, 0},        // 24
    {Make<TWipeBlurWhite>, 0, 0},     // 25
    {Make<TWipeBlurBlack>, 0, 0},     // 26
    {Make<TWipeTwistH>, 0, 0},        // 27
    {Make<TWipeTwistV>, 0, 0},        // 28
    {Make<TWipeCrack>, 64, 3},        // 29
    {Make<TWipeZoomin>, 0, 0},        // 30
    {Make<TWipeClockhand>, 0, 0},     // 31
    {Make<TWipeRubberH>, 0, 0},       // 32
    {Make<TWipeRubberV>, 0, 0},       // 33
    {Make<TWipeFan>, 0, 0},           // 34
    {Make<TWipeWFan>, 0, 0},          // 35
    {Make<TWipeCircle>, 0, 0},        // 36
    {Make<TWipeBlockCoil>, 60, 0},    // 37
    {Make<TWipeBlockRandom>, 60, 0},  // 38
};

}  // namespace

void WipeDefaults(int32_t kind, int32_t& param0, int32_t& param1) {
    param0 = param1 = 0;
    if (kind < 1 || kind > 38) return;
    param0 = kKinds[kind - 1].param0;
    param1 = kKinds[kind - 1].param1;
}

void SetWipeDefaults(int32_t kind, int32_t param0, int32_t param1) {
    if (kind < 1 || kind > 38) return;
    kKinds[kind - 1].param0 = param0;
    kKinds[kind - 1].param1 = param1;
}

std::unique_ptr<TCustomWipe> CreateWipe(int32_t kind, TCustomDIBX* target, TCustomDIBX* old_picture,
                                        TCustomDIBX* new_picture) {
    if (kind < 1 || kind > 38) return nullptr;
    const Kind& k = kKinds[kind - 1];
    std::unique_ptr<TCustomWipe> wipe = k.make(target, old_picture, new_picture);
    // Through the kind's own SetParam, so that its clamps and tables apply.
    wipe->SetParam(0, k.param0);
    wipe->SetParam(1, k.param1);
    return wipe;
}
