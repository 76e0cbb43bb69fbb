// Conversions against tests/data/jtext/cp932_utf8.txt, made by
// tests/data/jtext/make_golden.py with Python's cp932 codec.
#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string from_hex(const std::string& h) {
    std::string out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

}  // namespace

TEST(CodePageGolden, Cp932AndUtf8AgreeWithPython) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/jtext/cp932_utf8.txt");
    std::string a, b, all_sjis, all_utf8;
    size_t rows = 0;
    while (f >> a >> b) {
        const std::string sjis = from_hex(a), utf8 = from_hex(b);
        EXPECT_EQ(Cp932ToUtf8(sjis), utf8) << a;
        EXPECT_EQ(Utf8ToCp932(utf8), sjis) << b;
        if (sjis.size() == 1) {
            EXPECT_FALSE(IsDBCSLeadByte(sjis[0])) << a;
        }
        if (sjis.size() == 2) {
            EXPECT_TRUE(IsDBCSLeadByte(sjis[0])) << a;
        }
        all_sjis += sjis;
        all_utf8 += utf8;
        ++rows;
    }
    ASSERT_EQ(rows, 447u);
    EXPECT_EQ(Cp932ToUtf8(all_sjis), all_utf8);
    EXPECT_EQ(Utf8ToCp932(all_utf8), all_sjis);
}

// Expected bytes from /usr/bin/python3: s.encode('cp932', 'replace') and
// b.decode('cp932', 'replace') (where Python gives U+FFFD we give '?').
TEST(CodePageGolden, UnconvertibleInputGivesOneQuestionMarkPerUnit) {
    EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80" "b"), "a?b");  // emoji, four UTF-8 bytes
    EXPECT_EQ(Utf8ToCp932("a\xC3\xA9" "b"), "a?b");          // e-acute
    EXPECT_EQ(Utf8ToCp932("a\xE2\x82\xAC" "b\xE2\x82\xAC"), "a?b?");  // euro sign
    EXPECT_EQ(Utf8ToCp932("\xE3\x81\x82\xC3\xA9\xE3\x81\x84"), "\x82\xA0?\x82\xA2");
    EXPECT_EQ(Utf8ToCp932("a\xE3\x81"), "a?");                // truncated character at the end
    EXPECT_EQ(Utf8ToCp932("a\xFF" "b"), "a?b");

    EXPECT_EQ(Cp932ToUtf8("a\x82"), "a?");                    // lone lead byte at the end
    EXPECT_EQ(Cp932ToUtf8("\x82\xA0\x82"), "\xE3\x81\x82?");
    EXPECT_EQ(Cp932ToUtf8("\x81\x20"), "? ");                 // bad trail byte is kept
    EXPECT_EQ(Cp932ToUtf8("\x85\x40" "b"), "?@b");            // unassigned pair
}
