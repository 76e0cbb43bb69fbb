// The two FFmpeg conversions our decoders share: pictures to 32-bit BGRA
// through swscale, and sound to the device's 44100 Hz 16-bit stereo
// through swresample.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct AVFrame;
struct AVChannelLayout;
struct SwsContext;
struct SwrContext;

// Converts decoded pictures of one size to BGRA pixels (0xAARRGGBB words),
// rows top-down without padding. swscale writes whole SIMD blocks past the
// last pixel of a row (and of the last row), so it writes into a padded,
// aligned buffer of its own and the rows are copied out from there.
class BgraConverter {
public:
    BgraConverter(int width, int height);
    ~BgraConverter();
    BgraConverter(const BgraConverter&) = delete;
    BgraConverter& operator=(const BgraConverter&) = delete;

    // False when the frame is not of this size or swscale cannot take its
    // pixel format; out (width*height words) is then untouched.
    bool Convert(const AVFrame* frame, uint32_t* out);

private:
    int FWidth, FHeight;
    int FStride = 0;
    uint8_t* FBuffer = nullptr;
    SwsContext* FSws = nullptr;
};

// A resampler from the given layout, sample format and rate to 44100 Hz
// 16-bit stereo, initialised; null when swresample refuses. A mono source
// plays at its own level in each channel (swresample's own mix spreads it
// 3 dB down), as the software mixer plays it.
SwrContext* OpenStereoResampler(const AVChannelLayout* in_layout, int in_format, int in_rate);

// Converts a decoder's sound frames to 44100 Hz 16-bit stereo. A stream
// may change its layout (channels, sample format, rate) mid-way, as MPEG
// audio does from frame to frame, and its decoder then rewrites its own
// context; so each frame is checked against the layout the resampler was
// made for, and a new one is made for a new layout. A frame is never read
// as another layout (a frame of fewer channels would have the resampler
// read planes that are not there), and the sound goes on after a change.
class FrameResampler {
public:
    FrameResampler();
    ~FrameResampler();
    FrameResampler(const FrameResampler&) = delete;
    FrameResampler& operator=(const FrameResampler&) = delete;

    // Makes the resampler for a layout, the decoder's first or a new one
    // (what the one before held back comes out first); false when its rate
    // is not playable, it has no channels or swresample refuses it.
    bool Open(const AVChannelLayout& layout, int format, int rate);
    // Makes ready for the frame's layout (a frame that names no rate takes
    // the current one); false when the frame is to be skipped: it has no
    // samples, or no resampler can be made for its layout, the current one
    // being kept for the frames that follow.
    bool Take(const AVFrame& frame);
    // The most stereo frames that n more source samples (0 at the end of
    // the sound) give.
    int OutFrames(int n) const;
    // Converts n samples of the layout last taken, one pointer per plane
    // (null with n = 0 at the end of the sound, for what is held back), into
    // at most out_max stereo frames; the frames written.
    int Convert(const uint8_t* const* in, int n, uint8_t* out, int out_max);
    // Forgets what is held back (after a seek).
    void Reset();

private:
    SwrContext* FSwr = nullptr;
    AVChannelLayout* FLayout;  // owned; FFmpeg's type stays out of this header
    int FFormat = -1;
    int FRate = 0;
    // The last frames of the resampler that a change of layout replaced:
    // they come out before the new layout's first.
    std::vector<uint8_t> FTail;
};
