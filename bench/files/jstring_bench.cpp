// JPos and JFetchToken on texts made of double-byte characters whose bytes
// defeat naive scanning: every byte in the lead range, or every trail byte a
// backslash. Time per text should grow linearly with its size.
#include "files/jstring.h"

#include "platform/text/codepage.h"

#include <benchmark/benchmark.h>

namespace {

// "so" (0x83 0x5C) repeated: a backslash on every trail byte.
std::string trail_backslashes(size_t n) {
    std::string s;
    while (s.size() + 2 <= n) s += "\x83\x5C";
    return s;
}

// 0x81 0x81 repeated: one unbroken run of lead-range bytes.
std::string lead_run(size_t n) {
    return std::string(n & ~size_t(1), '\x81');
}

void BM_JPos_TrailHits(benchmark::State& st) {
    const std::string s = trail_backslashes(st.range(0)) + "\\";
    for (auto _ : st) benchmark::DoNotOptimize(JPos("\\", s));
    st.SetBytesProcessed(st.iterations() * s.size());
}

void BM_JPos_LeadRun(benchmark::State& st) {
    const std::string s = lead_run(st.range(0)) + "A";
    for (auto _ : st) benchmark::DoNotOptimize(JPos("A", s));
    st.SetBytesProcessed(st.iterations() * s.size());
}

void BM_JFetchToken_LeadRun(benchmark::State& st) {
    const std::string src = lead_run(st.range(0)) + ",tail";
    std::string s, tok;
    for (auto _ : st) {
        s = src;
        JFetchToken(s, ",", tok);
        benchmark::DoNotOptimize(tok.data());
    }
    st.SetBytesProcessed(st.iterations() * src.size());
}

void BM_JFetchToken_TrailHits(benchmark::State& st) {
    const std::string src = trail_backslashes(st.range(0)) + "\\tail";
    std::string s, tok;
    for (auto _ : st) {
        s = src;
        JFetchToken(s, "\\", tok);
        benchmark::DoNotOptimize(tok.data());
    }
    st.SetBytesProcessed(st.iterations() * src.size());
}

// For comparison: asking JIsTrailByte at every byte before looking at it,
// which rescans the lead run behind it each time (quadratic).
void BM_JFetchToken_PerByteTrailTest(benchmark::State& st) {
    const std::string src = lead_run(st.range(0)) + ",tail";
    for (auto _ : st) {
        size_t found = 0;
        for (size_t i = 0; i < src.size(); ++i) {
            if (!JIsTrailByte(src, static_cast<int>(i + 1)) && src[i] == ',') {
                found = i;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    st.SetBytesProcessed(st.iterations() * src.size());
}

}  // namespace

BENCHMARK(BM_JPos_TrailHits)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(BM_JPos_LeadRun)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(BM_JFetchToken_LeadRun)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(BM_JFetchToken_TrailHits)->RangeMultiplier(4)->Range(1 << 10, 1 << 16);
BENCHMARK(BM_JFetchToken_PerByteTrailTest)->RangeMultiplier(4)->Range(1 << 10, 1 << 14);

BENCHMARK_MAIN();
