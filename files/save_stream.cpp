#include "files/save_stream.h"
#include "platform/exception.h"

#include <algorithm>
#include <vector>

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
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    if (count <= 0) return 0;
    if (auto* mem = dynamic_cast<TMemoryStream*>(&source)) {
        int64_t pos = mem->GetPosition();
        int64_t n = std::clamp<int64_t>(mem->GetSize() - pos, 0, count);
        dest.WriteBuffer(mem->Memory() + pos, n);
        mem->SetPosition(pos + n);
        return count;
    }
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 10 * 1024 * 1024)));
    int64_t left = count;
    while (left > 0) {
        int64_t got = source.Read(buf.data(), std::min<int64_t>(left, static_cast<int64_t>(buf.size())));
        if (got <= 0) break;
        dest.WriteBuffer(buf.data(), got);
        left -= got;
    }
    return count;
}
