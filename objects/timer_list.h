// The event queue of the object registry: display objects queue the events
// whose handler pages the call manager then runs as calls. An entry names
// its object instead of pointing at it, so that an event outliving its
// object is harmless: the name simply no longer finds anything.
#pragma once
#include "files/containers.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TTimerEntry {
    std::string Label;   // handler: page file name, optionally ":label"
    std::string Object;  // name of the object that queued it
    int32_t EventId = 0;
    // 0 = not started, else the nesting level that started its handler.
    int32_t State = 0;
    TArrayString Args;
};

class TTimerList {
public:
    TTimerEntry& Add(const std::string& label, const std::string& object, int32_t event_id,
                     const TArrayString& args = {});
    // The first entry not started yet, or null.
    TTimerEntry* FirstPending();
    // Removes every entry whose handler was started at that level.
    void RemoveByState(int32_t state);
    // Removes every entry whose handler was started, at any level.
    void RemoveStarted();
    // Removes every entry started at a level from 1 to top.
    void RemoveStartedUpTo(int32_t top);
    void Remove(const TTimerEntry* entry);
    void Clear() { items_.clear(); }
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    TTimerEntry& Get(int32_t i) const;

private:
    template <class Pred>
    void remove_if(Pred pred);
    std::vector<std::unique_ptr<TTimerEntry>> items_;
};
