// Volume fades: ramp one media item's volume (1/100 dB) over a number of
// milliseconds of the game clock. The sound and video objects own at most
// one, step it once a frame and free it when it reports completion.
#pragma once
#include <cstdint>

class TDMediaItem;

class TVorqMixer {
public:
    TVorqMixer(TDMediaItem* item, int32_t duration, int32_t end_volume = 0)
        : FItem(item), FEndVolume(end_volume), FDuration(duration) {}
    virtual ~TVorqMixer() = default;
    // True when the fade is complete; the first step starts it and is never the last.
    virtual bool Step() { return false; }
    virtual bool IsFadeOut() const { return false; }
    // The volume t ms after the start. Non-MIDI items move through half the
    // range only, the item reaching the end volume by the final step.
    int32_t CurrentVolume(uint32_t t) const;
    TDMediaItem* Item() const { return FItem; }
    // Where a fade-in ends, when the owner's volume changes while it runs.
    void SetEndVolume(int32_t v) { FEndVolume = v; }

protected:
    uint32_t FStartTime = 0;
    int32_t FStartVolume = 0;
    bool FStarted = false;
    TDMediaItem* FItem;
    int32_t FEndVolume;
    int32_t FDuration;
};

// Starts the item silent and playing, then rises to the end volume.
class TVorqMixerFadein : public TVorqMixer {
public:
    using TVorqMixer::TVorqMixer;
    bool Step() override;
};

// Falls from the item's volume to silence; the owner then frees the item.
class TVorqMixerFadeout : public TVorqMixer {
public:
    TVorqMixerFadeout(TDMediaItem* item, int32_t duration) : TVorqMixer(item, duration, -10000) {}
    bool Step() override;
    bool IsFadeOut() const override { return true; }
};

// Whether an item plays MIDI, whose volume scale is linear over the whole range.
bool IsMidiItem(const TDMediaItem* item);
