#include "media/cd/audio_mixer.h"

#include "media/cd/card_cd_line.h"
#include "media/cd/cdp.h"

#include <algorithm>

namespace {
// The levels are the program's own, shared by every mixer object.
struct Levels {
    int32_t Left = 65535, Right = 65535, Mute = 0;
};
Levels speakers_levels, cd_levels;
}  // namespace

TAudioMixer::TAudioMixer() : FCards(CardCdLines()) { SetMixerId(0); }

TAudioMixer::~TAudioMixer() = default;

TCardCdLine* TAudioMixer::card() const { return FMixerId >= 1 ? FCards[static_cast<size_t>(FMixerId - 1)].get() : nullptr; }

void TAudioMixer::SetMixerId(int32_t id) {
    if (id < 0 || id >= DeviceCount()) return;
    FMixerId = id;
    if (id > 0) return;
    FSpeakers = {speakers_levels.Left, speakers_levels.Right, speakers_levels.Mute};
    FCompactDisc = {cd_levels.Left, cd_levels.Right, cd_levels.Mute};
}

int32_t TAudioMixer::ConnectionCount(int32_t destination) const { return FMixerId >= 0 && destination == 0 ? 1 : 0; }

uint32_t TAudioMixer::ComponentType(int32_t destination, int32_t connection) const {
    if (FMixerId < 0 || destination != 0) return 0;
    if (connection == -1) return MixerLineSpeakers;
    return connection == 0 ? MixerLineCompactDisc : 0;
}

TAudioMixer::Line* TAudioMixer::line(int32_t destination, int32_t connection) {
    if (FMixerId < 0 || destination != 0) return nullptr;
    if (connection == -1) return &FSpeakers;
    return connection == 0 ? &FCompactDisc : nullptr;
}

const TAudioMixer::Line* TAudioMixer::line(int32_t destination, int32_t connection) const {
    return const_cast<TAudioMixer*>(this)->line(destination, connection);
}

bool TAudioMixer::GetVolume(int32_t destination, int32_t connection, TMixerLineValues& v) const {
    if (TCardCdLine* c = card()) return destination == 0 && connection == 0 && c->Get(v);
    const Line* l = line(destination, connection);
    if (!l) return false;
    v.Left = l->Left;
    v.Right = l->Right;
    v.Mute = l->Mute;
    v.Stereo = true;
    return true;
}

bool TAudioMixer::SetVolume(int32_t destination, int32_t connection, int32_t mute, int32_t right, int32_t left) {
    if (TCardCdLine* c = card()) {
        if (destination != 0 || connection != 0) return false;
        TMixerLineValues now;
        if (!c->Get(now)) return false;
        if (right == -1 && left != -1) right = left;
        return c->Set(left != -1 ? left : now.Left, right != -1 ? right : now.Right, mute);
    }
    Line* l = line(destination, connection);
    if (!l) return false;
    if (left != -1) l->Left = std::clamp(left, 0, 65535);
    if (right == -1 && left != -1) right = left;
    if (right != -1) l->Right = std::clamp(right, 0, 65535);
    if (mute != -1) l->Mute = mute != 0;
    speakers_levels = {FSpeakers.Left, FSpeakers.Right, FSpeakers.Mute};
    cd_levels = {FCompactDisc.Left, FCompactDisc.Right, FCompactDisc.Mute};
    apply_cd_line();
    return true;
}

void TAudioMixer::apply_cd_line() {
    const double master_l = FSpeakers.Mute ? 0.0 : FSpeakers.Left / 65535.0;
    const double master_r = FSpeakers.Mute ? 0.0 : FSpeakers.Right / 65535.0;
    const double l = FCompactDisc.Mute ? 0.0 : FCompactDisc.Left / 65535.0;
    const double r = FCompactDisc.Mute ? 0.0 : FCompactDisc.Right / 65535.0;
    TCDP::SetLineGain(l * master_l, r * master_r);
}
