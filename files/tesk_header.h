// The head of a layered image file (".tes"): "Tesk" and a three-digit
// version, then from version 103 a sized header record. The archive packer
// asks whether such a file is stored uncompressed and the picture reader
// reads the same record, so both read it here.
#pragma once
#include "files/field_reader.h"
#include "platform/filesystem/stream.h"

#include <cstdint>

// The header record of version 103 and later (40 bytes as written).
struct TTeskHeader {
    uint32_t Version = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t BitCount = 0;
    uint32_t FrameCount = 0;
    uint8_t Reserved1 = 0;
    uint8_t Scrambled = 0;
    uint8_t Compression = 1;
    uint8_t Reserved2 = 0;
    uint32_t BackColor = 0;
    uint32_t TileWidth = 0;
    uint32_t TileHeight = 0;
    uint8_t FirstLayerOpaque = 0;
    uint8_t JpegQuality = 0;
    uint8_t Reserved3[2] = {0, 0};
};

constexpr int kTeskHeaderSize = 40;
enum TTeskCompression : uint8_t { tcZlib = 0, tcNone = 1, tcJpeg = 2 };

// The header record of a file of version 103 or later, at the reader's
// position: a u32 size and that many bytes. Fields beyond a shorter stored
// record keep their defaults (compression "none"); bytes beyond ours are
// skipped.
TTeskHeader ReadTeskHeader(FieldReader& r, int fileVersion);

// True only for "Tesk" + version 103 or later whose whole header is there
// and says compression "none". The stream is left after what was read.
bool IsUncompressedTeskStream(TStream& stream);
