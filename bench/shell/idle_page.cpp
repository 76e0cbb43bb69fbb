// The player waiting on a page for a click: the CPU it uses (goal: at most
// 0.5 % of a core) and how often its threads wake, over 10 s after it has
// settled. The player itself runs (VORQ_HEADLESS=1, SDL's dummy audio
// driver) on a game of one page with a caption that waits for a click;
// its threads are read from /proc. Beside it, a bare process sleeping one
// frame period in a loop shows what the wake-ups alone cost on this machine.
// Run it on two cores too:
// taskset -c 0,1 build/idle_page
#include "bench/bench_game.h"
#include "engine/opcodes.h"
#include "engine/project.h"
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <time.h>
#include <vector>

extern char** environ;

namespace {

std::string waiting_game() {
    TPageWriter w;
    for (int id : {PR_NAME, PR_LEFT, PR_TOP, PR_TEXT, PR_FONTHEIGHT, PR_FONTCOLOR, PR_ALPHA}) w.SetMask(opCaption, id);
    w.Component(opCaption, {{PR_NAME, "\"prompt\""},
                            {PR_LEFT, "120"},
                            {PR_TOP, "200"},
                            {PR_TEXT, "\"Click to go on\""},
                            {PR_FONTHEIGHT, "24"},
                            {PR_FONTCOLOR, "16777215"},
                            {PR_ALPHA, "255"}});
    w.Wait("100000000", "@LClick == 0");
    return WriteBenchGame("idle_page", w);
}

struct ThreadTimes {
    double cpu_ms = 0;
    int64_t switches = 0;
    std::string name;
};

std::string read_all(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Per thread: CPU time run (schedstat, ns) and context switches.
std::map<std::string, ThreadTimes> sample(pid_t pid) {
    std::map<std::string, ThreadTimes> out;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task/";
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string t = dir + e->d_name + "/";
        ThreadTimes tt;
        tt.cpu_ms = std::atof(read_all(t + "schedstat").c_str()) / 1e6;
        std::istringstream status(read_all(t + "status"));
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                tt.switches += std::atoll(line.c_str() + line.find(':') + 1);
        tt.name = read_all(t + "comm");
        if (!tt.name.empty() && tt.name.back() == '\n') tt.name.pop_back();
        out[e->d_name] = tt;
    }
    closedir(d);
    return out;
}

// Over 10 s after a 3 s start, the process's share of a core and its
// wake-ups, in all and thread by thread; then it is stopped.
void measure(benchmark::State& st, pid_t pid) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const auto before = sample(pid);
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const auto after = sample(pid);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    double cpu_ms = 0;
    int64_t switches = 0;
    std::map<std::string, double> by_name;
    for (const auto& [tid, a] : after) {
        const auto b = before.find(tid);
        const double c = a.cpu_ms - (b == before.end() ? 0 : b->second.cpu_ms);
        const int64_t s = a.switches - (b == before.end() ? 0 : b->second.switches);
        cpu_ms += c;
        switches += s;
        by_name["wakes_per_s " + a.name] += double(s) / seconds;
        by_name["cpu_pct " + a.name] += c / (seconds * 10.0);
    }
    st.counters["cpu_pct_of_core"] = cpu_ms / (seconds * 10.0);
    st.counters["wakes_per_s"] = double(switches) / seconds;
    for (const auto& [name, v] : by_name) st.counters[name] = v;
}

void BM_WaitingPageIdle(benchmark::State& st) {
    const std::string game = waiting_game();
    const std::string player = ExeFolder() + "vorqplayer";
    setenv("VORQ_HEADLESS", "1", 1);
    for (auto _ : st) {
        pid_t pid = 0;
        char* argv[] = {const_cast<char*>(player.c_str()), const_cast<char*>(game.c_str()), nullptr};
        if (posix_spawn(&pid, player.c_str(), nullptr, nullptr, argv, environ) != 0) {
            st.SkipWithError("cannot start the player");
            return;
        }
        measure(st, pid);
    }
}

// The floor on this machine: a process that does nothing but sleep one
// frame period (16 ms) in a loop, as the player's frame loop does between
// frames. What the player costs above it is its own work.
void BM_PeerBareFrameSleeper(benchmark::State& st) {
    for (auto _ : st) {
        const pid_t pid = fork();
        if (pid < 0) {
            st.SkipWithError("cannot fork");
            return;
        }
        if (pid == 0) {
            const timespec frame{0, 16'000'000};
            for (;;) nanosleep(&frame, nullptr);
        }
        measure(st, pid);
    }
}

}  // namespace

BENCHMARK(BM_WaitingPageIdle)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerBareFrameSleeper)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
