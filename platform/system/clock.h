// The 32-bit millisecond clock of the frame loop, sleeping, the local date
// and time of day, and the seed of the scripts' random numbers.
#pragma once
#include <cstdint>
#include <functional>

// Milliseconds since an arbitrary start; wraps at 2^32 like the system timer.
uint32_t TimeGetTime();
void SleepMs(uint32_t ms);

// Tests drive time by hand; pass an empty function to restore the real clock.
void SetClockSource(std::function<uint32_t()> source);

// The calendar date and time of day in the user's time zone. A leap second
// reads as second 59, so that the value always encodes as a valid time.
struct LocalDateTime {
    int32_t year, month, day;
    int32_t hour, minute, second, millisecond;
};
LocalDateTime LocalNow();

// A seed that differs from one start of the player to the next (the
// milliseconds of the monotonic clock).
uint32_t RandomSeedNow();
