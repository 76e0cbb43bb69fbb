// Wipes that change colours rather than shapes: a cross-fade with an
// optional slide, fades through white or black, a white flash, blurred
// fades through white or black, a mosaic, a bright ring sweeping outward,
// and fades through white or black timed per pixel by a grey mask picture.
// Each step redraws the whole target from the two pictures.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "render/wipes/custom_wipe.h"

// The new picture fades in while it slides from (P0, P1) to (0, 0).
class TWipeFade : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// To white in the first half, back from it with the new picture.
class TWipeWhite : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;

protected:
    virtual bool Subtracts() const { return false; }
};
// The same through black.
class TWipeBlack : public TWipeWhite {
public:
    using TWipeWhite::TWipeWhite;

protected:
    bool Subtracts() const override { return true; }
};

// The new picture at once, out of a white that fades.
class TWipeFlash : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The old picture blurs into white, the new one comes back sharp.
class TWipeBlurWhite : public TCustomWipe {
public:
    TWipeBlurWhite(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture);
    ~TWipeBlurWhite() override;
    bool Step() override;

    std::unique_ptr<TDIBX> BlurOld, BlurNew;

protected:
    virtual bool Subtracts() const { return false; }
};
class TWipeBlurBlack : public TWipeBlurWhite {
public:
    using TWipeBlurWhite::TWipeBlurWhite;

protected:
    bool Subtracts() const override { return true; }
};

// Blocks growing to their largest at half time while the new picture is
// mixed in, then shrinking on the new picture.
class TWipeMosaic : public TCustomWipe {
public:
    TWipeMosaic(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture);
    ~TWipeMosaic() override;
    bool Step() override;

    std::unique_ptr<TDIBX> Work;
};

// A bright ring 512 units wide runs outward (Mode: inward); each pixel
// brightens, switches to the new picture and fades back.
class TWipeSpot : public TCustomWipe {
public:
    TWipeSpot(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture);
    void SetMode(uint8_t mode) override;
    bool Step() override;

    std::vector<int32_t> Dist;
    int32_t Reach = 0;

private:
    void build_distances();
};

// Through white, timed per pixel by the grey mask picture MaskName: bright
// parts flash first. Mode inverts the picture.
class TWipeShadowWhite : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    void Prepare() override;
    bool Step() override;

    std::vector<int32_t> Levels;  // grey - 255 per pixel
    uint16_t Ramp[1024];

protected:
    virtual bool Subtracts() const { return false; }

private:
    bool prepared_ = false;
};
class TWipeShadowBlack : public TWipeShadowWhite {
public:
    using TWipeShadowWhite::TWipeShadowWhite;

protected:
    bool Subtracts() const override { return true; }
};
