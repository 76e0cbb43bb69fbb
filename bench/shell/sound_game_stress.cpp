// A game that makes, places (INDEX), pauses, reads the COUNT of, changes the
// SOURCE of, stops and fades out 200 sound objects over 20 large Oggs (5 to
// 64 MB, half with a page lost) at random, about 80 steps a second for a
// minute, played by the real frame loop (headless video, the sound device
// pulled in real time by SDL's silent driver). On both mixing paths (the
// module, and the software mixer), it reports the longest frame and the
// frames over 50 and over 500 ms, for the frames over 50 ms how much of
// their time the game's thread waited for a core (the machine: other
// programs) or was blocked beyond the frame's own sleep (the player waiting
// on something), and the longest it was blocked so in any frame.
//
// The same game on the code of another build in the same run: this file,
// built beside the code to compare with, given as VORQ_OLD_SOUND_GAME_STRESS
// (the program's path); the row is skipped without it. For the code at
// 1bc73e8, say:
//   git worktree add /tmp/vorq-old 1bc73e8
//   cp bench/shell/sound_game_stress.cpp /tmp/vorq-old/bench/shell/
//   cp bench/other_build.h /tmp/vorq-old/bench/
//   cmake -S /tmp/vorq-old -B /tmp/vorq-old/build -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build /tmp/vorq-old/build --target sound_game_stress
//   VORQ_OLD_SOUND_GAME_STRESS=/tmp/vorq-old/build/sound_game_stress build/sound_game_stress
// The Oggs are those of the media-level stress (sound_stress), made once in
// /tmp by it: run that first.
#include "bench/bench_game.h"
#include "bench/other_build.h"
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "shell/form_view.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {
constexpr int kSounds = 200;
constexpr int kFiles = 20;
// Four steps a loop, a loop every 48 ms of the game's clock.
constexpr int kLoops = 1250;

struct Stress {
    double longest_ms = 0;
    int over_50ms = 0;
    int over_500ms = 0;
    int frames = 0;
    // Of the frames over 50 ms, in ms: all of it, and the game thread's
    // time on a core and waiting for one.
    double long_ms = 0, long_cpu_ms = 0, long_queued_ms = 0;
    // The longest the game thread was blocked in a frame beyond the frame's
    // own sleep (at most a frame period): waiting for something of ours.
    double longest_blocked_ms = 0;
};

// The frame loop sleeps what is left of this after a frame's work.
constexpr double kFramePeriodMs = 16;

// The game thread's time on a core and waiting in the run queue, in ns.
struct ThreadTimes {
    double cpu = 0, queued = 0;
};
ThreadTimes thread_times() {
    ThreadTimes t;
    std::ifstream in("/proc/thread-self/schedstat");
    in >> t.cpu >> t.queued;
    return t;
}

std::string stress_file(int i) { return "/tmp/vorq_bench_stress_" + std::to_string(i) + ".ogg"; }

std::string file_expr() {
    return "\"f\" ++ IntToStr(Random(" + std::to_string(kFiles) + ")) ++ \".ogg\"";
}

std::string stress_game() {
    TPageWriter w;
    for (int id : {PR_NAME, PR_SOURCE, PR_INDEX}) w.SetMask(opSound, id);
    const std::string name = "\"s\" ++ IntToStr(k)";
    w.VarNew("k", PT_INT, "0");
    w.VarNew("r", PT_INT, "0");
    w.VarNew("c", PT_INT, "0");
    w.VarNew("j", PT_INT, "0");
    w.VarNew("n", PT_INT, "0");
    w.WhileInit("n = 0");
    w.While("n < " + std::to_string(kLoops));
    w.Indent = 1;
    w.WhileInit("j = 0");
    w.While("j < 4");
    w.Indent = 2;
    w.Calc("k = Random(" + std::to_string(kSounds) + ")");
    // One of these at random each step.
    const std::vector<std::function<void()>> steps = {
        // A new sound, or one replacing the sound of its name.
        [&] { w.Component(opSound, {{PR_NAME, name}, {PR_SOURCE, file_expr()}, {PR_INDEX, "Random(100000)"}}); },
        [&] { w.SetProp(name, std::to_string(PR_INDEX), "Random(1000000)"); },
        [&] { w.SetProp(name, std::to_string(PR_PAUSED), "Random(2)"); },
        [&] { w.GetProp(name, std::to_string(PR_COUNT), "c"); },
        [&] { w.SetProp(name, std::to_string(PR_SOURCE), file_expr()); },
        [&] { w.MovieStop(name, "0"); },
        [&] { w.MovieStop(name, "300"); },
    };
    w.Calc("r = Random(" + std::to_string(steps.size()) + ")");
    for (size_t i = 0; i < steps.size(); ++i) {
        w.Indent = 2;
        if (i == 0) w.If("r == 0");
        else if (i + 1 < steps.size()) w.Elseif("r == " + std::to_string(i));
        else w.Else();
        w.Indent = 3;
        steps[i]();
    }
    w.Indent = 2;
    w.EndWhile("j = j + 1");
    w.Indent = 1;
    w.Wait("48");
    w.EndWhile("n = n + 1");
    w.Indent = 0;
    w.Terminate();
    const std::string folder = WriteBenchGame("sound_game_stress", w);
    // The game's own files, as a game has them: links to the shared ones.
    for (int i = 0; i < kFiles; ++i) {
        const std::string to = folder + "f" + std::to_string(i) + ".ogg";
        std::error_code e;
        std::filesystem::remove(to, e);
        std::filesystem::create_hard_link(stress_file(i), to, e);
        if (e) std::filesystem::copy_file(stress_file(i), to, e);
    }
    return folder;
}

Stress play_stress(int64_t direct) {
    Stress r;
    for (int i = 0; i < kFiles; ++i)
        if (!std::filesystem::exists(stress_file(i))) return r;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const std::string game = stress_game();
    SoundEnabled = direct != 0;
    ThreadTimes before = thread_times();
    PlayFrames(game, [&](double ms) {
        const ThreadTimes now = thread_times();
        r.longest_ms = std::max(r.longest_ms, ms);
        ++r.frames;
        r.over_500ms += ms > 500;
        const double cpu = (now.cpu - before.cpu) / 1e6, queued = (now.queued - before.queued) / 1e6;
        r.longest_blocked_ms = std::max(r.longest_blocked_ms, ms - cpu - queued - kFramePeriodMs);
        if (ms > 50) {
            ++r.over_50ms;
            r.long_ms += ms;
            r.long_cpu_ms += cpu;
            r.long_queued_ms += queued;
        }
        before = now;
        return true;
    });
    return r;
}

void report(benchmark::State& st, const Stress& r) {
    if (r.frames == 0) st.SkipWithError("the game did not run (are the Oggs of sound_stress in /tmp?)");
    st.counters["longest_frame_ms"] = r.longest_ms;
    st.counters["frames_over_50ms"] = r.over_50ms;
    st.counters["frames_over_500ms"] = r.over_500ms;
    st.counters["frames"] = r.frames;
    // Of the long frames' time: the share spent waiting for a core, and
    // the share the game thread was blocked.
    const double all = std::max(r.long_ms, 1e-9);
    st.counters["long_queued_share"] = r.long_queued_ms / all;
    st.counters["long_blocked_share"] =
        std::max(0.0, r.long_ms - r.long_cpu_ms - r.long_queued_ms - r.over_50ms * kFramePeriodMs) / all;
    st.counters["longest_blocked_ms"] = r.longest_blocked_ms;
}

void BM_SoundGameStress(benchmark::State& st) { StressRow<Stress>(st, nullptr, report); }
void BM_SoundGameStressOld(benchmark::State& st) { StressRow<Stress>(st, "VORQ_OLD_SOUND_GAME_STRESS", report); }
}  // namespace

// Arg: 1 the module, 0 the software mixer. One run each: the game is long.
BENCHMARK(BM_SoundGameStress)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SoundGameStressOld)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) { return StressMain<Stress>(argc, argv, play_stress); }
