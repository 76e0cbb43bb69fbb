// Ini files (game.ini) with the platform's profile rules: sections and keys
// compare without case, a value is everything after the first "=", integers
// follow the platform's parse rules, and a missing or unreadable file reads
// as empty. The whole file is held in memory; Save writes it back whole.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    IniFile() = default;
    // Reads the file (a Shift-JIS game path); a missing or unreadable file
    // gives empty contents.
    explicit IniFile(const std::string& sjis_path);
    // Something stands at the path but could not be read as a file (a
    // folder, no read permission, a read error).
    bool ReadFailed() const { return read_failed_; }

    // Replaces the contents by the text of an ini file. Lines before the
    // first section header, empty lines and comment lines (";") are dropped.
    void LoadFromText(std::string_view text);

    // Everything after the first "=" of the key's line (the line itself has
    // its surrounding blanks removed; quotes are kept); the default when the
    // section or key is missing.
    std::string ReadString(std::string_view section, std::string_view key, const std::string& def) const;
    // Decimal, or hexadecimal after "$", "x" or "0x"; an optional sign; spaces
    // before. Anything else, or a number outside 32 bits, gives the default.
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
    // An integer: 0 is false, any other number true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    // A key that exists keeps its place and spelling; a new key goes to the
    // end of its section, a new section after the others. A value is one
    // line: anything from a line break on is dropped, since it would turn
    // into keys of its own when the file is read again.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);  // "1" or "0"

    // The file's text: each section as "[name]", its "key=value" lines and
    // one empty line, every line ended by CR LF.
    std::string ToText() const;
    // Writes the text to a temporary file in the same folder and renames it
    // over the file, so that a failed write leaves the old file as it was.
    // Raises EFCreateError or EWriteError on failure.
    void SaveToFile(const std::string& sjis_path) const;
    void Save() const { SaveToFile(file_name_); }
    const std::string& FileName() const { return file_name_; }

private:
    struct Entry {
        std::string key;
        std::string value;
        bool has_value = true;  // false for a line without "=", kept as written
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    const Entry* find(std::string_view section, std::string_view key) const;

    std::string file_name_;
    std::vector<Section> sections_;
    bool read_failed_ = false;
};

// The integer parse rules of ReadInteger, on their own.
std::optional<int32_t> ParseProfileInteger(std::string_view text);
