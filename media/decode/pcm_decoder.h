// Decoders of sound files to PCM, used by the companion module: Ogg Vorbis
// through libvorbisfile, RIFF wave files through our own reader, Windows
// Media audio through FFmpeg; and the converter of any PCM layout to the
// device's 44100 Hz 16-bit stereo.
#pragma once
#include "media/base/sound_device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;
struct SwrContext;

// What a decoder gives: 16-bit (or 8-bit, for wave files) interleaved PCM.
class PcmDecoder {
public:
    virtual ~PcmDecoder() = default;
    const TWaveFormatEx& Format() const { return FFormat; }
    // Up to bytes bytes of whole frames; 0 at the end (or at damage that
    // allows no more).
    virtual int64_t Read(uint8_t* dst, int64_t bytes) = 0;
    // To a byte position of the PCM (whole frames); false when the source
    // cannot seek there.
    virtual bool Seek(int64_t byte_pos) = 0;
    virtual int64_t Position() const = 0;
    // Bytes of PCM in the whole file as far as they are known now, 0 when
    // nothing is; never waits. Final once LengthSettled.
    virtual int64_t TotalBytes() const = 0;
    virtual bool LengthSettled() const { return true; }
    // Starts what learns the length beside the reading (the look at a large
    // Ogg's pages), for a decoder that may not be read for long (a paused
    // sound on the software mixer). Safe from any thread.
    virtual void LearnLength() {}
    // Read gave less than asked without being at the end: the decoder
    // waits for something (the look at an Ogg's pages) that Settle waits
    // for. A seek may wait for it too. Neither is for a thread that must
    // not wait (the game's, the sound device's).
    virtual bool Waiting() const { return false; }
    virtual void Settle() {}
    // A seek there takes no more than a few reads: no decoding forward, no
    // waiting for the look at the pages.
    virtual bool SeekIsQuick(int64_t) const { return true; }
    // Asks a decoder that may be busy on another thread (looking at its
    // file, decoding forward to a place) to give up soon: it is freed next.
    // Safe from any thread.
    virtual void Cancel() {}

protected:
    TWaveFormatEx FFormat;
};

// Read for a thread that may wait (a tool, a test): where the decoder
// waits for something, it is waited for, and the reading goes on.
int64_t ReadOrWait(PcmDecoder& d, uint8_t* dst, int64_t bytes);

// Sample rates a sound may have: resampling others to the device's rate
// would cost memory and time without bound, so they are unplayable.
inline constexpr int kMinSampleRate = 1000;
inline constexpr int kMaxSampleRate = 384000;
// Lengths are bounded to this many milliseconds (about 24 days), so that a
// damaged header's duration never overflows a length.
inline constexpr int64_t kMaxSoundMs = INT32_MAX;

// Each raises ECorruptData "サウンドデータが不正です" when the data is not
// a sound of its kind. The stream stays the caller's and must outlive the
// decoder.
// Ogg: its pages are looked at once, when it opens, or beside its decoding
// for a file over a megabyte, which starts at once; bytes that are no page
// (tags, padding, a tail cut or spoilt, another file's tail) are passed
// over as libogg passes over them. A chained file plays every link that
// decodes, one after another from the first, in one layout (the device's
// when the links' differ). A link whose pages break sequence (a page lost,
// spoilt or written twice), or on which the library reported damage, is
// never sought by the library: a handle of its own starts at a page near
// the place (or at the link's start), converted after it when the link's
// layout is not the sound's, and decodes forward to it. A large file's
// decoder waits (Waiting) at its first link's end, and a seek waits, until
// the look at its pages (begun when it opens) has ended; till then it plays
// in the device's layout, and its length is what its last page tells when
// that is the first link's (less the frame the link starts from), else
// what it has decoded (LengthSettled is false); the look's answer is given
// the moment it ends. A large file plays its first link that plays in its
// first megabyte (after other bytes, or after links that cannot be played),
// or, when none does, the links the look finds once it ends, when its last
// page is of a stream begun past that megabyte; else it is refused.
// Thread: one thread at a time, but Cancel, TotalBytes, LengthSettled and
// LearnLength from any.
std::unique_ptr<PcmDecoder> OpenVorbisDecoder(TStream& stream);
std::unique_ptr<PcmDecoder> OpenWaveDecoder(TStream& stream);
// FFmpeg keeps its own copy of data; gives 44100 Hz 16-bit stereo.
std::unique_ptr<PcmDecoder> OpenMediaDecoder(std::vector<uint8_t> data);

// The decoder's sound at the device's 44100 Hz 16-bit stereo, whatever its
// own rate and layout; lengths and positions count in the new format.
std::unique_ptr<PcmDecoder> ConvertToDeviceFormat(std::unique_ptr<PcmDecoder> source);

// The header of a RIFF wave file: its PCM format and where its samples lie.
struct WaveHeader {
    TWaveFormatEx Format;
    int64_t DataOffset = 0;
    int64_t DataBytes = 0;  // whole frames, within the file
};
// Reads the header from the stream's start; raises ECorruptData on damage.
WaveHeader ReadWaveHeader(TStream& stream);

// Converts PCM of one layout (8 or 16 bit, 1 or 2 channels, any rate) to
// 44100 Hz 16-bit stereo.
class PcmConverter {
public:
    explicit PcmConverter(const TWaveFormatEx& from);
    ~PcmConverter();
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;
    // Appends the converted frames of in_bytes input bytes to out.
    void Convert(const uint8_t* in, int64_t in_bytes, std::vector<int16_t>& out);
    // Appends the frames it still holds back at the end of the input, so
    // that a sound ends on its own last frame; Reset before more input.
    void Flush(std::vector<int16_t>& out);
    // Forgets what it holds back (after a seek).
    void Reset();
    bool Passthrough() const { return FCtx == nullptr; }

private:
    TWaveFormatEx FFrom;
    SwrContext* FCtx = nullptr;
};

extern const char* const kSoundDataCorrupt;  // UTF-8 of the message
// Raises ECorruptData with that message.
[[noreturn]] void RaiseSoundDataCorrupt();
// Bytes at the device's 44100 Hz stereo of PCM bytes of a layout.
int64_t DeviceBytes(int64_t bytes, const TWaveFormatEx& from);
