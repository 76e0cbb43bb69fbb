// The frame loop as the player runs it (headless video, real clock):
//  - pacing of an empty scene whose project asks for sleeping between
//    frames: mean and spread of the frame period over 600 frames (the goal
//    is 16 ms within 1 ms);
//  - time from the main window's creation to the first presented frame of
//    the demo game (the goal is under 200 ms).
#include "bench/bench_game.h"
#include "shell/form_view.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// A game of one page that waits for ever over an empty scene.
std::string empty_game() {
    TPageWriter w;
    w.Wait("100000000");
    return WriteBenchGame("empty_game", w);
}

void reset_engine() {
    Terminating = false;
    GameClock = FrameTime = FrameCount = 0;
}

void BM_EmptySceneFramePacing(benchmark::State& st) {
    const std::string game = empty_game();
    double mean = 0, spread = 0, worst = 0;
    for (auto _ : st) {
        reset_engine();
        FormViewUnitStart();
        {
            TFormView view({game}, Video::Create(VideoBackend::Headless));
            view.FormCreate();
            std::vector<Clock::time_point> marks;
            marks.reserve(601);
            uint32_t last = FrameCount;
            while (marks.size() < 601) {
                view.ApplicationEventsIdle();
                if (FrameCount != last) {
                    last = FrameCount;
                    marks.push_back(Clock::now());
                }
            }
            double sum = 0, sq = 0;
            worst = 0;
            for (size_t i = 1; i < marks.size(); ++i) {
                const double d = ms_between(marks[i - 1], marks[i]);
                sum += d;
                sq += d * d;
                worst = std::max(worst, d);
            }
            mean = sum / 600;
            spread = std::sqrt(std::max(0.0, sq / 600 - mean * mean));
        }
        FormViewUnitFinish();
    }
    st.counters["period_mean_ms"] = mean;
    st.counters["period_stddev_ms"] = spread;
    st.counters["period_max_ms"] = worst;
}

void BM_DemoStartToFirstFrame(benchmark::State& st) {
    // The build puts the demo beside the benchmark programs.
    const std::string demo = ExeFolder() + "demo/";
    std::vector<double> times;
    for (auto _ : st) {
        reset_engine();
        FormViewUnitStart();
        {
            const Clock::time_point start = Clock::now();
            TFormView view({demo}, Video::Create(VideoBackend::Headless));
            view.FormCreate();
            const uint32_t presents = view.Window().PresentCount();
            while (view.PresentedFrames == 0 && !Terminating) view.ApplicationEventsIdle();
            const Clock::time_point first = Clock::now();
            if (view.Window().PresentCount() == presents) st.SkipWithError("the first frame presented nothing");
            times.push_back(ms_between(start, first));
        }
        FormViewUnitFinish();
    }
    double sum = 0;
    for (double t : times) sum += t;
    st.counters["first_frame_ms"] = times.empty() ? 0 : sum / double(times.size());
}

}  // namespace

BENCHMARK(BM_EmptySceneFramePacing)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoStartToFirstFrame)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
