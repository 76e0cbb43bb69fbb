#include "platform/filesystem/stream.h"
#include "platform/filesystem/folder_index.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/resources.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

int64_t TStream::GetSize() {
    int64_t pos = Seek(0, SeekOrigin::Current);
    int64_t size = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Beginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    const int64_t result = count;
    // A negative count copies nothing; it must not size the buffer.
    std::vector<uint8_t> buf(static_cast<size_t>(std::clamp<int64_t>(count, 0, 1 << 20)));
    while (count > 0) {
        int64_t n = std::min<int64_t>(count, static_cast<int64_t>(buf.size()));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        count -= n;
    }
    return result;
}

// ---- TMemoryStream

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || pos_ >= size_) return 0;
    size_t n = static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(size_ - pos_)));
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<int64_t>(n);
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    size_t end = pos_ + static_cast<size_t>(count);
    if (end > data_.size()) data_.resize(std::max(end, data_.size() + data_.size() / 2));
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ = end;
    if (end > size_) size_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Beginning ? 0 : origin == SeekOrigin::Current ? static_cast<int64_t>(pos_)
                                                                                         : static_cast<int64_t>(size_);
    int64_t p = base + offset;
    if (p < 0) p = 0;
    pos_ = static_cast<size_t>(p);
    return p;
}

void TMemoryStream::SetSize(int64_t size) {
    if (size < 0) size = 0;
    size_t n = static_cast<size_t>(size);
    if (n > data_.size()) data_.resize(n);
    if (n > size_) std::memset(data_.data() + size_, 0, n - size_);
    size_ = n;
    if (pos_ > size_) pos_ = size_;
}

void TMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    size_ = 0;
    pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& s) {
    s.SetPosition(0);
    int64_t n = s.GetSize();
    SetSize(n);
    if (n > 0) s.ReadBuffer(data_.data(), n);
    pos_ = 0;
}

void TMemoryStream::SaveToStream(TStream& s) {
    if (size_ > 0) s.WriteBuffer(data_.data(), static_cast<int64_t>(size_));
}

void TMemoryStream::LoadFromFile(const std::string& sjis_path) {
    TFileStream f(sjis_path, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& sjis_path) {
    TFileStream f(sjis_path, fmCreate);
    SaveToStream(f);
}

// ---- THandleStream

int64_t THandleStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || fd_ < 0) return 0;
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(buffer);
    while (done < count) {
        ssize_t r = ::read(fd_, p + done, static_cast<size_t>(count - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
    if (count <= 0 || fd_ < 0) return 0;
    int64_t done = 0;
    auto* p = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        ssize_t r = ::write(fd_, p + done, static_cast<size_t>(count - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        done += r;
    }
    return done;
}

int64_t THandleStream::Seek(int64_t offset, SeekOrigin origin) {
    if (fd_ < 0) return -1;
    int whence = origin == SeekOrigin::Beginning ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    return static_cast<int64_t>(r);
}

void THandleStream::SetSize(int64_t size) {
    if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) throw EStreamError("Stream size cannot be changed");
    if (GetPosition() > size) SetPosition(size);
}

void THandleStream::Flush() {
    if (fd_ >= 0) ::fsync(fd_);
}

// ---- TFileStream

TFileStream::TFileStream(const std::string& sjis_path, uint16_t mode) : THandleStream(-1), name_(sjis_path) {
    std::string native = NativePath(sjis_path);
    if (mode == fmCreate) {
        fd_ = ::open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        NoteOwnFileChange();
        if (fd_ < 0) throw EFCreateError(FileFaultMessage(FileFault::Create, sjis_path));
        return;
    }
    // A FIFO swapped in for a file would hold the open until someone wrote
    // to it: the open never waits, and only a regular file is taken (a
    // device would be read without end, a folder is no file).
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode & 0x0F) {
        case fmOpenWrite: flags |= O_WRONLY; break;
        case fmOpenReadWrite: flags |= O_RDWR; break;
        default: flags |= O_RDONLY; break;
    }
    fd_ = ::open(native.c_str(), flags);
    if (fd_ < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        throw EFOpenError(FileFaultMessage(missing ? FileFault::Missing : FileFault::Open, sjis_path));
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        throw EFOpenError(FileFaultMessage(FileFault::Open, sjis_path));
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

// ---- TResourceStream

TResourceStream::TResourceStream(const std::string& name, const std::string& type) {
    auto r = FindResource(name, type);
    if (!r) throw EStreamError("Resource " + name + " not found");
    data_ = *r;
}

int64_t TResourceStream::Read(void* buffer, int64_t count) {
    int64_t size = static_cast<int64_t>(data_.size());
    if (count <= 0 || pos_ >= size) return 0;
    int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TResourceStream::Write(const void*, int64_t) { throw EWriteError("Cannot write to a resource stream"); }

int64_t TResourceStream::Seek(int64_t offset, SeekOrigin origin) {
    int64_t base = origin == SeekOrigin::Beginning ? 0 : origin == SeekOrigin::Current ? pos_ : static_cast<int64_t>(data_.size());
    int64_t p = base + offset;
    if (p < 0) p = 0;
    pos_ = p;
    return p;
}
