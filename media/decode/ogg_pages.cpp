#include "media/decode/ogg_pages.h"

#include "files/field_reader.h"
#include "media/decode/pcm_decoder.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {
// The page checksum: CRC-32 of generator 0x04c11db7, most significant bit
// first, from 0 and without a final inversion, over the page with its
// checksum field zeroed. Eight bytes a step through eight tables: the look
// at a file's pages reads all of it.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;
constexpr CrcTables kCrcTables = [] {
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int b = 0; b < 8; ++b) c = c & 0x80000000u ? (c << 1) ^ 0x04c11db7u : c << 1;
        t[0][i] = c;
    }
    for (size_t k = 1; k < t.size(); ++k)
        for (size_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    return t;
}();

uint32_t crc_add(uint32_t crc, const uint8_t* p, size_t n) {
    const auto& t = kCrcTables;
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t a = crc ^ (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]);
        crc = t[7][a >> 24] ^ t[6][(a >> 16) & 0xff] ^ t[5][(a >> 8) & 0xff] ^ t[4][a & 0xff] ^ t[3][p[4]] ^
              t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; --n, ++p) crc = (crc << 8) ^ t[0][(crc >> 24) ^ *p];
    return crc;
}

enum : uint8_t { kContinued = 1, kFirstPage = 2, kLastPage = 4 };
constexpr uint64_t kNoGranule = ~uint64_t{0};  // no packet ends on the page
constexpr size_t kHeaderBytes = 27;
constexpr int64_t kLongestPage = kHeaderBytes + 255 + 255 * 255;
constexpr int64_t kBlockBytes = int64_t{1} << 20;
constexpr int64_t kPieceBytes = int64_t{1} << 16;

struct Page {
    int64_t At = 0;
    int64_t Bytes = 0;
    uint8_t Version = 0;
    uint8_t Type = 0;
    uint64_t Granule = 0;
    uint32_t Serial = 0;
    uint32_t Sequence = 0;
    bool EndsInPacket = false;  // its last segment goes on in the next page
    bool Vorbis = false;        // it begins with a Vorbis identification header
};

// The good pages of a stream, in the order libogg's sync finds them: a
// capture pattern, a whole page and its checksum; where one of them fails,
// the search goes on at the next 'O', and a page that runs past the end of
// the stream (or past until) is never whole. The stream is read forward in
// blocks of up to a megabyte, each holding at least a longest page from
// where the search is, and never past until.
class PageSearch {
public:
    PageSearch(TStream& s, int64_t from, const std::atomic<bool>* cancel, int64_t until = INT64_MAX)
        : FStream(s), FReader(FBlock, Sjis(kSoundDataCorrupt)),
          FBlockBytes(static_cast<size_t>(std::clamp<int64_t>(s.GetSize() - from, kLongestPage, kBlockBytes))),
          FCancel(cancel), FUntil(until), FBase(from) {
        s.SetPosition(from);
        FBlock.SetSize(static_cast<int64_t>(FBlockBytes));
    }

    bool Next(Page& p) {
        for (;;) {
            fill();
            const size_t left = FFill - FAt;
            if (left < kHeaderBytes) return false;
            const Found f = page_at(FAt, p);
            if (f == Found::Whole) {
                FAt += static_cast<size_t>(p.Bytes);
                return true;
            }
            // Cut short at the end of the stream: libogg waits for the
            // rest, which never comes.
            if (f == Found::CutShort) return false;
            const uint8_t* b = FBlock.Memory() + FAt;
            const void* o = std::memchr(b + 1, 'O', left - 1);
            FAt = o ? static_cast<size_t>(static_cast<const uint8_t*>(o) - FBlock.Memory()) : FFill;
        }
    }
    // The last good page in the first block, looked for back from its end:
    // at most tries capture patterns are checked, so that a tail of false
    // page headers costs no more than a few pages do.
    bool Last(Page& p, int tries) {
        fill();
        const uint8_t* m = FBlock.Memory();
        for (size_t at = FFill; at-- > FAt && tries > 0;) {
            if (m[at] != 'O' || FFill - at < kHeaderBytes || std::memcmp(m + at, "OggS", 4) != 0) continue;
            --tries;
            if (page_at(at, p) == Found::Whole) return true;
        }
        return false;
    }

private:
    enum class Found { Whole, CutShort, None };
    // Whether a whole good page begins at place at of the block (one with
    // a capture pattern), and if so which.
    Found page_at(size_t at, Page& p) {
        const size_t left = FFill - at;
        const uint8_t* b = FBlock.Memory() + at;
        if (std::memcmp(b, "OggS", 4) != 0) return Found::None;
        const size_t header = kHeaderBytes + b[26];
        if (left < header) return Found::CutShort;
        FBlock.SetPosition(static_cast<int64_t>(at) + 4);
        p.Version = FReader.U8("version");
        p.Type = FReader.U8("header type");
        p.Granule = FReader.U64("granule position");
        p.Serial = FReader.U32("serial number");
        p.Sequence = FReader.U32("page sequence");
        const uint32_t checksum = FReader.U32("checksum");
        const uint8_t segments = FReader.U8("segments");
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) body += FReader.U8("lacing value");
        if (left < header + body) return Found::CutShort;
        p.EndsInPacket = segments > 0 && b[header - 1] == 255;
        static constexpr uint8_t kZeros[4] = {};
        uint32_t crc = crc_add(0, b, 22);
        crc = crc_add(crc, kZeros, 4);
        crc = crc_add(crc, b + 26, header - 26 + body);
        if (crc != checksum) return Found::None;
        static constexpr uint8_t kVorbisId[7] = {1, 'v', 'o', 'r', 'b', 'i', 's'};
        p.Vorbis = body >= 16 && std::memcmp(b + header, kVorbisId, 7) == 0;
        p.At = FBase + static_cast<int64_t>(at);
        p.Bytes = static_cast<int64_t>(header + body);
        return Found::Whole;
    }
    // Moves what is left of the block to its front and reads on after it
    // when less than a longest page is left.
    void fill() {
        if (FEnd || FFill - FAt >= size_t{kLongestPage}) return;
        if (FCancel && FCancel->load()) {
            FEnd = true;
            FFill = FAt;
            return;
        }
        uint8_t* m = FBlock.Memory();
        std::memmove(m, m + FAt, FFill - FAt);
        FBase += static_cast<int64_t>(FAt);
        FFill -= FAt;
        FAt = 0;
        while (FFill < FBlockBytes) {
            // In pieces, each after a look at cancel: a slow disk may take
            // long over a block, and the sound freed must not wait for it.
            const int64_t room = std::min<int64_t>(FUntil - (FBase + static_cast<int64_t>(FFill)), kPieceBytes);
            const bool cancelled = FCancel && FCancel->load();
            const int64_t got = room > 0 && !cancelled
                                    ? FStream.Read(m + FFill, std::min(room, static_cast<int64_t>(FBlockBytes - FFill)))
                                    : 0;
            if (cancelled) FFill = FAt;
            if (got <= 0) {
                FEnd = true;
                break;
            }
            FFill += static_cast<size_t>(got);
        }
    }

    TStream& FStream;
    TMemoryStream FBlock;
    FieldReader FReader;
    const size_t FBlockBytes;
    const std::atomic<bool>* FCancel;
    const int64_t FUntil;
    int64_t FBase = 0;  // of the block in the stream
    size_t FAt = 0;     // where the search stands in the block
    size_t FFill = 0;   // bytes of the block read
    bool FEnd = false;  // the stream has no more
};
}  // namespace

OggLayout ReadOggLayout(TStream& s, const std::atomic<bool>* cancel) {
    PageSearch search(s, 0, cancel);
    OggLayout layout;
    bool in_group = false;     // the link has had only first pages so far
    bool ended = false;        // the link had its last page
    bool open_packet = false;  // the page before ended inside a packet
    uint32_t sequence = 0;
    int64_t granule = 0;
    int64_t joined = 0;  // bytes of the pages kept so far
    auto keep = [&](const Page& p) {
        if (!layout.Pages.empty() && layout.Pages.back().End == p.At) layout.Pages.back().End += p.Bytes;
        else layout.Pages.push_back({p.At, p.At + p.Bytes});
        joined += p.Bytes;
        layout.Links.back().End = joined;
    };
    for (Page p; search.Next(p);) {
        OggLink* link = layout.Links.empty() ? nullptr : &layout.Links.back();
        if (p.Type & kFirstPage) {
            // First pages that follow one another are grouped, bytes that
            // are no page between them passed over, as libogg passes them.
            if (link && in_group) {
                // Another stream multiplexed into the link: the link plays
                // the first Vorbis one, as libvorbisfile does, and no other.
                if (link->Vorbis || !p.Vorbis) continue;
                joined = link->Begin;
                if (layout.Pages.back().End - layout.Pages.back().Begin > link->End - link->Begin)
                    layout.Pages.back().End -= link->End - link->Begin;
                else
                    layout.Pages.pop_back();
                layout.Links.pop_back();
            }
            // A stream's first page begins a link, also where the link
            // before lost its last page: libvorbisfile tells links apart by
            // their first pages.
            layout.Links.push_back({joined, joined, p.Serial, p.Sequence == 0 && p.Version == 0});
            layout.Links.back().Vorbis = p.Vorbis;
            in_group = true;
            ended = false;
            open_packet = false;
            granule = 0;
        } else if (!link || p.Serial != link->Serial) {
            // Before any link, another stream's page inside a link, or the
            // tail of another file after it: no page of the link.
            continue;
        } else {
            // A page lost, spoilt or written twice breaks the sequence.
            if (ended || p.Sequence != sequence + 1) link->Plain = false;
            in_group = false;
        }
        OggLink& l = layout.Links.back();
        if (p.Version != 0) {
            // libogg takes no page of another version: a gap in the link.
            l.Plain = false;
            continue;
        }
        if ((p.Type & ~(kContinued | kFirstPage | kLastPage)) != 0 || bool(p.Type & kContinued) != open_packet)
            l.Plain = false;
        if (p.Granule != kNoGranule) {
            const auto g = static_cast<int64_t>(p.Granule);
            if (g < granule) l.Plain = false;
            granule = std::max(granule, g);
            l.LastGranule = std::max(l.LastGranule, g);
        }
        sequence = p.Sequence;
        open_packet = p.EndsInPacket;
        keep(p);
        if (p.Type & kLastPage) ended = true;
    }
    std::erase_if(layout.Links, [](const OggLink& l) { return l.End == l.Begin; });
    layout.Sound = !layout.Links.empty();
    return layout;
}

std::optional<OggPageMark> LastOggPage(TStream& s) {
    // Pages are a few kilobytes: the last 64 KB nearly always hold one, and
    // a file that ends otherwise is looked at by the page check only.
    PageSearch search(s, std::max<int64_t>(0, s.GetSize() - (int64_t{1} << 16)), nullptr);
    Page p;
    if (!search.Last(p, 16)) return std::nullopt;
    return OggPageMark{p.Serial, p.Granule == kNoGranule ? -1 : static_cast<int64_t>(p.Granule)};
}

OggHead ReadOggHead(TStream& s, int64_t bytes) {
    PageSearch search(s, 0, nullptr, bytes);
    OggHead head;
    for (Page p; search.Next(p);) {
        if ((p.Type & kFirstPage) && p.Vorbis) head.VorbisStarts.push_back(p.At);
        if (std::find(head.Serials.begin(), head.Serials.end(), p.Serial) == head.Serials.end())
            head.Serials.push_back(p.Serial);
    }
    return head;
}
