#include "files/hit_map.h"

#include "files/field_reader.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"

namespace {
// Smallest area: an empty text, the shape byte and a vertex count.
constexpr uint64_t kMinAreaBytes = 4 + 1 + 4;
constexpr uint32_t kMaxAreas = 1u << 20;
constexpr uint32_t kMaxVertices = 1u << 24;
constexpr uint32_t kMaxText = 1u << 16;
}  // namespace

std::vector<THitArea> ReadHitMap(TStream& s, const std::string& name) {
    FieldReader r(s, name + Sjis(":マップファイルが壊れています"));
    const uint32_t count = r.Count("area count", kMinAreaBytes, kMaxAreas);
    std::vector<THitArea> areas(count);
    for (THitArea& a : areas) {
        a.Text = r.String("area text", kMaxText);
        a.Shape = r.U8("shape");
        if (a.Shape == kHitRectangle || a.Shape == kHitEllipse) {
            a.Left = r.I32("left");
            a.Top = r.I32("top");
            a.Right = r.I32("right");
            a.Bottom = r.I32("bottom");
            continue;
        }
        a.Points.resize(r.Count("vertex count", 8, kMaxVertices));
        for (TPoint& p : a.Points) {
            p.X = r.I32("vertex x");
            p.Y = r.I32("vertex y");
        }
    }
    return areas;
}

void WriteHitMap(TStream& s, const std::vector<THitArea>& areas) {
    WriteStreamInteger(s, static_cast<int32_t>(areas.size()));
    for (const THitArea& a : areas) {
        WriteStreamString(s, a.Text);
        WriteStreamByte(s, a.Shape);
        if (a.Shape == kHitRectangle || a.Shape == kHitEllipse) {
            for (int32_t v : {a.Left, a.Top, a.Right, a.Bottom}) WriteStreamInteger(s, v);
            continue;
        }
        WriteStreamInteger(s, static_cast<int32_t>(a.Points.size()));
        for (const TPoint& p : a.Points) {
            WriteStreamInteger(s, p.X);
            WriteStreamInteger(s, p.Y);
        }
    }
}
