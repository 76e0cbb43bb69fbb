// The install settings file "install.dat" that sits beside each disc's
// game.dat (which game, which disc, what the installer chose), and the
// list telling which disc holds a folder of game files.
#pragma once
#include "platform/filesystem/stream.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TVorqInstallSet {
public:
    // Version written by SaveToStream; files carry "is" + three digits.
    static constexpr int kVersion = 107;

    // Fields in stream order. Only DiskIndex, Title, DiskCount and the
    // registered names are read by the player; the installer's other
    // choices are carried through unchanged.
    int32_t DiskIndex = 0;  // this disc, counted from 0
    std::string Title;      // identifies the game
    std::string ProductName;
    std::string Publisher;
    std::string InstallFolder;
    uint8_t MakeShortcuts = 0;
    std::string ProgramGroup;
    uint8_t DesktopIcon = 0;
    // DiskCount is the length of each per-disc array; change it with SetDiskCount.
    int32_t GetDiskCount() const { return static_cast<int32_t>(DiskValues[0].size()); }
    std::string ExeName;
    int32_t RequiredSpace = 0;
    uint8_t CopyAll = 0;
    uint8_t Uninstaller = 0;
    std::string ReadmeFile;
    std::string LicenseFile;
    std::array<std::vector<int64_t>, 4> DiskValues;  // per disc, four arrays
    std::array<int64_t, 4> TotalValues{};
    uint8_t Flag18 = 0;
    uint8_t Flag19 = 0;                  // from version 101
    std::vector<std::string> Names;      // registered names, from version 102
    uint8_t Flag21 = 0;                  // from 103
    uint8_t Flag22 = 0;                  // from 104
    uint8_t Flag23 = 0;                  // from 105
    std::vector<std::string> Names2;     // from 106
    std::string Text25;                  // from 107

    void SetDiskCount(int32_t n);
    void LoadFromFile(const std::string& file_name);
    void LoadFromStream(TStream& s);
    void SaveToFile(const std::string& file_name) const;
    void SaveToStream(TStream& s) const;
    // Index among the registered names (ASCII case ignored), -1 when absent.
    int IndexOfName(const std::string& name) const;
    int AddName(const std::string& name);
};

// Rows of folder names with the disc (counted from 1; 0 = any) that holds them.
class TFolderDiskList {
public:
    struct Row {
        std::string Folder;
        int32_t Disk;
    };
    int Count() const { return static_cast<int>(rows_.size()); }
    const Row& Get(int i) const { return rows_.at(static_cast<size_t>(i)); }
    void Clear() { rows_.clear(); }
    void AddFolder(const std::string& folder, int32_t disk);
    // The first row whose folder equals path, both with a trailing "\"; -1 when none.
    int IndexOfFolder(const std::string& path) const;
    // The disc of the innermost registered folder holding path; 0 when none.
    int32_t DiskOf(const std::string& path) const;
    void SaveToStream(TStream& s) const;
    void LoadFromStream(TStream& s);

private:
    std::vector<Row> rows_;
};
