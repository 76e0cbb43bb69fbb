// The sound object on a registry with the real media managers, playing
// through the companion module into a device whose output the test pulls;
// and the volume fades on a driven game clock.
#include "script/game_clock.h"
#include "media/audio/sound_items.h"
#include "media/audio/wav_out.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/companion/companion.h"
#include "media/media_modules.h"
#include "objects/object_kinds.h"
#include "objects/media/sound.h"
#include "objects/media/volume_fade.h"
#include "platform/system/audio.h"
#include "platform/system/clock.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "tests/objects/kind_scene.h"
#include "tests/support/file_bytes.h"
#include "tests/support/gated_stream.h"
#include "tests/support/ogg_page_spans.h"
#include "tests/support/run_command.h"
#include "tests/support/run_queue.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {
// Whether a channel of a mix is heard at all.
bool heard(const std::vector<int16_t>& mix, size_t channel) {
    for (size_t i = channel; i < mix.size(); i += 2)
        if (mix[i] != 0) return true;
    return false;
}

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
    // Saves the sound, stops it and loads the record into a new one.
    TVorqSound* saved_and_loaded(TVorqSound* s) {
        TMemoryStream saved;
        s->SaveToStream(saved);
        s->SetPlayState(PS_STOP);
        reg->Update();
        saved.SetPosition(0);
        auto* back = static_cast<TVorqSound*>(CreateObjectByType(reg.get(), LT_SOUND));
        back->LoadFromStream(saved, 130);
        return back;
    }
    // Pulls the mix as a device pulls it, 10 ms at a time when they are
    // due, until done () holds (each (), the game's frame, runs between
    // pulls): the longest the voice (heard on the left) was silent, in
    // frames, less what the longest wait of a thread of ours to run
    // explains, from a second before the silence (twice what the voice's
    // ring holds, which a decoder kept from running drains first) to its
    // end: a busy machine leaves a runnable decoder, or the pulling thread,
    // waiting; a player that stalls has a thread that runs at something
    // else or sleeps. None when done () never held. Only a hang guard
    // bounds the wait.
    template <class Done, class Each>
    std::optional<size_t> longest_silence(Done done, Each each) {
        using Clock = std::chrono::steady_clock;
        std::vector<int16_t> out(441 * 2);
        const auto start = Clock::now();
        size_t pulled = 0, silent = 0, longest = 0;
        bool finished = false;
        std::deque<std::pair<Clock::time_point, RunQueueWaits>> history{{start, RunQueueWaits::Now()}};
        RunQueueWaits since = history.front().second;
        auto judge = [&] {
            const size_t excused = size_t(RunQueueWaits::Now().LongestSinceMs(since)) * 441 / 10;
            longest = std::max(longest, silent > excused ? silent - excused : 0);
        };
        const bool ended = StepUntil([&] { return finished; },
                                     [&] {
                                         const auto now = Clock::now();
                                         history.emplace_back(now, RunQueueWaits::Now());
                                         while (history.size() > 2 && now - history[1].first > std::chrono::seconds(1))
                                             history.pop_front();
                                         const auto due =
                                             std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count() *
                                             441 / 10;
                                         for (; pulled < size_t(due) && !finished; pulled += 441) {
                                             std::fill(out.begin(), out.end(), int16_t{0});
                                             device->Bus().Mix(out.data(), 441);
                                             for (size_t i = 0; i < out.size(); i += 2) {
                                                 if (out[i] != 0) {
                                                     if (silent > 0) judge();
                                                     silent = 0;
                                                 } else if (silent++ == 0) {
                                                     since = history.front().second;
                                                 }
                                             }
                                             if (silent > 0) judge();
                                             finished = done(out);
                                         }
                                         each();
                                     },
                                     kWaitDeadline * 4, std::chrono::milliseconds(1));
        if (!ended || pulled == 0) return std::nullopt;
        return longest;
    }
    // A player that stalls does so every time; the test's own thread not
    // being scheduled (a busy machine) does so now and then. run () plays a
    // voice beside what is measured and gives the voice's longest silence:
    // the voice stalls only when each of three runs has a gap over 20 ms.
    template <class Run>
    void expect_the_voice_plays_on(Run run) {
        std::string gaps;
        for (int i = 0; i < 3; ++i) {
            const std::optional<size_t> longest = run();
            ASSERT_TRUE(longest.has_value()) << "what was measured never ended";
            if (*longest <= 882) return;
            gaps += " " + std::to_string(*longest * 1000 / 44100) + " ms";
        }
        ADD_FAILURE() << "the voice was silent in each of three runs, for" << gaps;
    }
    // A voice on the left, playing, until it is freed.
    TVorqSound* voice(const std::string& path) {
        TVorqSound* v = sound("voice", path);
        v->SetVolume(1000);
        v->SetBalance(-10000);
        v->SetRepeat(true);
        v->SetPlayState(PS_PLAY);
        std::vector<int16_t> out(441 * 2);
        EXPECT_TRUE(StepUntil([&] { return heard(out, 0); }, [&] { device->Bus().Mix(out.data(), 441); }));
        return v;
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
    StepUntil([&] { return loudest >= 500; },
              [&] {
                  device->Bus().Mix(out.data(), 4410);
                  reg->Update();
                  for (int16_t v : out) loudest = std::max<int32_t>(loudest, std::abs(v));
              });
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
    StepUntil([&] { return loudest >= 1000; },
              [&] {
                  replacement->Bus().Mix(out.data(), 4410);
                  for (int16_t v : out) loudest = std::max<int32_t>(loudest, std::abs(v));
              });
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

namespace {
std::string page(const std::string& ogg, std::pair<size_t, size_t> p) { return ogg.substr(p.first, p.second - p.first); }

// Files made by sox, oggenc and oggdec in a folder of the test's own.
struct OggMaker {
    std::string dir = ::testing::TempDir() + "broken_ogg_" + std::to_string(getpid()) + "_";
    ~OggMaker() { RunCommand("rm -f '" + dir + "'*"); }
    std::string ogg(const std::string& name, const std::string& sox, int serial, const std::string& options = "") {
        const std::string cmd = "sox -n " + sox.substr(0, sox.find(" synth")) + " -b 16 '" + dir + name + ".wav'" +
                                sox.substr(sox.find(" synth")) + " && oggenc -Q " + options + " -s " +
                                std::to_string(serial) + " -o '" + dir + name + ".ogg' '" + dir + name + ".wav'";
        EXPECT_EQ(RunCommand(cmd).Status, 0) << cmd;
        return ReadNativeFileBytes(dir + name + ".ogg");
    }
    std::string write(const std::string& name, const std::string& bytes) {
        std::ofstream(dir + name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return dir + name;
    }
    // oggdec's decode, read as from a pipe (it refuses to look at a file
    // that ends in another stream's pages, as it is given here), at 44.1 kHz
    // stereo through sox when it is not.
    std::vector<int16_t> oggdec(const std::string& bytes, bool resample = false) {
        const std::string in = write("in.ogg", bytes), out = dir + "out.raw";
        std::string cmd = "oggdec -Q -R -o '" + out + "' - <'" + in + "'";
        if (resample)
            cmd = "oggdec -Q -o '" + dir + "out.wav' - <'" + in + "' && sox '" + dir + "out.wav' -r 44100 -c 2 -b 16 -e signed -t raw '" + out + "'";
        EXPECT_EQ(RunCommand(cmd).Status, 0) << cmd;
        const std::string b = ReadNativeFileBytes(out);
        std::vector<int16_t> v(b.size() / 2);
        std::memcpy(v.data(), b.data(), v.size() * 2);
        return v;
    }
};
}  // namespace

// Oggs whose pages break sequence, each made here from oggenc's files: a
// byte spoilt in a middle page, a middle page lost, two streams
// multiplexed, the last page written twice, a chain of a 22,050 Hz mono
// link with a spoilt page and a 44.1 kHz stereo link, and a file overwritten
// by a shorter one without being cut; two streams multiplexed with a byte
// of junk between their first pages (also over a megabyte, where decoding
// starts before the pages are looked at), a chain whose first link's last
// page is written twice, and a chain over a megabyte of two links of one
// serial number, the first short. Each plays as oggdec decodes it (the
// chain of one serial number as it decodes each link by itself, the
// chain's first link as sox resamples it, within its filter's error), loops
// on REPEAT into its second pass, is saved there and plays on from that
// place once loaded, and moves with INDEX, a place past the end starting
// the loop over. Before, none looped, moved or came back after a load, and
// the chain and the overwritten file played nothing; then the multiplexed
// files with junk played their second stream or stopped early, places past
// the doubled page landed 10,880 frames wrong, the short link of one serial
// was heard twice, and a place past the end played on from elsewhere.
TEST_F(Sound, AnOggWhosePagesBreakSequencePlaysLoopsMovesAndComesBackAfterALoad) {
    if (const char* tool = MissingTool({"sox", "oggenc", "oggdec"})) GTEST_SKIP() << tool << " is not installed";
    vorqOggmanSetUseThread(0);  // the test decodes: what it hears does not wait on a thread
    OggMaker made;
    const std::string noise = made.ogg("noise", "-r 44100 -c 2 synth 2.5 pinknoise vol 0.3", 1);
    const std::string other = made.ogg("other", "-r 44100 -c 2 synth 4 sine 300 vol 0.3", 2);
    const std::string mono = made.ogg("mono", "-r 22050 -c 1 synth 8 sine 440 vol 0.5 dcshift 0.4", 3);
    const std::string stereo = made.ogg("stereo", "-r 44100 -c 2 synth 1 sine 880 vol 0.5 dcshift 0.4", 4);
    const auto np = OggPageSpans(noise), op = OggPageSpans(other), mp = OggPageSpans(mono);
    ASSERT_GE(np.size(), 6u);
    ASSERT_GE(mp.size(), 5u);
    const auto middle = np[np.size() / 2];

    std::string spoilt = noise;
    spoilt[(middle.first + middle.second) / 2] ^= 0x21;
    std::string muxed = page(noise, np[0]) + page(other, op[0]);
    for (size_t i = 1; i < std::max(np.size(), op.size()); ++i) {
        if (i < np.size()) muxed += page(noise, np[i]);
        if (i < op.size()) muxed += page(other, op[i]);
    }
    std::string mono_spoilt = mono;
    mono_spoilt[mp[mp.size() / 2].first + 100] ^= 0x21;
    // Over a megabyte: 25 s of noise at the highest quality.
    const std::string long_noise = made.ogg("long", "-r 44100 -c 2 synth 25 pinknoise vol 0.3", 5, "-q 10");
    const std::string short_link = made.ogg("short", "-r 44100 -c 2 synth 0.4 sine 660 vol 0.4", 5);
    ASSERT_GT(long_noise.size(), size_t{1} << 20);
    const auto lp = OggPageSpans(long_noise);
    auto muxed_with_junk = [&](const std::string& a, const std::vector<std::pair<size_t, size_t>>& ap) {
        std::string m = page(a, ap[0]) + "x" + page(other, op[0]);
        for (size_t i = 1; i < std::max(ap.size(), op.size()); ++i) {
            if (i < ap.size()) m += page(a, ap[i]);
            if (i < op.size()) m += page(other, op[i]);
        }
        return m;
    };
    const std::string junk_muxed = muxed_with_junk(noise, np), long_junk_muxed = muxed_with_junk(long_noise, lp);
    const std::string doubled_chain = noise + page(noise, np.back()) + other;
    const std::string one_serial = short_link + long_noise;
    std::vector<int16_t> short_then_long = made.oggdec(short_link);
    for (int16_t v : made.oggdec(long_noise)) short_then_long.push_back(v);
    const struct {
        const char* kind;
        std::string bytes;
        std::vector<int16_t> ref;  // 44.1 kHz stereo
        bool resampled = false;    // compared within sox's filter error, away from the joins
    } rows[] = {
        {"a byte spoilt in a middle page", spoilt, made.oggdec(spoilt)},
        {"a middle page lost", noise.substr(0, middle.first) + noise.substr(middle.second),
         made.oggdec(noise.substr(0, middle.first) + noise.substr(middle.second))},
        {"two streams multiplexed", muxed, made.oggdec(muxed)},
        {"the last page twice", noise + page(noise, np.back()), made.oggdec(noise + page(noise, np.back()))},
        {"two layouts, the first with a spoilt page", mono_spoilt + stereo, {}, true},
        {"a file followed by another's tail", noise + page(other, op[op.size() - 2]) + page(other, op.back()),
         made.oggdec(noise)},
        {"two streams multiplexed, junk between their first pages", junk_muxed, made.oggdec(junk_muxed)},
        {"the same over a megabyte", long_junk_muxed, made.oggdec(long_junk_muxed)},
        {"a chain whose first link's last page is doubled", doubled_chain, made.oggdec(doubled_chain)},
        // As its links play each by itself: oggdec reads one serial
        // number as one stream.
        {"a chain over a megabyte of one serial number, its first link short", one_serial, short_then_long},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        std::vector<int16_t> ref = row.ref;
        std::vector<size_t> joins{0};  // frames the resampled row is not compared near
        if (row.resampled) {
            ref = made.oggdec(mono_spoilt, true);
            joins.push_back(ref.size() / 2);
            const auto second = made.oggdec(stereo);
            ref.insert(ref.end(), second.begin(), second.end());
        }
        const size_t n = ref.size() / 2;
        ASSERT_GT(n, 44100u);
        // Of frames heard from frame from of ref, looped, those that differ.
        auto differ = [&](const std::vector<int16_t>& heard, size_t from) {
            size_t bad = 0;
            for (size_t i = 0; i < heard.size() / 2; ++i) {
                const size_t f = (from + i) % n;
                if (row.resampled) {
                    const auto near = [&](size_t j) { return f + 441 > j && f < j + 441; };
                    if (i < 441 || near(n) || std::any_of(joins.begin(), joins.end(), near)) continue;
                    bad += std::abs(heard[2 * i] - ref[2 * f]) > 328 || std::abs(heard[2 * i + 1] - ref[2 * f + 1]) > 328;
                } else {
                    bad += heard[2 * i] != ref[2 * f] || heard[2 * i + 1] != ref[2 * f + 1];
                }
            }
            return bad;
        };
        auto capture = [&](size_t frames) {
            for (int i = 0; i < 6; ++i) vorqOggmanUpdate();
            std::vector<int16_t> out(frames * 2);
            for (size_t at = 0; at < frames; at += 1024) {
                device->Bus().Mix(out.data() + at * 2, std::min<size_t>(1024, frames - at));
                vorqOggmanUpdate();
                vorqOggmanUpdate();
            }
            return out;
        };
        const std::string path = made.write(std::string("row") + std::to_string(&row - rows) + ".ogg", row.bytes);

        TVorqSound* s = sound("bgm", path);
        s->SetVolume(1000);
        s->SetRepeat(true);
        s->SetPlayState(PS_PLAY);
        // As its pages tell it, until it has been played through; over a
        // megabyte, as its first and last pages tell it until they are all
        // known.
        EXPECT_GT(s->GetCount(), 0);
        EXPECT_EQ(differ(capture(n + n / 2), 0), 0u) << "played and looped";
        EXPECT_NEAR(s->GetCount(), int32_t(n * 1000 / 44100), 1);
        const int32_t at = s->GetIndex();
        EXPECT_EQ(at, int32_t((n / 2) * 1000 / 44100)) << "in the second pass";
        TVorqSound* back = saved_and_loaded(s);
        ASSERT_TRUE(back->GetPlaying());
        EXPECT_EQ(differ(capture(8192), size_t(at) * 44100 / 1000), 0u) << "after the load, from " << at;
        const int32_t past_end = int32_t(n * 1000 / 44100) + 5000;
        for (const int32_t index : {int32_t(n / 4 * 1000 / 44100), int32_t(n * 9 / 10 * 1000 / 44100), 0, past_end}) {
            back->SetIndex(index);
            const size_t from = index == past_end ? 0 : size_t(index) * 44100 / 1000;
            EXPECT_EQ(differ(capture(8192), from), 0u) << "INDEX " << index;
        }
        back->SetPlayState(PS_STOP);
        reg->Update();
    }
}

// A voice (heard on the left) plays on while another sound (on the right)
// is placed near the end of about 100 MB of sound: copies of a minute of
// noise, as the links of a chain of one serial number, then 15 minutes at
// 22,050 Hz mono, each with a page lost, which are converted, so that each
// is decoded through to learn its length and the last decoded forward to
// the place, once the look at all the pages has ended (about 0.7 s here,
// more than the voice's ring holds); by INDEX, and by loading a save that
// holds it. Until the other is first heard the voice is never silent for
// more than 20 ms. With the place taken on the decoding thread, the voice
// fell silent for 360 ms.
TEST_F(Sound, AVoicePlaysOnWhileAnotherSoundIsPlacedInADamagedFile) {
    if (const char* tool = MissingTool({"sox", "oggenc"})) GTEST_SKIP() << tool << " is not installed";
    OggMaker made;
    made.ogg("voice", "-r 44100 -c 2 synth 5 sine 440 vol 0.5", 1);
    const std::string noise = made.ogg("noise", "-r 44100 -c 2 synth 60 pinknoise vol 0.3", 2, "-q 10");
    const std::string mono = made.ogg("mono", "-r 22050 -c 1 synth 60 pinknoise vol 0.3", 3, "-q 10");
    const auto mp = OggPageSpans(mono);
    const std::string spoilt = mono.substr(0, mp[mp.size() / 3].first) + mono.substr(mp[mp.size() / 3].second);
    const std::string far = made.dir + "far.ogg";
    const size_t spoilt_links = 15, copies = ((size_t{100} << 20) - spoilt_links * spoilt.size()) / noise.size();
    ASSERT_GE(copies, 10u);
    {
        std::ofstream f(far, std::ios::binary);
        for (size_t i = 0; i < copies; ++i) f << noise;
        for (size_t i = 0; i < spoilt_links; ++i) f << spoilt;
    }
    const int32_t place = int32_t(copies + spoilt_links) * 60000 - 2000;
    auto far_sound = [&] {
        TVorqSound* s = sound("far", far);
        s->SetVolume(1000);
        s->SetBalance(10000);
        s->SetRepeat(true);
        return s;
    };
    // Saved once placed and heard.
    TMemoryStream saved;
    {
        TVorqSound* s = far_sound();
        s->SetIndex(place);
        s->SetPlayState(PS_PLAY);
        std::vector<int16_t> out(441 * 2);
        ASSERT_TRUE(StepUntil([&] { return heard(out, 1); }, [&] { device->Bus().Mix(out.data(), 441); }));
        s->SaveToStream(saved);
        s->SetPlayState(PS_STOP);
        reg->Update();
    }
    for (const bool by_load : {false, true}) {
        SCOPED_TRACE(by_load ? "a save loaded" : "INDEX");
        expect_the_voice_plays_on([&] {
            TVorqSound* v = voice(made.dir + "voice.ogg");
            TVorqSound* other = nullptr;
            if (by_load) {
                saved.SetPosition(0);
                other = static_cast<TVorqSound*>(CreateObjectByType(reg.get(), LT_SOUND));
                other->LoadFromStream(saved, 130);
            } else {
                other = far_sound();
                other->SetIndex(place);
                other->SetPlayState(PS_PLAY);
            }
            const auto longest = longest_silence([](const std::vector<int16_t>& mix) { return heard(mix, 1); }, [] {});
            v->SetPlayState(PS_STOP);
            other->SetPlayState(PS_STOP);
            reg->Update();
            return longest;
        });
    }
}

// 120 sounds started in one frame beside a voice, each placed half a
// second before the end of an Ogg over a megabyte with a page lost (its
// pages looked at, then a page near the place found and decoded from): at
// most a few threads more than before are made, the voice is never silent
// for more than 20 ms, and every sound plays out; so too 120 of the
// software mixer's streams placed at once make few threads. Before, each
// sound made a thread to place it and another to look at its pages.
TEST_F(Sound, ManySoundsPlacedInOneFrameMakeFewThreadsAndLeaveTheVoiceHeard) {
    if (const char* tool = MissingTool({"sox", "oggenc"})) GTEST_SKIP() << tool << " is not installed";
    OggMaker made;
    made.ogg("voice", "-r 44100 -c 2 synth 5 sine 440 vol 0.5", 1);
    const std::string noise = made.ogg("noise", "-r 44100 -c 2 synth 25 pinknoise vol 0.3", 2, "-q 10");
    ASSERT_GT(noise.size(), size_t{1} << 20);
    const auto np = OggPageSpans(noise);
    const std::string lost = made.write(
        "lost.ogg", noise.substr(0, np[np.size() / 2].first) + noise.substr(np[np.size() / 2].second));
    auto threads = [] {
        size_t n = 0;
        for ([[maybe_unused]] const auto& t : std::filesystem::directory_iterator("/proc/self/task")) ++n;
        return n;
    };
    expect_the_voice_plays_on([&] {
        TVorqSound* v = voice(made.dir + "voice.ogg");
        const size_t before = threads();
        size_t most = before;
        std::vector<TVorqSound*> many;
        for (int i = 0; i < 120; ++i) {
            TVorqSound* s = sound("many" + std::to_string(i), lost);
            s->SetVolume(100);
            s->SetBalance(10000);
            s->SetIndex(24000);
            s->SetPlayState(PS_PLAY);
            many.push_back(s);
        }
        reg->Update();
        const auto longest = longest_silence(
            [&](const std::vector<int16_t>&) {
                return std::all_of(many.begin(), many.end(), [](TVorqSound* s) { return s->Ended(); });
            },
            [&] {
                most = std::max(most, threads());
                reg->Update();
            });
        EXPECT_LE(most - before, size_t{4}) << "threads while the sounds were placed";
        for (TVorqSound* s : many) s->SetPlayState(PS_STOP);
        v->SetPlayState(PS_STOP);
        reg->Update();
        return longest;
    });

    // Past their first pages the streams are held back until every place
    // has been asked for: all the work waits at once.
    const std::string bytes = ReadNativeFileBytes(lost);
    std::vector<std::unique_ptr<GatedStream>> streams;
    std::vector<uint32_t> handles;
    const size_t before = threads();
    for (int i = 0; i < 120; ++i) {
        streams.push_back(std::make_unique<GatedStream>(bytes, 1 << 18, int64_t(bytes.size())));
        streams.back()->Open();
        handles.push_back(vorqOggStrmanAdd(streams.back().get(), -1));
        streams.back()->Close();
        vorqOggStrSetPos(handles.back(), 24 * 44100 * 4);
    }
    size_t most = threads();
    for (auto& s : streams) s->Open();
    EXPECT_TRUE(WaitUntil([&] {
        most = std::max(most, threads());
        return std::none_of(handles.begin(), handles.end(), [](uint32_t h) { return vorqOggStrIsBusy(h) != 0; });
    }));
    EXPECT_LE(most - before, size_t{4}) << "threads while the software mixer's streams were placed";
    for (uint32_t h : handles) vorqOggStrmanDel(h);
}

// A sound that does not repeat is saved 100 ms after it starts, before the
// look at its pages (a file over a megabyte) has ended: a long one comes
// back after the load, a short one does not, and COUNT is then what the
// pages tell once they are known. Before, what had been decoded (nothing),
// or the last page of a chain of one serial number (its last link's), was
// taken for the length: the long sounds were judged short, saved stopped,
// and never came back.
TEST_F(Sound, ASoundSavedBeforeItsLengthIsKnownIsJudgedShortOnlyWhenItIs) {
    if (const char* tool = MissingTool({"sox", "oggenc", "oggdec"})) GTEST_SKIP() << tool << " is not installed";
    vorqOggmanSetUseThread(0);  // nothing is decoded until the test says
    OggMaker made;
    const std::string noise = made.ogg("noise", "-r 44100 -c 2 synth 30 pinknoise vol 0.3", 5, "-q 10");
    const std::string link = made.ogg("link", "-r 44100 -c 2 synth 1 sine 660 vol 0.4", 5);
    const std::string other = made.ogg("other", "-r 44100 -c 2 synth 4 sine 300 vol 0.3", 6);
    const auto op = OggPageSpans(other);
    ASSERT_GT(noise.size(), size_t{1} << 20);
    const size_t noise_frames = made.oggdec(noise).size() / 2, link_frames = made.oggdec(link).size() / 2;
    const struct {
        const char* what;
        std::string bytes;
        size_t frames;
        bool back;  // playing after the load
    } rows[] = {
        {"a long sound followed by another file's tail", noise + page(other, op[op.size() - 2]) + page(other, op.back()),
         noise_frames, true},
        {"a chain of one serial number whose last link is short", noise + link, noise_frames + link_frames, true},
        {"a short sound", link, link_frames, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const int32_t length = int32_t(row.frames * 1000 / 44100);
        TVorqSound* s = sound("once", made.write(std::string("saved") + std::to_string(&row - rows) + ".ogg", row.bytes));
        s->SetVolume(1000);
        s->SetPlayState(PS_PLAY);
        GameClock += 100;
        reg->Update();
        EXPECT_LE(s->GetCount(), length);
        TVorqSound* back = saved_and_loaded(s);
        ASSERT_EQ(back->GetPlaying(), row.back);
        if (!row.back) continue;
        std::vector<int16_t> out(1024 * 2);
        EXPECT_TRUE(StepUntil([&] { return std::abs(back->GetCount() - length) <= 1; },
                              [&] {
                                  device->Bus().Mix(out.data(), 1024);
                                  vorqOggmanUpdate();
                              }))
            << back->GetCount() << " for " << length;
        back->SetPlayState(PS_STOP);
        reg->Update();
    }
}

// REPEAT set on a sound over a megabyte just placed by INDEX, before the
// look at its pages has ended, keeps the place: a length not yet known is
// no end to start over from. Taking what had been decoded (nothing) for
// the length sent the sound back to its start.
TEST_F(Sound, RepeatSetBeforeTheLengthIsKnownKeepsThePlace) {
    if (const char* tool = MissingTool({"sox", "oggenc"})) GTEST_SKIP() << tool << " is not installed";
    vorqOggmanSetUseThread(0);  // nothing is decoded until the test says
    OggMaker made;
    const std::string noise = made.ogg("noise", "-r 44100 -c 2 synth 30 pinknoise vol 0.3", 5, "-q 10");
    ASSERT_GT(noise.size(), size_t{1} << 20);
    TVorqSound* s = sound("bgm", made.write("noise.ogg", noise));
    s->SetIndex(20000);
    s->SetPlayState(PS_PLAY);
    s->SetRepeat(true);
    EXPECT_EQ(s->GetIndex(), 20000);
    s->SetPlayState(PS_STOP);
    reg->Update();
}

// COUNT is the file's length, as oggdec decodes it, from the frame that
// creates the sound, on both mixing paths: a file of one link (about 4 MB,
// and about 100 MB) at once, whether it plays, is paused for a second or
// has no item (measured by a probe); a chain of two serial numbers, and of
// one (whose last page tells only its last link's length), once the look
// at its pages ends, the moment it ends, paused too; a file whose granule
// positions start 10 s late (a stream cut from a longer one), on both
// paths, as oggdec decodes it and not 10 s longer, as its last page alone
// tells. Before, COUNT was
// what had been decoded (0, or about 370 ms) until the decoder took the
// look's result, which a paused sound never did, and a probe started over
// at each measure.
TEST_F(Sound, CountIsTheFilesLengthFromTheFrameThatCreatesTheSound) {
    if (const char* tool = MissingTool({"sox", "oggenc", "oggdec"})) GTEST_SKIP() << tool << " is not installed";
    OggMaker made;
    const std::string four_bytes = made.ogg("four", "-r 44100 -c 2 synth 80 whitenoise vol 0.5", 7, "-q 10");
    const std::string four = made.write("four.ogg", four_bytes);
    // 2,000 s of white noise at the highest quality, piped: no wave file of 350 MB.
    const std::string hundred = made.dir + "hundred.ogg";
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 -t wav - synth 2000 whitenoise vol 0.5 | "
                         "oggenc -Q -q 10 -s 7 -o '" + hundred + "' -").Status, 0);
    ASSERT_GT(std::filesystem::file_size(hundred), uintmax_t{90} << 20);
    const std::string link = made.ogg("link", "-r 44100 -c 2 synth 1 sine 660 vol 0.4", 7);
    const std::string other = made.ogg("other", "-r 44100 -c 2 synth 1 sine 660 vol 0.4", 8);
    const size_t four_frames = made.oggdec(four_bytes).size() / 2, link_frames = made.oggdec(link).size() / 2;
    // oggdec decodes as many frames as sox made, so the large file's are known without decoding it.
    ASSERT_EQ(four_frames, size_t{80 * 44100});
    const std::string one_serial = made.write("one.ogg", link + four_bytes);
    const std::string two_serials = made.write("two.ogg", other + four_bytes);
    const std::string late = made.dir + "late.ogg";
    ASSERT_EQ(RunCommand(std::string("python3 '") + VORQ_SOURCE_DIR + "/tests/objects/media/ogg_granules.py' '" + four +
                         "' '" + late + "' 441000").Status, 0);
    const size_t late_frames = made.oggdec(ReadNativeFileBytes(late)).size() / 2;
    ASSERT_EQ(late_frames, four_frames);
    enum How { Plays, Paused, NoItem };
    const struct {
        const char* what;
        std::string path;
        size_t frames;
        bool at_once;
        How how;
    } rows[] = {
        {"one link, 4 MB", four, four_frames, true, Plays},
        {"one link, 100 MB", hundred, size_t{2000 * 44100}, true, Plays},
        {"one link, paused", four, four_frames, true, Paused},
        {"one link, no item", four, four_frames, true, NoItem},
        {"two serial numbers", two_serials, link_frames + four_frames, false, Plays},
        {"one serial number", one_serial, link_frames + four_frames, false, Plays},
        {"one serial number, paused", one_serial, link_frames + four_frames, false, Paused},
        {"one serial number, no item", one_serial, link_frames + four_frames, false, NoItem},
        {"granules starting 10 s late", late, late_frames, true, Plays},
    };
    struct Restore {
        ~Restore() { MediaUseDirectSound = true; }
    } restore;
    for (const bool direct : {true, false}) {
        MediaUseDirectSound = direct;
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.what) + (direct ? ", module" : ", software mixer"));
            const int32_t length = int32_t(row.frames * 1000 / 44100);
            TVorqSound* s = sound(std::string("count") + std::to_string(&row - rows), row.path);
            s->SetPaused(row.how == Paused);
            if (row.how != NoItem) s->SetPlayState(PS_PLAY);
            if (row.at_once) {
                EXPECT_NEAR(s->GetCount(), length, 1) << "in the frame that creates it";
            }
            // The moment the look ends (the length settled), COUNT is the
            // length; a paused sound stays paused a second at least.
            const auto start = std::chrono::steady_clock::now();
            int32_t at_end = -1;
            auto done = [&] {
                // Settled first: the length is final before it says so.
                if (at_end < 0 && (row.how == NoItem ? s->GetCount() == length : s->Item()->LengthSettled()))
                    at_end = s->GetCount();
                const bool second = std::chrono::steady_clock::now() - start > std::chrono::seconds(1);
                return at_end >= 0 && (row.how != Paused || second);
            };
            EXPECT_TRUE(StepUntil(done, [&] { reg->Update(); })) << s->GetCount() << " for " << length;
            EXPECT_NEAR(at_end, length, 1) << "when the look ended";
            EXPECT_NEAR(s->GetCount(), length, 1);
            if (row.how == Paused) {
                EXPECT_TRUE(s->GetPaused());
            }
            s->SetPlayState(PS_STOP);
            reg->Update();
        }
    }
}

namespace {
// Every read waits while the gate is shut; Held tells that one came.
struct HeldStream : GatedStream {
    using GatedStream::GatedStream;
    std::atomic<bool> Held{false};
    int64_t Read(void* buffer, int64_t count) override {
        if (!IsOpen()) Held = true;
        return GatedStream::Read(buffer, count);
    }
};
}  // namespace

// A sound freed while its place is being taken (the look at its pages
// reading a file over a megabyte) is freed at once on both mixing paths:
// its work is cancelled, and what is left of it goes once that work has
// ended, elsewhere. Here the work's read of the file is held back, as a
// busy machine holds back the thread doing it; before, the game's thread
// waited for it.
TEST_F(Sound, FreeingASoundNeverWaitsForItsPlaceOrItsPageCheck) {
    if (const char* tool = MissingTool({"sox", "oggenc"})) GTEST_SKIP() << tool << " is not installed";
    OggMaker made;
    const std::string bytes = made.ogg("held", "-r 44100 -c 2 synth 40 pinknoise vol 0.3", 5, "-q 10");
    ASSERT_GT(bytes.size(), size_t{1} << 20);
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "module" : "software mixer");
        TOggManager* m = OggManager();
        auto stream = std::make_unique<HeldStream>(bytes, 0, int64_t(bytes.size()));
        HeldStream* held = stream.get();
        held->Open();
        std::unique_ptr<TDMediaItem> own;
        if (direct) {
            own = std::make_unique<TOggItem>(m, std::move(stream), true);
        } else {
            ASSERT_TRUE(m->WavOut().Open());
            own = std::make_unique<TOggWaveItem>(m, std::move(stream), true);
        }
        TDMediaItem* item = m->Adopt(std::move(own));
        held->Close();
        item->SetPosition(30000);
        item->Play();
        ASSERT_TRUE(WaitUntil([&] { return held->Held.load(); })) << "the place never read the file";
        std::atomic<bool> freed{false};
        std::thread game([&] {
            m->Remove(item);
            freed = true;
        });
        const bool at_once = WaitUntil([&] { return freed.load(); }, std::chrono::seconds(5));
        held->Open();
        game.join();
        EXPECT_TRUE(at_once) << "freeing the sound waited for the work on its file";
    }
}
