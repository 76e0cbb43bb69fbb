// Number and text conversions, dates and the random generator with the
// exact behaviour that scripts and stored files rely on: the run-time
// library rules the games were made with (integer text with "$"/"0x" hex forms,
// 15-digit general real format, days since 1899-12-30, the linear
// congruential Random).
#pragma once
#include "platform/exception.h"

#include <cstdint>
#include <string>
#include <string_view>

class TStream;

// Floating-point operation that has no result (NaN, infinity or a value
// outside the 64-bit range truncated, a real division by zero).
class EInvalidOp : public Exception { using Exception::Exception; };
// Integer division or remainder by zero, or the one overflowing quotient.
class EDivByZero : public Exception { using Exception::Exception; };

// Integer text: leading spaces, optional sign, then decimal digits or a hex
// number after "$", "x", "X", "0x" or "0X". The signed value must fit in
// 32 bits, hex as well ("$FFFFFFFF" fails, "-$80000000" is the least
// value). Anything else fails.
bool TryStrToInt32(std::string_view s, int32_t& out);
inline int32_t StrToInt32Def(std::string_view s, int32_t def) {
    int32_t v;
    return TryStrToInt32(s, v) ? v : def;
}
std::string IntToStr(int32_t v);

// Real text: spaces, optional sign, digits with an optional "." and
// fraction (at least one digit), an optional exponent, trailing spaces.
// Overflow fails; underflow gives 0.
bool TryStrToExtended(std::string_view s, long double& out);
inline long double StrToExtendedDef(std::string_view s, long double def) {
    long double v;
    return TryStrToExtended(s, v) ? v : def;
}
// General format, 15 significant digits: fixed notation while the decimal
// exponent lies in -4..14 ("0.0001", "100000000000000"), else "1E15",
// "1E-5", "1.23456789012346E17". "INF", "-INF", "NAN" for the specials.
std::string FloatToStr(long double v);

// Truncation toward zero into 64 bits; raises EInvalidOp for NaN, infinity
// and values that do not fit.
int64_t TruncInt64(long double v);
// What a real becomes when stored as an integer: the low 32 bits of the
// 64-bit truncation.
inline int32_t FloatToInt32(long double v) { return static_cast<int32_t>(static_cast<uint64_t>(TruncInt64(v))); }
// Round half to even into 64 bits, guarded like TruncInt64.
int64_t RoundInt64(long double v);

// The 80-bit extended real in a stream (the codec of files/extended.h).
void WriteStreamExtended(TStream& s, long double v);
// Raises EReadError when fewer than 10 bytes remain.
long double ReadStreamExtended(TStream& s);

// Date-time values: days since 1899-12-30 plus the fraction of the day.
// Arguments are taken as 16-bit unsigned words, as stored dates expect; an
// invalid date or time raises EConvertError.
double EncodeDate(int32_t year, int32_t month, int32_t day);
double EncodeTime(int32_t hour, int32_t min, int32_t sec, int32_t msec);
// A date before year 1 decodes as 0, 0, 0. Raises EInvalidOp when the value
// is out of the representable range.
void DecodeDate(double date, int32_t& year, int32_t& month, int32_t& day);
void DecodeTime(double time, int32_t& hour, int32_t& min, int32_t& sec, int32_t& msec);
// 1 Sunday .. 7 Saturday.
int32_t DayOfWeek(double date);
// The current local date and time as a date-time value.
double NowDateTime();

// The process-wide generator: seed' = seed * 0x08088405 + 1; the result is
// the high 32 bits of seed' * range (range taken as unsigned).
uint32_t& RandSeed();
void Randomize();
int32_t RandomInt(int32_t range);
// The same generator's real form: the new seed x 2^-32, in [0, 1).
long double RandomReal();
