#include "files/field_reader.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "platform/exception.h"

namespace {

// Far beyond any screen a game declares: a damaged record must not size
// both layers' surfaces by gigabytes.
constexpr int32_t kMaxSceneSide = 16384;
constexpr int64_t kMaxScenePixels = int64_t{4096} * 4096;
// A free object's record holds at least its type byte and its name length.
constexpr uint32_t kMaxFreeObjects = 1u << 20;

}  // namespace

void TVorqBaseList::SaveToStream(TStream& s) {
    std::vector<TVorqObject*> free_objects;
    for (TVorqObject* o : FObjects) {
        if (o->IsScheduledForDeletion() || o->GetCompoType() == LT_NONE || IsInternalName(o->GetName())) continue;
        // Controls are saved only inside their parent's record, so a
        // control that stands on no layer (created with an empty PARENT and
        // never placed) is left out of the save, with its children.
        if (!o->IsControl()) free_objects.push_back(o);
    }
    WriteStreamInteger(s, FWidth);
    WriteStreamInteger(s, FHeight);
    WriteStreamInteger(s, ActiveIndex);
    FBase[0]->SaveToStream(s);
    FBase[1]->SaveToStream(s);
    WriteStreamInteger(s, static_cast<int32_t>(free_objects.size()));
    for (TVorqObject* o : free_objects) {
        WriteStreamByte(s, o->GetCompoType());
        o->SaveToStream(s);
    }
    Events.SaveToStream(s);
    WriteStreamString(s, FFocus ? FFocus->GetName() : std::string());
}

void TVorqBaseList::LoadFromStream(TStream& s, int32_t version) {
    ResetScene();
    FieldReader r(s, SceneRecordMessage());
    const int32_t width = r.I32("width");
    const int32_t height = r.I32("height");
    if (width < 0 || width > kMaxSceneSide) r.Fail("width");
    if (height < 0 || height > kMaxSceneSide) r.Fail("height");
    if (int64_t{width} * height > kMaxScenePixels) r.Fail("scene size");
    FWidth = FHeight = 8;
    SetWidth(width);
    SetHeight(height);
    const int32_t active = r.I32("active index");
    if (active != 0 && active != 1) r.Fail("active index");
    // The layer shown comes back as it was, without a transition.
    ActiveIndex = active;
    FBase[0]->LoadFromStream(s, version);
    FBase[1]->LoadFromStream(s, version);
    for (auto& b : FBase) b->InvalidateWhole();
    const uint32_t n = r.Count("free object count", 5, kMaxFreeObjects);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t type = r.U8("free object type");
        TVorqObject* obj = CreateStoredObject(this, type);
        if (obj->IsControl()) {
            // A control here would stand on no layer, never drawn nor saved.
            obj->FreeNow();
            r.Fail("free object type");
        }
        obj->LoadFromStream(s, version);
    }
    Events.LoadFromStream(s, version);
    if (version >= 119) {
        const std::string focus = r.String("focus");
        if (TVorqControl* c = focus.empty() ? nullptr : FindControl(focus)) {
            // The focus is restored, not moved: no focus events.
            FFocus = c;
            FFocusSearch = 0;
            c->FocusChanged();
        }
    }
}
