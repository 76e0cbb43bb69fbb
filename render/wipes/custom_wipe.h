// Screen transitions ("wipes"): one full-screen picture replaced by another
// over a given time. A wipe composes the mix of the picture being left (old)
// and the one being entered (new) into a third surface, the target, once per
// frame. TWipeMask is the base of the wipes that only draw an 8-bpp weight
// mask (0 = old picture, 255 = new) and leave the mixing to one compositor.
//
// The driver (the registry's layer switch, a film's transition track)
// calls, in this order: CreateWipe; Duration and SetMode; SetParam (0, 1)
// and SetName when given; Prepare once; then per frame Position and Step.
// It ends the transition itself once Position reaches Duration. A wipe never
// owns the three surfaces. Nothing in a wipe is saved with a game.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rect.h"

class TCustomDIBX;
class TDIBX;

class TCustomWipe {
public:
    TCustomWipe(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture);
    virtual ~TCustomWipe() = default;
    TCustomWipe(const TCustomWipe&) = delete;
    TCustomWipe& operator=(const TCustomWipe&) = delete;

    // 0: the wipe's normal direction; anything else its alternative.
    virtual void SetMode(uint8_t mode) { Mode = mode; }
    virtual int32_t GetParam(int32_t index) const;
    // Index 0 and 1 only; others are ignored.
    virtual void SetParam(int32_t index, int32_t value);
    // The mask picture's file name (mask-picture wipes only read it).
    virtual void SetName(const std::string& name) { MaskName = name; }
    // Once, after the parameters: buffers, masks, mask pictures.
    virtual void Prepare() {}
    // Draws the picture of Position into the target; true when finished
    // (Position >= Duration), and then nothing is drawn. ChangedRect is set
    // to the target's bounds first in every case.
    virtual bool Step();

    uint8_t Mode = 0;
    std::string MaskName;
    TCustomDIBX* TargetSurface;
    TCustomDIBX* OldSurface;
    TCustomDIBX* NewSurface;
    int32_t Duration = 0;
    int32_t Position = 0;
    int32_t Parameters[2] = {0, 0};
    TRect ChangedRect{};

protected:
    int32_t Width() const;
    int32_t Height() const;
    // Sets ChangedRect and tells whether the transition is over. A duration
    // of 0 or less is over at once, so no step ever divides by it.
    bool BeginStep();
    // Position clamped at 0: a driver's clock that runs backwards must not
    // index tables below their start.
    int64_t Pos() const { return Position < 0 ? 0 : Position; }
    // Pos * n div Duration in 64 bits (a long transition must not wrap).
    int64_t Progress(int64_t n) const { return Pos() * n / Duration; }
    // Position / Duration as a float.
    double Fraction() const { return double(Pos()) / double(Duration); }
};

// Wipes whose drawing is an 8-bpp weight mask, mixed by one compositor.
class TWipeMask : public TCustomWipe {
public:
    TWipeMask(TCustomDIBX* target, TCustomDIBX* old_picture, TCustomDIBX* new_picture);
    ~TWipeMask() override;

    // Index 0 at least 2, index 1 (softness) at least 1.
    void SetParam(int32_t index, int32_t value) override;
    // Sizes the mask (target width x MaskHeight) and clears it to 0.
    void Prepare() override;
    // Redraws the mask when the progress changed, then mixes the pictures.
    bool Step() override;
    // Redraws the mask for Position; false when nothing changed.
    virtual bool UpdateMask() { return false; }
    // Rows of the mask; they repeat down the target.
    virtual int32_t MaskHeight() const;

    std::unique_ptr<TDIBX> Mask;
    int64_t LastLevel = -1;
    // Set when the mask holds only 0 and 255 (the mix then only selects).
    uint8_t TwoLevel = 0;

protected:
    // Row y of the prepared mask (0 <= y < mask height).
    uint8_t* MaskRow(int32_t y);
    int32_t MaskRows() const;
    int32_t MaskWidth() const;
    // The soft edge of a threshold d at level L with softness s.
    static uint8_t SoftEdge(int64_t level, int64_t d, int64_t s) {
        if (d > level) return 0;
        const int64_t v = (level - d) * 255 / s;
        return uint8_t(v > 255 ? 255 : v);
    }
    void FillMask(uint8_t value);
    // Fills the rectangle, cut to the mask.
    void FillMaskRect(TRect r, uint8_t value);

private:
    bool prepared_ = false;
};

// Curtain bases: both parameters at least 1.
class TWipeOrderHMask : public TWipeMask {
public:
    using TWipeMask::TWipeMask;
    void SetParam(int32_t index, int32_t value) override;
};
class TWipeOrderVMask : public TWipeOrderHMask {
public:
    using TWipeOrderHMask::TWipeOrderHMask;
};

// Kinds 1..38 with their two default parameters applied through the kind's
// own SetParam; null for every other kind (no transition).
std::unique_ptr<TCustomWipe> CreateWipe(int32_t kind, TCustomDIBX* target, TCustomDIBX* old_picture,
                                        TCustomDIBX* new_picture);
// The default parameters of a kind (zeros outside 1..38).
void WipeDefaults(int32_t kind, int32_t& param0, int32_t& param1);
// Replaces them for every wipe made afterwards (kinds outside 1..38:
// nothing); the project sets the zoom-in's point to the screen's centre.
void SetWipeDefaults(int32_t kind, int32_t param0, int32_t param1);

// ---- shared by the wipe families ----
namespace wipes {

// Every pixel of target: old where m = 0, new where m = 255, else per
// channel (new * m + old * (255 - m)) >> 8, and old where the two pictures
// agree. mask has the target's width; its rows repeat down the target.
void ComposeMask(TCustomDIBX& target, TCustomDIBX& old_picture, TCustomDIBX& new_picture, TDIBX& mask);

// The pixel of grey level l (l, l, l) for each l, in the surface's format.
void GreyTable(const TCustomDIBX& s, uint32_t out[256]);

// dst[i] := src[i] plus (sub: minus) grey[i], saturating per channel of
// the depth (channel masks of s; 8 bpp on the raw byte). n pixels.
void AddRow(const TCustomDIBX& s, uint8_t* dst, const uint8_t* src, const uint32_t* grey, int32_t n, bool sub);

// The same with one grey for every pixel (the whole-screen fades).
void AddConstRow(const TCustomDIBX& s, uint8_t* dst, const uint8_t* src, uint32_t grey, int32_t n, bool sub);

// The grey levels (row-major, width x height) of the mask picture `name`
// tiled from (0, 0): grey = the nearest grey of each pixel's colour, or its
// negative when invert is set. 255 everywhere when the project does not
// have the file or no image cache exists.
std::vector<uint8_t> GreyMaskLevels(const std::string& name, int32_t width, int32_t height, bool invert);

// Scan-line filler: the sector of the disc of radius r about (cx, cy) that
// runs clockwise on the screen from angle `from` through `sweep` radians
// (pixel centres inside are set to value). A sweep of 0 or less paints
// nothing; 2 pi or more the whole disc.
void FillSector(TDIBX& mask, double cx, double cy, double r, double from, double sweep, uint8_t value);

}  // namespace wipes
