#include "files/hash_collection.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <algorithm>
#include <cstring>

namespace {
inline uint8_t fold(uint8_t b) { return (b >= 'A' && b <= 'Z') ? static_cast<uint8_t>(b + 32) : b; }

// FNV-1a over the folded bytes with a final avalanche, so that the low bits
// used as the bucket depend on every byte (names of one folder differ only
// in a few digits).
uint32_t folded_hash(std::string_view s) {
    uint32_t h = 2166136261u;
    const auto* p = reinterpret_cast<const uint8_t*>(s.data());
    const size_t n = s.size();
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = p[i];
        if (IsDBCSLeadByte(b) && i + 1 < n) {
            h = (h ^ b) * 16777619u;
            b = p[++i];  // the trail byte is taken as it is
        } else {
            b = fold(b);
        }
        h = (h ^ b) * 16777619u;
    }
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}

// Same rule as AnsiSameText, without its setup cost on the look-up path.
bool same_folded(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    if (std::memcmp(a.data(), b.data(), n) == 0) return true;
    const auto* x = reinterpret_cast<const uint8_t*>(a.data());
    const auto* y = reinterpret_cast<const uint8_t*>(b.data());
    for (size_t i = 0; i < n; ++i) {
        if (IsDBCSLeadByte(x[i])) {
            if (x[i] != y[i]) return false;
            if (++i < n && x[i] != y[i]) return false;
            continue;
        }
        if (fold(x[i]) != fold(y[i])) return false;
    }
    return true;
}

constexpr uint32_t kInitialBuckets = 64;
}  // namespace

uint8_t HashName(std::string_view name) {
    std::string s = AnsiLowerCase(name);
    uint32_t h = static_cast<uint32_t>(s.size()) * 16u;
    if (s.size() >= 2) h += static_cast<uint8_t>(s[s.size() - 2]) + static_cast<uint8_t>(s[0]);
    return static_cast<uint8_t>(h);
}

// ---- THashCollectionItem

void THashCollectionItem::SetName(const std::string& name) {
    if (name == name_) return;
    if (!collection_) {
        name_ = name;
        return;
    }
    collection_->unlink(this);
    name_ = name;
    collection_->link(this);
}

void THashCollectionItem::SetIndex(int32_t value) {
    if (!collection_) throw EListError("Item belongs to no collection");
    if (value != index_) collection_->Move(index_, value);
}

// ---- THashCollection

THashCollection::THashCollection() : heads_(kInitialBuckets, nullptr), mask_(kInitialBuckets - 1) {}

THashCollection::~THashCollection() { Clear(); }

void THashCollection::check_index(int32_t i) const {
    if (i < 0 || i >= Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
}

THashCollectionItem* THashCollection::GetItem(int32_t i) const {
    check_index(i);
    return items_[static_cast<size_t>(i)].get();
}

int32_t THashCollection::IndexOf(std::string_view name) const {
    const uint32_t h = folded_hash(name);
    for (const THashCollectionItem* it = heads_[h & mask_]; it; it = it->next_)
        if (it->hash_ == h && same_folded(it->name_, name)) return it->index_;
    return -1;
}

void THashCollection::link(THashCollectionItem* item) {
    item->hash_ = folded_hash(item->name_);
    THashCollectionItem*& head = heads_[item->hash_ & mask_];
    item->prev_ = nullptr;
    item->next_ = head;
    if (head) head->prev_ = item;
    head = item;
}

void THashCollection::unlink(THashCollectionItem* item) {
    if (item->prev_)
        item->prev_->next_ = item->next_;
    else
        heads_[item->hash_ & mask_] = item->next_;
    if (item->next_) item->next_->prev_ = item->prev_;
    item->prev_ = item->next_ = nullptr;
}

void THashCollection::grow_buckets() {
    std::vector<THashCollectionItem*> old(heads_.size() * 2, nullptr);
    old.swap(heads_);
    mask_ = static_cast<uint32_t>(heads_.size() - 1);
    // Re-push each old chain from its tail so that equal names keep their
    // order (the most recently linked stays first).
    for (THashCollectionItem* head : old) {
        if (!head) continue;
        THashCollectionItem* it = head;
        while (it->next_) it = it->next_;
        while (it) {
            THashCollectionItem* before = it->prev_;
            THashCollectionItem*& h = heads_[it->hash_ & mask_];
            it->prev_ = nullptr;
            it->next_ = h;
            if (h) h->prev_ = it;
            h = it;
            it = before;
        }
    }
}

THashCollectionItem* THashCollection::Add(std::unique_ptr<THashCollectionItem> item) {
    if (!item) throw EListError("Cannot add an empty item");
    if (item->collection_) throw EListError("Item already belongs to a collection");
    if (items_.size() >= heads_.size()) grow_buckets();
    THashCollectionItem* raw = item.get();
    raw->collection_ = this;
    raw->index_ = Count();
    items_.push_back(std::move(item));
    link(raw);
    return raw;
}

void THashCollection::Delete(int32_t i) {
    check_index(i);
    unlink(items_[static_cast<size_t>(i)].get());
    items_.erase(items_.begin() + i);
    for (size_t k = static_cast<size_t>(i); k < items_.size(); ++k) items_[k]->index_ = static_cast<int32_t>(k);
}

void THashCollection::Clear() {
    std::fill(heads_.begin(), heads_.end(), nullptr);
    // Items are freed last to first, as deleting them one by one from the end would.
    while (!items_.empty()) items_.pop_back();
}

void THashCollection::Move(int32_t from, int32_t to) {
    check_index(from);
    check_index(to);
    if (from == to) return;
    auto b = items_.begin();
    if (from < to)
        std::rotate(b + from, b + from + 1, b + to + 1);
    else
        std::rotate(b + to, b + from, b + from + 1);
    for (int32_t k = std::min(from, to); k <= std::max(from, to); ++k) items_[static_cast<size_t>(k)]->index_ = k;
}
