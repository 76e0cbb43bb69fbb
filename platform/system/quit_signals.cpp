#include "platform/system/quit_signals.h"

#include <semaphore.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {
// How long a quit request may wait for the frame loop before the program
// ends without it.
constexpr std::chrono::seconds kQuitGrace{3};

// The first quit signal's number, 0 before one: set by the handler and read
// by the waits and the watchdog on other threads, so it is an atomic that
// needs no lock (a handler may take none).
std::atomic<int> quit_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<bool> quit_taken{false};
std::atomic<bool> waits_begun{false};
sem_t quit_arrived;

// Every quit signal only asks the player to end: one that comes while it
// already ends (a service manager sends SIGTERM and SIGHUP together)
// changes nothing, so the lock file and temporary folder still go.
extern "C" void on_quit_signal(int signal) {
    int none = 0;
    if (!quit_signal.compare_exchange_strong(none, signal)) return;
    sem_post(&quit_arrived);
}

// Waits for the first quit signal, then gives the program's waits for
// events their grace, counted from the signal or from the first wait.
void quit_watchdog() {
    while (sem_wait(&quit_arrived) != 0 && errno == EINTR) {
    }
    std::chrono::steady_clock::time_point deadline{};
    while (!quit_taken.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (waits_begun.load() && deadline == std::chrono::steady_clock::time_point{}) deadline = now + kQuitGrace;
        if (deadline != std::chrono::steady_clock::time_point{} && now >= deadline) {
            const int signal = quit_signal.load();
            std::fprintf(stderr, "vorqplayer: %s: the game did not end within %d s; it ends now\n",
                         strsignal(signal), static_cast<int>(kQuitGrace.count()));
            EndAtOnce(128 + signal, signal);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

struct Steps {
    std::mutex Lock;
    std::vector<std::pair<int, std::function<void()>>> List;
    int NextId = 1;
};
Steps& steps() {
    // Never destroyed: a thread may end the program while static objects go.
    static Steps* s = new Steps;
    return *s;
}
}  // namespace

void CatchQuitSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        sem_init(&quit_arrived, 0, 0);
        std::thread(quit_watchdog).detach();
    });
    struct sigaction action {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    // Nor does it break off the clean-up's own reads and writes.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A hang-up (its terminal closed, its user logged out) ends the game as
    // cleanly as SIGTERM; a player started under nohup goes on ignoring it.
    struct sigaction hangup {};
    if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) sigaction(SIGHUP, &action, nullptr);
}

bool TakeQuitSignal() {
    waits_begun = true;
    if (quit_signal.load() == 0) return false;
    quit_taken = true;
    return true;
}

int AtAbruptEnd(std::function<void()> step) {
    Steps& s = steps();
    std::lock_guard<std::mutex> hold(s.Lock);
    s.List.emplace_back(s.NextId, std::move(step));
    return s.NextId++;
}

void ForgetAtAbruptEnd(int id) {
    Steps& s = steps();
    std::lock_guard<std::mutex> hold(s.Lock);
    std::erase_if(s.List, [id](const auto& step) { return step.first == id; });
}

void EndAtOnce(int status, int signal) {
    static std::atomic<bool> ending{false};
    if (ending.exchange(true))
        for (;;) pause();
    std::vector<std::pair<int, std::function<void()>>> list;
    {
        Steps& s = steps();
        std::lock_guard<std::mutex> hold(s.Lock);
        list.swap(s.List);
    }
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        try {
            it->second();
        } catch (...) {
            // The next step still runs: each undoes something of its own.
        }
    }
    std::fflush(stderr);
    if (signal != 0) {
        std::signal(signal, SIG_DFL);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, signal);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        raise(signal);
    }
    _exit(status);
}
