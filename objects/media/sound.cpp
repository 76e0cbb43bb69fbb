#include "objects/media/sound.h"

#include "files/save_stream.h"
#include "files/vr_file_manager.h"
#include "media/audio/sound_items.h"
#include "media/base/media_managers.h"
#include "objects/base_list.h"
#include "objects/object_record.h"
#include "objects/media/volume_fade.h"
#include "platform/filesystem/filesys.h"

#include <algorithm>

namespace {
bool default_file_test(const std::string& name) {
    if (name.empty()) return false;
    if (IsPlainPath(name)) return FileExists(name);
    return FileManager && FileManager->FileExists(name);
}

bool is_cd_track(const std::string& name) { return name.rfind("CD_", 0) == 0; }
}  // namespace

bool (*SoundFileExists)(const std::string& name) = default_file_test;

int32_t SoundItemVolume(int32_t volume, bool midi) {
    // 64 bits and clamped: a VOLUME far outside 0..1000 must not wrap into
    // a loud value.
    if (midi) return static_cast<int32_t>(std::clamp<int64_t>(int64_t{volume} * 10 - 10000, -10000, 0));
    const int64_t w = int64_t{volume} * 5 - 5000;
    if (w < -4999) return -10000;
    if (w <= 0) return static_cast<int32_t>(w);
    return 0;
}

TDMediaItem* AddSoundItem(const std::string& source) {
    const std::string ext = LowerFileExt(source);
    if (ext == ".wma" || ext == ".asf" || ext == ".wmv") {
        if (TWmpManager* m = WmpManager()) return m->Add(source);
        return nullptr;
    }
    if (ext == ".ogg" || ext == ".wav") {
        if (TOggManager* m = OggManager()) return m->Add(source);
        return nullptr;
    }
    if (ext == ".mid" || ext == ".sgt") {
        if (TMidiManager* m = MidiManager()) return m->Add(source);
        return nullptr;
    }
    if (source.rfind("CD_", 0) == 0) {
        if (TCddaManager* m = CddaManager()) return m->Add(source);
    }
    return nullptr;
}

TVorqSound::TVorqSound(TVorqBaseList* registry) : TVorqSoundLike(registry) {}

TVorqSound::~TVorqSound() {
    if (FItem) FItem->SetVolume(-10000);
    FFade.reset();
    drop_item();
}

void TVorqSound::drop_item() {
    // The fade reads the item: it goes first.
    FFade.reset();
    if (FItem && FItem->Manager()) FItem->Manager()->Remove(FItem);
    FItem = nullptr;
    drop_probe();
}

void TVorqSound::drop_probe() const {
    if (FProbe && FProbe->Manager()) FProbe->Manager()->Remove(FProbe);
    FProbe = nullptr;
}

TVorqSound::SoundLength TVorqSound::length() const {
    if (FItem) return {FItem->GetLength(), FItem->LengthSettled()};
    if (FMeasured >= 0) return {FMeasured, true};
    if (!FProbe) {
        if (!SoundFileExists(FSource)) return {};
        FProbe = AddSoundItem(FSource);
        if (!FProbe) return {};
    }
    // A length still being learnt is asked of the same probe again, which
    // learns it as an item would; a settled one is kept, without the probe.
    const SoundLength l{FProbe->GetLength(), FProbe->LengthSettled()};
    if (l.Settled) {
        FMeasured = l.Ms;
        drop_probe();
    }
    return l;
}

int32_t TVorqSound::EffectiveVolume() const { return SoundItemVolume(FVolume, IsMidiItem(FItem)); }

void TVorqSound::SetSource(const std::string& v) {
    if (v == FSource) return;
    drop_item();
    FMeasured = -1;
    FSource = v;
    FPlayState = 2;
    FPaused = 0;
    FStartPos = 0;
    FEnded = 0;
}

void TVorqSound::SetVolume(int32_t v) {
    if (v == FVolume) return;
    FVolume = v;
    if (FItem) FItem->SetVolume(EffectiveVolume());
}

void TVorqSound::SetRepeat(bool v) {
    FRepeat = v;
    if (!FItem) return;
    FItem->SetAutoRepeat(v);
    // At its end it starts over; a length still being learnt is no end.
    if (v && !FPaused && FItem->LengthSettled() && FItem->GetPosition() >= FItem->GetLength() - 1) {
        FItem->SetPosition(0);
        FEnded = 0;
    }
}

void TVorqSound::SetPaused(bool v) {
    if (v == (FPaused != 0)) return;
    FPaused = v;
    apply_pause();
}

void TVorqSound::SetAniPaused(bool v) {
    if (v == (FAniPausedFlag != 0)) return;
    FAniPausedFlag = v;
    apply_pause();
}

void TVorqSound::apply_pause() {
    if (!FItem) return;
    if (!FPaused && !FAniPausedFlag) {
        if (FPlayState == 1) {
            start_fadein();
        } else {
            FItem->SetVolume(EffectiveVolume());
            FItem->Play();
        }
    } else {
        FItem->Pause();
        FItem->SetVolume(-10000);
    }
}

void TVorqSound::SetIndex(int32_t v) {
    FStartPos = v;
    if (!FItem) return;
    FItem->SetPosition(v);
    FEnded = 0;
    if (!FPaused && !FItem->IsPlaying()) FItem->Play();
}

int32_t TVorqSound::GetCount() const { return length().Ms; }

bool TVorqSound::GetPlaying() const { return FItem && FItem->IsPlaying(); }

void TVorqSound::SetPlayState(uint8_t state) {
    FFade.reset();
    FEnded = 0;
    FPlayState = state;
    if (state == 1 && FDelay < 1) FPlayState = 0;
    switch (FPlayState) {
    case 2:
        if (FItem) {
            drop_item();
            FStartPos = 0;
            Scrap();
        }
        return;
    case 0:
    case 1: {
        if (FItem) return;
        if (!SoundFileExists(FSource) && !is_cd_track(FSource)) return;
        drop_probe();
        FItem = AddSoundItem(FSource);
        if (!FItem) return;
        FItem->SetPan(FBalance);
        if (FStartPos > 0) FItem->SetPosition(FStartPos);
        FItem->SetAutoRepeat(FRepeat != 0);
        if (FPlayState == 0) {
            FItem->SetVolume(EffectiveVolume());
            if (FPaused) FItem->Pause();
            else FItem->Play();
            if (FStartPos > 0) FItem->SetPosition(FStartPos);
        } else if (!FPaused) {
            start_fadein();
        }
        return;
    }
    case 3:
        if (FItem) {
            FFade = std::make_unique<TVorqMixerFadeout>(FItem, FDelay);
            FStartPos = 0;
            SetName("SCRAP_" + GetName());
        } else {
            Scrap();
        }
        return;
    default: return;
    }
}

void TVorqSound::Restart() {
    FStartPos = 0;
    FPaused = 0;
    FEnded = 0;
    SetPlayState(1);
    if (!FItem) return;
    FFade.reset();
    if (FDelay > 0) {
        FItem->Pause();
        FItem->SetVolume(-10000);
        FItem->SetPosition(0);
        start_fadein();
    } else {
        FItem->SetVolume(EffectiveVolume());
        FItem->SetPosition(0);
        if (!FItem->IsPlaying()) FItem->Play();
    }
}

bool TVorqSound::Update() {
    if (FItem && FItem->CheckEnd()) {
        if (FRepeat) {
            FItem->SetPosition(0);
        } else {
            FEnded = 1;
            if (FAutoScrap) return true;
            if (!FOnPlayEnd.empty()) QueueEvent(FOnPlayEnd, PR_ONPLAYEND);
        }
    }
    if (FFade && FFade->Step()) {
        if (FFade->IsFadeOut()) return true;
        FFade.reset();
    }
    return false;
}

void TVorqSound::SaveToStream(TStream& s) {
    TVorqComponent::SaveToStream(s);
    WriteStreamString(s, FSource);
    WriteStreamByte(s, FRepeat);
    WriteStreamByte(s, FAutoScrap);
    WriteStreamByte(s, FPaused);
    WriteStreamByte(s, FAniPausedFlag);
    WriteStreamByte(s, FEnded);
    WriteStreamInteger(s, FVolume);
    WriteStreamInteger(s, FBalance);
    WriteStreamInteger(s, FDelay);
    WriteStreamInteger(s, GetIndex());
    uint8_t state = FPlayState;
    // A short effect is not worth replaying after a load. A length still
    // being learnt (a large file's pages looked at, a damaged one not yet
    // played through) may grow: such a sound is taken as long.
    if (!FRepeat && (state == 0 || state == 1)) {
        const SoundLength l = length();
        if (l.Settled && l.Ms < 3000) state = 2;
    }
    WriteStreamByte(s, state);
    WriteStreamString(s, FOnPlayEnd);
    WriteStreamByte(s, FRewindOnLoad);
    WriteStreamByte(s, FMuteOnLoad);
}

void TVorqSound::LoadFromStream(TStream& s, int32_t version) {
    TVorqComponent::LoadFromStream(s, version);
    FieldReader r = ObjectRecordReader(s);
    const std::string source = r.String("source");
    FRepeat = r.U8("repeat");
    FAutoScrap = r.U8("auto scrap");
    const uint8_t paused = r.U8("paused");
    const uint8_t anipaused = r.U8("animation paused");
    const uint8_t ended = r.U8("ended");
    FVolume = r.I32("volume");
    FBalance = r.I32("balance");
    const int32_t delay = r.I32("delay");
    FDelay = 0;
    const int32_t position = r.I32("position");
    const uint8_t state = r.U8("play state");
    FOnPlayEnd = r.String("play end handler");
    FRewindOnLoad = version >= 108 ? r.U8("rewind on load") : 0;
    FMuteOnLoad = version >= 129 ? r.U8("mute on load") : 0;
    if (FMuteOnLoad) FVolume = 0;
    SetSource(source);
    FStartPos = FRewindOnLoad ? 0 : position;
    FPaused = paused;
    FAniPausedFlag = anipaused;
    FEnded = ended;
    if (state == 3) SetPlayState(0);
    FDelay = delay;
    if (ended) FPlayState = state;
    else SetPlayState(state);
    if (paused || anipaused) apply_pause();
}
