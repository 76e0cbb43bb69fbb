// Code page 932 services: the lead-byte test, ANSI case folding and
// comparison (ASCII letters only; double-byte characters are left alone),
// and conversion to and from UTF-8 at the platform boundary.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsDBCSLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
inline bool IsDBCSLeadByte(char c) { return IsDBCSLeadByte(static_cast<uint8_t>(c)); }

std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
// Case-insensitive comparison (<0, 0, >0), folding ASCII letters outside
// double-byte characters; ordering is by the folded bytes.
int AnsiCompareText(std::string_view a, std::string_view b);
// Case-sensitive comparison by bytes.
int AnsiCompareStr(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);

// CP932 <-> UTF-8 through iconv. Each byte that is not valid CP932 becomes
// '?' (to UTF-8, a lone lead byte at the end included); each character that
// CP932 cannot represent, or malformed UTF-8 unit, becomes one '?' (to CP932).
// Conversion never throws.
std::string Cp932ToUtf8(std::string_view sjis);
std::string Utf8ToCp932(std::string_view utf8);

// Names the system gives (file and folder names, environment values) as
// engine text and back, without loss: each character that code page 932
// holds and gives back unchanged is converted; every other byte (a
// character outside the code page, a "\" that would read as a delimiter,
// bytes that are no UTF-8) is carried as one double-byte character that
// the code page leaves unassigned (lead 0x85 or 0x86), which
// SjisToSystemName turns back into that byte. So a folder named "Café" or
// "한국" reaches its files again, string routines see whole double-byte
// characters, never a stray "\", and a user-defined character of a game's
// file name (0xF040-0xF9FC) stays the private-use character it names.
// A byte of engine text that begins no character of the code page stays
// that byte in the system's name, never a stand-in such as "?".
std::string SystemNameToSjis(std::string_view native);
std::string SjisToSystemName(std::string_view sjis);
// One way a name may be spelt on disc.
struct SystemSpelling {
    std::string Name;
    // The raw Shift-JIS bytes, whose letters fold only outside double-byte
    // characters; the others are UTF-8, where no byte of a multi-byte
    // character is ASCII and every ASCII letter folds.
    bool SjisBytes = false;
};
// The names a game's name (Shift-JIS) may have on disc, each once, the code
// page 932 spelling (SjisToSystemName) first: a game unpacked on Linux
// without converting names has them as JIS-style converters write them
// ("～" 81 60 is U+301C there, and glibc's also turns "~" into "‾" U+203E and
// "\" into "¥"), as JIS X 0213 converters write them (glibc's and Python's,
// which differ in a few characters, such as 81 5C U+2014 against U+2015),
// or as the raw Shift-JIS bytes. Carried bytes are restored in each as
// SjisToSystemName restores them.
std::vector<SystemSpelling> SystemNameSpellings(std::string_view sjis);

// Japanese literals are written once in source as UTF-8 and turned into
// Shift-JIS here.
inline std::string Sjis(std::string_view utf8) { return Utf8ToCp932(utf8); }
