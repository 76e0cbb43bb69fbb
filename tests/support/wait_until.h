// Waiting in tests on another thread, a sound device, a window or a process:
// poll for the state the test expects, with a deadline that only a fault
// reaches (a busy two-core machine may be many times slower than a desk).
#pragma once
#include <chrono>
#include <thread>

constexpr std::chrono::milliseconds kWaitDeadline{30000};

// Calls step () then checks ready () until it holds; false when the
// deadline passed first.
template <class Ready, class Step>
bool StepUntil(Ready ready, Step step, std::chrono::milliseconds deadline = kWaitDeadline,
               std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        step();
        std::this_thread::sleep_for(poll);
    }
    return true;
}

template <class Ready>
bool WaitUntil(Ready ready, std::chrono::milliseconds deadline = kWaitDeadline) {
    return StepUntil(ready, [] {}, deadline);
}
