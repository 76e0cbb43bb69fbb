#include "platform/filesystem/folder_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace {
// A folder's listing is kept only once its last change lies this far back
// when it is read: a change within the same tick of the file system's
// clock (two seconds on FAT) leaves its times as they were, so a listing
// read in the tick of a change may miss a second change.
constexpr int64_t kSettledNs = 2'000'000'000;
// Elsewhere a listing stands for its folder this long after it was read
// (about a frame: the look-ups of one page list a folder once), and until
// the player itself changes a file: a change of another program's may go
// unseen for that long, one of the player's own never.
constexpr int64_t kUntimedKeepNs = 20'000'000;
// Bounds of what is kept: the folders a game reads from, and their names.
constexpr size_t kMaxFolders = 64;
constexpr size_t kMaxNames = 1 << 17;

// File systems whose folders take new times at every create, remove and
// rename within them, by statfs's f_type. FAT and exFAT (even through
// FUSE), network and most FUSE file systems are not among them: a rename
// there may leave the folder's times as they were.
constexpr uint64_t kTimedFolderFileSystems[] = {
    EXT4_SUPER_MAGIC,  // ext2, ext3 and ext4 alike
    XFS_SUPER_MAGIC, BTRFS_SUPER_MAGIC, TMPFS_MAGIC, RAMFS_MAGIC, F2FS_SUPER_MAGIC,
    0x2FC12FC1,  // ZFS
    0x3153464A,  // JFS
    0x52654973,  // ReiserFS
    // Its folders' changes are made in the upper folder, one of the above
    // on every system that runs containers.
    OVERLAYFS_SUPER_MAGIC,
};

int64_t ns_of(const timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

int64_t steady_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return ns_of(t);
}

// Files made, replaced, renamed or removed by the player so far.
std::atomic<uint64_t> own_changes{0};
std::atomic<bool> times_trusted{true};

// UTF-8 names fold every ASCII letter; raw Shift-JIS names only those
// outside double-byte characters, whose trail bytes may be letters' codes.
std::string utf8_key(std::string_view name) {
    std::string k(name);
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return k;
}

struct Listing {
    dev_t Dev = 0;
    ino_t Ino = 0;
    int64_t Mtime = 0, Ctime = 0;
    off_t Size = 0;
    bool Timed = false;    // on a file system whose folder times follow every change
    bool Settled = false;  // read long enough after the folder's last change to be kept
    int64_t ReadAt = 0;    // steady clock, ns
    uint64_t OwnChanges = 0;
    std::vector<std::string> Names;  // in the listing's order
    std::unordered_multimap<std::string, uint32_t> Utf8Keys, SjisKeys;  // folded name -> index in Names

    bool Describes(const struct stat& st) const {
        return st.st_dev == Dev && st.st_ino == Ino && ns_of(st.st_mtim) == Mtime && ns_of(st.st_ctim) == Ctime &&
               st.st_size == Size;
    }
    // Whether it may stand for its folder without a look at the folder.
    bool Fresh() const {
        if (Timed) return Settled;
        return OwnChanges == own_changes.load() && steady_ns() - ReadAt < kUntimedKeepNs;
    }
    bool Stands(const struct stat& st) const { return Fresh() && Describes(st); }
};

// Reads the folder open for reading as fd anew (fd is closed); false when
// it cannot be read.
bool read_listing(int fd, Listing& out) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    // Taken first: a change of the player's made while the folder is read
    // drops this listing.
    const uint64_t own = own_changes.load();
    const int64_t read_at = steady_ns();
    if (fd < 0) return false;
    struct stat st;
    DIR* d = ::fstat(fd, &st) == 0 ? fdopendir(fd) : nullptr;
    if (!d) {
        ::close(fd);
        return false;
    }
    // The folder's state is taken before its entries are read: a change
    // made meanwhile gives it other times than those kept.
    Listing l;
    l.Dev = st.st_dev;
    l.Ino = st.st_ino;
    l.Mtime = ns_of(st.st_mtim);
    l.Ctime = ns_of(st.st_ctim);
    l.Size = st.st_size;
    struct statfs fs;
    l.Timed = times_trusted.load() && ::fstatfs(fd, &fs) == 0 &&
              FolderTimesFollowChanges(static_cast<uint64_t>(fs.f_type));
    l.Settled = l.Timed && ns_of(now) - std::max(l.Mtime, l.Ctime) >= kSettledNs;
    l.ReadAt = read_at;
    l.OwnChanges = own;
    while (dirent* e = readdir(d)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        const auto i = static_cast<uint32_t>(l.Names.size());
        l.Names.emplace_back(name);
        l.Utf8Keys.emplace(utf8_key(name), i);
        l.SjisKeys.emplace(AnsiLowerCase(name), i);
    }
    closedir(d);
    out = std::move(l);
    return true;
}

// The entries of a listing that one of the spellings names, as FolderEntriesNamed.
std::vector<std::string> named(const Listing& l, const std::vector<SystemSpelling>& spellings) {
    std::vector<std::string> found;
    std::vector<uint32_t> hits;
    for (const SystemSpelling& s : spellings) {
        const auto& keys = s.SjisBytes ? l.SjisKeys : l.Utf8Keys;
        const auto [from, to] = keys.equal_range(s.SjisBytes ? AnsiLowerCase(s.Name) : utf8_key(s.Name));
        hits.clear();
        for (auto it = from; it != to; ++it) hits.push_back(it->second);
        std::sort(hits.begin(), hits.end());
        for (uint32_t i : hits)
            if (std::find(found.begin(), found.end(), l.Names[i]) == found.end()) found.push_back(l.Names[i]);
    }
    return found;
}

class FolderIndex {
public:
    std::vector<std::string> Named(const std::string& dir, const std::vector<SystemSpelling>& spellings,
                                   const struct stat* dir_state) {
        const std::string path = dir.empty() ? "." : dir;
        struct stat st;
        if (!dir_state) {
            if (::stat(path.c_str(), &st) != 0) return {};
            dir_state = &st;
        }
        std::lock_guard guard(lock_);
        const Listing* l = find(path, *dir_state);
        return l ? named(*l, spellings) : std::vector<std::string>();
    }

    bool Kept(const std::string& dir) {
        std::lock_guard guard(lock_);
        const auto at = by_path_.find(dir.empty() ? "." : dir);
        return at != by_path_.end() && at->second->second.Fresh();
    }

    std::optional<std::vector<std::string>> KeptNamed(const std::string& dir,
                                                      const std::vector<SystemSpelling>& spellings,
                                                      struct stat& dir_state) {
        const std::string path = dir.empty() ? "." : dir;
        std::lock_guard guard(lock_);
        const auto at = by_path_.find(path);
        if (at == by_path_.end() || ::stat(path.c_str(), &dir_state) != 0) return std::nullopt;
        const Listing& l = at->second->second;
        if (!l.Stands(dir_state)) return std::nullopt;
        used_.splice(used_.begin(), used_, at->second);
        return named(l, spellings);
    }

    // From a kept listing of the folder of state st, wherever it was read from.
    std::optional<std::vector<std::string>> KeptNamedByState(const struct stat& st,
                                                             const std::vector<SystemSpelling>& spellings) {
        std::lock_guard guard(lock_);
        for (auto it = used_.begin(); it != used_.end(); ++it) {
            if (!it->second.Stands(st)) continue;
            used_.splice(used_.begin(), used_, it);
            return named(used_.front().second, spellings);
        }
        return std::nullopt;
    }

private:
    using Entry = std::pair<std::string, Listing>;

    // The folder's listing as it is now, most recently used first.
    const Listing* find(const std::string& path, const struct stat& now) {
        if (auto at = by_path_.find(path); at != by_path_.end()) {
            const auto it = at->second;
            if (it->second.Stands(now)) {
                used_.splice(used_.begin(), used_, it);
                return &it->second;
            }
            names_ -= it->second.Names.size();
            used_.erase(it);
            by_path_.erase(at);
        }
        Listing l;
        if (!read_listing(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), l)) return nullptr;
        names_ += l.Names.size();
        used_.emplace_front(path, std::move(l));
        by_path_[path] = used_.begin();
        while (used_.size() > 1 && (used_.size() > kMaxFolders || names_ > kMaxNames)) {
            names_ -= used_.back().second.Names.size();
            by_path_.erase(used_.back().first);
            used_.pop_back();
        }
        return &used_.front().second;
    }

    std::mutex lock_;
    std::list<Entry> used_;
    std::unordered_map<std::string, std::list<Entry>::iterator> by_path_;
    size_t names_ = 0;
};

FolderIndex& folder_index() {
    // Never destroyed: look-ups may still come while the process ends.
    static FolderIndex& index = *new FolderIndex;
    return index;
}
}  // namespace

bool FolderTimesFollowChanges(uint64_t file_system_type) {
    return std::find(std::begin(kTimedFolderFileSystems), std::end(kTimedFolderFileSystems), file_system_type) !=
           std::end(kTimedFolderFileSystems);
}

std::vector<std::string> FolderEntriesNamed(const std::string& dir, const std::vector<SystemSpelling>& spellings,
                                            const struct stat* dir_state) {
    return folder_index().Named(dir, spellings, dir_state);
}

std::vector<std::string> FolderEntriesNamedIn(int dir_fd, const std::vector<SystemSpelling>& spellings) {
    struct stat st;
    if (::fstat(dir_fd, &st) != 0) return {};
    if (auto kept = folder_index().KeptNamedByState(st, spellings)) return std::move(*kept);
    Listing l;
    if (!read_listing(::openat(dir_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), l)) return {};
    return named(l, spellings);
}

void NoteOwnFileChange() { own_changes.fetch_add(1); }

void TrustFolderTimes(bool trust) { times_trusted.store(trust); }

bool FolderListingKept(const std::string& dir) { return folder_index().Kept(dir); }

std::optional<std::vector<std::string>> KeptFolderEntriesNamed(const std::string& dir,
                                                               const std::vector<SystemSpelling>& spellings,
                                                               struct stat& dir_state) {
    return folder_index().KeptNamed(dir, spellings, dir_state);
}
