#include "objects/timer_list.h"

#include <algorithm>

TTimerEntry& TTimerList::Add(const std::string& label, const std::string& object, int32_t event_id,
                             const TArrayString& args) {
    auto e = std::make_unique<TTimerEntry>();
    e->Label = label;
    e->Object = object;
    e->EventId = event_id;
    e->Args.Assign(args);
    items_.push_back(std::move(e));
    return *items_.back();
}

TTimerEntry* TTimerList::FirstPending() {
    for (auto& e : items_)
        if (e->State == 0) return e.get();
    return nullptr;
}

template <class Pred>
void TTimerList::remove_if(Pred pred) {
    items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const auto& e) { return pred(*e); }),
                 items_.end());
}

void TTimerList::RemoveByState(int32_t state) {
    remove_if([state](const TTimerEntry& e) { return e.State == state; });
}

void TTimerList::RemoveStarted() {
    remove_if([](const TTimerEntry& e) { return e.State != 0; });
}

void TTimerList::RemoveStartedUpTo(int32_t top) {
    remove_if([top](const TTimerEntry& e) { return e.State >= 1 && e.State <= top; });
}

void TTimerList::Remove(const TTimerEntry* entry) {
    remove_if([entry](const TTimerEntry& e) { return &e == entry; });
}

TTimerEntry& TTimerList::Get(int32_t i) const {
    CheckListIndex(i, Count());
    return *items_[static_cast<size_t>(i)];
}
