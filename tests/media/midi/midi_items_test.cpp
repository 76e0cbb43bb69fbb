#include "media/midi/midi_items.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "tests/support/midi_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace {
std::string write_file(const std::string& name, const std::string& bytes) {
    // One folder per test process: the tests run in parallel processes.
    const std::string dir = std::string(VORQ_BINARY_DIR) + "/midi_items_test/" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

struct Fixture {
    Recording rec;
    uint32_t now = 5000;
    TMidiManager manager{std::make_unique<TMidiPlayV>(std::make_unique<RecordingOutputs>(rec), false)};
    const std::string first = write_file("first.mid", song({{100, kNoteOn}, {100, kNoteOff}, {800, kEnd}}));
    const std::string second = write_file("second.mid", song({{10, kProgram}, {1990, kVolume}, {10, kEnd}}));
    Fixture() { SetClockSource([this] { return now; }); }
    ~Fixture() { SetClockSource({}); }
    TMidiItem* add(const std::string& name) { return static_cast<TMidiItem*>(manager.Add(name)); }
    void run_for(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 10) {
            now += 10;
            manager.Player().TimerTick();
        }
    }
    // The channel-volume values sent since the last call.
    std::vector<std::string> volumes() {
        std::vector<std::string> v;
        for (const auto& m : std::exchange(rec.log, {}))
            if (m.rfind("b0 07", 0) == 0) v.push_back(m);
        return v;
    }
};
}  // namespace

TEST(MidiItem, VolumeScalesChannelVolume) {
    struct Case {
        int32_t volume;
        const char* sent;
    } cases[] = {{0, "b0 07 7f"}, {-5000, "b0 07 3f"}, {-10000, "b0 07 00"}, {-12000, "b0 07 00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.volume);
        Fixture f;
        TMidiItem* item = f.add(f.first);
        item->SetVolume(c.volume);
        item->Play();
        EXPECT_EQ(item->GetVolume(), c.volume);
        EXPECT_EQ(f.volumes().back(), c.sent);
    }
}

TEST(MidiItem, SecondItemTakesThePlayerAndTheFirstFallsSilent) {
    Fixture f;
    TMidiItem* a = f.add(f.first);
    TMidiItem* b = f.add(f.second);
    a->Play();
    f.run_for(150);
    EXPECT_TRUE(a->IsPlaying());
    EXPECT_GT(a->GetPosition(), 0);
    b->Play();
    EXPECT_EQ(f.manager.Current(), b);
    EXPECT_FALSE(a->IsPlaying());
    EXPECT_FALSE(a->CheckEnd());
    EXPECT_EQ(a->GetPosition(), 0);
    EXPECT_EQ(b->GetLength(), 2010);
    EXPECT_EQ(a->GetLength(), 1000);  // measured without the player
}

TEST(MidiItem, FilesThatAreNoMidiLeaveTheItemSilent) {
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {{"segment file", "RIFF\x10\0\0\0DMSG"}, {"empty file", ""}, {"missing file", "-"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        TMidiItem* playing = f.add(f.first);
        playing->Play();
        f.run_for(150);
        playing->Pause();
        const std::string path = c.bytes == "-" ? f.first + ".none" : write_file("bad.sgt", c.bytes);
        TMidiItem* bad = f.add(path);
        f.rec.log.clear();
        bad->Play();
        // Nothing sent, the earlier song is neither restarted nor replaced.
        EXPECT_TRUE(f.rec.log.empty());
        EXPECT_FALSE(bad->IsPlaying());
        EXPECT_EQ(bad->GetLength(), 0);
        EXPECT_EQ(f.manager.Current(), playing);
        EXPECT_FALSE(f.manager.Player().IsPlaying());
    }
}

TEST(MidiItem, RepeatSetBeforePlayIsKept) {
    Fixture f;
    TMidiItem* item = f.add(f.first);
    item->SetAutoRepeat(true);
    item->Play();
    EXPECT_TRUE(f.manager.Player().AutoRepeat());
    f.run_for(3000);
    EXPECT_FALSE(item->CheckEnd());
    EXPECT_TRUE(item->IsPlaying());
    item->SetAutoRepeat(false);
    f.run_for(1100);
    EXPECT_TRUE(item->CheckEnd());
}

TEST(MidiItem, PauseKeepsThePositionAndPlayGoesOnFromIt) {
    Fixture f;
    TMidiItem* item = f.add(f.second);
    item->Play();
    f.run_for(500);
    item->Pause();
    EXPECT_TRUE(item->IsPaused());
    EXPECT_FALSE(item->IsPlaying());
    const int32_t at = item->GetPosition();
    EXPECT_NEAR(at, 500, 10);
    item->SetPosition(-5);  // paused: stored, never negative
    item->Play();
    EXPECT_FALSE(item->IsPaused());
    EXPECT_EQ(f.manager.Player().CurrentIndex(), 0);
}

TEST(MidiItem, SoundOffPlaysNothingUntilSwitchedOn) {
    Fixture f;
    TMidiItem* item = f.add(f.first);
    f.manager.SetActive(false);
    item->Play();
    EXPECT_FALSE(item->IsPlaying());
    EXPECT_TRUE(item->ResumeFlag);
    f.manager.SetActive(true);
    EXPECT_TRUE(item->IsPlaying());
}

TEST(MidiItem, RemovingTheCurrentItemStopsAndClosesThePlayer) {
    Fixture f;
    TMidiItem* item = f.add(f.first);
    item->Play();
    f.manager.Remove(item);
    EXPECT_EQ(f.manager.Current(), nullptr);
    EXPECT_FALSE(f.manager.Player().IsPlaying());
    EXPECT_FALSE(f.manager.Player().IsOpen());
    EXPECT_EQ(f.rec.log.back(), "reset");
}

TEST(MidiManager, DeviceList) {
    Fixture f;
    const std::string mapper = Sjis("MIDIマッパー");
    EXPECT_EQ(f.manager.GetDeviceCount(), 2);
    struct Case {
        int32_t index;
        std::string name;
    } names[] = {{-1, mapper}, {0, mapper}, {1, "recorder"}, {2, mapper}};
    for (const auto& c : names) EXPECT_EQ(f.manager.GetDeviceName(c.index), c.name) << c.index;
    f.manager.SelectDeviceByName("recorder");
    EXPECT_EQ(f.manager.GetCurrentDeviceName(), "recorder");
    f.manager.SelectDeviceByName("nothing");
    EXPECT_EQ(f.manager.DeviceIndex(), 0);
    f.manager.SetDeviceIndex(99);
    EXPECT_EQ(f.manager.DeviceIndex(), 1);
}
