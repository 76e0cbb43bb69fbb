#include "media/decode/video_decoder.h"

#include "media/decode/ffmpeg_convert.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cstring>

const char* const kVideoDataCorrupt = "動画データが不正です";
const char* const kVideoFormatUnsupported = "動画の形式に対応していません";

namespace {
// Frames beyond this are refused before any buffer is sized by them.
constexpr int kMaxSide = 8192;
constexpr int kRate = 44100;
}  // namespace

VideoDecoder::VideoDecoder(std::vector<uint8_t> data, bool with_audio)
    : FInput(std::make_unique<FfmpegInput>(std::move(data))), FWithAudio(with_audio) {
    open();
}

VideoDecoder::VideoDecoder(TStream& stream, bool with_audio)
    : FInput(std::make_unique<FfmpegInput>(stream)), FWithAudio(with_audio) {
    open();
}

void VideoDecoder::open() {
    auto fail = [&](const char* msg) {
        release();
        throw ECorruptData(Sjis(msg));
    };
    FFmt = avformat_alloc_context();
    if (!FFmt || !FInput->Context()) fail(kVideoDataCorrupt);
    FFmt->pb = FInput->Context();
    if (avformat_open_input(&FFmt, nullptr, nullptr, nullptr) < 0) {
        FFmt = nullptr;
        fail(kVideoDataCorrupt);
    }
    if (avformat_find_stream_info(FFmt, nullptr) < 0) fail(kVideoDataCorrupt);
    FIndex = av_find_best_stream(FFmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (FIndex < 0) fail(kVideoFormatUnsupported);
    const AVCodecParameters* par = FFmt->streams[FIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) fail(kVideoFormatUnsupported);
    FCodec = avcodec_alloc_context3(codec);
    if (!FCodec || avcodec_parameters_to_context(FCodec, par) < 0) fail(kVideoDataCorrupt);
    FCodec->thread_count = 1;
    if (avcodec_open2(FCodec, codec, nullptr) < 0) fail(kVideoFormatUnsupported);
    FWidth = FCodec->width;
    FHeight = FCodec->height;
    if (FWidth <= 0 || FHeight <= 0 || FWidth > kMaxSide || FHeight > kMaxSide) fail(kVideoDataCorrupt);
    FAudioIndex = av_find_best_stream(FFmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    FHasAudio = FAudioIndex >= 0;
    if (FFmt->duration > 0) FLengthMs = av_rescale(FFmt->duration, 1000, AV_TIME_BASE);
    FPacket = av_packet_alloc();
    FFrame = av_frame_alloc();
    if (!FPacket || !FFrame) fail(kVideoDataCorrupt);
    FPixels.assign(size_t(FWidth) * size_t(FHeight), 0);
    FConverter = std::make_unique<BgraConverter>(FWidth, FHeight);
    if (FWithAudio && FHasAudio) open_audio();
}

void VideoDecoder::open_audio() {
    const AVCodecParameters* par = FFmt->streams[FAudioIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    bool ok = codec && (FAudioCodec = avcodec_alloc_context3(codec)) != nullptr &&
              avcodec_parameters_to_context(FAudioCodec, par) >= 0 && avcodec_open2(FAudioCodec, codec, nullptr) >= 0 &&
              FResampler.Open(FAudioCodec->ch_layout, FAudioCodec->sample_fmt, FAudioCodec->sample_rate);
    if (!ok && FAudioCodec) avcodec_free_context(&FAudioCodec);
}

VideoDecoder::~VideoDecoder() { release(); }

void VideoDecoder::release() {
    FConverter.reset();
    if (FFrame) av_frame_free(&FFrame);
    if (FPacket) av_packet_free(&FPacket);
    if (FAudioCodec) avcodec_free_context(&FAudioCodec);
    if (FCodec) avcodec_free_context(&FCodec);
    if (FFmt) avformat_close_input(&FFmt);
}

// Takes one decoded frame when the decoder has one, converting it.
bool VideoDecoder::receive() {
    if (avcodec_receive_frame(FCodec, FFrame) < 0) return false;
    const bool ok = FConverter->Convert(FFrame, FPixels.data());
    if (ok) {
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

// Converts every sound frame the sound decoder holds.
void VideoDecoder::receive_sound() {
    while (avcodec_receive_frame(FAudioCodec, FFrame) >= 0) {
        if (FSoundStart < 0) {
            // The first sound after the start or a seek says where it lies.
            const AVStream* st = FFmt->streams[FAudioIndex];
            const int64_t pts = FFrame->best_effort_timestamp;
            const int64_t start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            FSoundStart = pts != AV_NOPTS_VALUE
                              ? std::max<int64_t>(0, av_rescale_q(pts - start, st->time_base, AVRational{1, kRate}))
                              : 0;
        }
        const int out_max = FResampler.Take(*FFrame) ? FResampler.OutFrames(FFrame->nb_samples) : 0;
        if (out_max > 0) {
            const size_t at = FSound.size();
            FSound.resize(at + size_t(out_max) * 2);
            const int got = FResampler.Convert(FFrame->extended_data, FFrame->nb_samples,
                                               reinterpret_cast<uint8_t*>(FSound.data() + at), out_max);
            FSound.resize(at + size_t(std::max(got, 0)) * 2);
        }
        av_frame_unref(FFrame);
    }
}

void VideoDecoder::TakeSound() {
    if (FSoundStart >= 0) FSoundStart += static_cast<int64_t>(FSound.size() / 2);
    FSound.clear();
}

VideoDecoder::Step VideoDecoder::Advance() {
    if (FDone) return Step::End;
    if (receive()) return Step::Frame;
    if (FDone) return Step::End;
    if (FDraining) {
        FDone = true;
        return Step::End;
    }
    if (av_read_frame(FFmt, FPacket) < 0) {
        FDraining = true;
        avcodec_send_packet(FCodec, nullptr);
        if (FAudioCodec) {
            avcodec_send_packet(FAudioCodec, nullptr);
            receive_sound();
            return Step::Audio;
        }
        return Step::More;
    }
    Step result = Step::More;
    if (FPacket->stream_index == FIndex) {
        // A packet the decoder rejects is skipped; the next key frame
        // brings the picture back.
        avcodec_send_packet(FCodec, FPacket);
    } else if (FAudioCodec && FPacket->stream_index == FAudioIndex) {
        if (avcodec_send_packet(FAudioCodec, FPacket) >= 0) {
            receive_sound();
            result = Step::Audio;
        }
    }
    av_packet_unref(FPacket);
    return result;
}

bool VideoDecoder::NextFrame() {
    for (;;) {
        const Step s = Advance();
        if (s == Step::Frame) return true;
        if (s == Step::End) return false;
    }
}

bool VideoDecoder::Seek(int64_t ms) {
    const int64_t ts = av_rescale(std::max<int64_t>(ms, 0), AV_TIME_BASE, 1000);
    const int64_t start = FFmt->start_time != AV_NOPTS_VALUE ? FFmt->start_time : 0;
    if (avformat_seek_file(FFmt, -1, INT64_MIN, start + ts, start + ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(FFmt, -1, start + ts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(FCodec);
    if (FAudioCodec) {
        avcodec_flush_buffers(FAudioCodec);
        FResampler.Reset();
    }
    FSound.clear();
    FSoundStart = -1;
    FDraining = false;
    FDone = false;
    return true;
}
