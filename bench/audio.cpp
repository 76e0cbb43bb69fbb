// The sound path's hot spots against the libraries' own: one block of the
// software mixer with 16 sources against SDL_MixAudioFormat adding the same
// 16 buffers, and Ogg decoding through our stream callbacks over an archive
// entry against libvorbisfile reading the same file by itself.
#include "media/audio/wav_out.h"
#include "platform/stream.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

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
}  // namespace

BENCHMARK(BM_WavOutMixBlock16);
BENCHMARK(BM_SdlMixAudioFormat16);
BENCHMARK_MAIN();
