// A collection of named items found by name without case (ASCII folding
// that leaves double-byte characters alone). It backs archives, the
// variable table, the image cache and the already-read marks. Among items
// of equal names the most recently named (or added) one is found.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class THashCollection;

// The 256-bucket number of a name: length·16 plus, from two bytes on, the
// first and second-to-last byte of the lower-cased name, mod 256.
uint8_t HashName(std::string_view name);

class THashCollectionItem {
public:
    THashCollectionItem() = default;
    virtual ~THashCollectionItem() = default;
    THashCollectionItem(const THashCollectionItem&) = delete;
    THashCollectionItem& operator=(const THashCollectionItem&) = delete;

    const std::string& GetName() const { return name_; }
    // A changed name (compared with case) makes this item the first found
    // under its new name.
    void SetName(const std::string& name);
    // Position in the collection, -1 while the item belongs to none.
    int32_t GetIndex() const { return index_; }
    // Moves the item to another position (THashCollection::Move).
    void SetIndex(int32_t value);
    THashCollection* GetCollection() const { return collection_; }
    // Copies what the item stores; here the name.
    virtual void Assign(const THashCollectionItem& source) { SetName(source.name_); }

private:
    friend class THashCollection;
    std::string name_;
    THashCollection* collection_ = nullptr;
    int32_t index_ = -1;
    uint32_t hash_ = 0;  // full folded hash of name_
    THashCollectionItem* prev_ = nullptr;
    THashCollectionItem* next_ = nullptr;
};

class THashCollection {
public:
    THashCollection();
    virtual ~THashCollection();
    THashCollection(const THashCollection&) = delete;
    THashCollection& operator=(const THashCollection&) = delete;

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    // Raises EListError when i is out of range.
    THashCollectionItem* GetItem(int32_t i) const;
    template <class T>
    T* ItemAs(int32_t i) const {
        return static_cast<T*>(GetItem(i));
    }
    // Position of the item with that name (without case), -1 when none.
    virtual int32_t IndexOf(std::string_view name) const;

    // Appends the item (the collection owns it) and returns it.
    THashCollectionItem* Add(std::unique_ptr<THashCollectionItem> item);
    // Appends a new T made from args and named name.
    template <class T, class... A>
    T* AddName(const std::string& name, A&&... args) {
        auto item = std::make_unique<T>(std::forward<A>(args)...);
        T* raw = item.get();
        static_cast<THashCollectionItem*>(raw)->name_ = name;
        Add(std::move(item));
        return raw;
    }
    // Frees item i; the items after it move down by one.
    void Delete(int32_t i);
    void Clear();
    // Moves item from to position to; the items between shift by one.
    void Move(int32_t from, int32_t to);

private:
    friend class THashCollectionItem;
    void check_index(int32_t i) const;
    void link(THashCollectionItem* item);
    void unlink(THashCollectionItem* item);
    void grow_buckets();

    std::vector<std::unique_ptr<THashCollectionItem>> items_;
    // Chains by a well-spread hash of the folded name; the table doubles with
    // the item count so chains stay short. Bucket numbers are never stored,
    // so this need not be HashName's 256 buckets.
    std::vector<THashCollectionItem*> heads_;
    uint32_t mask_;
};
