#include "files/install_set.h"
#include "files/save_stream.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/filesys.h"

namespace {
// Fixed-width fields must be there whole: a truncated file is an error,
// not a run of zeros.
int32_t read_i32(TStream& s) {
    uint8_t b[4];
    s.ReadBuffer(b, 4);
    return static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
}

int64_t read_i64(TStream& s) {
    uint8_t b[8];
    s.ReadBuffer(b, 8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | b[i];
    return static_cast<int64_t>(v);
}

uint8_t read_byte(TStream& s) {
    uint8_t b;
    s.ReadBuffer(&b, 1);
    return b;
}

void write_i64(TStream& s, int64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
    s.WriteBuffer(b, 8);
}

// A count read from the file, checked against the bytes that remain
// (each item needs at least min_item_bytes).
int32_t read_count(TStream& s, int64_t min_item_bytes, const char* what) {
    int32_t n = read_i32(s);
    if (n < 0 || n > s.Remaining() / min_item_bytes)
        throw ECorruptData(std::string(what) + " count " + std::to_string(n) + " does not fit the file");
    return n;
}

std::vector<std::string> read_string_list(TStream& s) {
    int32_t n = read_count(s, 4, "install.dat: name list");
    std::vector<std::string> list;
    list.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) list.push_back(ReadStreamString(s));
    return list;
}

void write_string_list(TStream& s, const std::vector<std::string>& list) {
    WriteStreamInteger(s, static_cast<int32_t>(list.size()));
    for (const auto& v : list) WriteStreamString(s, v);
}

// The trail byte 0x5C of a character (as in "表" or "ソ") is no delimiter.
std::string with_backslash(const std::string& path) { return IncludeTrailingPathDelimiter(path); }
}  // namespace

void TVorqInstallSet::SetDiskCount(int32_t n) {
    if (n < 0) n = 0;
    for (auto& a : DiskValues) a.resize(static_cast<size_t>(n));
}

void TVorqInstallSet::LoadFromFile(const std::string& file_name) {
    TFileStream f(file_name, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

void TVorqInstallSet::LoadFromStream(TStream& s) {
    *this = TVorqInstallSet();
    int version = 0;
    int64_t start = s.GetPosition();
    char tag[5];
    if (s.Read(tag, 2) == 2 && tag[0] == 'i' && tag[1] == 's') {
        s.ReadBuffer(tag + 2, 3);
        for (int i = 2; i < 5; ++i) {
            if (tag[i] < '0' || tag[i] > '9') throw ECorruptData("install.dat: the version after \"is\" is not a number");
            version = version * 10 + (tag[i] - '0');
        }
    } else {
        s.SetPosition(start);
    }
    // Values of the per-disc tables widened to 64 bits in version 100.
    auto read_value = [&](TStream& st) { return version >= 100 ? read_i64(st) : static_cast<int64_t>(read_i32(st)); };
    const int64_t value_bytes = version >= 100 ? 8 : 4;

    DiskIndex = read_i32(s);
    Title = ReadStreamString(s);
    ProductName = ReadStreamString(s);
    Publisher = ReadStreamString(s);
    InstallFolder = ReadStreamString(s);
    MakeShortcuts = read_byte(s);
    ProgramGroup = ReadStreamString(s);
    DesktopIcon = read_byte(s);
    int32_t disk_count = read_count(s, 4 * value_bytes, "install.dat: disc");
    SetDiskCount(disk_count);
    ExeName = ReadStreamString(s);
    RequiredSpace = read_i32(s);
    CopyAll = read_byte(s);
    Uninstaller = read_byte(s);
    ReadmeFile = ReadStreamString(s);
    LicenseFile = ReadStreamString(s);
    for (int32_t i = 0; i < disk_count; ++i)
        for (auto& a : DiskValues) a[static_cast<size_t>(i)] = read_value(s);
    for (auto& v : TotalValues) v = read_value(s);
    Flag18 = read_byte(s);
    if (version >= 101) Flag19 = read_byte(s);
    if (version >= 102) Names = read_string_list(s);
    if (version >= 103) Flag21 = read_byte(s);
    if (version >= 104) Flag22 = read_byte(s);
    if (version >= 105) Flag23 = read_byte(s);
    if (version >= 106) Names2 = read_string_list(s);
    if (version >= 107) Text25 = ReadStreamString(s);
}

void TVorqInstallSet::SaveToFile(const std::string& file_name) const {
    TFileStream f(file_name, fmCreate);
    SaveToStream(f);
}

void TVorqInstallSet::SaveToStream(TStream& s) const {
    s.WriteBuffer("is107", 5);
    WriteStreamInteger(s, DiskIndex);
    WriteStreamString(s, Title);
    WriteStreamString(s, ProductName);
    WriteStreamString(s, Publisher);
    WriteStreamString(s, InstallFolder);
    WriteStreamByte(s, MakeShortcuts);
    WriteStreamString(s, ProgramGroup);
    WriteStreamByte(s, DesktopIcon);
    WriteStreamInteger(s, GetDiskCount());
    WriteStreamString(s, ExeName);
    WriteStreamInteger(s, RequiredSpace);
    WriteStreamByte(s, CopyAll);
    WriteStreamByte(s, Uninstaller);
    WriteStreamString(s, ReadmeFile);
    WriteStreamString(s, LicenseFile);
    for (int32_t i = 0; i < GetDiskCount(); ++i)
        for (const auto& a : DiskValues) write_i64(s, a[static_cast<size_t>(i)]);
    for (int64_t v : TotalValues) write_i64(s, v);
    WriteStreamByte(s, Flag18);
    WriteStreamByte(s, Flag19);
    write_string_list(s, Names);
    WriteStreamByte(s, Flag21);
    WriteStreamByte(s, Flag22);
    WriteStreamByte(s, Flag23);
    write_string_list(s, Names2);
    WriteStreamString(s, Text25);
}

int TVorqInstallSet::IndexOfName(const std::string& name) const {
    for (size_t i = 0; i < Names.size(); ++i)
        if (AnsiSameText(Names[i], name)) return static_cast<int>(i);
    return -1;
}

int TVorqInstallSet::AddName(const std::string& name) {
    int i = IndexOfName(name);
    if (i >= 0) return i;
    Names.push_back(name);
    return static_cast<int>(Names.size()) - 1;
}

void TFolderDiskList::AddFolder(const std::string& folder, int32_t disk) { rows_.push_back({folder, disk}); }

int TFolderDiskList::IndexOfFolder(const std::string& path) const {
    std::string p = with_backslash(path);
    for (size_t i = 0; i < rows_.size(); ++i)
        if (AnsiSameText(with_backslash(rows_[i].Folder), p)) return static_cast<int>(i);
    return -1;
}

int32_t TFolderDiskList::DiskOf(const std::string& path) const {
    std::string p = AnsiUpperCase(path);
    while (!p.empty()) {
        int i = IndexOfFolder(p);
        if (i >= 0) return rows_[static_cast<size_t>(i)].Disk;
        // Cut at the last delimiter that is not the trail byte of a character.
        size_t cut = 0;
        for (size_t k = 0; k < p.size(); ++k) {
            if (IsDBCSLeadByte(p[k]) && k + 1 < p.size()) {
                ++k;
                continue;
            }
            if (IsPathDelimiter(p[k])) cut = k;
        }
        p.resize(cut);
    }
    return 0;
}

void TFolderDiskList::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, static_cast<int32_t>(rows_.size()));
    for (const auto& r : rows_) {
        WriteStreamString(s, r.Folder);
        WriteStreamInteger(s, r.Disk);
    }
}

void TFolderDiskList::LoadFromStream(TStream& s) {
    rows_.clear();
    int32_t n = read_count(s, 8, "folder/disc list: folder");
    rows_.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        std::string folder = ReadStreamString(s);
        rows_.push_back({std::move(folder), read_i32(s)});
    }
}
