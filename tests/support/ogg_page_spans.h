// The pages of an Ogg file's bytes as their headers lay them out, for
// tests that take pages out of files oggenc made, or put others between.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Each page's [begin, end); no checksum is checked.
inline std::vector<std::pair<size_t, size_t>> OggPageSpans(const std::string& ogg) {
    std::vector<std::pair<size_t, size_t>> pages;
    for (size_t at = ogg.find("OggS"); at != std::string::npos && at + 27 <= ogg.size(); at = ogg.find("OggS", at)) {
        const size_t segments = uint8_t(ogg[at + 26]);
        size_t end = at + 27 + segments;
        for (size_t i = 0; i < segments && at + 27 + i < ogg.size(); ++i) end += uint8_t(ogg[at + 27 + i]);
        pages.push_back({at, end});
        at = end;
    }
    return pages;
}
