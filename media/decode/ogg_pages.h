// The page layout of an Ogg file, read as libogg's sync layer reads it, to
// learn what libvorbisfile may be shown and whether it may seek there.
// Bytes that are no page (a tag before or after the pages, padding, a page
// cut short or spoilt) are passed over as libogg passes over them. Its seek
// and page search take stale pages out of damaged files (pages whose
// checksum fails, another stream's pages inside a link) and make libogg
// move a block of negative size, so the decoder shows it only the good
// pages, joined, and seeks only when they make a plain chain of links.
#pragma once
#include <cstdint>
#include <vector>

class TStream;

// Bytes [Begin, End) of the stream.
struct OggSpan {
    int64_t Begin = 0;
    int64_t End = 0;
    bool operator==(const OggSpan&) const = default;
};

// One link of a chain: one logical stream, from its first page to its last
// good one, in the bytes of the good pages joined.
struct OggLink {
    int64_t Begin = 0;
    int64_t End = 0;
    uint32_t Serial = 0;
};

struct OggLayout {
    // The good pages make links, each one stream whose pages follow in
    // sequence from its first page, with granule positions that never go
    // back. A link ends at its last page, at the next link's first page
    // (its own last page spoilt), or where the good pages end; links may
    // share a serial number.
    bool Sound = false;
    std::vector<OggSpan> Pages;  // the good pages, neighbours joined; filled when Sound
    std::vector<OggLink> Links;  // filled when Sound
};

// Reads from the stream's start to its end in large blocks; the stream's
// position is left at the end of what was read.
OggLayout ReadOggLayout(TStream& s);
