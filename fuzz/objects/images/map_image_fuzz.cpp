// Map images: the first byte picks the form. Even: the rest is a hit-map
// file; its areas become regions whose point test must agree with their
// rasterised mask around the origin. Odd: the rest is a map image's saved
// record, read under the current and two old versions, placed on a layer,
// then hovered, keyed, updated and drawn.
#include "files/hit_map.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/scene_fixture.h"
#include "objects/base_list.h"
#include "objects/images/map_image.h"
#include "objects/object_kinds.h"
#include "render/region.h"

#include <memory>

namespace {
TVorqBaseList& registry() { return FuzzKindsRegistry(); }

void check_regions(const std::vector<THitArea>& areas) {
    const TRect clip{-40, -40, 40, 40};
    for (const THitArea& a : areas) {
        const TRegion r = a.Shape == kHitRectangle ? TRegion::Rect(a.Left, a.Top, a.Right, a.Bottom)
                          : a.Shape == kHitEllipse ? TRegion::Ellipse(a.Left, a.Top, a.Right, a.Bottom)
                                                   : TRegion::Polygon(a.Points);
        const TBitMask m = r.Rasterise(clip);
        const TRect box = r.Box();
        for (int32_t y = clip.Top; y < clip.Bottom; ++y)
            for (int32_t x = clip.Left; x < clip.Right; ++x) {
                const bool in = r.Contains(x, y);
                if (in != m.Get(x, y) || (in && !PointInRect(TPoint{x, y}, box))) __builtin_trap();
            }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if ((data[0] & 1) == 0) {
        TMemoryStream s = InputStream(data + 1, size - 1);
        Refusable([&] { check_regions(ReadHitMap(s, "fuzz.map")); });
        return 0;
    }
    TVorqBaseList& reg = registry();
    for (int32_t version : {130, 114, 103}) {
        reg.ResetScene();
        TMemoryStream s = InputStream(data + 1, size - 1);
        auto* map = static_cast<TVorqMapImage*>(CreateObjectByType(&reg, LT_MAPIMG));
        Refusable([&] {
            map->LoadFromStream(s, version);
            map->SetParent(reg.ActiveBase());
            map->SetHandleKey(true);
            map->MouseMove();
            map->KeyRepeat();
            map->LBtnDown();
            reg.ActiveBase()->InvalidateWhole();
            reg.Update();
            reg.Draw();
            reg.Update();
        });
    }
    reg.ResetScene();
    return 0;
}
