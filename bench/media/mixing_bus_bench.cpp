// The audio thread's work per buffer: the bus calls its sources, then scales
// and clips the sum to 16 bits. A 1024-frame buffer lasts 23 ms at 44100 Hz.
#include "platform/system/audio.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {
void BM_MixSources(benchmark::State& st) {
    MixingBus bus;
    const int sources = static_cast<int>(st.range(0));
    for (int s = 0; s < sources; ++s)
        bus.AddSource([s](int32_t* mix, size_t frames) {
            for (size_t i = 0; i < frames * 2; ++i) mix[i] += static_cast<int32_t>((i * 37 + s * 11) & 0x7FFF) - 0x4000;
            return true;
        });
    bus.SetVolume(0.8);
    std::vector<int16_t> out(1024 * 2);
    for (auto _ : st) {
        bus.Mix(out.data(), 1024);
        benchmark::DoNotOptimize(out.data());
    }
    st.SetItemsProcessed(st.iterations() * 1024);
}
}  // namespace

BENCHMARK(BM_MixSources)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK_MAIN();
