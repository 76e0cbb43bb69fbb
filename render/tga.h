// TGA pictures (18-byte header, optional image id, colour map, pixel data,
// optional footer "TRUEVISION-XFILE.") into and out of a TDIBSurface.
#pragma once
#include <cstdint>

class TDIBSurface;
class TStream;

// Image types 1 and 2 (raw colour-mapped, raw true-colour) and 9 and 10
// (their run-length forms) are read; other types load nothing and answer
// false. The extension area's key colour becomes the transparent colour.
// With alpha, a 32-bit picture's fourth bytes become the mask and the
// surface is turned into 24 bits. Bad files raise EInvalidGraphic; on any
// failure the surface keeps what it held.
bool LoadTGA(TDIBSurface& surface, TStream& stream, bool alpha);
// Colour-mapped (24-bit map entries, 8-bit indexes) for 8 bpp or less, else
// true colour (16-bit surfaces as 5-5-5); run-length encoded when rle.
// Origin 0, rows bottom-up, no image id.
void SaveTGA(const TDIBSurface& surface, TStream& stream, bool rle);
