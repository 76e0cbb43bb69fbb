// Any PCM layout to the device's 44100 Hz 16-bit stereo: the converter of
// samples, and the decoder that hands another's sound through it.
#include "media/decode/pcm_decoder.h"

#include "media/decode/ffmpeg_convert.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

// Bytes at the device's 44100 Hz stereo of PCM bytes of a layout.
int64_t DeviceBytes(int64_t bytes, const TWaveFormatEx& f) {
    const int64_t frames = bytes / std::max<int64_t>(f.nBlockAlign, 1);
    const int64_t rate = std::max<int64_t>(f.nSamplesPerSec, 1);
    return (frames * 44100 + rate / 2) / rate * 4;
}

namespace {
class DeviceFormatDecoder : public PcmDecoder {
public:
    explicit DeviceFormatDecoder(std::unique_ptr<PcmDecoder> source)
        : FSource(std::move(source)), FConverter(FSource->Format()) {
        FFormat = MakePCMWaveFormat(44100, 16, 2);
    }

    int64_t Read(uint8_t* dst, int64_t bytes) override {
        bytes -= bytes % 4;
        int64_t done = 0;
        while (done < bytes) {
            if (FHeldAt < FHeld.size()) {
                const size_t n = std::min<size_t>((FHeld.size() - FHeldAt) * 2, size_t(bytes - done));
                std::memcpy(dst + done, FHeld.data() + FHeldAt, n);
                FHeldAt += n / 2;
                done += static_cast<int64_t>(n);
                continue;
            }
            if (!convert_more()) break;
        }
        FPos += done;
        return done;
    }
    bool Seek(int64_t byte_pos) override {
        const int64_t frame = std::max<int64_t>(byte_pos, 0) / 4;
        // The mixer sets its read position before every block: no seek,
        // and no new start of the resampler, when decoding stands there.
        if (frame * 4 == FPos) return true;
        const TWaveFormatEx& f = FSource->Format();
        if (!FSource->Seek(frame * f.nSamplesPerSec / 44100 * f.nBlockAlign)) return false;
        FConverter.Reset();
        FHeld.clear();
        FHeldAt = 0;
        FFlushed = false;
        FPos = frame * 4;
        return true;
    }
    int64_t Position() const override { return FPos; }
    // Asked of the source each time: an Ogg's length may become known or
    // exact while it plays.
    int64_t TotalBytes() const override { return DeviceBytes(FSource->TotalBytes(), FSource->Format()); }
    bool LengthSettled() const override { return FSource->LengthSettled(); }
    void LearnLength() override { FSource->LearnLength(); }
    bool SeekIsQuick(int64_t byte_pos) const override {
        const int64_t frame = std::max<int64_t>(byte_pos, 0) / 4;
        const TWaveFormatEx& f = FSource->Format();
        return frame * 4 == FPos || FSource->SeekIsQuick(frame * f.nSamplesPerSec / 44100 * f.nBlockAlign);
    }
    bool Waiting() const override { return FHeldAt >= FHeld.size() && FSource->Waiting(); }
    void Settle() override { FSource->Settle(); }
    void Cancel() override { FSource->Cancel(); }

private:
    // Converts the next piece of the source, about kPieceFrames at the
    // device's rate; at the end the resampler gives up the frames it still
    // holds. False once nothing more comes.
    bool convert_more() {
        FHeld.clear();
        FHeldAt = 0;
        if (FFlushed) return false;
        const TWaveFormatEx& f = FSource->Format();
        const int64_t frames = std::max<int64_t>(1, int64_t{kPieceFrames} * f.nSamplesPerSec / 44100);
        FRaw.resize(size_t(frames) * f.nBlockAlign);
        const int64_t got = FSource->Read(FRaw.data(), static_cast<int64_t>(FRaw.size()));
        if (got > 0) {
            FConverter.Convert(FRaw.data(), got, FHeld);
        } else if (FSource->Waiting()) {
            // Not the end: the source goes on once it has settled.
            return false;
        } else {
            FConverter.Flush(FHeld);
            FFlushed = true;
        }
        return true;
    }

    static constexpr int64_t kPieceFrames = 4096;
    std::unique_ptr<PcmDecoder> FSource;
    PcmConverter FConverter;
    std::vector<uint8_t> FRaw;
    std::vector<int16_t> FHeld;
    size_t FHeldAt = 0;  // samples of FHeld already read
    bool FFlushed = false;
    int64_t FPos = 0;
};
}  // namespace

std::unique_ptr<PcmDecoder> ConvertToDeviceFormat(std::unique_ptr<PcmDecoder> source) {
    return std::make_unique<DeviceFormatDecoder>(std::move(source));
}

// The converter of samples.

PcmConverter::PcmConverter(const TWaveFormatEx& from) : FFrom(from) {
    if (from.nSamplesPerSec == 44100 && from.nChannels == 2 && from.wBitsPerSample == 16) return;
    AVChannelLayout in_layout;
    av_channel_layout_default(&in_layout, from.nChannels);
    const AVSampleFormat in_fmt = from.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    FCtx = OpenStereoResampler(&in_layout, in_fmt, static_cast<int>(from.nSamplesPerSec));
    if (!FCtx) RaiseSoundDataCorrupt();
}

PcmConverter::~PcmConverter() {
    if (FCtx) swr_free(&FCtx);
}

void PcmConverter::Reset() {
    if (FCtx) swr_init(FCtx);
}

void PcmConverter::Convert(const uint8_t* in, int64_t in_bytes, std::vector<int16_t>& out) {
    const int align = FFrom.nBlockAlign ? FFrom.nBlockAlign : 4;
    const int frames = static_cast<int>(in_bytes / align);
    const size_t at = out.size();
    if (!FCtx) {
        out.resize(at + size_t(frames) * 2);
        std::memcpy(out.data() + at, in, size_t(frames) * 4);
        return;
    }
    const int out_max = swr_get_out_samples(FCtx, frames);
    if (out_max <= 0) return;
    out.resize(at + size_t(out_max) * 2);
    auto* dst = reinterpret_cast<uint8_t*>(out.data() + at);
    const int got = swr_convert(FCtx, &dst, out_max, &in, frames);
    out.resize(at + size_t(std::max(got, 0)) * 2);
}

void PcmConverter::Flush(std::vector<int16_t>& out) {
    if (!FCtx) return;
    const int out_max = swr_get_out_samples(FCtx, 0);
    if (out_max <= 0) return;
    const size_t at = out.size();
    out.resize(at + size_t(out_max) * 2);
    auto* dst = reinterpret_cast<uint8_t*>(out.data() + at);
    const int got = swr_convert(FCtx, &dst, out_max, nullptr, 0);
    out.resize(at + size_t(std::max(got, 0)) * 2);
}

