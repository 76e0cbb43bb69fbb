// A stream for tests that hold a reader back at a place in a file.
#pragma once
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

// The bytes of a file, those in [From, To) held back until the gate opens.
class GatedStream : public TStream {
public:
    GatedStream(std::string bytes, int64_t from, int64_t to) : FBytes(std::move(bytes)), FFrom(from), FTo(to) {}
    int64_t Read(void* buffer, int64_t count) override {
        count = std::clamp<int64_t>(count, 0, int64_t(FBytes.size()) - FPos);
        if (FPos + count > FFrom && FPos < FTo) {
            std::unique_lock l(FLock);
            FCv.wait(l, [&] { return FOpen; });
        }
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
    const std::string FBytes;
    const int64_t FFrom, FTo;
    int64_t FPos = 0;
    std::mutex FLock;
    std::condition_variable FCv;
    bool FOpen = false;
};
