#include "media/decode/pcm_decoder.h"

#include "files/field_reader.h"
#include "media/decode/ffmpeg_convert.h"
#include "media/decode/ffmpeg_io.h"
#include "media/decode/ogg_pages.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <vorbis/vorbisfile.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <memory>

const char* const kSoundDataCorrupt = "サウンドデータが不正です";

namespace {
[[noreturn]] void corrupt() { throw ECorruptData(Sjis(kSoundDataCorrupt)); }

// ---- Ogg Vorbis

// Bytes of PCM in frames of a layout, bounded like every length.
int64_t pcm_bytes(int64_t frames, const TWaveFormatEx& f) {
    return frames > 0 ? std::min<int64_t>(frames, kMaxSoundMs * f.nSamplesPerSec / 1000) * f.nBlockAlign : 0;
}

// Bytes at the device's 44100 Hz stereo of PCM bytes of a layout.
int64_t device_bytes(int64_t bytes, const TWaveFormatEx& f) {
    const int64_t frames = bytes / std::max<int64_t>(f.nBlockAlign, 1);
    const int64_t rate = std::max<int64_t>(f.nSamplesPerSec, 1);
    return (frames * 44100 + rate / 2) / rate * 4;
}

bool playable(const vorbis_info* info) {
    return info && info->channels >= 1 && info->channels <= 2 && info->rate >= 1000 && info->rate <= 192000;
}

// What libvorbisfile is shown of a stream: its good pages, joined, or the
// whole stream when they are not sound.
class OggView {
public:
    OggView(TStream& s, std::vector<OggSpan> spans) : FStream(s), FSpans(std::move(spans)) {
        int64_t at = 0;
        for (const OggSpan& span : FSpans) {
            FStarts.push_back(at);
            at += span.End - span.Begin;
        }
    }
    // Up to n bytes from place at of the view.
    int64_t Read(int64_t at, void* dst, int64_t n) {
        auto i = static_cast<size_t>(std::upper_bound(FStarts.begin(), FStarts.end(), at) - FStarts.begin());
        if (i-- == 0) return 0;
        int64_t done = 0;
        for (; done < n && i < FSpans.size(); ++i) {
            const int64_t from = FSpans[i].Begin + (at + done - FStarts[i]);
            const int64_t want = std::min(n - done, FSpans[i].End - from);
            if (want <= 0) continue;
            if (FStream.GetPosition() != from && FStream.Seek(from, SeekOrigin::Beginning) != from) break;
            const int64_t got = FStream.Read(static_cast<uint8_t*>(dst) + done, want);
            if (got > 0) done += got;
            if (got != want) break;
        }
        return done;
    }

private:
    TStream& FStream;
    std::vector<OggSpan> FSpans;
    std::vector<int64_t> FStarts;  // of each span in the view
};

// What one libvorbisfile handle reads: bytes [Begin, End) of a view, the
// whole or one link of a chain, with a place of its own, so that decoders
// of two links, or a look at the pages, share the stream.
struct OggWindow {
    std::shared_ptr<OggView> View;
    int64_t Begin = 0;
    int64_t End = 0;
    int64_t Pos = 0;  // from Begin
};

size_t ov_read_cb(void* ptr, size_t size, size_t nmemb, void* source) {
    auto* w = static_cast<OggWindow*>(source);
    const int64_t want = std::min<int64_t>(static_cast<int64_t>(size * nmemb), w->End - w->Begin - w->Pos);
    if (size == 0 || want <= 0) return 0;
    const int64_t got = w->View->Read(w->Begin + w->Pos, ptr, want);
    if (got <= 0) return 0;
    w->Pos += got;
    return static_cast<size_t>(got) / size;
}

int ov_seek_cb(void* source, ogg_int64_t offset, int whence) {
    auto* w = static_cast<OggWindow*>(source);
    int64_t base = 0;
    if (whence == SEEK_CUR) base = w->Pos;
    else if (whence == SEEK_END) base = w->End - w->Begin;
    const int64_t target = base + offset;
    // A place past the end is refused, whatever the stream would allow:
    // over damaged pages libvorbisfile's search never ends when such seeks
    // succeed and read nothing.
    if (target < 0 || target > w->End - w->Begin) return -1;
    w->Pos = target;
    return 0;
}

long ov_tell_cb(void* source) { return static_cast<long>(static_cast<OggWindow*>(source)->Pos); }

// One libvorbisfile handle over a window.
class VorbisDecoder : public PcmDecoder {
public:
    explicit VorbisDecoder(OggWindow window) : FWindow(std::move(window)) {
        const ov_callbacks cb{ov_read_cb, ov_seek_cb, nullptr, ov_tell_cb};
        if (ov_open_callbacks(&FWindow, &FVf, nullptr, 0, cb) != 0) corrupt();
        const vorbis_info* info = ov_info(&FVf, -1);
        if (!playable(info)) {
            ov_clear(&FVf);
            corrupt();
        }
        FFormat = MakePCMWaveFormat(static_cast<int32_t>(info->rate), 16, info->channels);
        FTotal = pcm_bytes(ov_pcm_total(&FVf, -1), FFormat);
    }
    ~VorbisDecoder() override { ov_clear(&FVf); }

    int64_t Read(uint8_t* dst, int64_t bytes) override {
        if (FEnded) return 0;
        bytes -= bytes % FFormat.nBlockAlign;
        int64_t done = 0;
        int holes = 0;
        while (done < bytes) {
            int section = 0;
            const long got = ov_read(&FVf, reinterpret_cast<char*>(dst + done),
                                     static_cast<int>(std::min<int64_t>(bytes - done, 1 << 20)), 0, 2, 1, &section);
            if (got == OV_HOLE) {
                FDamaged = true;
                if (++holes < 8) continue;
                break;
            }
            if (got < 0) {
                // Damage past which nothing more is read: the library's
                // state is not to be trusted again, not even by a seek.
                FDamaged = FEnded = true;
                break;
            }
            if (got == 0) break;
            // A chain that is not sound is read as it lies, never sought:
            // a link in another layout than the one heard is left out.
            if (section != FSection) {
                FSection = section;
                const vorbis_info* info = ov_info(&FVf, section);
                FOtherLayout = !info || info->channels != FFormat.nChannels || info->rate != FFormat.nSamplesPerSec;
            }
            if (!FOtherLayout) done += got;
        }
        FPos += done;
        return done;
    }
    // Only over good pages that make a sound link, and only while the
    // library has reported no damage.
    bool Seek(int64_t byte_pos) override {
        const int64_t frame = std::max<int64_t>(byte_pos, 0) / FFormat.nBlockAlign;
        if (const int r = ov_pcm_seek(&FVf, frame); r != 0) {
            // A place out of the sound's range is refused before any work.
            if (r != OV_EINVAL) FDamaged = FEnded = true;
            return false;
        }
        FPos = frame * FFormat.nBlockAlign;
        return true;
    }
    int64_t Position() const override { return FPos; }
    int64_t TotalBytes() const override { return FTotal; }

    // The library reported pages missing, or damage past which it reads
    // nothing more.
    bool Damaged() const { return FDamaged; }

private:
    OggWindow FWindow;
    OggVorbis_File FVf{};
    int64_t FTotal = 0;
    int64_t FPos = 0;
    int FSection = -1;
    bool FOtherLayout = false;
    bool FDamaged = false;
    bool FEnded = false;
};

// An Ogg sound. Its pages are looked at once, when it opens. When they are
// sound, libvorbisfile is shown only the good pages, and the sound plays
// link by link, each link opened as a file of its own: libvorbisfile
// starts reading a chain at its second link, hands each link's samples in
// that link's own rate and channels, and reads links that share a serial
// number as one stream whose length and places it gets wrong. Links of one
// layout join as they are; links of several are each converted to the
// device's. A file whose pages are not sound is read as it lies and never
// sought: a seek away from where decoding stands is refused and the sound
// ends.
class OggDecoder : public PcmDecoder {
public:
    explicit OggDecoder(TStream& s) : FStream(s) {
        if (adopt(ReadOggLayout(s))) return;
        const int64_t size = s.GetSize();
        auto whole = std::make_unique<VorbisDecoder>(
            OggWindow{std::make_shared<OggView>(s, std::vector<OggSpan>{{0, size}}), 0, size, 0});
        FFormat = whole->Format();
        FTotal = whole->TotalBytes();
        VorbisDecoder* vorbis = whole.get();
        play({std::move(whole), vorbis}, 0);
    }

    int64_t Read(uint8_t* dst, int64_t bytes) override {
        if (FEnded) return 0;
        bytes -= bytes % FFormat.nBlockAlign;
        int64_t done = 0;
        while (done < bytes) {
            const int64_t got = FPart->Read(dst + done, bytes - done);
            if (got > 0) {
                done += got;
                continue;
            }
            if (FAt + 1 >= FLinks.size()) break;
            // A link that cannot be opened ends the chain there.
            Part next = open_link(FAt + 1);
            if (!next.Decoder) break;
            play(std::move(next), FAt + 1);
        }
        FPos += done;
        return done;
    }
    bool Seek(int64_t byte_pos) override {
        const int64_t pos = std::max<int64_t>(byte_pos, 0) / FFormat.nBlockAlign * FFormat.nBlockAlign;
        // The mixer sets its read position before every block: no seek
        // when that is where decoding stands.
        if (pos == FPos) return true;
        // On damaged pages, and once the library has reported damage, its
        // seek or the reading after it crashes inside libogg or libvorbis:
        // such a sound is never sought, and ends as one that cannot be read.
        FDamaged = FDamaged || FVorbis->Damaged();
        if (FDamaged || FLinks.empty()) {
            FEnded = true;
            return false;
        }
        // The link that holds the place (past the end, the last), which
        // replaces the one playing only once it stands there.
        size_t k = FLinks.size() - 1;
        while (k > 0 && FLinks[k].Start > pos) --k;
        if (k == FAt) {
            if (!FPart->Seek(pos - FLinks[k].Start)) return false;
        } else {
            Part part = open_link(k);
            if (!part.Decoder || !part.Decoder->Seek(pos - FLinks[k].Start)) return false;
            play(std::move(part), k);
        }
        FPos = pos;
        return true;
    }
    int64_t Position() const override { return FPos; }
    int64_t TotalBytes() const override { return FTotal; }

private:
    struct Link {
        int64_t Begin, End;  // in the good pages
        int64_t Start;       // of its PCM in the sound's
    };
    struct Part {
        std::unique_ptr<PcmDecoder> Decoder;  // null when the link cannot be opened
        VorbisDecoder* Vorbis = nullptr;      // inside Decoder
    };

    // Takes the links of a sound layout, each opened once to learn its
    // layout and length; false when the pages are not sound or a link
    // cannot be opened.
    bool adopt(const OggLayout& layout) {
        if (!layout.Sound) return false;
        FView = std::make_shared<OggView>(FStream, layout.Pages);
        std::vector<TWaveFormatEx> formats;
        std::vector<int64_t> bytes;
        Part first;
        for (const OggLink& l : layout.Links) {
            FLinks.push_back({l.Begin, l.End, 0});
            Part part = open_link(FLinks.size() - 1);
            if (!part.Decoder) {
                FLinks.clear();
                return false;
            }
            formats.push_back(part.Decoder->Format());
            bytes.push_back(part.Decoder->TotalBytes());
            if (!first.Decoder) first = std::move(part);
        }
        FConvert = std::any_of(formats.begin(), formats.end(), [&](const TWaveFormatEx& f) {
            return f.nSamplesPerSec != formats[0].nSamplesPerSec || f.nChannels != formats[0].nChannels;
        });
        FFormat = FConvert ? MakePCMWaveFormat(44100, 16, 2) : formats[0];
        for (size_t i = 0; i < FLinks.size(); ++i) {
            FLinks[i].Start = FTotal;
            FTotal += FConvert ? device_bytes(bytes[i], formats[i]) : bytes[i];
        }
        if (FConvert) first.Decoder = ConvertToDeviceFormat(std::move(first.Decoder));
        play(std::move(first), 0);
        return true;
    }

    // Link k, opened over the good pages, in the layout the sound plays in.
    Part open_link(size_t k) {
        try {
            auto d = std::make_unique<VorbisDecoder>(OggWindow{FView, FLinks[k].Begin, FLinks[k].End, 0});
            VorbisDecoder* vorbis = d.get();
            return {FConvert ? ConvertToDeviceFormat(std::move(d)) : std::move(d), vorbis};
        } catch (const Exception&) {
            return {};
        }
    }
    void play(Part part, size_t k) {
        FDamaged = FDamaged || (FVorbis && FVorbis->Damaged());
        FPart = std::move(part.Decoder);
        FVorbis = part.Vorbis;
        FAt = k;
    }

    TStream& FStream;
    std::shared_ptr<OggView> FView;  // the good pages
    std::vector<Link> FLinks;         // none when the pages are not sound
    bool FConvert = false;
    std::unique_ptr<PcmDecoder> FPart;
    VorbisDecoder* FVorbis = nullptr;  // the handle of FPart
    size_t FAt = 0;                    // the link FPart plays
    int64_t FPos = 0;
    int64_t FTotal = 0;
    bool FDamaged = false;  // the library reported damage
    bool FEnded = false;
};

// ---- RIFF wave

class WaveDecoder : public PcmDecoder {
public:
    explicit WaveDecoder(TStream& s) : FStream(s), FHeader(ReadWaveHeader(s)) {
        FFormat = FHeader.Format;
        FStream.SetPosition(FHeader.DataOffset);
    }
    int64_t Read(uint8_t* dst, int64_t bytes) override {
        bytes = std::min(bytes, FHeader.DataBytes - FPos);
        bytes -= bytes % FFormat.nBlockAlign;
        if (bytes <= 0) return 0;
        FStream.SetPosition(FHeader.DataOffset + FPos);
        int64_t got = FStream.Read(dst, bytes);
        if (got <= 0) return 0;
        got -= got % FFormat.nBlockAlign;
        FPos += got;
        return got;
    }
    bool Seek(int64_t byte_pos) override {
        FPos = std::clamp<int64_t>(byte_pos - byte_pos % FFormat.nBlockAlign, 0, FHeader.DataBytes);
        return true;
    }
    int64_t Position() const override { return FPos; }
    int64_t TotalBytes() const override { return FHeader.DataBytes; }

private:
    TStream& FStream;
    WaveHeader FHeader;
    int64_t FPos = 0;
};

// ---- FFmpeg

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
        corrupt();
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

WaveHeader ReadWaveHeader(TStream& s) {
    s.SetPosition(0);
    FieldReader r(s, Sjis(kSoundDataCorrupt));
    if (r.Fixed(4, "RIFF tag") != "RIFF") r.Fail("RIFF tag");
    r.U32("RIFF size");  // writers often get it wrong; the chunks decide
    if (r.Fixed(4, "WAVE tag") != "WAVE") r.Fail("WAVE tag");
    WaveHeader h;
    bool have_format = false;
    // Chunks until the samples; a file has a handful, so a bound stops a
    // damaged one from being walked for long.
    for (int chunk = 0; chunk < 64; ++chunk) {
        const std::string id = r.Fixed(4, "chunk id");
        const uint32_t size = r.U32("chunk size");
        if (id == "fmt ") {
            if (size < 16) r.Fail("fmt size");
            r.Need(size, "fmt chunk");
            h.Format.wFormatTag = r.U16("format tag");
            h.Format.nChannels = r.U16("channels");
            h.Format.nSamplesPerSec = r.U32("samples per second");
            h.Format.nAvgBytesPerSec = r.U32("bytes per second");
            h.Format.nBlockAlign = r.U16("block align");
            h.Format.wBitsPerSample = r.U16("bits per sample");
            r.Skip(int64_t{size} - 16 + (size & 1), "fmt rest");
            const auto& f = h.Format;
            if (f.wFormatTag != 1 || f.nChannels < 1 || f.nChannels > 2 ||
                (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) || f.nSamplesPerSec < 1000 ||
                f.nSamplesPerSec > 192000 || f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
                r.Fail("format");
            h.Format.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
            have_format = true;
        } else if (id == "data") {
            if (!have_format) r.Fail("data before fmt");
            h.DataOffset = r.Position();
            // A file cut short plays what it holds.
            h.DataBytes = std::min<int64_t>(size, r.Remaining());
            h.DataBytes -= h.DataBytes % h.Format.nBlockAlign;
            return h;
        } else {
            r.Skip(int64_t{size} + (size & 1), "chunk");
        }
    }
    r.Fail("data chunk");
}

namespace {
// ---- Any layout to the device's

class DeviceFormatDecoder : public PcmDecoder {
public:
    explicit DeviceFormatDecoder(std::unique_ptr<PcmDecoder> source)
        : FSource(std::move(source)), FConverter(FSource->Format()) {
        FFormat = MakePCMWaveFormat(44100, 16, 2);
        FTotal = device_bytes(FSource->TotalBytes(), FSource->Format());
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
    int64_t TotalBytes() const override { return FTotal; }

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
    int64_t FTotal = 0;
};
}  // namespace

std::unique_ptr<PcmDecoder> ConvertToDeviceFormat(std::unique_ptr<PcmDecoder> source) {
    return std::make_unique<DeviceFormatDecoder>(std::move(source));
}

std::unique_ptr<PcmDecoder> OpenVorbisDecoder(TStream& stream) { return std::make_unique<OggDecoder>(stream); }
std::unique_ptr<PcmDecoder> OpenWaveDecoder(TStream& stream) { return std::make_unique<WaveDecoder>(stream); }
std::unique_ptr<PcmDecoder> OpenMediaDecoder(std::vector<uint8_t> data) {
    return std::make_unique<MediaDecoder>(std::move(data));
}

// ---- PcmConverter

PcmConverter::PcmConverter(const TWaveFormatEx& from) : FFrom(from) {
    if (from.nSamplesPerSec == 44100 && from.nChannels == 2 && from.wBitsPerSample == 16) return;
    AVChannelLayout in_layout;
    av_channel_layout_default(&in_layout, from.nChannels);
    const AVSampleFormat in_fmt = from.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    FCtx = OpenStereoResampler(&in_layout, in_fmt, static_cast<int>(from.nSamplesPerSec));
    if (!FCtx) corrupt();
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
