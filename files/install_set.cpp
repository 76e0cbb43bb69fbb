#include "files/install_set.h"
#include "files/field_reader.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"

namespace {
constexpr char kCorrupt[] = "install.dat: corrupt";

void write_i64(TStream& s, int64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
    s.WriteBuffer(b, 8);
}

// A count, then that many texts (each at least its 4-byte length).
std::vector<std::string> read_string_list(FieldReader& r, const char* field) {
    const uint32_t n = r.Count(field, 4, INT32_MAX);
    std::vector<std::string> list;
    list.reserve(n);
    for (uint32_t i = 0; i < n; ++i) list.push_back(r.String(field));
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
    FieldReader r(s, kCorrupt);
    // Files before version 100 have no tag; "is" with no number after it is damage.
    int version = r.OptionalTagVersion("is");
    if (version < 0) {
        const int64_t start = r.Position();
        if (r.Remaining() >= 2 && r.Fixed(2, "is") == "is") r.Fail("version after \"is\"");
        s.SetPosition(start);
        version = 0;
    }
    // Values of the per-disc tables widened to 64 bits in version 100.
    const uint64_t value_bytes = version >= 100 ? 8 : 4;
    auto read_value = [&](const char* field) { return version >= 100 ? r.I64(field) : int64_t{r.I32(field)}; };

    DiskIndex = r.I32("disc index");
    Title = r.String("title");
    ProductName = r.String("product name");
    Publisher = r.String("publisher");
    InstallFolder = r.String("install folder");
    MakeShortcuts = r.U8("make shortcuts");
    ProgramGroup = r.String("program group");
    DesktopIcon = r.U8("desktop icon");
    const uint32_t disk_count = r.Count("disc count", 4 * value_bytes, INT32_MAX);
    SetDiskCount(static_cast<int32_t>(disk_count));
    ExeName = r.String("program name");
    RequiredSpace = r.I32("required space");
    CopyAll = r.U8("copy all");
    Uninstaller = r.U8("uninstaller");
    ReadmeFile = r.String("readme file");
    LicenseFile = r.String("license file");
    for (uint32_t i = 0; i < disk_count; ++i)
        for (auto& a : DiskValues) a[i] = read_value("disc values");
    for (auto& v : TotalValues) v = read_value("total values");
    Flag18 = r.U8("flag 18");
    if (version >= 101) Flag19 = r.U8("flag 19");
    if (version >= 102) Names = read_string_list(r, "names");
    if (version >= 103) Flag21 = r.U8("flag 21");
    if (version >= 104) Flag22 = r.U8("flag 22");
    if (version >= 105) Flag23 = r.U8("flag 23");
    if (version >= 106) Names2 = read_string_list(r, "names 2");
    if (version >= 107) Text25 = r.String("text 25");
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
    FieldReader r(s, "folder/disc list: corrupt");
    // A row is at least a text length and a disc.
    const uint32_t n = r.Count("folder count", 8, INT32_MAX);
    rows_.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        std::string folder = r.String("folder");
        rows_.push_back({std::move(folder), r.I32("disc")});
    }
}
