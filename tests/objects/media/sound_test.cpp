// The sound object on a registry with the real media managers, playing
// through the companion module into a device whose output the test pulls;
// and the volume fades on a driven game clock.
#include "script/game_clock.h"
#include "media/audio/sound_items.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/media_modules.h"
#include "objects/object_kinds.h"
#include "objects/media/sound.h"
#include "objects/media/volume_fade.h"
#include "platform/system/audio.h"
#include "platform/system/clock.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/kind_scene.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::string tone(const char* name = "tone.ogg") { return std::string(VORQ_TEST_DATA) + "/audio/" + name; }

// An item that only records what it is told.
struct RecordingItem : TDMediaItem {
    using TDMediaItem::TDMediaItem;
    int32_t volume = 0;
    bool playing = false;
    int32_t GetVolume() override { return volume; }
    void SetVolume(int32_t v) override { volume = v; }
    void Play() override { playing = true; }
};

class Sound : public KindScene {
protected:
    std::unique_ptr<AudioDevice> device = AudioDevice::Open(AudioBackend::Manual);

    void SetUp() override {
        InstallMediaManagers();
        LibrarySoundCell = device.get();
        InitMedia(nullptr, nullptr, TPoint{}, 0, 0, 0, 0);
        GameClock = 0;
        OpenScene(16, 16);
    }
    void TearDown() override {
        reg.reset();
        FinalMedia();
        LibrarySoundCell = nullptr;
        KindScene::TearDown();
    }
    TVorqSound* sound(const std::string& name, const std::string& source) {
        auto* s = static_cast<TVorqSound*>(CreateObjectByType(reg.get(), LT_SOUND));
        s->SetName(name);
        s->SetSource(source);
        return s;
    }
    // Plays the device (the module decodes on its own thread), running the
    // registry's update pass, until done() or the deadline.
    template <class Done>
    void play_until(Done done) {
        std::vector<int16_t> out(4410 * 2);
        StepUntil(done, [&] {
            device->Bus().Mix(out.data(), 4410);
            reg->Update();
        });
    }
};
}  // namespace

TEST(SoundVolume, ScenarioVolumesOnTheItemScale) {
    const struct {
        int32_t volume, wave, midi;
    } cases[] = {{0, -10000, -10000}, {1000, 0, 0},     {500, -2500, -5000}, {1, -4995, -9990},
                 {2000, 0, 0},        {-7, -10000, -10000}, {INT32_MAX, 0, 0},   {INT32_MIN, -10000, -10000}};
    for (auto c : cases) {
        EXPECT_EQ(SoundItemVolume(c.volume, false), c.wave) << c.volume;
        EXPECT_EQ(SoundItemVolume(c.volume, true), c.midi) << c.volume;
    }
}

TEST(VolumeFade, RampsOnTheGameClock) {
    TMidiManager midi;
    struct Case {
        bool fade_in, is_midi;
        int32_t from, to, duration;
        std::vector<std::pair<uint32_t, int32_t>> steps;  // time, volume after the step
        uint32_t done_at;
    } cases[] = {
        // Non-MIDI fade-in rises from halfway.
        {true, false, -10000, 0, 1000, {{0, -5000}, {500, -2500}, {999, -5}}, 1000},
        // MIDI fade-out falls over the whole range.
        {false, true, 0, -10000, 1000, {{500, -5000}, {250, -2500}}, 1000},
        // Non-MIDI fade-out falls to halfway only.
        {false, false, 0, -10000, 1000, {{500, -2500}, {999, -4995}}, 1000},
        // A fade of about an hour: t × d needs 64 bits.
        {false, true, 0, -10000, 3600000, {{3000000, -8333}}, 3600000},
    };
    for (const Case& c : cases) {
        RecordingItem item(c.is_midi ? &midi : nullptr);
        item.volume = c.from;
        GameClock = 100;
        std::unique_ptr<TVorqMixer> fade;
        if (c.fade_in) fade = std::make_unique<TVorqMixerFadein>(&item, c.duration, c.to);
        else fade = std::make_unique<TVorqMixerFadeout>(&item, c.duration);
        EXPECT_FALSE(fade->Step());  // the start
        if (c.fade_in) {
            EXPECT_EQ(item.volume, -10000);
            EXPECT_TRUE(item.playing);
        }
        for (auto [t, v] : c.steps) {
            GameClock = 100 + t;
            EXPECT_FALSE(fade->Step()) << t;
            EXPECT_EQ(item.volume, v) << t;
        }
        GameClock = 100 + c.done_at;
        EXPECT_TRUE(fade->Step());
        if (c.fade_in) {
            EXPECT_EQ(item.volume, c.to);
        }
    }
    // Duration 0: the second step completes.
    RecordingItem item(nullptr);
    TVorqMixerFadein zero(&item, 0, -300);
    EXPECT_FALSE(zero.Step());
    EXPECT_TRUE(zero.Step());
    EXPECT_EQ(item.volume, -300);
    GameClock = 0;
}

TEST_F(Sound, PlaysOnceWithItsVolumeAndPanAndReportsTheEnd) {
    TVorqSound* s = sound("se", tone());
    s->SetVolume(500);
    s->SetBalance(20000);
    s->SetOnPlayEnd("done");
    EXPECT_EQ(s->GetCount(), 500);  // measured through a temporary item
    EXPECT_EQ(s->Item(), nullptr);
    s->SetPlayState(PS_FADEIN);  // DELAY 0: plays at once
    EXPECT_EQ(s->GetPlayState(), PS_PLAY);
    TDMediaItem* item = s->Item();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->GetVolume(), -2500);
    EXPECT_EQ(s->GetBalance(), 10000);
    EXPECT_EQ(item->GetPan(), 10000);
    EXPECT_TRUE(s->GetPlaying());
    s->SetPlayState(PS_PLAY);
    EXPECT_EQ(s->Item(), item);  // not started again

    s->SetPaused(true);
    EXPECT_TRUE(item->IsPaused());
    EXPECT_EQ(item->GetVolume(), -10000);
    s->SetPaused(false);
    EXPECT_EQ(item->GetVolume(), -2500);

    play_until([&] { return s->Ended(); });
    ASSERT_TRUE(s->Ended());
    EXPECT_EQ(reg->Events.Count(), 1);
    EXPECT_EQ(reg->Events.Find(s, PR_ONPLAYEND), 0);
    // Repeat switched on after the end starts it again from 0: heard in
    // the device's mix, not only in the flags.
    s->SetRepeat(true);
    EXPECT_FALSE(s->Ended());
    EXPECT_LT(s->GetIndex(), 100);
    std::vector<int16_t> out(4410 * 2);
    int32_t loudest = 0;
    const uint32_t start = TimeGetTime();
    while (loudest < 500 && TimeGetTime() - start < 3000) {
        device->Bus().Mix(out.data(), 4410);
        reg->Update();
        for (int16_t v : out) loudest = std::max<int32_t>(loudest, std::abs(v));
        SleepMs(2);
    }
    EXPECT_GE(loudest, 500);  // the tone at VOLUME 500 peaks near 920
    EXPECT_TRUE(s->GetPlaying());
}

TEST_F(Sound, StopFadeOutAndAutoScrapFreeTheObject) {
    const struct {
        const char* what;
        int32_t delay;
        uint8_t state;
    } cases[] = {{"stop", 0, PS_STOP}, {"fade out", 200, PS_FADEOUT}};
    for (auto c : cases) {
        TVorqSound* s = sound("bgm", tone());
        s->SetVolume(1000);
        s->SetRepeat(true);
        s->SetPlayState(PS_PLAY);
        ASSERT_NE(s->Item(), nullptr) << c.what;
        s->SetDelay(c.delay);
        GameClock = 1000;
        s->SetPlayState(c.state);
        if (c.state == PS_FADEOUT) {
            // The name is free at once for a new sound.
            EXPECT_EQ(s->GetName(), "SCRAP_bgm");
            EXPECT_EQ(reg->FindObject("bgm"), nullptr);
            reg->Update();  // the fade's start
            GameClock = 1100;
            reg->Update();
            EXPECT_EQ(reg->FindObject("SCRAP_bgm"), s);
            EXPECT_EQ(s->Item()->GetVolume(), -2500);
            GameClock = 1200;
        }
        reg->Update();
        EXPECT_EQ(reg->IndexOfObject(s), -1) << c.what;
        GameClock = 0;
    }
    TVorqSound* s = sound("se", tone());
    s->SetAutoScrap(true);
    s->SetPlayState(PS_PLAY);
    play_until([&] { return reg->IndexOfObject(s) < 0; });
    EXPECT_EQ(reg->IndexOfObject(s), -1);
    EXPECT_EQ(reg->Events.Count(), 0);
}

TEST_F(Sound, ANewSourceDropsTheItemAndItsFade) {
    TVorqSound* s = sound("bgm", tone());
    s->SetDelay(500);
    s->SetPlayState(PS_FADEIN);
    ASSERT_NE(s->Fade(), nullptr);
    s->SetSource(tone("tone.wav"));
    EXPECT_EQ(s->Fade(), nullptr);
    EXPECT_EQ(s->Item(), nullptr);
    EXPECT_EQ(s->GetPlayState(), PS_STOP);
    reg->Update();  // no fade steps a freed item
    // A missing file plays nothing, silently.
    s->SetSource(tone("missing.ogg"));
    s->SetPlayState(PS_PLAY);
    EXPECT_EQ(s->Item(), nullptr);
    EXPECT_FALSE(s->GetPlaying());
    EXPECT_EQ(s->GetCount(), 0);
}

TEST_F(Sound, SavedRecordsLoadBackAndDamageIsRefused) {
    TVorqSound* s = sound("bgm", tone());
    s->SetVolume(700);
    s->SetBalance(-300);
    s->SetOnPlayEnd("over");
    s->SetRewindOnLoad(true);
    s->SetPlayState(PS_PLAY);  // short and not repeating: saved stopped
    TMemoryStream m;
    s->SaveToStream(m);
    const std::vector<uint8_t> bytes(m.Memory(), m.Memory() + m.GetSize());

    const struct {
        int32_t version;
        bool mute;
    } cases[] = {{130, false}, {128, false}};
    for (auto c : cases) {
        auto* copy = static_cast<TVorqSound*>(CreateObjectByType(reg.get(), LT_SOUND));
        TMemoryStream in;
        in.WriteBuffer(bytes.data(), int64_t(bytes.size()) - (c.version < 129 ? 1 : 0));
        in.SetPosition(0);
        copy->LoadFromStream(in, c.version);
        EXPECT_EQ(in.Remaining(), 0);
        EXPECT_EQ(copy->GetSource(), tone());
        EXPECT_EQ(copy->GetVolume(), 700);
        EXPECT_EQ(copy->GetBalance(), -300);
        EXPECT_EQ(copy->GetOnPlayEnd(), "over");
        EXPECT_EQ(copy->GetPlayState(), PS_STOP);
        EXPECT_EQ(copy->Item(), nullptr);
        TMemoryStream again;
        copy->SaveToStream(again);
        if (c.version == 130) {
            EXPECT_EQ(std::vector<uint8_t>(again.Memory(), again.Memory() + again.GetSize()), bytes);
        }
    }
    // A repeating sound comes back playing; MUTEONLOAD loads it silent.
    s->SetRepeat(true);
    s->SetMuteOnLoad(true);
    s->SetPlayState(PS_PLAY);
    TMemoryStream rm;
    s->SaveToStream(rm);
    rm.SetPosition(0);
    auto* copy = static_cast<TVorqSound*>(CreateObjectByType(reg.get(), LT_SOUND));
    copy->LoadFromStream(rm, 130);
    EXPECT_EQ(copy->GetVolume(), 0);
    ASSERT_NE(copy->Item(), nullptr);
    EXPECT_EQ(copy->Item()->GetVolume(), -10000);
    EXPECT_TRUE(copy->GetPlaying());

    for (size_t n = 0; n < bytes.size(); ++n) {
        auto* cut = static_cast<TVorqSound*>(CreateObjectByType(reg.get(), LT_SOUND));
        TMemoryStream in;
        if (n) in.WriteBuffer(bytes.data(), int64_t(n));
        in.SetPosition(0);
        EXPECT_THROW(cut->LoadFromStream(in, 130), ECorruptData) << n;
    }
}

TEST_F(Sound, SoundOffHoldsPlayUntilItComesBackOn) {
    reg->SetSoundOn(1);
    TVorqSound* early = sound("early", tone());
    early->SetVolume(1000);
    early->SetRepeat(true);
    early->SetPlayState(PS_PLAY);
    ASSERT_TRUE(early->GetPlaying());
    reg->SetSoundOn(0);  // @SoundON := 0
    EXPECT_FALSE(early->GetPlaying());
    TVorqSound* late = sound("late", tone());
    late->SetRepeat(true);
    late->SetPlayState(PS_PLAY);
    ASSERT_NE(late->Item(), nullptr);
    EXPECT_FALSE(late->GetPlaying());  // its play waits for sound
    reg->SetSoundOn(1);
    EXPECT_TRUE(early->GetPlaying());
    EXPECT_TRUE(late->GetPlaying());
}

TEST_F(Sound, ARestoredDeviceHearsWhatPlays) {
    TVorqSound* s = sound("bgm", tone());
    s->SetVolume(1000);
    s->SetRepeat(true);
    s->SetPlayState(PS_PLAY);
    auto replacement = AudioDevice::Open(AudioBackend::Manual);
    LibrarySoundCell = replacement.get();
    RestoreMediaManagers();
    device.reset();  // the lost device is gone for good
    std::vector<int16_t> out(4410 * 2);
    int32_t loudest = 0;
    const uint32_t start = TimeGetTime();
    while (loudest < 1000 && TimeGetTime() - start < 2000) {
        replacement->Bus().Mix(out.data(), 4410);
        for (int16_t v : out) loudest = std::max<int32_t>(loudest, std::abs(v));
        SleepMs(2);
    }
    EXPECT_GE(loudest, 1000);
    reg.reset();  // the items go before their device
}

// MIDI files and CD tracks reach their own managers; the items are silent
// here (no MIDI file, no drive), as such items are.
TEST_F(Sound, MidiAndCdSourcesGoToTheirManagers) {
    struct Case {
        std::string source;
        TMediaManager* manager;
    } cases[] = {{"music.mid", MidiManager()}, {"Music.SGT", MidiManager()}, {"CD_2", CddaManager()},
                 {"cd_2", nullptr}, {"music.txt", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        TDMediaItem* item = AddSoundItem(c.source);
        ASSERT_EQ(item ? item->Manager() : nullptr, c.manager);
        if (!item) continue;
        item->Play();
        EXPECT_FALSE(item->IsPlaying());
        EXPECT_EQ(item->GetLength(), 0);
        item->Manager()->Remove(item);
    }
}
