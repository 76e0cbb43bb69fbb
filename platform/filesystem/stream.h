// The byte streams everything in the player reads and writes through:
// an abstract stream with Delphi's contract (Read returns what it could,
// ReadBuffer raises on a short read), a growable memory stream, file
// streams over native files, and read-only streams over embedded resources.
#pragma once
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

enum class SeekOrigin { Beginning = 0, Current = 1, End = 2 };

// File open modes: low 4 bits access, next 4 bits sharing; fmCreate creates.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFFFF;

class TStream {
public:
    virtual ~TStream() = default;
    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
    virtual int64_t GetSize();
    virtual void SetSize(int64_t size);

    int64_t GetPosition() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t pos) { Seek(pos, SeekOrigin::Beginning); }
    int64_t Remaining() { return GetSize() - GetPosition(); }

    // Raise EReadError / EWriteError when fewer bytes move than asked.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source (count 0: all of source from position 0).
    int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(size_); }
    void SetSize(int64_t size) override;

    void Clear();
    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    std::span<const uint8_t> Bytes() const { return {data_.data(), size_}; }
    void LoadFromStream(TStream& s);
    void SaveToStream(TStream& s);
    void LoadFromFile(const std::string& sjis_path);
    void SaveToFile(const std::string& sjis_path);

private:
    std::vector<uint8_t> data_;  // capacity; size_ bytes are valid
    size_t size_ = 0;
    size_t pos_ = 0;
};

// A stream over a native file descriptor (the platform's file handle).
class THandleStream : public TStream {
public:
    explicit THandleStream(int fd) : fd_(fd) {}
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    int Handle() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    void Flush();

protected:
    int fd_;
};

// Opens a file by its game path (Shift-JIS, "\" or "/" separated; each
// component matched without case). Raises EFOpenError / EFCreateError.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& sjis_path, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;
    const std::string& FileName() const { return name_; }

private:
    std::string name_;
};

// Read-only stream over an embedded resource (see platform/filesystem/resources.h).
class TResourceStream : public TStream {
public:
    // Raises EStreamError when there is no such resource.
    TResourceStream(const std::string& name, const std::string& type);
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }

private:
    std::span<const uint8_t> data_;
    int64_t pos_ = 0;
};
