#include "platform/filesystem/single_instance.h"
#include "platform/filesystem/filesys.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

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

// One lock file held: the descriptors of the file and of its folder (kept
// open, so that the file is let go where it was made, even when its folder
// has been removed or replaced since) and its name there.
struct HeldLock {
    int Fd = -1, FolderFd = -1;
    std::string Name;
};

// Removes the lock file if the name still leads to it.
void remove_file(const HeldLock& l) {
    struct stat held, named;
    if (::fstat(l.Fd, &held) == 0 && ::fstatat(l.FolderFd, l.Name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ::unlinkat(l.FolderFd, l.Name.c_str(), 0);
}

std::map<int, std::vector<HeldLock>>& held_locks();

// A process that ends through exit() without letting its locks go (Xlib
// ends the player so when its display is lost) still removes their files;
// the kernel drops the locks themselves. A forked child that exits leaves
// its parent's files alone.
const pid_t lock_owner = ::getpid();
void remove_held_files() {
    if (::getpid() != lock_owner) return;
    for (const auto& [handle, locks] : held_locks())
        for (const HeldLock& l : locks) remove_file(l);
}

// The locks this process holds, by handle: each is let go as its handle
// is, or at exit.
std::map<int, std::vector<HeldLock>>& held_locks() {
    static std::map<int, std::vector<HeldLock>> locks;
    // Registered after the map is made, so it runs before the map goes.
    static const bool removed_at_exit = std::atexit(remove_held_files) == 0;
    (void)removed_at_exit;
    return locks;
}

std::string user_name(uid_t uid) {
    struct passwd pw, *found = nullptr;
    char buf[4096];
    const std::string id = "uid " + std::to_string(uid);
    if (getpwuid_r(uid, &pw, buf, sizeof buf, &found) != 0 || !found) return id;
    return std::string(found->pw_name) + " (" + id + ")";
}

// The user's home: the user database's, else $HOME; "" when neither
// names a folder.
std::string home_folder() {
    struct passwd pw, *found = nullptr;
    char buf[4096];
    std::string home;
    if (getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir[0] == '/')
        home = found->pw_dir;
    struct stat st;
    if (home.empty() || ::stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        const char* env = std::getenv("HOME");
        home = env && env[0] == '/' ? env : "";
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home == "/" ? std::string() : home;
}

// A lock folder, and where in its path the folders made for it begin.
struct LockFolder {
    std::string Path;  // "" when there is none
    size_t MadeFrom = 0;
};

LockFolder tmp_lock_folder() {
    const std::string path = "/tmp/vorqplayer-" + std::to_string(::getuid());
    return {path, path.size()};
}

LockFolder home_lock_folder() {
    const std::string home = home_folder();
    if (home.empty()) return {};
    return {home + "/.cache/vorqplayer/locks", home.size() + 1};
}

// Opens a lock folder, made (with the folders above it that it needs) when
// missing: a descriptor of it, or -1 with the reason it is not used. Only
// a folder of this user's is used, set back to mode 0700 when it has
// another; a link or anything else of that name is left as it is.
int open_lock_folder(const LockFolder& folder, std::string& why) {
    const std::string& dir = folder.Path;
    if (dir.empty()) {
        why = "there is no home folder";
        return -1;
    }
    // The first folder that could not be made says why the lock folder is
    // not there ("No such file or directory" from the folders below it
    // would hide it).
    int made_err = 0;
    auto make = [&](const std::string& path) {
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST && made_err == 0) made_err = errno;
    };
    for (size_t at = dir.find('/', folder.MadeFrom); at != std::string::npos; at = dir.find('/', at + 1))
        make(dir.substr(0, at));
    make(dir);
    struct stat st;
    // What stands there is asked first: another user's private folder
    // cannot be opened, and that is whose it is, not a permission fault.
    if (::lstat(dir.c_str(), &st) != 0) {
        why = std::string("cannot be made (") + std::strerror(made_err ? made_err : errno) + ")";
        return -1;
    }
    if (S_ISLNK(st.st_mode)) why = "is a symbolic link";
    else if (!S_ISDIR(st.st_mode)) why = "is not a folder";
    else if (st.st_uid != ::getuid()) why = "belongs to " + user_name(st.st_uid);
    if (!why.empty()) return -1;
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return -1;
    }
    // Checked again on what was opened: the name may have been taken meanwhile.
    if (::fstat(fd, &st) != 0) why = std::string("cannot be read (") + std::strerror(errno) + ")";
    else if (st.st_uid != ::getuid()) why = "belongs to " + user_name(st.st_uid);
    else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        why = std::string("cannot be made private (") + std::strerror(errno) + ")";
    else return fd;
    ::close(fd);
    return -1;
}

enum class LockResult { Held, HeldByAnother, Failed };

// Takes the lock file `name` in the folder. A player that ends removes its
// lock file while it still holds it; one that opened the file just before
// that would lock a file nobody else can find any more, so the lock counts
// only on the file the name still leads to. Anything else of that name (a
// link, another user's file, left from before the folder was private) is
// removed.
LockResult lock_in(int folder, const std::string& name, HeldLock& held, std::string& why) {
    auto failed = [&](int err) {
        why = std::string("cannot hold a lock file (") + std::strerror(err) + ")";
        return LockResult::Failed;
    };
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        struct stat st;
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
            const int err = errno;
            if (fd >= 0) ::close(fd);
            if (fd < 0 && err != ELOOP) return failed(err);
            ::unlinkat(folder, name.c_str(), 0);
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            return err == EWOULDBLOCK ? LockResult::HeldByAnother : failed(err);
        }
        struct stat named;
        if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == named.st_dev &&
            st.st_ino == named.st_ino) {
            held = {fd, folder, name};
            return LockResult::Held;
        }
        ::close(fd);
    }
    return failed(EAGAIN);
}

// Lets the locks go. Each file is removed before its lock goes, so that no
// other player takes it in between and then loses it.
void let_go(const std::vector<HeldLock>& locks) {
    for (const HeldLock& l : locks) {
        remove_file(l);
        ::flock(l.Fd, LOCK_UN);
        ::close(l.Fd);
        ::close(l.FolderFd);
    }
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
    std::string why;
    const LockFolder folder = tmp_lock_folder();
    const int fd = open_lock_folder(folder, why);
    if (fd < 0) return {};
    ::close(fd);
    return folder.Path + "/";
}

std::string InstanceLockFile(const std::string& name) {
    const std::string dir = InstanceLockFolder();
    return dir.empty() ? dir : dir + lock_file_name(name);
}

InstanceMutex CreateInstanceMutex(const std::string& name, std::string* notice) {
    const std::string file = lock_file_name(name);
    const LockFolder tmp = tmp_lock_folder(), home = home_lock_folder();
    std::string tmp_why, home_why;
    const int tmp_fd = open_lock_folder(tmp, tmp_why), home_fd = open_lock_folder(home, home_why);
    std::vector<HeldLock> held;
    bool refused = false;
    for (const auto& [folder, why] : {std::pair{tmp_fd, &tmp_why}, std::pair{home_fd, &home_why}}) {
        if (folder < 0) continue;
        HeldLock l;
        const LockResult r = refused ? LockResult::Failed : lock_in(folder, file, l, *why);
        if (r == LockResult::Held) {
            held.push_back(l);
            continue;
        }
        refused = refused || r == LockResult::HeldByAnother;
        ::close(folder);
    }
    if (notice) {
        notice->clear();
        if (tmp_fd < 0)
            *notice += tmp.Path + " " + tmp_why + ", so it is not used" +
                       (home_fd >= 0 ? ": the game is locked in " + home.Path + " alone\n" : "\n");
        if (held.empty() && !refused)
            *notice += "no lock folder can be used (" + (home.Path.empty() ? home_why : home.Path + " " + home_why) +
                       "): nothing keeps a second player from running the same game\n";
    }
    if (refused) {
        let_go(held);
        return NoInstanceMutex;
    }
    if (held.empty()) return UncheckedInstanceMutex;
    const int handle = held.front().Fd;
    held_locks()[handle] = std::move(held);
    return handle;
}

void ReleaseInstanceMutex(InstanceMutex handle) {
    if (handle < 0) return;
    const auto it = held_locks().find(handle);
    if (it == held_locks().end()) return;
    let_go(it->second);
    held_locks().erase(it);
}
