// Decoder of the companion module's video files (.wmv/.asf/.avi/.mpg) through
// FFmpeg: the first video stream, frames converted to 32-bit BGRA pixels
// (0xAARRGGBB words, the layout of our surfaces), and, when asked, the
// sound track converted to the device's 44100 Hz 16-bit stereo.
#pragma once
#include "media/decode/ffmpeg_convert.h"
#include "media/decode/ffmpeg_io.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
class TStream;

class VideoDecoder {
public:
    // Raises ECorruptData "動画データが不正です" when the data is no video
    // file, and "動画の形式に対応していません" when it holds no video
    // stream or one whose codec we cannot decode. A sound track that
    // cannot be decoded is left out (the picture still plays).
    explicit VideoDecoder(std::vector<uint8_t> data, bool with_audio = false);
    // Reads the stream, which stays the caller's and must outlive the decoder.
    explicit VideoDecoder(TStream& stream, bool with_audio = false);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Whole length in milliseconds, 0 when the container does not say.
    int64_t LengthMs() const { return FLengthMs; }
    // The file has a sound track (decoded only when asked for).
    bool HasAudio() const { return FHasAudio; }
    bool DecodesAudio() const { return FAudioCodec != nullptr; }

    enum class Step { Frame, Audio, More, End };
    // One step of decoding: a new frame in Pixels(), some sound added to
    // the sound buffer, a packet taken with nothing out yet, or the end.
    // Damage that lets no more frames out ends the stream like its end.
    Step Advance();
    // Advances until the next frame; false at the end of the stream.
    bool NextFrame();
    // Presentation time of the current frame, in milliseconds from the start.
    int64_t FrameTimeMs() const { return FFrameMs; }
    // Width*Height pixels, rows top-down without padding.
    const uint32_t* Pixels() const { return FPixels.data(); }

    // Decoded sound not yet taken (stereo frames, interleaved) and the
    // index in 44100 Hz frames from the start of its first frame.
    std::vector<int16_t>& Sound() { return FSound; }
    int64_t SoundStart() const { return FSoundStart; }
    // Drops the sound held so far; the next sound follows on from it.
    void TakeSound();

    // Restarts decoding at the last key frame at or before ms; false when
    // the file cannot seek (decoding goes on where it was).
    bool Seek(int64_t ms);

private:
    void open();
    void open_audio();
    void release();
    bool receive();
    void receive_sound();

    std::unique_ptr<FfmpegInput> FInput;
    AVFormatContext* FFmt = nullptr;
    AVCodecContext* FCodec = nullptr;
    AVCodecContext* FAudioCodec = nullptr;
    AVPacket* FPacket = nullptr;
    AVFrame* FFrame = nullptr;
    std::unique_ptr<BgraConverter> FConverter;
    FrameResampler FResampler;
    bool FWithAudio = false;
    int FIndex = -1;
    int FAudioIndex = -1;
    int FWidth = 0;
    int FHeight = 0;
    int64_t FLengthMs = 0;
    int64_t FFrameMs = 0;
    bool FHasAudio = false;
    bool FDraining = false;
    bool FDone = false;
    std::vector<uint32_t> FPixels;
    std::vector<int16_t> FSound;
    int64_t FSoundStart = -1;  // -1 until the first sound after the start or a seek
};

extern const char* const kVideoDataCorrupt;      // UTF-8 of the message
extern const char* const kVideoFormatUnsupported;
