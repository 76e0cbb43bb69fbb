#include "objects/object_kinds.h"

#include "files/vocab.h"
#include "objects/basic/box.h"
#include "objects/images/button.h"
#include "objects/basic/cabinet.h"
#include "objects/text/cg_label.h"
#include "objects/film/cinema.h"
#include "objects/controls/edit.h"
#include "objects/effects/fire.h"
#include "objects/controls/gauge.h"
#include "objects/media/http.h"
#include "objects/images/image_list.h"
#include "objects/images/images.h"
#include "objects/text/label.h"
#include "objects/images/map_image.h"
#include "objects/controls/menu.h"
#include "objects/text/mes.h"
#include "objects/effects/particle.h"
#include "objects/controls/prev_menu.h"
#include "objects/basic/prop_motion.h"
#include "objects/controls/slider.h"
#include "objects/media/sound.h"
#include "objects/images/tile.h"
#include "objects/basic/timer.h"
#include "objects/media/video.h"
#include "objects/effects/wave.h"

TKindStatus ObjectKindStatus(int32_t type_id) {
    const int32_t id = type_id & 0x7F;
    switch (id) {
    // No kind stands behind these ids: 1 was the old audio object, 10 the
    // old map, and the table ends at 27.
    case LT_NONE:
    case LT_AUDIO:
    case LT_MAP: return TKindStatus::NoKind;
    default: break;
    }
    if (id >= COMPONENT_TYPE_COUNT) return TKindStatus::NoKind;
    return ObjectKindMaker(id) ? TKindStatus::Built : TKindStatus::NotBuilt;
}

namespace {
template <class Kind>
TVorqObject* make(TVorqBaseList* registry) {
    return new Kind(registry);
}
}  // namespace

TComponentMaker ObjectKindMaker(int32_t type_id) {
    switch (type_id & 0x7F) {
    case LT_BOX: return make<TVorqBox>;
    case LT_TIMER: return make<TVorqTimer>;
    case LT_PROPMOTION: return make<TVorqPropMotion>;
    case LT_CABINET: return make<TVorqCabinet>;
    case LT_SOUND: return make<TVorqSound>;
    case LT_MES: return make<TVorqMes>;
    case LT_IMAGES: return make<TVorqImages>;
    case LT_GAUGE: return make<TVorqGauge>;
    case LT_VIDEO: return make<TVorqVideo>;
    case LT_MAPIMG: return make<TVorqMapImage>;
    case LT_TILE: return make<TVorqTile>;
    case LT_BUTTON: return make<TVorqButton>;
    case LT_LABEL: return make<TVorqLabel>;
    case LT_CGLABEL: return make<TVorqCGLabel>;
    case LT_SLIDER: return make<TVorqSlider>;
    case LT_SCROLLBAR: return make<TVorqScrollbar>;
    case LT_CINEMA: return make<TVorqCinema>;
    case LT_MENU: return make<TVorqMenu>;
    case LT_PREVMENU: return make<TVorqPrevMenu>;
    case LT_FIRE: return make<TVorqFire>;
    case LT_HTTP: return make<TVorqHttp>;
    case LT_WAVE: return make<TVorqWave>;
    case LT_PARTICLE: return make<TVorqParticle>;
    case LT_EDIT: return make<TVorqEdit>;
    case LT_MEMO: return make<TVorqMemo>;
    default: return nullptr;  // no kind
    }
}

void InstallObjectKinds() {
    SetComponentFactory(ObjectKindMaker);
    InstallRichTextImages();
}
