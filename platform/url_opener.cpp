#include "platform/url_opener.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {
TUrlOpener url_opener = nullptr;

bool spawn_xdg_open(const std::string& url) {
    // An address that starts like an option must not become one.
    if (url.empty() || url[0] == '-') return false;
    std::string program = "xdg-open";
    std::string arg = url;
    char* argv[] = {program.data(), arg.data(), nullptr};
    pid_t pid = 0;
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    const int rc = posix_spawnp(&pid, "xdg-open", nullptr, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    // xdg-open hands the address on and returns; the frame loop must not
    // wait for it.
    int status = 0;
    waitpid(pid, &status, WNOHANG);
    return true;
}
}  // namespace

bool ShellOpenUrl(const std::string& url) { return (url_opener ? url_opener : spawn_xdg_open)(url); }

void SetUrlOpener(TUrlOpener opener) { url_opener = opener; }
