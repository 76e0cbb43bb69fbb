#include "platform/codepage.h"
#include "platform/exception.h"

#include <iconv.h>

#include <cerrno>
#include <mutex>

std::string Exception::Utf8Message() const { return Cp932ToUtf8(message_); }

namespace {
template <bool Upper>
std::string fold_case(std::string_view s) {
    std::string r(s);
    for (size_t i = 0; i < r.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(r[i]);
        if (IsDBCSLeadByte(b)) {
            ++i;  // the trail byte is never a letter
            continue;
        }
        if (Upper) {
            if (b >= 'a' && b <= 'z') r[i] = static_cast<char>(b - 32);
        } else {
            if (b >= 'A' && b <= 'Z') r[i] = static_cast<char>(b + 32);
        }
    }
    return r;
}

// Bytes of the malformed or unmappable unit at p: a whole UTF-8 character
// (lead byte plus the continuation bytes present), so that one character
// gives one '?'; a single byte otherwise.
size_t bad_unit_size(bool utf8_source, const char* p, size_t left) {
    if (!utf8_source) return 1;
    const uint8_t lead = static_cast<uint8_t>(p[0]);
    size_t want = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
    if (lead > 0xF4) want = 1;
    size_t n = 1;
    while (n < want && n < left && (static_cast<uint8_t>(p[n]) & 0xC0) == 0x80) ++n;
    return n;
}

std::string convert(const char* to, const char* from, std::string_view in) {
    const bool utf8_source = std::string_view(from) == "UTF-8";
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::string out;
    out.resize(in.size() * 4 + 16);
    char* inp = const_cast<char*>(in.data());
    size_t inleft = in.size();
    char* outp = out.data();
    size_t outleft = out.size();
    while (inleft > 0) {
        size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(outp - out.data());
            out.resize(out.size() * 2);
            outp = out.data() + used;
            outleft = out.size() - used;
            continue;
        }
        // Invalid, unmappable or incomplete sequence: one '?' for the unit.
        if (outleft < 1) {
            size_t used = static_cast<size_t>(outp - out.data());
            out.resize(out.size() * 2);
            outp = out.data() + used;
            outleft = out.size() - used;
        }
        *outp++ = '?';
        --outleft;
        const size_t skip = bad_unit_size(utf8_source, inp, inleft);
        inp += skip;
        inleft -= skip;
    }
    out.resize(static_cast<size_t>(outp - out.data()));
    iconv_close(cd);
    return out;
}
}  // namespace

std::string AnsiUpperCase(std::string_view s) { return fold_case<true>(s); }
std::string AnsiLowerCase(std::string_view s) { return fold_case<false>(s); }

int AnsiCompareText(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    bool trail = false;
    for (size_t i = 0; i < n; ++i) {
        uint8_t x = static_cast<uint8_t>(a[i]);
        uint8_t y = static_cast<uint8_t>(b[i]);
        if (!trail) {
            if (x >= 'A' && x <= 'Z') x += 32;
            if (y >= 'A' && y <= 'Z') y += 32;
        }
        if (x != y) return x < y ? -1 : 1;
        trail = !trail && IsDBCSLeadByte(static_cast<uint8_t>(a[i]));
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int AnsiCompareStr(std::string_view a, std::string_view b) {
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

std::string Cp932ToUtf8(std::string_view sjis) { return convert("UTF-8", "CP932", sjis); }
std::string Utf8ToCp932(std::string_view utf8) { return convert("CP932", "UTF-8", utf8); }
