// The Ogg decoder's seek, guarded by a look at the file's pages before the
// first one, against libvorbisfile's own ov_pcm_seek on the same file in
// memory (20 s of pink noise, at about the bit rate of music): the first
// seek after opening, and seeks that follow.
#include "media/decode/pcm_decoder.h"
#include "platform/stream.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr int64_t kFrames = 20 * 44100;

const std::vector<char>& ogg_bytes() {
    static const std::vector<char> bytes = [] {
        const std::string wav = "/tmp/vorq_bench_seek_noise.wav", ogg = "/tmp/vorq_bench_seek_noise.ogg";
        std::system(("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 20 pinknoise vol 0.3 2>/dev/null && "
                     "oggenc -Q -q 3 -o " + ogg + " " + wav).c_str());
        std::ifstream in(ogg, std::ios::binary);
        return std::vector<char>{std::istreambuf_iterator<char>(in), {}};
    }();
    return bytes;
}

// Frames spread over the file, never the same twice in a row.
int64_t target(int64_t i) { return (i * 7919 * 113) % (kFrames - 44100); }

struct GuardedOgg {
    TMemoryStream stream;
    std::unique_ptr<PcmDecoder> decoder;
    GuardedOgg() {
        stream.WriteBuffer(ogg_bytes().data(), static_cast<int64_t>(ogg_bytes().size()));
        decoder = OpenVorbisDecoder(stream);
    }
};

struct PlainOgg {
    OggVorbis_File vf{};
    bool open = false;
    PlainOgg() {
        FILE* f = fmemopen(const_cast<char*>(ogg_bytes().data()), ogg_bytes().size(), "rb");
        open = f && ov_open(f, &vf, nullptr, 0) == 0;
    }
    ~PlainOgg() {
        if (open) ov_clear(&vf);
    }
};

void BM_GuardedFirstSeek(benchmark::State& st) {
    int64_t i = 0;
    for (auto _ : st) {
        GuardedOgg g;
        benchmark::DoNotOptimize(g.decoder->Seek(target(++i) * 4));
    }
}

void BM_PlainFirstSeek(benchmark::State& st) {
    int64_t i = 0;
    for (auto _ : st) {
        PlainOgg p;
        if (!p.open) {
            st.SkipWithError("ov_open");
            break;
        }
        benchmark::DoNotOptimize(ov_pcm_seek(&p.vf, target(++i)));
    }
}

void BM_GuardedSeek(benchmark::State& st) {
    GuardedOgg g;
    int64_t i = 0;
    for (auto _ : st) benchmark::DoNotOptimize(g.decoder->Seek(target(++i) * 4));
}

void BM_PlainSeek(benchmark::State& st) {
    PlainOgg p;
    int64_t i = 0;
    for (auto _ : st) benchmark::DoNotOptimize(ov_pcm_seek(&p.vf, target(++i)));
}
}  // namespace

BENCHMARK(BM_GuardedFirstSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFirstSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GuardedSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
