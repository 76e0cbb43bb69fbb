// The two FFmpeg conversions our decoders share: pictures to 32-bit BGRA
// through swscale, and sound to the device's 44100 Hz 16-bit stereo
// through swresample.
#pragma once
#include <cstddef>
#include <cstdint>

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

// The source layout a resampler was made for. A decoder rewrites its
// context's layout when a damaged stream changes it mid-way, so frames are
// checked against this, not against the context: a frame of fewer channels
// than the resampler reads would have it read planes that are not there.
struct ResamplerSource {
    int Format = -1;
    int Channels = 0;
    int Rate = 0;
    // A frame that names no rate takes its decoder's.
    bool Takes(const AVFrame& frame) const;
};
