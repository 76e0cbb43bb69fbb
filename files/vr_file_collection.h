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
#include <string_view>
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

// The entry names a file's own writer gives, for reading its damaged
// files: the test of a name and the shortest and longest name it passes.
struct TVrNameRule {
    std::function<bool(std::string_view)> Known;
    uint32_t MinLength = 1;
    uint32_t MaxLength = 0;
};

// What reading a damaged file found.
struct TVrSalvageReport {
    // Entries left out: bytes outside the file or unlike their checksum, a
    // name the writer does not give, a name that comes twice.
    std::vector<std::string> Dropped;
    // Entries kept whose checksum's field alone was spoilt (TVrEntryCheck::Mended).
    std::vector<std::string> Mended;
    // The directory's head, its entry count or a name length was spoilt
    // (its entries were found by their names), or its first entry does not
    // begin where the directory ends.
    bool DirectorySpoilt = false;
    bool Damaged() const { return DirectorySpoilt || !Dropped.empty() || !Mended.empty(); }
};

// How an entry's stored bytes stand against its checksum.
enum class TVrEntryCheck {
    Whole,   // the checksum matches
    // It does not, by at most two bits, against the packed bytes or the
    // content, and the packed stream unpacks to its end with its own
    // Adler-32 matching: only the checksum's field was spoilt.
    Mended,
    Spoilt,
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
    // Opens a file the player itself writes (its save file), keeping what a
    // damaged one still holds (SalvageDirectory). It is read as a plain
    // archive whatever its name and its neighbours: never an executable's
    // trailer nor a side directory, and no loose file ever stands in for an
    // entry, neither read nor written. Checksums are left to the caller
    // (CheckEntry, CheckEntries). Raises EFOpenError when the system will
    // not open the file, ECorruptData only when no directory can be read.
    // Game archives are opened strictly (Open) and their checksums are not
    // read.
    TVrSalvageReport OpenOwnArchive(const std::string& file_name, const TVrNameRule* names = nullptr);
    // Opens an archive held as a resource. Only the program's own resources
    // exist here, so another module's archive stays empty.
    void OpenResource(const std::string& module_name, const std::string& res_name, const std::string& res_type);

    // Appends the entries of the directory at stream's position. data_size
    // is the size of the stream that holds the entries' bytes (the stream
    // itself when negative); every offset is checked against it, and an
    // entry whose bytes do not lie inside the data refuses the directory.
    void ReadDirectory(TWzBigStream& stream, int64_t data_size = -1);
    // Reads the directory at stream's position as ReadDirectory does, but
    // leaves out (and names in the report) each entry whose bytes do not
    // lie inside the data and, with names, each whose name the writer does
    // not give; with or without them, every entry of a name that comes
    // twice. The entries of a plain or appended archive begin where its
    // directory ends: a directory that does not is spoilt, and with names
    // its entries are then looked for by their names, whatever its tag,
    // version, entry count and name lengths say (see the .cpp). Raises
    // ECorruptData when no directory can be read.
    TVrSalvageReport SalvageDirectory(TWzBigStream& stream, int64_t data_size = -1, const TVrNameRule* names = nullptr);
    // Leaves out each entry whose stored bytes in Source do not match its
    // checksum (directories from version 101 on carry one) and are not
    // Mended, naming it in report (Dropped, or Mended when kept).
    void CheckEntries(TVrSalvageReport& report);
    // One entry against its checksum. content, when given, receives the
    // unpacked content when the check had to unpack it (a mended entry, or
    // one whose checksum covers its content); it is left empty otherwise.
    TVrEntryCheck CheckEntry(const TVrFile& entry, TMemoryStream* content = nullptr);
    // False for an archive opened by OpenOwnArchive: its entries are its own
    // bytes alone.
    bool HasLooseFiles() const { return loose_files_; }
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
    // Raises ECorruptData when its bytes are cut short or do not unpack
    // (with to_the_end, when its packed stream ends before its last byte);
    // out is then empty.
    void LoadEntry(const TVrFile& entry, TMemoryStream& out, bool to_the_end = false);
    // The stored bytes of an entry, as they lie in the source.
    void LoadEntryStored(const TVrFile& entry, TMemoryStream& out);

private:
    void close();
    // The file, opened for reading, with FileName and BaseFolder set; none
    // for a name that is no file.
    std::unique_ptr<TWzBigFileStream> open_source(const std::string& file_name);
    TVrSalvageReport salvage_directory(TWzBigStream& stream, int64_t data_size, const TVrNameRule* names);

    std::string res_name_, res_type_;  // set for a resource archive
    int version_ = 0;  // of the directory read last
    bool loose_files_ = true;
};

// Standard CRC-32 (zlib's) of a stream's whole content, read in 1 MiB chunks
// from position 0.
uint32_t StreamCrc32(TStream& stream);
// Whether a loose file is worth packing: by extension, layered-image
// compression and size.
bool ShouldPackEntry(const std::string& name, TStream& file);
