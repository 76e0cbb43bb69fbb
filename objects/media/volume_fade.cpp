#include "objects/media/volume_fade.h"

#include "script/game_clock.h"
#include "media/base/media_managers.h"

bool IsMidiItem(const TDMediaItem* item) {
    return item && item->Manager() && dynamic_cast<TMidiManager*>(item->Manager()) != nullptr;
}

int32_t TVorqMixer::CurrentVolume(uint32_t t) const {
    const int64_t a = FStartVolume, b = FEndVolume, D = FDuration;
    if (D <= 0 || int64_t{t} >= D) return FEndVolume;
    const bool midi = IsMidiItem(FItem);
    // In 64 bits: t × d reaches 10^10 for fades of a few minutes.
    const int64_t d = midi ? b - a : (b - a) / 2;
    const int64_t step = int64_t{t} * d / D;
    if (a > b || midi) return static_cast<int32_t>(a + step);
    return static_cast<int32_t>(a + d + step);
}

bool TVorqMixerFadein::Step() {
    if (!FItem) return true;
    if (!FStarted) {
        FStarted = true;
        FStartTime = GameClock;
        FStartVolume = -10000;
        FItem->SetVolume(-10000);
        FItem->Play();
        return false;
    }
    const uint32_t t = GameClock - FStartTime;
    if (FDuration <= 0 || int64_t{t} >= FDuration) {
        FItem->SetVolume(FEndVolume);
        return true;
    }
    FItem->SetVolume(CurrentVolume(t));
    return false;
}

bool TVorqMixerFadeout::Step() {
    if (!FItem) return true;
    if (!FStarted) {
        FStarted = true;
        FStartTime = GameClock;
        FStartVolume = FItem->GetVolume();
        FEndVolume = -10000;
        return false;
    }
    const uint32_t t = GameClock - FStartTime;
    if (FDuration <= 0 || int64_t{t} >= FDuration) return true;
    FItem->SetVolume(CurrentVolume(t));
    return false;
}
