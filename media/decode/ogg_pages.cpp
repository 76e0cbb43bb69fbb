#include "media/decode/ogg_pages.h"

#include "files/field_reader.h"
#include "media/decode/pcm_decoder.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/stream.h"

#include <array>

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
}  // namespace

OggLayout ReadOggLayout(TStream& s) {
    s.SetPosition(0);
    FieldReader r(s, Sjis(kSoundDataCorrupt));
    OggLayout layout;
    std::vector<uint8_t> header, body;
    bool in_link = false;      // a link began and has not had its last page
    bool open_packet = false;  // the page before ended inside a packet
    uint32_t sequence = 0;
    int64_t granule = 0;
    try {
        while (!r.AtEnd()) {
            const int64_t at = r.Position();
            auto keep = [&header](uint64_t v, int bytes) {
                for (int i = 0; i < bytes; ++i) header.push_back(uint8_t(v >> (8 * i)));
            };
            if (r.Fixed(4, "capture pattern") != "OggS") return {};
            header = {'O', 'g', 'g', 'S'};
            const uint8_t version = r.U8("version");
            const uint8_t type = r.U8("header type");
            const uint64_t page_granule = r.U64("granule position");
            const uint32_t serial = r.U32("serial number");
            const uint32_t page_sequence = r.U32("page sequence");
            const uint32_t checksum = r.U32("checksum");
            const uint8_t segments = r.U8("segments");
            keep(version, 1);
            keep(type, 1);
            keep(page_granule, 8);
            keep(serial, 4);
            keep(page_sequence, 4);
            keep(0, 4);
            keep(segments, 1);
            header.resize(27 + size_t{segments});
            r.Bytes(header.data() + 27, segments, "lacing values");
            size_t body_bytes = 0;
            for (size_t i = 27; i < header.size(); ++i) body_bytes += header[i];
            body.resize(body_bytes);
            r.Bytes(body.data(), body_bytes, "page body");
            if (version != 0 || (type & ~(kContinued | kFirstPage | kLastPage)) != 0) return {};
            if (crc_add(crc_add(0, header.data(), header.size()), body.data(), body.size()) != checksum) return {};

            if (!in_link) {
                // A link begins with its stream's first page, under a serial
                // number of its own.
                if (!(type & kFirstPage) || page_sequence != 0) return {};
                if (!layout.Links.empty() && layout.Links.back().Serial == serial) return {};
                layout.Links.push_back({at, at, serial});
                in_link = true;
                open_packet = false;
                granule = 0;
            } else if ((type & kFirstPage) || serial != layout.Links.back().Serial || page_sequence != sequence + 1) {
                // Another stream inside the link, or a page lost or repeated.
                return {};
            }
            if (bool(type & kContinued) != open_packet) return {};
            if (page_granule != kNoGranule) {
                const auto g = static_cast<int64_t>(page_granule);
                if (g < granule) return {};
                granule = g;
            }
            sequence = page_sequence;
            if (segments > 0) open_packet = header.back() == 255;
            layout.Links.back().End = r.Position();
            if (type & kLastPage) in_link = false;
        }
    } catch (const ECorruptData&) {
        return {};  // a page cut short
    }
    layout.Sound = !layout.Links.empty();
    return layout;
}
