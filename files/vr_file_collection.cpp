#include "files/vr_file_collection.h"
#include "files/field_reader.h"
#include "files/packing.h"
#include "files/random.h"
#include "files/tesk_header.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/resources.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {
constexpr int64_t kCrcChunk = 1048576;

uint32_t crc_of(const uint8_t* p, int64_t n, uint32_t crc = 0) {
    while (n > 0) {
        uInt part = static_cast<uInt>(std::min(n, kCrcChunk));
        crc = static_cast<uint32_t>(crc32(crc, p, part));
        p += part;
        n -= part;
    }
    return crc;
}

uint32_t crc_of(const TMemoryStream& m) { return crc_of(m.Memory(), static_cast<int64_t>(m.Bytes().size())); }

uint32_t get_u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The 64-bit offset mask: the generator's output sign-extended.
uint64_t offset_mask(uint32_t x) {
    return static_cast<uint64_t>(x) | (x >= 0x80000000u ? 0xFFFFFFFF00000000ull : 0);
}

// Names are scrambled byte by byte with one generator running on across names.
void scramble_name(TWzRandom& g, std::string& name) {
    for (char& c : name) c = static_cast<char>(static_cast<uint8_t>(c) ^ (g.Next() & 0xFF));
}

void write_all(TWzBigStream& out, const void* p, int64_t n) {
    if (n > 0 && out.Write(p, n) != n) throw EWriteError("Archive: the entry data could not be written");
}

// A big stream read as an ordinary stream through a read-ahead buffer, so a
// directory of many small fields costs few reads of the file. On
// destruction the source stands right after the last byte handed out.
class BigStreamReader : public TStream {
public:
    explicit BigStreamReader(TWzBigStream& source)
        : source_(source), size_(source.GetSize()), base_(source.GetPosition()) {}
    ~BigStreamReader() override { source_.SetPosition(base_ + static_cast<int64_t>(at_)); }
    BigStreamReader(const BigStreamReader&) = delete;
    BigStreamReader& operator=(const BigStreamReader&) = delete;

    int64_t Read(void* buffer, int64_t count) override {
        auto* out = static_cast<uint8_t*>(buffer);
        int64_t done = 0;
        while (done < count) {
            if (at_ == buf_.size() && !refill()) break;
            const size_t n = static_cast<size_t>(std::min<int64_t>(count - done, static_cast<int64_t>(buf_.size() - at_)));
            std::memcpy(out + done, buf_.data() + at_, n);
            at_ += n;
            done += static_cast<int64_t>(n);
        }
        return done;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override {
        const int64_t here = base_ + static_cast<int64_t>(at_);
        int64_t to = origin == SeekOrigin::Beginning ? offset : origin == SeekOrigin::Current ? here + offset : size_ + offset;
        to = std::clamp<int64_t>(to, 0, size_);
        if (to >= base_ && to <= base_ + static_cast<int64_t>(buf_.size())) {
            at_ = static_cast<size_t>(to - base_);
        } else {
            base_ = to;
            buf_.clear();
            at_ = 0;
        }
        return to;
    }
    int64_t GetSize() override { return size_; }

private:
    static constexpr size_t kChunk = 102400;
    bool refill() {
        base_ += static_cast<int64_t>(buf_.size());
        buf_.resize(kChunk);
        source_.SetPosition(base_);
        const int64_t got = source_.Read(buf_.data(), static_cast<int64_t>(kChunk));
        buf_.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
        at_ = 0;
        return !buf_.empty();
    }

    TWzBigStream& source_;
    int64_t size_;
    int64_t base_;  // source position of buf_[0]
    std::vector<uint8_t> buf_;
    size_t at_ = 0;
};

bool is_sentinel(std::string_view name) { return AnsiSameText(name, kVrSentinelName); }

// CRC of a stream's whole content, read in 1 MiB chunks from position 0 and
// copied to out on the way when out is given.
uint32_t crc_copy(TStream& in, TWzBigStream* out) {
    in.SetPosition(0);
    std::vector<uint8_t> buf(static_cast<size_t>(std::min(kCrcChunk, std::max<int64_t>(in.GetSize(), 1))));
    uint32_t crc = 0;
    for (;;) {
        int64_t got = in.Read(buf.data(), static_cast<int64_t>(buf.size()));
        if (got <= 0) break;
        crc = crc_of(buf.data(), got, crc);
        if (out) write_all(*out, buf.data(), got);
    }
    return crc;
}
}  // namespace

uint32_t StreamCrc32(TStream& stream) {
    if (auto* m = dynamic_cast<TMemoryStream*>(&stream)) return crc_of(*m);
    return crc_copy(stream, nullptr);
}

bool ShouldPackEntry(const std::string& name, TStream& file) {
    std::string ext = AnsiUpperCase(ExtractFileExt(name));
    if (ext == ".TES") {
        file.SetPosition(0);
        // A layered image whose pixels are stored uncompressed is worth packing.
        return IsUncompressedTeskStream(file);
    }
    // A plain substring search: ".MP" or ".W" are found too.
    if (!ext.empty() && std::string_view(".WAV.WMA.OGG.MPG.MPEG.WMV.ASF.DAT.").find(ext) != std::string_view::npos)
        return false;
    return file.GetSize() < kVrPackLimit;
}

// ---- TVrFile

TVrFileCollection* TVrFile::GetCollection() const { return static_cast<TVrFileCollection*>(THashCollectionItem::GetCollection()); }

void TVrFile::WriteData(TWzBigStream& out) {
    const uint8_t was_raw = Raw;
    Raw = 0;
    if (Data) {
        if (Data->GetSize() < kVrPackLimit) {
            if (CrcMode == 1) Crc = crc_of(*Data);
            TMemoryStream packed;
            packed.WriteBuffer(Data->Memory(), Data->GetSize());
            CompressStream(packed);
            write_all(out, packed.Memory(), packed.GetSize());
            if (CrcMode == 0) Crc = crc_of(packed);
        } else {
            write_all(out, Data->Memory(), Data->GetSize());
            Crc = crc_of(*Data);
            Raw = 1;
        }
        return;
    }
    TVrFileCollection* owner = GetCollection();
    const std::string loose = owner->BaseFolder + GetName();
    if (owner->HasLooseFiles() && !AnsiSameText(loose, owner->FileName) && FileExists(loose)) {
        TFileStream file(loose, fmOpenRead | fmShareDenyNone);
        if (ShouldPackEntry(GetName(), file)) {
            TMemoryStream content;
            file.SetPosition(0);
            content.LoadFromStream(file);
            if (CrcMode == 1) Crc = crc_of(content);
            TMemoryStream packed;
            packed.WriteBuffer(content.Memory(), content.GetSize());
            CompressStream(packed);
            // Packing that saves less than a tenth is not worth the unpacking.
            TMemoryStream* stored = &packed;
            if (packed.GetSize() > content.GetSize() * 9 / 10) {
                stored = &content;
                Raw = 1;
            }
            write_all(out, stored->Memory(), stored->GetSize());
            if (CrcMode == 0) Crc = crc_of(*stored);
        } else {
            // Stored raw: copied through a buffer, so large media need no copy in memory.
            Crc = crc_copy(file, &out);
            Raw = 1;
        }
        int32_t age = FileAge(loose);
        Date = age == -1 ? 0 : static_cast<uint32_t>(age);
        return;
    }
    // Re-packing from the opened archive: the stored bytes are copied as they
    // are, so the entry keeps its raw flag, nothing is packed twice, and the
    // CRC read with the directory still describes them (a save rewrites
    // every slot it keeps: unpacking each one would cost more than the save).
    TMemoryStream stored;
    owner->LoadEntryStored(*this, stored);
    write_all(out, stored.Memory(), stored.GetSize());
    Raw = was_raw;
}

// ---- TVrFileCollection

void TVrFileCollection::close() {
    Clear();
    Source.reset();
    FileName.clear();
    BaseFolder.clear();
    res_name_.clear();
    res_type_.clear();
    loose_files_ = true;
}

namespace {
// The same file as the running program (links and case-matched names
// included), so a renamed or extension-less player still reads its trailer.
bool is_running_executable(const std::string& file_name) {
    const std::string exe = ExeFileName();
    if (exe.empty()) return false;
    std::error_code ec;
    return std::filesystem::equivalent(NativePath(file_name), NativePath(exe), ec) && !ec;
}
}  // namespace

std::unique_ptr<TWzBigFileStream> TVrFileCollection::open_source(const std::string& file_name) {
    close();
    FileName = file_name;
    if (file_name.empty()) return nullptr;
    const bool exists = FileExists(file_name);
    BaseFolder = exists ? ExtractFilePath(file_name) : file_name;
    if (!BaseFolder.empty()) BaseFolder = IncludeTrailingPathDelimiter(BaseFolder);
    if (!exists) return nullptr;
    return std::make_unique<TWzBigFileStream>(file_name, fmOpenRead | fmShareDenyWrite);
}

void TVrFileCollection::Open(const std::string& file_name) {
    auto src = open_source(file_name);
    if (!src) return;
    const std::string ext = AnsiUpperCase(ExtractFileExt(file_name));
    const std::string side = ChangeFileExt(file_name, ".ext");
    try {
        if (ext == ".EXE" || ext == ".SCR" || is_running_executable(file_name)) {
            // Appended archive: the last 6 bytes are its start and "vq". The
            // player's own file is always this case, whatever it is named.
            const int64_t size = src->GetSize();
            uint8_t trailer[4];
            if (size < 6) throw ECorruptData("Archive: the file is too short for an archive trailer");
            src->SetPosition(size - 6);
            if (src->Read(trailer, 4) != 4) throw ECorruptData("Archive: the trailer cannot be read");
            const uint32_t start = get_u32(trailer);
            if (start > size - 6) throw ECorruptData("Archive: the trailer points past the end of the file");
            src->SetPosition(start);
            ReadDirectory(*src, size - 6);
        } else if (FileExists(side)) {
            // A side directory's offsets count from the side file's start.
            TWzBigMemoryStream dir;
            dir.LoadFromFile(side);
            ReadDirectory(dir, src->GetSize());
        } else {
            ReadDirectory(*src);
        }
    } catch (const ECorruptData& e) {
        close();
        throw ECorruptData(DisplayPath(file_name) + ": " + e.Message());
    } catch (...) {
        close();
        throw;
    }
    Source = std::move(src);
}

TVrSalvageReport TVrFileCollection::OpenOwnArchive(const std::string& file_name, const TVrNameRule* names) {
    auto src = open_source(file_name);
    BaseFolder.clear();
    loose_files_ = false;
    if (!src) return {};
    TVrSalvageReport report;
    try {
        report = salvage_directory(*src, -1, names);
    } catch (const ECorruptData& e) {
        close();
        loose_files_ = false;
        throw ECorruptData(DisplayPath(file_name) + ": " + e.Message());
    }
    Source = std::move(src);
    return report;
}

void TVrFileCollection::OpenResource(const std::string& module_name, const std::string& res_name,
                                     const std::string& res_type) {
    close();
    // Resources of other modules cannot be loaded here: such an archive
    // stays empty, as one of a module that fails to load.
    if (!module_name.empty() && !AnsiSameText(module_name, ExeFileName())) return;
    auto blob = FindResource(res_name, res_type);
    if (!blob || blob->empty()) throw Exception(Sjis("リソースが見つかりません"));
    auto src = std::make_unique<TWzBigResourceStream>(res_name, res_type);
    try {
        ReadDirectory(*src);
    } catch (const ECorruptData& e) {
        close();
        throw ECorruptData("Resource " + res_name + ": " + e.Message());
    }
    Source = std::move(src);
    res_name_ = res_name;
    res_type_ = res_type;
}

namespace {
const char kDirectoryCorrupt[] = "Archive directory: corrupt";

// A directory's fields as stored, before they become entries.
struct DirectoryFields {
    int version = 0;
    std::vector<std::string> names;
    std::vector<int64_t> offsets;  // n + 1, counted from the directory's start
    std::vector<uint8_t> raws, modes;
    std::vector<uint32_t> dates, crcs;
    int64_t end = 0;  // where the tables end, counted from the directory's start
};

// The bytes of the tables that follow the names of n entries.
uint64_t table_bytes(int version, uint64_t n) {
    const uint64_t offsets = (n + 1) * (version >= 101 ? 8 : 4);
    return offsets + (version >= 102 ? 10 : version >= 101 ? 9 : 0) * n;
}

// An offset as stored, unscrambled with x, the generator's output for it.
int64_t unscramble_offset(int version, uint64_t stored, uint32_t x) {
    if (version >= 101) return static_cast<int64_t>(stored ^ offset_mask(x));
    return static_cast<uint32_t>(stored) ^ (version >= 100 ? x : 0);
}

// The offsets and the tables of f.names.size() entries, at r's position.
void read_tables(FieldReader& r, int64_t d, DirectoryFields& f) {
    const size_t n = f.names.size();
    f.offsets.resize(n + 1);
    TWzRandom g2(kVrArchiveSeed);
    for (int64_t& offset : f.offsets) {
        const uint64_t stored = f.version >= 101 ? r.U64("entry offset") : r.U32("entry offset");
        offset = unscramble_offset(f.version, stored, g2.Next());
    }
    f.raws.assign(n, 0);
    f.modes.assign(n, 0);
    f.dates.assign(n, 0);
    f.crcs.assign(n, 0);
    if (f.version >= 101) {
        for (uint8_t& raw : f.raws) raw = r.U8("raw flag");
        for (uint32_t& date : f.dates) date = r.U32("date");
        for (uint32_t& crc : f.crcs) crc = r.U32("CRC");
    }
    if (f.version >= 102)
        for (uint8_t& mode : f.modes) mode = r.U8("CRC mode");
    f.end = r.Position() - d;
}

// The directory at d as its head, entry count and name lengths say.
void read_as_stored(FieldReader& r, TStream& s, int64_t d, DirectoryFields& f) {
    // Untagged directories start right at the entry count.
    f.version = 0;
    if (r.Remaining() >= 2 && r.Fixed(2, "tag") == "vf") {
        const uint32_t v = r.U32("version");
        if (v < 100 || v > 102) throw ECorruptData("Archive directory: unknown version " + std::to_string(v));
        f.version = static_cast<int>(v);
    } else {
        s.SetPosition(d);
    }
    // Each entry takes at least its name length, its offset and its table bytes.
    const uint32_t n =
        r.Count("entry count", 4 + table_bytes(f.version, 1) - table_bytes(f.version, 0), INT32_MAX - 1);
    f.names.resize(n);
    TWzRandom g1(kVrArchiveSeed);
    for (std::string& name : f.names) {
        name = r.String("entry name");
        if (f.version >= 100) scramble_name(g1, name);
    }
    read_tables(r, d, f);
}

// The directory at d of a file whose writer gives only names that pass
// rule, when its head, entry count or a name length is spoilt. The names
// are walked from behind a head of "vf" and a version (the stored one when
// it is one, then each a writer may have used, newest first): each name of
// its stored length or, when that gives no name of the rule, of each
// length the rule allows. Every writer puts the first entry right behind
// the tables, so a walk ends where the bytes read as the first offset
// point there for the names walked: that a wrong walk ends so is as likely
// as 64 random bits matching. False when no walk ends so within a bound of
// tries (a file crafted to branch at every name gives up, never hangs).
bool find_by_names(FieldReader& r, TStream& s, int64_t d, const TVrNameRule& rule, DirectoryFields& f) {
    if (!rule.Known || rule.MinLength == 0 || rule.MaxLength < rule.MinLength) return false;
    const uint32_t other_lengths = std::min<uint32_t>(rule.MaxLength - rule.MinLength + 1, 256);
    const uint32_t first_x = TWzRandom(kVrArchiveSeed).Next();
    std::vector<int> versions;
    s.SetPosition(d);
    if (r.Remaining() >= 6 && r.Fixed(2, "tag") == "vf") {
        const uint32_t v = r.U32("version");
        if (v >= 100 && v <= 102) versions.push_back(static_cast<int>(v));
    }
    for (const int v : {102, 101, 100})
        if (std::find(versions.begin(), versions.end(), v) == versions.end()) versions.push_back(v);
    // The names' scrambling bytes, in the order of the name bytes.
    TWzRandom g1(kVrArchiveSeed);
    std::vector<uint8_t> keys;
    auto key = [&](uint64_t i) {
        while (keys.size() <= i) keys.push_back(static_cast<uint8_t>(g1.Next() & 0xFF));
        return keys[i];
    };
    auto u32_at = [&](int64_t pos) -> uint32_t {
        s.SetPosition(pos);
        return r.Remaining() >= 4 ? r.U32("entry name") : 0;
    };
    int tries = 1 << 16;
    struct Step {
        int64_t pos;      // of the next name's length
        uint64_t key_at;  // scrambling byte of the next name's first byte
        uint32_t stored;  // the length stored there
        uint32_t tried = 0;
    };
    for (const int version : versions) {
        std::vector<std::string> names;
        auto ends_here = [&](int64_t pos) {
            const uint64_t tables = table_bytes(version, names.size());
            s.SetPosition(pos);
            if (static_cast<uint64_t>(r.Remaining()) < tables) return false;
            const uint64_t stored = version >= 101 ? r.U64("entry offset") : r.U32("entry offset");
            if (unscramble_offset(version, stored, first_x) != pos - d + static_cast<int64_t>(tables)) return false;
            f.version = version;
            f.names = std::move(names);
            s.SetPosition(pos);
            read_tables(r, d, f);
            return true;
        };
        const int64_t first = d + 10;
        if (ends_here(first)) return true;
        std::vector<Step> walk{{first, 0, u32_at(first)}};
        while (!walk.empty()) {
            if (--tries < 0) return false;
            Step& at = walk.back();
            if (at.tried > other_lengths) {
                walk.pop_back();
                if (!walk.empty()) names.pop_back();
                continue;
            }
            const uint32_t k = at.tried++;
            const uint32_t length = k == 0 ? at.stored : rule.MinLength + (k - 1);
            if (length < rule.MinLength || length > rule.MaxLength || (k > 0 && length == at.stored)) continue;
            s.SetPosition(at.pos + 4);
            if (r.Remaining() < static_cast<int64_t>(length)) continue;
            std::string name = r.Fixed(length, "entry name");
            for (uint32_t i = 0; i < length; ++i)
                name[i] = static_cast<char>(static_cast<uint8_t>(name[i]) ^ key(at.key_at + i));
            if (!rule.Known(name)) continue;
            const int64_t next = at.pos + 4 + length;
            const uint64_t next_key = at.key_at + length;
            names.push_back(std::move(name));
            if (ends_here(next)) return true;
            walk.push_back({next, next_key, u32_at(next)});
        }
    }
    return false;
}

// Appends the entries (those keep marks, or all) and the sentinel.
void add_entries(TVrFileCollection& c, const DirectoryFields& f, int64_t d, const std::vector<bool>* keep) {
    for (size_t i = 0; i < f.names.size(); ++i) {
        if (keep && !(*keep)[i]) continue;
        TVrFile* e = c.AddName<TVrFile>(f.names[i]);
        e->Size = f.offsets[i + 1] - f.offsets[i];
        e->Offset = d + f.offsets[i];
        e->Raw = f.raws[i];
        e->Date = f.dates[i];
        e->Crc = f.crcs[i];
        e->CrcMode = f.modes[i];
    }
    c.AddName<TVrFile>(kVrSentinelName)->Offset = f.offsets.back();
}
}  // namespace

void TVrFileCollection::ReadDirectory(TWzBigStream& stream, int64_t data_size) {
    const int64_t d = stream.GetPosition();
    if (data_size < 0) data_size = stream.GetSize();
    DirectoryFields f;
    {
        BigStreamReader s(stream);
        FieldReader r(s, kDirectoryCorrupt);
        read_as_stored(r, s, d, f);
    }
    // Entries lie one after the other inside the data: an offset that runs
    // backwards or past the end would make a negative or impossible size.
    const int64_t data_left = data_size - d;
    for (size_t i = 0; i < f.offsets.size(); ++i) {
        if (f.offsets[i] < 0 || f.offsets[i] > data_left)
            throw ECorruptData("Archive directory: the offset of entry " + std::to_string(i) +
                               " lies outside the archive");
        if (i > 0 && f.offsets[i] < f.offsets[i - 1])
            throw ECorruptData("Archive directory: entry " + std::to_string(i - 1) + " (" + f.names[i - 1] +
                               ") has a negative size");
    }
    add_entries(*this, f, d, nullptr);
    version_ = f.version;
}

TVrSalvageReport TVrFileCollection::SalvageDirectory(TWzBigStream& stream, int64_t data_size,
                                                     const TVrNameRule* names) {
    return salvage_directory(stream, data_size, names);
}

TVrSalvageReport TVrFileCollection::salvage_directory(TWzBigStream& stream, int64_t data_size,
                                                      const TVrNameRule* names) {
    const int64_t d = stream.GetPosition();
    if (data_size < 0) data_size = stream.GetSize();
    TVrSalvageReport report;
    DirectoryFields f;
    {
        BigStreamReader s(stream);
        FieldReader r(s, kDirectoryCorrupt);
        std::optional<ECorruptData> refused;
        try {
            read_as_stored(r, s, d, f);
        } catch (const ECorruptData& e) {
            refused = e;
        }
        // The entries of a plain archive begin where its directory ends.
        if (refused || f.offsets[0] != f.end) {
            report.DirectorySpoilt = true;
            DirectoryFields found;
            if (names && find_by_names(r, s, d, *names, found))
                f = std::move(found);
            else if (refused)
                throw *refused;
        }
    }
    // Only the entries that such damage spared: their bytes inside the
    // data, their names the writer's. A name that comes twice cannot say
    // which of its entries was written last, so neither is trusted.
    const int64_t data_left = data_size - d;
    auto inside = [&](int64_t offset) { return offset >= 0 && offset <= data_left; };
    std::unordered_map<std::string, int> uses;
    for (const std::string& name : f.names) ++uses[AnsiUpperCase(name)];
    std::vector<bool> keep(f.names.size());
    for (size_t i = 0; i < f.names.size(); ++i) {
        const std::string& name = f.names[i];
        keep[i] = inside(f.offsets[i]) && inside(f.offsets[i + 1]) && f.offsets[i] <= f.offsets[i + 1] &&
                  (!names || (names->Known && names->Known(name))) && uses[AnsiUpperCase(name)] == 1;
        if (!keep[i]) report.Dropped.push_back(name);
    }
    add_entries(*this, f, d, &keep);
    version_ = f.version;
    return report;
}

void TVrFileCollection::CheckEntries(TVrSalvageReport& report) {
    if (version_ < 101 || !Source) return;
    std::vector<int> spoilt;
    for (int i = 0; i < Count(); ++i) {
        const TVrFile& e = *GetEntry(i);
        if (e.Data || is_sentinel(e.GetName())) continue;
        const TVrEntryCheck check = CheckEntry(e);
        if (check == TVrEntryCheck::Spoilt) spoilt.push_back(i);
        if (check == TVrEntryCheck::Mended) report.Mended.push_back(e.GetName());
    }
    for (auto i = spoilt.rbegin(); i != spoilt.rend(); ++i) {
        report.Dropped.push_back(GetEntry(*i)->GetName());
        Delete(*i);
    }
}

TVrEntryCheck TVrFileCollection::CheckEntry(const TVrFile& e, TMemoryStream* content) {
    TMemoryStream scratch;
    TMemoryStream& unpacked = content ? *content : scratch;
    unpacked.Clear();
    // Directories before version 101 carry no checksums.
    if (version_ < 101 || e.Data) return TVrEntryCheck::Whole;
    if (!Source) return TVrEntryCheck::Spoilt;
    std::vector<uint8_t> buf(static_cast<size_t>(std::clamp<int64_t>(e.Size, 1, kCrcChunk)));
    Source->SetPosition(e.Offset);
    uint32_t crc = 0;
    for (int64_t left = e.Size; left > 0;) {
        const int64_t got = Source->Read(buf.data(), std::min(left, static_cast<int64_t>(buf.size())));
        if (got <= 0) return TVrEntryCheck::Spoilt;
        crc = crc_of(buf.data(), got, crc);
        left -= got;
    }
    if (crc == e.Crc) return TVrEntryCheck::Whole;
    if (e.Raw || e.Size <= 0) return TVrEntryCheck::Spoilt;
    // A packed stream carries its own Adler-32 over the content, but that
    // misses damage a flipped bit of the packed bytes can give (+d, -2d, +d
    // in three neighbouring bytes): the stored checksum is overruled only
    // when the damage can lie in its own field alone, a bit or two away
    // from the CRC of the packed bytes, or of the content (the mode byte
    // then spoilt too), and the stream unpacks to its end with its Adler-32
    // matching.
    try {
        LoadEntry(e, unpacked, true);
    } catch (const ECorruptData&) {
        unpacked.Clear();
        return TVrEntryCheck::Spoilt;
    }
    const uint32_t content_crc = crc_of(unpacked);
    // Mode 1 takes it over the unpacked content.
    if (e.CrcMode == 1 && content_crc == e.Crc) return TVrEntryCheck::Whole;
    constexpr int kCrcFieldFlips = 2;
    if (std::popcount(crc ^ e.Crc) <= kCrcFieldFlips || std::popcount(content_crc ^ e.Crc) <= kCrcFieldFlips)
        return TVrEntryCheck::Mended;
    unpacked.Clear();
    return TVrEntryCheck::Spoilt;
}

bool TVrFileCollection::SaveToStream(TWzBigStream& stream) {
    std::vector<TVrFile*> entries;
    for (int i = 0; i < Count(); ++i)
        if (!is_sentinel(GetEntry(i)->GetName())) entries.push_back(GetEntry(i));
    const uint32_t n = static_cast<uint32_t>(entries.size());

    stream.SetPosition(0);
    uint8_t head[10] = {'v', 'f'};
    put_u32(head + 2, 102);
    put_u32(head + 6, n);
    write_all(stream, head, sizeof head);
    TWzRandom g1(kVrArchiveSeed);
    for (TVrFile* e : entries) {
        std::string name = e->GetName();
        scramble_name(g1, name);
        uint8_t len[4];
        put_u32(len, static_cast<uint32_t>(name.size()));
        write_all(stream, len, 4);
        write_all(stream, name.data(), static_cast<int64_t>(name.size()));
    }

    const int64_t tables_at = stream.GetPosition();
    std::vector<uint8_t> tables((n + 1) * 8 + n * 10u, 0);
    write_all(stream, tables.data(), static_cast<int64_t>(tables.size()));
    uint8_t* offsets = tables.data();
    uint8_t* raws = offsets + (n + 1) * 8;
    uint8_t* dates = raws + n;
    uint8_t* crcs = dates + n * 4;
    uint8_t* modes = crcs + n * 4;

    TWzRandom g2(kVrArchiveSeed);
    auto put_offset = [&](uint32_t k, int64_t pos) {
        uint64_t v = static_cast<uint64_t>(pos) ^ offset_mask(g2.Next());
        put_u32(offsets + k * 8, static_cast<uint32_t>(v));
        put_u32(offsets + k * 8 + 4, static_cast<uint32_t>(v >> 32));
    };
    for (uint32_t k = 0; k < n; ++k) {
        TVrFile& e = *entries[k];
        bool cancel = false;
        if (OnProgress) {
            OnProgress(*this, e, 0, e.GetIndex(), Count(), cancel);
            if (cancel) return false;
        }
        const int64_t start = stream.GetPosition();
        put_offset(k, start);
        e.WriteData(stream);
        raws[k] = e.Raw;
        put_u32(dates + k * 4, e.Date);
        put_u32(crcs + k * 4, e.Crc);
        modes[k] = e.CrcMode;
        if (OnProgress) {
            OnProgress(*this, e, stream.GetPosition() - start, e.GetIndex(), Count(), cancel);
            if (cancel) return false;
        }
    }
    const int64_t end = stream.GetPosition();
    put_offset(n, end);
    stream.SetPosition(tables_at);
    write_all(stream, tables.data(), static_cast<int64_t>(tables.size()));
    stream.SetPosition(end);
    return true;
}

TVrFile* TVrFileCollection::AddEntry(const std::string& name) {
    TVrFile* e = AddName<TVrFile>(name);
    e->Data = std::make_unique<TWzMemoryStream>();
    return e;
}

TVrFile* TVrFileCollection::AddFileEntry(const std::string& name) { return AddName<TVrFile>(name); }

void TVrFileCollection::DeleteEntry(const std::string& name) {
    int i = IndexOf(name);
    if (i >= 0) Delete(i);
}

TVrFile* TVrFileCollection::FindEntry(const std::string& name) const {
    if (is_sentinel(name)) return nullptr;
    int i = IndexOf(name);
    return i < 0 ? nullptr : GetEntry(i);
}

void TVrFileCollection::LoadEntryStored(const TVrFile& entry, TMemoryStream& out) {
    out.Clear();
    if (entry.Size <= 0) return;
    if (!Source) throw Exception(FileNotFoundMessage(entry.GetName()));
    out.SetSize(entry.Size);
    Source->SetPosition(entry.Offset);
    if (Source->Read(out.Memory(), entry.Size) != entry.Size) {
        out.Clear();
        throw ECorruptData("Archive " + DisplayPath(FileName) + ": entry " + entry.GetName() + " is cut short");
    }
}

void TVrFileCollection::LoadEntry(const TVrFile& entry, TMemoryStream& out, bool to_the_end) {
    if (entry.Data) {
        out.Clear();
        out.WriteBuffer(entry.Data->Memory(), entry.Data->GetSize());
    } else if (entry.Raw || entry.Size <= 0) {
        LoadEntryStored(entry, out);
    } else {
        // The packed bytes go through a scratch buffer and unpack straight
        // into out, bounded by what they can hold.
        out.Clear();
        if (!Source) throw Exception(FileNotFoundMessage(entry.GetName()));
        const auto packed = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(entry.Size));
        Source->SetPosition(entry.Offset);
        if (Source->Read(packed.get(), entry.Size) != entry.Size)
            throw ECorruptData("Archive " + DisplayPath(FileName) + ": entry " + entry.GetName() + " is cut short");
        try {
            InflateTo(packed.get(), static_cast<size_t>(entry.Size), out, kMaxUnpackedSize, to_the_end);
        } catch (const ECorruptData& e) {
            throw ECorruptData("Archive " + DisplayPath(FileName) + ": entry " + entry.GetName() + ": " + e.Message());
        }
    }
    out.SetPosition(0);
}

void TVrFileCollection::LoadToStream(TStream& stream, const std::string& name) {
    auto* mem = dynamic_cast<TMemoryStream*>(&stream);
    if (mem) mem->Clear();
    const std::string loose = BaseFolder + name;
    if (loose_files_ && !name.empty() && !AnsiSameText(loose, FileName) && FileExists(loose)) {
        if (mem) {
            mem->LoadFromFile(loose);
        } else {
            TFileStream file(loose, fmOpenRead | fmShareDenyNone);
            stream.CopyFrom(file, 0);
        }
        stream.SetPosition(0);
        return;
    }
    TVrFile* e = FindEntry(name);
    if (!e || (!e->Data && !Source)) throw Exception(FileNotFoundMessage(name));
    if (mem) {
        LoadEntry(*e, *mem);
    } else {
        TMemoryStream content;
        LoadEntry(*e, content);
        stream.CopyFrom(content, 0);
    }
    stream.SetPosition(0);
}

std::unique_ptr<TStream> TVrFileCollection::OpenRangeStream(const std::string& name) {
    if (!Source) return nullptr;
    TVrFile* e = FindEntry(name);
    if (!e) return nullptr;
    // A window shows stored bytes, so only a raw entry with bytes gets one;
    // the others are served unpacked from memory (an empty entry is empty,
    // where a window of size 0 would show the whole archive).
    if (e->Data || !e->Raw || e->Size == 0) {
        auto m = std::make_unique<TMemoryStream>();
        LoadEntry(*e, *m);
        return m;
    }
    if (!res_name_.empty()) return std::make_unique<TResourceRangeStream>(res_name_, e->Size, e->Offset, res_type_);
    return std::make_unique<TFileRangeStream>(FileName, e->Size, e->Offset);
}
