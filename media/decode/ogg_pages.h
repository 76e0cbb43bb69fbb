// The page layout of an Ogg file, read as libogg's sync layer reads it, to
// learn what libvorbisfile may be shown and where it may seek. Bytes that
// are no page (a tag before or after the pages, padding, a page cut short
// or spoilt) are passed over as libogg passes over them, and so are pages
// outside every link (the tail of another file written over this one, the
// other streams of a multiplexed link), which libvorbisfile passes over too.
// Its seek and page search take stale pages out of damaged links (a page
// lost, spoilt or written twice) and make libogg move a block of negative
// size, so such a link is never sought: only links whose pages follow in
// sequence are.
#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
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
    // Its pages follow in sequence from its first, with granule positions
    // that never go back: libvorbisfile may seek in it.
    bool Plain = true;
    // The largest granule position on its pages: its length in frames as
    // its pages tell it.
    int64_t LastGranule = 0;
    bool Vorbis = false;  // its first page begins a Vorbis stream
};

struct OggLayout {
    // There is a link. A link begins at a stream's first page (the first
    // pages that follow it, with or without bytes that are no page between,
    // are other streams multiplexed with it, and the first Vorbis one of
    // them is the link's) and ends at the next
    // link's first page or where the good pages end; links may share a
    // serial number.
    bool Sound = false;
    std::vector<OggSpan> Pages;  // the pages of the links, neighbours joined
    std::vector<OggLink> Links;
};

// Reads from the stream's start to its end in large blocks; the stream's
// position is left at the end of what was read. When cancel is given and
// becomes true, the reading stops and gives an empty layout.
OggLayout ReadOggLayout(TStream& s, const std::atomic<bool>* cancel = nullptr);

// The last good page in the last 64 KB of the stream, read in one block
// and looked for back from its end (none when 16 capture patterns there
// are no page's): its stream and its granule position (-1 when no packet
// ends on it).
struct OggPageMark {
    uint32_t Serial = 0;
    int64_t Granule = -1;
};
std::optional<OggPageMark> LastOggPage(TStream& s);

// The good pages in the first bytes of the stream, read in one block:
// where each of them that begins a Vorbis stream is, and the serial
// numbers of them all.
struct OggHead {
    std::vector<int64_t> VorbisStarts;
    std::vector<uint32_t> Serials;
};
OggHead ReadOggHead(TStream& s, int64_t bytes);
