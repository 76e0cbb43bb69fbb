#include "tests/support/x_server.h"

#include "tests/support/wait_until.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace {

// A server that has not named its display by then is taken as hung: a
// busy two-core machine starts one in seconds.
constexpr std::chrono::seconds kStartDeadline{60};
// How long an asked server may take to end before it is killed.
constexpr std::chrono::milliseconds kEndGrace{2000};

// Xorg's dummy driver with one monitor of 1280x1024 at 85 Hz and room for
// the monitors that tests lay out beside it with xrandr; no input devices
// and no terminal of its own.
const char* const kXorgDummyConfig = R"(Section "Device"
  Identifier "card"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1280x1024_85" 159.50 1280 1376 1512 1744 1024 1027 1034 1078 -hsync +vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "card"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 4608 1536
    Modes "1280x1024_85"
  EndSubSection
EndSection
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoAddGPU" "false"
  Option "DontVTSwitch" "true"
EndSection
)";

// The program's path on PATH, found before the fork: a child of a
// threaded test program may only make async-signal-safe calls.
std::string on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return folder + "/" + program;
    return "";
}

// An authority file that lets in the clients that read it, whatever the
// display: one MIT-MAGIC-COOKIE-1 entry of a random cookie for any address
// and display number. False when it could not be written.
bool write_authority(const std::string& path) {
    unsigned char cookie[16];
    if (getrandom(cookie, sizeof cookie, 0) != sizeof cookie) return false;
    std::string entry;
    auto field = [&](const std::string& bytes) {
        entry += static_cast<char>(bytes.size() >> 8);
        entry += static_cast<char>(bytes.size() & 0xFF);
        entry += bytes;
    };
    entry = "\xFF\xFF";  // FamilyWild
    field("");
    field("");
    field("MIT-MAGIC-COOKIE-1");
    field(std::string(reinterpret_cast<const char*>(cookie), sizeof cookie));
    std::ofstream out(path, std::ios::binary);
    out << entry;
    return static_cast<bool>(out.flush());
}

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string exit_text(int status) {
    return WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                             : "signal " + std::to_string(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

TestXServer::TestXServer(const std::string& screen) {
    const bool dummy = screen == "dummy";
    const std::string program = on_path(dummy ? "Xorg" : "Xvfb");
    if (program.empty()) {
        failure_ = std::string(dummy ? "Xorg" : "Xvfb") + " is not installed";
        return;
    }
    char folder[] = "/tmp/vorq-x-XXXXXX";
    if (!mkdtemp(folder)) {
        failure_ = std::string("no folder for the X server: ") + std::strerror(errno);
        return;
    }
    folder_ = folder;
    // Only clients given the cookie connect, as on a desktop: no one else's
    // program reaches a test's screen.
    if (!write_authority(folder_ + "/authority")) {
        failure_ = std::string("no authority file for the X server: ") + std::strerror(errno);
        return;
    }
    std::vector<std::string> args{program, "-displayfd", "3", "-noreset", "-nolisten", "tcp", "-auth",
                                  folder_ + "/authority"};
    if (dummy) {
        std::ofstream(folder_ + "/xorg.conf") << kXorgDummyConfig;
        for (const char* a : {"-config", "xorg.conf", "-logfile", "log", "-sharevts", "-novtswitch"})
            args.push_back(a[0] == '-' ? std::string(a) : folder_ + "/" + a);
    } else {
        args.insert(args.end(), {"-screen", "0", screen + "x24"});
    }
    std::vector<std::string> env{std::string(kTestXServerMark) + "=" + VORQ_BINARY_DIR};
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, kTestXServerMark, std::strlen(kTestXServerMark)) != 0) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string output = folder_ + "/output";

    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        failure_ = std::string("no pipe for the X server: ") + std::strerror(errno);
        return;
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int named = fcntl(ready[1], F_DUPFD_CLOEXEC, 10);
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (named < 0 || in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 ||
            dup2(named, 3) < 0)
            _exit(127);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(ready[1]);
    if (pid_ < 0) {
        close(ready[0]);
        failure_ = std::string("the X server could not be started: ") + std::strerror(errno);
        return;
    }
    // The server writes its display's number and a newline once it takes
    // connections; the pipe ends with it when it fails first.
    std::string number;
    const auto end = std::chrono::steady_clock::now() + kStartDeadline;
    bool closed = false;
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd p{ready[0], POLLIN, 0};
        if (left.count() <= 0 || (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)) break;
        char c;
        const ssize_t n = read(ready[0], &c, 1);
        if (n == 0) {
            closed = true;
            break;
        }
        if (n == 1) number += c;
    }
    close(ready[0]);
    if (!number.empty() && number.back() == '\n') {
        display_ = ":" + number.substr(0, number.size() - 1);
        authority_ = folder_ + "/authority";
        return;
    }
    const std::string name = dummy ? "Xorg" : "Xvfb";
    int status = 0;
    if (closed && WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, kEndGrace)) {
        pid_ = -1;
        failure_ = name + " ended with " + exit_text(status) + " before it took connections";
    } else {
        failure_ = name + " named no display " +
                   (closed ? "and closed its pipe" : "within " + std::to_string(kStartDeadline.count()) + " s");
    }
    failure_ += ": " + file_text(output) + (dummy ? file_text(folder_ + "/log") : "");
    End();
}

void TestXServer::End() {
    if (pid_ > 0) {
        // The child stays ours until it is waited for: its id cannot have
        // gone to another process in between.
        kill(pid_, SIGTERM);
        int status = 0;
        auto ended = [&] {
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            return r == pid_ || (r < 0 && errno == ECHILD);
        };
        if (!WaitUntil(ended, kEndGrace)) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
    }
    display_.clear();
    authority_.clear();
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        folder_.clear();
    }
}

int RunOnOwnXServer(const std::string& screen, const std::string& script) {
    TestXServer server(screen);
    if (server.Display().empty()) {
        std::fprintf(stderr, "%s\n", server.Failure().c_str());
        return 125;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", server.Display().c_str(), 1);
        setenv("XAUTHORITY", server.Authority().c_str(), 1);
        execl("/bin/bash", "bash", "-c", script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (pid < 0) return 125;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return 125;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
