// Saved records of the object kinds: the first byte picks the kind (box,
// timer, property motion, cabinet, sound, image set, gauge, picture, tile, button,
// label, character-sheet label, slider, scroll bar, video, selection menu,
// prepared menu, fire, wave, particle emitter, edit, memo, cinema, HTTP
// fetcher, message window, map image), the rest is its record as a scene
// save keeps it, read under the current and an old version; what was read
// is placed on a layer and goes through one update and drawing pass.
#include "fuzz/fuzz_support.h"
#include "fuzz/scene_fixture.h"
#include "objects/base_list.h"
#include "objects/images/image.h"
#include "objects/object_kinds.h"

#include <memory>

namespace {
// The picture element of films has no type id of its own.
constexpr int32_t kPicture = -1;
// New kinds go at the end, so that the seeds keep their kinds.
constexpr int32_t kKinds[] = {LT_BOX,    LT_TIMER,  LT_PROPMOTION, LT_CABINET, LT_SOUND,  LT_IMAGES,  LT_GAUGE,
                              kPicture,  LT_TILE,   LT_BUTTON,     LT_LABEL,   LT_CGLABEL, LT_SLIDER, LT_SCROLLBAR,
                              LT_VIDEO,  LT_MENU,   LT_PREVMENU, LT_FIRE, LT_WAVE, LT_PARTICLE, LT_EDIT, LT_MEMO,
                              LT_CINEMA, LT_HTTP,   LT_MES,        LT_MAPIMG};
constexpr uint8_t kPicks = sizeof kKinds / sizeof kKinds[0];

TVorqBaseList& registry() { return FuzzKindsRegistry(); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    TVorqBaseList& reg = registry();
    const uint8_t pick = data[0] % kPicks;
    const int32_t kind = kKinds[pick];
    for (int32_t version : {130, 103}) {
        reg.ResetScene();
        TMemoryStream s = InputStream(data + 1, size - 1);
        TVorqObject* obj = kind == kPicture ? new TVorqImage(&reg) : CreateObjectByType(&reg, kind);
        Refusable([&] {
            obj->LoadFromStream(s, version);
            if (obj->IsControl()) obj->SetParent(reg.ActiveBase());
            reg.ActiveBase()->InvalidateWhole();
            reg.Update();
            reg.Draw();
        });
    }
    reg.ResetScene();
    return 0;
}
