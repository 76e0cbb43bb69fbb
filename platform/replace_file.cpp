#include "platform/replace_file.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/filesys.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {
struct TempFile {
    std::string path;
    int fd = -1;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!path.empty()) ::unlink(path.c_str());
    }
};
}  // namespace

void ReplaceFileContents(const std::string& sjis_path, const void* data, size_t size) {
    const std::string target = NativePath(sjis_path);
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string write_error = Sjis("ファイルに書き込めません: ") + sjis_path;
    TempFile tmp;
    std::string pattern = folder + ".~" + target.substr(folder.size()) + ".XXXXXX";
    tmp.fd = ::mkstemp(pattern.data());
    if (tmp.fd < 0) throw EFCreateError(Sjis("ファイルを作成できません: ") + sjis_path);
    tmp.path = pattern;
    // mkstemp makes the file private; the replacement keeps what the old one had.
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
    const int fd = tmp.fd;
    tmp.fd = -1;
    if (::fsync(fd) != 0) {
        ::close(fd);
        throw EWriteError(write_error);
    }
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
