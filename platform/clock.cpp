#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace {
std::function<uint32_t()>& clock_source() {
    static std::function<uint32_t()> source;
    return source;
}
const auto start_time = std::chrono::steady_clock::now();
}  // namespace

uint32_t TimeGetTime() {
    if (auto& s = clock_source()) return s();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_time).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void SetClockSource(std::function<uint32_t()> source) { clock_source() = std::move(source); }
