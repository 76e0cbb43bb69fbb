// The wave path end to end: items of the Ogg manager decoded into the
// software mixer, played by SDL's disk audio driver into a file.
#include "media/companion/companion.h"
#include "media/audio/sound_items.h"
#include "media/audio/wav_out.h"
#include "media/base/media_managers.h"
#include "platform/system/clock.h"
#include "tests/support/run_queue.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
std::string data_path(const std::string& name) { return std::string(VORQ_TEST_DATA) + "/audio/" + name; }

std::vector<int16_t> samples_of(const std::string& path, size_t skip_bytes = 0) {
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> b{std::istreambuf_iterator<char>(f), {}};
    if (b.size() < skip_bytes) return {};
    std::vector<int16_t> v((b.size() - skip_bytes) / 2);
    std::memcpy(v.data(), b.data() + skip_bytes, v.size() * 2);
    return v;
}

struct WavePath : ::testing::Test {
    std::string capture = ::testing::TempDir() + "wave_path_" +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                          std::to_string(getpid()) + ".raw";
    std::unique_ptr<TOggManager> manager;
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        MediaUseDirectSound = false;
        MediaDelayTime = 100;
        vorqInit(nullptr, nullptr, nullptr, nullptr, StreamGetSizeCallback, StreamReadCallback,
                 StreamGetPositionCallback, StreamSeekCallback, nullptr, nullptr, 0);
        manager = std::make_unique<TOggManager>();
    }
    void TearDown() override {
        manager.reset();
        vorqFinal();
        MediaUseDirectSound = true;
        MediaDelayTime = 500;
        unsetenv("SDL_DISKAUDIOFILE");
        std::remove(capture.c_str());
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    // Waits (the disk driver plays at the device's pace) until the item
    // ends; only a hang guard bounds the wait.
    bool play_out(TDMediaItem* item) {
        return StepUntil([&] { return item->CheckEnd(); }, [] {}, kWaitDeadline, std::chrono::milliseconds(10));
    }
};
}  // namespace

TEST_F(WavePath, AWaveFileIsHeardSampleForSampleAndThenEnds) {
    const std::string name = data_path("tone.wav");
    TDMediaItem* item = manager->Add(name);
    ASSERT_NE(dynamic_cast<TOggWaveItem*>(item), nullptr);
    EXPECT_EQ(item->GetLength(), 500);
    item->SetVolume(0);
    const RunQueueWaits before = RunQueueWaits::Now();
    item->Play();
    EXPECT_TRUE(item->IsPlaying());
    ASSERT_TRUE(play_out(item));
    EXPECT_FALSE(item->IsPlaying());

    const auto wav = samples_of(name, 44);
    auto first_sound = [](const std::vector<int16_t>& v) {
        size_t f = 0;
        while (2 * f + 1 < v.size() && v[2 * f] == 0 && v[2 * f + 1] == 0) ++f;
        return f;
    };
    const size_t fw = first_sound(wav);
    // A thread of ours kept from running (a busy machine) may leave the
    // mixer without the sound's next samples for as long: it plays silence
    // meanwhile and the sound after it. No more silence than the longest
    // such wait explains may come between the sound's samples.
    auto excused = [&] { return size_t(RunQueueWaits::Now().LongestSinceMs(before)) * 44100 / 1000; };
    // The item ends once the mixer has taken its last samples; the driver
    // writes them out a buffer or two later, so wait for the whole sound.
    auto heard_whole = [&] {
        const auto v = samples_of(capture);
        const size_t f = first_sound(v);
        return f >= fw && v.size() >= 2 * (f - fw + excused()) + wav.size();
    };
    EXPECT_TRUE(StepUntil(heard_whole, [] {}, kWaitDeadline, std::chrono::milliseconds(10)));
    const size_t allowed = excused();
    manager->Remove(item);
    manager.reset();  // closes the device: the capture is complete

    const auto got = samples_of(capture);
    const size_t fg = first_sound(got);
    ASSERT_GE(fg, fw);
    size_t j = 2 * (fg - fw), inserted = 0;
    for (size_t i = 0; i < wav.size(); i += 2, j += 2) {
        ASSERT_LT(j + 1, got.size()) << "the capture ends at sample " << i;
        while (got[j] != wav[i] || got[j + 1] != wav[i + 1]) {
            ASSERT_TRUE(got[j] == 0 && got[j + 1] == 0) << "sample " << i;
            ++inserted;
            j += 2;
            ASSERT_LT(j + 1, got.size()) << "the capture ends at sample " << i;
        }
    }
    EXPECT_LE(inserted, allowed) << "frames of silence within the sound";
}

TEST_F(WavePath, SuspendPausesWhatPlaysAndResumePlaysItAgain) {
    TDMediaItem* playing = manager->Add(data_path("tone.ogg"));
    TDMediaItem* paused = manager->Add(data_path("tone.wav"));
    playing->SetAutoRepeat(true);
    playing->Play();
    paused->Play();
    paused->Pause();
    manager->Suspend();
    EXPECT_TRUE(playing->IsPaused());
    EXPECT_TRUE(playing->ResumeFlag);
    EXPECT_FALSE(paused->ResumeFlag);
    manager->Resume();
    EXPECT_TRUE(playing->IsPlaying());
    EXPECT_TRUE(paused->IsPaused());
    // Sound off: suspended and inactive; on again: it plays on.
    manager->SetActive(false);
    EXPECT_TRUE(playing->IsPaused());
    manager->SetActive(true);
    EXPECT_TRUE(playing->IsPlaying());
    // A repeating item never reports an end, played past it.
    int32_t last = playing->GetPosition();
    EXPECT_TRUE(StepUntil(
        [&] {
            const int32_t now = playing->GetPosition(), was = last;
            last = now;
            return now < was;
        },
        [] {}, kWaitDeadline, std::chrono::milliseconds(5)));
    EXPECT_FALSE(playing->CheckEnd());
    // An Ogg at a rate the mixer does not widen reaches it at the device's
    // rate, and plays.
    TDMediaItem* odd = manager->Add(data_path("tone48k.ogg"));
    odd->Play();
    EXPECT_FALSE(odd->CheckEnd());
    EXPECT_TRUE(odd->IsPlaying());
}
