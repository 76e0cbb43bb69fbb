// The reader of RIFF wave files.
#include "media/decode/pcm_decoder.h"

#include "files/field_reader.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/stream.h"

#include <algorithm>

namespace {
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

std::unique_ptr<PcmDecoder> OpenWaveDecoder(TStream& stream) { return std::make_unique<WaveDecoder>(stream); }
