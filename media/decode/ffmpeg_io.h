// FFmpeg reads our media through one custom I/O context: over bytes held in
// memory (a copy the caller hands over) or over one of our streams. Seeks
// stay inside the data; a read past the end reports the end of file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct AVIOContext;
class TStream;

class FfmpegInput {
public:
    explicit FfmpegInput(std::vector<uint8_t> data);
    // The stream stays the caller's and must outlive this input; only this
    // input moves its position while it is in use.
    explicit FfmpegInput(TStream& stream);
    // The format context using the I/O context must be closed first.
    ~FfmpegInput();
    FfmpegInput(const FfmpegInput&) = delete;
    FfmpegInput& operator=(const FfmpegInput&) = delete;

    // Null when FFmpeg could not allocate it.
    AVIOContext* Context() const { return FIo; }

private:
    void open();
    static int read_packet(void* self, uint8_t* buf, int size);
    static int64_t seek(void* self, int64_t offset, int whence);

    std::vector<uint8_t> FData;
    TStream* FStream = nullptr;
    int64_t FSize = 0;
    int64_t FPos = 0;
    AVIOContext* FIo = nullptr;
};
