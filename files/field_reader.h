// The one strict reader of stored forms. A reader of a file or record names
// each field as it reads it, in the order of the form's field table; any
// field that lies beyond the bytes left, any count that the bytes left
// cannot hold and any string longer than its limit raises ECorruptData with
// the form's message and the field's name, so a damaged file never reads
// as zeros, never allocates by an unchecked number and never loops.
#pragma once
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <string>

class FieldReader {
public:
    // Longest string a stored form may hold unless the caller says less.
    static constexpr uint32_t kStringLimit = 64u << 20;

    // Raises the failure of a form whose errors are a class of their own
    // (pictures raise their graphic error); by default ECorruptData.
    using Raise = void (*)(const std::string& message);

    // corrupt_message: the Shift-JIS text raised for this form.
    FieldReader(TStream& s, std::string corrupt_message, Raise raise = nullptr);

    TStream& Stream() { return s_; }
    int64_t Remaining() { return s_.Remaining(); }
    int64_t Position() { return s_.GetPosition(); }
    bool AtEnd() { return Remaining() <= 0; }
    const std::string& Message() const { return message_; }

    uint8_t U8(const char* field);
    bool Flag(const char* field) { return U8(field) != 0; }
    uint16_t U16(const char* field);
    int16_t I16(const char* field) { return static_cast<int16_t>(U16(field)); }
    uint32_t U32(const char* field);
    int32_t I32(const char* field) { return static_cast<int32_t>(U32(field)); }
    uint64_t U64(const char* field);
    int64_t I64(const char* field) { return static_cast<int64_t>(U64(field)); }
    // The 10-byte extended real, through the one codec.
    long double Extended(const char* field);
    double F64(const char* field);
    float F32(const char* field);

    // u32 length, then that many bytes; longer than limit or than the bytes
    // left is corrupt.
    std::string String(const char* field, uint32_t limit = kStringLimit);
    // Exactly n bytes as text.
    std::string Fixed(size_t n, const char* field);
    void Bytes(void* dst, size_t n, const char* field);
    void Skip(int64_t n, const char* field);

    // A u32 element count: refused when above limit or when count items of at
    // least min_item_bytes each cannot fit in the bytes left.
    uint32_t Count(const char* field, uint64_t min_item_bytes, uint32_t limit);
    // Checks an already-read count the same way.
    void CheckCount(uint64_t count, uint64_t min_item_bytes, uint64_t limit, const char* field);
    // Checks that n more bytes are there (for a block read by other code).
    void Need(int64_t n, const char* field);

    // "tag" followed by three decimal digits, e.g. "Tesk106": the number.
    // A different tag or a non-digit is corrupt.
    int TagVersion(const char* tag);
    // The same, but when the bytes are not that tag the stream goes back to
    // where it was and the answer is -1 (forms whose tag is optional).
    int OptionalTagVersion(const char* tag);
    // For forms whose tag is optional but, once there, must carry its
    // number: -1 (stream back where it was) when the bytes do not start with
    // the tag; the number when they do; corrupt when the digits are missing.
    int TagVersionIfTagged(const char* tag);

    [[noreturn]] void Fail(const char* field);

private:
    TStream& s_;
    std::string message_;
    Raise raise_;
};

// Parses the three digits after a tag in a buffer of tag + 3 bytes; -1 when
// the tag differs or a digit is missing.
int ParseTagVersion(const char* bytes, size_t size, const char* tag);
