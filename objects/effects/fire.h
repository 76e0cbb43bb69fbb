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

#include "objects/film_target.h"
#include "objects/vorq_object.h"

#include <string>

// Heat -> pixel for a target of the given depth (15, 16 or 32 bits); false
// for any other depth, which shows no fire.
bool FirePixelTable(int32_t bits, std::array<uint32_t, 256>& table);

// Draws the field onto target at dest (stretched when dest differs from the
// field's size), clipped to the target's clip. Cold cells (heat 16, the
// field's transparent value) are skipped so what lies beneath shows.
void DrawFireField(const FireField& field, TCustomDIBX& target, const TRect& dest);

// The largest field side a script or a save may ask for.
constexpr int32_t kMaxFireSide = 4096;

// TVorqFire: animated flames from a FireField of ORIGWIDTH x ORIGHEIGHT
// cells, stepped every 40 ms of game time and shown at ZOOMX / ZOOMY.
class TVorqFire : public TVorqControl, public TFilmTarget {
public:
    explicit TVorqFire(TVorqBaseList* registry);
    ~TVorqFire() override;

    uint8_t GetCompoType() const override { return LT_FIRE; }
    int32_t GetPower() const override { return FPower; }
    void SetPower(int32_t v) override;
    int32_t GetOrigWidth() const override { return FOrigWidth; }
    void SetOrigWidth(int32_t v) override;
    int32_t GetOrigHeight() const override { return FOrigHeight; }
    void SetOrigHeight(int32_t v) override;
    int32_t GetZoomX() const override { return FZoomX; }
    void SetZoomX(int32_t v) override;
    int32_t GetZoomY() const override { return FZoomY; }
    void SetZoomY(int32_t v) override;
    // The size always follows ORIG x ZOOM.
    void SetWidth(int32_t) override {}
    void SetHeight(int32_t) override {}
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    bool GetPlaying() const override { return !FPaused && !GetAniPaused(); }

    bool Update() override;
    void Draw() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void ApplyFilmFire(const TFilmFireFrame& f) override;

    const FireField& Field() const { return FField; }
    double HeatFactor() const { return FFactor; }

private:
    void ChangeOrig(int32_t& field, int32_t v);
    void ChangeZoom(int32_t& field, int32_t v);
    void Resize();

    int32_t FPower = 1;
    int32_t FOrigWidth = 0, FOrigHeight = 0;
    int32_t FZoomX = 0, FZoomY = 0;
    FireField FField;
    double FFactor = 4.5;
    int32_t FSetup = 0;
    std::string FOnIdle;
    uint8_t FPaused = 0;
    int32_t FAccumulator = 0;
};
