// Copying a composed 640x480 frame into the window's client image, whole and
// as a few dirty rectangles, on the headless backend (the SDL backend adds
// the texture upload on top).
#include "platform/display/video.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {
void BM_UpdateWholeFrame(benchmark::State& st) {
    auto v = Video::Create(VideoBackend::Headless);
    v->CreateWindow(640, 502, "");
    std::vector<uint32_t> frame(640 * 480, 0x123456);
    for (auto _ : st) {
        v->Update(frame.data(), 640, 480, 640, 0, 22);
        v->Present();
    }
    st.SetBytesProcessed(st.iterations() * frame.size() * 4);
}

void BM_UpdateDirtyRects(benchmark::State& st) {
    auto v = Video::Create(VideoBackend::Headless);
    v->CreateWindow(640, 502, "");
    std::vector<uint32_t> frame(640 * 480, 0x123456);
    const TRect rects[] = {{10, 10, 110, 60}, {300, 200, 500, 260}, {0, 400, 640, 480}};
    for (auto _ : st) {
        v->Update(frame.data(), 640, 480, 640, 0, 22, rects, 3);
        v->Present();
    }
}
}  // namespace

BENCHMARK(BM_UpdateWholeFrame);
BENCHMARK(BM_UpdateDirtyRects);
BENCHMARK_MAIN();
