#include "platform/system/audio.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/syscall.h>

#include <atomic>
#include <cctype>
#include <fstream>
#include <string>
#include <thread>

namespace {
MixingBus::Source constant(int32_t left, int32_t right, int* calls = nullptr) {
    return [=](int32_t* mix, size_t frames) {
        if (calls) ++*calls;
        for (size_t i = 0; i < frames; ++i) {
            mix[2 * i] += left;
            mix[2 * i + 1] += right;
        }
        return true;
    };
}
// The system call SDL's audio thread of this process waits in; -1 when
// there is no such thread or it is running.
long audio_thread_syscall() {
    long call = -1;
    DIR* d = opendir("/proc/self/task");
    if (!d) return call;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string t = std::string("/proc/self/task/") + e->d_name + "/";
        std::string name;
        std::getline(std::ifstream(t + "comm"), name);
        if (name.rfind("SDLAudio", 0) != 0) continue;
        std::string text;
        std::getline(std::ifstream(t + "syscall"), text);
        if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) call = std::stol(text);
    }
    closedir(d);
    return call;
}
}  // namespace

TEST(MixingBus, SumsSourcesAndClipsTo16Bits) {
    MixingBus bus;
    int16_t out[8];
    bus.Mix(out, 4);
    for (int16_t s : out) EXPECT_EQ(s, 0);

    int a = bus.AddSource(constant(1000, -20000));
    int b = bus.AddSource(constant(234, -20000));
    bus.Mix(out, 4);
    EXPECT_EQ(out[0], 1234);
    EXPECT_EQ(out[1], -32768);
    bus.RemoveSource(a);
    int c = bus.AddSource(constant(33000, 0));
    bus.Mix(out, 4);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[7], -20000);
    // The volume scales the sum before it is clipped.
    bus.SetVolume(0.5);
    bus.Mix(out, 4);
    EXPECT_EQ(out[0], 16617);  // 33234 / 2, no longer clipped
    EXPECT_EQ(out[1], -10000);
    bus.SetVolume(7);
    EXPECT_EQ(bus.Volume(), 1.0);
    bus.RemoveSource(b);
    bus.RemoveSource(c);
    EXPECT_EQ(bus.SourceCount(), 0u);
}

TEST(MixingBus, PauseAsksNoSourceAndEndedSourcesAreDropped) {
    MixingBus bus;
    int calls = 0;
    bus.AddSource(constant(5, 5, &calls));
    int left = 2;
    bus.AddSource([&left](int32_t* mix, size_t) {
        mix[0] += 100;
        return --left > 0;
    });
    int16_t out[4];
    bus.SetPaused(true);
    bus.Mix(out, 2);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(out[0], 0);
    bus.SetPaused(false);
    bus.Mix(out, 2);
    bus.Mix(out, 2);
    EXPECT_EQ(out[0], 105);
    EXPECT_EQ(bus.SourceCount(), 1u);
    bus.Mix(out, 2);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(calls, 3);
}

TEST(AudioDevice, OpensOnTheDummyDriverAndPullsTheBus) {
    auto dev = AudioDevice::Open(AudioBackend::Sdl);
    EXPECT_FALSE(dev->IsManual());
    EXPECT_EQ(dev->DriverName(), "dummy");
    EXPECT_EQ(dev->Frequency(), 44100);
    EXPECT_EQ(dev->Channels(), 2);
    EXPECT_EQ(dev->BitsPerSample(), 16);
    std::atomic<int> calls{0};
    int handle = dev->Bus().AddSource([&calls](int32_t*, size_t frames) {
        if (frames > 0) ++calls;
        return true;
    });
    // The dummy driver calls back from its own thread at the playing pace.
    WaitUntil([&] { return calls > 0; });
    EXPECT_GT(calls.load(), 0);
    dev->Bus().RemoveSource(handle);
    int seen = calls;
    SDL_Delay(50);
    EXPECT_EQ(calls.load(), seen);  // a removed source is never called again

    // With nothing to play the device's thread soon waits for work, not
    // for the next buffer's time (it woke every 23 ms before): seen there
    // on 50 polls in a row.
    int waiting = 0;
    EXPECT_TRUE(WaitUntil([&] {
        waiting = audio_thread_syscall() == SYS_futex ? waiting + 1 : 0;
        return waiting >= 50;
    }));
    // A new source wakes it, and closing a sleeping device does not wait.
    dev->Bus().AddSource([&calls](int32_t*, size_t) { return ++calls, true; });
    EXPECT_TRUE(WaitUntil([&] { return calls > seen; }));
    dev.reset();

    auto manual = AudioDevice::Open(AudioBackend::Manual);
    EXPECT_TRUE(manual->IsManual());
    EXPECT_EQ(manual->DriverName(), "");
}
