// TVorqPropMotion: moves one property of another object, found by name,
// from its value at the first step to a target value over a duration,
// linear or along a quarter sine, and frees itself at the end. It reads and
// writes the property by id, so any property of any kind can be animated.
#pragma once
#include "objects/vorq_object.h"

#include <cstdint>
#include <string>

class TVorqPropMotion : public TVorqComponent {
public:
    explicit TVorqPropMotion(TVorqBaseList* registry);

    uint8_t GetCompoType() const override { return LT_PROPMOTION; }
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }

    // One step of frame_delta ms (the frame gap of the game clock by default);
    // true when finished.
    bool Update() override;
    bool Step(int32_t frame_delta);
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    std::string ObjectName;
    uint8_t Property = 255;  // none
    long double TargetValue = 0;
    int32_t Duration = 0;
    uint8_t Easing = 0;  // 0 linear, 1 slow start, 2 slow end
    int32_t Elapsed = 0;
    long double StartValue = 0;

private:
    TVorqObject* target() const;
    TVorqObject* FObject = nullptr;
    uint32_t FObjectSerial = 0;
    uint8_t FPaused = 0;
    bool FResumed = false;  // loaded after its first step
};

// The value at t ms of d along the easing: t = 0 gives s, t >= d - 1 gives e.
long double PropMotionValue(uint8_t easing, int32_t t, int32_t d, long double s, long double e);
