#include "files/big_stream.h"
#include "files/save_stream.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {
constexpr int64_t kCopyBufferSize = 1048576;

// Neither create nor write-only: the existing volumes are opened.
bool opens_existing(uint16_t mode) {
    uint16_t access = mode & 0x0F;
    return mode != fmCreate && (access == fmOpenRead || access == fmOpenReadWrite);
}
}  // namespace

// ---- TWzBigFileStream

std::string TWzBigFileStream::VolumeName(const std::string& sjis_name, int k) {
    if (k == 0) return sjis_name;
    char num[16];
    std::snprintf(num, sizeof num, ".%.3d", k);
    return ChangeFileExt(sjis_name, "") + num;
}

TWzBigFileStream::TWzBigFileStream(const std::string& sjis_name, uint16_t mode, int64_t volume_size)
    : name_(sjis_name), mode_(mode), volume_size_(volume_size > 0 ? volume_size : kVolumeSize) {
    if (!opens_existing(mode)) {
        for (int k = 0; FileExists(VolumeName(name_, k)); ++k) DeleteFile(VolumeName(name_, k));
        return;
    }
    for (int k = 0; FileExists(VolumeName(name_, k)); ++k)
        volumes_.push_back(std::make_unique<TFileStream>(VolumeName(name_, k), mode));
    // Reading a file that is not there is an error, not an empty stream.
    if (volumes_.empty() && (mode & 0x0F) == fmOpenRead) throw EFOpenError(FileFaultMessage(FileFault::Missing, name_));
}

TWzBigFileStream::~TWzBigFileStream() {
    if ((mode_ & 0x0F) != fmOpenRead)
        for (auto& v : volumes_) v->Flush();
}

int64_t TWzBigFileStream::GetSize() {
    int64_t size = 0;
    for (auto& v : volumes_) size += v->GetSize();
    return size;
}

void TWzBigFileStream::SetPosition(int64_t p) { pos_ = std::clamp<int64_t>(p, 0, GetSize()); }

TFileStream& TWzBigFileStream::volume_for_write(size_t k) {
    while (volumes_.size() <= k)
        volumes_.push_back(std::make_unique<TFileStream>(VolumeName(name_, static_cast<int>(volumes_.size())), fmCreate));
    return *volumes_[k];
}

template <class Step>
int64_t TWzBigFileStream::walk(int64_t count, bool create, Step step) {
    int64_t done = 0;
    while (done < count) {
        const size_t k = static_cast<size_t>(pos_ / volume_size_);
        const int64_t off = pos_ % volume_size_;
        TFileStream* vol;
        int64_t room;
        if (create) {
            vol = &volume_for_write(k);
            room = volume_size_ - off;
        } else {
            if (k >= volumes_.size()) break;
            vol = volumes_[k].get();
            room = vol->GetSize() - off;
        }
        const int64_t n = std::min(room, count - done);
        if (n <= 0) break;
        vol->SetPosition(off);
        const int64_t moved = step(*vol, done, n);
        if (moved > 0) {
            pos_ += moved;
            done += moved;
        }
        if (moved < n) break;  // the volume gave or took less: stop, never spin
    }
    return done;
}

int64_t TWzBigFileStream::Write(const void* buffer, int64_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    return walk(count, true, [&](TFileStream& v, int64_t done, int64_t n) { return v.Write(p + done, n); });
}

int64_t TWzBigFileStream::Read(void* buffer, int64_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    return walk(count, false, [&](TFileStream& v, int64_t done, int64_t n) { return v.Read(p + done, n); });
}

int64_t TWzBigFileStream::CopyFromStream(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    return walk(count, true, [&](TFileStream& v, int64_t, int64_t n) { return CopyStreamBytes(v, source, n); });
}

int64_t TWzBigFileStream::CopyFrom(TWzBigStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    if (dynamic_cast<TWzBigFileStream*>(&source))
        return walk(count, true, [&](TFileStream& v, int64_t, int64_t n) { return source.CopyToStream(v, n); });
    std::unique_ptr<uint8_t[]> buf(new uint8_t[static_cast<size_t>(std::min(count, kCopyBufferSize))]);
    int64_t done = 0;
    while (done < count) {
        int64_t got = source.Read(buf.get(), std::min(count - done, kCopyBufferSize));
        if (got <= 0) break;
        int64_t put = Write(buf.get(), got);
        done += put;
        if (put < got) break;
    }
    return done;
}

int64_t TWzBigFileStream::CopyToStream(TStream& dest, int64_t count) {
    return walk(count, false, [&](TFileStream& v, int64_t, int64_t n) { return CopyStreamBytes(dest, v, n); });
}

// ---- TWzBuffBigStream

TWzBuffBigStream::~TWzBuffBigStream() {
    const int64_t unread = buffer_.GetSize() - buffer_.GetPosition();
    if (unread > 0) {
        try {
            source_.SetPosition(source_.GetPosition() - unread);
        } catch (...) {
            // A destructor must not throw; the source is left where it is.
        }
    }
}

int32_t TWzBuffBigStream::Read(void* buffer, int32_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < count) {
        if (buffer_.GetPosition() >= buffer_.GetSize()) {
            buffer_.SetSize(0);  // keeps the capacity for the next chunk
            const int64_t n = std::min(kChunkSize, source_.GetSize() - source_.GetPosition());
            if (n <= 0) break;  // the source has ended
            source_.CopyToStream(buffer_, n);
            buffer_.SetPosition(0);
            if (buffer_.GetSize() == 0) break;  // the source gave nothing
        }
        const int64_t n = std::min<int64_t>(count - done, buffer_.GetSize() - buffer_.GetPosition());
        buffer_.Read(p + done, n);
        done += static_cast<int32_t>(n);
    }
    return done;
}

// ---- TRangeStream

TRangeStream::TRangeStream(std::unique_ptr<TWzBigStream> inner, int64_t start, int64_t size) {
    Open(std::move(inner), start, size);
}

void TRangeStream::Open(std::unique_ptr<TWzBigStream> inner, int64_t start, int64_t size) {
    inner_ = std::move(inner);
    const int64_t whole = inner_->GetSize();
    // A window reaching past the inner stream would report a size it cannot deliver.
    start_ = std::clamp<int64_t>(start, 0, whole);
    size_ = std::clamp<int64_t>(size, 0, whole - start_);
    inner_->SetPosition(start_);
}

int64_t TRangeStream::Seek(int64_t offset, SeekOrigin origin) {
    // Offsets far outside any window are cut first so the sums cannot overflow.
    offset = std::clamp<int64_t>(offset, -(int64_t(1) << 62), int64_t(1) << 62);
    int64_t target;
    switch (origin) {
        case SeekOrigin::Beginning: target = start_ + offset; break;
        case SeekOrigin::Current: target = inner_->GetPosition() + offset; break;
        case SeekOrigin::End: target = start_ + size_ + offset; break;
        default: target = inner_->GetPosition(); break;
    }
    inner_->SetPosition(std::clamp(target, start_, start_ + size_));
    return inner_->GetPosition() - start_;
}

int64_t TRangeStream::Read(void* buffer, int64_t count) {
    const int64_t n = std::min(count, start_ + size_ - inner_->GetPosition());
    if (n <= 0) return 0;
    return inner_->Read(buffer, n);
}

int64_t TRangeStream::Write(const void*, int64_t) { return 0; }

TFileRangeStream::TFileRangeStream(const std::string& sjis_file, int64_t size, int64_t start) {
    auto inner = std::make_unique<TWzBigFileStream>(sjis_file, fmOpenRead | fmShareDenyWrite);
    if (size == 0) size = inner->GetSize() - start;
    Open(std::move(inner), start, size);
}

TResourceRangeStream::TResourceRangeStream(const std::string& name, int64_t size, int64_t start, const std::string& type) {
    auto inner = std::make_unique<TWzBigResourceStream>(name, type);
    if (size == 0) size = inner->GetSize() - start;
    Open(std::move(inner), start, size);
}
