// Scene changes: one picture after another comes in, each with a transition
// of its own kind (a fade, blinds, a mosaic, a ripple, a clock hand, a
// shadow through a grey mask picture, a circle, random blocks, a crack and
// a zoom), built on the hidden layer first.
#include "files/vocab.h"
#include "platform/filesystem/stream.h"
#include "tools/demo/common.h"
#include "tools/demo/scenes.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// A 640x480 grey picture, dark in the middle and light at the corners: the
// shadow transition uncovers the new picture from the centre outwards.
void write_mask(const std::string& path) {
    const int32_t w = 640, h = 480;
    std::vector<uint8_t> f(14 + 40 + 256 * 4 + size_t(w) * h);
    auto put32 = [&f](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, uint32_t(f.size()));
    put32(10, 14 + 40 + 256 * 4);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(h));
    f[26] = 1;  // planes
    f[28] = 8;  // bits per pixel
    put32(46, 256);
    for (int i = 0; i < 256; ++i) f[54 + 4 * i] = f[55 + 4 * i] = f[56 + 4 * i] = uint8_t(i);
    const double corner = std::hypot(w / 2.0, h / 2.0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            f[54 + 1024 + size_t(h - 1 - y) * w + x] = uint8_t(std::lround(255 * std::hypot(x - w / 2.0, y - h / 2.0) / corner));
    TFileStream out(path, fmCreate);
    out.WriteBuffer(f.data(), int64_t(f.size()));
}

struct Picture {
    uint32_t sky, ground, sun;  // 0x00BBGGRR
    int sun_x;
};

struct Change {
    int kind, duration;
    const char* mask;
};

}  // namespace

void WriteTransitionsScene(const std::string& folder, const std::string& next) {
    write_mask(folder + "wipemask.bmp");
    const Picture pictures[] = {
        {0xE0A060, 0x308040, 0x60E0FF, 120}, {0x402060, 0x204060, 0xF0F0FF, 480}, {0x80C0F0, 0x4080C0, 0x2060FF, 300},
        {0x202020, 0x606060, 0x00C0FF, 200}, {0xF0D0A0, 0x70A050, 0xFFFFFF, 420}, {0x603010, 0x103020, 0x80FFFF, 320},
        {0xA0E0C0, 0x508070, 0x4040FF, 160}, {0x301040, 0x402010, 0xC0A0FF, 520}, {0x90B0E0, 0x305080, 0xFFE080, 260},
        {0x104080, 0x206020, 0x60FFFF, 380},
    };
    const Change changes[] = {{1, 700, ""},   {2, 700, ""},   {15, 800, ""}, {24, 900, ""}, {31, 700, ""},
                              {19, 900, "wipemask.bmp"}, {36, 700, ""}, {38, 700, ""}, {29, 800, ""}, {30, 700, ""}};
    static_assert(std::size(pictures) == std::size(changes));
    TPageWriter w;
    DemoBoxMasks(w);
    for (size_t i = 0; i < std::size(changes); ++i) {
        const Picture& p = pictures[i];
        const std::string n = "tr" + std::to_string(i);
        DemoBox(w, (n + "sky").c_str(), kHidden, 0, 0, 640, 480, p.sky, 255, 0, -1, -20);
        DemoBox(w, (n + "ground").c_str(), kHidden, 0, 340, 640, 140, p.ground, 255, 0, -1, -10);
        DemoBox(w, (n + "sun").c_str(), kHidden, p.sun_x, 80, 100, 100, p.sun, 255, 6, 0xFFFFFF);
        DemoBox(w, (n + "house").c_str(), kHidden, 640 - p.sun_x - 80, 250, 160, 110, p.sky ^ 0xFFFFFF, 220, 4, 0);
        TPageWriter::FlipFields flip;
        flip.Kind = std::to_string(changes[i].kind);
        flip.Duration = std::to_string(changes[i].duration);
        flip.ClearOld = "1";
        if (*changes[i].mask) flip.Name = std::string("\"") + changes[i].mask + "\"";
        w.Flip(flip);
        w.Wait("250");
    }
    w.Jump(next);
    w.SaveToFile(folder + "transitions.vsb");
}
