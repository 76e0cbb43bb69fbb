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
}  // namespace

void ReplaceFileContents(const std::string& sjis_path, const void* data, size_t size) {
    const std::string target = link_target(NativePath(sjis_path));
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string write_error = FileFaultMessage(FileFault::Write, sjis_path);
    if (target.empty()) throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
    TempFile tmp;
    std::string pattern = folder + ".~" + target.substr(folder.size()) + ".XXXXXX";
    tmp.fd = ::mkstemp(pattern.data());
    if (tmp.fd < 0) throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
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
        if (copy.fd < 0 && (errno != EEXIST || n >= 1000))
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
