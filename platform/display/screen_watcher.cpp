#include "platform/display/screen_watcher.h"
#include "platform/system/quit_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

// Last: it defines names such as None, Bool and Status.
#include <X11/Xlib.h>

namespace {
const char* const kWatcherArgument = "--vorq-screen-watcher";
// The watcher's end of the socket, in the watcher.
constexpr int kWatcherFd = 3;

// The name the watcher shows in the process list.
const char* const kWatcherName = "vorqplayer-screen-watcher";

// The fd the executable is started again from (in the watcher's start).
constexpr int kExecutableFd = kWatcherFd + 1;
// Failed starts in a row after which the player does without a watcher,
// and the wait before the first retry (doubled at each).
constexpr int kMostFailedStarts = 3;
constexpr std::chrono::milliseconds kFirstRetry{100};

int watcher_fd = -1;     // the player's end of the socket, -1 while no watcher runs
pid_t watcher_pid = -1;
bool watcher_ready = false;  // it has said it runs
// What the watcher holds, to hand to a new one when it is lost.
std::map<unsigned long, TCrtcSwitch> held_here;
std::string watched_display;
bool loss_told = false;
int failed_starts = 0;
std::chrono::steady_clock::time_point retry_at;  // while held_here waits for a new watcher
bool given_up = false;
// This program's executable, opened at its start (-1 when it cannot be).
int own_executable = -1;

// The executable file that holds this code: /proc/self/exe, unless that
// is the dynamic loader the player was started through; then the file
// mapped where this code lies. Opened at once, so that a later change of
// the file or its name starts nothing else.
int open_own_executable() {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const auto here = reinterpret_cast<unsigned long>(&open_own_executable);
    std::string mapped;
    if (FILE* maps = std::fopen("/proc/self/maps", "re")) {
        char* line = nullptr;
        size_t size = 0;
        while (getline(&line, &size, maps) > 0) {
            unsigned long from = 0, to = 0;
            int path_at = 0;
            if (std::sscanf(line, "%lx-%lx %*s %*s %*s %*s %n", &from, &to, &path_at) < 2 || here < from || here >= to)
                continue;
            mapped = line + path_at;
            while (!mapped.empty() && (mapped.back() == '\n' || mapped.back() == ' ')) mapped.pop_back();
            break;
        }
        std::free(line);
        std::fclose(maps);
    }
    if (mapped.empty() || (n > 0 && mapped == exe)) return open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    return open(mapped.c_str(), O_RDONLY | O_CLOEXEC);
}

bool send_all(const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(watcher_fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool start_watcher(const char* display_name) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    // Everything the child needs is made before the fork: it only execs.
    char program[64];
    std::snprintf(program, sizeof program, "%s", kWatcherName);
    char argument[64];
    std::snprintf(argument, sizeof argument, "%s", kWatcherArgument);
    std::string display = display_name ? display_name : "";
    char* const argv[] = {program, argument, display.data(), nullptr};
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
        }
        // Both above the two places first: either may hold the other now.
        const int socket_end = fcntl(ends[1], F_DUPFD, kExecutableFd + 1);
        const int executable = own_executable < 0 ? -1 : fcntl(own_executable, F_DUPFD_CLOEXEC, kExecutableFd + 1);
        if (socket_end >= 0 && dup2(socket_end, kWatcherFd) == kWatcherFd &&
            (executable < 0 || dup3(executable, kExecutableFd, O_CLOEXEC) == kExecutableFd)) {
            // Nothing else of the player's stays open in the watcher: above
            // all not its lock file, which must go with the player.
            if (syscall(SYS_close_range, kExecutableFd + 1, ~0u, 0) != 0)
                for (int fd = kExecutableFd + 1; fd < 65536; ++fd) close(fd);
            if (executable >= 0) fexecve(kExecutableFd, argv, environ);
            else execv("/proc/self/exe", argv);
        }
        _exit(127);
    }
    if (null >= 0) close(null);
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return false;
    }
    watcher_fd = ends[0];
    watcher_pid = pid;
    watcher_ready = false;
    // Newest first: at an end at once the monitors come back before the
    // files go.
    static const bool registered = (AtAbruptEnd(FinishScreenWatcher), true);
    (void)registered;
    return true;
}

// A start that failed: tried again later, a few times only, since a
// player that cannot start its watcher would otherwise fork at every turn.
void note_failed_start() {
    watcher_ready = false;
    if (++failed_starts < kMostFailedStarts) {
        retry_at = std::chrono::steady_clock::now() + kFirstRetry * (1 << (failed_starts - 1));
        return;
    }
    given_up = true;
    std::fprintf(stderr,
                 "vorqplayer: the monitors' watcher cannot be started; a monitor the player cannot put back itself "
                 "keeps the game's mode\n");
}

// The watcher has gone. One that ran is replaced at once; one that never
// said it runs failed to start.
void lose_watcher() {
    close(watcher_fd);
    watcher_fd = -1;
    if (watcher_pid > 0) waitpid(watcher_pid, nullptr, WNOHANG);
    watcher_pid = -1;
    if (!watcher_ready) return note_failed_start();
    watcher_ready = false;
    failed_starts = 0;
    retry_at = std::chrono::steady_clock::now();
    if (!loss_told) {
        loss_told = true;
        std::fprintf(stderr, "vorqplayer: the monitors' watcher has ended; a new one takes its place\n");
    }
}

// Starts a watcher, told what the player holds, when none runs, its turn
// has come and the player has not given up.
void start_if_due() {
    if (watcher_fd >= 0 || given_up || std::chrono::steady_clock::now() < retry_at) return;
    if (!start_watcher(watched_display.c_str())) return note_failed_start();
    for (const auto& [crtc, change] : held_here)
        if (!send_all(change.Line())) return lose_watcher();
}

// The watcher itself: reads what the player switched until the socket
// closes, then puts back what it still holds.
void run_watcher(const char* display_name) {
    // Quit signals go to the whole group; the watcher must not end before
    // it has put the monitors back, and ends by itself once it has.
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) std::signal(s, SIG_IGN);
    std::map<unsigned long, TCrtcSwitch> held;
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(kWatcherFd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            TCrtcSwitch change;
            if (TCrtcSwitch::FromLine(line, change)) held[change.Crtc] = change;
            else if (line.size() > 2 && line[0] == 'F') held.erase(std::strtoul(line.c_str() + 2, nullptr, 10));
        }
    }
    if (!held.empty()) {
        if (Display* d = XOpenDisplay(display_name)) {
            for (const auto& [crtc, change] : held) RestoreMonitorMode(d, change);
            XCloseDisplay(d);
        }
    }
}

// Before main() and the program's other start-up: every program that can
// switch a monitor is its own watcher, whatever its main() does. glibc
// hands the arguments to start-up functions.
__attribute__((constructor)) void run_watcher_if_asked(int argc, char** argv, char**) {
    if (argc != 3 || !argv || std::strcmp(argv[1], kWatcherArgument) != 0) return;
    // Started by hand, without the player's socket, it has nothing to watch.
    struct stat st {};
    if (fstat(kWatcherFd, &st) != 0 || !S_ISSOCK(st.st_mode)) _exit(2);
    // The player learns that it runs; a player already gone still has
    // its monitors put back.
    send(kWatcherFd, "R", 1, MSG_NOSIGNAL);
    // Shown by its own name in ps and top, not as "exe".
    prctl(PR_SET_NAME, "vorq-watcher", 0, 0, 0);
    run_watcher(argv[2]);
    // Nothing of the program's own was started: nothing to tidy.
    _exit(0);
}

// Every program that may switch a monitor opens its executable at start.
__attribute__((constructor)) void open_executable_at_start() { own_executable = open_own_executable(); }
}  // namespace

bool WatchCrtcSwitch(const char* display_name, const TCrtcSwitch& change) {
    watched_display = display_name ? display_name : "";
    held_here[change.Crtc] = change;
    if (watcher_fd >= 0 && !send_all(change.Line())) lose_watcher();
    start_if_due();
    return !given_up;
}

void ForgetCrtcSwitch(unsigned long crtc) {
    held_here.erase(crtc);
    if (watcher_fd >= 0 && !send_all("F " + std::to_string(crtc) + "\n")) lose_watcher();
}

void KeepScreenWatcher() {
    if (watcher_fd < 0) {
        if (!held_here.empty()) start_if_due();
        return;
    }
    pollfd p{watcher_fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0 || p.revents == 0) return;
    // The watcher writes only that it runs; anything else readable means
    // it has closed its end.
    char said[16];
    const ssize_t n = recv(watcher_fd, said, sizeof said, MSG_DONTWAIT);
    if (n > 0) {
        watcher_ready = true;
        failed_starts = 0;
        if (!(p.revents & (POLLRDHUP | POLLHUP))) return;
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    lose_watcher();
    if (!held_here.empty()) start_if_due();
}

int ScreenWatcherPid() { return watcher_fd >= 0 ? watcher_pid : -1; }

void FinishScreenWatcher() {
    const int fd = watcher_fd;
    if (fd < 0) return;
    watcher_fd = -1;
    shutdown(fd, SHUT_WR);
    // The watcher closes its end once it has put everything back.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    char scrap[64];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = read(fd, scrap, sizeof scrap);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
    }
    close(fd);
    // It ends right after closing its end: collected, it leaves no zombie.
    while (watcher_pid > 0) {
        int status = 0;
        const pid_t done = waitpid(watcher_pid, &status, WNOHANG);
        if (done != 0 || std::chrono::steady_clock::now() >= deadline) watcher_pid = -1;
        else usleep(1000);
    }
}
