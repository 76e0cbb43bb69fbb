// Mask-pattern wipes: each one only draws the 8-bpp weight mask of TWipeMask
// for its progress and lets the common compositor mix the pictures. Stripes
// (blinds), staggered blocks (curtains), growing squares (grids), a fixed
// random dither, a grey mask picture, clock-hand and fan sectors, a circle,
// and square blocks in spiral or random order.
//
// Soft edges: a pixel of threshold d at level L has weight
// min(255, (L - d) * 255 div S) when d <= L, else 0 (S = parameter 1).
// Angles in parameter 0 are degrees, 0 pointing straight up, clockwise.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "render/wipes/custom_wipe.h"

// Vertical stripes (the mask is one row) of P0 pixels opening sideways.
class TWipeBlindH : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    bool UpdateMask() override;
    int32_t MaskHeight() const override { return 1; }
};

// Horizontal stripes: P0 mask rows repeated down the target.
class TWipeBlindV : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    bool UpdateMask() override;
    int32_t MaskHeight() const override { return std::max(Parameters[0], 2); }
};

// Blocks of P0 columns, each opening from its start, 16 levels apart.
class TWipeCurtainH : public TWipeOrderHMask {
public:
    using TWipeOrderHMask::TWipeOrderHMask;
    bool UpdateMask() override;
    int32_t MaskHeight() const override { return 1; }
};

// The same over rows.
class TWipeCurtainV : public TWipeOrderVMask {
public:
    using TWipeOrderVMask::TWipeOrderVMask;
    bool UpdateMask() override;
};

// Squares growing in cells of P0 pixels, by distance from the top-left
// cell (bottom-right with Mode).
class TWipeGrid : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    bool UpdateMask() override;

protected:
    // 0: by distance, 1: by column (one row of cells), 2: by row.
    virtual int Order() const { return 0; }
};
class TWipeGridH : public TWipeGrid {
public:
    using TWipeGrid::TWipeGrid;
    int32_t MaskHeight() const override;

protected:
    int Order() const override { return 1; }
};
class TWipeGridV : public TWipeGrid {
public:
    using TWipeGrid::TWipeGrid;

protected:
    int Order() const override { return 2; }
};

// A fixed random order over a 64 x 64 tile (the same on every run).
class TWipeDither : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    void Prepare() override;
    bool UpdateMask() override;
    int32_t MaskHeight() const override { return 64; }

    // Tile pixel numbers (row * 64 + column) in the order they turn to 255.
    std::vector<int32_t> Order;
};

// The grey mask picture MaskName decides when each pixel opens: grey g
// starts at 256 - g of 512 and is open at 511 - g. Mode inverts the picture.
class TWipeShadow : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    void Prepare() override;
    bool UpdateMask() override;

    std::vector<int32_t> Levels;  // grey - 255 per pixel
    uint8_t Ramp[768];
};

// A hand from P0 degrees sweeps the circle clockwise (Mode: the other way).
class TWipeClockhand : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    void SetParam(int32_t index, int32_t value) override;
    bool UpdateMask() override;

    double LastAngle = 0, StartAngle = 0;
};

// A sector centred on P0 degrees opening both ways.
class TWipeFan : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    void SetParam(int32_t index, int32_t value) override;
    bool UpdateMask() override;

    double LastAngle = 0;
};

// Two opposite sectors opening both ways.
class TWipeWFan : public TWipeFan {
public:
    using TWipeFan::TWipeFan;
    bool UpdateMask() override;
};

// A disc growing from the centre (Mode: a disc of old picture shrinking).
class TWipeCircle : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    bool UpdateMask() override;

    int32_t LastRadius = 0;
};

// Square blocks of P0 pixels clockwise round the edge inward (Mode: from
// the centre outward).
class TWipeBlockCoil : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    void SetParam(int32_t index, int32_t value) override { TCustomWipe::SetParam(index, value); }
    void Prepare() override;
    bool UpdateMask() override;

    int32_t LastBlock = -1;
    std::vector<TRect> Blocks;

protected:
    // P0 limited to 10 .. the mask's sides, stored back.
    int32_t ClampBlockSize();
};

// The same blocks in random order.
class TWipeBlockRandom : public TWipeBlockCoil {
public:
    using TWipeBlockCoil::TWipeBlockCoil;
    void Prepare() override;
    bool UpdateMask() override;
};
