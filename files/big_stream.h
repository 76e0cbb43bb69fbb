// 64-bit streams: files of any size split into volume files (save.dat,
// save.001, save.002, ...), memory and resource variants with the same
// interface, a buffered reader, and read-only windows that present a
// stretch of a big stream as an ordinary TStream (one archive entry handed
// to a media player without copying it).
#pragma once
#include "files/save_stream.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The base class stores nothing; every operation returns 0 and does nothing.
class TWzBigStream {
public:
    virtual ~TWzBigStream() = default;
    virtual int64_t GetSize() { return 0; }
    virtual int64_t GetPosition() { return 0; }
    virtual void SetPosition(int64_t) {}
    virtual int64_t Write(const void*, int64_t) { return 0; }
    virtual int64_t Read(void*, int64_t) { return 0; }
    // count 0: the whole source from its position 0. Return the bytes copied.
    virtual int64_t CopyFrom(TWzBigStream&, int64_t) { return 0; }
    virtual int64_t CopyFromStream(TStream&, int64_t) { return 0; }
    // count bytes from the current position (0 copies nothing).
    virtual int64_t CopyToStream(TStream&, int64_t) { return 0; }
};

class TWzBigFileStream : public TWzBigStream {
public:
    static constexpr int64_t kVolumeSize = int64_t(1) << 30;

    // Write-only and create modes delete the existing volumes (stopping at
    // the first missing one) and create volumes as they are written. Other
    // modes open the existing volumes; a missing volume 0 in read-only mode
    // raises EFOpenError. volume_size is only ever changed by tests.
    TWzBigFileStream(const std::string& sjis_name, uint16_t mode, int64_t volume_size = kVolumeSize);
    ~TWzBigFileStream() override;
    TWzBigFileStream(const TWzBigFileStream&) = delete;
    TWzBigFileStream& operator=(const TWzBigFileStream&) = delete;

    // Name of volume k: the file itself for 0, else the name without its
    // extension followed by ".%.3d".
    static std::string VolumeName(const std::string& sjis_name, int k);

    int64_t GetSize() override;
    int64_t GetPosition() override { return pos_; }
    // Never beyond the size (nor below 0).
    void SetPosition(int64_t p) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t CopyFrom(TWzBigStream& source, int64_t count) override;
    int64_t CopyFromStream(TStream& source, int64_t count) override;
    int64_t CopyToStream(TStream& dest, int64_t count) override;

private:
    TFileStream& volume_for_write(size_t k);
    // Walks the volumes from the position for count bytes; step(volume,
    // offset, n) moves up to n bytes and returns how many moved. With
    // create set, missing volumes are made; otherwise the walk ends at the
    // end of the last volume.
    template <class Step>
    int64_t walk(int64_t count, bool create, Step step);

    std::string name_;
    uint16_t mode_;
    int64_t volume_size_;
    int64_t pos_ = 0;
    std::vector<std::unique_ptr<TFileStream>> volumes_;
};

// A big stream over one platform stream (32-bit positions in stored use):
// everything passes to the inner stream. CopyFrom copies only from a big
// stream of the same kind; from any other it copies nothing.
template <class Inner>
class TWzBigInnerStream : public TWzBigStream {
public:
    template <class... A>
    explicit TWzBigInnerStream(A&&... args) : inner_(std::forward<A>(args)...) {}
    int64_t GetSize() override { return inner_.GetSize(); }
    int64_t GetPosition() override { return inner_.GetPosition(); }
    void SetPosition(int64_t p) override { inner_.SetPosition(p); }
    int64_t Write(const void* buffer, int64_t count) override { return inner_.Write(buffer, count); }
    int64_t Read(void* buffer, int64_t count) override { return inner_.Read(buffer, count); }
    int64_t CopyFrom(TWzBigStream& source, int64_t count) override {
        auto* same = dynamic_cast<TWzBigInnerStream*>(&source);
        return same ? CopyStream(inner_, same->inner_, count) : 0;
    }
    int64_t CopyFromStream(TStream& source, int64_t count) override { return CopyStream(inner_, source, count); }
    int64_t CopyToStream(TStream& dest, int64_t count) override { return CopyStreamBytes(dest, inner_, count); }

protected:
    Inner inner_;
};

class TWzBigMemoryStream : public TWzBigInnerStream<TMemoryStream> {
public:
    TMemoryStream& Inner() { return inner_; }
    void LoadFromFile(const std::string& sjis_name) { inner_.LoadFromFile(sjis_name); }
    void SaveToFile(const std::string& sjis_name) { inner_.SaveToFile(sjis_name); }
};

// Read-only: writing raises the resource stream's EWriteError.
class TWzBigResourceStream : public TWzBigInnerStream<TResourceStream> {
public:
    TWzBigResourceStream(const std::string& name, const std::string& type) : TWzBigInnerStream(name, type) {}
};

// Reads a big stream ahead in chunks of 102,400 bytes. On destruction the
// source is set back by the bytes read ahead but not handed out, so it
// stands right after the last byte handed out. The source is not owned.
class TWzBuffBigStream {
public:
    static constexpr int64_t kChunkSize = 102400;

    explicit TWzBuffBigStream(TWzBigStream& source) : source_(source) {}
    ~TWzBuffBigStream();
    TWzBuffBigStream(const TWzBuffBigStream&) = delete;
    TWzBuffBigStream& operator=(const TWzBuffBigStream&) = delete;

    // Returns the bytes handed out: fewer than count at the source's end.
    int32_t Read(void* buffer, int32_t count);

private:
    TWzBigStream& source_;
    TMemoryStream buffer_;
};

// Bytes [start, start+size) of a big stream as positions [0, size); seeks
// are clamped into the window; read-only (Write moves nothing). Owns inner.
class TRangeStream : public TStream {
public:
    // The window is cut to the inner stream's bytes; size is taken as given
    // (0 is an empty window).
    TRangeStream(std::unique_ptr<TWzBigStream> inner, int64_t start, int64_t size);
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t GetSize() override { return size_; }

protected:
    TRangeStream() = default;
    void Open(std::unique_ptr<TWzBigStream> inner, int64_t start, int64_t size);

private:
    std::unique_ptr<TWzBigStream> inner_;
    int64_t start_ = 0;
    int64_t size_ = 0;
};

// size 0 means the whole file (from start on).
class TFileRangeStream : public TRangeStream {
public:
    TFileRangeStream(const std::string& sjis_file, int64_t size, int64_t start);
};

// size 0 means the whole resource (from start on).
class TResourceRangeStream : public TRangeStream {
public:
    TResourceRangeStream(const std::string& name, int64_t size, int64_t start, const std::string& type);
};
