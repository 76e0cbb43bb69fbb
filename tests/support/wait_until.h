// Waiting in tests on another thread, a sound device, a window or a process:
// poll for the state the test expects, with a deadline that only a fault
// reaches (a busy two-core machine may be many times slower than a desk).
#pragma once
#include <signal.h>
#include <sys/wait.h>

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

// Waits for the child process to end (its status put into status); kills
// it when the deadline passes first. False when it had to be killed.
inline bool WaitForExit(pid_t pid, int& status, std::chrono::milliseconds deadline = kWaitDeadline) {
    if (WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, deadline)) return true;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}
