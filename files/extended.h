// The 80-bit extended float as stored data holds it: 10 bytes, little-endian
// (64-bit mantissa with explicit integer bit, then sign and 15-bit exponent).
// On x86-64 this is long double's own memory layout.
#pragma once
#include <cstring>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64 && std::numeric_limits<long double>::max_exponent == 16384,
              "long double must be the x87 80-bit extended type");

constexpr int ExtendedSize = 10;

inline void StoreExtended(void* dst, long double v) { std::memcpy(dst, &v, ExtendedSize); }

inline long double LoadExtended(const void* src) {
    long double v = 0;  // the 6 padding bytes stay zero
    std::memcpy(&v, src, ExtendedSize);
    return v;
}
