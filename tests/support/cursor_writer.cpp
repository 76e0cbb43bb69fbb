#include "tests/support/cursor_writer.h"

#include "platform/filesystem/stream.h"

#include <cstdint>
#include <vector>

void WriteHandCursor(const std::string& path) {
    auto inside = [](int x, int y) {
        if (x >= 10 && x <= 14 && y >= 2 && y <= 16) return true;     // the pointing finger
        if (x >= 15 && x <= 24 && y >= 11 && y <= 16) return true;    // the folded fingers
        if (x >= 6 && x <= 24 && y >= 16 && y <= 27) return true;     // the palm
        return x >= 9 && x <= 21 && y >= 27 && y <= 30;               // the wrist
    };
    std::vector<uint8_t> f;
    auto u16 = [&f](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
    auto u32 = [&f](uint32_t v) { for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i))); };
    const uint32_t image_bytes = 40 + 32 * 32 * 4 + 32 * 4;
    u16(0), u16(2), u16(1);                   // a cursor file of one image
    f.push_back(32), f.push_back(32), f.push_back(0), f.push_back(0);
    u16(12), u16(2);                          // hot spot
    u32(image_bytes), u32(22);
    u32(40), u32(32), u32(64), u16(1), u16(32), u32(0), u32(32 * 32 * 4), u32(0), u32(0), u32(0), u32(0);
    for (int y = 31; y >= 0; --y)
        for (int x = 0; x < 32; ++x) {
            const bool in = inside(x, y);
            const bool edge = in && !(inside(x - 1, y) && inside(x + 1, y) && inside(x, y - 1) && inside(x, y + 1));
            const uint8_t c = edge ? 0 : 255;
            f.push_back(in ? c : 0), f.push_back(in ? c : 0), f.push_back(in ? c : 0), f.push_back(in ? 255 : 0);
        }
    for (int y = 31; y >= 0; --y) {
        uint32_t bits = 0;
        for (int x = 0; x < 32; ++x)
            if (!inside(x, y)) bits |= 0x80000000u >> x;
        for (int i = 3; i >= 0; --i) f.push_back(uint8_t(bits >> (8 * i)));
    }
    TFileStream out(path, fmCreate);
    out.WriteBuffer(f.data(), int64_t(f.size()));
}
