// Checks against tables made by tests/data/jtext/make_golden.py from
// Python's cp932 and euc_jp codecs and Unicode normalisation.
#include "files/jstring.h"

#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace {

std::string from_hex(const std::string& h) {
    std::string out;
    if (h == "-") return out;
    for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<std::pair<std::string, std::string>> read_pairs(const char* name) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/jtext/" + name);
    std::vector<std::pair<std::string, std::string>> rows;
    std::string a, b;
    while (f >> a >> b) rows.emplace_back(from_hex(a), from_hex(b));
    return rows;
}

std::string read_file(const char* name) {
    std::ifstream f(std::string(VORQ_TEST_DATA) + "/jtext/" + name, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

std::string hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

}  // namespace

TEST(JStringGolden, HanToZenEverySingleByteAndVoicedPair) {
    const auto rows = read_pairs("hanzen.txt");
    ASSERT_EQ(rows.size(), 322u);
    for (const auto& [in, out] : rows) EXPECT_EQ(hex(HanToZen(in)), hex(out)) << "input " << hex(in);
}

TEST(JStringGolden, ZenToHanEveryTwoByteCode) {
    std::map<std::string, std::string> table;
    for (const auto& [in, out] : read_pairs("zenhan.txt")) table[in] = out;
    ASSERT_EQ(table.size(), 185u);
    size_t kept = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsDBCSLeadByte(static_cast<uint8_t>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            const auto it = table.find(code);
            const std::string want = it == table.end() ? "" : it->second;
            ASSERT_EQ(hex(ZenToHan("<" + code + ">")), hex("<" + want + ">")) << "code " << hex(code);
            kept += it != table.end();
        }
    }
    EXPECT_EQ(kept, 185u);
}

TEST(JStringGolden, JisToShiftJisEveryDefinedCode) {
    const auto rows = read_pairs("jis_sjis.txt");
    ASSERT_EQ(rows.size(), 6879u);
    for (const auto& [jis, sjis] : rows) {
        const int row = static_cast<uint8_t>(jis[0]), cell = static_cast<uint8_t>(jis[1]);
        ASSERT_EQ(hex(JisToShiftJis(row, cell)), hex(sjis)) << "jis " << hex(jis);
        const std::string euc{static_cast<char>(row | 0x80), static_cast<char>(cell | 0x80)};
        ASSERT_EQ(EucJpToShiftJis(euc), sjis);
    }
}

TEST(JStringGolden, EucJpText) {
    const std::string euc = read_file("eucjp_sample.euc");
    const std::string sjs = read_file("eucjp_sample.sjs");
    ASSERT_GT(euc.size(), 200u);
    EXPECT_EQ(EucJpToShiftJis(euc), sjs);
    // Cut at every length: never longer than the whole, never reading past.
    for (size_t n = 0; n < euc.size(); ++n) {
        const std::string part = EucJpToShiftJis(euc.substr(0, n));
        ASSERT_EQ(part, sjs.substr(0, part.size())) << n;
    }
}
