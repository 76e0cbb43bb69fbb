// The page layout of an Ogg file, read page by page as libogg's sync layer
// reads it, to learn whether libvorbisfile may seek in it. Its seek and
// page search take stale pages out of damaged files (bytes between pages,
// pages whose checksum fails, another stream's pages inside a link) and
// make libogg move a block of negative size, so a file is sought only
// when every byte of it lies in a sound page of a plain chain of links.
#pragma once
#include <cstdint>
#include <vector>

class TStream;

// One link of a chain: one logical stream, from its first page to its end.
struct OggLink {
    int64_t Begin = 0;
    int64_t End = 0;
    uint32_t Serial = 0;
};

struct OggLayout {
    // Every byte lies in a page whose checksum holds; each link is one
    // stream whose pages follow in sequence, from its first page to its
    // last, with granule positions that never go back.
    bool Sound = false;
    std::vector<OggLink> Links;  // filled when Sound
};

// Reads from the stream's start to its end; the stream's position is left
// at the end of what was read.
OggLayout ReadOggLayout(TStream& s);
