// Icon and cursor files (u16 reserved, u16 type 1 = icon or 2 = cursor,
// u16 count, 16-byte entries, each image a packed bitmap of twice its
// height: the colour (XOR) rows, then the 1-bit AND mask rows).
#pragma once
#include <cstdint>
#include <vector>

class TDIBSurface;
class TStream;

struct TIconEntry {
    int Width = 0;
    int Height = 0;
    int ColorCount = 0;
    int Planes = 0;    // hot spot x of a cursor
    int BitCount = 0;  // hot spot y of a cursor
    uint32_t Size = 0;
    uint32_t Offset = 0;
};

struct TIconDirectory {
    int Type = 0;  // 1 icon, 2 cursor
    std::vector<TIconEntry> Entries;
};

// Reads the directory from the stream's position (left after it).
TIconDirectory ReadIconDirectory(TStream& stream);
// Loads image index of the file starting at the stream's position. A 32-bit
// image takes its mask from the fourth bytes (cleared where the AND bit is
// set; an image whose fourth bytes are all 0 uses the AND mask alone) and
// becomes 24-bit; other depths get their mask from the AND bits. A cursor's
// hot spot comes from its entry. Bad files raise EInvalidGraphic and leave
// the surface as it was.
void LoadIcon(TDIBSurface& surface, TStream& stream, int index);
// The bit count an image's own header gives (the directory's figure when
// the header cannot be read), for a file starting at the stream's position.
int IconImageBitCount(TStream& stream, const TIconEntry& entry);

// Asks which image of a file holding several to load: gets the directory
// and the stream at the file's start; returns the index, or a negative
// number when it could not ask. The window chrome installs its dialog.
using TIconChooser = int (*)(const TIconDirectory& dir, TStream& stream);
void SetIconChooser(TIconChooser chooser);
// Loads an icon or cursor file from the stream's position: its only image,
// or, when it holds several, the one the installed chooser is told (image
// 0 when none is installed or it could not ask).
void LoadChosenIcon(TDIBSurface& surface, TStream& stream);
// Loads the image a pointer shows from an icon or cursor file at the
// stream's position, without asking: the entry whose size is nearest
// 32 x 32 (the sum of the width's and the height's distance), of those the
// one with the most colours (its own header's bit count), the first of
// equals. A question in the middle of play would stop the game.
void LoadCursorIcon(TDIBSurface& surface, TStream& stream);
// One image at offset 22, type 2 when cursor. A mask with values other than
// 0 and 255 is written as 32 bits with the mask as alpha; otherwise 16/32
// bits are written as 24, and the AND bit is set where the mask is below
// 128 (or, for palette pictures with a transparent colour, where the pixel
// equals it); masked-out pixels are written black.
void SaveIcon(const TDIBSurface& surface, TStream& stream, bool cursor);
