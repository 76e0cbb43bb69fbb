#include "tests/support/tesk_writer.h"

#include <zlib.h>

#include <cstring>

#include "files/random.h"

namespace {

struct Out {
    std::vector<uint8_t> b;
    void u8(uint8_t v) { b.push_back(v); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    }
    void bytes(const std::vector<uint8_t>& v) { b.insert(b.end(), v.begin(), v.end()); }
    void str(const std::string& s) {
        u32(uint32_t(s.size()));
        b.insert(b.end(), s.begin(), s.end());
    }
};

std::vector<int32_t> Order(uint32_t id, int n) {
    TWzRandom r(id);
    r.SetCount(n);
    std::vector<int32_t> v(n);
    for (int32_t& x : v) x = r.Pick();
    return v;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& v) {
    uLongf n = compressBound(uLong(v.size()));
    std::vector<uint8_t> out(n);
    compress2(out.data(), &n, v.data(), uLong(v.size()), 1);
    out.resize(n);
    return out;
}

// One block's payload before compression.
std::vector<uint8_t> Payload(const TeskTestFile& f, const TeskTestFrame& fr, std::vector<uint8_t> rows,
                             const std::vector<std::pair<int32_t, int32_t>>& tileTable, int bits) {
    const int stride = TeskTestStride(fr.width, bits);
    if (fr.width < 1 || fr.height < 1) return {};
    // Lying sizes get zero rows rather than reads beyond the given ones.
    rows.resize(std::max(rows.size(), size_t(stride) * fr.height), 0);
    const bool tiled = f.version >= 103 && f.tileWidth >= 1 && f.tileHeight >= 1 && f.compression != 2;
    std::vector<uint8_t> out;
    if (!tiled) {
        const bool scr = f.version < 103 || (f.scrambled && f.compression != 2);
        std::vector<int32_t> order = Order(scr ? f.idCode : 0, fr.height);
        for (int i = 0; i < fr.height; ++i) {
            const int row = order[i];
            out.insert(out.end(), rows.begin() + size_t(row) * stride, rows.begin() + size_t(row + 1) * stride);
        }
        return out;
    }
    const int tw = int(f.tileWidth), th = int(f.tileHeight);
    const int tx = (fr.width + tw - 1) / tw, ty = (fr.height + th - 1) / th, n = tx * ty;
    std::vector<std::pair<int32_t, int32_t>> table = tileTable;
    if (table.empty()) table.assign(n, {-1, 0});
    std::vector<std::pair<int32_t, int32_t>> stored(n);
    std::vector<int32_t> order = Order(f.scrambled ? f.idCode : 0, n);
    for (int i = 0; i < n; ++i) stored[i] = table[order[i]];
    Out o;
    for (auto& e : stored) o.u32(uint32_t(e.first)), o.u32(uint32_t(e.second));
    for (int i = 0; i < n; ++i) {
        if (table[i].first != -1) continue;
        const int x = (i % tx) * tw, y = (i / tx) * th;
        const int cw = std::min(tw, fr.width - x), ch = std::min(th, fr.height - y);
        const size_t rb = (size_t(cw) * bits + 7) / 8, dx = size_t(x) * bits / 8;
        for (int r = 0; r < ch; ++r) {
            const uint8_t* p = rows.data() + size_t(y + r) * stride + dx;
            o.b.insert(o.b.end(), p, p + rb);
        }
    }
    return o.b;
}

}  // namespace

int TeskTestStride(int width, int bits) { return ((width * (bits == 15 ? 16 : bits) + 31) / 32) * 4; }

std::vector<uint8_t> WriteTeskTestFile(const TeskTestFile& f) {
    Out o;
    char magic[8];
    std::snprintf(magic, sizeof magic, "Tesk%03d", f.version);
    o.b.insert(o.b.end(), magic, magic + 7);
    const uint32_t frames = f.frameCountOverride >= 0 ? uint32_t(f.frameCountOverride) : uint32_t(f.frames.size());
    if (f.version >= 103) {
        Out h;
        h.u32(uint32_t(f.version));
        h.u32(f.frames.empty() ? 0 : f.frames[0].width);
        h.u32(f.frames.empty() ? 0 : f.frames[0].height);
        h.u32(f.frames.empty() ? 0 : f.frames[0].bits);
        h.u32(frames);
        h.u8(0);
        h.u8(f.scrambled);
        h.u8(f.compression);
        h.u8(0);
        h.u32(f.backColor);
        h.u32(f.tileWidth);
        h.u32(f.tileHeight);
        h.u8(f.firstLayerOpaque);
        h.u8(70);
        h.u8(0);
        h.u8(0);
        h.b.resize(f.headerSize, 0);
        o.u32(f.headerSize);
        o.bytes(h.b);
    } else {
        o.u32(frames);
        o.u8(0);
        if (f.version >= 102) o.u32(f.backColor);
    }
    const bool packed = f.version >= 103 && f.compression != 1;
    for (const TeskTestFrame& fr : f.frames) {
        o.str(fr.name);
        o.u32(uint32_t(fr.key));
        o.u32(uint32_t(fr.delay));
        o.u8(2);
        o.u32(0);
        o.u32(uint32_t(fr.layers.size()));
        o.u32(uint32_t(fr.width));
        o.u32(uint32_t(fr.height));
        o.u32(uint32_t(fr.bits));
        if (fr.bits <= 8) o.bytes(fr.palette);
        for (const TeskTestLayer& l : fr.layers) {
            o.u32(0);
            o.u32(0);
            o.u8(l.visible);
            o.u32(uint32_t(l.key));
            o.u32(uint32_t(l.opacity));
            if (f.version >= 101) o.u8(l.useMask);
            o.str("layer");
            std::vector<uint8_t> block;
            if (l.useRawBlock) block = l.rawBlock;
            else if (f.version >= 103 && f.compression == 2) block = l.jpeg;
            else {
                block = Payload(f, fr, l.rows, l.tiles, fr.bits == 15 ? 16 : fr.bits);
                if (packed) block = Deflate(block);
            }
            o.u32(uint32_t(block.size()));
            o.bytes(block);
            if (f.version >= 100) {
                if (l.maskRows.empty()) {
                    o.u32(0);
                } else {
                    TeskTestFile plain = f;
                    if (f.compression == 2) plain.scrambled = false, plain.tileWidth = 0;
                    std::vector<uint8_t> m = Payload(f.compression == 2 ? plain : f, fr, l.maskRows, l.maskTiles, 8);
                    if (packed) m = Deflate(m);
                    o.u32(uint32_t(m.size()));
                    o.bytes(m);
                }
            }
        }
        if (f.version >= 104) {
            for (const auto* rs : {&fr.rects1, &fr.rects2}) {
                o.u32(uint32_t(rs->size()));
                for (const TRect& r : *rs) o.u32(r.Left), o.u32(r.Top), o.u32(r.Right), o.u32(r.Bottom);
            }
        }
    }
    return o.b;
}
