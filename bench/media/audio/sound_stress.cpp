// A game that makes, places, pauses, reads the COUNT of, changes the SOURCE
// of and stops 200 sounds over 20 large Oggs (5 to 64 MB, half with a page
// lost) at random, about 80 steps a second, each live sound asked
// whether it plays and has ended every frame, as the sound objects ask;
// frames paced at 16 ms, each timed as its own work. On both mixing paths
// (the module, and the software mixer), it reports the longest frame and
// the frames over 50 ms.
//
// The same game on the code of another build in the same run: this file,
// built beside the code to compare with, given as VORQ_OLD_SOUND_STRESS
// (the program's path); the row is skipped without it. For the code at
// 1dd959c, say:
//   git archive 1dd959c | tar -x -C /tmp/vorq-old
//   cp bench/media/audio/sound_stress.cpp /tmp/vorq-old/bench/media/audio/
//   cp bench/other_build.h /tmp/vorq-old/bench/
//   cmake -S /tmp/vorq-old -B /tmp/vorq-old/build -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build /tmp/vorq-old/build --target sound_stress
//   VORQ_OLD_SOUND_STRESS=/tmp/vorq-old/build/sound_stress build/sound_stress
#include "bench/other_build.h"
#include "media/audio/sound_items.h"
#include "media/base/media.h"
#include "media/base/media_managers.h"
#include "media/media_modules.h"
#include "platform/system/audio.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kSounds = 200;
constexpr int kFiles = 20;
constexpr int kSeconds = 20;
constexpr int kStepsPerSecond = 80;

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Made once and kept in /tmp between runs (a few minutes of encoding): four
// encodings of 100 to 1,300 s, each copied five times, every other copy with a page lost at a place of its
// own, so that no two files share their pages in the cache.
constexpr int kBaseSeconds[4] = {100, 400, 800, 1300};

std::vector<std::string> large_files() {
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = "/tmp/vorq_bench_stress_" + std::to_string(i) + ".ogg";
        paths.push_back(path);
        if (std::filesystem::exists(path)) continue;
        const std::string base = "/tmp/vorq_bench_stress_base_" + std::to_string(i % 4) + ".ogg";
        if (!std::filesystem::exists(base))
            std::system(("sox -n -r 44100 -c 2 -b 16 -t wav - synth " + std::to_string(kBaseSeconds[i % 4]) + " " +
                         std::string(i % 2 ? "pinknoise" : "whitenoise") + " vol 0.3 2>/dev/null | oggenc -Q -q 10 -s " +
                         std::to_string(i % 4 + 1) + " - -o " + base)
                            .c_str());
        std::string b = file_bytes(base);
        if (i % 2) {
            const size_t at = b.find("OggS", b.size() * size_t(i) / (kFiles + 1)), next = b.find("OggS", at + 4);
            b = b.substr(0, at) + b.substr(next);
        }
        std::ofstream(path, std::ios::binary) << b;
    }
    return paths;
}

struct Stress {
    double longest_ms = 0;
    int over_50ms = 0;
    int frames = 0;
    int steps = 0;
};

Stress play_stress(int64_t direct) {
    const std::vector<std::string> files = large_files();
    Stress r;
    // The software mixer opens a device of its own: SDL's silent one.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    auto device = AudioDevice::Open(AudioBackend::Manual);
    // The device's pull, 10 ms at a time in real time, as a sound card's.
    std::atomic<bool> done{false};
    std::thread pull([&] {
        std::vector<int16_t> out(441 * 2);
        for (auto at = Clock::now(); !done; at += std::chrono::milliseconds(10)) {
            device->Bus().Mix(out.data(), 441);
            std::this_thread::sleep_until(at + std::chrono::milliseconds(10));
        }
    });
    MediaUseDirectSound = direct != 0;
    LoadCompanionLibrary();
    InstallMediaManagers();
    LibrarySoundCell = device.get();
    InitMedia(nullptr, nullptr, TPoint{}, 0, 0, 0, 0);
    {
        std::mt19937 random(73);
        std::vector<TDMediaItem*> sounds(kSounds, nullptr);
        std::vector<int> seconds(kSounds, 0);
        TOggManager* m = OggManager();
        auto make = [&](int i) {
            try {
                const size_t f = random() % files.size();
                seconds[size_t(i)] = kBaseSeconds[f % 4];
                sounds[size_t(i)] = m->Add(files[f]);
                sounds[size_t(i)]->Play();
            } catch (...) {
                sounds[size_t(i)] = nullptr;
            }
        };
        auto stop = [&](int i) {
            m->Remove(sounds[size_t(i)]);
            sounds[size_t(i)] = nullptr;
        };
        const auto start = Clock::now();
        int64_t steps_due = 0;
        for (auto at = start; at - start < std::chrono::seconds(kSeconds); at += std::chrono::milliseconds(16)) {
            const auto a = Clock::now();
            steps_due = std::chrono::duration_cast<std::chrono::milliseconds>(a - start).count() * kStepsPerSecond / 1000;
            for (; r.steps < steps_due; ++r.steps) {
                const int i = int(random() % kSounds);
                TDMediaItem* s = sounds[size_t(i)];
                if (!s) {
                    make(i);
                    continue;
                }
                switch (random() % 5) {
                    case 0: s->SetPosition(int32_t(random() % (seconds[size_t(i)] * 1000))); break;
                    case 1: s->IsPaused() ? s->Play() : s->Pause(); break;
                    case 2: benchmark::DoNotOptimize(s->GetLength()); break;
                    case 3: stop(i), make(i); break;  // a new SOURCE
                    default: stop(i); break;
                }
            }
            for (TDMediaItem* s : sounds) {
                if (!s) continue;
                s->CheckEnd();
                s->IsPlaying();
            }
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - a).count();
            r.longest_ms = std::max(r.longest_ms, ms);
            r.over_50ms += ms > 50;
            ++r.frames;
            std::this_thread::sleep_until(at + std::chrono::milliseconds(16));
        }
        for (int i = 0; i < kSounds; ++i)
            if (sounds[size_t(i)]) stop(i);
    }
    FinalMedia();
    LibrarySoundCell = nullptr;
    done = true;
    pull.join();
    return r;
}

void report(benchmark::State& st, const Stress& r) {
    if (r.frames == 0) st.SkipWithError("the game did not run");
    st.counters["longest_frame_ms"] = r.longest_ms;
    st.counters["frames_over_50ms"] = r.over_50ms;
    st.counters["frames"] = r.frames;
    st.counters["steps"] = r.steps;
}

void BM_SoundStress(benchmark::State& st) { StressRow<Stress>(st, nullptr, report); }
void BM_SoundStressOld(benchmark::State& st) { StressRow<Stress>(st, "VORQ_OLD_SOUND_STRESS", report); }
}  // namespace

// Arg: 1 the module, 0 the software mixer. One run each: the game is long.
BENCHMARK(BM_SoundStress)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SoundStressOld)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) { return StressMain<Stress>(argc, argv, play_stress); }
