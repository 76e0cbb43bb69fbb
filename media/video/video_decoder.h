// Decoder of the companion module's video files (.wmv/.asf/.avi/.mpg) through
// FFmpeg: the first video stream, frames converted to 32-bit BGRA pixels
// (0xAARRGGBB words, the layout of our surfaces).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwsContext;

class VideoDecoder {
public:
    // Raises ECorruptData "動画データが不正です" when the data is no video
    // file, and "動画の形式に対応していません" when it holds no video
    // stream or one whose codec we cannot decode.
    explicit VideoDecoder(std::vector<uint8_t> data);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // Whole length in milliseconds, 0 when the container does not say.
    int64_t LengthMs() const { return FLengthMs; }
    bool HasAudio() const { return FHasAudio; }

    // Decodes the next frame into Pixels(); false at the end of the stream,
    // and also at damage that lets no more frames out, so that a broken
    // file ends like a finished one.
    bool NextFrame();
    // Presentation time of the current frame, in milliseconds from the start.
    int64_t FrameTimeMs() const { return FFrameMs; }
    // Width*Height pixels, rows top-down without padding.
    const uint32_t* Pixels() const { return FPixels.data(); }

private:
    void release();
    static int read_packet(void* self, uint8_t* buf, int size);
    static int64_t seek(void* self, int64_t offset, int whence);
    bool receive();

    std::vector<uint8_t> FData;
    size_t FIoPos = 0;
    AVFormatContext* FFmt = nullptr;
    AVIOContext* FIo = nullptr;
    AVCodecContext* FCodec = nullptr;
    AVPacket* FPacket = nullptr;
    AVFrame* FFrame = nullptr;
    SwsContext* FSws = nullptr;
    int FIndex = -1;
    int FWidth = 0;
    int FHeight = 0;
    int64_t FLengthMs = 0;
    int64_t FFrameMs = 0;
    bool FHasAudio = false;
    bool FDraining = false;
    bool FDone = false;
    std::vector<uint32_t> FPixels;
};

extern const char* const kVideoDataCorrupt;      // UTF-8 of the message
extern const char* const kVideoFormatUnsupported;
