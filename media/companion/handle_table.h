// The module's tables of live items by handle.
#pragma once
#include <cstdint>
#include <mutex>
#include <utility>

// Takes the item out of its table under the table's lock and hands it to
// the caller, who frees it outside the lock: freeing waits for the item's
// own threads, and no call on another item should wait with it. Empty when
// the handle names nothing.
template <class Lock, class Table>
typename Table::mapped_type take_entry(Lock& lock, Table& table, uint32_t h) {
    std::lock_guard l(lock);
    auto it = table.find(h);
    if (it == table.end()) return {};
    auto gone = std::move(it->second);
    table.erase(it);
    return gone;
}
