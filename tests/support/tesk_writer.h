// Builds layered image files field by field, independently of the player's
// own writer, so that the reader can be tested on every version, every
// compression kind, tiles shared within a layer or taken from other layers,
// and scrambled data. Nothing is checked here: hostile files are made by
// giving it inconsistent values.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/rect.h"

struct TeskTestLayer {
    bool visible = true;
    int32_t key = -1;       // raw pixel value
    int32_t opacity = 255;
    bool useMask = false;
    // Top-down rows of the frame's 4-byte-aligned row size.
    std::vector<uint8_t> rows;
    // Mask rows ((width + 3) & ~3 bytes each); empty = no mask block.
    std::vector<uint8_t> maskRows;
    // Tile tables in position order (a, b); empty = every tile stored.
    std::vector<std::pair<int32_t, int32_t>> tiles;
    std::vector<std::pair<int32_t, int32_t>> maskTiles;
    // The image block of a compression-2 file as it is stored.
    std::vector<uint8_t> jpeg;
    // When set, the image block is these bytes as they are (hostile tests).
    std::vector<uint8_t> rawBlock;
    bool useRawBlock = false;
};

struct TeskTestFrame {
    std::string name = "f";
    int32_t key = -1;
    int32_t delay = 0;
    int32_t width = 0, height = 0, bits = 24;
    std::vector<uint8_t> palette;  // (1 << bits) * 4 bytes for 8 bpp or less
    std::vector<TeskTestLayer> layers;
    std::vector<TRect> rects1, rects2;
};

struct TeskTestFile {
    int version = 106;
    uint32_t headerSize = 40;
    bool scrambled = false;
    uint8_t compression = 1;
    uint32_t backColor = 0;
    uint32_t tileWidth = 0, tileHeight = 0;
    uint8_t firstLayerOpaque = 0;
    uint32_t idCode = 0;  // key of the scrambling (older versions always use it)
    int32_t frameCountOverride = -1;
    std::vector<TeskTestFrame> frames;
};

// Row size of a picture as stored.
int TeskTestStride(int width, int bits);
std::vector<uint8_t> WriteTeskTestFile(const TeskTestFile& file);
