// The scenario properties a sound and a video share: what plays, how loud
// and where, the fade-in delay, repetition, the end event and what a load
// does. Each object keeps its own base (a sound has no picture) and its own
// way of making, driving and saving its item.
#pragma once
#include "objects/media/volume_fade.h"
#include "objects/vorq_object.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

template <class Base, class ItemT>
class TVorqSoundLike : public Base {
public:
    using Base::Base;

    std::string GetSource() const override { return FSource; }
    int32_t GetVolume() const override { return FVolume; }
    int32_t GetBalance() const override { return FBalance; }
    void SetBalance(int32_t v) override {
        v = std::clamp(v, -10000, 10000);
        if (v == FBalance) return;
        FBalance = v;
        if (FItem) FItem->SetPan(v);
    }
    bool GetRepeat() const override { return FRepeat != 0; }
    bool GetPaused() const override { return FPaused != 0; }
    int32_t GetDelay() const override { return FDelay; }
    void SetDelay(int32_t v) override { FDelay = v; }
    int32_t GetIndex() const override { return FItem ? FItem->GetPosition() : 0; }
    void SetCount(int32_t) override {}
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    bool GetRewindOnLoad() const override { return FRewindOnLoad != 0; }
    void SetRewindOnLoad(bool v) override { FRewindOnLoad = v; }
    bool GetMuteOnLoad() const override { return FMuteOnLoad != 0; }
    void SetMuteOnLoad(bool v) override { FMuteOnLoad = v; }
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }
    uint8_t GetPlayState() const override { return FPlayState; }

    // The item's volume for VOLUME (0..1000) on the item scale (1/100 dB).
    virtual int32_t EffectiveVolume() const = 0;
    ItemT* Item() const { return FItem; }
    TVorqMixer* Fade() const { return FFade.get(); }

protected:
    void start_fadein() { FFade = std::make_unique<TVorqMixerFadein>(FItem, FDelay, EffectiveVolume()); }

    std::string FSource;
    uint8_t FPlayState = PS_STOP;
    ItemT* FItem = nullptr;
    uint8_t FRepeat = 0, FPaused = 0;
    int32_t FVolume = 0, FBalance = 0;
    std::unique_ptr<TVorqMixer> FFade;
    int32_t FDelay = 0;
    int32_t FStartPos = 0;
    uint8_t FAutoScrap = 0;
    std::string FOnPlayEnd;
    uint8_t FRewindOnLoad = 0, FMuteOnLoad = 0;
};
