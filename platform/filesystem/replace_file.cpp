#include "platform/filesystem/replace_file.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace {
struct TempFile {
    std::string path;
    int fd = -1;
    int lock_fd = -1;  // keeps the lock after fd is closed, until the rename is done
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!path.empty()) ::unlink(path.c_str());
        if (lock_fd >= 0) ::close(lock_fd);
    }
};

// The six characters that mkostemp fills in.
constexpr size_t kTempSuffixLength = 6;

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Removes the temporaries of name in folder (".~" + name + "." + six
// letters or digits) that are ours and that no writer holds: a player
// killed between writing one and renaming it leaves it there, and every
// crash would add another. A writer holds its temporary locked from its
// making until it is renamed away.
void remove_stale_temporaries(const std::string& folder, const std::string& name) {
    const std::string prefix = ".~" + name + ".";
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    std::vector<std::string> found;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n.size() != prefix.size() + kTempSuffixLength || n.substr(0, prefix.size()) != prefix) continue;
        const std::string_view suffix = n.substr(prefix.size());
        if (std::all_of(suffix.begin(), suffix.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            }))
            found.emplace_back(n);
    }
    ::closedir(d);
    for (const std::string& n : found) {
        const std::string path = folder + n;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {}, now {};
        // Still the same file once locked: not one renamed away meanwhile.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &now) == 0 && same_file(held, now))
            ::unlink(path.c_str());
        ::close(fd);
    }
}

// A new temporary for target, locked. Another player's clean-up may take
// the file between its making and its locking; then another is made.
void make_locked_temporary(const std::string& folder, const std::string& name, TempFile& tmp) {
    for (int tries = 0; tries < 8; ++tries) {
        std::string pattern = folder + ".~" + name + "." + std::string(kTempSuffixLength, 'X');
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) return;
        struct stat made {}, now {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &made) == 0 && ::lstat(pattern.c_str(), &now) == 0 &&
            same_file(made, now)) {
            tmp.fd = fd;
            tmp.path = pattern;
            return;
        }
        ::close(fd);
    }
}

// The file a path leads to through links of its last component, so that
// the replacement lands in the linked file (in the link target's folder)
// and the link stays a link; a dangling link leads to the file to make.
// Empty when the links go round in a loop.
std::string link_target(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string to(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), to.data(), to.size());
        if (n <= 0 || static_cast<size_t>(n) >= to.size()) return {};
        to.resize(static_cast<size_t>(n));
        const size_t slash = path.find_last_of('/');
        path = to[0] == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
    }
    return {};
}

// Whether the regular file at path holds the bytes of the open file fd
// (of stat st); fd is read from its start and left anywhere.
bool same_content(int fd, const struct stat& st, const std::string& path) {
    struct stat other {};
    if (::stat(path.c_str(), &other) != 0 || !S_ISREG(other.st_mode) || other.st_size != st.st_size) return false;
    const int fd2 = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd2 < 0) return false;
    char a[65536], b[65536];
    bool same = true;
    for (off_t at = 0; same;) {
        const ssize_t got = ::pread(fd, a, sizeof a, at);
        if (got <= 0) {
            same = got == 0 && ::pread(fd2, b, 1, at) == 0;
            break;
        }
        same = ::pread(fd2, b, static_cast<size_t>(got), at) == got && std::memcmp(a, b, static_cast<size_t>(got)) == 0;
        at += got;
    }
    ::close(fd2);
    return same;
}

void check_writable(const std::string& target, const std::string& sjis_path) {
    struct stat st {};
    if (target.empty() || ::stat(target.c_str(), &st) != 0) return;
    // A device, a FIFO, a socket or a folder in the file's place (a link to
    // /dev/null turns a file off) is never renamed over: that would put a
    // file where the system had one of those.
    if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 ||
        ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        throw EWriteError(FileFaultMessage(FileFault::Write, sjis_path));
}
}  // namespace

void CheckFileReplaceable(const std::string& sjis_path) {
    check_writable(link_target(NativePath(sjis_path)), sjis_path);
}

void ReplaceFileContents(const std::string& sjis_path, const void* data, size_t size) {
    const std::string target = link_target(NativePath(sjis_path));
    check_writable(target, sjis_path);
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string write_error = FileFaultMessage(FileFault::Write, sjis_path);
    if (target.empty()) throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
    const std::string name = target.substr(folder.size());
    remove_stale_temporaries(folder, name);
    TempFile tmp;
    make_locked_temporary(folder, name, tmp);
    if (tmp.fd < 0) throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
    // mkostemp makes the file private; the replacement keeps what the old one had.
    struct stat old {};
    mode_t mode;
    if (::stat(target.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(tmp.fd, mode);
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(tmp.fd, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EWriteError(write_error);
        done += static_cast<size_t>(n);
    }
    if (::fsync(tmp.fd) != 0) throw EWriteError(write_error);
    // The lock lives on in the duplicate while close reports what the
    // file system kept back.
    tmp.lock_fd = ::fcntl(tmp.fd, F_DUPFD_CLOEXEC, 0);
    if (tmp.lock_fd < 0) throw EWriteError(write_error);
    const int fd = tmp.fd;
    tmp.fd = -1;
    if (::close(fd) != 0) throw EWriteError(write_error);
    if (::rename(tmp.path.c_str(), target.c_str()) != 0) throw EWriteError(write_error);
    tmp.path.clear();
    // Without this the rename may still be only in memory when the power goes.
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string KeepFileCopy(const std::string& sjis_path, const std::string& suffix) {
    const int in = ::open(NativePath(sjis_path).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw EFOpenError(FileFaultMessage(errno == ENOENT ? FileFault::Missing : FileFault::Open, sjis_path));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } in_closer{in};
    struct stat st {};
    ::fstat(in, &st);
    TempFile copy;
    std::string copy_path;
    for (int n = 1; copy.fd < 0; ++n) {
        copy_path = sjis_path + suffix + (n > 1 ? "." + std::to_string(n) : std::string());
        copy.fd = ::open(NativePath(copy_path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0666);
        const int err = errno;
        if (copy.fd < 0 && err == EEXIST && same_content(in, st, NativePath(copy_path))) return copy_path;
        if (copy.fd < 0 && (err != EEXIST || n >= 1000))
            throw EFCreateError(FileFaultMessage(FileFault::Create, copy_path));
    }
    copy.path = NativePath(copy_path);
    const std::string write_error = FileFaultMessage(FileFault::Write, copy_path);
    char buf[65536];
    for (;;) {
        ssize_t got = ::read(in, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw EReadError(FileFaultMessage(FileFault::Open, sjis_path));
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t n = ::write(copy.fd, buf + done, static_cast<size_t>(got - done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw EWriteError(write_error);
            done += n;
        }
    }
    if (::fsync(copy.fd) != 0) throw EWriteError(write_error);
    const int fd = copy.fd;
    copy.fd = -1;
    if (::close(fd) != 0) throw EWriteError(write_error);
    copy.path.clear();
    return copy_path;
}
