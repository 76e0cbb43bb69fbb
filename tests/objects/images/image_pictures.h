// Pictures for the image-object tests, written by the player's own layered
// image writer and served to the image cache from memory.
#pragma once
#include "platform/filesystem/stream.h"
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
    // The frame's pieces (its first rectangle list); only the last frame of
    // a picture may have them.
    std::vector<TRect> pieces = {};
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
        // The writer ends each frame with two empty rectangle lists; the last
        // frame's first list is written here instead.
        const std::vector<TRect>& pieces = pictures_.at(name).back().pieces;
        int64_t size = s.GetSize();
        if (!pieces.empty()) size -= 8;
        stream.WriteBuffer(s.Memory(), size);
        if (!pieces.empty()) {
            auto u32 = [&stream](uint32_t v) {
                const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
                stream.WriteBuffer(b, 4);
            };
            u32(static_cast<uint32_t>(pieces.size()));
            for (const TRect& r : pieces)
                for (int32_t v : {r.Left, r.Top, r.Right, r.Bottom}) u32(static_cast<uint32_t>(v));
            u32(0);
        }
    }
    uint32_t IdCode() override { return 0; }

private:
    std::map<std::string, std::vector<TestFramePicture>> pictures_;
};
