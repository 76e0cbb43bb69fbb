// The decoder of Windows Media audio, through FFmpeg.
#include "media/decode/pcm_decoder.h"

#include "media/decode/ffmpeg_convert.h"
#include "media/decode/ffmpeg_io.h"
#include "platform/exception.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

namespace {
class MediaDecoder : public PcmDecoder {
public:
    explicit MediaDecoder(std::vector<uint8_t> data) : FInput(std::move(data)) {
        FFormat = MakePCMWaveFormat(44100, 16, 2);
        FFmt = avformat_alloc_context();
        if (!FFmt || !FInput.Context()) fail();
        FFmt->pb = FInput.Context();
        if (avformat_open_input(&FFmt, nullptr, nullptr, nullptr) < 0) {
            FFmt = nullptr;
            fail();
        }
        if (avformat_find_stream_info(FFmt, nullptr) < 0) fail();
        const AVCodec* codec = nullptr;
        FIndex = av_find_best_stream(FFmt, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (FIndex < 0 || !codec) fail();
        FCodec = avcodec_alloc_context3(codec);
        if (!FCodec || avcodec_parameters_to_context(FCodec, FFmt->streams[FIndex]->codecpar) < 0 ||
            avcodec_open2(FCodec, codec, nullptr) < 0)
            fail();
        if (!FResampler.Open(FCodec->ch_layout, FCodec->sample_fmt, FCodec->sample_rate)) fail();
        FPacket = av_packet_alloc();
        FFrame = av_frame_alloc();
        if (FFmt->duration > 0)
            FTotal = av_rescale(std::min<int64_t>(FFmt->duration, kMaxSoundMs * 1000), 44100, AV_TIME_BASE) * 4;
    }
    ~MediaDecoder() override { release(); }

    int64_t Read(uint8_t* dst, int64_t bytes) override {
        bytes -= bytes % 4;
        int64_t done = 0;
        while (done < bytes) {
            if (FHeadPos < FHeld.size()) {
                const size_t n = std::min<size_t>(FHeld.size() - FHeadPos, size_t(bytes - done));
                std::memcpy(dst + done, FHeld.data() + FHeadPos, n);
                FHeadPos += n;
                done += static_cast<int64_t>(n);
                continue;
            }
            if (!decode_more()) break;
        }
        FPos += done;
        return done;
    }
    bool Seek(int64_t byte_pos) override {
        const int64_t frame = std::max<int64_t>(byte_pos, 0) / 4;
        AVStream* st = FFmt->streams[FIndex];
        const int64_t ts = av_rescale_q(frame, AVRational{1, 44100}, st->time_base);
        if (av_seek_frame(FFmt, FIndex, ts, AVSEEK_FLAG_BACKWARD) < 0 && frame != 0) return false;
        if (frame == 0 && av_seek_frame(FFmt, FIndex, 0, AVSEEK_FLAG_BACKWARD) < 0) {
            avio_seek(FInput.Context(), 0, SEEK_SET);
            avformat_seek_file(FFmt, -1, INT64_MIN, 0, INT64_MAX, 0);
        }
        avcodec_flush_buffers(FCodec);
        FResampler.Reset();
        FHeld.clear();
        FHeadPos = 0;
        FFrameAt = FFrameLen = 0;
        FEof = false;
        FFlushed = false;
        FPos = frame * 4;
        // Decoding restarts at a packet before the target: drop up to it.
        FSkipUntil = frame * 4;
        FDecodedPos = -1;
        return true;
    }
    int64_t Position() const override { return FPos; }
    int64_t TotalBytes() const override { return FTotal; }

private:
    [[noreturn]] void fail() {
        release();
        RaiseSoundDataCorrupt();
    }
    void release() {
        if (FFrame) av_frame_free(&FFrame);
        if (FPacket) av_packet_free(&FPacket);
        if (FCodec) avcodec_free_context(&FCodec);
        if (FFmt) avformat_close_input(&FFmt);
    }
    // Decodes until some samples are held or the data ends.
    bool decode_more() {
        FHeld.clear();
        FHeadPos = 0;
        for (;;) {
            if (FFrameAt < FFrameLen) {
                append_piece();
                if (!FHeld.empty()) return true;
                continue;
            }
            if (FEof && !FDraining) {
                // The resampler still holds the last samples' tail.
                if (!FFlushed) {
                    FFlushed = true;
                    flush_resampler();
                    if (!FHeld.empty()) return true;
                }
                break;
            }
            int r = avcodec_receive_frame(FCodec, FFrame);
            if (r == 0) {
                if (FResampler.Take(*FFrame)) {
                    FFrameAt = 0;
                    FFrameLen = FFrame->nb_samples;
                }
                continue;
            }
            if (r == AVERROR_EOF) {
                FEof = true;
                FDraining = false;
                break;
            }
            if (r != AVERROR(EAGAIN)) {
                FEof = true;
                break;
            }
            if (FDraining) break;
            r = av_read_frame(FFmt, FPacket);
            if (r < 0) {
                avcodec_send_packet(FCodec, nullptr);
                FDraining = true;
                FEof = true;
                continue;
            }
            if (FPacket->stream_index == FIndex) {
                if (FDecodedPos < 0 && FPacket->pts != AV_NOPTS_VALUE)
                    FDecodedPos = av_rescale_q(FPacket->pts, FFmt->streams[FIndex]->time_base, AVRational{1, 44100}) * 4;
                avcodec_send_packet(FCodec, FPacket);  // damaged packets are skipped by the codec
            }
            av_packet_unref(FPacket);
        }
        return !FHeld.empty();
    }
    void flush_resampler() {
        const int out_max = FResampler.OutFrames(0);
        if (out_max <= 0) return;
        FHeld.resize(size_t(out_max) * 4);
        const int got = FResampler.Convert(nullptr, 0, FHeld.data(), out_max);
        FHeld.resize(size_t(std::max(got, 0)) * 4);
    }
    // Converts the next piece of the frame held: a long frame at a low rate
    // grows many times over, so it is never converted whole at once.
    void append_piece() {
        const auto fmt = static_cast<AVSampleFormat>(FFrame->format);
        const int channels = FFrame->ch_layout.nb_channels;
        const bool planar = av_sample_fmt_is_planar(fmt) != 0;
        const size_t step = size_t(av_get_bytes_per_sample(fmt)) * (planar ? 1 : size_t(channels));
        const int n = std::min(FFrameLen - FFrameAt, kPieceSamples);
        FIn.resize(planar ? size_t(channels) : 1);
        for (size_t p = 0; p < FIn.size(); ++p) FIn[p] = FFrame->extended_data[p] + size_t(FFrameAt) * step;
        FFrameAt += n;
        const int out_max = FResampler.OutFrames(n);
        if (out_max <= 0) return;
        const size_t at = FHeld.size();
        FHeld.resize(at + size_t(out_max) * 4);
        const int got = FResampler.Convert(FIn.data(), n, FHeld.data() + at, out_max);
        FHeld.resize(at + size_t(std::max(got, 0)) * 4);
        if (FSkipUntil > 0) {
            if (FDecodedPos < 0) FDecodedPos = 0;
            const int64_t have = static_cast<int64_t>(FHeld.size() - at);
            const int64_t drop = std::clamp<int64_t>(FSkipUntil - FDecodedPos, 0, have);
            FHeld.erase(FHeld.begin() + static_cast<std::ptrdiff_t>(at),
                        FHeld.begin() + static_cast<std::ptrdiff_t>(at + size_t(drop)));
            FDecodedPos += have;
            if (FDecodedPos >= FSkipUntil) FSkipUntil = 0;
        }
    }

    FfmpegInput FInput;
    AVFormatContext* FFmt = nullptr;
    AVCodecContext* FCodec = nullptr;
    FrameResampler FResampler;
    AVPacket* FPacket = nullptr;
    AVFrame* FFrame = nullptr;
    int FIndex = -1;
    static constexpr int kPieceSamples = 4096;
    std::vector<uint8_t> FHeld;
    size_t FHeadPos = 0;
    std::vector<const uint8_t*> FIn;
    int FFrameAt = 0;   // samples of FFrame converted
    int FFrameLen = 0;  // samples of FFrame; 0 when none is held
    bool FEof = false;
    bool FFlushed = false;
    bool FDraining = false;
    int64_t FPos = 0;
    int64_t FTotal = 0;
    int64_t FSkipUntil = 0;
    int64_t FDecodedPos = -1;
};
}  // namespace

std::unique_ptr<PcmDecoder> OpenMediaDecoder(std::vector<uint8_t> data) {
    return std::make_unique<MediaDecoder>(std::move(data));
}
