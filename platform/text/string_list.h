// A list of strings, each with an integer-sized object slot, with the
// runtime string list's rules: names compare without case (ANSI folding),
// a sorted list keeps its order on Add and ignores a duplicate, and bad
// indices raise EListError.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TStringList {
public:
    virtual ~TStringList() = default;

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    const std::string& Get(int32_t i) const;
    const std::string& operator[](int32_t i) const { return Get(i); }
    void Put(int32_t i, const std::string& s);
    intptr_t Objects(int32_t i) const;
    void SetObject(int32_t i, intptr_t object);

    // Returns the new string's index; on a sorted list, the index of an equal
    // string already there (which is then kept, not added).
    int32_t Add(const std::string& s) { return AddObject(s, 0); }
    int32_t AddObject(const std::string& s, intptr_t object);
    // Not allowed on a sorted list (EListError). 0 <= i <= Count.
    void Insert(int32_t i, const std::string& s, intptr_t object = 0);
    void Delete(int32_t i);
    void Clear() { items_.clear(); }
    // First index of s without case, -1 when none.
    int32_t IndexOf(std::string_view s) const;
    // Orders without case (equal strings keep their order).
    void Sort();
    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);

private:
    struct Item {
        std::string s;
        intptr_t object;
    };
    void check_index(int32_t i) const;
    // Sorted lists: first index whose string is not below s; found is set
    // when that string equals s without case.
    int32_t find(std::string_view s, bool& found) const;

    std::vector<Item> items_;
    bool sorted_ = false;
};
