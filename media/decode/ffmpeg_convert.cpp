#include "media/decode/ffmpeg_convert.h"

#include "media/decode/pcm_decoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

namespace {
// Rows padded to whole 64-pixel blocks and one spare row: more than the
// widest block any of swscale's SIMD writers stores at once.
constexpr int kPadPixels = 64;
constexpr int kAlign = 64;
}  // namespace

BgraConverter::BgraConverter(int width, int height) : FWidth(width), FHeight(height) {
    if (width <= 0 || height <= 0) return;
    FStride = (width + kPadPixels - 1) / kPadPixels * kPadPixels * 4;
    FBuffer = static_cast<uint8_t*>(av_malloc(size_t(FStride) * size_t(height + 1) + kAlign));
}

BgraConverter::~BgraConverter() {
    if (FSws) sws_freeContext(FSws);
    av_free(FBuffer);
}

bool BgraConverter::Convert(const AVFrame* frame, uint32_t* out) {
    if (!FBuffer || frame->width != FWidth || frame->height != FHeight) return false;
    FSws = sws_getCachedContext(FSws, FWidth, FHeight, static_cast<AVPixelFormat>(frame->format), FWidth, FHeight,
                                AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!FSws) return false;
    uint8_t* dst[4] = {FBuffer, nullptr, nullptr, nullptr};
    int stride[4] = {FStride, 0, 0, 0};
    if (sws_scale(FSws, frame->data, frame->linesize, 0, FHeight, dst, stride) != FHeight) return false;
    const size_t row = size_t(FWidth) * 4;
    for (int y = 0; y < FHeight; ++y) std::memcpy(out + size_t(y) * size_t(FWidth), FBuffer + size_t(y) * size_t(FStride), row);
    return true;
}

SwrContext* OpenStereoResampler(const AVChannelLayout* in_layout, int in_format, int in_rate) {
    SwrContext* swr = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    // Older FFmpeg takes the layout as non-const; it is only read.
    if (swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, 44100, const_cast<AVChannelLayout*>(in_layout),
                            static_cast<AVSampleFormat>(in_format), in_rate, 0, nullptr) < 0) {
        swr_free(&swr);
        return nullptr;
    }
    if (in_layout->nb_channels == 1) {
        // Kept by swr_init, also when a seek initialises the context again.
        const double to_both[2] = {1.0, 1.0};
        if (swr_set_matrix(swr, to_both, 1) < 0) {
            swr_free(&swr);
            return nullptr;
        }
    }
    if (swr_init(swr) < 0) {
        swr_free(&swr);
        return nullptr;
    }
    return swr;
}

FrameResampler::FrameResampler() : FLayout(new AVChannelLayout{}) {}

FrameResampler::~FrameResampler() {
    if (FSwr) swr_free(&FSwr);
    av_channel_layout_uninit(FLayout);
    delete FLayout;
}

bool FrameResampler::Open(const AVChannelLayout& layout, int format, int rate) {
    if (rate < kMinSampleRate || rate > kMaxSampleRate || layout.nb_channels <= 0 ||
        av_get_bytes_per_sample(static_cast<AVSampleFormat>(format)) <= 0)
        return false;
    SwrContext* swr = OpenStereoResampler(&layout, format, rate);
    if (!swr) return false;
    AVChannelLayout copy{};
    if (av_channel_layout_copy(&copy, &layout) < 0) {
        swr_free(&swr);
        return false;
    }
    if (FSwr) {
        const int held = swr_get_out_samples(FSwr, 0);
        if (held > 0) {
            const size_t at = FTail.size();
            FTail.resize(at + size_t(held) * 4);
            uint8_t* out = FTail.data() + at;
            const int got = swr_convert(FSwr, &out, held, nullptr, 0);
            FTail.resize(at + size_t(std::max(got, 0)) * 4);
        }
        swr_free(&FSwr);
    }
    FSwr = swr;
    av_channel_layout_uninit(FLayout);
    *FLayout = copy;
    FFormat = format;
    FRate = rate;
    return true;
}

bool FrameResampler::Take(const AVFrame& frame) {
    if (!FSwr || frame.nb_samples <= 0) return false;
    const int rate = frame.sample_rate > 0 ? frame.sample_rate : FRate;
    if (frame.format == FFormat && rate == FRate && av_channel_layout_compare(&frame.ch_layout, FLayout) == 0)
        return true;
    return Open(frame.ch_layout, frame.format, rate);
}

int FrameResampler::OutFrames(int n) const {
    if (!FSwr) return 0;
    return static_cast<int>(FTail.size() / 4) + std::max(swr_get_out_samples(FSwr, n), 0);
}

int FrameResampler::Convert(const uint8_t* const* in, int n, uint8_t* out, int out_max) {
    if (!FSwr || out_max <= 0) return 0;
    const int tail = std::min(out_max, static_cast<int>(FTail.size() / 4));
    if (tail > 0) {
        std::memcpy(out, FTail.data(), size_t(tail) * 4);
        FTail.erase(FTail.begin(), FTail.begin() + std::ptrdiff_t(tail) * 4);
        out += size_t(tail) * 4;
    }
    // swresample only reads the input planes.
    const int got = swr_convert(FSwr, &out, out_max - tail, const_cast<const uint8_t**>(in), n);
    return tail + std::max(got, 0);
}

void FrameResampler::Reset() {
    if (FSwr) swr_init(FSwr);
    FTail.clear();
}
