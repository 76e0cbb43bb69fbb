#include "media/audio/wav_out.h"

#include "platform/system/clock.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

int32_t WavBlockBytes(int32_t block_ms) {
    // 3 ms would be 529.2 bytes by the byte rate alone: never a torn frame.
    int64_t frames = int64_t{std::max(block_ms, 1)} * AudioFrequency / 1000;
    frames &= ~int64_t{1};
    return static_cast<int32_t>(std::max<int64_t>(frames, 2) * 4);
}

namespace {
inline int16_t saturate(int32_t v) { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

// How a source layout widens to 44100 Hz stereo: the share of a block it
// reads (block bytes / divisor) and how many output frames each of its
// frames becomes.
struct Layout {
    int32_t divisor = 0;
    int32_t repeat = 0;
};

Layout layout_of(const TWaveFormatEx& f) {
    if (f.wFormatTag != 1 || (f.nChannels != 1 && f.nChannels != 2) ||
        (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) ||
        (f.nSamplesPerSec != 44100 && f.nSamplesPerSec != 22050))
        return {};
    const int32_t repeat = f.nSamplesPerSec == 22050 ? 2 : 1;
    // 2 output channels * 2 bytes per output frame against channels * bytes
    // per source frame, times the rate factor.
    const int32_t divisor = 4 * repeat / (f.nChannels * f.wBitsPerSample / 8);
    return {divisor, repeat};
}
}  // namespace

// ---- TWavBuffer

TWavBuffer::TWavBuffer(TWavOut& owner, const TWaveFormatEx& format, TStream* stream)
    : FOwner(owner), FFormat(format), FStream(stream), FBuffer(static_cast<size_t>(owner.BlockBytes())) {}

bool TWavBuffer::Supported(const TWaveFormatEx& format) { return layout_of(format).divisor != 0; }

TWavBuffer::Read TWavBuffer::read_source(int32_t from, bool repeat, int32_t count) {
    Read r{from, 0, false};
    int64_t size = FStream->GetSize();
    FStream->SetPosition(from);
    // Being placed: nothing now, the same place asked again next block.
    if (busy()) return r;
    while (count > 0) {
        if (FStream->GetPosition() >= size) {
            if (!repeat || size <= 0) break;
            FStream->SetPosition(0);
            if (busy()) break;
        }
        const int64_t got = FStream->Read(FBuffer.data() + r.Bytes, count);
        if (got <= 0) {
            if (busy()) break;
            // An Ogg whose pages were damaged knows its true length once
            // read to its end: a repeat goes on from the start there.
            if (const int64_t now = FStream->GetSize(); now < size && FStream->GetPosition() >= now) {
                size = now;
                continue;
            }
            // Nothing more although the size promises more (a truncated
            // file): the source ends rather than asking again for ever.
            r.Ended = true;
            break;
        }
        r.Bytes += static_cast<int32_t>(got);
        count -= static_cast<int32_t>(got);
    }
    r.Pos = static_cast<int32_t>(FStream->GetPosition());
    if (!repeat && FStream->GetSize() <= r.Pos) r.Ended = true;
    return r;
}

bool TWavBuffer::busy() const { return FBusy && FBusy(); }

bool TWavBuffer::MixInto(int16_t* block, int32_t bytes) {
    // The stream is read under a lock of this source's own, never under the
    // mixer's, which the game's thread takes every frame: a read that takes
    // long (a decoder opening a link) holds no one else.
    std::lock_guard reading(FReadLock);
    const Layout lay = layout_of(FFormat);
    int32_t from = 0, vol = 0;
    bool repeat = false;
    uint64_t placed = 0;
    {
        std::lock_guard lock(FOwner.FLock);
        if (FEnded || FPaused || !FOwner.IsOpen() || !FStream) return false;
        if (lay.divisor == 0) {
            // A layout the mixer cannot widen ends at once, so its owner
            // sees an end instead of waiting on silence.
            FEnded = true;
            return false;
        }
        from = FReadPos;
        vol = FVolume;
        repeat = FAutoRepeat;
        placed = FPlaced;
    }
    if (FStream->GetSize() <= 0) return false;
    bytes = std::min(bytes, FOwner.BlockBytes());
    const Read r = read_source(from, repeat, bytes / lay.divisor);
    const int32_t frame_bytes = FFormat.nChannels * FFormat.wBitsPerSample / 8;
    const int32_t got = r.Bytes - r.Bytes % frame_bytes;
    {
        std::lock_guard lock(FOwner.FLock);
        // A new place asked for meanwhile: what was read is not heard.
        if (placed != FPlaced) return false;
        FReadPos = r.Pos;
        if (r.Ended) FEnded = true;
        if (got > 0) {
            FLastMix = FOwner.Now();
            FMixedOnce = true;
        }
    }
    if (got <= 0) return false;

    const int32_t frames = got / frame_bytes;
    const int32_t out_frames = frames * lay.repeat;
    const bool scale = vol < 255;
    const uint8_t* src = FBuffer.data();
    if (FFormat.wBitsPerSample == 16 && FFormat.nChannels == 2 && lay.repeat == 1) {
        // The common layout: no widening at all.
        const int32_t n = out_frames * 2;
        if (scale) {
            for (int32_t i = 0; i < n; ++i) {
                int16_t s;
                std::memcpy(&s, src + 2 * i, 2);
                block[i] = saturate(block[i] + ((s * vol) >> 8));
            }
        } else {
            for (int32_t i = 0; i < n; ++i) {
                int16_t s;
                std::memcpy(&s, src + 2 * i, 2);
                block[i] = saturate(block[i] + s);
            }
        }
    } else {
        const bool wide = FFormat.wBitsPerSample == 16;
        const bool stereo = FFormat.nChannels == 2;
        int16_t* out = block;
        for (int32_t f = 0; f < frames; ++f) {
            int32_t l, r;
            if (wide) {
                int16_t a, b;
                std::memcpy(&a, src, 2);
                if (stereo) std::memcpy(&b, src + 2, 2);
                else b = a;
                l = a;
                r = b;
            } else {
                l = (int32_t{src[0]} - 128) * 256;
                r = stereo ? (int32_t{src[1]} - 128) * 256 : l;
            }
            src += frame_bytes;
            if (scale) {
                l = (l * vol) >> 8;
                r = (r * vol) >> 8;
            }
            for (int32_t k = 0; k < lay.repeat; ++k) {
                out[0] = saturate(out[0] + l);
                out[1] = saturate(out[1] + r);
                out += 2;
            }
        }
    }
    return true;
}

void TWavBuffer::Play() {
    if (!FOwner.IsOpen()) return;
    std::lock_guard lock(FOwner.FLock);
    FPlaying = true;
    FPaused = false;
    FEnded = false;
    if (std::find(FOwner.FPlayList.begin(), FOwner.FPlayList.end(), this) == FOwner.FPlayList.end())
        FOwner.FPlayList.push_back(this);
}

void TWavBuffer::Pause() {
    if (!FOwner.IsOpen()) return;
    std::lock_guard lock(FOwner.FLock);
    FPaused = true;
    std::erase(FOwner.FPlayList, this);
}

void TWavBuffer::SetPosition(int32_t bytes) {
    std::lock_guard lock(FOwner.FLock);
    FReadPos = bytes;
    ++FPlaced;
}

int32_t TWavBuffer::GetPosition() {
    std::lock_guard lock(FOwner.FLock);
    return FReadPos;
}

void TWavBuffer::SetVolume(int32_t volume) {
    std::lock_guard lock(FOwner.FLock);
    FVolume = volume;
}

int32_t TWavBuffer::GetVolume() {
    std::lock_guard lock(FOwner.FLock);
    return FVolume;
}

bool TWavBuffer::GetAutoRepeat() {
    std::lock_guard lock(FOwner.FLock);
    return FAutoRepeat;
}

void TWavBuffer::SetAutoRepeat(bool on) {
    std::lock_guard lock(FOwner.FLock);
    FAutoRepeat = on;
}

bool TWavBuffer::IsPlaying() {
    std::lock_guard lock(FOwner.FLock);
    return FPlaying;
}

bool TWavBuffer::IsPaused() {
    std::lock_guard lock(FOwner.FLock);
    return FPaused;
}

int32_t TWavBuffer::GetPlayPosition() {
    std::lock_guard lock(FOwner.FLock);
    const uint32_t since = FOwner.Now() - FLastMix;
    const int64_t e = FMixedOnce ? std::max<int64_t>(0, static_cast<int32_t>(since)) : INT64_MAX;
    const int64_t block = FOwner.BlockTime();
    if (e > 2 * block) return FReadPos;
    const double r = double(FFormat.wBitsPerSample) * FFormat.nChannels * FFormat.nSamplesPerSec / 8000.0;
    int64_t pos = FReadPos - static_cast<int64_t>(std::nearbyint(double(block) * r)) +
                  static_cast<int64_t>(std::nearbyint(double(e) * r));
    const int64_t size = FStream ? FStream->GetSize() : 0;
    return static_cast<int32_t>(std::clamp<int64_t>(pos, 0, size));
}

bool TWavBuffer::IsEnd() {
    if (!FOwner.IsOpen()) return true;
    std::lock_guard lock(FOwner.FLock);
    if (!Supported(FFormat)) return true;
    if (!FEnded) return false;
    if (!FMixedOnce) return true;
    return FOwner.Now() - FLastMix > uint32_t(2 * FOwner.BlockTime() + 10);
}

// ---- TWavOut

TWavOut::TWavOut(int32_t block_ms) : TWavOut(block_ms, Options{}) {}

TWavOut::TWavOut(int32_t block_ms, Options options)
    : FBlockTime(std::max(block_ms, 1)), FBlockBytes(WavBlockBytes(block_ms)), FOptions(std::move(options)) {}

TWavOut::~TWavOut() { Close(); }

uint32_t TWavOut::Now() const { return FOptions.Clock ? FOptions.Clock() : TimeGetTime(); }

bool TWavOut::Open() {
    if (FDevice) return true;
    try {
        FDevice = AudioDevice::Open(FOptions.Backend);
    } catch (const std::exception&) {
        return false;
    }
    {
        std::lock_guard q(FQueueLock);
        FPool.clear();
        for (int i = 0; i < 4; ++i) FPool.push_back(Block{std::vector<int16_t>(size_t(FBlockBytes) / 2), 0});
    }
    FBusHandle = FDevice->Bus().AddSource([this](int32_t* mix, size_t frames) { return play_queued(mix, frames); });
    if (FOptions.RefillThread) {
        FTerminate = false;
        FThread = std::thread([this] { thread_main(); });
    }
    return true;
}

void TWavOut::Close() {
    if (!FDevice) return;
    if (FThread.joinable()) {
        {
            std::lock_guard w(FWakeLock);
            FTerminate = true;
        }
        FWake.notify_all();
        FThread.join();
    }
    FDevice->Bus().RemoveSource(FBusHandle);
    {
        std::lock_guard lock(FLock);
        FPlayList.clear();
        FSources.clear();
    }
    {
        std::lock_guard q(FQueueLock);
        FQueue.clear();
        FPool.clear();
    }
    FDevice.reset();
}

TWavBuffer* TWavOut::AddBuffer(const TWaveFormatEx& format, TStream* stream, std::function<bool()> busy) {
    std::lock_guard lock(FLock);
    FSources.push_back(std::make_unique<TWavBuffer>(*this, format, stream));
    FSources.back()->FBusy = std::move(busy);
    return FSources.back().get();
}

void TWavOut::RemoveBuffer(TWavBuffer* buffer) {
    std::unique_ptr<TWavBuffer> gone;
    {
        std::lock_guard lock(FLock);
        std::erase(FPlayList, buffer);
        auto it = std::find_if(FSources.begin(), FSources.end(), [buffer](const auto& b) { return b.get() == buffer; });
        if (it == FSources.end()) return;
        gone = std::move(*it);
        FSources.erase(it);
    }
    // A mix of it under way ends first: its owner frees the stream next.
    std::unique_lock lock(FLock);
    FMixDone.wait(lock, [&] { return FMixing != buffer; });
}

bool TWavOut::MixBlock(int16_t* block) {
    std::memset(block, 0, size_t(FBlockBytes));
    // Each source is mixed outside the lock; one taken out of the lists
    // meanwhile is passed over, or waits in RemoveBuffer for its mix.
    std::vector<TWavBuffer*> playing;
    {
        std::lock_guard lock(FLock);
        playing = FPlayList;
    }
    bool any = false;
    for (TWavBuffer* b : playing) {
        {
            std::lock_guard lock(FLock);
            if (std::find(FPlayList.begin(), FPlayList.end(), b) == FPlayList.end()) continue;
            if (!b->FPlaying || b->FPaused) continue;
            FMixing = b;
        }
        // Nothing may leave the refill thread: a source whose reading raised
        // ends, as a medium that could not be read.
        bool ended = false;
        try {
            if (b->MixInto(block, FBlockBytes)) any = true;
        } catch (...) {
            ended = true;
        }
        std::lock_guard lock(FLock);
        if (ended) b->FEnded = true;
        FMixing = nullptr;
        FMixDone.notify_all();
    }
    return any;
}

size_t TWavOut::QueuedBlocks() {
    std::lock_guard q(FQueueLock);
    return FQueue.size();
}

void TWavOut::Fill() {
    if (!FDevice) return;
    {
        std::lock_guard q(FQueueLock);
        while (!FQueue.empty() && FQueue.front().Played >= FQueue.front().Samples.size()) {
            FQueue.front().Played = 0;
            FPool.push_back(std::move(FQueue.front()));
            FQueue.pop_front();
        }
    }
    for (int i = 0; i < 2; ++i) {
        Block block;
        {
            std::lock_guard q(FQueueLock);
            if (FQueue.size() >= 2) return;
            if (!FPool.empty()) {
                block = std::move(FPool.back());
                FPool.pop_back();
            }
        }
        {
            std::lock_guard lock(FLock);
            if (FPlayList.empty()) {
                std::lock_guard q(FQueueLock);
                if (!block.Samples.empty()) FPool.push_back(std::move(block));
                return;
            }
        }
        if (block.Samples.size() != size_t(FBlockBytes) / 2) block.Samples.assign(size_t(FBlockBytes) / 2, 0);
        block.Played = 0;
        const bool any = MixBlock(block.Samples.data());
        std::lock_guard q(FQueueLock);
        if (any) FQueue.push_back(std::move(block));
        else FPool.push_back(std::move(block));
    }
}

bool TWavOut::play_queued(int32_t* mix, size_t frames) {
    std::lock_guard q(FQueueLock);
    size_t want = frames * 2;
    for (Block& b : FQueue) {
        if (want == 0) break;
        const size_t left = b.Samples.size() - b.Played;
        if (left == 0) continue;
        const size_t n = std::min(left, want);
        const int16_t* s = b.Samples.data() + b.Played;
        for (size_t i = 0; i < n; ++i) mix[i] += s[i];
        mix += n;
        want -= n;
        b.Played += n;
    }
    return true;
}

void TWavOut::thread_main() {
    const auto period = std::chrono::milliseconds(std::max(FBlockTime / 4, 1));
    std::unique_lock w(FWakeLock);
    while (!FTerminate) {
        if (FWake.wait_for(w, period, [this] { return FTerminate; })) break;
        w.unlock();
        Fill();
        w.lock();
    }
}
