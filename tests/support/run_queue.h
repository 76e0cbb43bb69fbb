// How long the threads of this process waited to run: a gap in what the
// player made (samples mixed, frames drawn) is the player's own only where
// its threads could run. The kernel counts, per thread, the time it was
// runnable but not running (/proc/self/task/*/schedstat); without those
// counts every wait reads as none, and every gap is the player's.
#pragma once
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

class RunQueueWaits {
public:
    static RunQueueWaits Now() {
        RunQueueWaits w;
        std::error_code ec;
        for (const auto& t : std::filesystem::directory_iterator("/proc/self/task", ec)) {
            std::ifstream f(t.path() / "schedstat");
            uint64_t ran = 0, waited = 0;
            if (f >> ran >> waited) w.waits_[t.path().filename().string()] = waited;
        }
        return w;
    }
    // The longest any thread waited to run since before, in milliseconds
    // (a thread made since then counts from its start).
    uint64_t LongestSinceMs(const RunQueueWaits& before) const {
        uint64_t longest = 0;
        for (const auto& [tid, waited] : waits_) {
            const auto it = before.waits_.find(tid);
            const uint64_t since = it == before.waits_.end() || it->second > waited ? waited : waited - it->second;
            longest = std::max(longest, since);
        }
        return longest / 1000000;
    }

private:
    std::map<std::string, uint64_t> waits_;
};
