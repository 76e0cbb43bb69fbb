// The fire effect's simulation: an 8-bit heat field whose bottom rows are
// kept at full heat and whose cells cool upwards through an intensity
// table, with scrolling noise, drawn through a fixed colour ramp.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Heat -> 0x00RRGGBB ramp (black, red, orange, yellow, pale yellow).
const std::array<uint32_t, 256>& FirePalette32();

// Heat after cooling for each sum of four heats; a factor <= 0 counts as
// 0.0001. Returns the factor actually used.
double BuildFireIntensityTable(double factor, std::array<uint8_t, 1024>& table);

// The heat factor that POWER (0..255) gives.
double FireHeatFactor(int32_t power);

class FireField {
public:
    // Rebuilds the field cold (every cell 16) with fresh noise from the
    // process-wide generator. Negative sizes are refused with an exception.
    void Reset(int32_t width, int32_t height);
    void SetIntensity(double factor) { BuildFireIntensityTable(factor, intensity_); }
    // One simulation step.
    void Step();

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    const uint8_t* Pixels() const { return heat_.data(); }
    uint8_t* Pixels() { return heat_.data(); }

private:
    int32_t width_ = 0, height_ = 0;
    std::vector<uint8_t> heat_;
    std::vector<uint8_t> noise_;
    // Wrap tables hold full indices: a field wider or taller than 256 cells
    // must not fold its noise into the first 256 columns or rows.
    std::vector<uint32_t> col_wrap_, row_wrap_;
    std::array<uint8_t, 1024> intensity_{};
    uint32_t col_offset_ = 0, row_offset_ = 0;
};
