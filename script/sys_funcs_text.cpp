#include "script/sys_funcs_text.h"

#include "script/param_collection.h"
#include "files/jstring.h"
#include "files/number_text.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <algorithm>
#include <climits>

namespace {

constexpr uint8_t fnIntToStr = 0, fnIntToHex = 1, fnLength = 5, fnJLength = 6, fnCopy = 7, fnJCopy = 8,
                  fnDelete = 9, fnJDelete = 10, fnInsert = 11, fnJInsert = 12, fnCompareStr = 13,
                  fnCompareText = 14, fnPos = 15, fnJPos = 16, fnTrim = 17, fnJTrim = 18, fnFixStr = 64,
                  fnLowerCase = 73, fnUpperCase = 74, fnExtractFilePath = 75, fnExtractFileName = 76,
                  fnExtractFileExt = 77, fnIsPathDelimiter = 78, fnAddBackSlash = 79, fnChangeFileExt = 80,
                  fnIsDelimiter = 81, fnStringOfChar = 82, fnStringReplace = 83, fnHanToZen = 85,
                  fnZenToHan = 86, fnAddDelimiter = 133, fnStrToIntDef = 138, fnStrToFloatDef = 139;

std::string pad_digits(std::string digits, int32_t width) {
    width = std::min(width, kMaxPadDigits);
    if (static_cast<int32_t>(digits.size()) < width) digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    return digits;
}

// "%.<Digits>d" as the format would read it, but with Digits taken only as a
// precision: the script's text never becomes a format of its own.
std::string int_to_str_digits(int32_t n, const std::string& digits) {
    int32_t width = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') throw EConvertError("Format '%." + digits + "d' invalid or incompatible with argument");
        width = std::min(width * 10 + (c - '0'), 1000);
    }
    const uint32_t mag = n < 0 ? 0u - static_cast<uint32_t>(n) : static_cast<uint32_t>(n);
    std::string text = pad_digits(std::to_string(mag), width);
    return n < 0 ? "-" + text : text;
}

std::string int_to_hex(int32_t n, int32_t digits) {
    static const char hex[] = "0123456789ABCDEF";
    uint32_t v = static_cast<uint32_t>(n);
    std::string text;
    do {
        text.insert(text.begin(), hex[v & 15u]);
        v >>= 4;
    } while (v);
    return pad_digits(std::move(text), digits);
}

// 1-based byte index and count, clamped the way scripts rely on.
std::string byte_copy(const std::string& s, int32_t index, int32_t count) {
    if (index < 1) index = 1;
    if (count <= 0 || static_cast<size_t>(index) > s.size()) return {};
    return s.substr(static_cast<size_t>(index) - 1, static_cast<size_t>(count));
}

void byte_delete(std::string& s, int32_t index, int32_t count) {
    if (index < 1 || count <= 0 || static_cast<size_t>(index) > s.size()) return;
    s.erase(static_cast<size_t>(index) - 1, static_cast<size_t>(count));
}

void byte_insert(const std::string& source, std::string& s, int32_t index) {
    size_t at = index < 1 ? 0 : std::min(static_cast<size_t>(index) - 1, s.size());
    s.insert(at, source);
}

int32_t compare_bytes(const std::string& a, const std::string& b, bool fold) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[i]);
        if (fold) {
            if (x >= 'a' && x <= 'z') x -= 32;
            if (y >= 'a' && y <= 'z') y -= 32;
        }
        if (x != y) return x - y;
    }
    return static_cast<int32_t>(a.size()) - static_cast<int32_t>(b.size());
}

bool is_char_start(const std::string& s, size_t i) {
    size_t k = 0;
    while (k < i) k += IsDBCSLeadByte(s[k]) ? 2 : 1;
    return k == i;
}

// A byte of S that is one of `set` and not the trail byte of a character.
bool is_delimiter_at(const std::string& set, const std::string& s, int32_t index) {
    if (index < 1 || static_cast<size_t>(index) > s.size()) return false;
    const size_t i = static_cast<size_t>(index) - 1;
    return set.find(s[i]) != std::string::npos && is_char_start(s, i) && !IsDBCSLeadByte(s[i]);
}

// Index just after the last "\" or ":" standing at a character start; 0 when none.
size_t after_last_delimiter(const std::string& s, std::string_view set) {
    size_t after = 0;
    for (size_t i = 0; i < s.size();) {
        if (IsDBCSLeadByte(s[i])) {
            i += 2;
            continue;
        }
        if (set.find(s[i]) != std::string_view::npos) after = i + 1;
        ++i;
    }
    return after;
}

// Position of the extension's dot, or npos.
size_t ext_dot(const std::string& s) {
    size_t dot = std::string::npos;
    for (size_t i = after_last_delimiter(s, "\\:"); i < s.size();) {
        if (IsDBCSLeadByte(s[i])) {
            i += 2;
            continue;
        }
        if (s[i] == '.') dot = i;
        ++i;
    }
    return dot;
}

std::string trim_bytes(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= 32) ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

std::string fix_str(const std::string& s) {
    const int L = static_cast<int>(s.size());
    if (L < 2) return s;
    if (IsDBCSLeadByte(s[L - 2]) && !JIsTrailByte(s, L - 1)) return s;
    return IsDBCSLeadByte(s[L - 1]) ? s.substr(0, s.size() - 1) : s;
}

std::string string_of(const std::string& s, int32_t n) {
    if (n <= 0 || s.empty()) return {};
    if (s.size() > kMaxBuiltText / static_cast<size_t>(n)) throw Exception("StringOfChar:Out of memory");
    std::string r;
    r.reserve(s.size() * static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) r += s;
    return r;
}

// Occurrences are found at character starts only, so a pattern never
// matches across a two-byte character's halves.
std::string string_replace(const std::string& s, const std::string& old_text, const std::string& new_text, bool all,
                           bool ignore_case) {
    if (old_text.empty()) return s;
    const std::string hay = ignore_case ? AnsiUpperCase(s) : s;
    const std::string needle = ignore_case ? AnsiUpperCase(old_text) : old_text;
    std::string out;
    size_t i = 0, copied = 0;
    while (i < s.size()) {
        if (hay.compare(i, needle.size(), needle) == 0) {
            out.append(s, copied, i - copied);
            out += new_text;
            i += needle.size();
            copied = i;
            if (!all) break;
            continue;
        }
        i += IsDBCSLeadByte(s[i]) ? 2 : 1;
    }
    out.append(s, std::min(copied, s.size()), std::string::npos);
    return out;
}

// Only a variable takes the edited text; a literal stays as compiled.
void write_back(TCustomParam* arg, const std::string& s) {
    if (arg->AsVar()) arg->SetAsString(s);
}

int32_t count_or(TSysFuncArgs a, size_t at, int32_t fallback) {
    return a.size() > at ? a[at]->GetAsInt() : fallback;
}

int32_t text_len(const std::string& s) { return static_cast<int32_t>(std::min<size_t>(s.size(), INT32_MAX)); }

}  // namespace

void CallTextFunction(TSysFuncMan&, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs a) {
    switch (index) {
    case fnIntToStr:
        dest.SetAsString(a.size() < 2 ? IntToStr(a[0]->GetAsInt())
                                      : int_to_str_digits(a[0]->GetAsInt(), a[1]->GetAsString()));
        break;
    case fnIntToHex: dest.SetAsString(int_to_hex(a[0]->GetAsInt(), a[1]->GetAsInt())); break;
    case fnLength: dest.SetAsInt(text_len(a[0]->GetAsString())); break;
    case fnJLength: dest.SetAsInt(JLength(a[0]->GetAsString())); break;
    case fnCopy: {
        const std::string s = a[0]->GetAsString();
        dest.SetAsString(byte_copy(s, a[1]->GetAsInt(), count_or(a, 2, text_len(s))));
        break;
    }
    case fnJCopy: {
        const std::string s = a[0]->GetAsString();
        dest.SetAsString(JCopy(s, a[1]->GetAsInt(), count_or(a, 2, text_len(s))));
        break;
    }
    case fnDelete: {
        std::string s = a[0]->GetAsString();
        byte_delete(s, a[1]->GetAsInt(), count_or(a, 2, text_len(s)));
        write_back(a[0], s);
        break;
    }
    case fnJDelete: {
        std::string s = a[0]->GetAsString();
        JDelete(s, a[1]->GetAsInt(), count_or(a, 2, JLength(s)));
        write_back(a[0], s);
        break;
    }
    case fnInsert: {
        std::string s = a[1]->GetAsString();
        byte_insert(a[0]->GetAsString(), s, a[2]->GetAsInt());
        write_back(a[1], s);
        break;
    }
    case fnJInsert: {
        std::string s = a[1]->GetAsString();
        JInsert(a[0]->GetAsString(), s, a[2]->GetAsInt());
        write_back(a[1], s);
        break;
    }
    case fnCompareStr: dest.SetAsInt(compare_bytes(a[0]->GetAsString(), a[1]->GetAsString(), false)); break;
    case fnCompareText: dest.SetAsInt(compare_bytes(a[0]->GetAsString(), a[1]->GetAsString(), true)); break;
    case fnPos: {
        const std::string sub = a[0]->GetAsString(), s = a[1]->GetAsString();
        const size_t at = sub.empty() ? std::string::npos : s.find(sub);
        dest.SetAsInt(at == std::string::npos ? 0 : static_cast<int32_t>(at) + 1);
        break;
    }
    case fnJPos: dest.SetAsInt(JPos(a[0]->GetAsString(), a[1]->GetAsString())); break;
    case fnTrim: dest.SetAsString(trim_bytes(a[0]->GetAsString())); break;
    case fnJTrim: dest.SetAsString(JTrim(a[0]->GetAsString())); break;
    case fnFixStr: dest.SetAsString(fix_str(a[0]->GetAsString())); break;
    case fnLowerCase: dest.SetAsString(AnsiLowerCase(a[0]->GetAsString())); break;
    case fnUpperCase: dest.SetAsString(AnsiUpperCase(a[0]->GetAsString())); break;
    case fnExtractFilePath: {
        const std::string s = a[0]->GetAsString();
        dest.SetAsString(s.substr(0, after_last_delimiter(s, "\\:")));
        break;
    }
    case fnExtractFileName: {
        const std::string s = a[0]->GetAsString();
        dest.SetAsString(s.substr(after_last_delimiter(s, "\\:")));
        break;
    }
    case fnExtractFileExt: {
        const std::string s = a[0]->GetAsString();
        const size_t dot = ext_dot(s);
        dest.SetAsString(dot == std::string::npos ? std::string() : s.substr(dot));
        break;
    }
    case fnChangeFileExt: {
        const std::string s = a[0]->GetAsString();
        const size_t dot = ext_dot(s);
        dest.SetAsString(s.substr(0, dot) + a[1]->GetAsString());
        break;
    }
    case fnIsPathDelimiter: dest.SetAsBool(is_delimiter_at("\\", a[0]->GetAsString(), a[1]->GetAsInt())); break;
    case fnIsDelimiter:
        dest.SetAsBool(is_delimiter_at(a[0]->GetAsString(), a[1]->GetAsString(), a[2]->GetAsInt()));
        break;
    case fnAddBackSlash: {
        std::string s = a[0]->GetAsString();
        if (!is_delimiter_at("\\", s, text_len(s))) s += '\\';
        dest.SetAsString(s);
        break;
    }
    case fnStringOfChar: dest.SetAsString(string_of(a[0]->GetAsString(), a[1]->GetAsInt())); break;
    case fnStringReplace:
        dest.SetAsString(string_replace(a[0]->GetAsString(), a[1]->GetAsString(), a[2]->GetAsString(),
                                        a.size() > 3 && a[3]->GetAsBool(), a.size() > 4 && a[4]->GetAsBool()));
        break;
    case fnHanToZen: dest.SetAsString(HanToZen(a[0]->GetAsString())); break;
    case fnZenToHan: dest.SetAsString(ZenToHan(a[0]->GetAsString())); break;
    case fnAddDelimiter: {
        const std::string s = a[1]->GetAsString();
        dest.SetAsString(s.empty() ? s : s + a[0]->GetAsString());
        break;
    }
    case fnStrToIntDef: dest.SetAsInt(StrToInt32Def(a[0]->GetAsString(), a[1]->GetAsInt())); break;
    case fnStrToFloatDef: {
        long double v;
        if (!TryStrToExtended(a[0]->GetAsString(), v)) v = a[1]->GetAsFloat();
        dest.SetAsFloat(v);
        break;
    }
    default: break;
    }
}
