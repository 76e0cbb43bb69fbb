#include "media/midi/midi_player.h"
#include "tests/support/midi_recorder.h"
#include "platform/system/audio.h"
#include "platform/system/clock.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {
void load_song(TMidiPlayV& player, const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    player.LoadFromStream(s);
}

struct Fixture {
    Recording rec;
    uint32_t now = 1000;
    TMidiPlayV player{std::make_unique<RecordingOutputs>(rec), false};
    Fixture() {
        SetClockSource([this] { return now; });
        player.Open(-1);
    }
    ~Fixture() { SetClockSource({}); }
    void load(const std::string& bytes) { load_song(player, bytes); }
    // Ticks of 10 ms until the clock reaches ms past the start.
    void run_for(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) {
            now += 10;
            player.TimerTick();
        }
    }
    std::vector<std::string> take() { return std::exchange(rec.log, {}); }
};
}  // namespace

TEST(MidiPlayer, SendsDueEventsInOrderAndNeverTheLast) {
    Fixture f;
    // 0: tempo, 100: program, 200: note on, 300: volume, 400: note off, 500: end.
    f.load(song({{100, kProgram}, {100, kNoteOn}, {100, kVolume}, {100, kNoteOff}, {100, kEnd}}));
    f.player.PlayFrom(0);
    EXPECT_TRUE(f.player.IsPlaying());
    f.run_for(250);
    EXPECT_EQ(f.take(), (std::vector<std::string>{"c0 05", "90 3c 64"}));
    f.run_for(1000);
    EXPECT_EQ(f.take(), (std::vector<std::string>{"b0 07 64", "80 3c 00"}));
    EXPECT_TRUE(f.player.IsEnd());
    EXPECT_TRUE(f.player.IsPlaying());  // until stopped
}

TEST(MidiPlayer, AutoRepeatFiresWhenTheLastEventIsDueWhateverTheRestBeforeIt) {
    for (uint32_t rest : {0u, 10u, 3000u}) {
        SCOPED_TRACE(rest);
        Fixture f;
        f.load(song({{100, kNoteOn}, {100, kNoteOff}, {rest, kEnd}}));
        f.player.SetAutoRepeat(true);
        f.player.PlayFrom(0);
        // Up to the repeat: both notes, then a silence of all 16 channels,
        // then the notes again from the first event's time.
        for (int i = 0; i < 10 && f.rec.log.size() < 20; ++i) f.run_for(1000);
        ASSERT_GE(f.rec.log.size(), 20u);
        EXPECT_EQ(f.rec.log[0], "90 3c 64");
        EXPECT_EQ(f.rec.log[1], "80 3c 00");
        for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(f.rec.log[2 + ch], hex_bytes(std::vector<uint8_t>{uint8_t(0xB0 + ch), 0x7B, 0}));
        EXPECT_EQ(f.rec.log[18], "90 3c 64");
        EXPECT_FALSE(f.player.IsEnd());
    }
}

TEST(MidiPlayer, AStarvedTimerMovesAtMostOneSecond) {
    Fixture f;
    f.load(song({{100, kNoteOn}, {10000, kEnd}}));
    f.player.PlayFrom(0);
    f.now += 5000;
    f.player.TimerTick();
    EXPECT_EQ(f.player.Position(), 1000);
}

TEST(MidiPlayer, PlayFromReplaysEverythingButNotes) {
    Fixture f;
    f.load(song({{0, kGsReset}, {100, kProgram}, {0, kNoteOn}, {100, kVolume}, {100, kNoteOff}, {100, "\xE0\x00\x40"},
                 {1000, kEnd}}));
    struct Case {
        int32_t from_ms;
        std::vector<std::string> sent;
        int32_t index;
    } cases[] = {
        // Forwards from the start: the reset, program, volume; never a note.
        {300, {"f0 41 10 42 12 40 00 7f 00 41 f7", "c0 05", "b0 07 64"}, 5},
        // Backwards: silence, then the same from the start.
        {100, {"f0 41 10 42 12 40 00 7f 00 41 f7"}, 2},
        // Past the last event: from the beginning.
        {99999, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from_ms);
        f.take();
        f.player.PlayFrom(c.from_ms);
        std::vector<std::string> sent;
        for (const auto& m : f.take())
            if (m.rfind("b", 0) != 0 || m.substr(3, 2) != "7b") sent.push_back(m);
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(f.player.CurrentIndex(), c.index);
    }
}

TEST(MidiPlayer, StopSilencesOnceAndKeepsThePosition) {
    Fixture f;
    f.load(song({{100, kNoteOn}, {1000, kEnd}}));
    f.player.PlayFrom(0);
    f.run_for(300);
    f.take();
    const int32_t pos = f.player.Position();
    f.player.Stop();
    EXPECT_EQ(f.take().size(), 16u);
    EXPECT_FALSE(f.player.IsPlaying());
    EXPECT_EQ(f.player.Position(), pos);
    f.player.Stop();
    EXPECT_TRUE(f.take().empty());
}

TEST(MidiPlayer, ControllerScaleKeepsValuesInRange) {
    struct Case {
        int32_t percent;
        const char* sent;
    } cases[] = {{100, "b0 07 64"}, {50, "b0 07 32"}, {0, "b0 07 00"}, {200, "b0 07 7f"}, {-50, "b0 07 00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        Fixture f;
        f.load(song({{10, kVolume}, {1000, kEnd}}));
        f.player.SetControllerScale(7, c.percent);
        EXPECT_TRUE(f.take().empty());  // not playing: stored only
        f.player.PlayFrom(0);
        f.run_for(50);
        EXPECT_EQ(f.take(), std::vector<std::string>{c.sent});
        // While playing, a new scale is sent on all 16 channels at once.
        f.player.SetControllerScale(7, 100);
        EXPECT_EQ(f.take().size(), 16u);
    }
}

TEST(MidiPlayer, MasterVolumeAndCloseReachTheDevice) {
    Fixture f;
    f.player.SendMasterVolume();
    f.player.Close();
    f.player.SendMasterVolume();  // closed: nothing
    EXPECT_EQ(f.take(), (std::vector<std::string>{"f0 7f 7f 04 01 00 7f f7", "reset"}));
    EXPECT_FALSE(f.player.Open(5));
}

TEST(MidiPlayer, TimerThreadPlaysASongToItsEnd) {
    Recording rec;
    TMidiPlayV player(std::make_unique<RecordingOutputs>(rec));
    load_song(player, song({{20, kNoteOn}, {20, kNoteOff}, {20, kEnd}}));
    player.Open(-1);
    player.PlayFrom(0);
    WaitUntil([&] { return player.IsEnd(); });
    EXPECT_TRUE(player.IsEnd());
    player.Stop();
    ASSERT_GE(rec.log.size(), 2u);
    EXPECT_EQ(rec.log[0], "90 3c 64");
    EXPECT_EQ(rec.log[1], "80 3c 00");
}

namespace {
// Opens outputs whose device is held back until the test lets it through:
// then the recorder, or no device at all.
class GatedOutputs : public MidiOutputs {
public:
    GatedOutputs(Recording& rec, bool& open, bool device) : rec_(rec), open_(open), device_(device) {}
    std::vector<std::string> Names() override { return {"gated"}; }
    std::unique_ptr<MidiOut> Open(int32_t) override {
        return std::make_unique<HeldMidiOut>([this](std::unique_ptr<MidiOut>& out) {
            if (!open_) return false;
            if (device_) out = std::make_unique<RecordingOut>(rec_);
            return true;
        });
    }

private:
    Recording& rec_;
    bool& open_;
    bool device_;
};
}  // namespace

// While the device is prepared the player takes every call at once, sends
// nothing and holds the song's time; once ready, what was sent arrives in
// order and the song plays on from where it stood. Without a device the
// song stays silent and still ends.
TEST(MidiPlayer, AnOutputStillBeingPreparedHoldsTheMessagesAndTheSongsTime) {
    for (bool device : {true, false}) {
        SCOPED_TRACE(device);
        Recording rec;
        bool open = false;
        uint32_t now = 1000;
        SetClockSource([&] { return now; });
        TMidiPlayV player(std::make_unique<GatedOutputs>(rec, open, device), false);
        // 10: program, 110: volume, 210: note on, 310: note off, 410: end.
        load_song(player, song({{10, kProgram}, {100, kVolume}, {100, kNoteOn}, {100, kNoteOff}, {100, kEnd}}));
        ASSERT_TRUE(player.Open(-1));
        player.SendMasterVolume();
        player.PlayFrom(150);
        const int32_t at = player.Position();
        for (int i = 0; i < 100; ++i, now += 10) player.TimerTick();
        EXPECT_TRUE(rec.log.empty());
        EXPECT_EQ(player.Position(), at);
        open = true;
        player.TimerTick();
        // Sent with no device yet: the silencing of PlayFrom is left out.
        auto sent = [&] {
            std::vector<std::string> r;
            for (const auto& m : rec.log)
                if (m.size() != 8 || m.substr(2) != " 7b 00") r.push_back(m);
            return r;
        };
        const std::vector<std::string> all = {"f0 7f 7f 04 01 00 7f f7", "c0 05", "b0 07 64", "90 3c 64", "80 3c 00"};
        EXPECT_EQ(sent(), device ? std::vector<std::string>(all.begin(), all.begin() + 2) : std::vector<std::string>{});
        for (int i = 0; i < 15; ++i, now += 10) player.TimerTick();
        // 150 ms on from the program's time: the volume, not yet the note.
        EXPECT_EQ(sent(), device ? std::vector<std::string>(all.begin(), all.begin() + 3) : std::vector<std::string>{});
        for (int i = 0; i < 100; ++i, now += 10) player.TimerTick();
        EXPECT_TRUE(player.IsEnd());
        EXPECT_EQ(sent(), device ? all : std::vector<std::string>{});
        SetClockSource({});
    }
}

namespace {
// Counts note-ons from the timer thread; raises at each when asked to.
class CountingOutputs : public MidiOutputs {
public:
    CountingOutputs(std::atomic<int>& notes, bool raises) : notes_(notes), raises_(raises) {}
    std::vector<std::string> Names() override { return {"counter"}; }
    std::unique_ptr<MidiOut> Open(int32_t) override {
        struct Out : MidiOut {
            std::atomic<int>& notes;
            bool raises;
            Out(std::atomic<int>& n, bool r) : notes(n), raises(r) {}
            void ShortMessage(uint32_t m) override {
                if ((m & 0xF0) != 0x90) return;
                ++notes;
                if (raises) throw std::runtime_error("device gone");
            }
            void LongMessage(std::span<const uint8_t>) override {}
            void Reset() override {}
        };
        return std::make_unique<Out>(notes_, raises_);
    }

private:
    std::atomic<int>& notes_;
    bool raises_;
};

}  // namespace

// The timer thread sleeps once a song has ended; repeat switched on then
// wakes it and the song plays again. A device that raises ends the song.
TEST(MidiPlayer, TimerThreadWakesForRepeatAfterTheEndAndSurvivesAFailingDevice) {
    for (bool raises : {false, true}) {
        SCOPED_TRACE(raises);
        std::atomic<int> notes{0};
        TMidiPlayV player(std::make_unique<CountingOutputs>(notes, raises));
        load_song(player, song({{20, kNoteOn}, {20, kNoteOff}, {20, kEnd}}));
        player.Open(-1);
        player.PlayFrom(0);
        ASSERT_TRUE(WaitUntil([&] { return player.IsEnd(); }));
        EXPECT_EQ(notes, 1);
        EXPECT_EQ(player.Failed(), raises);
        EXPECT_EQ(player.IsPlaying(), !raises);
        if (raises) continue;
        player.SetAutoRepeat(true);
        EXPECT_TRUE(WaitUntil([&] { return notes >= 2; }));
        player.Stop();
    }
}

// The synthesizer renders a two-second song through SDL's disk audio driver:
// the file holds sound (not silence) for about the song's length.
TEST(MidiSynth, RendersTheSongIntoTheSoundDevice) {
    if (MidiSoundFontPath().empty()) GTEST_SKIP() << "no General MIDI sound font installed";
    const std::string out = std::string(VORQ_BINARY_DIR) + "/midi_synth_disk.raw";
    std::remove(out.c_str());
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    static std::unique_ptr<AudioDevice> device;
    device = AudioDevice::Open(AudioBackend::Sdl);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SetMidiSynthBus([] { return &device->Bus(); });
    {
        TMidiPlayV player;
        ASSERT_FALSE(player.DeviceNames().empty());
        load_song(player, song({{0, std::string("\xC0\x00", 2)}, {0, kNoteOn}, {1800, kNoteOff}, {200, kEnd}}));
        EXPECT_EQ(player.LengthMs(), 2000);
        ASSERT_TRUE(player.Open(-1));
        player.PlayFrom(0);
        WaitUntil([&] { return player.IsEnd(); });
        EXPECT_TRUE(player.IsEnd());
        player.Close();
    }
    // The disk driver writes in real time on its own thread, and on a busy
    // machine it lags behind the song's clock: wait for the song's length.
    const auto wanted = std::streamoff(1.8 * AudioFrequency) * 4;
    WaitUntil([&] { return std::ifstream(out, std::ios::binary | std::ios::ate).tellg() >= wanted; });
    device.reset();
    SetMidiSynthBus(nullptr);
    std::ifstream in(out, std::ios::binary);
    std::vector<int16_t> samples;
    int16_t v;
    while (in.read(reinterpret_cast<char*>(&v), 2)) samples.push_back(v);
    const double seconds = samples.size() / 2.0 / AudioFrequency;
    EXPECT_GT(seconds, 1.8);
    EXPECT_LT(seconds, 4.0);
    // The note's loudness is well above silence.
    double energy = 0;
    const size_t n = samples.size();
    for (size_t i = 0; i < n; ++i) energy += double(samples[i]) * samples[i];
    EXPECT_GT(std::sqrt(energy / std::max<size_t>(n, 1)), 100.0);
}
