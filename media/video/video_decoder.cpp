#include "media/video/video_decoder.h"

#include "platform/codepage.h"
#include "platform/exception.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

const char* const kVideoDataCorrupt = "動画データが不正です";
const char* const kVideoFormatUnsupported = "動画の形式に対応していません";

namespace {
constexpr int kIoBuffer = 32768;
// Frames beyond this are refused before any buffer is sized by them.
constexpr int kMaxSide = 8192;
}  // namespace

VideoDecoder::VideoDecoder(std::vector<uint8_t> data) : FData(std::move(data)) {
    const char* failure = kVideoDataCorrupt;
    auto fail = [&](const char* msg) {
        release();
        throw ECorruptData(Sjis(msg));
    };
    // Damaged files are expected input here; the decoder's own chatter
    // about concealed blocks would only flood the terminal.
    av_log_set_level(AV_LOG_FATAL);
    FFmt = avformat_alloc_context();
    auto* buf = static_cast<uint8_t*>(av_malloc(kIoBuffer));
    FIo = buf ? avio_alloc_context(buf, kIoBuffer, 0, this, &VideoDecoder::read_packet, nullptr, &VideoDecoder::seek)
              : nullptr;
    if (!FIo && buf) av_free(buf);
    if (!FFmt || !FIo) fail(failure);
    FFmt->pb = FIo;
    if (avformat_open_input(&FFmt, nullptr, nullptr, nullptr) < 0) {
        FFmt = nullptr;
        fail(failure);
    }
    if (avformat_find_stream_info(FFmt, nullptr) < 0) fail(failure);
    FIndex = av_find_best_stream(FFmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (FIndex < 0) fail(kVideoFormatUnsupported);
    const AVCodecParameters* par = FFmt->streams[FIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) fail(kVideoFormatUnsupported);
    FCodec = avcodec_alloc_context3(codec);
    if (!FCodec || avcodec_parameters_to_context(FCodec, par) < 0) fail(failure);
    FCodec->thread_count = 1;
    if (avcodec_open2(FCodec, codec, nullptr) < 0) fail(kVideoFormatUnsupported);
    FWidth = FCodec->width;
    FHeight = FCodec->height;
    if (FWidth <= 0 || FHeight <= 0 || FWidth > kMaxSide || FHeight > kMaxSide) fail(failure);
    FHasAudio = av_find_best_stream(FFmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    if (FFmt->duration > 0) FLengthMs = av_rescale(FFmt->duration, 1000, AV_TIME_BASE);
    FPacket = av_packet_alloc();
    FFrame = av_frame_alloc();
    if (!FPacket || !FFrame) fail(failure);
    FPixels.assign(size_t(FWidth) * size_t(FHeight), 0);
}

VideoDecoder::~VideoDecoder() { release(); }

void VideoDecoder::release() {
    if (FSws) sws_freeContext(FSws), FSws = nullptr;
    if (FFrame) av_frame_free(&FFrame);
    if (FPacket) av_packet_free(&FPacket);
    if (FCodec) avcodec_free_context(&FCodec);
    if (FFmt) avformat_close_input(&FFmt);
    if (FIo) {
        av_freep(&FIo->buffer);
        avio_context_free(&FIo);
    }
}

int VideoDecoder::read_packet(void* self, uint8_t* buf, int size) {
    auto* d = static_cast<VideoDecoder*>(self);
    const size_t left = d->FData.size() - std::min(d->FIoPos, d->FData.size());
    const size_t n = std::min(left, size_t(std::max(size, 0)));
    if (n == 0) return AVERROR_EOF;
    std::memcpy(buf, d->FData.data() + d->FIoPos, n);
    d->FIoPos += n;
    return static_cast<int>(n);
}

int64_t VideoDecoder::seek(void* self, int64_t offset, int whence) {
    auto* d = static_cast<VideoDecoder*>(self);
    const int64_t size = static_cast<int64_t>(d->FData.size());
    if (whence & AVSEEK_SIZE) return size;
    int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<int64_t>(d->FIoPos); break;
    case SEEK_END: base = size; break;
    default: return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > size) return -1;
    d->FIoPos = static_cast<size_t>(target);
    return target;
}

// Takes one decoded frame when the decoder has one, converting it.
bool VideoDecoder::receive() {
    if (avcodec_receive_frame(FCodec, FFrame) < 0) return false;
    bool ok = FFrame->width == FWidth && FFrame->height == FHeight;
    if (ok) {
        FSws = sws_getCachedContext(FSws, FWidth, FHeight, static_cast<AVPixelFormat>(FFrame->format), FWidth, FHeight,
                                    AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        ok = FSws != nullptr;
    }
    if (ok) {
        uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(FPixels.data()), nullptr, nullptr, nullptr};
        int stride[4] = {FWidth * 4, 0, 0, 0};
        sws_scale(FSws, FFrame->data, FFrame->linesize, 0, FHeight, dst, stride);
        const int64_t pts = FFrame->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE) {
            const AVStream* st = FFmt->streams[FIndex];
            int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            FFrameMs = std::max<int64_t>(0, av_rescale_q(pts - start, st->time_base, AVRational{1, 1000}));
        }
    }
    av_frame_unref(FFrame);
    // A frame whose size changed mid-stream is damage: the video ends there.
    if (!ok) FDone = true;
    return ok;
}

bool VideoDecoder::NextFrame() {
    while (!FDone) {
        if (receive()) return true;
        if (FDone) break;
        if (FDraining) {
            FDone = true;
            break;
        }
        const int r = av_read_frame(FFmt, FPacket);
        if (r < 0) {
            FDraining = true;
            avcodec_send_packet(FCodec, nullptr);
            continue;
        }
        if (FPacket->stream_index == FIndex) {
            // A packet the decoder rejects is skipped; the next key frame
            // brings the picture back.
            avcodec_send_packet(FCodec, FPacket);
        }
        av_packet_unref(FPacket);
    }
    return false;
}
