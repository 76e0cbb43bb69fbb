#include "platform/text/string_list.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <algorithm>

void TStringList::check_index(int32_t i) const {
    if (i < 0 || i >= Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
}

const std::string& TStringList::Get(int32_t i) const {
    check_index(i);
    return items_[static_cast<size_t>(i)].s;
}

void TStringList::Put(int32_t i, const std::string& s) {
    if (sorted_) throw EListError("Operation not allowed on sorted list");
    check_index(i);
    items_[static_cast<size_t>(i)].s = s;
}

intptr_t TStringList::Objects(int32_t i) const {
    check_index(i);
    return items_[static_cast<size_t>(i)].object;
}

void TStringList::SetObject(int32_t i, intptr_t object) {
    check_index(i);
    items_[static_cast<size_t>(i)].object = object;
}

int32_t TStringList::find(std::string_view s, bool& found) const {
    auto it = std::lower_bound(items_.begin(), items_.end(), s,
                               [](const Item& a, std::string_view b) { return AnsiCompareText(a.s, b) < 0; });
    found = it != items_.end() && AnsiCompareText(it->s, s) == 0;
    return static_cast<int32_t>(it - items_.begin());
}

int32_t TStringList::AddObject(const std::string& s, intptr_t object) {
    if (!sorted_) {
        items_.push_back({s, object});
        return Count() - 1;
    }
    bool found;
    int32_t at = find(s, found);
    if (found) return at;
    items_.insert(items_.begin() + at, Item{s, object});
    return at;
}

void TStringList::Insert(int32_t i, const std::string& s, intptr_t object) {
    if (sorted_) throw EListError("Operation not allowed on sorted list");
    if (i < 0 || i > Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
    items_.insert(items_.begin() + i, Item{s, object});
}

void TStringList::Delete(int32_t i) {
    check_index(i);
    items_.erase(items_.begin() + i);
}

int32_t TStringList::IndexOf(std::string_view s) const {
    if (sorted_) {
        bool found;
        int32_t at = find(s, found);
        return found ? at : -1;
    }
    for (size_t i = 0; i < items_.size(); ++i)
        if (AnsiSameText(items_[i].s, s)) return static_cast<int32_t>(i);
    return -1;
}

void TStringList::Sort() {
    std::stable_sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) { return AnsiCompareText(a.s, b.s) < 0; });
}

void TStringList::SetSorted(bool sorted) {
    if (sorted && !sorted_) Sort();
    sorted_ = sorted;
}
