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

struct TestFramePicture {
    int32_t width, height, delay;
    // Colour of pixel (x, y), 0x00BBGGRR.
    std::function<int32_t(int32_t, int32_t)> color;
    int32_t key = -1;  // transparent colour, or none
};

class MemoryPictures : public TTeskSource {
public:
    void Add(const std::string& name, std::vector<TestFramePicture> frames) { pictures_[name] = std::move(frames); }
    bool FileExists(const std::string& name) override { return pictures_.count(name) != 0; }
    bool ManagerFileExists(const std::string& name) override { return FileExists(name); }
    void LoadToStream(TStream& stream, const std::string& name) override {
        TTeskFrameList list;
        for (const TestFramePicture& pic : pictures_.at(name)) {
            TTeskFrame& f = *list.AddFrame();
            f.Delay = pic.delay;
            f.Image.SetSize(pic.width, pic.height, 24);
            for (int32_t y = 0; y < pic.height; ++y)
                for (int32_t x = 0; x < pic.width; ++x) {
                    const uint32_t c = static_cast<uint32_t>(pic.color(x, y));
                    // 24-bit pixels hold blue in the low byte.
                    f.Image.FillRect(TRect{x, y, x + 1, y + 1},
                                     (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
                }
            if (pic.key >= 0) {
                const uint32_t c = static_cast<uint32_t>(pic.key);
                f.TransparentColor = pic.key;
                f.TransparentPixel = static_cast<int32_t>((c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
            }
        }
        TMemoryStream s;
        list.SaveToStream(s, 0);
        stream.WriteBuffer(s.Memory(), s.GetSize());
    }
    uint32_t IdCode() override { return 0; }

private:
    std::map<std::string, std::vector<TestFramePicture>> pictures_;
};
