#include "tools/demo/common.h"

#include "files/vocab.h"
#include "platform/filesystem/stream.h"

#include <string>

void DemoBoxMasks(TPageWriter& w) {
    for (int id : {PR_NAME, PR_PARENT, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_COLOR, PR_ALPHA, PR_BORDERWIDTH,
                   PR_BORDERCOLOR, PR_PRIORITY})
        w.SetMask(opBoxNew, id);
}

void DemoBox(TPageWriter& w, const char* name, const char* parent, int l, int t, int wd, int h, uint32_t colour,
             int alpha, int border, int32_t border_colour, int priority) {
    w.Component(opBoxNew, {{PR_NAME, std::string("\"") + name + "\""},
                           {PR_PARENT, parent},
                           {PR_LEFT, std::to_string(l)},
                           {PR_TOP, std::to_string(t)},
                           {PR_WIDTH, std::to_string(wd)},
                           {PR_HEIGHT, std::to_string(h)},
                           {PR_COLOR, std::to_string(colour)},
                           {PR_ALPHA, std::to_string(alpha)},
                           {PR_BORDERWIDTH, std::to_string(border)},
                           {PR_BORDERCOLOR, std::to_string(border_colour)},
                           {PR_PRIORITY, std::to_string(priority)}});
}

void WriteWave(const std::string& path, const std::vector<int16_t>& samples, int channels, int rate) {
    TFileStream f(path, fmCreate);
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    auto u32 = [&f](uint32_t v) { f.WriteBuffer(&v, 4); };
    auto u16 = [&f](uint16_t v) { f.WriteBuffer(&v, 2); };
    f.WriteBuffer("RIFF", 4);
    u32(36 + data);
    f.WriteBuffer("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate) * 2 * static_cast<uint32_t>(channels));
    u16(static_cast<uint16_t>(2 * channels));
    u16(16);
    f.WriteBuffer("data", 4);
    u32(data);
    f.WriteBuffer(samples.data(), data);
}
