// The event queue of an object registry. Display objects never call scenario
// code: they append an entry here (handler label, event id, arguments) and
// the call manager runs the handler page when the running command lets it,
// marks the entry as taken (State != 0) and removes it afterwards.
//
// An entry keeps its object as a weak handle (serial number) plus the name
// it had when the event was queued, never as a pointer: an entry whose
// handler is still running may outlive its object.
#pragma once
#include "files/containers.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;
class TVorqObject;
class TVorqBaseList;

struct TTimerData {
    std::string Label;   // handler: page file name, optionally ":label"
    std::string Object;  // name of the object when it queued the event
    uint32_t ObjectSerial = 0;  // weak handle of that object; 0 = none
    int32_t EventId = 0;        // property id of the PR_ON* property
    // 0 = waiting, else the nesting level that started its handler.
    int32_t State = 0;
    TArrayString Args;
};
using TTimerEntry = TTimerData;

class TTimerList {
public:
    explicit TTimerList(TVorqBaseList* registry = nullptr) : registry_(registry) {}

    // Appends a waiting entry of the object (may be null) and returns its
    // position.
    int32_t AddEvent(TVorqObject* obj, const std::string& label, const TArrayString* args, int32_t event_id);
    // An entry that names its object; for callers that hold only a name.
    TTimerData& Add(const std::string& label, const std::string& object, int32_t event_id,
                    const TArrayString& args = {});
    // Position of the first entry of the object with that id, any state; -1.
    int32_t Find(const TVorqObject* obj, int32_t event_id) const;
    // Whether an entry of the object with that id still waits (its handler
    // has not started).
    bool Waiting(const TVorqObject* obj, int32_t event_id) const;
    // The object of an entry while it still exists in the registry, else null.
    TVorqObject* ObjectOf(const TTimerData& e) const;
    // The first waiting entry, or null.
    TTimerData* FirstPending();
    // Removes, last to first, the waiting entries of the object; entries
    // whose handler runs stay.
    void RemoveObjectEvents(const TVorqObject* obj);
    // Removes every entry whose handler was started at that level.
    void RemoveByState(int32_t state);
    // Removes every entry whose handler was started, at any level.
    void RemoveStarted();
    // Removes every entry started at a level from 1 to top.
    void RemoveStartedUpTo(int32_t top);
    void Remove(const TTimerData* entry);
    void Clear() { items_.clear(); }
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    TTimerData& Get(int32_t i) const;

    // u32 count; per entry label, object name ("" when gone), u8 event id,
    // u32 state (a byte before version 114), the argument array.
    void SaveToStream(TStream& s) const;
    void LoadFromStream(TStream& s, int32_t version);

private:
    template <class Pred>
    void remove_if(Pred pred);
    TVorqBaseList* registry_;
    std::vector<std::unique_ptr<TTimerData>> items_;
};
