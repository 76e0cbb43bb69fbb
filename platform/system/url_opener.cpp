#include "platform/system/url_opener.h"

#include "platform/text/codepage.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

#include <mutex>
#include <thread>

extern char** environ;

namespace {

TUrlOpener url_opener = nullptr;
std::mutex g_mutex;
std::string g_program = "xdg-open";
bool g_wait = false;

void reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool spawn_opener(const std::string& sjis_url) {
    // An address that starts like an option must not become one.
    if (sjis_url.empty() || sjis_url[0] == '-') return false;
    std::string program;
    bool wait = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        program = g_program;
        wait = g_wait;
    }
    std::string url = Cp932ToUtf8(sjis_url);
    char* argv[] = {program.data(), url.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    if (wait) {
        reap(pid);
        return true;
    }
    // The opener may outlive this call (a browser it starts runs on) and the
    // frame loop must not wait for it; a thread of its own collects its exit
    // so that no zombie is left.
    std::thread([pid] { reap(pid); }).detach();
    return true;
}

}  // namespace

bool ShellOpenUrl(const std::string& url) { return (url_opener ? url_opener : spawn_opener)(url); }

void SetUrlOpener(TUrlOpener opener) { url_opener = opener; }

void SetUrlOpenerProgram(const std::string& program, bool wait) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_program = program.empty() ? "xdg-open" : program;
    g_wait = wait;
}
