// Streams for tests over bytes in memory: one that many share, and one that
// holds a reader back at a place in a file.
#pragma once
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

// A read-only stream over bytes another keeps: many streams may share them.
class SharedBytesStream : public TStream {
public:
    explicit SharedBytesStream(const std::string& bytes) : FBytes(bytes) {}
    int64_t Read(void* buffer, int64_t count) override {
        count = std::clamp<int64_t>(count, 0, GetSize() - FPos);
        std::memcpy(buffer, FBytes.data() + FPos, size_t(count));
        FPos += count;
        return count;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        const int64_t base = origin == SeekOrigin::Current ? FPos : origin == SeekOrigin::End ? GetSize() : 0;
        return FPos = std::clamp<int64_t>(base + offset, 0, GetSize());
    }
    int64_t GetSize() override { return int64_t(FBytes.size()); }

private:
    const std::string& FBytes;
    int64_t FPos = 0;
};

namespace gated_stream_detail {
// Made before the stream over them.
struct OwnBytes {
    const std::string Bytes;
};
}  // namespace gated_stream_detail

// The bytes of a file, those in [From, To) held back until the gate opens.
class GatedStream : private gated_stream_detail::OwnBytes, public SharedBytesStream {
public:
    GatedStream(std::string bytes, int64_t from, int64_t to)
        : OwnBytes{std::move(bytes)}, SharedBytesStream(Bytes), FFrom(from), FTo(to) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t at = GetPosition();
        count = std::clamp<int64_t>(count, 0, GetSize() - at);
        if (at + count > FFrom && at < FTo) {
            std::unique_lock l(FLock);
            FCv.wait(l, [&] { return FOpen; });
        }
        return SharedBytesStream::Read(buffer, count);
    }
    void Open() {
        std::lock_guard l(FLock);
        FOpen = true;
        FCv.notify_all();
    }
    bool IsOpen() {
        std::lock_guard l(FLock);
        return FOpen;
    }
    void Close() {
        std::lock_guard l(FLock);
        FOpen = false;
    }

private:
    const int64_t FFrom, FTo;
    std::mutex FLock;
    std::condition_variable FCv;
    bool FOpen = false;
};
