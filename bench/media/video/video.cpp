// Decoding plus conversion of 640x480 WMV2 frames, and our scaler against
// SDL's own YUV conversion on the same frame.
#include "media/decode/video_decoder.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480;

// ffmpeg is a build dependency; the clip is made once per run.
std::vector<uint8_t> make_file(const std::string& path, const std::string& args) {
    const std::string cmd = "ffmpeg -v error -y " + args + " " + path;
    if (std::system(cmd.c_str()) != 0) std::abort();
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

const std::vector<uint8_t>& clip() {
    static const auto data =
        make_file("/tmp/vorq_bench_640.wmv", "-f lavfi -i testsrc2=s=640x480:r=25:d=2 -c:v wmv2 -b:v 1500k");
    return data;
}
const std::vector<uint8_t>& yuv_frame() {
    static const auto data =
        make_file("/tmp/vorq_bench_640.yuv", "-f lavfi -i testsrc2=s=640x480:r=25:d=0.04 -f rawvideo -pix_fmt yuv420p");
    return data;
}

void BM_WmvDecodeAndConvert(benchmark::State& state) {
    const auto& data = clip();
    auto dec = std::make_unique<VideoDecoder>(data);
    for (auto _ : state) {
        if (!dec->NextFrame()) {
            state.PauseTiming();
            dec = std::make_unique<VideoDecoder>(data);
            state.ResumeTiming();
            dec->NextFrame();
        }
        benchmark::DoNotOptimize(dec->Pixels());
    }
}
BENCHMARK(BM_WmvDecodeAndConvert)->Unit(benchmark::kMillisecond);

void BM_SwsScaleFrame(benchmark::State& state) {
    const auto& yuv = yuv_frame();
    std::vector<uint32_t> out(kW * kH);
    SwsContext* sws = sws_getContext(kW, kH, AV_PIX_FMT_YUV420P, kW, kH, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr,
                                     nullptr, nullptr);
    const uint8_t* src[4] = {yuv.data(), yuv.data() + kW * kH, yuv.data() + kW * kH * 5 / 4, nullptr};
    const int src_stride[4] = {kW, kW / 2, kW / 2, 0};
    uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(out.data()), nullptr, nullptr, nullptr};
    const int dst_stride[4] = {kW * 4, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(sws, src, src_stride, 0, kH, dst, dst_stride);
        benchmark::DoNotOptimize(out.data());
    }
    sws_freeContext(sws);
}
BENCHMARK(BM_SwsScaleFrame)->Unit(benchmark::kMicrosecond);

// The peer: SDL's conversion of the same planar frame to 32-bit pixels.
void BM_SdlConvertPixelsFrame(benchmark::State& state) {
    const auto& yuv = yuv_frame();
    std::vector<uint32_t> out(kW * kH);
    for (auto _ : state) {
        if (SDL_ConvertPixels(kW, kH, SDL_PIXELFORMAT_IYUV, yuv.data(), kW, SDL_PIXELFORMAT_ARGB8888, out.data(),
                              kW * 4) != 0)
            state.SkipWithError("SDL_ConvertPixels failed");
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SdlConvertPixelsFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
