// CompressStream / DecompressStream on 1 MiB against zlib's own one-shot
// compress2 (level 1) and uncompress on the same bytes. Goal: within 1.1x.
#include "files/packing.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <vector>

namespace {
constexpr size_t kSize = 1 << 20;

// Text-like data with repetition, as scripts and tables in archives are.
std::vector<uint8_t> sample() {
    std::vector<uint8_t> v;
    v.reserve(kSize);
    uint32_t x = 12345;
    char line[64];
    while (v.size() < kSize) {
        x = x * 1103515245u + 12345u;
        int n = std::snprintf(line, sizeof line, "image\\bg%03u.tes\t%u\t%u\n", (x >> 8) % 1000, x % 640, (x >> 16) % 480);
        v.insert(v.end(), line, line + n);
    }
    v.resize(kSize);
    return v;
}

std::vector<uint8_t> packed(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> out(compressBound(plain.size()));
    uLongf n = out.size();
    compress2(out.data(), &n, plain.data(), plain.size(), 1);
    out.resize(n);
    return out;
}

void BM_CompressStream(benchmark::State& st) {
    const auto plain = sample();
    for (auto _ : st) {
        TMemoryStream m;
        m.Write(plain.data(), static_cast<int64_t>(plain.size()));
        CompressStream(m);
        benchmark::DoNotOptimize(m.Memory());
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kSize));
}

void BM_Zlib_compress2(benchmark::State& st) {
    const auto plain = sample();
    for (auto _ : st) {
        // Same copy-in as the stream case, so only the packing differs.
        std::vector<uint8_t> in(plain);
        std::vector<uint8_t> out(compressBound(in.size()));
        uLongf n = out.size();
        compress2(out.data(), &n, in.data(), in.size(), 1);
        benchmark::DoNotOptimize(out.data());
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kSize));
}

void BM_DecompressStream(benchmark::State& st) {
    const auto z = packed(sample());
    for (auto _ : st) {
        TMemoryStream m;
        m.Write(z.data(), static_cast<int64_t>(z.size()));
        DecompressStream(m);
        benchmark::DoNotOptimize(m.Memory());
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kSize));
}

void BM_Zlib_uncompress(benchmark::State& st) {
    const auto z = packed(sample());
    for (auto _ : st) {
        std::vector<uint8_t> in(z);
        std::vector<uint8_t> out(kSize);  // uncompress is told the size; the stream is not
        uLongf n = out.size();
        uncompress(out.data(), &n, in.data(), in.size());
        benchmark::DoNotOptimize(out.data());
    }
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations() * kSize));
}
}  // namespace

BENCHMARK(BM_CompressStream)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Zlib_compress2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecompressStream)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Zlib_uncompress)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
