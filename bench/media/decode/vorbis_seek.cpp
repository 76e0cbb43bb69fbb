// The Ogg decoder's seek, guarded by a look at the file's pages when it
// opens, against libvorbisfile's own ov_pcm_seek on the same file in
// memory (20 s of pink noise, at about the bit rate of music): the first
// seek after opening, and seeks that follow. Then the first seek on two
// large files, an hour at 8 kHz in 112,503 small pages and 17 MB at the
// highest quality, read through the game's file stream and from memory,
// each against ov_pcm_seek on the same file.
#include "files/big_stream.h"
#include "media/decode/pcm_decoder.h"
#include "platform/filesystem/stream.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// The large files, made once and kept in /tmp between runs.
struct LargeOgg {
    const char* path;
    const char* make;  // the command that writes it
};
const LargeOgg kHour = {"/tmp/vorq_bench_hour_8k.ogg",
                        "sox -n -r 8000 -c 1 -b 16 -t wav - synth 3600 pinknoise vol 0.3 2>/dev/null | "
                        "ffmpeg -v error -y -f wav -i - -c:a libvorbis -page_duration 1000 "};
const LargeOgg kQ10 = {"/tmp/vorq_bench_q10.ogg",
                       "sox -n -r 44100 -c 2 -b 16 -t wav - synth 380 pinknoise vol 0.3 2>/dev/null | "
                       "oggenc -Q -q 10 - -o "};

std::string large_path(const LargeOgg& f) {
    if (!std::filesystem::exists(f.path)) std::system((std::string(f.make) + f.path).c_str());
    return f.path;
}

int64_t large_frames(const LargeOgg& f) {
    OggVorbis_File vf{};
    if (ov_fopen(large_path(f).c_str(), &vf) != 0) return 0;
    const int64_t frames = ov_pcm_total(&vf, -1);
    ov_clear(&vf);
    return frames;
}

// Opens the file through the stream and seeks once, to a place that moves
// on every pass.
void first_seek(benchmark::State& st, const LargeOgg& f, bool from_memory) {
    const int64_t frames = large_frames(f);
    TMemoryStream memory;
    if (from_memory) memory.LoadFromFile(large_path(f));
    int64_t i = 0;
    for (auto _ : st) {
        std::unique_ptr<TStream> file;
        if (!from_memory) file = std::make_unique<TFileRangeStream>(large_path(f), 0, 0);
        TStream& s = from_memory ? static_cast<TStream&>(memory) : *file;
        auto d = OpenVorbisDecoder(s);
        const int64_t to = (++i * 7919 * 113) % frames;
        if (!d->Seek(to * d->Format().nBlockAlign)) {
            st.SkipWithError("seek refused");
            break;
        }
    }
}

void plain_first_seek(benchmark::State& st, const LargeOgg& f) {
    const int64_t frames = large_frames(f);
    int64_t i = 0;
    for (auto _ : st) {
        OggVorbis_File vf{};
        if (ov_fopen(large_path(f).c_str(), &vf) != 0) {
            st.SkipWithError("ov_fopen");
            break;
        }
        benchmark::DoNotOptimize(ov_pcm_seek(&vf, (++i * 7919 * 113) % frames));
        ov_clear(&vf);
    }
}

void BM_HourFirstSeekFileStream(benchmark::State& st) { first_seek(st, kHour, false); }
void BM_HourFirstSeekMemory(benchmark::State& st) { first_seek(st, kHour, true); }
void BM_HourFirstSeekPlain(benchmark::State& st) { plain_first_seek(st, kHour); }
void BM_Q10FirstSeekFileStream(benchmark::State& st) { first_seek(st, kQ10, false); }
void BM_Q10FirstSeekMemory(benchmark::State& st) { first_seek(st, kQ10, true); }
void BM_Q10FirstSeekPlain(benchmark::State& st) { plain_first_seek(st, kQ10); }
}  // namespace

BENCHMARK(BM_GuardedFirstSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFirstSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GuardedSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainSeek)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HourFirstSeekFileStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HourFirstSeekMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HourFirstSeekPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Q10FirstSeekFileStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Q10FirstSeekMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Q10FirstSeekPlain)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
