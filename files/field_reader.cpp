#include "files/field_reader.h"

#include "files/extended.h"

#include <algorithm>
#include <cstring>

FieldReader::FieldReader(TStream& s, std::string corrupt_message, Raise raise)
    : s_(s), message_(std::move(corrupt_message)), raise_(raise) {}

void FieldReader::Fail(const char* field) {
    std::string message = message_ + " (" + field + ")";
    if (raise_) raise_(message);
    throw ECorruptData(message);
}

void FieldReader::Bytes(void* dst, size_t n, const char* field) {
    if (n == 0) return;
    if (s_.Read(dst, static_cast<int64_t>(n)) != static_cast<int64_t>(n)) Fail(field);
}

uint8_t FieldReader::U8(const char* field) {
    uint8_t b;
    Bytes(&b, 1, field);
    return b;
}

uint16_t FieldReader::U16(const char* field) {
    uint8_t b[2];
    Bytes(b, 2, field);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t FieldReader::U32(const char* field) {
    uint8_t b[4];
    Bytes(b, 4, field);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint64_t FieldReader::U64(const char* field) {
    const uint64_t lo = U32(field);
    return lo | uint64_t(U32(field)) << 32;
}

long double FieldReader::Extended(const char* field) {
    uint8_t b[ExtendedSize];
    Bytes(b, ExtendedSize, field);
    return LoadExtended(b);
}

double FieldReader::F64(const char* field) {
    double v;
    Bytes(&v, sizeof v, field);
    return v;
}

float FieldReader::F32(const char* field) {
    float v;
    Bytes(&v, sizeof v, field);
    return v;
}

std::string FieldReader::String(const char* field, uint32_t limit) {
    const uint32_t n = U32(field);
    if (n > limit || n > static_cast<uint64_t>(std::max<int64_t>(0, s_.Remaining()))) Fail(field);
    std::string v(n, '\0');
    Bytes(v.data(), n, field);
    return v;
}

std::string FieldReader::Fixed(size_t n, const char* field) {
    Need(static_cast<int64_t>(n), field);
    std::string v(n, '\0');
    Bytes(v.data(), n, field);
    return v;
}

void FieldReader::Need(int64_t n, const char* field) {
    if (n < 0 || n > s_.Remaining()) Fail(field);
}

void FieldReader::Skip(int64_t n, const char* field) {
    Need(n, field);
    s_.Seek(n, SeekOrigin::Current);
}

void FieldReader::CheckCount(uint64_t count, uint64_t min_item_bytes, uint64_t limit, const char* field) {
    if (count > limit) Fail(field);
    const int64_t left = std::max<int64_t>(0, s_.Remaining());
    // count <= limit <= 2^32 and min_item_bytes is a record size: no overflow.
    if (min_item_bytes > 0 && count * min_item_bytes > static_cast<uint64_t>(left)) Fail(field);
}

uint32_t FieldReader::Count(const char* field, uint64_t min_item_bytes, uint32_t limit) {
    const uint32_t n = U32(field);
    CheckCount(n, min_item_bytes, limit, field);
    return n;
}

int ParseTagVersion(const char* bytes, size_t size, const char* tag) {
    const size_t t = std::strlen(tag);
    if (size < t + 3 || std::memcmp(bytes, tag, t) != 0) return -1;
    int v = 0;
    for (size_t i = t; i < t + 3; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9') return -1;
        v = v * 10 + (bytes[i] - '0');
    }
    return v;
}

int FieldReader::TagVersion(const char* tag) {
    const std::string b = Fixed(std::strlen(tag) + 3, tag);
    const int v = ParseTagVersion(b.data(), b.size(), tag);
    if (v < 0) Fail(tag);
    return v;
}

int FieldReader::OptionalTagVersion(const char* tag) {
    const int64_t start = s_.GetPosition();
    const size_t n = std::strlen(tag) + 3;
    std::string b(n, '\0');
    const int v = s_.Read(b.data(), static_cast<int64_t>(n)) == static_cast<int64_t>(n)
                      ? ParseTagVersion(b.data(), n, tag)
                      : -1;
    if (v < 0) s_.SetPosition(start);
    return v;
}

int FieldReader::TagVersionIfTagged(const char* tag) {
    const int64_t start = s_.GetPosition();
    const size_t n = std::strlen(tag);
    std::string b(n, '\0');
    const bool tagged = s_.Read(b.data(), static_cast<int64_t>(n)) == static_cast<int64_t>(n) && b == tag;
    s_.SetPosition(start);
    return tagged ? TagVersion(tag) : -1;
}
