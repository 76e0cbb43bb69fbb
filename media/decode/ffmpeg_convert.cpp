#include "media/decode/ffmpeg_convert.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

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

bool ResamplerSource::Takes(const AVFrame& frame) const {
    return frame.format == Format && frame.ch_layout.nb_channels == Channels &&
           (frame.sample_rate == 0 || frame.sample_rate == Rate) && frame.nb_samples > 0;
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
