// The hit-map file of a map image: the clickable areas of its picture, each
// with the text a selection reports. Little-endian: u32 area count, then per
// area its text (u32 length, bytes), a shape byte (0 rectangle, 1 ellipse,
// any other value polygon) and either the inclusive bounds (4 x i32: left,
// top, right, bottom) or u32 n and n vertices (i32 x, i32 y), in picture
// pixels.
#pragma once
#include "platform/rect.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t kHitRectangle = 0, kHitEllipse = 1, kHitPolygon = 2;

struct THitArea {
    std::string Text;
    uint8_t Shape = kHitRectangle;
    // Shapes 0 and 1: inclusive bounds.
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    // Other shapes: the vertices.
    std::vector<TPoint> Points;
    friend bool operator==(const THitArea&, const THitArea&) = default;
};

// The areas in file order. A count or length beyond the bytes left raises
// ECorruptData with name + ":マップファイルが壊れています" and the field.
// Bytes after the last area are left unread.
std::vector<THitArea> ReadHitMap(TStream& s, const std::string& name);
// The same form; tests, seeds and the demo game write their maps with it.
void WriteHitMap(TStream& s, const std::vector<THitArea>& areas);
