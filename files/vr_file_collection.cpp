#include "files/vr_file_collection.h"
#include "files/packing.h"
#include "files/random.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/filesys.h"
#include "platform/resources.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>
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

std::vector<uint8_t> read_table(TWzBigStream& s, uint64_t bytes, const char* what) {
    if (bytes > static_cast<uint64_t>(std::max<int64_t>(0, s.GetSize() - s.GetPosition())))
        throw ECorruptData(std::string("Archive directory: the ") + what + " table runs past the end");
    std::vector<uint8_t> t(static_cast<size_t>(bytes));
    if (bytes > 0 && s.Read(t.data(), static_cast<int64_t>(bytes)) != static_cast<int64_t>(bytes))
        throw ECorruptData(std::string("Archive directory: the ") + what + " table is cut short");
    return t;
}

// A layered image whose pixel data is stored without compression: such a
// file is worth packing. Reads the magic and the header's compression byte.
bool tesk_is_uncompressed(TStream& s) {
    char magic[7];
    if (s.Read(magic, 7) != 7 || std::memcmp(magic, "Tesk", 4) != 0) return false;
    int version = 0;
    for (int i = 4; i < 7; ++i) {
        if (magic[i] < '0' || magic[i] > '9') return false;
        version = version * 10 + (magic[i] - '0');
    }
    if (version < 103) return false;
    uint8_t size_bytes[4];
    if (s.Read(size_bytes, 4) != 4) return false;
    uint8_t header[40] = {};
    header[22] = 1;  // compression defaults to "none" in a short header
    uint32_t header_size = get_u32(size_bytes);
    s.Read(header, std::min<uint32_t>(header_size, sizeof header));
    return header[22] == 1;
}

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

std::string FileNotFoundMessage(const std::string& name) { return name + Sjis(":ファイルがありません"); }

uint32_t StreamCrc32(TStream& stream) {
    if (auto* m = dynamic_cast<TMemoryStream*>(&stream)) return crc_of(*m);
    return crc_copy(stream, nullptr);
}

bool ShouldPackEntry(const std::string& name, TStream& file) {
    std::string ext = AnsiUpperCase(ExtractFileExt(name));
    if (ext == ".TES") {
        file.SetPosition(0);
        return tesk_is_uncompressed(file);
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
    if (!AnsiSameText(loose, owner->FileName) && FileExists(loose)) {
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
    // are, so the entry keeps its raw flag and nothing is packed twice.
    TMemoryStream stored;
    owner->LoadEntryStored(*this, stored);
    write_all(out, stored.Memory(), stored.GetSize());
    Raw = was_raw;
    if (CrcMode == 1 && !Raw && stored.GetSize() > 0) {
        DecompressStream(stored);
        Crc = crc_of(stored);
    } else {
        Crc = crc_of(stored);
    }
}

// ---- TVrFileCollection

void TVrFileCollection::close() {
    Clear();
    Source.reset();
    FileName.clear();
    BaseFolder.clear();
    res_name_.clear();
    res_type_.clear();
}

void TVrFileCollection::Open(const std::string& file_name) {
    close();
    FileName = file_name;
    if (file_name.empty()) return;
    const bool exists = FileExists(file_name);
    BaseFolder = exists ? ExtractFilePath(file_name) : file_name;
    if (!BaseFolder.empty()) BaseFolder = IncludeTrailingPathDelimiter(BaseFolder);
    if (!exists) return;

    auto src = std::make_unique<TWzBigFileStream>(file_name, fmOpenRead | fmShareDenyWrite);
    const std::string ext = AnsiUpperCase(ExtractFileExt(file_name));
    const std::string side = ChangeFileExt(file_name, ".ext");
    try {
        if (ext == ".EXE" || ext == ".SCR") {
            // Appended archive: the last 6 bytes are its start and "vq".
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
            TWzBigMemoryStream dir;
            dir.LoadFromFile(side);
            ReadDirectory(dir, src->GetSize());
        } else {
            ReadDirectory(*src);
        }
    } catch (const ECorruptData& e) {
        close();
        throw ECorruptData(file_name + ": " + e.Message());
    } catch (...) {
        close();
        throw;
    }
    Source = std::move(src);
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

void TVrFileCollection::ReadDirectory(TWzBigStream& s, int64_t data_size) {
    const int64_t d = s.GetPosition();
    if (data_size < 0) data_size = s.GetSize();
    int version = 0;
    uint8_t head[4];
    if (s.Read(head, 2) == 2 && head[0] == 'v' && head[1] == 'f') {
        if (s.Read(head, 4) != 4) throw ECorruptData("Archive directory: the version is cut short");
        uint32_t v = get_u32(head);
        if (v < 100 || v > 102) throw ECorruptData("Archive directory: unknown version " + std::to_string(v));
        version = static_cast<int>(v);
    } else {
        s.SetPosition(d);
    }
    if (s.Read(head, 4) != 4) throw ECorruptData("Archive directory: the entry count is cut short");
    const uint64_t n = get_u32(head);
    const uint64_t offset_bytes = version >= 101 ? 8 : 4;
    const uint64_t table_bytes = version >= 102 ? 10 : version >= 101 ? 9 : 0;
    // Each entry takes at least its name length, its offset and its table
    // bytes: a count the directory cannot hold is refused before anything
    // is allocated for it.
    const uint64_t left = static_cast<uint64_t>(std::max<int64_t>(0, s.GetSize() - s.GetPosition()));
    if (n > (left - std::min(left, offset_bytes)) / (4 + offset_bytes + table_bytes))
        throw ECorruptData("Archive directory: " + std::to_string(n) + " entries cannot fit in " +
                           std::to_string(left) + " bytes");

    std::vector<std::string> names(n);
    TWzRandom g1(kVrArchiveSeed);
    {
        // Names come through a read-ahead buffer; the names end wherever the
        // last one does, so their bytes are counted against what is left.
        TWzBuffBigStream reader(s);
        int64_t names_left = static_cast<int64_t>(left);
        auto take = [&](void* dst, uint32_t count, uint64_t i) {
            if (count > names_left || reader.Read(dst, static_cast<int32_t>(count)) != static_cast<int32_t>(count))
                throw ECorruptData("Archive directory: name " + std::to_string(i) + " runs past the end");
            names_left -= count;
        };
        for (uint64_t i = 0; i < n; ++i) {
            uint8_t len_bytes[4];
            take(len_bytes, 4, i);
            const uint32_t len = get_u32(len_bytes);
            // Checked before the name is sized: a damaged length must not
            // allocate gigabytes only to fail on the read.
            if (len > static_cast<uint32_t>(INT32_MAX) || len > names_left)
                throw ECorruptData("Archive directory: name " + std::to_string(i) + " runs past the end");
            names[i].resize(len);
            take(names[i].data(), len, i);
            if (version >= 100) scramble_name(g1, names[i]);
        }
    }

    std::vector<uint8_t> raw_offsets = read_table(s, (n + 1) * offset_bytes, "offset");
    std::vector<int64_t> offsets(n + 1);
    TWzRandom g2(kVrArchiveSeed);
    for (uint64_t i = 0; i <= n; ++i) {
        const uint8_t* p = raw_offsets.data() + i * offset_bytes;
        if (version >= 101) {
            uint64_t v = static_cast<uint64_t>(get_u32(p)) | static_cast<uint64_t>(get_u32(p + 4)) << 32;
            offsets[i] = static_cast<int64_t>(v ^ offset_mask(g2.Next()));
        } else {
            uint32_t v = get_u32(p);
            if (version >= 100) v ^= g2.Next();
            offsets[i] = v;
        }
    }
    // Entries lie one after the other inside the data: an offset that runs
    // backwards or past the end would make a negative or impossible size.
    const int64_t data_left = data_size - d;
    for (uint64_t i = 0; i <= n; ++i) {
        if (offsets[i] < 0 || offsets[i] > data_left)
            throw ECorruptData("Archive directory: the offset of entry " + std::to_string(i) +
                               " lies outside the archive");
        if (i > 0 && offsets[i] < offsets[i - 1])
            throw ECorruptData("Archive directory: entry " + std::to_string(i - 1) + " (" + names[i - 1] +
                               ") has a negative size");
    }

    std::vector<uint8_t> raws, dates, crcs, modes;
    if (version >= 101) {
        raws = read_table(s, n, "raw flag");
        dates = read_table(s, n * 4, "date");
        crcs = read_table(s, n * 4, "CRC");
        if (version >= 102) modes = read_table(s, n, "CRC mode");
    }

    for (uint64_t i = 0; i < n; ++i) {
        TVrFile* e = AddName<TVrFile>(names[i]);
        e->Size = offsets[i + 1] - offsets[i];
        e->Offset = d + offsets[i];
        if (version >= 101) {
            e->Raw = raws[i];
            e->Date = get_u32(dates.data() + i * 4);
            e->Crc = get_u32(crcs.data() + i * 4);
            if (version >= 102) e->CrcMode = modes[i];
        }
    }
    AddName<TVrFile>(kVrSentinelName)->Offset = offsets[n];
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
        throw ECorruptData("Archive " + FileName + ": entry " + entry.GetName() + " is cut short");
    }
}

void TVrFileCollection::LoadEntry(const TVrFile& entry, TMemoryStream& out) {
    if (entry.Data) {
        out.Clear();
        out.WriteBuffer(entry.Data->Memory(), entry.Data->GetSize());
    } else {
        LoadEntryStored(entry, out);
        if (!entry.Raw && out.GetSize() > 0) {
            try {
                DecompressStream(out);
            } catch (const ECorruptData& e) {
                out.Clear();
                throw ECorruptData("Archive " + FileName + ": entry " + entry.GetName() + ": " + e.Message());
            }
        }
    }
    out.SetPosition(0);
}

void TVrFileCollection::LoadToStream(TStream& stream, const std::string& name) {
    auto* mem = dynamic_cast<TMemoryStream*>(&stream);
    if (mem) mem->Clear();
    const std::string loose = BaseFolder + name;
    if (!name.empty() && !AnsiSameText(loose, FileName) && FileExists(loose)) {
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
