// The engine's layered image file (".tes"): a list of frames, each composed
// from layers when read, with optional 8-bit masks, tiles shared within a
// layer or taken from other layers, zlib, raw or JPEG pixel data, and an
// optional permutation of rows or tiles keyed by the project's
// identification code. The same list also takes PNG and BMP files as
// one-frame images.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/tesk_header.h"
#include "platform/rect.h"
#include "platform/exception.h"
#include "render/dib_surface.h"

class TStream;
class TMemoryStream;
class TCustomDIBX;
class TTeskFrameList;
class TTeskFrame;

// The colour (0x00BBGGRR) of a raw pixel value of a surface, and back
// (palette surfaces: the nearest entry).
int32_t SurfacePixelToColor(const TDIBSurface& surface, uint32_t pixel);
uint32_t SurfaceColorToPixel(const TDIBSurface& surface, int32_t color);

class TTeskLayer {
public:
    explicit TTeskLayer(TTeskFrame* owner) : Owner(owner) {}

    // Reads one layer record; the bitmap has been sized to the frame.
    void LoadFromStream(TStream& stream, const TTeskHeader& header);
    // Writes size + block of one picture (the image, or the mask when
    // isMask) in the header's compression; a missing picture gives size 0.
    static void WriteImageData(TStream& stream, const TTeskHeader& header, uint32_t idCode,
                               const TDIBSurface* bitmap, bool isMask);

    TTeskFrame* Owner;
    TDIBSurface Bitmap;  // the frame's size and depth, with an optional mask
    uint8_t Visible = 1;
    int32_t TransparentColor = -1;  // raw pixel value of Bitmap
    int32_t Opacity = 255;
    uint8_t UseMask = 0;
};

class TTeskFrame {
public:
    explicit TTeskFrame(TTeskFrameList* owner) : Owner(owner) {}

    void LoadFromStream(TStream& stream, const TTeskHeader& header);
    void SaveToStream(TStream& stream, const TTeskHeader& header, int position) const;

    int LayerCount() const { return static_cast<int>(layers_.size()); }
    TTeskLayer* GetLayer(int i) const;
    void FreeLayers() { layers_.clear(); }
    bool HasMask() const { return Image.Mask() != nullptr; }

    // The surface becomes the image at the surface's own depth, with the
    // rectangle lists.
    void CopyToSurface(TCustomDIBX& surface) const;
    // With a mask: the surface becomes an 8-bpp copy of it.
    void CopyMaskToSurface(TCustomDIBX& surface) const;
    void CopyMaskTo(TDIB& dib) const;
    // Crops to the opaque area (see tesk.cpp); rect receives the area.
    void Trim(TRect& rect);
    // An 8-bpp mask: 0 where the raw pixel equals TransparentPixel, else 255.
    void MaskFromTransparentColor();

    std::string Name;
    int32_t Delay = 0;
    TDIBSurface Image;
    int32_t TransparentPixel = -1;
    int32_t TransparentColor = -1;
    TTeskFrameList* Owner;
    std::vector<TRect> Rects1;
    std::vector<TRect> Rects2;

private:
    friend class TTeskLayer;
    std::vector<std::unique_ptr<TTeskLayer>> layers_;
};

class TTeskFrameList {
    friend class TTeskFrame;
public:
    explicit TTeskFrameList(uint32_t idCode = 0) : IdCode(idCode) {}

    void Clear() { frames_.clear(); }
    int Count() const { return static_cast<int>(frames_.size()); }
    TTeskFrame* GetFrame(int i) const;
    TTeskFrame* AddFrame();

    // Raises ECorruptData on data that does not decode; the frames read so
    // far stay.
    void LoadFromStream(TStream& stream, bool firstFrameOnly);
    // Chooses by signature from the stream's position: "BM" a bitmap,
    // "\x89PNG" a PNG file, anything else the layered format.
    void LoadAnyFromStream(TStream& stream, bool firstFrameOnly);
    void LoadFromFile(const std::string& sjisPath, bool firstFrameOnly);
    void LoadPng(TStream& stream);
    void LoadBitmap(TStream& stream);
    void SaveToStream(TStream& stream, uint8_t compression) const;
    void SaveToFile(const std::string& sjisPath) const;
    void MakeMasks();

    uint32_t IdCode;
    int32_t Version = 0;
    uint32_t BackColor = 0;
    int32_t TargetBitCount = 0;
    uint8_t FirstLayerOpaque = 0;

private:
    friend class TTeskLayer;
    std::vector<std::unique_ptr<TTeskFrame>> frames_;
    int loading_ = -1;  // index of the frame being read
    int64_t pixel_bytes_ = 0;  // pixels the file being read has asked for
};


// The row order of a scrambled picture: order[i] is where stored item i
// belongs (the identity for an identification code of 0).
std::vector<int32_t> TeskScrambleOrder(uint32_t idCode, int32_t count);

class TCustomDIBX;
class TStream;
// By signature from position 0: "BM" a bitmap, "PNG" at position 1 a PNG
// file, "Tesk" the first frame of a layered image (scrambling keyed by
// idCode). Anything else and empty pictures change nothing.
void LoadSurfaceFromStream(TCustomDIBX& surface, TStream* stream, uint32_t idCode);
