#include "platform/filesystem/ini_file.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/replace_file.h"


#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {
bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view one_line(std::string_view s) { return s.substr(0, s.find_first_of("\r\n")); }

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint64_t value = 0;
    // Hex after "$", "x" or "0x" (any case).
    size_t prefix = 0;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) prefix = 1;
    else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) prefix = 2;
    if (prefix) {
        i += prefix;
        if (i == text.size()) return std::nullopt;
        for (; i < text.size(); ++i) {
            int d = hex_digit(text[i]);
            if (d < 0) return std::nullopt;
            value = value * 16 + static_cast<uint64_t>(d);
            if (value > 0xFFFFFFFFull) return std::nullopt;
        }
        // Hex spells the 32-bit pattern: $FFFFFFFF is -1.
        uint32_t bits = static_cast<uint32_t>(value);
        if (negative) bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }
    if (i == text.size()) return std::nullopt;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > 0x80000000ull) return std::nullopt;
    }
    if (!negative && value > 0x7FFFFFFFull) return std::nullopt;
    return static_cast<int32_t>(negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value));
}

IniFile::IniFile(const std::string& sjis_path) : file_name_(sjis_path) {
    const std::string native = NativePath(sjis_path);
    std::error_code ec;
    const bool present = std::filesystem::exists(std::filesystem::symlink_status(native, ec));
    std::ifstream in(native, std::ios::binary);
    if (!in) {
        read_failed_ = present;
        return;
    }
    std::string text;
    try {
        // A folder opens but fails on the first read, with an exception of
        // the stream library.
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        read_failed_ = true;
        return;
    }
    if (in.bad()) {
        read_failed_ = true;
        return;
    }
    LoadFromText(text);
}

void IniFile::LoadFromText(std::string_view text) {
    sections_.clear();
    Section* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = trim(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            std::string_view name = trim(line.substr(1, line.size() - 2));
            current = nullptr;
            // A section named twice continues the first one.
            for (auto& s : sections_)
                if (AnsiSameText(s.name, name)) current = &s;
            if (!current) current = &sections_.emplace_back(Section{std::string(name), {}});
            continue;
        }
        if (!current) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) current->entries.push_back({std::string(line), {}, false});
        else current->entries.push_back({std::string(trim(line.substr(0, eq))), std::string(line.substr(eq + 1)), true});
    }
}

const IniFile::Entry* IniFile::find(std::string_view section, std::string_view key) const {
    for (const auto& s : sections_) {
        if (!AnsiSameText(s.name, section)) continue;
        for (const auto& e : s.entries)
            if (e.has_value && AnsiSameText(e.key, key)) return &e;
        return nullptr;
    }
    return nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, const std::string& def) const {
    const Entry* e = find(section, key);
    // game.ini's value is everything after the first "=" (its line trimmed),
    // quotes included: stored files were written and read that way.
    return e ? e->value : def;
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
    const Entry* e = find(section, key);
    if (!e) return def;
    return ParseProfileInteger(e->value).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const {
    for (const auto& s : sections_)
        if (AnsiSameText(s.name, section)) return true;
    return false;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const { return find(section, key) != nullptr; }

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    value = one_line(value);
    key = one_line(key);
    section = one_line(section);
    Section* target = nullptr;
    for (auto& s : sections_)
        if (AnsiSameText(s.name, section)) {
            target = &s;
            break;
        }
    if (!target) target = &sections_.emplace_back(Section{std::string(section), {}});
    for (auto& e : target->entries)
        if (e.has_value && AnsiSameText(e.key, key)) {
            e.value = value;
            return;
        }
    target->entries.push_back({std::string(key), std::string(value), true});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string IniFile::ToText() const {
    std::string out;
    for (const auto& s : sections_) {
        out += "[" + s.name + "]\r\n";
        for (const auto& e : s.entries) {
            out += e.key;
            if (e.has_value) out += "=" + e.value;
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

void IniFile::SaveToFile(const std::string& sjis_path) const {
    const std::string text = ToText();
    ReplaceFileContents(sjis_path, text.data(), text.size());
}
