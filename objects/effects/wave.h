// TVorqWave: an invisible container whose children ripple: every scanline
// they draw is shifted sideways by Round(sin(angle) * AMP), the angle
// growing by 2pi / WAVELEN per line and the pattern moving down by one of
// 255 phase steps every DELAY / 256 ms.
#pragma once
#include "objects/vorq_object.h"
#include "render/dibx.h"

#include <string>

// The offsets of a wave of the given number of lines at a phase (0..254).
void ComputeWaveOffsets(int32_t amp, int32_t wave_len, int32_t phase, std::vector<int32_t>& offsets,
                        bool* changed = nullptr);

// Lines past this many below a wave's top lie off every screen.
constexpr int32_t kMaxWaveSide = 16384;

class TVorqWave : public TVorqControl {
public:
    explicit TVorqWave(TVorqBaseList* registry);
    ~TVorqWave() override;

    uint8_t GetCompoType() const override { return LT_WAVE; }
    int32_t GetAmp() const override { return FAmp; }
    void SetAmp(int32_t v) override { FAmp = v; }
    int32_t GetWaveLen() const override { return FWaveLen; }
    void SetWaveLen(int32_t v) override { FWaveLen = v < 1 ? 1 : v; }
    int32_t GetDelay() const override { return FDelay; }
    void SetDelay(int32_t v) override { FDelay = v < 1 ? 1 : v; }
    void SetWidth(int32_t v) override;
    void SetHeight(int32_t v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    bool GetPlaying() const override { return !FPaused && !GetAniPaused(); }

    TCustomDIBX* GetSurface() const override;
    void AdjustDirtyRect(TRect& r) const override;
    bool Update() override;
    void Draw() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    int32_t Phase() const { return FPhase; }
    const std::vector<int32_t>& Offsets() const { return const_cast<TDIBXWave&>(FProxy).Offsets(); }

private:
    // The proxy follows the size however it was set (SetRect included).
    void ResizeProxy() const;
    TCustomDIBX* LayerSurface() const;

    mutable TDIBXWave FProxy;
    int32_t FAmp = 10, FWaveLen = 200, FPhase = 0, FRemainder = 0, FDelay = 2000;
    std::string FOnIdle;
    uint8_t FPaused = 0;
};
