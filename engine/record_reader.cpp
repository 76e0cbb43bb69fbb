#include "engine/record_reader.h"

#include "engine/parser.h"
#include "platform/codepage.h"
#include "platform/exception.h"

namespace {

void read_exact(TStream& s, void* buf, int64_t n) {
    if (s.Read(buf, n) != n) RaiseTruncatedRecord();
}

}  // namespace

[[noreturn]] void RaiseTruncatedRecord() { throw ECorruptData(Sjis("コマンドのデータが途中で切れています")); }

uint32_t ReadRecordU32(TStream& s) {
    uint8_t b[4];
    read_exact(s, b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

int32_t ReadRecordI32(TStream& s) { return static_cast<int32_t>(ReadRecordU32(s)); }

uint8_t ReadRecordU8(TStream& s) {
    uint8_t b;
    read_exact(s, &b, 1);
    return b;
}

std::string ReadRecordString(TStream& s) {
    const uint32_t n = ReadRecordU32(s);
    if (n > static_cast<uint64_t>(s.Remaining())) RaiseTruncatedRecord();
    std::string v(n, '\0');
    read_exact(s, v.data(), n);
    return v;
}

std::unique_ptr<TVorqParser> ReadRecordExpr(TStream& s) {
    auto e = std::make_unique<TVorqParser>();
    e->LoadFromStream(s);
    return e;
}
