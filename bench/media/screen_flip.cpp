// Presenting a 640x480 frame through the screen manager on the headless
// backend: a few dirty rectangles and the whole picture, from a 32-bit
// screen surface (copied as it is) and from a 16-bit one (widened to the
// window's 32-bit pixels on the way).
#include "media/base/screen_manager.h"
#include "tests/support/scripted_video.h"

#include <benchmark/benchmark.h>

namespace {
void flip(benchmark::State& st, uint32_t bits, bool whole) {
    ScriptedVideo v;
    v.Desktop = {1024, 768, bits, 60};
    v.CreateWindow(640, 502, "");
    TScreenManager m(&v, 640, 480, 640, 480);
    m.SetViewOrigin(0, 22);
    m.Surface()->FillRect({0, 0, 640, 480}, static_cast<uint32_t>(m.Surface()->ColorToPixel(0x336699)));
    const TRect rects[] = {{10, 10, 110, 60}, {300, 200, 500, 260}, {0, 400, 640, 480}};
    TClipList dirty;
    for (auto _ : st) {
        for (const TRect& r : rects) dirty.AddRect(r);
        m.Flip({whole ? TRect{0, 0, 640, 480} : TRect{}, 100, &dirty, nullptr});
    }
    benchmark::DoNotOptimize(v.ReadPixels()[22 * 640]);
}

void BM_FlipDirty32(benchmark::State& st) { flip(st, 32, false); }
void BM_FlipWhole32(benchmark::State& st) { flip(st, 32, true); }
void BM_FlipDirty16(benchmark::State& st) { flip(st, 16, false); }
void BM_FlipWhole16(benchmark::State& st) { flip(st, 16, true); }
}  // namespace

BENCHMARK(BM_FlipDirty32);
BENCHMARK(BM_FlipWhole32);
BENCHMARK(BM_FlipDirty16);
BENCHMARK(BM_FlipWhole16);
BENCHMARK_MAIN();
