#include "objects/controls/prev_menu_layout.h"

#include "files/field_reader.h"
#include "files/path_parser.h"
#include "platform/text/codepage.h"

#include <cstring>

namespace {
constexpr char kTag[] = "VorqPrevMenu";
constexpr size_t kTagLength = 12;
// x, y, the mask byte, the overlay position and the nine string lengths a
// version-100 record holds at the least.
constexpr uint64_t kMinRecordBytes = 4 + 4 + 1 + 4 + 4 + 9 * 4;
// Far more buttons than a menu screen can show; a count above it is damage.
constexpr uint32_t kMaxButtons = 100000;

std::string path(FieldReader& r, const char* field, const std::string& folder) {
    return ExpandRelativePath(r.String(field), folder);
}
}  // namespace

void TContSelList::LoadFromStream(TStream& s, const std::string& folder) {
    Buttons.clear();
    Width = Height = 0;
    FieldReader r(s, Sjis("メニューレイアウトファイルが壊れています"));
    // Anything that does not start with the tag is not a layout at all.
    if (r.Remaining() < static_cast<int64_t>(kTagLength)) return;
    if (r.Fixed(kTagLength, "tag") != std::string(kTag, kTagLength)) return;
    const std::string digits = r.Fixed(3, "version");
    int32_t version = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            version = 0;
            break;
        }
        version = version * 10 + (c - '0');
    }
    if (version < 100) return;
    Width = r.I32("menu width");
    Height = r.I32("menu height");
    const int32_t n = r.I32("button count");
    if (n <= 0) return;
    r.CheckCount(static_cast<uint32_t>(n), kMinRecordBytes, kMaxButtons, "button count");
    Buttons.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        TContSelButton b;
        b.X = r.I32("x");
        b.Y = r.I32("y");
        b.NormalMotion = path(r, "normal motion", folder);
        b.CaptureMask = r.U8("capture mask");
        b.Name = r.String("name");
        b.HoverMotion = path(r, "hover motion", folder);
        b.LeaveMotion = path(r, "leave motion", folder);
        b.ClickMotion = path(r, "click motion", folder);
        if (version >= 101) b.DisabledMotion = path(r, "disabled motion", folder);
        if (version >= 103) b.DisabledHoverMotion = path(r, "disabled hover motion", folder);
        if (version >= 103) b.DisabledLeaveMotion = path(r, "disabled leave motion", folder);
        b.HoverOverlay = path(r, "hover overlay", folder);
        b.LeaveOverlay = path(r, "leave overlay", folder);
        b.ClickOverlay = path(r, "click overlay", folder);
        if (version >= 102) b.DisabledHoverOverlay = path(r, "disabled hover overlay", folder);
        if (version >= 102) b.DisabledLeaveOverlay = path(r, "disabled leave overlay", folder);
        b.OverlayX = r.I32("overlay x");
        b.OverlayY = r.I32("overlay y");
        b.Cursor = path(r, "cursor", folder);
        Buttons.push_back(std::move(b));
    }
}
