// Small containers the whole player shares: integer lists, an owning object
// list, a tab-separated string list, a string array with its stream form and
// the dirty-rectangle list of a screen layer.
#pragma once
#include "platform/rect.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"
#include "platform/text/string_list.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Raises EListError unless 0 <= i < count.
void CheckListIndex(int64_t i, int64_t count);

// A list of 32-bit integers. Bad indices raise EListError.
class TIntList {
public:
    // Put may grow the list up to this many entries, never further.
    static constexpr int32_t kMaxCount = 134217727;

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    int32_t Get(int32_t i) const {
        CheckListIndex(i, Count());
        return items_[static_cast<size_t>(i)];
    }
    // Appends zeros until index i exists, then stores value there.
    void Put(int32_t i, int32_t value);
    int32_t Add(int32_t value) {
        items_.push_back(value);
        return Count() - 1;
    }
    void Delete(int32_t i);
    void Clear() { items_.clear(); }

private:
    std::vector<int32_t> items_;
};

// A growable array of 32-bit integers. Get raises EListError out of range.
class TIntArray {
public:
    void Add(int32_t value) { items_.push_back(value); }
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    int32_t Get(int32_t i) const {
        CheckListIndex(i, Count());
        return items_[static_cast<size_t>(i)];
    }
    void Clear() { items_.clear(); }

private:
    std::vector<int32_t> items_;
};

// A list that owns its items: Delete and Clear free them.
template <class T>
class TObjList {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    T* Get(int32_t i) const {
        CheckListIndex(i, Count());
        return items_[static_cast<size_t>(i)].get();
    }
    T* operator[](int32_t i) const { return Get(i); }
    int32_t Add(std::unique_ptr<T> item) {
        items_.push_back(std::move(item));
        return Count() - 1;
    }
    void Delete(int32_t i) {
        CheckListIndex(i, Count());
        items_.erase(items_.begin() + i);
    }
    void Clear() { items_.clear(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<T>> items_;
};

// A string list filled from one tab-separated line.
class TTabStrings : public TStringList {
public:
    TTabStrings() = default;
    // Clears, then adds one field per delimiter-ended stretch (a trail byte
    // of a double-byte character is never a delimiter); the text after the
    // last delimiter is added only when not empty.
    void SetTabText(const std::string& line);
    // Field i, "" when i is out of range.
    std::string GetField(int32_t i) const { return i >= 0 && i < Count() ? Get(i) : std::string(); }

private:
    char delimiter_ = '\t';
};

// A string array. Stream form: i32 count, then per string an i32 length and
// its bytes.
class TArrayString {
public:
    void Add(const std::string& s) { items_.push_back(s); }
    void Assign(const TArrayString& other) { items_ = other.items_; }
    void Clear() { items_.clear(); }
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    const std::string& Get(int32_t i) const {
        CheckListIndex(i, Count());
        return items_[static_cast<size_t>(i)];
    }
    void SaveToStream(TStream& s) const;
    // Clears, then reads the stream form; counts and lengths beyond the bytes
    // left raise ECorruptData (the array is then left empty).
    void LoadFromStream(TStream& s);

private:
    std::vector<std::string> items_;
};

// Overlapping or less than 20 pixels apart in both directions.
bool RectNear(const TRect& a, const TRect& b);
// a lies within b.
constexpr bool RectInside(const TRect& a, const TRect& b) {
    return b.Left <= a.Left && b.Top <= a.Top && b.Right >= a.Right && b.Bottom >= a.Bottom;
}

// The dirty rectangles of a screen layer. Neighbours within 20 pixels are
// merged into their bounding box, trading a little overdraw for fewer blits.
class TClipList {
public:
    // Ignores an empty rectangle and one already covered.
    void AddRect(const TRect& r);
    void Delete(int32_t i);
    TRect& GetRect(int32_t i) {
        CheckListIndex(i, Count());
        return rects_[static_cast<size_t>(i)];
    }
    int32_t Count() const { return static_cast<int32_t>(rects_.size()); }
    void Clear() {
        rects_.clear();
        changed_ = true;
    }
    // Set by every change of the list; the owner resets it.
    bool Changed() const { return changed_; }
    void SetChanged(bool changed) { changed_ = changed; }

private:
    std::vector<TRect> rects_;
    bool changed_ = false;
};
