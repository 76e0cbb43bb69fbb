#include "objects/stored_read.h"

#include "files/save_stream.h"
#include "platform/exception.h"
#include "platform/stream.h"

namespace {
void need(TStream& s, int64_t n) {
    if (s.Remaining() < n) throw ECorruptData("saved object record is truncated");
}
}  // namespace

void ReadStoredBytes(TStream& s, void* buffer, int32_t count) {
    need(s, count);
    s.ReadBuffer(buffer, count);
}

int32_t ReadStoredInt(TStream& s) {
    uint8_t b[4];
    ReadStoredBytes(s, b, 4);
    return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

uint32_t ReadStoredU32(TStream& s) { return static_cast<uint32_t>(ReadStoredInt(s)); }

uint8_t ReadStoredByte(TStream& s) {
    uint8_t b;
    ReadStoredBytes(s, &b, 1);
    return b;
}

std::string ReadStoredString(TStream& s) {
    need(s, 4);
    return ReadStreamString(s);  // checks the length against the bytes left
}
