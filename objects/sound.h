// TVorqSound: the scenario's handle on one sound (effect, voice, music or
// CD track). It has no picture. It makes the media item of its SOURCE's
// kind, drives it every frame, fades it, reports the end with ONPLAYEND,
// and is saved and loaded with the scene.
#pragma once
#include "objects/vorq_object.h"

#include <cstdint>
#include <memory>
#include <string>

class TDMediaItem;
class TVorqMixer;

class TVorqSound : public TVorqComponent {
public:
    explicit TVorqSound(TVorqBaseList* registry);
    ~TVorqSound() override;

    uint8_t GetCompoType() const override { return LT_SOUND; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    int32_t GetVolume() const override { return FVolume; }
    void SetVolume(int32_t v) override;
    int32_t GetBalance() const override { return FBalance; }
    void SetBalance(int32_t v) override;
    bool GetRepeat() const override { return FRepeat != 0; }
    void SetRepeat(bool v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override;
    void SetAniPaused(bool v) override;
    int32_t GetDelay() const override { return FDelay; }
    void SetDelay(int32_t v) override { FDelay = v; }
    int32_t GetIndex() const override;
    void SetIndex(int32_t v) override;
    int32_t GetCount() const override;
    void SetCount(int32_t) override {}
    bool GetPlaying() const override;
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    bool GetRewindOnLoad() const override { return FRewindOnLoad != 0; }
    void SetRewindOnLoad(bool v) override { FRewindOnLoad = v; }
    bool GetMuteOnLoad() const override { return FMuteOnLoad != 0; }
    void SetMuteOnLoad(bool v) override { FMuteOnLoad = v; }
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }
    uint8_t GetPlayState() const override { return FPlayState; }
    void SetPlayState(uint8_t state) override;

    // From the start, with a fade-in over DELAY when that is positive.
    void Restart();
    bool Update() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    // The item's volume for VOLUME (0..1000) on the item scale (1/100 dB).
    int32_t EffectiveVolume() const;
    TDMediaItem* Item() const { return FItem; }
    TVorqMixer* Fade() const { return FFade.get(); }
    bool Ended() const { return FEnded != 0; }

private:
    void drop_item();
    void apply_pause();
    void start_fadein();

    std::string FSource;
    uint8_t FPlayState = 2;
    TDMediaItem* FItem = nullptr;
    uint8_t FRepeat = 0, FPaused = 0;
    int32_t FVolume = 0, FBalance = 0;
    std::unique_ptr<TVorqMixer> FFade;
    int32_t FDelay = 0;
    int32_t FStartPos = 0;
    uint8_t FAutoScrap = 0;
    std::string FOnPlayEnd;
    uint8_t FAniPausedFlag = 0;
    uint8_t FEnded = 0;
    uint8_t FRewindOnLoad = 0, FMuteOnLoad = 0;
};

// The item scale of a scenario VOLUME (0..1000) for MIDI or other items.
int32_t SoundItemVolume(int32_t volume, bool midi);
// Makes the item for a sound's source in the manager of its kind; null when
// no manager plays it.
TDMediaItem* AddSoundItem(const std::string& source);
// Whether a sound's source can be found (plain files and game data); the
// shell puts the project's own test here.
extern bool (*SoundFileExists)(const std::string& name);
