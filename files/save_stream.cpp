#include "files/save_stream.h"
#include "platform/exception.h"

#include <algorithm>
#include <memory>
#include <new>

void WriteStreamString(TStream& s, const std::string& v) {
    WriteStreamInteger(s, static_cast<int32_t>(v.size()));
    if (!v.empty()) s.WriteBuffer(v.data(), static_cast<int64_t>(v.size()));
}

void WriteStreamInteger(TStream& s, int32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    s.WriteBuffer(b, 4);
}

void WriteStreamByte(TStream& s, uint8_t v) { s.WriteBuffer(&v, 1); }

std::string ReadStreamString(TStream& s) {
    int32_t len = ReadStreamInteger(s);
    if (len <= 0) return {};
    if (len > s.Remaining()) throw ECorruptData("Stored string of " + std::to_string(len) + " bytes runs past the end of the data");
    std::string r(static_cast<size_t>(len), '\0');
    s.ReadBuffer(r.data(), len);
    return r;
}

int32_t ReadStreamInteger(TStream& s) {
    uint8_t b[4] = {0, 0, 0, 0};
    s.Read(b, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
}

uint8_t ReadStreamByte(TStream& s) {
    uint8_t b = 0;
    s.Read(&b, 1);
    return b;
}

int64_t CopyStream(TStream& dest, TStream& source, int64_t count) {
    return count == 0 ? CopyStreamAll(dest, source) : CopyStreamBytes(dest, source, count);
}

int64_t CopyStreamAll(TStream& dest, TStream& source) {
    source.SetPosition(0);
    return CopyStreamBytes(dest, source, source.GetSize());
}

int64_t CopyStreamBytes(TStream& dest, TStream& source, int64_t count) {
    if (count <= 0) return 0;
    if (auto* mem = dynamic_cast<TMemoryStream*>(&source)) {
        // Straight from its memory, no buffer.
        int64_t pos = mem->GetPosition();
        int64_t n = std::clamp<int64_t>(mem->GetSize() - pos, 0, count);
        dest.WriteBuffer(mem->Memory() + pos, n);
        mem->SetPosition(pos + n);
        return n;
    }
    // One buffer for the whole copy: up to 10 MiB, 1 MiB less per failed
    // allocation.
    constexpr int64_t kStep = 1024 * 1024;
    std::unique_ptr<uint8_t[]> buf;
    int64_t size = std::min<int64_t>(count, 10 * kStep);
    for (;;) {
        try {
            buf.reset(new uint8_t[static_cast<size_t>(size)]);
            break;
        } catch (const std::bad_alloc&) {
            size -= kStep;
            if (size <= 0) throw;
        }
    }
    int64_t done = 0;
    while (done < count) {
        int64_t got = source.Read(buf.get(), std::min(count - done, size));
        if (got <= 0) break;
        dest.WriteBuffer(buf.get(), got);
        done += got;
    }
    return done;
}
