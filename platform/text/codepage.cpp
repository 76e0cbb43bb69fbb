#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <iconv.h>

#include <cerrno>
#include <array>
#include <cstring>
#include <mutex>
#include <span>

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

// A descriptor opened once, since opening one costs more than converting a
// name, and shared by the threads one at a time. Never closed: names may
// still be converted while the process ends.
struct SharedDescriptor {
    SharedDescriptor(const char* to, const char* from) : Cd(iconv_open(to, from)) {}
    std::mutex Lock;
    const iconv_t Cd;
};

// Each unit that does not convert becomes one '?', or with keep_bad_units
// stays the byte it was.
std::string convert(SharedDescriptor& d, bool utf8_source, std::string_view in, bool keep_bad_units = false) {
    const iconv_t cd = d.Cd;
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    std::lock_guard guard(d.Lock);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
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
        const size_t skip = bad_unit_size(utf8_source, inp, inleft);
        const size_t put = keep_bad_units ? skip : 1;
        if (outleft < put) {
            size_t used = static_cast<size_t>(outp - out.data());
            out.resize(out.size() * 2 + put);
            outp = out.data() + used;
            outleft = out.size() - used;
        }
        if (keep_bad_units) std::memcpy(outp, inp, skip);
        else *outp = '?';
        outp += put;
        outleft -= put;
        inp += skip;
        inleft -= skip;
    }
    out.resize(static_cast<size_t>(outp - out.data()));
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

std::string Cp932ToUtf8(std::string_view sjis) {
    static SharedDescriptor& d = *new SharedDescriptor("UTF-8", "CP932");
    return convert(d, false, sjis);
}

std::string Utf8ToCp932(std::string_view utf8) {
    static SharedDescriptor& d = *new SharedDescriptor("CP932", "UTF-8");
    return convert(d, true, utf8);
}

namespace {
// A system name's byte carried in engine text, in codes that code page 932
// leaves unassigned, so that no game name holds one and user-defined
// characters (0xF040-0xF9FC) stay characters of their own: 0x80-0xFF as
// lead 0x85 or 0x86 with a trail of 0x80-0xBF, "\" as 0x85 0xC0. Trail
// bytes from 0x80 up are never ASCII, so no carried byte reads as a
// delimiter or a dot.
constexpr uint8_t kCarrierLead = 0x85;
constexpr uint8_t kCarriedBackslashTrail = 0xC0;

void carry_byte(std::string& out, uint8_t b) {
    if (b == '\\') {
        out += static_cast<char>(kCarrierLead);
        out += static_cast<char>(kCarriedBackslashTrail);
        return;
    }
    const unsigned i = b - 0x80u;
    out += static_cast<char>(kCarrierLead + i / 64);
    out += static_cast<char>(0x80 + i % 64);
}

// The byte a double-byte character carries, or -1 for any other character.
int carried_byte(uint8_t lead, uint8_t trail) {
    if (lead == kCarrierLead && trail == kCarriedBackslashTrail) return '\\';
    if (trail < 0x80 || trail > 0xBF) return -1;
    if (lead == kCarrierLead || lead == kCarrierLead + 1) return 0x80 + (lead - kCarrierLead) * 64 + (trail - 0x80);
    return -1;
}

// One iconv descriptor for many short conversions that must succeed whole.
class StrictConverter {
public:
    StrictConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~StrictConverter() {
        if (ok()) iconv_close(cd_);
    }
    StrictConverter(const StrictConverter&) = delete;
    StrictConverter& operator=(const StrictConverter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    bool convert(std::string_view in, std::string& out) {
        if (!ok()) return false;
        out.resize(in.size() * 4 + 8);
        char* inp = const_cast<char*>(in.data());
        size_t inleft = in.size();
        char* outp = out.data();
        size_t outleft = out.size();
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &inp, &inleft, &outp, &outleft) != 0 || inleft != 0 ||
            iconv(cd_, nullptr, nullptr, &outp, &outleft) != 0)
            return false;
        out.resize(static_cast<size_t>(outp - out.data()));
        return true;
    }

private:
    iconv_t cd_;
};

bool plain_ascii(std::string_view s, bool backslash_too) {
    for (char c : s)
        if (static_cast<uint8_t>(c) >= 0x80 || (backslash_too && c == '\\')) return false;
    return true;
}
}  // namespace

std::string SystemNameToSjis(std::string_view native) {
    if (plain_ascii(native, true)) return std::string(native);
    StrictConverter to_sjis("CP932", "UTF-8"), to_utf8("UTF-8", "CP932");
    std::string out, sjis, back;
    for (size_t i = 0; i < native.size();) {
        const uint8_t b = static_cast<uint8_t>(native[i]);
        if (b < 0x80) {
            if (b == '\\') carry_byte(out, b);
            else out += static_cast<char>(b);
            ++i;
            continue;
        }
        size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        if (n > native.size() - i) n = 1;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<uint8_t>(native[i + k]) & 0xC0) != 0x80) n = 1;
        const std::string_view unit = native.substr(i, n);
        // Kept only when the character comes back as it was: "¥" would turn
        // into "\" and "～" into another tilde. User-defined characters come
        // from the private-use area and go back to it.
        const bool converts = n > 1 && to_sjis.convert(unit, sjis) && !sjis.empty() &&
                              to_utf8.convert(sjis, back) && back == unit;
        if (converts) out += sjis;
        else
            for (char c : unit) carry_byte(out, static_cast<uint8_t>(c));
        i += n;
    }
    return out;
}

namespace {
// The system's name for engine text: carried bytes restored, every run of
// other text between them given by convert_run.
template <class ConvertRun>
std::string restore_carried(std::string_view sjis, ConvertRun convert_run) {
    std::string out;
    size_t run = 0;
    auto flush = [&](size_t end) {
        if (end > run) out += convert_run(sjis.substr(run, end - run));
    };
    for (size_t i = 0; i < sjis.size();) {
        const uint8_t b = static_cast<uint8_t>(sjis[i]);
        if (IsDBCSLeadByte(b) && i + 1 < sjis.size()) {
            const int carried = carried_byte(b, static_cast<uint8_t>(sjis[i + 1]));
            if (carried >= 0) {
                flush(i);
                out += static_cast<char>(carried);
                run = i + 2;
            }
            i += 2;
        } else {
            ++i;
        }
    }
    flush(sjis.size());
    return out;
}
}  // namespace

std::string SjisToSystemName(std::string_view sjis) {
    if (plain_ascii(sjis, false)) return std::string(sjis);
    // A byte that no character of the code page begins stays that byte: a
    // stand-in such as "?" would name another file.
    static SharedDescriptor& d = *new SharedDescriptor("UTF-8", "CP932");
    return restore_carried(sjis, [](std::string_view run) { return convert(d, false, run, true); });
}

namespace {
// A character that a converter spells otherwise than its base table.
struct Respelling {
    uint16_t Code;  // the Shift-JIS code: one byte, or lead * 256 + trail
    std::string_view Utf8;
};

// JIS-style converters read six characters of code page 932 as JIS X 0208
// names them ("～" 81 60 as "〜" U+301C); glibc's also reads the JIS-Roman
// half of its single bytes ("\" as "¥", "~" as "‾").
constexpr Respelling kJisStyle[] = {{0x8160, "\u301C"}, {0x8161, "\u2016"}, {0x817C, "\u2212"},
                                    {0x8191, "\u00A2"}, {0x8192, "\u00A3"}, {0x81CA, "\u00AC"}};
constexpr Respelling kJisRomanGlibc[] = {{0x5C, "\u00A5"}, {0x7E, "\u203E"}};
// The two lists as one, whatever either holds.
template <size_t A, size_t B>
constexpr std::array<Respelling, A + B> joined(const Respelling (&a)[A], const Respelling (&b)[B]) {
    std::array<Respelling, A + B> out{};
    for (size_t i = 0; i < A; ++i) out[i] = a[i];
    for (size_t i = 0; i < B; ++i) out[A + i] = b[i];
    return out;
}
constexpr auto kJisStyleGlibc = joined(kJisStyle, kJisRomanGlibc);
// Python's JIS X 0213 codec against glibc's.
constexpr Respelling kX0213Python[] = {{0x815C, "\u2015"}, {0x815F, "\\"},     {0x81B0, "~"},
                                       {0x81D4, "\u2985"}, {0x81D5, "\u2986"}, {0xFC5A, "\u9B1D"}};

// Calls f(at, size, respelling) for each character of the text, with the
// respelling listed for it or null.
template <class F>
void for_each_character(std::string_view sjis, std::span<const Respelling> respelt, F f) {
    for (size_t i = 0; i < sjis.size();) {
        const uint8_t b = static_cast<uint8_t>(sjis[i]);
        const size_t n = IsDBCSLeadByte(b) && i + 1 < sjis.size() ? 2 : 1;
        const uint16_t code = n == 2 ? static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(sjis[i + 1])) : b;
        const Respelling* found = nullptr;
        for (const Respelling& r : respelt)
            if (r.Code == code) found = &r;
        f(i, n, found);
        i += n;
    }
}

// One spelling of a run of engine text: the base table's, with the
// characters listed spelt as listed; false when the base table lacks one.
bool respell(std::string_view run, StrictConverter& to_utf8, std::span<const Respelling> respelt, std::string& out) {
    std::string piece;
    size_t from = 0;
    bool ok = true;
    auto flush = [&](size_t end) {
        if (end > from && ok && (ok = to_utf8.convert(run.substr(from, end - from), piece))) out += piece;
    };
    for_each_character(run, respelt, [&](size_t at, size_t size, const Respelling* r) {
        if (!r) return;
        flush(at);
        out += r->Utf8;
        from = at + size;
    });
    flush(run.size());
    return ok;
}

// Whether a name holds one of the characters listed.
bool respells(std::string_view sjis, std::span<const Respelling> respelt) {
    bool any = false;
    for_each_character(sjis, respelt, [&](size_t, size_t, const Respelling* r) { any = any || r; });
    return any;
}
}  // namespace

std::vector<SystemSpelling> SystemNameSpellings(std::string_view sjis) {
    std::vector<SystemSpelling> spellings{{SjisToSystemName(sjis), false}};
    auto add = [&](std::string name, bool sjis_bytes) {
        for (const SystemSpelling& s : spellings)
            if (s.Name == name) return;
        spellings.push_back({std::move(name), sjis_bytes});
    };
    // Kept open (a converter module that nothing holds is unloaded at once
    // and loaded again at the next use), one thread at a time, never closed
    // as SharedDescriptor's.
    static std::mutex& lock = *new std::mutex;
    static StrictConverter& cp932 = *new StrictConverter("UTF-8", "CP932");
    static StrictConverter& x0213 = *new StrictConverter("UTF-8", "SHIFT_JISX0213");
    std::lock_guard guard(lock);
    auto spelt = [&](StrictConverter& base, std::span<const Respelling> respelt) {
        bool ok = true;
        std::string name = restore_carried(sjis, [&](std::string_view run) {
            std::string utf8;
            ok = ok && respell(run, base, respelt, utf8);
            return utf8;
        });
        return ok ? name : std::string();
    };
    // A converter that differs from another only in the characters it
    // respells spells a name without them as the other does.
    if (respells(sjis, kJisStyle)) add(spelt(cp932, kJisStyle), false);
    if (respells(sjis, kJisStyleGlibc)) add(spelt(cp932, kJisStyleGlibc), false);
    // Every converter but glibc's JIS-style ones leaves ASCII as it is.
    if (plain_ascii(sjis, false)) return spellings;
    const std::string x0213_glibc = spelt(x0213, {});
    if (!x0213_glibc.empty()) add(x0213_glibc, false);
    if (respells(sjis, kX0213Python)) add(spelt(x0213, kX0213Python), false);
    add(restore_carried(sjis, [](std::string_view run) { return std::string(run); }), true);
    std::erase_if(spellings, [](const SystemSpelling& s) { return s.Name.empty(); });
    return spellings;
}
