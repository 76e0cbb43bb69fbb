#include "media/cd/card_cd_line.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <string>

namespace {

TCardCdLines (*line_source)() = nullptr;

void quiet(const char*, int, const char*, int, const char*, ...) {}

class AlsaCdLine : public TCardCdLine {
public:
    AlsaCdLine(snd_mixer_t* mixer, snd_mixer_elem_t* elem) : mixer_(mixer), elem_(elem) {
        snd_mixer_selem_get_playback_volume_range(elem_, &min_, &max_);
    }
    ~AlsaCdLine() override { snd_mixer_close(mixer_); }

    bool Get(TMixerLineValues& v) override {
        snd_mixer_handle_events(mixer_);
        if (!snd_mixer_selem_has_playback_volume(elem_)) return false;
        long l = 0, r = 0;
        if (snd_mixer_selem_get_playback_volume(elem_, SND_MIXER_SCHN_FRONT_LEFT, &l) < 0) return false;
        v.Stereo = !snd_mixer_selem_is_playback_mono(elem_);
        if (!v.Stereo || snd_mixer_selem_get_playback_volume(elem_, SND_MIXER_SCHN_FRONT_RIGHT, &r) < 0) r = l;
        v.Left = to_level(l);
        v.Right = to_level(r);
        int on = 1;
        if (snd_mixer_selem_has_playback_switch(elem_))
            snd_mixer_selem_get_playback_switch(elem_, SND_MIXER_SCHN_FRONT_LEFT, &on);
        v.Mute = on ? 0 : 1;
        return true;
    }
    bool Set(int32_t left, int32_t right, int32_t mute) override {
        if (!snd_mixer_selem_has_playback_volume(elem_)) return false;
        bool ok = snd_mixer_selem_set_playback_volume(elem_, SND_MIXER_SCHN_FRONT_LEFT, from_level(left)) >= 0;
        if (!snd_mixer_selem_is_playback_mono(elem_))
            ok = snd_mixer_selem_set_playback_volume(elem_, SND_MIXER_SCHN_FRONT_RIGHT, from_level(right)) >= 0 && ok;
        if (mute != -1 && snd_mixer_selem_has_playback_switch(elem_))
            ok = snd_mixer_selem_set_playback_switch_all(elem_, mute ? 0 : 1) >= 0 && ok;
        return ok;
    }

private:
    int32_t to_level(long v) const {
        if (max_ <= min_) return 0;
        return static_cast<int32_t>((std::clamp(v, min_, max_) - min_) * 65535 / (max_ - min_));
    }
    long from_level(int32_t level) const {
        return min_ + static_cast<long>((static_cast<int64_t>(std::clamp(level, 0, 65535)) * (max_ - min_) + 32767) / 65535);
    }
    snd_mixer_t* mixer_;
    snd_mixer_elem_t* elem_;
    long min_ = 0, max_ = 0;
};

}  // namespace

TCardCdLines SystemCardCdLines() {
    TCardCdLines out;
    snd_lib_error_set_handler(quiet);  // a machine without cards is no error
    for (int card = -1; snd_card_next(&card) >= 0 && card >= 0;) {
        snd_mixer_t* mixer = nullptr;
        const std::string name = "hw:" + std::to_string(card);
        if (snd_mixer_open(&mixer, 0) < 0) continue;
        if (snd_mixer_attach(mixer, name.c_str()) < 0 || snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 ||
            snd_mixer_load(mixer) < 0) {
            snd_mixer_close(mixer);
            continue;
        }
        snd_mixer_selem_id_t* id;
        snd_mixer_selem_id_alloca(&id);
        snd_mixer_selem_id_set_name(id, "CD");
        snd_mixer_elem_t* elem = snd_mixer_find_selem(mixer, id);
        if (elem && snd_mixer_selem_has_playback_volume(elem)) out.push_back(std::make_unique<AlsaCdLine>(mixer, elem));
        else snd_mixer_close(mixer);
    }
    return out;
}

void SetCardCdLineSource(TCardCdLines (*source)()) { line_source = source; }

TCardCdLines CardCdLines() { return line_source ? line_source() : SystemCardCdLines(); }
