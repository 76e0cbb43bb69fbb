#include "media/decode/ffmpeg_io.h"

#include "platform/filesystem/stream.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr int kIoBuffer = 32768;

// FFmpeg's process-wide settings, made before any of our media is read.
struct FfmpegSettings {
    FfmpegSettings() {
        // Damaged files are expected input here; the decoders' own chatter
        // about concealed blocks would only flood the terminal.
        av_log_set_level(AV_LOG_FATAL);
        // A damaged header can declare gigabytes for a block FFmpeg then
        // fails to fill (a 34-byte wave asked for 1.9 GB of extra data); no
        // picture or packet of a game comes near this (an 8K frame is 133 MB).
        av_max_alloc(size_t{256} << 20);
    }
};
const FfmpegSettings kSettings;
}  // namespace

FfmpegInput::FfmpegInput(std::vector<uint8_t> data) : FData(std::move(data)) {
    FSize = static_cast<int64_t>(FData.size());
    open();
}

FfmpegInput::FfmpegInput(TStream& stream) : FStream(&stream) {
    FSize = std::max<int64_t>(stream.GetSize(), 0);
    open();
}

void FfmpegInput::open() {
    auto* buf = static_cast<uint8_t*>(av_malloc(kIoBuffer));
    if (!buf) return;
    FIo = avio_alloc_context(buf, kIoBuffer, 0, this, &FfmpegInput::read_packet, nullptr, &FfmpegInput::seek);
    if (!FIo) av_free(buf);
}

FfmpegInput::~FfmpegInput() {
    if (FIo) {
        av_freep(&FIo->buffer);
        avio_context_free(&FIo);
    }
}

int FfmpegInput::read_packet(void* self, uint8_t* buf, int size) {
    auto* in = static_cast<FfmpegInput*>(self);
    const int64_t n = std::min<int64_t>(in->FSize - std::min(in->FPos, in->FSize), std::max(size, 0));
    if (n <= 0) return AVERROR_EOF;
    int64_t got = n;
    if (in->FStream) {
        // Our position is the truth: a stream shared with nobody else still
        // costs nothing to re-seek.
        in->FStream->Seek(in->FPos, SeekOrigin::Beginning);
        got = in->FStream->Read(buf, n);
        if (got <= 0) return AVERROR_EOF;
    } else {
        std::memcpy(buf, in->FData.data() + in->FPos, static_cast<size_t>(n));
    }
    in->FPos += got;
    return static_cast<int>(got);
}

int64_t FfmpegInput::seek(void* self, int64_t offset, int whence) {
    auto* in = static_cast<FfmpegInput*>(self);
    if (whence & AVSEEK_SIZE) return in->FSize;
    int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = in->FPos; break;
    case SEEK_END: base = in->FSize; break;
    default: return -1;
    }
    // Offsets come from the file's own fields: no wrap on absurd values.
    if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < INT64_MIN - offset)) return -1;
    const int64_t target = base + offset;
    if (target < 0 || target > in->FSize) return -1;
    in->FPos = target;
    return target;
}
