#include "objects/timer_list.h"

#include "files/field_reader.h"
#include "files/save_stream.h"
#include "objects/base_list.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <algorithm>

namespace {
// Far more waiting events than a scene makes; the bytes left bound them first.
constexpr uint32_t kMaxStoredEvents = 1u << 20;
}  // namespace

int32_t TTimerList::AddEvent(TVorqObject* obj, const std::string& label, const TArrayString* args,
                             int32_t event_id) {
    auto e = std::make_unique<TTimerData>();
    e->Label = label;
    if (obj) {
        e->Object = obj->GetName();
        e->ObjectSerial = obj->Serial();
    }
    e->EventId = event_id;
    if (args) e->Args.Assign(*args);
    items_.push_back(std::move(e));
    return Count() - 1;
}

TTimerData& TTimerList::Add(const std::string& label, const std::string& object, int32_t event_id,
                            const TArrayString& args) {
    TVorqObject* obj = registry_ && !object.empty() ? registry_->FindObject(object) : nullptr;
    AddEvent(obj, label, &args, event_id);
    items_.back()->Object = object;
    return *items_.back();
}

int32_t TTimerList::Find(const TVorqObject* obj, int32_t event_id) const {
    if (!obj) return -1;
    const uint32_t serial = obj->Serial();
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->ObjectSerial == serial && items_[i]->EventId == event_id) return static_cast<int32_t>(i);
    return -1;
}

bool TTimerList::Waiting(const TVorqObject* obj, int32_t event_id) const {
    if (!obj) return false;
    const uint32_t serial = obj->Serial();
    for (const auto& e : items_)
        if (e->ObjectSerial == serial && e->EventId == event_id && e->State == 0) return true;
    return false;
}

TVorqObject* TTimerList::ObjectOf(const TTimerData& e) const {
    if (!registry_ || e.ObjectSerial == 0) return nullptr;
    return registry_->FindBySerial(e.ObjectSerial);
}

TTimerData* TTimerList::FirstPending() {
    for (auto& e : items_)
        if (e->State == 0) return e.get();
    return nullptr;
}

template <class Pred>
void TTimerList::remove_if(Pred pred) {
    items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const auto& e) { return pred(*e); }),
                 items_.end());
}

void TTimerList::RemoveObjectEvents(const TVorqObject* obj) {
    if (!obj) return;
    const uint32_t serial = obj->Serial();
    remove_if([serial](const TTimerData& e) { return e.ObjectSerial == serial && e.State == 0; });
}

void TTimerList::RemoveByState(int32_t state) {
    remove_if([state](const TTimerData& e) { return e.State == state; });
}

void TTimerList::RemoveStarted() {
    remove_if([](const TTimerData& e) { return e.State != 0; });
}

void TTimerList::RemoveStartedUpTo(int32_t top) {
    remove_if([top](const TTimerData& e) { return e.State >= 1 && e.State <= top; });
}

void TTimerList::Remove(const TTimerData* entry) {
    remove_if([entry](const TTimerData& e) { return &e == entry; });
}

TTimerData& TTimerList::Get(int32_t i) const {
    CheckListIndex(i, Count());
    return *items_[static_cast<size_t>(i)];
}

void TTimerList::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, Count());
    for (const auto& e : items_) {
        WriteStreamString(s, e->Label);
        TVorqObject* obj = ObjectOf(*e);
        WriteStreamString(s, obj && registry_->IndexOfObject(obj) >= 0 ? obj->GetName() : std::string());
        WriteStreamByte(s, static_cast<uint8_t>(e->EventId));
        WriteStreamInteger(s, e->State);
        e->Args.SaveToStream(s);
    }
}

void TTimerList::LoadFromStream(TStream& s, int32_t version) {
    Clear();
    FieldReader r(s, SceneRecordMessage());
    // An entry holds at least two string lengths, the id, the state and the
    // argument count.
    const uint64_t min_entry = 4 + 4 + 1 + (version >= 114 ? 4 : 1) + 4;
    const uint32_t n = r.Count("event count", min_entry, kMaxStoredEvents);
    for (uint32_t i = 0; i < n; ++i) {
        const std::string label = r.String("event label");
        const std::string name = r.String("event object");
        TVorqObject* obj = registry_ && !name.empty() ? registry_->FindObject(name) : nullptr;
        const int32_t id = r.U8("event id");
        const int32_t state = version >= 114 ? r.I32("event state") : (r.U8("event taken") != 0 ? 1 : 0);
        TArrayString args;
        r.Need(4, "event arguments");
        args.LoadFromStream(s);
        AddEvent(obj, label, &args, id);
        items_.back()->Object = name;
        items_.back()->State = state;
    }
}
