// The sound path's hot spots against the libraries' own: one block of the
// software mixer with 16 sources against SDL_MixAudioFormat adding the same
// 16 buffers, and Ogg decoding through our stream callbacks over an archive
// entry against libvorbisfile reading the same file by itself.
#include "files/big_stream.h"
#include "media/companion/companion.h"
#include "media/audio/sound_items.h"
#include "media/audio/wav_out.h"
#include "platform/filesystem/stream.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include <cstring>
#include <memory>
#include <vector>

namespace {
constexpr int kSources = 16;
constexpr int kBlockMs = 100;

std::vector<int16_t> noise(size_t samples, uint32_t seed) {
    std::vector<int16_t> v(samples);
    for (auto& s : v) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(seed >> 16);
    }
    return v;
}

void BM_WavOutMixBlock16(benchmark::State& st) {
    TWavOut out(kBlockMs, TWavOut::Options{AudioBackend::Manual, false, {}});
    out.Open();
    std::vector<std::unique_ptr<TMemoryStream>> streams;
    for (int i = 0; i < kSources; ++i) {
        auto pcm = noise(size_t(out.BlockBytes()) / 2 * 4, 7u + i);
        auto s = std::make_unique<TMemoryStream>();
        s->WriteBuffer(pcm.data(), static_cast<int64_t>(pcm.size() * 2));
        TWavBuffer* b = out.AddBuffer(MakePCMWaveFormat(44100, 16, 2), s.get());
        b->SetAutoRepeat(true);
        b->SetVolume(200);
        b->Play();
        streams.push_back(std::move(s));
    }
    std::vector<int16_t> block(size_t(out.BlockBytes()) / 2);
    for (auto _ : st) {
        out.MixBlock(block.data());
        benchmark::DoNotOptimize(block.data());
    }
    st.SetBytesProcessed(st.iterations() * int64_t{out.BlockBytes()} * kSources);
}

void BM_SdlMixAudioFormat16(benchmark::State& st) {
    const size_t bytes = size_t(WavBlockBytes(kBlockMs));
    std::vector<std::vector<int16_t>> srcs;
    for (int i = 0; i < kSources; ++i) srcs.push_back(noise(bytes / 2, 7u + i));
    std::vector<int16_t> block(bytes / 2);
    for (auto _ : st) {
        std::memset(block.data(), 0, bytes);
        for (auto& s : srcs)
            SDL_MixAudioFormat(reinterpret_cast<Uint8*>(block.data()), reinterpret_cast<const Uint8*>(s.data()),
                               AUDIO_S16SYS, static_cast<Uint32>(bytes), 100);
        benchmark::DoNotOptimize(block.data());
    }
    st.SetBytesProcessed(st.iterations() * int64_t(bytes) * kSources);
}
// A longer piece than the test tone, so that set-up does not dominate.
const std::string& ogg_file() {
    static const std::string path = [] {
        const std::string wav = "/tmp/vorq_bench_tone.wav", ogg = "/tmp/vorq_bench_tone.ogg";
        std::system(("sox -n -r 44100 -c 2 -b 16 " + wav + " synth 20 sine 440 sine 660 vol 0.5 2>/dev/null && "
                     "oggenc -Q -q 3 -o " + ogg + " " + wav).c_str());
        return ogg;
    }();
    return path;
}

// The file as an archive entry: a window inside a bigger file.
const std::string& archive_file(int64_t& start, int64_t& size) {
    static int64_t s0 = 0, n0 = 0;
    static const std::string path = [] {
        std::ifstream in(ogg_file(), std::ios::binary);
        std::vector<char> ogg{std::istreambuf_iterator<char>(in), {}};
        const std::string out = "/tmp/vorq_bench_archive.dat";
        std::ofstream f(out, std::ios::binary);
        std::vector<char> pad(12345, 'x');
        f.write(pad.data(), static_cast<std::streamsize>(pad.size()));
        f.write(ogg.data(), static_cast<std::streamsize>(ogg.size()));
        f.write(pad.data(), static_cast<std::streamsize>(pad.size()));
        s0 = static_cast<int64_t>(pad.size());
        n0 = static_cast<int64_t>(ogg.size());
        return out;
    }();
    start = s0;
    size = n0;
    return path;
}

void BM_OggThroughCallbacksOverArchiveEntry(benchmark::State& st) {
    int64_t start = 0, size = 0;
    const std::string& archive = archive_file(start, size);
    vorqInit(nullptr, nullptr, nullptr, nullptr, StreamGetSizeCallback, StreamReadCallback, StreamGetPositionCallback,
             StreamSeekCallback, nullptr, nullptr, 0);
    std::vector<char> buf(65536);
    int64_t total = 0;
    for (auto _ : st) {
        TFileRangeStream entry(archive, size, start);
        TOggStream pcm(&entry, true);
        int64_t got;
        while ((got = pcm.Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0) total += got;
    }
    st.SetBytesProcessed(total);
    vorqFinal();
}

void BM_OggThroughOvFopen(benchmark::State& st) {
    const std::string& file = ogg_file();
    std::vector<char> buf(65536);
    int64_t total = 0;
    for (auto _ : st) {
        OggVorbis_File vf;
        if (ov_fopen(file.c_str(), &vf) != 0) {
            st.SkipWithError("ov_fopen");
            break;
        }
        int section = 0;
        long got;
        while ((got = ov_read(&vf, buf.data(), static_cast<int>(buf.size()), 0, 2, 1, &section)) > 0) total += got;
        ov_clear(&vf);
    }
    st.SetBytesProcessed(total);
}
}  // namespace

BENCHMARK(BM_OggThroughCallbacksOverArchiveEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OggThroughOvFopen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavOutMixBlock16);
BENCHMARK(BM_SdlMixAudioFormat16);
BENCHMARK_MAIN();
