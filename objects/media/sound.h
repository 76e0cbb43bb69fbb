// TVorqSound: the scenario's handle on one sound (effect, voice, music or
// CD track). It has no picture. It makes the media item of its SOURCE's
// kind, drives it every frame, fades it, reports the end with ONPLAYEND,
// and is saved and loaded with the scene.
#pragma once
#include "media/base/media.h"
#include "objects/media/sound_like.h"
#include "objects/vorq_object.h"

#include <cstdint>
#include <string>

class TVorqSound : public TVorqSoundLike<TVorqComponent, TDMediaItem> {
public:
    explicit TVorqSound(TVorqBaseList* registry);
    ~TVorqSound() override;

    uint8_t GetCompoType() const override { return LT_SOUND; }
    void SetSource(const std::string& v) override;
    void SetVolume(int32_t v) override;
    void SetRepeat(bool v) override;
    void SetPaused(bool v) override;
    void SetAniPaused(bool v) override;
    void SetIndex(int32_t v) override;
    int32_t GetCount() const override;
    bool GetPlaying() const override;
    void SetPlayState(uint8_t state) override;

    // From the start, with a fade-in over DELAY when that is positive.
    void Restart();
    bool Update() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    int32_t EffectiveVolume() const override;
    bool Ended() const { return FEnded != 0; }

private:
    struct SoundLength {
        int32_t Ms = 0;
        bool Settled = true;
    };
    // The item's length, or a probe's when no item plays SOURCE.
    SoundLength length() const;
    void drop_item();
    void drop_probe() const;
    void apply_pause();

    uint8_t FAniPausedFlag = 0;
    uint8_t FEnded = 0;
    // An item made only to measure SOURCE while none plays it, kept while
    // its length is still being learnt (a large file's pages looked at),
    // so that COUNT goes on as an item's would instead of starting again.
    mutable TDMediaItem* FProbe = nullptr;
    mutable int32_t FMeasured = -1;  // the probe's settled length
};

// The item scale of a scenario VOLUME (0..1000) for MIDI or other items.
int32_t SoundItemVolume(int32_t volume, bool midi);
// Makes the item for a sound's source in the manager of its kind; null when
// no manager plays it.
TDMediaItem* AddSoundItem(const std::string& source);
// Whether a sound's source can be found (plain files and game data); the
// shell puts the project's own test here.
extern bool (*SoundFileExists)(const std::string& name);
