// The CD input of a sound card (the mixer control named "CD"), for drives
// whose analogue output is wired to the card: the CD volume follows the
// game there too. Levels are 0..65535 whatever the card's own range.
#pragma once
#include "media/cd/audio_mixer.h"

#include <memory>
#include <vector>

class TCardCdLine {
public:
    virtual ~TCardCdLine() = default;
    // False when the control cannot be read.
    virtual bool Get(TMixerLineValues& values) = 0;
    // -1 leaves the mute switch alone.
    virtual bool Set(int32_t left, int32_t right, int32_t mute) = 0;
};

using TCardCdLines = std::vector<std::unique_ptr<TCardCdLine>>;
// The cards of the system that have a CD control, in card order.
TCardCdLines SystemCardCdLines();
// Test seam: where mixers find the cards; null restores the system's.
void SetCardCdLineSource(TCardCdLines (*source)());
TCardCdLines CardCdLines();
