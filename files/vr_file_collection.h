// "vf" archives: a directory (names and offsets scrambled with TWzRandom)
// followed by each entry's bytes, packed with zlib or stored raw. The
// game's data, the start-up logo and the save file all use this form.
#pragma once
#include "files/big_stream.h"
#include "files/hash_collection.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TVrFileCollection;

// The buffer of an entry being written.
using TWzMemoryStream = TMemoryStream;

// Name of the last entry of a read directory: it carries the end offset.
inline constexpr char kVrSentinelName[] = "\\EOF\\";
// The seed of both directory scramblers.
inline constexpr uint32_t kVrArchiveSeed = 1508263974u;
// Entries of this size or more are stored raw.
inline constexpr int64_t kVrPackLimit = 5242880;

// One entry. After ReadDirectory, Offset is absolute in the source stream
// and Size the number of stored bytes.
class TVrFile : public THashCollectionItem {
public:
    int64_t Offset = 0;
    std::unique_ptr<TWzMemoryStream> Data;  // content of an entry added for writing
    int64_t Size = 0;
    uint8_t Raw = 0;      // 1: the stored bytes are the content; 0: a zlib stream
    uint32_t Date = 0;    // DOS date-time of the source file, 0 when none
    uint32_t Crc = 0;     // CRC-32, over the content (CrcMode 1) or the stored bytes (0)
    uint8_t CrcMode = 0;

    TVrFileCollection* GetCollection() const;
    // Writes the entry's stored bytes at out's position and sets Raw, Crc
    // (and Date for loose files) to describe them.
    void WriteData(TWzBigStream& out);
};

// Sender, entry, bytes written of it, its index, the collection's count, cancel.
using TVrProgressEvent = std::function<void(TVrFileCollection&, TVrFile&, int64_t, int, int, bool&)>;

class TVrFileCollection : public THashCollection {
public:
    std::string BaseFolder;  // loose files that override entries, ending in "\" (or empty)
    std::unique_ptr<TWzBigStream> Source;
    TVrProgressEvent OnProgress;
    std::string FileName;

    // Opens an archive file: an executable (by extension, or the running
    // player itself) with the trailer, a file with a
    // ".ext" side directory, or a plain archive. A name that is no file
    // makes a folder of loose files. Raises ECorruptData on a bad directory.
    void Open(const std::string& file_name);
    // Opens a file as Open does, but keeps what a damaged file still holds:
    // an entry whose bytes do not lie inside the file (cut short, a spoilt
    // offset) is left out and named in the answer, where Open refuses the
    // whole directory. Raises ECorruptData only when the directory itself
    // cannot be read. For the player's own save file; game archives are
    // opened strictly.
    std::vector<std::string> OpenSalvaging(const std::string& file_name);
    // Opens an archive held as a resource. Only the program's own resources
    // exist here, so another module's archive stays empty.
    void OpenResource(const std::string& module_name, const std::string& res_name, const std::string& res_type);

    // Appends the entries of the directory at stream's position. data_size
    // is the size of the stream that holds the entries' bytes (the stream
    // itself when negative); every offset is checked against it. Without
    // dropped, an entry whose bytes do not lie inside the data refuses the
    // whole directory; with it, such an entry is left out and its name
    // added there.
    void ReadDirectory(TWzBigStream& stream, int64_t data_size = -1, std::vector<std::string>* dropped = nullptr);
    // Writes the whole archive (format 102) from position 0 of stream;
    // false when OnProgress cancelled.
    bool SaveToStream(TWzBigStream& stream);

    // Appends an entry whose content the caller writes into Data.
    TVrFile* AddEntry(const std::string& name);
    // Appends an entry to be written from the loose file BaseFolder + name.
    TVrFile* AddFileEntry(const std::string& name);
    void DeleteEntry(const std::string& name);
    TVrFile* GetEntry(int index) const { return ItemAs<TVrFile>(index); }
    // The entry of that name holding content (never the sentinel), or nullptr.
    TVrFile* FindEntry(const std::string& name) const;

    // Loads one file: a loose file of BaseFolder, else the entry, unpacked.
    // Leaves stream at position 0. Raises when the name is not found.
    void LoadToStream(TStream& stream, const std::string& name);
    // A read-only stream of the name's content, or nullptr when this archive
    // does not hold it. Entries stored raw are read in place.
    std::unique_ptr<TStream> OpenRangeStream(const std::string& name);
    // The unpacked content of an entry of this archive, at position 0.
    // Raises ECorruptData when its bytes are cut short or do not unpack;
    // out is then empty.
    void LoadEntry(const TVrFile& entry, TMemoryStream& out);
    // The stored bytes of an entry, as they lie in the source.
    void LoadEntryStored(const TVrFile& entry, TMemoryStream& out);

private:
    void close();
    void open(const std::string& file_name, std::vector<std::string>* dropped);

    std::string res_name_, res_type_;  // set for a resource archive
};

// Standard CRC-32 (zlib's) of a stream's whole content, read in 1 MiB chunks
// from position 0.
uint32_t StreamCrc32(TStream& stream);
// Whether a loose file is worth packing: by extension, layered-image
// compression and size.
bool ShouldPackEntry(const std::string& name, TStream& file);
