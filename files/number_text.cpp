#include "files/number_text.h"

#include "files/extended.h"
#include "platform/system/clock.h"
#include "platform/filesystem/stream.h"

#include <cerrno>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

constexpr int32_t kDateDelta = 693594;  // days from 0001-01-01 to 1899-12-30
constexpr int64_t kMSecsPerDay = 86400000;

[[noreturn]] void invalid_op() { throw EInvalidOp("Invalid floating point operation"); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_leap_year(int y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

const uint8_t kMonthDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                   {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

locale_t c_locale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// Splits a date-time into days since 0001-01-01 (plus one) and milliseconds
// of the day: the whole value is scaled to
// milliseconds and rounded once, a negative value keeps a positive time.
void to_timestamp(double dt, int32_t& date, int32_t& time) {
    long double scaled = static_cast<long double>(dt) * kMSecsPerDay;
    int64_t ms = RoundInt64(scaled);
    int64_t q, r;
    if (ms >= 0) {
        q = ms / kMSecsPerDay;
        r = ms % kMSecsPerDay;
    } else {
        uint64_t m = 0 - static_cast<uint64_t>(ms);
        q = -static_cast<int64_t>(m / kMSecsPerDay);
        r = static_cast<int64_t>(m % kMSecsPerDay);
    }
    int64_t d = q + kDateDelta;
    if (d > INT32_MAX || d < INT32_MIN) invalid_op();
    date = static_cast<int32_t>(d);
    time = static_cast<int32_t>(r);
}

}  // namespace

bool TryStrToInt32(std::string_view s, int32_t& out) {
    size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ') ++i;
    bool neg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        neg = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) return false;
    // The magnitude, kept to at most 2^31 (the most a negative value needs)
    // so that every digit after that fails instead of wrapping.
    uint32_t v = 0;
    const uint32_t base = hex ? 16 : 10;
    for (; i < n; ++i) {
        const int d = hex ? hex_value(s[i]) : (is_digit(s[i]) ? s[i] - '0' : -1);
        if (d < 0) return false;
        const uint64_t next = static_cast<uint64_t>(v) * base + static_cast<uint32_t>(d);
        if (next > 0x80000000ull) return false;
        v = static_cast<uint32_t>(next);
    }
    // Hex is a value like decimal: "$FFFFFFFF" is out of range, not -1.
    if (!neg && v > 0x7FFFFFFFu) return false;
    out = static_cast<int32_t>(neg ? 0u - v : v);
    return true;
}

std::string IntToStr(int32_t v) {
    char buf[16];
    int len = std::snprintf(buf, sizeof buf, "%d", v);
    return std::string(buf, static_cast<size_t>(len));
}

bool TryStrToExtended(std::string_view s, long double& out) {
    size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ') ++i;
    size_t start = i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < n && is_digit(s[i])) ++i, ++digits;
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && is_digit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        size_t exp_digits = 0;
        while (i < n && is_digit(s[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    size_t end = i;
    while (i < n && s[i] == ' ') ++i;
    if (i != n) return false;
    char stack_buf[128];
    std::string heap_buf;
    const char* text;
    size_t len = end - start;
    if (len < sizeof stack_buf) {
        std::memcpy(stack_buf, s.data() + start, len);
        stack_buf[len] = 0;
        text = stack_buf;
    } else {
        heap_buf.assign(s.substr(start, len));
        text = heap_buf.c_str();
    }
    long double v = strtold_l(text, nullptr, c_locale());
    if (std::isinf(v)) return false;  // overflow is an error, underflow is 0
    out = v;
    return true;
}

std::string FloatToStr(long double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (v == 0) return "0";
    // 40 exact significant digits, rounded to 18 digits first (the FPU's
    // packed decimal store, half to even) and then half up to 15, so that
    // texts match those that stored games were written with.
    char buf[80];
    std::snprintf(buf, sizeof buf, "%.39Le", std::fabs(v));
    char dig[41];
    int nd = 0;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (is_digit(*p)) dig[nd++] = *p;
    int exp10 = std::atoi(p + 1);
    auto round_at = [&](int keep, bool half_even) {
        bool up;
        char d = dig[keep];
        if (d > '5') {
            up = true;
        } else if (d < '5') {
            up = false;
        } else if (!half_even) {
            up = true;
        } else {
            bool rest = false;
            for (int k = keep + 1; k < nd; ++k) rest |= dig[k] != '0';
            up = rest || ((dig[keep - 1] - '0') & 1);
        }
        nd = keep;
        if (!up) return;
        int k = keep - 1;
        while (k >= 0 && dig[k] == '9') dig[k--] = '0';
        if (k >= 0) {
            ++dig[k];
        } else {
            dig[0] = '1';
            for (int j = 1; j < keep; ++j) dig[j] = '0';
            ++exp10;
        }
    };
    round_at(18, true);
    round_at(15, false);
    while (nd > 1 && dig[nd - 1] == '0') --nd;

    std::string r;
    if (v < 0) r += '-';
    int point = exp10 + 1;  // digits before the decimal point
    if (point > 15 || point < -3) {
        r += dig[0];
        if (nd > 1) {
            r += '.';
            r.append(dig + 1, static_cast<size_t>(nd - 1));
        }
        r += 'E';
        r += std::to_string(exp10);
    } else if (point <= 0) {
        r += "0.";
        r.append(static_cast<size_t>(-point), '0');
        r.append(dig, static_cast<size_t>(nd));
    } else {
        for (int k = 0; k < point; ++k) r += k < nd ? dig[k] : '0';
        if (nd > point) {
            r += '.';
            r.append(dig + point, static_cast<size_t>(nd - point));
        }
    }
    return r;
}

int64_t TruncInt64(long double v) {
    // The range check is written so that NaN fails it too.
    if (!(v > -9223372036854775809.0L && v < 9223372036854775808.0L)) invalid_op();
    return static_cast<int64_t>(v);
}

int64_t RoundInt64(long double v) {
    if (!std::isfinite(v)) invalid_op();
    return TruncInt64(std::nearbyint(v));
}

void WriteStreamExtended(TStream& s, long double v) {
    uint8_t b[ExtendedSize];
    StoreExtended(b, v);
    s.WriteBuffer(b, ExtendedSize);
}

long double ReadStreamExtended(TStream& s) {
    uint8_t b[ExtendedSize];
    s.ReadBuffer(b, ExtendedSize);
    return LoadExtended(b);
}

double EncodeDate(int32_t year, int32_t month, int32_t day) {
    int y = static_cast<uint16_t>(year), m = static_cast<uint16_t>(month), d = static_cast<uint16_t>(day);
    const uint8_t* table = kMonthDays[is_leap_year(y)];
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > table[m - 1])
        throw EConvertError("Invalid argument to date encode");
    for (int k = 0; k < m - 1; ++k) d += table[k];
    int i = y - 1;
    return static_cast<double>(i * 365 + i / 4 - i / 100 + i / 400 + d - kDateDelta);
}

double EncodeTime(int32_t hour, int32_t min, int32_t sec, int32_t msec) {
    uint32_t h = static_cast<uint16_t>(hour), m = static_cast<uint16_t>(min);
    uint32_t s = static_cast<uint16_t>(sec), ms = static_cast<uint16_t>(msec);
    if (h >= 24 || m >= 60 || s >= 60 || ms >= 1000) throw EConvertError("Invalid argument to time encode");
    return static_cast<double>(h * 3600000 + m * 60000 + s * 1000 + ms) / static_cast<double>(kMSecsPerDay);
}

void DecodeDate(double date, int32_t& year, int32_t& month, int32_t& day) {
    int32_t t, time;
    to_timestamp(date, t, time);
    if (t <= 0) {
        year = month = day = 0;
        return;
    }
    constexpr int32_t D1 = 365, D4 = D1 * 4 + 1, D100 = D4 * 25 - 1, D400 = D100 * 4 + 1;
    --t;
    int32_t y = 1 + (t / D400) * 400;
    t %= D400;
    int32_t i = t / D100, d = t % D100;
    if (i == 4) {
        --i;
        d += D100;
    }
    y += i * 100;
    i = d / D4;
    d %= D4;
    y += i * 4;
    i = d / D1;
    d %= D1;
    if (i == 4) {
        --i;
        d += D1;
    }
    y += i;
    const uint8_t* table = kMonthDays[is_leap_year(y)];
    int32_t m = 0;
    while (d >= table[m]) d -= table[m++];
    year = y & 0xFFFF;  // the year is a 16-bit word in stored dates
    month = m + 1;
    day = d + 1;
}

void DecodeTime(double time, int32_t& hour, int32_t& min, int32_t& sec, int32_t& msec) {
    int32_t date, t;
    to_timestamp(time, date, t);
    int32_t mins = t / 60000, msecs = t % 60000;
    hour = mins / 60;
    min = mins % 60;
    sec = msecs / 1000;
    msec = msecs % 1000;
}

int32_t DayOfWeek(double date) {
    int32_t t, time;
    to_timestamp(date, t, time);
    return t % 7 + 1;
}

double NowDateTime() {
    const LocalDateTime t = LocalNow();
    return EncodeDate(t.year, t.month, t.day) + EncodeTime(t.hour, t.minute, t.second, t.millisecond);
}

uint32_t& RandSeed() {
    static uint32_t seed = 0;
    return seed;
}

void Randomize() { RandSeed() = RandomSeedNow(); }

int32_t RandomInt(int32_t range) {
    uint32_t& seed = RandSeed();
    seed = seed * 0x08088405u + 1u;
    return static_cast<int32_t>((static_cast<uint64_t>(static_cast<uint32_t>(range)) * seed) >> 32);
}

long double RandomReal() {
    uint32_t& seed = RandSeed();
    seed = seed * 0x08088405u + 1u;
    return static_cast<long double>(seed) / 4294967296.0L;
}
