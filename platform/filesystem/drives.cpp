#include "platform/filesystem/drives.h"
#include "platform/filesystem/filesys.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {
// Mount points escape space, tab, newline and backslash as \ooo.
std::string unescape_mount_field(const std::string& f) {
    std::string r;
    for (size_t i = 0; i < f.size(); ++i) {
        if (f[i] == '\\') {
            int v = 0;
            bool octal = true;
            for (size_t k = 1; k <= 3; ++k) {
                if (i + k >= f.size() || f[i + k] < '0' || f[i + k] > '7') {
                    octal = false;
                    break;
                }
                v = v * 8 + (f[i + k] - '0');
            }
            if (octal) {
                r += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        r += f[i];
    }
    return r;
}
}  // namespace

std::vector<std::string> CdRomRootsFromMountTable(const std::string& table) {
    std::vector<std::string> roots;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, mount_point, type;
        if (!(fields >> device >> mount_point >> type)) continue;
        if (type != "iso9660" && type != "udf") continue;
        std::string root = GamePath(unescape_mount_field(mount_point));
        if (root.empty() || root.back() != '/') root += '/';
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
    }
    std::sort(roots.begin(), roots.end());
    return roots;
}

std::vector<std::string> CdRomRoots() {
    std::ifstream f("/proc/self/mounts");
    std::stringstream ss;
    ss << f.rdbuf();
    return CdRomRootsFromMountTable(ss.str());
}

bool VolumeInformationAvailable(const std::string& root) {
    struct statvfs st;
    return ::statvfs(NativePath(root).c_str(), &st) == 0;
}

int64_t DiskSize(const std::string& root) {
    struct statvfs st;
    if (::statvfs(NativePath(root).c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.f_blocks) * static_cast<int64_t>(st.f_frsize);
}
