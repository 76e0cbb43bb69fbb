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
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <string_view>
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
// Links followed along one path before it counts as a loop, as the kernel counts.
constexpr int kMaxLinks = 40;

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool is_temp_letter(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The kernel's openat2, or what a test stands in for it.
Openat2Call openat2_stand_in = nullptr;

// What tells a folder the walk no longer holds open from every other:
// its device and number, and its birth time where the file system keeps
// one, since a folder removed may give its number to the next one made.
struct Identity {
    dev_t Dev = 0;
    ino_t Ino = 0;
    bool Born = false;
    struct statx_timestamp Birth {};
};

bool identify(int fd, Identity& id) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME, &sx) == 0) {
        id = {makedev(sx.stx_dev_major, sx.stx_dev_minor), sx.stx_ino, (sx.stx_mask & STATX_BTIME) != 0, sx.stx_btime};
        return true;
    }
    // A kernel before statx (4.11), or a sandbox refusing it: no birth time.
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    id = {st.st_dev, st.st_ino, false, {}};
    return true;
}

bool same_folder(const Identity& a, const Identity& b) {
    return a.Dev == b.Dev && a.Ino == b.Ino &&
           (!a.Born || !b.Born || (a.Birth.tv_sec == b.Birth.tv_sec && a.Birth.tv_nsec == b.Birth.tv_nsec));
}

// The folder a write must not leave, held open. Its identity tells it
// wherever a walk meets it again, by whatever path or spelling.
struct Confinement {
    Fd Root;
    Identity Id;
};

// Where a write to a path lands once its links are followed: the folder
// that holds the file (held open, so that a folder renamed meanwhile
// changes nothing) and the file's name in it.
struct Target {
    Fd Dir;
    std::string Name;
    bool Exists = false;
    struct stat State {};
};

// A name of a path still to be walked, or a check owed to a link followed.
struct Step {
    std::string Name;    // the system's spelling; the game's own (Shift-JIS) when Game
    bool Game = false;   // written by a game, so matched in its folder without case
    bool Last = false;   // the file's own name (for a check: owed by a link in its place)
    bool Check = false;  // what the link of user Owner led to must be Owner's
    uid_t Owner = 0;
};

// The entry of the folder dir a game's name means: the name as spelt when
// it is there, else the first entry spelt otherwise (letter case, a game
// unpacked without converting names), else the name as spelt (a new file).
std::string spelling_in(int dir, const std::string& sjis) {
    const std::vector<SystemSpelling> spellings = SystemNameSpellings(sjis);
    struct stat st {};
    if (::fstatat(dir, spellings[0].Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT)
        return spellings[0].Name;
    const std::vector<std::string> found = FolderEntriesNamedIn(dir, spellings);
    return found.empty() ? spellings[0].Name : found.front();
}

// The system's path, from a folder, of the folders the names before the
// last lead to, when no ".." lies on the way: "." and a name per folder.
std::optional<std::vector<std::string>> plain_folders(const std::deque<Step>& steps) {
    std::vector<std::string> rel;
    for (size_t i = 0; i + 1 < steps.size(); ++i) {
        if (steps[i].Name == "..") return std::nullopt;
        if (steps[i].Name == ".") continue;
        rel.push_back((rel.empty() ? std::string(".") : rel.back()) + "/" +
                      (steps[i].Game ? SjisToSystemName(steps[i].Name) : steps[i].Name));
    }
    return rel;
}

// Opens in one call the folder rel leads to from `from`, when no link lies
// on the way (below a confinement the kernel then keeps the path beneath
// it); nothing when it cannot: a link on the way, a name in another case,
// a kernel without openat2 or a sandbox refusing it. The names are then
// walked one by one, to the same end.
Fd open_plainly(int from, const std::string& rel, bool beneath) {
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | (beneath ? RESOLVE_BENEATH : 0);
    const long fd = openat2_stand_in ? openat2_stand_in(from, rel.c_str(), &how, sizeof how)
                                     : ::syscall(SYS_openat2, from, rel.c_str(), &how, sizeof how);
    return Fd(static_cast<int>(fd));
}

// A folder the walk went through, known by its identity rather than held
// open, so that however deep the path or long its links the walk holds a
// few descriptors only; or, between the walk's first folder and one the
// kernel opened in one call, its path from the first (opened again the
// same way, to be known, when a ".." comes back to it).
struct Walked {
    Identity Id;
    bool Inside = true;  // at or below the confinement's folder
    std::string Plain;
};

// Follows the names of a path from the folder `from`, reading each link
// itself. Below a confinement, what the path finally leads to must lie
// inside it; links relative or absolute may pass outside on the way. A
// ".." goes to the folder that holds the present one and goes on only
// when that is the folder the walk came from (one on the way may be moved
// out meanwhile; the walk is then refused); only from the walk's first
// folder does it go up to whatever holds it, and outside a confinement
// the walk is back in only where it meets the confinement's folder
// itself. A link of another user is followed only where that user could
// lead this one: as root (who may write anything), only to what that
// user owns; otherwise when root made it or when that user owns the
// folder holding it, as the kernel's protected links rule. follow_last:
// whether links in the file's own place are followed (a removal takes the
// link itself). Refusals raise EWriteError, a folder that is not there
// EFCreateError.
Target resolve(const Confinement* in, Fd from, std::deque<Step> steps, bool follow_last,
               const std::string& sjis_path) {
    const auto refuse = [&] { return EWriteError(FileFaultMessage(FileFault::Write, sjis_path)); };
    const auto missing = [&] { return EFCreateError(FileFaultMessage(FileFault::Create, sjis_path)); };
    const auto fail = [&] {
        if (errno == ENOENT || errno == ENOTDIR) throw missing();
        throw refuse();
    };
    if (steps.empty() || from.get() < 0) throw missing();
    steps.back().Last = true;
    const bool beneath = in != nullptr;
    const auto known = [&](int fd) {
        Identity id;
        if (!identify(fd, id)) throw refuse();
        return id;
    };
    // The walk's first folder and the one it is in (when another), held
    // open; every folder between them known by its identity.
    Fd first = std::move(from), here;
    std::vector<Walked> walked{{known(first.get()), true, {}}};
    const auto dir_now = [&] { return walked.size() == 1 ? first.get() : here.get(); };
    const auto is_root = [&](const Identity& id) { return in && same_folder(id, in->Id); };
    if (const auto rel = plain_folders(steps); rel && !rel->empty()) {
        if (Fd dir = open_plainly(first.get(), rel->back(), beneath); dir.get() >= 0) {
            for (const std::string& r : *rel) walked.push_back({{}, true, r});
            walked.back().Id = known(dir.get());
            walked.back().Plain.clear();
            here = std::move(dir);
            steps.erase(steps.begin(), steps.end() - 1);
        }
    }
    // A folder entered from the present one: inside when that one is, or
    // when it is the confinement's folder itself.
    const auto enter = [&](Fd next) {
        if (next.get() < 0) fail();
        const Identity id = known(next.get());
        walked.push_back({id, walked.back().Inside || is_root(id), {}});
        here = std::move(next);
    };
    const auto leave = [&] {
        Fd up(::openat(dir_now(), "..", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (up.get() < 0) fail();
        const Identity id = known(up.get());
        if (walked.size() == 1) {
            walked[0] = {id, !in || is_root(id), {}};
            first = std::move(up);
            return;
        }
        walked.pop_back();
        Walked& back = walked.back();
        if (!back.Plain.empty()) {
            back.Id = known(open_plainly(first.get(), back.Plain, beneath).get());
            back.Plain.clear();
        }
        if (!same_folder(id, back.Id)) throw refuse();
        if (walked.size() == 1) here.reset();
        else here = std::move(up);
    };
    const uid_t self = ::geteuid();
    Target t;
    for (int links = 0; !steps.empty();) {
        const Step s = std::move(steps.front());
        steps.pop_front();
        const int dir = dir_now();
        if (s.Check) {
            struct stat led {};
            if (s.Last && t.Exists) led = t.State;
            else if (::fstat(s.Last ? t.Dir.get() : dir, &led) != 0) throw refuse();
            if (led.st_uid != s.Owner) throw refuse();
            continue;
        }
        if (s.Name.empty() || s.Name == "." || s.Name == "..") {
            if (s.Last) throw refuse();
            if (s.Name == "..") leave();
            continue;
        }
        const std::string name = s.Game ? spelling_in(dir, s.Name) : s.Name;
        Fd node(::openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        const bool there = node.get() >= 0 && ::fstat(node.get(), &st) == 0;
        if (!there && (!s.Last || errno != ENOENT)) fail();
        if (there && S_ISLNK(st.st_mode) && (!s.Last || follow_last)) {
            struct stat holder {};
            if (++links > kMaxLinks ||
                (self != 0 && st.st_uid != self && st.st_uid != 0 &&
                 (::fstat(dir, &holder) != 0 || holder.st_uid != st.st_uid)))
                throw refuse();
            std::string to(PATH_MAX + 1, '\0');
            const ssize_t n = ::readlinkat(node.get(), "", to.data(), to.size());
            if (n <= 0 || static_cast<size_t>(n) >= to.size()) throw refuse();
            to.resize(static_cast<size_t>(n));
            std::deque<Step> more;
            for (size_t i = 0; i <= to.size();) {
                const size_t j = std::min(to.find('/', i), to.size());
                if (j > i) more.push_back({to.substr(i, j - i)});
                i = j + 1;
            }
            // A link that leads to a folder ("dir/", "/") names no file.
            if (s.Last && (more.empty() || to.back() == '/')) throw refuse();
            if (!more.empty()) more.back().Last = s.Last;
            if (self == 0 && st.st_uid != 0) more.push_back({std::string(), false, s.Last, true, st.st_uid});
            steps.insert(steps.begin(), more.begin(), more.end());
            if (to[0] == '/') {
                Fd top(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                if (top.get() < 0) fail();
                const Identity id = known(top.get());
                first = std::move(top);
                here.reset();
                walked.assign(1, {id, !in || is_root(id), {}});
            }
            continue;
        }
        if (s.Last) {
            if (!walked.back().Inside) throw refuse();
            t.Dir = std::move(walked.size() == 1 ? first : here);
            t.Name = name;
            t.Exists = there;
            t.State = st;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) throw missing();
        enter(std::move(node));
    }
    return t;
}

// The file at a path. The folders up to the file's own are the user's or
// the launcher's choice, opened as the kernel follows their links; the
// file's name and wherever its links lead are walked by the rules above.
Target resolve_path(const std::string& sjis_path, bool follow_last) {
    const std::string native = NativePath(sjis_path);
    if (native.empty() || native.back() == '/') throw EWriteError(FileFaultMessage(FileFault::Write, sjis_path));
    const size_t slash = native.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    Fd from(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::deque<Step> steps{{slash == std::string::npos ? native : native.substr(slash + 1)}};
    return resolve(nullptr, std::move(from), std::move(steps), follow_last, sjis_path);
}

// The file a game names below its folder, from the folder held open.
Target resolve_in_folder(const std::string& sjis_folder, const std::string& sjis_relative, bool follow_last,
                         const std::string& sjis_path) {
    Confinement in;
    in.Root = Fd(::open(NativePath(sjis_folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (in.Root.get() < 0 || !identify(in.Root.get(), in.Id))
        throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
    std::deque<Step> steps;
    for (std::string& name : GamePathComponents(sjis_relative)) steps.push_back({std::move(name), true});
    Fd from(::fcntl(in.Root.get(), F_DUPFD_CLOEXEC, 0));
    return resolve(&in, std::move(from), std::move(steps), follow_last, sjis_path);
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

// ".~" + name + ".", which six letters or digits end in a temporary's
// name. A name too long for that to fit the system's limit on a name
// (255 bytes) is cut, where no character of several bytes is split, and
// ends in a hash of the whole name instead, so that each long name keeps
// temporaries of its own.
std::string temporary_prefix(const std::string& name) {
    constexpr size_t kNameMax = 255, kAround = 3 + kTempSuffixLength, kHash = 17;
    if (name.size() + kAround <= kNameMax) return ".~" + name + ".";
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    size_t cut = kNameMax - kAround - kHash;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    char tail[kHash + 1];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    return ".~" + name.substr(0, cut) + tail + ".";
}

// Removes the temporaries of name in the folder dir (".~" + name + "." + six
// letters or digits) that are ours and that no writer holds: a player
// killed between writing one and renaming it leaves it there, and every
// crash would add another. A writer holds its temporary locked from its
// making until it is renamed away.
void remove_stale_temporaries(int dir, const std::string& name) {
    const std::string prefix = temporary_prefix(name);
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
        std::string candidate = temporary_prefix(name);
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

// A file made to stand for another (its replacement, a copy) takes that
// file's owner and group, then its permission bits: root saving into a
// user's game must not take the user's file, nor the copy of it, from them.
void keep_owner_and_mode(int fd, const struct stat& of) {
    if ((of.st_uid != ::geteuid() || of.st_gid != ::getegid()) && ::fchown(fd, of.st_uid, of.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), of.st_gid);
    ::fchmod(fd, of.st_mode & 07777);
}

// A file root makes new in a folder another user owns is that user's, as
// if they had made it themselves: their next run may then replace it.
void give_to_folder_owner(int fd, int dir) {
    struct stat folder {};
    if (::geteuid() == 0 && ::fstat(dir, &folder) == 0 && folder.st_uid != 0)
        (void)::fchown(fd, folder.st_uid, folder.st_gid);
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
    // file had.
    if (t.Exists) {
        keep_owner_and_mode(tmp.fd, t.State);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(tmp.fd, 0666 & ~mask);
        give_to_folder_owner(tmp.fd, dir);
    }
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

// Whether the regular file name of the folder dir holds the bytes of the
// open file fd (of stat st); fd is read from its start and left anywhere.
bool same_content(int fd, const struct stat& st, int dir, const std::string& name) {
    struct stat other {};
    const Fd fd2 = open_regular(dir, name, other);
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

void SetOpenat2ForTests(Openat2Call call) { openat2_stand_in = call; }

void CheckFileReplaceable(const std::string& sjis_path) {
    check_writable(resolve_path(sjis_path, true), sjis_path);
}

bool LinksFollowedForWriting(const std::string& sjis_path) {
    try {
        resolve_path(sjis_path, true);
    } catch (const EWriteError&) {
        return false;
    } catch (const EFCreateError&) {
    }
    return true;
}

void ReplaceFileContents(const std::string& sjis_path, const void* data, size_t size) {
    Target t = resolve_path(sjis_path, true);
    replace_target(t, sjis_path, data, size);
}

void ReplaceFileInFolder(const std::string& sjis_folder, const std::string& sjis_relative, const void* data,
                         size_t size) {
    const std::string sjis_path = IncludeTrailingPathDelimiter(sjis_folder) + sjis_relative;
    Target t = resolve_in_folder(sjis_folder, sjis_relative, true, sjis_path);
    replace_target(t, sjis_path, data, size);
}

bool DeleteFileInFolder(const std::string& sjis_folder, const std::string& sjis_relative) {
    const std::string sjis_path = IncludeTrailingPathDelimiter(sjis_folder) + sjis_relative;
    try {
        const Target t = resolve_in_folder(sjis_folder, sjis_relative, false, sjis_path);
        if (!t.Exists) return false;
        const bool done = ::unlinkat(t.Dir.get(), t.Name.c_str(), 0) == 0;
        NoteOwnFileChange();
        return done;
    } catch (const EStreamError&) {
        return false;
    }
}

std::string KeepFileCopy(const std::string& sjis_path, const std::string& suffix) {
    const Target t = resolve_path(sjis_path, true);
    if (!t.Exists) throw EFOpenError(FileFaultMessage(FileFault::Missing, sjis_path));
    struct stat st {};
    const Fd in = open_regular(t.Dir.get(), t.Name, st);
    if (in.get() < 0) throw EFOpenError(FileFaultMessage(FileFault::Open, sjis_path));
    // The copy lies beside the name, wherever a link there leads.
    const Target beside = resolve_path(sjis_path, false);
    TempFile copy;
    copy.dir = beside.Dir.get();
    std::string copy_path, copy_name;
    for (int n = 1; copy.fd < 0; ++n) {
        const std::string tail = suffix + (n > 1 ? "." + std::to_string(n) : std::string());
        copy_path = sjis_path + tail;
        copy_name = beside.Name + SjisToSystemName(tail);
        copy.fd = ::openat(copy.dir, copy_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        const int err = errno;
        if (copy.fd < 0 && err == EEXIST && same_content(in.get(), st, copy.dir, copy_name)) return copy_path;
        if (copy.fd < 0 && (err != EEXIST || n >= 1000))
            throw EFCreateError(FileFaultMessage(FileFault::Create, copy_path));
    }
    copy.name = copy_name;
    keep_owner_and_mode(copy.fd, st);
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
