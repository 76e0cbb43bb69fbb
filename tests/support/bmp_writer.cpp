#include "tests/support/bmp_writer.h"

#include "platform/filesystem/stream.h"

#include <vector>

void WriteBmp24(const std::string& path, int32_t w, int32_t h,
                const std::function<uint32_t(int32_t, int32_t)>& colour) {
    const size_t row = (size_t(w) * 3 + 3) & ~size_t(3);
    std::vector<uint8_t> f(54 + row * size_t(h));
    auto put32 = [&f](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, uint32_t(f.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    f[26] = 1;   // planes
    f[28] = 24;  // bits per pixel
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t c = colour(x, y);
            uint8_t* p = &f[54 + size_t(h - 1 - y) * row + size_t(x) * 3];
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    TFileStream out(path, fmCreate);
    out.WriteBuffer(f.data(), int64_t(f.size()));
}
