#include "platform/system/clock.h"

#include <sys/time.h>

#include <chrono>
#include <ctime>
#include <thread>

namespace {
std::function<uint32_t()>& clock_source() {
    // Never destroyed: threads still running while the process ends read
    // the clock.
    static std::function<uint32_t()>& source = *new std::function<uint32_t()>;
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

LocalDateTime LocalNow() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    const time_t secs = tv.tv_sec;
    localtime_r(&secs, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec,
            static_cast<int32_t>(tv.tv_usec / 1000)};
}

uint32_t RandomSeedNow() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
