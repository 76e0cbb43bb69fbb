// Conversions against tests/data/jtext/cp932_utf8.txt, made by
// tests/data/jtext/make_golden.py with Python's cp932 codec.
#include "platform/codepage.h"

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
