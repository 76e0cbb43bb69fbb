// The strict field reader: every field cut short, every count beyond the
// bytes left and every string beyond its limit is refused with the form's
// message and the field's name; tags carry three digits.
#include "files/field_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

TMemoryStream stream_of(const std::string& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

// What a read of the bytes gives: its value as text, or the error message.
std::string outcome(const std::string& bytes, const std::function<std::string(FieldReader&)>& read) {
    TMemoryStream s = stream_of(bytes);
    FieldReader r(s, "form");
    try {
        return read(r);
    } catch (const ECorruptData& e) {
        return "error: " + e.Message();
    }
}

class GraphicError : public ECorruptData {
    using ECorruptData::ECorruptData;
};
[[noreturn]] void raise_graphic(const std::string& m) { throw GraphicError(m); }

}  // namespace

TEST(FieldReader, ReadsFieldsAndRefusesWhatTheBytesCannotHold) {
    using R = FieldReader&;
    struct Case {
        const char* what;
        std::string bytes;
        std::function<std::string(R)> read;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"little-endian u32", std::string("\x01\x02\x03\x04", 4), [](R r) { return std::to_string(r.U32("a")); },
         std::to_string(0x04030201)},
        {"i16 sign", "\xFE\xFF", [](R r) { return std::to_string(r.I16("a")); }, "-2"},
        {"u64", std::string("\x01\0\0\0\0\0\0\x80", 8), [](R r) { return std::to_string(r.U64("a")); },
         std::to_string(0x8000000000000001ull)},
        {"u32 cut short", "\x01\x02\x03", [](R r) { return std::to_string(r.U32("width")); }, "error: form (width)"},
        {"string", std::string("\x02\0\0\0hi", 6), [](R r) { return r.String("name"); }, "hi"},
        {"string past the end", std::string("\x03\0\0\0hi", 6), [](R r) { return r.String("name"); },
         "error: form (name)"},
        {"string over its limit", std::string("\x02\0\0\0hi", 6), [](R r) { return r.String("name", 1); },
         "error: form (name)"},
        {"huge string length", std::string("\xFF\xFF\xFF\xFF", 4), [](R r) { return r.String("name"); },
         "error: form (name)"},
        {"count that fits", std::string("\x02\0\0\0", 4) + std::string(8, 'x'),
         [](R r) { return std::to_string(r.Count("rows", 4, 10)); }, "2"},
        {"count beyond the bytes", std::string("\x03\0\0\0", 4) + std::string(8, 'x'),
         [](R r) { return std::to_string(r.Count("rows", 4, 10)); }, "error: form (rows)"},
        {"count over its limit", std::string("\x0B\0\0\0", 4), [](R r) { return std::to_string(r.Count("rows", 0, 10)); },
         "error: form (rows)"},
        {"skip past the end", "abc", [](R r) { r.Skip(4, "gap"); return std::string("read"); }, "error: form (gap)"},
        {"tag", "Tesk106x", [](R r) { return std::to_string(r.TagVersion("Tesk")); }, "106"},
        {"tag without digits", "Tesk1a6", [](R r) { return std::to_string(r.TagVersion("Tesk")); },
         "error: form (Tesk)"},
        {"optional tag absent", "abcdefg",
         [](R r) { const int v = r.OptionalTagVersion("Tesk"); return std::to_string(v) + "@" + std::to_string(r.Position()); },
         "-1@0"},
        {"tag if tagged, absent", "is",
         [](R r) { const int v = r.TagVersionIfTagged("Tesk"); return std::to_string(v) + "@" + std::to_string(r.Position()); },
         "-1@0"},
        {"tag if tagged, present", "is107", [](R r) { return std::to_string(r.TagVersionIfTagged("is")); }, "107"},
        {"tag if tagged, no digits", "is1x7", [](R r) { return std::to_string(r.TagVersionIfTagged("is")); },
         "error: form (is)"},
        {"tag if tagged, cut short", "is1", [](R r) { return std::to_string(r.TagVersionIfTagged("is")); },
         "error: form (is)"},
    };
    for (const Case& c : cases) EXPECT_EQ(outcome(c.bytes, c.read), c.want) << c.what;
}

TEST(FieldReader, AFormWithItsOwnErrorRaisesIt) {
    TMemoryStream s = stream_of("ab");
    FieldReader r(s, "picture", raise_graphic);
    try {
        r.U32("width");
        FAIL() << "read past the end";
    } catch (const GraphicError& e) {
        EXPECT_EQ(e.Message(), "picture (width)");
    }
}
