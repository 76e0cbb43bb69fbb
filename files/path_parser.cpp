#include "files/path_parser.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/filesys.h"

namespace {
// Index just after the first delimiter at or after from (s.size() when none).
size_t after_delimiter(const std::string& s, size_t from) {
    for (size_t i = from; i < s.size(); ++i) {
        if (IsDBCSLeadByte(s[i]) && i + 1 < s.size()) {
            ++i;
            continue;
        }
        if (IsPathDelimiter(s[i])) return i + 1;
    }
    return s.size();
}

bool ends_in_delimiter(const std::string& s) {
    // The last byte is a delimiter only when it is not a trail byte.
    size_t i = 0;
    bool last_is_delim = false;
    while (i < s.size()) {
        bool lead = IsDBCSLeadByte(s[i]) && i + 1 < s.size();
        last_is_delim = !lead && IsPathDelimiter(s[i]);
        i += lead ? 2 : 1;
    }
    return last_is_delim;
}

bool starts_with_parent_step(const std::string& s) {
    return s.size() >= 3 && s[0] == '.' && s[1] == '.' && IsPathDelimiter(s[2]);
}
}  // namespace

void TPathParser::Parse(const std::string& path) {
    Clear();
    if (path.empty()) return;
    std::string s = AnsiUpperCase(path);
    if (!ends_in_delimiter(s)) s += PathDelim;
    size_t pos = 0;
    if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
        pos = after_delimiter(s, 2);
        Add(s.substr(0, pos));
    } else if (s.find(':') == 1 && s.size() >= 3) {
        pos = 3;
        Add(s.substr(0, pos));
    }
    while (pos < s.size()) {
        size_t end = after_delimiter(s, pos);
        Add(s.substr(pos, end - pos));
        pos = end;
    }
}

std::string TPathParser::Join() const {
    std::string r;
    for (int32_t i = 0; i < Count(); ++i) r += Get(i);
    return r;
}

std::string ExpandRelativePath(const std::string& name, const std::string& base_dir) {
    if (name.size() < 2 || IsPathDelimiter(name[0]) || name[1] == ':') return name;
    if (!starts_with_parent_step(name)) return base_dir + name;
    TPathParser parts;
    parts.Parse(base_dir);
    std::string rest = name;
    while (parts.Count() > 0 && starts_with_parent_step(rest)) {
        parts.Delete(parts.Count() - 1);
        rest.erase(0, 3);
    }
    return parts.Join() + rest;
}
