#include "platform/single_instance.h"
#include "platform/codepage.h"
#include "platform/filesys.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {
// File names are limited to 255 bytes; a long folder keeps its tail and a
// hash of the whole, so different folders still get different files.
std::string lock_file_name(const std::string& utf8_name) {
    constexpr size_t max_plain = 200;
    if (utf8_name.size() <= max_plain) return "vorqplayer-" + utf8_name + ".lock";
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : utf8_name) h = (h ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return "vorqplayer-" + std::string(hex) + "-" + utf8_name.substr(utf8_name.size() - 150) + ".lock";
}

bool private_folder_ok(const std::string& dir) {
    struct stat st;
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}
}  // namespace

std::string InstanceMutexName(const std::string& sjis_folder) {
    std::string name = AnsiUpperCase(sjis_folder);
    // The last character is a delimiter only when it is not a trail byte.
    bool ends_with_delimiter = false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsDBCSLeadByte(name[i]) && i + 1 < name.size()) {
            ++i;
            ends_with_delimiter = false;
        } else {
            ends_with_delimiter = IsPathDelimiter(name[i]);
            if (ends_with_delimiter) name[i] = '-';
        }
    }
    if (!ends_with_delimiter) name += '-';
    return name;
}

std::string InstanceLockFolder() {
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg == '/') {
        std::string dir = xdg;
        if (dir.back() != '/') dir += '/';
        return dir;
    }
    std::string dir = "/tmp/vorqplayer-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    // Someone else's folder or a link planted in its place is not used.
    if (!private_folder_ok(dir)) return {};
    return dir + "/";
}

InstanceMutex CreateInstanceMutex(const std::string& sjis_name) {
    std::string dir = InstanceLockFolder();
    if (dir.empty()) return UncheckedInstanceMutex;
    std::string path = dir + lock_file_name(Cp932ToUtf8(sjis_name));
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return UncheckedInstanceMutex;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? NoInstanceMutex : UncheckedInstanceMutex;
    }
    return fd;
}

void ReleaseInstanceMutex(InstanceMutex handle) {
    if (handle < 0) return;
    ::flock(handle, LOCK_UN);
    ::close(handle);
}
