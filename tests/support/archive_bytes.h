// Where the fields of an archive as the player writes it (format 102) lie
// in its bytes, for tests that spoil one of them.
#pragma once
#include "files/random.h"
#include "files/vr_file_collection.h"

#include <cstdint>
#include <string>

// The position of entry k's name length (its name's bytes follow).
inline size_t ArchiveNameAt(const std::string& bytes, int k) {
    size_t at = 10;
    for (int i = 0; i < k; ++i)
        at += 4 + (static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8);
    return at;
}

// Sets offset k of an archive of n entries to value, scrambled as the
// writer does: with the generator's k-th output, sign-extended.
inline void SetArchiveOffset(std::string& bytes, int n, int k, int64_t value) {
    const size_t offsets_at = ArchiveNameAt(bytes, n);
    TWzRandom g(kVrArchiveSeed);
    uint32_t x = 0;
    for (int i = 0; i <= k; ++i) x = g.Next();
    const uint64_t v = static_cast<uint64_t>(value) ^ (x | (x >= 0x80000000u ? 0xFFFFFFFF00000000ull : 0));
    for (int i = 0; i < 8; ++i) bytes[offsets_at + 8 * static_cast<size_t>(k) + i] = static_cast<char>(v >> (8 * i));
}
