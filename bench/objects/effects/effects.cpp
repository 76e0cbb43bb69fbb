// Cost of the effect kinds' per-frame work. Goal: a fire step at 320x240
// under 0.5 ms; the peer is one plain pass over the same bytes, the least any
// per-cell simulation must pay.
#include <benchmark/benchmark.h>

#include <numeric>
#include <vector>

#include "files/number_text.h"
#include "objects/effects/fire.h"

static void BM_FireStep320x240(benchmark::State& state) {
    RandSeed() = 1;
    FireField f;
    f.SetIntensity(4.5);
    f.Reset(320, 240);
    for (auto _ : state) {
        f.Step();
        benchmark::DoNotOptimize(f.Pixels());
    }
}
BENCHMARK(BM_FireStep320x240);

static void BM_PeerPlainPass320x240(benchmark::State& state) {
    std::vector<uint8_t> v(320 * 240, 16);
    for (auto _ : state) {
        for (size_t i = 0; i + 1 < v.size(); ++i) v[i] = uint8_t(v[i] + v[i + 1]);
        benchmark::DoNotOptimize(v.data());
    }
}
BENCHMARK(BM_PeerPlainPass320x240);

BENCHMARK_MAIN();
