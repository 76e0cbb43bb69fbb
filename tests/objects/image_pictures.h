// Pictures for the image-object tests, written by the player's own layered
// image writer and served to the image cache from memory.
#pragma once
#include "platform/stream.h"
#include "render/tesk.h"
#include "render/tesk_collection.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

struct TestFrameSpec {
    int32_t width, height, delay;
    // Colour of pixel (x, y), 0x00BBGGRR.
    std::function<int32_t(int32_t, int32_t)> color;
    int32_t key = -1;  // transparent colour, or none
};

class MemoryPictures : public TTeskSource {
public:
    void Add(const std::string& name, std::vector<TestFrameSpec> frames) { pictures_[name] = std::move(frames); }
    bool FileExists(const std::string& name) override { return pictures_.count(name) != 0; }
    bool ManagerFileExists(const std::string& name) override { return FileExists(name); }
    void LoadToStream(TStream& stream, const std::string& name) override {
        TTeskFrameList list;
        for (const TestFrameSpec& spec : pictures_.at(name)) {
            TTeskFrame& f = *list.AddFrame();
            f.Delay = spec.delay;
            f.Image.SetSize(spec.width, spec.height, 24);
            for (int32_t y = 0; y < spec.height; ++y)
                for (int32_t x = 0; x < spec.width; ++x) {
                    const uint32_t c = static_cast<uint32_t>(spec.color(x, y));
                    // 24-bit pixels hold blue in the low byte.
                    f.Image.FillRect(TRect{x, y, x + 1, y + 1},
                                     (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
                }
            if (spec.key >= 0) {
                const uint32_t c = static_cast<uint32_t>(spec.key);
                f.TransparentColor = spec.key;
                f.TransparentPixel = static_cast<int32_t>((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
            }
        }
        TMemoryStream s;
        list.SaveToStream(s, 0);
        stream.WriteBuffer(s.Memory(), s.GetSize());
    }
    uint32_t IdCode() override { return 0; }

private:
    std::map<std::string, std::vector<TestFrameSpec>> pictures_;
};
