// The 32-bit millisecond clock of the frame loop, and sleeping.
#pragma once
#include <cstdint>
#include <functional>

// Milliseconds since an arbitrary start; wraps at 2^32 like the system timer.
uint32_t TimeGetTime();
void SleepMs(uint32_t ms);

// Tests drive time by hand; pass an empty function to restore the real clock.
void SetClockSource(std::function<uint32_t()> source);
