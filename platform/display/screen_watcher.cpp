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

int watcher_fd = -1;     // the player's end of the socket, -1 while no watcher runs
pid_t watcher_pid = -1;
// What the watcher holds, to hand to a new one when it is lost.
std::map<unsigned long, TCrtcSwitch> held_here;
std::string watched_display;
bool loss_told = false;

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
        if (dup2(ends[1], kWatcherFd) == kWatcherFd) {
            // Nothing else of the player's stays open in the watcher: above
            // all not its lock file, which must go with the player.
            if (syscall(SYS_close_range, kWatcherFd + 1, ~0u, 0) != 0)
                for (int fd = kWatcherFd + 1; fd < 65536; ++fd) close(fd);
            execv("/proc/self/exe", argv);
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
    // Newest first: at an end at once the monitors come back before the
    // files go.
    static const bool registered = (AtAbruptEnd(FinishScreenWatcher), true);
    (void)registered;
    return true;
}

// The watcher has gone: a new one takes what it held.
bool replace_watcher() {
    close(watcher_fd);
    watcher_fd = -1;
    if (watcher_pid > 0) waitpid(watcher_pid, nullptr, WNOHANG);
    watcher_pid = -1;
    if (!loss_told) {
        loss_told = true;
        std::fprintf(stderr, "vorqplayer: the monitors' watcher has ended; a new one takes its place\n");
    }
    if (!start_watcher(watched_display.c_str())) return false;
    for (const auto& [crtc, change] : held_here)
        if (!send_all(change.Line())) return false;
    return true;
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
    // Shown by its own name in ps and top, not as "exe".
    prctl(PR_SET_NAME, "vorq-watcher", 0, 0, 0);
    run_watcher(argv[2]);
    // Nothing of the program's own was started: nothing to tidy.
    _exit(0);
}
}  // namespace

bool WatchCrtcSwitch(const char* display_name, const TCrtcSwitch& change) {
    watched_display = display_name ? display_name : "";
    held_here[change.Crtc] = change;
    if (watcher_fd < 0 && !start_watcher(display_name)) return false;
    return send_all(change.Line()) || replace_watcher();
}

void ForgetCrtcSwitch(unsigned long crtc) {
    held_here.erase(crtc);
    if (watcher_fd >= 0 && !send_all("F " + std::to_string(crtc) + "\n")) replace_watcher();
}

void KeepScreenWatcher() {
    if (watcher_fd < 0) return;
    // The watcher never writes: its end readable means it has closed.
    pollfd p{watcher_fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) > 0 && p.revents != 0) replace_watcher();
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
