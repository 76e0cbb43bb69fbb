#include "files/jstring.h"

#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

inline uint8_t byte_at(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

// Width in bytes of the character starting at byte i (0-based); a lead
// byte at the very end stands alone.
inline size_t char_width(std::string_view s, size_t i) {
    return (IsDBCSLeadByte(byte_at(s, i)) && i + 1 < s.size()) ? 2 : 1;
}

// 0-based byte offset of character CharIndex (1-based); s.size() past the end.
size_t char_offset(std::string_view s, int CharIndex) {
    size_t i = 0;
    const size_t n = s.size();
    while (CharIndex > 1 && i < n) {
        i += char_width(s, i);
        --CharIndex;
    }
    return i;
}

// Full-width forms of 0x20..0x7E.
constexpr uint16_t kAsciiZen[95] = {
    0x8140, 0x8149, 0x8168, 0x8194, 0x8190, 0x8193, 0x8195, 0x8166,  // space ! " # $ % & '
    0x8169, 0x816A, 0x8196, 0x817B, 0x8143, 0x817C, 0x8144, 0x815E,  // ( ) * + , - . /
    0x824F, 0x8250, 0x8251, 0x8252, 0x8253, 0x8254, 0x8255, 0x8256,  // 0..7
    0x8257, 0x8258, 0x8146, 0x8147, 0x8183, 0x8181, 0x8184, 0x8148,  // 8 9 : ; < = > ?
    0x8197, 0x8260, 0x8261, 0x8262, 0x8263, 0x8264, 0x8265, 0x8266,  // @ A..G
    0x8267, 0x8268, 0x8269, 0x826A, 0x826B, 0x826C, 0x826D, 0x826E,  // H..O
    0x826F, 0x8270, 0x8271, 0x8272, 0x8273, 0x8274, 0x8275, 0x8276,  // P..W
    0x8277, 0x8278, 0x8279, 0x816D, 0x818F, 0x816E, 0x814F, 0x8151,  // X Y Z [ \ ] ^ _
    0x8165, 0x8281, 0x8282, 0x8283, 0x8284, 0x8285, 0x8286, 0x8287,  // ` a..g
    0x8288, 0x8289, 0x828A, 0x828B, 0x828C, 0x828D, 0x828E, 0x828F,  // h..o
    0x8290, 0x8291, 0x8292, 0x8293, 0x8294, 0x8295, 0x8296, 0x8297,  // p..w
    0x8298, 0x8299, 0x829A, 0x816F, 0x8162, 0x8170, 0x8160,          // x y z { | } ~
};

// Full-width forms of the half-width katakana 0xA1..0xDF.
constexpr uint16_t kKanaZen[63] = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340,          // A1..A7
    0x8342, 0x8344, 0x8346, 0x8348, 0x8383, 0x8385, 0x8387, 0x8362,  // A8..AF
    0x815B, 0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C,  // B0..B7
    0x834E, 0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835A, 0x835C,  // B8..BF
    0x835E, 0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B,  // C0..C7
    0x836C, 0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D,  // C8..CF
    0x837E, 0x8380, 0x8381, 0x8382, 0x8384, 0x8386, 0x8388, 0x8389,  // D0..D7
    0x838A, 0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B,  // D8..DF
};

constexpr uint8_t kVoiced = 0xDE, kSemiVoiced = 0xDF;

// Only these rows merge with a following voicing mark; in all of them the
// voiced form is the next code and the semi-voiced one the code after.
constexpr bool merges_voiced(uint8_t b) { return (b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE); }
constexpr bool merges_semi_voiced(uint8_t b) { return b >= 0xCA && b <= 0xCE; }

// Half-width form of each full-width code with leads 0x81..0x83: first byte
// in the low half, a voicing mark (or 0) in the high half; 0 = none.
struct ZenHanTable {
    std::array<uint16_t, 3 * 256> half{};
    constexpr void put(uint16_t zen, uint8_t b, uint8_t mark = 0) {
        half[((zen >> 8) - 0x81) * 256 + (zen & 0xFF)] = static_cast<uint16_t>(b | (mark << 8));
    }
    constexpr ZenHanTable() {
        for (int c = 0x20; c <= 0x7E; ++c) put(kAsciiZen[c - 0x20], static_cast<uint8_t>(c));
        for (int k = 0xA1; k <= 0xDF; ++k) {
            const uint8_t b = static_cast<uint8_t>(k);
            put(kKanaZen[k - 0xA1], b);
            if (merges_voiced(b)) put(kKanaZen[k - 0xA1] + 1, b, kVoiced);
            if (merges_semi_voiced(b)) put(kKanaZen[k - 0xA1] + 2, b, kSemiVoiced);
        }
        put(0x8167, '"');               // the left double quote too
        put(0x8394, 0xB3, kVoiced);     // vu has no merged half-width form but splits
    }
    constexpr uint16_t lookup(uint8_t lead, uint8_t trail) const {
        return (lead >= 0x81 && lead <= 0x83) ? half[(lead - 0x81) * 256 + trail] : 0;
    }
};
constexpr ZenHanTable kZenHan;

inline void put_code(std::string& out, uint16_t code) {
    out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
}

}  // namespace

int JCharToByteIndex(std::string_view S, int CharIndex) {
    return static_cast<int>(char_offset(S, CharIndex)) + 1;
}

bool JIsTrailByte(std::string_view S, int Index) {
    if (Index < 1 || static_cast<size_t>(Index) > S.size()) throw Exception("Illegal Index");
    // A run of lead-range bytes always begins at a character start (it
    // follows a single byte, a trail outside the lead range, or the text's
    // start), so the parity of the run before Index decides.
    size_t run = 0;
    for (size_t i = static_cast<size_t>(Index) - 1; i > 0 && IsDBCSLeadByte(byte_at(S, i - 1)); --i) ++run;
    return (run & 1) != 0;
}

int JLength(std::string_view S) {
    int count = 0;
    for (size_t i = 0, n = S.size(); i < n; i += char_width(S, i)) ++count;
    return count;
}

int JPos(std::string_view Substr, std::string_view S) {
    if (Substr.empty()) return 0;
    // One forward walk over character starts, jumping ahead with find():
    // a hit on a trail byte is skipped and the search resumes after it.
    size_t walk = 0;
    int chars = 1;
    size_t from = 0;
    const size_t n = S.size();
    for (;;) {
        const size_t hit = S.find(Substr, from);
        if (hit == std::string_view::npos) return 0;
        while (walk < hit) {
            walk += char_width(S, walk);
            ++chars;
        }
        if (walk == hit) return chars;
        from = hit + 1;
        if (from >= n) return 0;
    }
}

std::string JCopy(std::string_view S, int Index, int Count) {
    if (S.empty() || Count <= 0) return {};
    // Characters whose index lies in [Index, Index + Count).
    const int64_t first = Index < 1 ? 1 : Index;
    const int64_t last_excl = static_cast<int64_t>(Index) + Count;
    if (last_excl <= first) return {};
    const size_t b = char_offset(S, static_cast<int>(first));
    size_t e = b;
    for (int64_t k = last_excl - first; k > 0 && e < S.size(); --k) e += char_width(S, e);
    return std::string(S.substr(b, e - b));
}

void JInsert(std::string_view Source, std::string& S, int Index) {
    S.insert(char_offset(S, Index < 1 ? 1 : Index), Source);
}

void JDelete(std::string& S, int Index, int Count) {
    if (Count <= 0) return;
    const size_t b = char_offset(S, Index < 1 ? 1 : Index);
    if (b >= S.size()) return;
    size_t e = b;
    for (int k = Count; k > 0 && e < S.size(); --k) e += char_width(S, e);
    S.erase(b, e - b);
}

void JFetchToken(std::string& S, std::string_view Delimiters, std::string& Token) {
    bool is_delim[256] = {};
    for (char c : Delimiters) is_delim[static_cast<uint8_t>(c)] = true;
    const size_t n = S.size();
    // Character starts are exactly the bytes that are not trail bytes.
    for (size_t i = 0; i < n; i += char_width(S, i)) {
        if (is_delim[static_cast<uint8_t>(S[i])]) {
            Token.assign(S, 0, i);
            S.erase(0, i + 1);
            return;
        }
    }
    Token = std::move(S);
    S.clear();
}

namespace {

// Length of the leading run of half- and full-width spaces.
size_t leading_spaces(std::string_view s) {
    size_t i = 0;
    for (;;) {
        if (i < s.size() && s[i] == ' ') ++i;
        else if (i + 1 < s.size() && byte_at(s, i) == 0x81 && byte_at(s, i + 1) == 0x40) i += 2;
        else return i;
    }
}

// Length of s once trailing half- and full-width spaces are removed; the
// bytes 0x81 0x40 count only when the 0x40 is a trail byte.
size_t without_trailing_spaces(std::string_view s) {
    size_t n = s.size();
    for (;;) {
        if (n > 0 && s[n - 1] == ' ') --n;
        else if (n >= 2 && byte_at(s, n - 1) == 0x40 && byte_at(s, n - 2) == 0x81 &&
                 JIsTrailByte(s, static_cast<int>(n))) n -= 2;
        else return n;
    }
}

}  // namespace

void JTrimLeft(std::string& S) { S.erase(0, leading_spaces(S)); }

void JTrimRight(std::string& S) { S.resize(without_trailing_spaces(S)); }

std::string JTrim(std::string_view S) {
    const size_t b = leading_spaces(S);
    const std::string_view rest = S.substr(b);
    return std::string(rest.substr(0, without_trailing_spaces(rest)));
}

int JCharCodeAt(std::string_view S, int CharIndex) {
    if (CharIndex < 1) return 0;
    const size_t i = char_offset(S, CharIndex);
    if (i >= S.size()) return 0;
    if (char_width(S, i) == 2) return byte_at(S, i) * 256 + byte_at(S, i + 1);
    return byte_at(S, i);
}

std::string HanToZen(std::string_view S) {
    std::string out;
    out.reserve(S.size() * 2);
    const size_t n = S.size();
    for (size_t i = 0; i < n;) {
        const uint8_t b = byte_at(S, i);
        if (IsDBCSLeadByte(b)) {
            const size_t w = char_width(S, i);
            out.append(S.substr(i, w));
            i += w;
            continue;
        }
        ++i;
        if (b >= 0x20 && b <= 0x7E) {
            put_code(out, kAsciiZen[b - 0x20]);
        } else if (b >= 0xA1 && b <= 0xDF) {
            uint16_t code = kKanaZen[b - 0xA1];
            const uint8_t next = i < n ? byte_at(S, i) : 0;
            if (next == kVoiced && merges_voiced(b)) {
                code += 1;
                ++i;
            } else if (next == kSemiVoiced && merges_semi_voiced(b)) {
                code += 2;
                ++i;
            }
            put_code(out, code);
        }
        // Control bytes, 0x7F, 0x80, 0xA0 and 0xFD..0xFF have no full-width form.
    }
    return out;
}

std::string ZenToHan(std::string_view S) {
    std::string out;
    out.reserve(S.size());
    const size_t n = S.size();
    for (size_t i = 0; i < n;) {
        const uint8_t b = byte_at(S, i);
        if (!IsDBCSLeadByte(b)) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        // A lone lead byte at the end has no half-width form either.
        if (i + 1 < n) {
            const uint16_t half = kZenHan.lookup(b, byte_at(S, i + 1));
            if (half) {
                out.push_back(static_cast<char>(half & 0xFF));
                if (half >> 8) out.push_back(static_cast<char>(half >> 8));
            }
        }
        i += 2;
    }
    return out;
}

std::string JisToShiftJis(int Row, int Cell) {
    int second;
    if (Row & 1) second = Cell + (Cell < 96 ? 31 : 32);
    else second = Cell + 126;
    const int first = (Row + 1) / 2 + (Row < 95 ? 112 : 176);
    std::string out(2, '\0');
    out[0] = static_cast<char>(first & 0xFF);
    out[1] = static_cast<char>(second & 0xFF);
    return out;
}

std::string EucJpToShiftJis(std::string_view S) {
    std::string out;
    out.reserve(S.size());
    const size_t n = S.size();
    for (size_t i = 0; i < n;) {
        const uint8_t b = byte_at(S, i);
        if (b < 0x81 || b > 0xFE) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        // A text cut inside a character ends there: the half character is dropped.
        if (i + 1 >= n) break;
        const uint8_t next = byte_at(S, i + 1);
        if (b == 0x8E) out.push_back(static_cast<char>(next));
        else out += JisToShiftJis(b & 0x7F, next & 0x7F);
        i += 2;
    }
    return out;
}
