// Wipes that move or deform the pictures themselves: scrolling, a
// bamboo-blind roll, a rubber-band stretch, a twist about the horizontal or
// vertical axis, shrinking and growing with rotation, a zoom into a point, a
// ripple ring, and pieces of the old picture falling off the screen.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "render/wipes/custom_wipe.h"

// The new picture pushes the old one out to the left (Mode: to the right).
class TWipeScrollH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};
// ... upward (Mode: downward).
class TWipeScrollV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The old picture rolls up into a smear of one column (row), then the new
// one unrolls; from the left (top), with Mode from the right (bottom).
class TWipeSudareH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};
class TWipeSudareV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// A band pulled narrow to one column (row) at half time, widening again on
// the new picture.
class TWipeRubberH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};
class TWipeRubberV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// Rows (columns) turn about the centre line one after another, the new
// picture showing from behind past a quarter turn.
class TWipeTwistH : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};
class TWipeTwistV : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The old picture shrinks, fades and turns P0/256 turns away over the new.
class TWipeSmall : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};
// The new picture grows out of the centre while it turns into place.
class TWipeBig : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// The view closes in on (P0, P1) of the old picture and opens out of the
// same point on the new one.
class TWipeZoomin : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    bool Step() override;
};

// A ring of waves (amplitude P0 pixels) runs outward from the centre,
// leaving the new picture behind it.
class TWipeRipple : public TCustomWipe {
public:
    TWipeRipple(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture);
    void SetParam(int32_t index, int32_t value) override;
    bool Step() override;

    // Per point of the top-left quarter, row-major, rows of W div 2.
    std::vector<uint16_t> Dist;
    std::vector<int32_t> CosTab, SinTab;
    std::vector<int32_t> Wave;

private:
    void build_wave(int32_t amplitude);
    int32_t qw_ = 0, qh_ = 0;
};

class TWipeCrack;

// One falling piece of the old picture.
class TWipeCrackDraw {
public:
    explicit TWipeCrackDraw(TWipeCrack* owner) : Owner(owner) {}
    // Draws the piece at time t; true once it has fallen below the target.
    bool Draw(int64_t t);

    TWipeCrack* Owner;
    int32_t Column = 0, Row = 0, Drift = 0;
    int64_t Start = 0;
};

// The old picture breaks into P0-pixel pieces that jump and fall off the
// screen in random order, P1 time units apart, uncovering the new one.
class TWipeCrack : public TCustomWipe {
public:
    using TCustomWipe::TCustomWipe;
    ~TWipeCrack() override;
    // Index 0 (at least 16) builds the pieces; index 1 (at least 0) sets
    // their start times.
    void SetParam(int32_t index, int32_t value) override;
    bool Step() override;

    std::vector<std::unique_ptr<TWipeCrackDraw>> Tiles;
    int64_t FallTime = 0;
    int64_t LastStart = 0;

private:
    void set_starts();
};
