// Builds and inspects "vf" archives:
//   vfpack pack <folder> <archive>        every file below folder, by relative name
//   vfpack list <archive>                 names, stored size, raw flag, CRC
//   vfpack extract <archive> <folder>     every entry into folder
//   vfpack append <exe> <archive> <out>   exe followed by the archive and its trailer
// Paths on the command line are native (UTF-8); entry names are Shift-JIS
// with "\" between folders, as the player asks for them.
#include "files/vr_file_collection.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {
void collect(const std::string& folder, const std::string& prefix, std::vector<std::string>& names) {
    std::vector<std::string> entries = ListDirectory(folder);
    std::sort(entries.begin(), entries.end());
    for (const auto& e : entries) {
        if (DirectoryExists(folder + e))
            collect(folder + e + "/", prefix + e + "\\", names);
        else if (FileExists(folder + e))
            names.push_back(prefix + e);
    }
}

int pack(const std::string& folder_arg, const std::string& archive) {
    std::string folder = IncludeTrailingPathDelimiter(GamePath(folder_arg));
    std::vector<std::string> names;
    collect(folder, "", names);
    TVrFileCollection c;
    c.BaseFolder = folder;
    std::string out_name = GamePath(archive);
    for (const auto& n : names)
        if (NativePath(folder + n) != NativePath(out_name)) c.AddFileEntry(n);
    TWzBigFileStream out(out_name, fmCreate);
    c.SaveToStream(out);
    std::printf("%s: %d entries, %lld bytes\n", archive.c_str(), c.Count(), static_cast<long long>(out.GetSize()));
    return 0;
}

int list(const std::string& archive) {
    TVrFileCollection c;
    c.Open(GamePath(archive));
    for (int i = 0; i < c.Count(); ++i) {
        TVrFile* e = c.GetEntry(i);
        if (!c.FindEntry(e->GetName())) continue;  // the end marker
        std::printf("%12lld %s %08x %s\n", static_cast<long long>(e->Size), e->Raw ? "raw " : "zlib", e->Crc,
                    Cp932ToUtf8(e->GetName()).c_str());
    }
    return 0;
}

// An entry name must stay inside the target folder.
bool safe_name(const std::string& name) {
    if (name.empty() || IsPathDelimiter(name[0]) || name.find(':') != std::string::npos) return false;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        bool lead = i < name.size() && IsDBCSLeadByte(name[i]) && i + 1 < name.size();
        if (lead) {
            ++i;
            continue;
        }
        if (i == name.size() || IsPathDelimiter(name[i])) {
            std::string part = name.substr(start, i - start);
            if (part.empty() || part == "." || part == "..") return false;
            start = i + 1;
        }
    }
    return true;
}

int extract(const std::string& archive, const std::string& folder_arg) {
    TVrFileCollection c;
    c.Open(GamePath(archive));
    c.BaseFolder.clear();  // the archive's own bytes, not loose files beside it
    std::string folder = IncludeTrailingPathDelimiter(GamePath(folder_arg));
    int failed = 0;
    for (int i = 0; i < c.Count(); ++i) {
        const std::string name = c.GetEntry(i)->GetName();
        if (!c.FindEntry(name)) continue;
        std::string shown = Cp932ToUtf8(name);
        if (!safe_name(name)) {
            std::fprintf(stderr, "skipped %s: the name leaves the target folder\n", shown.c_str());
            ++failed;
            continue;
        }
        try {
            TMemoryStream m;
            c.LoadEntry(*c.GetEntry(i), m);
            std::string path = folder + name;
            ForceDirectories(ExtractFilePath(path));
            m.SaveToFile(path);
        } catch (const Exception& e) {
            std::fprintf(stderr, "skipped %s: %s\n", shown.c_str(), e.Utf8Message().c_str());
            ++failed;
        }
    }
    return failed ? 1 : 0;
}

int append(const std::string& exe, const std::string& archive, const std::string& out_name) {
    TMemoryStream program, data;
    program.LoadFromFile(GamePath(exe));
    data.LoadFromFile(GamePath(archive));
    if (program.GetSize() > 0xFFFFFFFFll) throw Exception("the program is too large for the 32-bit trailer");
    TFileStream out(GamePath(out_name), fmCreate);
    out.WriteBuffer(program.Memory(), program.GetSize());
    out.WriteBuffer(data.Memory(), data.GetSize());
    // The trailer: where the archive starts, then "vq".
    uint32_t start = static_cast<uint32_t>(program.GetSize());
    uint8_t trailer[6] = {static_cast<uint8_t>(start), static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start >> 16),
                          static_cast<uint8_t>(start >> 24), 'v', 'q'};
    out.WriteBuffer(trailer, 6);
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: vfpack pack <folder> <archive>\n"
                 "       vfpack list <archive>\n"
                 "       vfpack extract <archive> <folder>\n"
                 "       vfpack append <exe> <archive> <out>\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    try {
        if (a.size() == 3 && a[0] == "pack") return pack(a[1], a[2]);
        if (a.size() == 2 && a[0] == "list") return list(a[1]);
        if (a.size() == 3 && a[0] == "extract") return extract(a[1], a[2]);
        if (a.size() == 4 && a[0] == "append") return append(a[1], a[2], a[3]);
    } catch (const Exception& e) {
        std::fprintf(stderr, "vfpack: %s\n", e.Utf8Message().c_str());
        return 1;
    }
    return usage();
}
