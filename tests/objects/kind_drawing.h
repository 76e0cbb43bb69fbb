// Every object kind drawn with geometry that scripts and stored records can
// set: the regression test of extreme values and the drawing fuzz target
// share it. Each kind gets content to draw (a two-frame picture "pic.tes" for
// every source, a short text), sits on the layer, in a box or in a wave,
// and takes positions, sizes, zooms, angles, offsets and clips, its holder
// too, before one update and drawing pass.
#pragma once
#include "objects/base_list.h"
#include "objects/images/image.h"
#include "objects/object_kinds.h"
#include "platform/exception.h"
#include "tests/objects/images/image_pictures.h"

#include <cstdint>
#include <vector>

namespace kind_drawing {

// The picture element of films has no type id of its own.
constexpr int32_t kPicture = -1;

// Every built kind by type id, then the picture element.
inline const std::vector<int32_t>& Kinds() {
    static const std::vector<int32_t> kinds = [] {
        std::vector<int32_t> k;
        for (int32_t id = 0; id < 128; ++id)
            if (ObjectKindStatus(id) == TKindStatus::Built) k.push_back(id);
        k.push_back(kPicture);
        return k;
    }();
    return kinds;
}

// The pictures every source names.
inline void AddPictures(MemoryPictures& pictures) {
    auto frame = [](int32_t delay, int32_t shade) {
        return TestFramePicture{6, 4, delay, [shade](int32_t x, int32_t y) { return shade + 8 * x + 40 * y; }, 0};
    };
    pictures.Add("pic.tes", {frame(50, 0x203040), frame(50, 0x402010)});
}

enum class Holder : uint8_t { Layer, Box, Wave };
constexpr uint8_t kHolders = 3;

// The geometry a script can set, one setter per property.
using Setter = void (*)(TVorqObject&, int32_t);
inline const std::vector<Setter>& GeometrySetters() {
    static const std::vector<Setter> setters = {
        [](TVorqObject& o, int32_t v) { o.SetLeft(v); },       [](TVorqObject& o, int32_t v) { o.SetTop(v); },
        [](TVorqObject& o, int32_t v) { o.SetWidth(v); },      [](TVorqObject& o, int32_t v) { o.SetHeight(v); },
        [](TVorqObject& o, int32_t v) { o.SetZoomX(v); },      [](TVorqObject& o, int32_t v) { o.SetZoomY(v); },
        [](TVorqObject& o, int32_t v) { o.SetAngle(v); },      [](TVorqObject& o, int32_t v) { o.SetOffsetX(v); },
        [](TVorqObject& o, int32_t v) { o.SetOffsetY(v); },    [](TVorqObject& o, int32_t v) { o.SetBorderWidth(v); },
        [](TVorqObject& o, int32_t v) { o.SetMarginX(v); },    [](TVorqObject& o, int32_t v) { o.SetMarginY(v); },
        [](TVorqObject& o, int32_t v) { o.SetScrollX(v); },    [](TVorqObject& o, int32_t v) { o.SetScrollY(v); },
        [](TVorqObject& o, int32_t v) { o.SetClipLeft(v); },   [](TVorqObject& o, int32_t v) { o.SetClipTop(v); },
        [](TVorqObject& o, int32_t v) { o.SetClipWidth(v); },  [](TVorqObject& o, int32_t v) { o.SetClipHeight(v); },
        [](TVorqObject& o, int32_t v) { o.SetDistanceX(v); },  [](TVorqObject& o, int32_t v) { o.SetDistanceY(v); },
        [](TVorqObject& o, int32_t v) { o.SetPlusX(v); },      [](TVorqObject& o, int32_t v) { o.SetPlusY(v); },
        [](TVorqObject& o, int32_t v) { o.SetAmp(v); },        [](TVorqObject& o, int32_t v) { o.SetWaveLen(v); },
        [](TVorqObject& o, int32_t v) { o.SetOrigWidth(v); },  [](TVorqObject& o, int32_t v) { o.SetOrigHeight(v); },
        [](TVorqObject& o, int32_t v) { o.SetAlpha(v); },      [](TVorqObject& o, int32_t v) { o.SetPosZoomed(v & 1); },
        [](TVorqObject& o, int32_t v) { o.SetFlipH(v & 1); },  [](TVorqObject& o, int32_t v) { o.SetFlipV(v & 1); },
    };
    return setters;
}

// One setting; a kind may refuse it with one of our errors (a surface too
// large for any bitmap), which is no fault.
inline void Apply(TVorqObject& obj, Setter set, int32_t value) {
    try {
        set(obj, value);
    } catch (const Exception&) {
    }
}

struct Scene {
    TVorqObject* Object;
    TVorqControl* Holder;  // null on the layer
};

// A kind with content, placed in a holder that covers the layer.
inline Scene MakeScene(TVorqBaseList& reg, int32_t kind, Holder holder) {
    TVorqControl* layer = reg.ActiveBase();
    TVorqControl* parent = layer;
    if (holder != Holder::Layer) {
        auto* h = static_cast<TVorqControl*>(CreateObjectByType(&reg, holder == Holder::Box ? LT_BOX : LT_WAVE));
        h->SetParent(layer);
        h->SetRect(0, 0, layer->GetWidth(), layer->GetHeight());
        h->SetColor(0x102030);
        parent = h;
    }
    TVorqObject* obj = kind == kPicture ? new TVorqImage(&reg) : CreateObjectByType(&reg, kind);
    if (obj->IsControl()) {
        static_cast<TVorqControl*>(obj)->SetParent(parent);
        static_cast<TVorqControl*>(obj)->SetRect(4, 4, 24, 16);
        obj->SetVisible(true);
        // Media kinds take no picture as their file; a kind may refuse a
        // setting.
        using StrSetter = void (TVorqObject::*)(const std::string&);
        for (StrSetter set : {&TVorqObject::SetSource, &TVorqObject::SetScrollSource, &TVorqObject::SetCheckSource,
                              &TVorqObject::SetHoverSource, &TVorqObject::SetPressedSource,
                              &TVorqObject::SetThumbSource, &TVorqObject::SetButtonSource,
                              &TVorqObject::SetClickedSource, &TVorqObject::SetText})
            try {
                if (set == &TVorqObject::SetText) (obj->*set)("ab");
                else if (kind != LT_SOUND && kind != LT_VIDEO) (obj->*set)("pic.tes");
            } catch (const Exception&) {
            }
    }
    return Scene{obj, parent == layer ? nullptr : parent};
}

// One update and a drawing pass of the whole layer; our exceptions are
// refusals, anything else a fault.
inline void UpdateAndDraw(TVorqBaseList& reg) {
    try {
        reg.ActiveBase()->InvalidateWhole();
        reg.Update();
        reg.Draw();
    } catch (const Exception&) {
    }
}

}  // namespace kind_drawing
