#include "files/jstring.h"

#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Hiragana "a" and katakana "so" (whose trail byte 0x5C is a backslash).
const std::string kA = "\x82\xA0";
const std::string kSo = "\x83\x5C";

// Reference: character starts found by walking forward from the first byte.
std::vector<bool> char_starts(const std::string& s) {
    std::vector<bool> starts(s.size(), false);
    for (size_t i = 0; i < s.size();) {
        starts[i] = true;
        i += IsDBCSLeadByte(s[i]) ? 2 : 1;
    }
    return starts;
}

std::string random_sjis(std::mt19937& rng, size_t n) {
    // Bias towards lead-range bytes so that long lead runs occur.
    static const uint8_t pool[] = {0x20, 0x41, 0x5C, 0x40, 0x81, 0x82, 0x83, 0x9F, 0xE0, 0xFC, 0xB1, 0xDE};
    std::string s;
    for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(pool[rng() % sizeof pool]));
    return s;
}

}  // namespace

TEST(JString, LengthAndCharCode) {
    const std::string s = kA + "A";
    EXPECT_EQ(JLength(s), 2);
    EXPECT_EQ(JCharCodeAt(s, 1), 0x82A0);
    EXPECT_EQ(JCharCodeAt(s, 2), 65);
    EXPECT_EQ(JCharCodeAt(s, 3), 0);
    EXPECT_EQ(JCharCodeAt(s, 0), 0);
    EXPECT_EQ(JLength(""), 0);
    // A lone lead byte at the end counts as one character and is not joined
    // with bytes beyond the text.
    EXPECT_EQ(JLength("A\x82"), 2);
    EXPECT_EQ(JCharCodeAt("A\x82", 2), 0x82);
    EXPECT_EQ(JCharToByteIndex(s, 1), 1);
    EXPECT_EQ(JCharToByteIndex(s, 2), 3);
    EXPECT_EQ(JCharToByteIndex(s, 9), 4);
    EXPECT_EQ(JCharToByteIndex("A\x82", 9), 3);
}

TEST(JString, TrailByteMatchesForwardWalkAndChecksIndex) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const std::string s = random_sjis(rng, 1 + rng() % 40);
        const auto starts = char_starts(s);
        for (size_t i = 0; i < s.size(); ++i)
            ASSERT_EQ(JIsTrailByte(s, static_cast<int>(i + 1)), !starts[i]) << "round " << round << " byte " << i;
    }
    EXPECT_FALSE(JIsTrailByte("\x82", 1));
    EXPECT_THROW(JIsTrailByte("abc", 0), Exception);
    EXPECT_THROW(JIsTrailByte("abc", 4), Exception);
    try {
        JIsTrailByte("", 1);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Illegal Index");
    }
}

TEST(JString, PosFindsOnlyAtCharacterStarts) {
    // The backslash is the trail byte of "so": not a match there.
    EXPECT_EQ(JPos("\\", kSo + "\\"), 2);
    EXPECT_EQ(JPos("\\", kSo), 0);
    EXPECT_EQ(JPos("", "abc"), 0);
    EXPECT_EQ(JPos("c", "abc"), 3);
    EXPECT_EQ(JPos("abcd", "abc"), 0);
    EXPECT_EQ(JPos("B", kA + kA + "B"), 3);
    // "\x83\x5C\x83" occurs first straddling a character boundary.
    const std::string t = "\x81\x83\x5C" + kSo;
    EXPECT_EQ(JPos("\x83\x5C", t), 3);
    // Same answers as a character-by-character search on random texts.
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const std::string s = random_sjis(rng, rng() % 30);
        const std::string sub = random_sjis(rng, 1 + rng() % 3);
        const auto starts = char_starts(s);
        int expect = 0, chars = 0;
        for (size_t i = 0; i < s.size(); ++i) {
            if (!starts[i]) continue;
            ++chars;
            if (s.compare(i, sub.size(), sub) == 0 && i + sub.size() <= s.size()) {
                expect = chars;
                break;
            }
        }
        ASSERT_EQ(JPos(sub, s), expect) << round;
    }
}

TEST(JString, CopyInsertDeleteKeepCharactersWhole) {
    const std::string s = "A" + kA + "B";
    EXPECT_EQ(JCopy(s, 2, 1), kA);
    EXPECT_EQ(JCopy(s, 1, 2), "A" + kA);
    EXPECT_EQ(JCopy(s, 2, 100), kA + "B");
    EXPECT_EQ(JCopy(s, 4, 1), "");
    EXPECT_EQ(JCopy(s, 0, 2), "A");   // indexes 0 and 1
    EXPECT_EQ(JCopy(s, 1, 0), "");
    EXPECT_EQ(JCopy(s, 1, -3), "");
    EXPECT_EQ(JCopy("", 1, 1), "");
    EXPECT_EQ(JCopy(s, 2, 0x7FFFFFFF), kA + "B");

    std::string t = s;
    JInsert("x", t, 3);
    EXPECT_EQ(t, "A" + kA + "xB");
    t = s;
    JInsert("x", t, -5);
    EXPECT_EQ(t, "xA" + kA + "B");
    t = s;
    JInsert(kSo, t, 99);
    EXPECT_EQ(t, s + kSo);

    t = s;
    JDelete(t, 2, 1);
    EXPECT_EQ(t, "AB");
    t = s;
    JDelete(t, 0, 2);
    EXPECT_EQ(t, "B");
    t = s;
    JDelete(t, 4, 1);
    EXPECT_EQ(t, s);
    t = s;
    JDelete(t, 2, 50);
    EXPECT_EQ(t, "A");
    t = s;
    JDelete(t, 1, 0);
    EXPECT_EQ(t, s);
}

TEST(JString, FetchTokenSkipsTrailBytes) {
    std::string s = kSo + "a\\b\\c", tok;
    JFetchToken(s, "\\", tok);
    EXPECT_EQ(tok, kSo + "a");
    EXPECT_EQ(s, "b\\c");
    JFetchToken(s, ",\\", tok);
    EXPECT_EQ(tok, "b");
    EXPECT_EQ(s, "c");
    JFetchToken(s, ",", tok);
    EXPECT_EQ(tok, "c");
    EXPECT_EQ(s, "");
    JFetchToken(s, ",", tok);
    EXPECT_EQ(tok, "");
    s = "a,b";
    JFetchToken(s, "", tok);
    EXPECT_EQ(tok, "a,b");
    EXPECT_EQ(s, "");
    s = ",x";
    JFetchToken(s, ",", tok);
    EXPECT_EQ(tok, "");
    EXPECT_EQ(s, "x");
}

TEST(JString, Trim) {
    const std::string zsp = "\x81\x40";
    EXPECT_EQ(JTrim(zsp + "x "), "x");
    EXPECT_EQ(JTrim(" " + zsp + " " + kA + " " + zsp), kA);
    EXPECT_EQ(JTrim(zsp + zsp), "");
    std::string s = "  " + zsp + "a ";
    JTrimLeft(s);
    EXPECT_EQ(s, "a ");
    JTrimRight(s);
    EXPECT_EQ(s, "a");
    // 0x81 0x40 at the end whose 0x40 ends another character is not a space:
    // here 0x81 is the trail byte of 0x81 0x81, and 0x40 stands alone.
    s = "\x81\x81\x40";
    JTrimRight(s);
    EXPECT_EQ(s, "\x81\x81\x40");
    s = "\x81\x81\x81\x40";
    JTrimRight(s);
    EXPECT_EQ(s, "\x81\x81");
}

TEST(JString, HanZenEdgeCases) {
    // Half-width ha + semi-voiced mark is one full-width pa.
    EXPECT_EQ(HanToZen("\xCA\xDF"), "\x83\x70");
    EXPECT_EQ(HanToZen("A1"), "\x82\x60\x82\x50");
    // u + voiced mark does not merge.
    EXPECT_EQ(HanToZen("\xB3\xDE"), "\x83\x45\x81\x4A");
    EXPECT_EQ(HanToZen(std::string("a\x01\x7F\xA0\xFD", 5)), "\x82\x81");
    EXPECT_EQ(HanToZen(kA + "\x82"), kA + "\x82");
    EXPECT_EQ(ZenToHan(Sjis("ひらがな漢字")), "");
    EXPECT_EQ(ZenToHan(Sjis("ＡＢｃ１２")), "ABc12");
    EXPECT_EQ(ZenToHan(Sjis("パ")), "\xCA\xDF");
    EXPECT_EQ(ZenToHan("x\x83"), "x");
}

TEST(JString, EucJp) {
    EXPECT_EQ(EucJpToShiftJis("\xA4\xA2"), "\x82\xA0");
    EXPECT_EQ(EucJpToShiftJis("a\x8E\xB1z"), "a\xB1z");
    // Texts cut inside a character: nothing is read past the end.
    EXPECT_EQ(EucJpToShiftJis("a\xA4"), "a");
    EXPECT_EQ(EucJpToShiftJis("a\x8E"), "a");
    EXPECT_EQ(JisToShiftJis(0x21, 0x21), "\x81\x40");
    EXPECT_EQ(JisToShiftJis(0x7E, 0x7E), "\xEF\xFC");
}
