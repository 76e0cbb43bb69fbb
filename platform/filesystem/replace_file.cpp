#include "platform/filesystem/replace_file.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/folder_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace {
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = std::exchange(o.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct TempFile {
    int dir = -1;
    std::string name;
    int fd = -1;
    int lock_fd = -1;  // keeps the lock after fd is closed, until the rename is done
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!name.empty()) ::unlinkat(dir, name.c_str(), 0);
        if (lock_fd >= 0) ::close(lock_fd);
    }
};

// The six characters that make a temporary's name its own.
constexpr size_t kTempSuffixLength = 6;
// Links followed from one name before it counts as a loop, as the kernel counts.
constexpr int kMaxLinks = 40;

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool is_temp_letter(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Splits a path at its last "/": the folder ("/" for the root, "" for none)
// and the name.
std::pair<std::string, std::string> split_last(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {std::string(), path};
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(slash + 1)};
}

std::string join(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "/" + b;
}

// Opens the folder rel below root without leaving it on the way: no
// absolute path, no ".." above root, no link leading out, no magic link.
int open_beneath(int root, const std::string& rel) {
    if (rel.empty()) return ::fcntl(root, F_DUPFD_CLOEXEC, 0);
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, root, rel.c_str(), &how, sizeof how));
}

// The folder a write must not leave: held open, with its real path ("" when
// unknown) for links written as absolute paths into it.
struct Confinement {
    Fd Root;
    std::string Real;
};

// Where a write to a path lands once the links of its last component are
// followed: the folder that holds the file (held open, so that a folder
// renamed meanwhile changes nothing) and the file's name in it.
struct Target {
    Fd Dir;
    std::string Rel;  // the folder's path below the confinement, when there is one
    std::string Name;
    bool Exists = false;
    struct stat State {};
};

// Follows the links of the last component of path (below the confinement
// when in is given, path then relative to it). Only links owned by this
// user or by the owner of the folder holding them are followed, as the
// kernel's protected links are, so that another user who may write to a
// shared folder cannot lead a write (or a copy) to a file of ours; below a
// confinement a link must stay inside it. Refusals raise EWriteError, a
// folder that is not there EFCreateError.
Target resolve_target(const std::string& path, const Confinement* in, const std::string& sjis_path) {
    const auto refuse = [&] { return EWriteError(FileFaultMessage(FileFault::Write, sjis_path)); };
    const auto missing = [&] { return EFCreateError(FileFaultMessage(FileFault::Create, sjis_path)); };
    Target t;
    auto [dir, name] = split_last(path);
    if (in) {
        t.Dir = Fd(open_beneath(in->Root.get(), dir));
        t.Rel = dir;
    } else {
        t.Dir = Fd(::open(dir.empty() ? "." : dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    if (t.Dir.get() < 0) {
        if (errno == EXDEV || errno == ELOOP) throw refuse();
        throw missing();
    }
    t.Name = name;
    for (int links = 0;; ++links) {
        if (t.Name.empty() || t.Name == "." || t.Name == "..") throw refuse();
        struct stat st {};
        if (::fstatat(t.Dir.get(), t.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) throw refuse();
            return t;
        }
        if (!S_ISLNK(st.st_mode)) {
            t.Exists = true;
            t.State = st;
            return t;
        }
        struct stat folder {};
        if (links >= kMaxLinks || ::fstat(t.Dir.get(), &folder) != 0 ||
            (st.st_uid != ::geteuid() && st.st_uid != folder.st_uid))
            throw refuse();
        std::string to(PATH_MAX + 1, '\0');
        const ssize_t n = ::readlinkat(t.Dir.get(), t.Name.c_str(), to.data(), to.size());
        if (n <= 0 || static_cast<size_t>(n) >= to.size()) throw refuse();
        to.resize(static_cast<size_t>(n));
        std::tie(dir, name) = split_last(to);
        if (in) {
            std::string rel;
            if (to[0] != '/') {
                rel = join(t.Rel, dir);
            } else if (in->Real == "/") {
                std::tie(rel, name) = split_last(to.substr(1));
            } else if (!in->Real.empty() && to.compare(0, in->Real.size() + 1, in->Real + "/") == 0) {
                std::tie(rel, name) = split_last(to.substr(in->Real.size() + 1));
            } else {
                throw refuse();
            }
            Fd next(open_beneath(in->Root.get(), rel));
            if (next.get() < 0) {
                if (errno == ENOENT || errno == ENOTDIR) throw missing();
                throw refuse();
            }
            t.Dir = std::move(next);
            t.Rel = rel;
        } else if (!dir.empty()) {
            Fd next(::openat(t.Dir.get(), dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (next.get() < 0) throw missing();
            t.Dir = std::move(next);
        }
        t.Name = name;
    }
}

// A device, a FIFO, a socket or a folder in the file's place (a link to
// /dev/null turns a file off) is never written over, nor a file its user
// made read-only (the user's word, which root's rights do not override),
// nor one this user may not write.
void check_writable(const Target& t, const std::string& sjis_path) {
    if (!t.Exists) return;
    if (!S_ISREG(t.State.st_mode) || (t.State.st_mode & 0222) == 0 ||
        ::faccessat(t.Dir.get(), t.Name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
        throw EWriteError(FileFaultMessage(FileFault::Write, sjis_path));
}

// Removes the temporaries of name in the folder dir (".~" + name + "." + six
// letters or digits) that are ours and that no writer holds: a player
// killed between writing one and renaming it leaves it there, and every
// crash would add another. A writer holds its temporary locked from its
// making until it is renamed away.
void remove_stale_temporaries(int dir, const std::string& name) {
    const std::string prefix = ".~" + name + ".";
    const int list_fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = list_fd >= 0 ? ::fdopendir(list_fd) : nullptr;
    if (!d) {
        if (list_fd >= 0) ::close(list_fd);
        return;
    }
    std::vector<std::string> found;
    while (const dirent* e = ::readdir(d)) {
        const std::string_view n = e->d_name;
        if (n.size() != prefix.size() + kTempSuffixLength || n.substr(0, prefix.size()) != prefix) continue;
        const std::string_view suffix = n.substr(prefix.size());
        if (std::all_of(suffix.begin(), suffix.end(), is_temp_letter)) found.emplace_back(n);
    }
    ::closedir(d);
    for (const std::string& n : found) {
        const Fd fd(::openat(dir, n.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() < 0) continue;
        struct stat held {}, now {};
        // Still the same file once locked: not one renamed away meanwhile.
        if (::fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dir, n.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && same_file(held, now))
            ::unlinkat(dir, n.c_str(), 0);
    }
}

// A new temporary for name in the folder dir, locked. Another player's
// clean-up may take the file between its making and its locking; then
// another is made.
void make_locked_temporary(int dir, const std::string& name, TempFile& tmp) {
    static constexpr char kLetters[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (int tries = 0; tries < 64; ++tries) {
        unsigned char random[kTempSuffixLength];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return;
        std::string candidate = ".~" + name + ".";
        for (unsigned char r : random) candidate += kLetters[r % (sizeof kLetters - 1)];
        const int fd = ::openat(dir, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return;
        struct stat made {}, now {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &made) == 0 &&
            ::fstatat(dir, candidate.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && same_file(made, now)) {
            tmp.dir = dir;
            tmp.fd = fd;
            tmp.name = candidate;
            return;
        }
        ::close(fd);
    }
}

bool rename_flag_unsupported(int err) { return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP; }

// Puts the written temporary in the target's place. What stood there is
// looked at once it is out of the way (exchanged into the temporary's
// name): anything but a regular file, swapped in after the checks, is put
// back and the write refused, so that no device, FIFO, socket, folder or
// link is ever replaced by a file. File systems that cannot exchange two
// names are left with the check made just before a plain rename.
void put_in_place(Target& t, TempFile& tmp, const std::string& sjis_path) {
    const int dir = t.Dir.get();
    const char* from = tmp.name.c_str();
    const char* to = t.Name.c_str();
    const auto refuse = [&] { return EWriteError(FileFaultMessage(FileFault::Write, sjis_path)); };
    const auto plain_rename = [&] {
        struct stat st {};
        if (::fstatat(dir, to, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) throw refuse();
        if (::renameat(dir, from, dir, to) != 0) throw refuse();
        tmp.name.clear();
    };
    if (::renameat2(dir, from, dir, to, RENAME_EXCHANGE) == 0) {
        struct stat out {};
        if (::fstatat(dir, from, &out, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(out.st_mode)) {
            ::renameat2(dir, from, dir, to, RENAME_EXCHANGE);
            throw refuse();
        }
        // The old file now bears the temporary's name; it goes with it.
        return;
    }
    if (rename_flag_unsupported(errno)) return plain_rename();
    if (errno != ENOENT) throw refuse();
    if (::renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) {
        tmp.name.clear();
        return;
    }
    if (rename_flag_unsupported(errno)) return plain_rename();
    throw refuse();
}

void replace_target(Target& t, const std::string& sjis_path, const void* data, size_t size) {
    check_writable(t, sjis_path);
    const int dir = t.Dir.get();
    const std::string write_error = FileFaultMessage(FileFault::Write, sjis_path);
    remove_stale_temporaries(dir, t.Name);
    TempFile tmp;
    make_locked_temporary(dir, t.Name, tmp);
    if (tmp.fd < 0) throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
    // The temporary is private and ours; the replacement keeps what the old
    // file had: its owner and group (root saving into a user's game must
    // not take the user's file from them), then its permission bits.
    mode_t mode;
    if (t.Exists) {
        if ((t.State.st_uid != ::geteuid() || t.State.st_gid != ::getegid()) &&
            ::fchown(tmp.fd, t.State.st_uid, t.State.st_gid) != 0)
            (void)::fchown(tmp.fd, static_cast<uid_t>(-1), t.State.st_gid);
        mode = t.State.st_mode & 07777;
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
    put_in_place(t, tmp, sjis_path);
    NoteOwnFileChange();
    // Without this the rename may still be only in memory when the power goes.
    const Fd sync(::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (sync.get() >= 0) ::fsync(sync.get());
}

// Opens the regular file of an open folder for reading, never waiting
// (a FIFO swapped in would block the open) and never taking anything but
// a regular file (a device would be read without end).
Fd open_regular(int dir, const std::string& name, struct stat& st) {
    Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() >= 0 && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))) fd.reset();
    return fd;
}

// Whether the regular file at path holds the bytes of the open file fd
// (of stat st); fd is read from its start and left anywhere.
bool same_content(int fd, const struct stat& st, const std::string& path) {
    struct stat other {};
    const Fd fd2 = open_regular(AT_FDCWD, path, other);
    if (fd2.get() < 0 || other.st_size != st.st_size) return false;
    char a[65536], b[65536];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, a, sizeof a, at);
        if (got <= 0) return got == 0 && ::pread(fd2.get(), b, 1, at) == 0;
        if (::pread(fd2.get(), b, static_cast<size_t>(got), at) != got ||
            std::memcmp(a, b, static_cast<size_t>(got)) != 0)
            return false;
        at += got;
    }
}
}  // namespace

void CheckFileReplaceable(const std::string& sjis_path) {
    check_writable(resolve_target(NativePath(sjis_path), nullptr, sjis_path), sjis_path);
}

bool LinksFollowedForWriting(const std::string& sjis_path) {
    try {
        resolve_target(NativePath(sjis_path), nullptr, sjis_path);
    } catch (const EWriteError&) {
        return false;
    } catch (const EFCreateError&) {
    }
    return true;
}

void ReplaceFileContents(const std::string& sjis_path, const void* data, size_t size) {
    Target t = resolve_target(NativePath(sjis_path), nullptr, sjis_path);
    replace_target(t, sjis_path, data, size);
}

namespace {
// Opens the folder a game's path must stay in; the path's remainder below
// it in rel. Refused (EWriteError) when the path does not lie below it as
// written.
Confinement confine(const std::string& sjis_folder, const std::string& sjis_path, std::string& rel) {
    std::string folder = NativePath(sjis_folder);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string full = NativePath(sjis_path);
    if (folder.empty() || full.compare(0, folder.size() + 1, folder + "/") != 0)
        throw EWriteError(FileFaultMessage(FileFault::Write, sjis_path));
    Confinement in;
    in.Root = Fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (in.Root.get() < 0) throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
    std::string real(PATH_MAX + 1, '\0');
    const ssize_t n =
        ::readlink(("/proc/self/fd/" + std::to_string(in.Root.get())).c_str(), real.data(), real.size());
    if (n > 0 && static_cast<size_t>(n) < real.size()) real.resize(static_cast<size_t>(n));
    else real.clear();
    // A link written as an absolute path may still lead into the folder;
    // without the folder's real path no absolute link is followed.
    in.Real = real;
    rel = full.substr(folder.size() + 1);
    return in;
}
}  // namespace

void ReplaceFileInFolder(const std::string& sjis_folder, const std::string& sjis_relative, const void* data,
                         size_t size) {
    const std::string sjis_path = IncludeTrailingPathDelimiter(sjis_folder) + sjis_relative;
    std::string rel;
    const Confinement in = confine(sjis_folder, sjis_path, rel);
    Target t = resolve_target(rel, &in, sjis_path);
    replace_target(t, sjis_path, data, size);
}

bool DeleteFileInFolder(const std::string& sjis_folder, const std::string& sjis_relative) {
    const std::string sjis_path = IncludeTrailingPathDelimiter(sjis_folder) + sjis_relative;
    try {
        std::string rel;
        const Confinement in = confine(sjis_folder, sjis_path, rel);
        const auto [dir, name] = split_last(rel);
        const Fd parent(open_beneath(in.Root.get(), dir));
        if (parent.get() < 0 || name.empty() || name == "." || name == "..") return false;
        const bool done = ::unlinkat(parent.get(), name.c_str(), 0) == 0;
        NoteOwnFileChange();
        return done;
    } catch (const EStreamError&) {
        return false;
    }
}

std::string KeepFileCopy(const std::string& sjis_path, const std::string& suffix) {
    const Target t = resolve_target(NativePath(sjis_path), nullptr, sjis_path);
    if (!t.Exists) throw EFOpenError(FileFaultMessage(FileFault::Missing, sjis_path));
    struct stat st {};
    const Fd in = open_regular(t.Dir.get(), t.Name, st);
    if (in.get() < 0) throw EFOpenError(FileFaultMessage(FileFault::Open, sjis_path));
    TempFile copy;
    copy.dir = AT_FDCWD;
    std::string copy_path;
    for (int n = 1; copy.fd < 0; ++n) {
        copy_path = sjis_path + suffix + (n > 1 ? "." + std::to_string(n) : std::string());
        copy.fd = ::open(NativePath(copy_path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0666);
        const int err = errno;
        if (copy.fd < 0 && err == EEXIST && same_content(in.get(), st, NativePath(copy_path))) return copy_path;
        if (copy.fd < 0 && (err != EEXIST || n >= 1000))
            throw EFCreateError(FileFaultMessage(FileFault::Create, copy_path));
    }
    copy.name = NativePath(copy_path);
    const std::string write_error = FileFaultMessage(FileFault::Write, copy_path);
    char buf[65536];
    for (;;) {
        ssize_t got = ::read(in.get(), buf, sizeof buf);
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
    copy.name.clear();
    NoteOwnFileChange();
    return copy_path;
}
