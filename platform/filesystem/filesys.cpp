#include "platform/filesystem/filesys.h"
#include "platform/filesystem/folder_index.h"
#include "platform/text/codepage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace {
// Where the next delimiter of a game path lies from i on (never a trail
// byte), the path's size when none does.
size_t next_delimiter(const std::string& sjis, size_t i) {
    for (; i < sjis.size(); ++i) {
        if (IsPathDelimiter(sjis[i])) return i;
        if (IsDBCSLeadByte(sjis[i]) && i + 1 < sjis.size()) ++i;
    }
    return sjis.size();
}

// Where the last delimiter of a game path lies, npos when none does.
size_t last_delimiter(const std::string& sjis) {
    size_t last = std::string::npos;
    for (size_t i = next_delimiter(sjis, 0); i < sjis.size(); i = next_delimiter(sjis, i + 1)) last = i;
    return last;
}

// The system's path for a game path: its delimiters become "/" and the
// rest the system's bytes, carried bytes restored.
std::string to_native(const std::string& sjis) {
    std::string r = sjis;
    for (size_t i = next_delimiter(r, 0); i < r.size(); i = next_delimiter(r, i + 1)) r[i] = '/';
    return SjisToSystemName(r);
}

// Finds the entries a game path names, component by component, in the
// spellings each may have on disc (SystemNameSpellings), without case.
// A component spelt as the game spells it is taken as it is; another one
// is looked up in its folder's listing. A folder present in more than one
// spelling (unpacked once converted and once not) is searched in each, the
// game's own spelling first, so that a name is found in whichever holds it.
class PathSearch {
public:
    // parent_state: the stat of the path's folder as spelt, when known to be there.
    PathSearch(const std::string& sjis_path, const struct stat* parent_state) {
        rooted_ = IsPathDelimiter(sjis_path[0]);
        for (size_t i = 0; i <= sjis_path.size();) {
            const size_t j = next_delimiter(sjis_path, i);
            if (j > i) names_.push_back(sjis_path.substr(i, j - i));
            trailing_ = j == sjis_path.size() && j == i && !names_.empty();
            i = j + 1;
        }
        for (const std::string& name : names_) spelt_.push_back(SjisToSystemName(name));
        // The deepest folder of the path as the game spells it that is
        // there: the search starts below it.
        known_ = names_.size();
        if (parent_state && known_ > 0) {
            --known_;
            known_state_ = *parent_state;
            return;
        }
        while (known_ > 0) {
            --known_;
            if (known_ == 0 || ::stat(prefix(known_).c_str(), &known_state_) == 0) break;
        }
    }

    // The path found; else the path as first matched as far as it exists,
    // the rest as the game spells it.
    std::string Result() {
        std::string found;
        const bool whole = descend(0, rooted_ ? "/" : "", true, found);
        if (!whole) {
            found = rooted_ ? "/" : "";
            for (size_t k = 0; k < names_.size(); ++k) {
                found += k < first_.size() ? first_[k] : spelt_[k];
                found += '/';
            }
        }
        if (!found.empty() && found != "/" && !trailing_) found.pop_back();
        return found;
    }

private:
    std::string prefix(size_t k) const {
        std::string p = rooted_ ? "/" : "";
        for (size_t i = 0; i < k; ++i) p += spelt_[i] + "/";
        return p;
    }

    // Whether the names from k on are found below the folder dir ("" or
    // ending in "/", the path as the game spells it when spelt); the path
    // found in found.
    bool descend(size_t k, const std::string& dir, bool spelt, std::string& found) {
        if (k == names_.size()) {
            found = dir;
            return true;
        }
        if (--budget_ < 0) {
            first_open_ = false;
            return false;
        }
        // On the path as spelt, the components above the deepest folder
        // found so are there, the one below it is not.
        struct stat st;
        const bool as_spelt = spelt ? k < known_ : ::stat((dir + spelt_[k]).c_str(), &st) == 0;
        if (as_spelt && try_entry(k, dir, spelt_[k], spelt, found)) return true;
        std::vector<SystemSpelling> spellings = SystemNameSpellings(names_[k]);
        // A name there as spelt is not looked for in other letter cases.
        if (as_spelt) spellings.erase(spellings.begin());
        std::vector<std::string> entries;
        if (!spellings.empty())
            entries = FolderEntriesNamed(dir, spellings, spelt && k == known_ && k > 0 ? &known_state_ : nullptr);
        for (const std::string& entry : entries)
            if (entry != spelt_[k] && try_entry(k, dir, entry, false, found)) return true;
        if (!as_spelt && entries.empty()) first_open_ = false;
        return false;
    }

    bool try_entry(size_t k, const std::string& dir, const std::string& entry, bool spelt, std::string& found) {
        if (first_open_ && first_.size() == k) first_.push_back(entry);
        return descend(k + 1, dir + entry + "/", spelt, found);
    }

    bool rooted_ = false, trailing_ = false;
    std::vector<std::string> names_, spelt_;
    size_t known_ = 0;
    struct stat known_state_ {};
    // The names the first way down took, as far as it went.
    std::vector<std::string> first_;
    bool first_open_ = true;
    // Folders a look-up may try, against names spelt in many ways at many levels.
    int budget_ = 256;
};
}  // namespace

std::string NativePath(const std::string& sjis_path) {
    std::string p = to_native(sjis_path);
    if (p.empty()) return p;
    struct stat st;
    // A folder whose listing is kept answers for its entries in any
    // spelling at the cost of one look at the folder.
    const size_t slash = p.rfind('/');
    const size_t delimiter = last_delimiter(sjis_path);
    if (slash != std::string::npos && slash + 1 < p.size() && delimiter != std::string::npos) {
        const std::string dir = p.substr(0, slash + 1), name = p.substr(slash + 1);
        if (name != "." && name != ".." && FolderListingKept(dir)) {
            const std::vector<SystemSpelling> spellings = SystemNameSpellings(sjis_path.substr(delimiter + 1));
            if (spellings[0].Name == name) {
                if (const auto entries = KeptFolderEntriesNamed(dir, spellings, st)) {
                    if (std::find(entries->begin(), entries->end(), name) != entries->end()) return p;
                    if (!entries->empty()) return dir + entries->front();
                    return PathSearch(sjis_path, &st).Result();
                }
            }
        }
    }
    if (::stat(p.c_str(), &st) == 0) return p;
    return PathSearch(sjis_path, nullptr).Result();
}

std::vector<std::string> GamePathComponents(const std::string& sjis_path) {
    std::vector<std::string> names;
    for (size_t i = 0; i <= sjis_path.size();) {
        const size_t j = next_delimiter(sjis_path, i);
        if (j > i) names.push_back(sjis_path.substr(i, j - i));
        i = j + 1;
    }
    return names;
}

std::string GamePath(const std::string& native_path) { return SystemNameToSjis(native_path); }

std::string DisplayPath(const std::string& sjis_path) { return GamePath(NativePath(sjis_path)); }

std::string FileNotFoundMessage(const std::string& name) { return name + Sjis(":ファイルがありません"); }

std::string FileFaultMessage(FileFault fault, const std::string& sjis_path) {
    const std::string shown = DisplayPath(sjis_path);
    switch (fault) {
    case FileFault::Missing: return FileNotFoundMessage(shown);
    case FileFault::Open: return shown + Sjis(":ファイルを開けません");
    case FileFault::Create: return shown + Sjis(":ファイルが作れません");
    case FileFault::Write: return shown + Sjis(":ファイルに書き込めません");
    }
    return shown;
}

bool FileExists(const std::string& sjis_path) {
    struct stat st;
    return ::stat(NativePath(sjis_path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& sjis_path) {
    struct stat st;
    return !sjis_path.empty() && ::stat(NativePath(sjis_path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& sjis_path) {
    const bool done = ::unlink(NativePath(sjis_path).c_str()) == 0;
    NoteOwnFileChange();
    return done;
}

bool RenameFile(const std::string& from, const std::string& to) {
    const bool done = ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
    NoteOwnFileChange();
    return done;
}

bool ForceDirectories(const std::string& sjis_path) {
    std::error_code ec;
    fs::path p(NativePath(sjis_path));
    fs::create_directories(p, ec);
    NoteOwnFileChange();
    return fs::is_directory(p, ec);
}

int32_t DosDateTimeFromUnix(int64_t unix_time) {
    time_t t = static_cast<time_t>(unix_time);
    struct tm tm;
    localtime_r(&t, &tm);
    if (tm.tm_year < 80) return -1;
    uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return static_cast<int32_t>((date << 16) | time);
}

int64_t UnixFromDosDateTime(int32_t dos) {
    uint32_t v = static_cast<uint32_t>(dos);
    struct tm tm {};
    tm.tm_year = static_cast<int>((v >> 25) & 0x7F) + 80;
    tm.tm_mon = static_cast<int>((v >> 21) & 0x0F) - 1;
    tm.tm_mday = static_cast<int>((v >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((v >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((v >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>((v & 0x1F) * 2);
    tm.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&tm));
}

int32_t FileAge(const std::string& sjis_path) {
    struct stat st;
    if (::stat(NativePath(sjis_path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return DosDateTimeFromUnix(st.st_mtime);
}

int64_t FileSizeOf(const std::string& sjis_path) {
    struct stat st;
    if (::stat(NativePath(sjis_path).c_str(), &st) != 0) return -1;
    return st.st_size;
}

std::vector<std::string> ListDirectory(const std::string& sjis_path) {
    std::vector<std::string> names;
    DIR* d = opendir(NativePath(sjis_path).c_str());
    if (!d) return names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        names.push_back(GamePath(n));
    }
    closedir(d);
    return names;
}

int32_t FileGetAttr(const std::string& sjis_path) {
    std::string n = NativePath(sjis_path);
    struct stat st;
    if (::stat(n.c_str(), &st) != 0) return -1;
    int32_t a = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
    if (::access(n.c_str(), W_OK) != 0) a |= faReadOnly;
    return a;
}

namespace {
// Position of the last path or drive delimiter that is not a trail byte.
size_t last_delim(const std::string& path) {
    size_t pos = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(path[i]);
        if (IsDBCSLeadByte(b) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (IsPathDelimiter(path[i]) || path[i] == ':') pos = i;
    }
    return pos;
}
}  // namespace

std::string ExtractFilePath(const std::string& path) {
    size_t p = last_delim(path);
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& path) {
    size_t p = last_delim(path);
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string& path) {
    std::string name = ExtractFileName(path);
    size_t dot = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<uint8_t>(name[i])) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (name[i] == '.') dot = i;
    }
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string LowerFileExt(const std::string& path) {
    std::string ext = ExtractFileExt(path);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    std::string old = ExtractFileExt(path);
    return path.substr(0, path.size() - old.size()) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
    if (!path.empty() && last_delim(path) == path.size() - 1 && IsPathDelimiter(path.back())) return path;
    return path + PathDelim;
}

namespace {
// Each player's temporary folder is "vorq-<pid>-XXXXXX", held under an
// exclusive lock for the process's life: a later player can then tell the
// folder of a killed process (gone, lock free) from one in use.
constexpr std::string_view kTempPrefix = "vorq-";

constexpr char kFallbackTempBase[] = "/tmp";

struct TempFolders {
    std::string Private;  // "" when none could be made
    std::string Fallback;
};
TempFolders& temp_folders() {
    static TempFolders folders;
    return folders;
}
void remove_temp_folders() {
    std::error_code ec;
    if (!temp_folders().Private.empty()) fs::remove_all(temp_folders().Private, ec);
    if (!temp_folders().Fallback.empty()) fs::remove_all(temp_folders().Fallback, ec);
}

// The pid in a name of our kind, 0 for any other name.
pid_t temp_folder_pid(std::string_view name) {
    if (name.substr(0, kTempPrefix.size()) != kTempPrefix) return 0;
    name.remove_prefix(kTempPrefix.size());
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || name.size() - dash != 7 || dash > 9) return 0;
    pid_t pid = 0;
    for (char c : name.substr(0, dash)) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

// Removes our own folders in base whose process is gone. A pid taken
// again by another process, or a folder still locked (its player may live
// in another pid namespace), keeps its folder.
void remove_stale_temp_folders(const std::string& base) {
    DIR* d = opendir(base.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    while (dirent* e = readdir(d)) {
        const pid_t pid = temp_folder_pid(e->d_name);
        if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        stale.push_back(base + "/" + e->d_name);
    }
    closedir(d);
    for (const std::string& path : stale) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
        ::close(fd);
    }
}

// Makes and locks a folder of this process's in base (ending in "/"); ""
// when base will not take one.
std::string make_temp_folder(const std::string& base) {
    std::string tmpl = base + "/" + std::string(kTempPrefix) + std::to_string(::getpid()) + "-XXXXXX";
    if (!mkdtemp(tmpl.data())) return {};
    // Held until the process ends: the descriptor is never closed.
    const int fd = ::open(tmpl.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) ::close(fd);
    return tmpl + "/";
}
}  // namespace

std::string PrivateTempFolder() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The user's TMPDIR as the system gave it, else /tmp when that one
        // is missing, not a folder we can write to, or not absolute.
        std::vector<std::string> bases;
        if (const char* t = std::getenv("TMPDIR"); t && t[0] == '/') {
            std::string base = t;
            while (base.size() > 1 && base.back() == '/') base.pop_back();
            bases.push_back(base);
        }
        if (bases.empty() || bases[0] != kFallbackTempBase) bases.push_back(kFallbackTempBase);
        for (const std::string& base : bases) remove_stale_temp_folders(base);
        // Made before the handler is registered, so it outlives the handler's run.
        temp_folders();
        std::atexit(remove_temp_folders);
        for (const std::string& base : bases) {
            temp_folders().Private = make_temp_folder(base);
            if (temp_folders().Private.empty()) continue;
            if (base == kFallbackTempBase) temp_folders().Fallback = temp_folders().Private;
            break;
        }
    });
    return GamePath(temp_folders().Private);
}

std::string FallbackTempFolder() {
    PrivateTempFolder();
    static std::once_flag once;
    std::call_once(once, [] {
        if (temp_folders().Fallback.empty()) temp_folders().Fallback = make_temp_folder(kFallbackTempBase);
    });
    return GamePath(temp_folders().Fallback);
}

std::string ExeFileName() {
    std::error_code ec;
    auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : GamePath(p.string());
}

std::string ExeFolder() { return ExtractFilePath(ExeFileName()); }

bool IsPathInsideFolder(const std::string& sjis_folder, const std::string& sjis_relative) {
    // Components are checked in the system's form, where only "/" delimits
    // (no carried byte becomes "/" or ".").
    const std::string rel = to_native(sjis_relative);
    if (rel.empty() || rel[0] == '/' || rel.find(':') != std::string::npos) return false;
    for (size_t i = 0; i <= rel.size();) {
        size_t j = rel.find('/', i);
        if (j == std::string::npos) j = rel.size();
        if (rel.compare(i, j - i, "..") == 0) return false;
        i = j + 1;
    }
    if (rel.back() == '/') return false;
    char* root = ::realpath(NativePath(sjis_folder).c_str(), nullptr);
    if (!root) return false;
    std::string inside = root;
    std::free(root);
    const std::string parent = ExtractFilePath(sjis_relative);
    char* real = ::realpath(NativePath(IncludeTrailingPathDelimiter(sjis_folder) + parent).c_str(), nullptr);
    if (!real) return false;
    const std::string folder = real;
    std::free(real);
    if (inside.back() != '/') inside += '/';
    return folder + '/' == inside || folder.compare(0, inside.size(), inside) == 0;
}
