#include "files/tesk_header.h"

#include "platform/exception.h"

#include <algorithm>

TTeskHeader ReadTeskHeader(FieldReader& r, int fileVersion) {
    const uint32_t size = r.U32("header size");
    r.Need(size, "header");
    TMemoryStream record;
    record.SetSize(kTeskHeaderSize);
    record.Memory()[22] = tcNone;
    const uint32_t stored = std::min<uint32_t>(size, kTeskHeaderSize);
    r.Bytes(record.Memory(), stored, "header");
    r.Skip(size - stored, "header");

    FieldReader f(record, r.Message());
    TTeskHeader h;
    h.Version = f.U32("header version");
    h.Width = f.U32("width");
    h.Height = f.U32("height");
    h.BitCount = f.U32("bit count");
    h.FrameCount = f.U32("frame count");
    h.Reserved1 = f.U8("header");
    h.Scrambled = f.U8("scrambled");
    h.Compression = f.U8("compression");
    h.Reserved2 = f.U8("header");
    h.BackColor = f.U32("back colour");
    h.TileWidth = f.U32("tile width");
    h.TileHeight = f.U32("tile height");
    const uint8_t firstLayerOpaque = f.U8("first layer opaque");
    if (fileVersion >= 105) h.FirstLayerOpaque = firstLayerOpaque;
    h.JpegQuality = f.U8("JPEG quality");
    f.Bytes(h.Reserved3, sizeof h.Reserved3, "header");
    return h;
}

bool IsUncompressedTeskStream(TStream& stream) {
    FieldReader r(stream, "Tesk header");
    try {
        const int version = r.OptionalTagVersion("Tesk");
        return version >= 103 && ReadTeskHeader(r, version).Compression == tcNone;
    } catch (const ECorruptData&) {
        // Cut short: not a picture the reader would take.
        return false;
    }
}
