// A grey mask picture served to the image cache, for the wipes timed by a
// mask picture. While it lives, the process-wide cache reads from it and
// decodes at 32 bpp (the cache keeps pictures at the display's depth).
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/filesystem/stream.h"
#include "render/dib.h"
#include "render/dibx.h"
#include "render/tesk_collection.h"

class MaskPictureSource : public TTeskSource {
public:
    MaskPictureSource() : saved_(TeskCollection), saved_bits_(DisplayBitCount()), cache_(this) {
        TeskCollection = &cache_;
        SetDisplayBitCount(32);
    }
    ~MaskPictureSource() override {
        TeskCollection = saved_;
        SetDisplayBitCount(saved_bits_);
    }

    // A 24-bit bitmap file of w x h whose pixel (x, y) is colour(x, y) as
    // 0x00RRGGBB.
    template <class Colour>
    void Add(const std::string& name, int w, int h, Colour colour) {
        TDIB dib;
        dib.SetSize(w, h, 24);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) dib.SetPixel(x, y, colour(x, y));
        TMemoryStream s;
        dib.SaveToStream(s);
        files_[AnsiLowerCase(name)] = std::vector<uint8_t>(s.Memory(), s.Memory() + s.GetSize());
    }
    bool FileExists(const std::string& name) override { return files_.count(AnsiLowerCase(name)) > 0; }
    bool ManagerFileExists(const std::string& name) override { return FileExists(name); }
    void LoadToStream(TStream& stream, const std::string& name) override {
        const auto& b = files_.at(AnsiLowerCase(name));
        stream.WriteBuffer(b.data(), int64_t(b.size()));
    }
    uint32_t IdCode() override { return 0; }

private:
    TTeskCollection* saved_;
    int32_t saved_bits_;
    TTeskCollection cache_;
    std::map<std::string, std::vector<uint8_t>> files_;
};
