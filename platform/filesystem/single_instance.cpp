#include "platform/filesystem/single_instance.h"
#include "platform/filesystem/filesys.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

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

std::map<int, std::string>& held_files();

// A process that ends through exit() without letting its locks go (Xlib
// ends the player so when its display is lost) still removes their files;
// the kernel drops the locks themselves. A forked child that exits leaves
// its parent's files alone.
const pid_t lock_owner = ::getpid();
void remove_held_files() {
    if (::getpid() != lock_owner) return;
    for (const auto& [fd, path] : held_files()) ::unlink(path.c_str());
}

// The lock files this process holds, by handle: each is removed as its
// lock is let go, or at exit.
std::map<int, std::string>& held_files() {
    static std::map<int, std::string> files;
    // Registered after the map is made, so it runs before the map goes.
    static const bool removed_at_exit = std::atexit(remove_held_files) == 0;
    (void)removed_at_exit;
    return files;
}

bool private_folder_ok(const std::string& dir) {
    struct stat st;
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}
}  // namespace

std::string InstanceFolder(const std::string& sjis_folder) {
    namespace fs = std::filesystem;
    const std::string native = NativePath(sjis_folder);
    std::error_code ec;
    const fs::path absolute = fs::absolute(native, ec);
    if (ec) return native;
    // A folder that does not exist yet keeps the rest of its spelling,
    // made plain.
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    std::string path = (ec ? absolute.lexically_normal() : resolved).string();
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string InstanceMutexName(const std::string& sjis_folder) {
    std::string name;
    for (char c : InstanceFolder(sjis_folder)) {
        if (c == '%') name += "%25";
        else if (c == '-') name += "%2D";
        else name += c == '/' ? '-' : c;
    }
    if (name.empty() || name.back() != '-') name += '-';
    return name;
}

std::string InstanceLockFolder() {
    std::string dir = "/tmp/vorqplayer-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    // Someone else's folder or a link planted in its place is not used.
    if (!private_folder_ok(dir)) return {};
    return dir + "/";
}

std::string InstanceLockFile(const std::string& name) {
    const std::string dir = InstanceLockFolder();
    return dir.empty() ? dir : dir + lock_file_name(name);
}

InstanceMutex CreateInstanceMutex(const std::string& name) {
    const std::string path = InstanceLockFile(name);
    if (path.empty()) return UncheckedInstanceMutex;
    // A player that ends removes its lock file while it still holds it; one
    // that opened the file just before that would lock a file nobody else
    // can find any more, so the lock counts only on the file the name
    // still leads to.
    for (int attempt = 0; attempt < 16; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return UncheckedInstanceMutex;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int err = errno;
            ::close(fd);
            return err == EWOULDBLOCK ? NoInstanceMutex : UncheckedInstanceMutex;
        }
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            held_files()[fd] = path;
            return fd;
        }
        ::close(fd);
    }
    return UncheckedInstanceMutex;
}

void ReleaseInstanceMutex(InstanceMutex handle) {
    if (handle < 0) return;
    // Removed before the lock goes, so that no other player takes this file
    // in between and then loses it.
    if (auto it = held_files().find(handle); it != held_files().end()) {
        ::unlink(it->second.c_str());
        held_files().erase(it);
    }
    ::flock(handle, LOCK_UN);
    ::close(handle);
}
