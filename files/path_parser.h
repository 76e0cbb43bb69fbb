// Splitting a path into its components and resolving "..\" steps against a
// base folder.
#pragma once
#include "platform/text/string_list.h"

#include <string>

// The components of one path, upper-cased, each ending in its delimiter:
// first a drive ("C:\") or network ("\\SERVER\") prefix when there is one,
// then one item per folder. Both "\" and "/" delimit; a trail byte of a
// double-byte character never does.
class TPathParser : public TStringList {
public:
    void Parse(const std::string& path);
    // All items concatenated.
    std::string Join() const;
};

// Name unchanged when it is shorter than 2 bytes, absolute (begins with a
// delimiter) or has a drive; each leading "..\" removes one folder of
// base_dir (then upper-cased); any other name is appended to base_dir.
std::string ExpandRelativePath(const std::string& name, const std::string& base_dir);
