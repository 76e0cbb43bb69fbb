// TVorqGauge: a bar showing VALUE between MIN and MAX as a filled length of
// one image (cell 0), with the amount just lost kept visible as a trail
// (cell 1). A rise grows towards the new value at the speed DELAY gives for
// the whole range; a fall drops at once and the trail waits DURATION ms
// before shrinking at the same speed.
#pragma once
#include "objects/vorq_object.h"

#include <cstdint>
#include <string>

class TTeskItem;

class TVorqGauge : public TVorqControl {
public:
    enum Phase : int32_t { kRest = 0, kTrail = 100, kRising = 200 };

    explicit TVorqGauge(TVorqBaseList* registry);
    ~TVorqGauge() override;

    uint8_t GetCompoType() const override { return LT_GAUGE; }

    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    int32_t GetMin() const override { return FMin; }
    void SetMin(int32_t v) override;
    int32_t GetMax() const override { return FMax; }
    void SetMax(int32_t v) override;
    // The stored value clamped into MIN..MAX (MIN wins when MAX < MIN).
    int32_t GetValue() const override;
    void SetValue(int32_t v) override;
    int32_t GetOrientation() const override { return FOrientation; }
    void SetOrientation(int32_t v) override;
    int32_t GetBarSize() const override { return FBarSize; }
    void SetBarSize(int32_t v) override;
    bool GetReverse() const override { return FReverse != 0; }
    void SetReverse(bool v) override;
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    int32_t GetDelay() const override { return FDelay; }
    void SetDelay(int32_t v) override { FDelay = v; }
    int32_t GetDuration() const override { return FDuration; }
    void SetDuration(int32_t v) override { FDuration = v; }
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    bool GetPlaying() const override { return FPhase != kRest; }

    bool Update() override;
    void Draw() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    // What the bar shows now: the filled value and the trail amount.
    int32_t ShownValue() const { return FShown; }
    int32_t Trail() const { return FTrail; }
    int32_t PhaseNow() const { return FPhase; }

private:
    void release_image();
    void resize();
    void stop();
    // MAX - MIN without overflow.
    int64_t range() const { return int64_t(FMax) - int64_t(FMin); }

    std::string FSource;
    int32_t FMin = 0, FMax = 0, FValue = 0, FAlpha = 0;
    uint8_t FPaused = 0, FOrientation = 0;
    int32_t FDelay = 0, FDuration = 0;
    TTeskItem* FImage = nullptr;
    int32_t FGaugeWidth = 0, FGaugeHeight = 0;
    int32_t FShown = 0, FTrail = 0, FPhase = kRest;
    double FAccumulator = 0;
    int32_t FHold = 0;
    uint8_t FReverse = 0;
    std::string FOnIdle;
    int32_t FBarSize = 0;
};

// Length of a part of the bar: Round(length * amount / range) with halves
// to even; 0 when the range is empty or negative.
int32_t GaugePartLength(int32_t length, int64_t amount, int64_t range);
