// Runs a shell command line and gathers what it writes to its standard
// output (add 2>&1 to the line for its errors too) and how it ended; and
// the commands tests run on an X server of their own.
#pragma once
#include "tests/support/x_server.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

struct CommandOutcome {
    int Status = -1;  // the exit status; -1 when it did not start or did not exit
    std::string Output;
};

inline CommandOutcome RunCommand(const std::string& cmd) {
    CommandOutcome o;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return o;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.Output.append(buf, n);
    const int st = pclose(p);
    o.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return o;
}

// Runs `write` in a child process whose limit `resource` (setrlimit's) is
// `value`: 3 when it raised Error, 4 for any other exception, 0 when it
// went through, -1 when the child did not exit.
template <class Error, class Write>
int ExitUnderLimit(decltype(RLIMIT_NOFILE) resource, rlim_t value, Write write) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim{value, value};
        setrlimit(resource, &lim);
        try {
            write();
        } catch (const Error&) {
            _exit(3);
        } catch (...) {
            _exit(4);
        }
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// ExitUnderLimit where the child may write at most `bytes` bytes to a
// file, as on a disk that fills part-way through.
template <class Error, class Write>
int ExitOfWriteOnFullDisk(rlim_t bytes, Write write) {
    return ExitUnderLimit<Error>(RLIMIT_FSIZE, bytes, write);
}

// The player as any user may run it: the build's own when the folders
// above it let others through, else a copy in a folder of its own under
// /tmp (a checkout in a private temporary folder keeps others out), removed
// when the test program ends. The sanitizers' suppressions, read by the
// player as that user, are copied there too.
inline std::string PlayerForEveryUser() {
    static const std::string path = [] {
        const std::string built = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
        if (std::system(("setpriv --reuid=nobody --regid=nogroup --clear-groups test -x '" + built + "'").c_str()) == 0)
            return built;
        static char folder[] = "/tmp/vorq-player-XXXXXX";
        if (!mkdtemp(folder)) return built;
        std::atexit([] { std::system((std::string("rm -rf '") + folder + "'").c_str()); });
        const std::string copy = std::string(folder) + "/vorqplayer";
        if (std::system(("chmod 0755 '" + std::string(folder) + "' && cp '" + built + "' '" + copy + "' && chmod 0755 '" +
                         copy + "'").c_str()) != 0)
            return built;
        const char* lsan = std::getenv("LSAN_OPTIONS");
        std::string options = lsan ? lsan : "";
        const std::string key = "suppressions=";
        if (const size_t at = options.find(key); at != std::string::npos) {
            const size_t from = at + key.size(), to = options.find(':', from);
            const std::string supp = std::string(folder) + "/lsan.supp";
            if (std::system(("cp '" + options.substr(from, to - from) + "' '" + supp + "' && chmod 0644 '" + supp + "'")
                                .c_str()) == 0) {
                options.replace(from, to == std::string::npos ? std::string::npos : to - from, supp);
                setenv("LSAN_OPTIONS", options.c_str(), 1);
            }
        }
        return copy;
    }();
    return path;
}

// The first of the programs that is not on PATH; null when all are there.
inline const char* MissingTool(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0) return tool;
    return nullptr;
}

// A shell command that prints a window's properties (xprop's window
// choice: "-root", "-id $wid") as they change, a line at a time, for 120 s
// at most; once its reader has gone it ends at the next change, or with
// the X server.
inline std::string ShellSpyProperties(const std::string& window) {
    return "timeout 120 stdbuf -oL xprop -spy " + window + " 2>/dev/null";
}

// The shell line that sets wid to the first visible window of process
// pid, polling for it up to 120 s or until the process has ended (wid is
// empty then): a single search fails outright when a window goes while it
// looks, as on a busy server.
inline std::string ShellFindWindow(const std::string& pid = "$pid") {
    return "wid=; end=$(( $(date +%s) + 120 )); until wid=$(xdotool search --onlyvisible --pid " + pid +
           " 2>/dev/null | head -1); [ -n \"$wid\" ] || [ $(date +%s) -ge $end ] || ! kill -0 " + pid +
           " 2>/dev/null; do sleep 0.05; done\n";
}

// The shell lines that run `run` once openbox has taken the screen, then
// stop openbox: run's exit status. Openbox runs its start-up command once
// it manages the screen; it is waited for as long as it runs, however
// slow. An openbox that ended before (a failed start) ends the lines with
// 125 and says so with its exit status and what it wrote on stderr; one
// still starting 600 s on is said to be slow, also with 125.
inline std::string ShellUnderWindowManager(const std::string& run) {
    return "wm_dir=$(mktemp -d) || exit 125; "
           "openbox --sm-disable --startup \"touch $wm_dir/ready\" >/dev/null 2>\"$wm_dir/stderr\" & wm=$!; "
           "wm_end=$(( $(date +%s) + 600 )); "
           "until [ -e \"$wm_dir/ready\" ]; do "
           "if ! kill -0 $wm 2>/dev/null; then wait $wm; "
           "echo \"openbox ended with status $? before it managed the screen: $(cat \"$wm_dir/stderr\")\"; "
           "rm -rf \"$wm_dir\"; exit 125; fi; "
           "if [ $(date +%s) -ge $wm_end ]; then echo \"openbox still starts 600 s on: too slow\"; kill $wm; "
           "rm -rf \"$wm_dir\"; exit 125; fi; "
           "sleep 0.01; done; rm -rf \"$wm_dir\"; " +
           run + "; status=$?; kill $wm; wait $wm; exit $status";
}

// This test program's own path; empty when it cannot be read.
inline std::string SelfPath() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    self[n] = 0;
    return self;
}

// The command line that runs the bash script on an X server of its own
// (x_server.h), through this test program: the script's exit status, 125
// when the server did not start (and what it said on stderr).
inline std::string OnOwnXServer(const std::string& screen, const std::string& script) {
    return "'" + SelfPath() + "' " + kOnOwnXServerSwitch + screen + " \"$(cat <<'X_SERVER_SCRIPT'\n" + script +
           "\nX_SERVER_SCRIPT\n)\"";
}

// The command line that runs command on an X server of its own (Xvfb)
// with a screen of the given size, SDL on x11 without sound.
// With window_manager, openbox manages the screen (ShellUnderWindowManager).
inline std::string UnderXvfb(const std::string& command, const std::string& screen, bool window_manager) {
    const std::string run = "env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy " + command;
    return OnOwnXServer(screen, window_manager ? ShellUnderWindowManager(run) : run);
}

// The xrandr lines that lay out the monitors of UnderXorgDummy once it
// runs: beside its first monitor (DUMMY0, 1280x1024 at 85 Hz at +0+0) a
// second one (DUMMY1) of 1920x1080, right of it (a 3200x1080 screen),
// below it or left of it; the outputs DUMMY2 and DUMMY3 are there, switched off.
inline const std::string kSecondMonitorRight =
    "xrandr --addmode DUMMY1 1920x1080 && xrandr --output DUMMY1 --mode 1920x1080 --right-of DUMMY0";
inline const std::string kSecondMonitorBelow =
    "xrandr --addmode DUMMY1 1920x1080 && xrandr --output DUMMY1 --mode 1920x1080 --below DUMMY0";
inline const std::string kSecondMonitorLeft =
    "xrandr --addmode DUMMY1 1920x1080 && xrandr --output DUMMY1 --mode 1920x1080 --left-of DUMMY0";

// The command line that runs command, as UnderXvfb does, on an X server
// that really switches modes: Xorg's dummy driver, its monitors laid out
// by the xrandr lines of monitors, each offering modes from 640x480 to
// 2048x1536. The line ends with 125 when the server or its monitors cannot
// be set up.
inline std::string UnderXorgDummy(const std::string& command, bool window_manager,
                                  const std::string& monitors = kSecondMonitorRight) {
    const std::string run = "env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy " + command;
    return OnOwnXServer("dummy", monitors + " || { echo the monitors cannot be laid out; exit 125; }\n" +
                                     (window_manager ? ShellUnderWindowManager(run) : run));
}

// Runs this test program again (UnderXvfb, or UnderXorgDummy with those
// monitors when the screen is "dummy"), with only the tests the filter
// names, disabled ones included (so that a test that needs a display runs
// only this way): its exit status, -1 when the program's own path cannot
// be read.
inline int RunSelfUnderX(const std::string& filter, const std::string& screen, bool window_manager,
                         const std::string& monitors = kSecondMonitorRight) {
    const std::string self = SelfPath();
    if (self.empty()) return -1;
    const std::string command = "\"" + self + "\" --gtest_also_run_disabled_tests --gtest_filter=" + filter;
    return std::system((screen == "dummy" ? UnderXorgDummy(command, window_manager, monitors)
                                          : UnderXvfb(command, screen, window_manager))
                           .c_str());
}

// RunSelfUnderX on Xvfb.
inline int RunSelfUnderXvfb(const std::string& filter, const std::string& screen = "1024x768",
                            bool window_manager = false) {
    return RunSelfUnderX(filter, screen, window_manager);
}

// Runs a bash script on its own X server (UnderXvfb) with the player's
// headless switch taken away: how it ended and all it wrote, the players
// it started included, for the test to show when it fails.
inline CommandOutcome RunScriptUnderXvfb(const std::string& script, const std::string& screen = "1024x768",
                                         bool window_manager = false) {
    return RunCommand(UnderXvfb("env -u VORQ_HEADLESS bash \"" + script + "\"", screen, window_manager) + " 2>&1");
}

// The lines of a shell script that wait for the process $pid to end, kill
// it when it has not ended 120 s on, and write its exit status into
// status_file.
inline std::string ShellAwaitEnd(const std::string& status_file) {
    return "(sleep 120; kill -KILL $pid) 2>/dev/null & deadline=$!\n"
           "wait $pid; echo $? > '" + status_file + "'\n"
           "pkill -P $deadline 2>/dev/null; wait $deadline; true\n";
}
