// Character styles of rich text. Every character glyph points to one shared,
// reference-counted style record, so a page of thousands of characters holds
// only the handful of style combinations it really uses.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class FieldReader;
class TWzWord;

// One style combination: everything of a record but its reference count.
// -1 colours and widths (and size 0, the empty font name) mean "the owner's
// default".
struct TDecorateValues {
    uint32_t Color = 0xFFFFFFFF;
    uint32_t BorderColor = 0xFFFFFFFF;
    uint32_t ShadowColor = 0xFFFFFFFF;
    int32_t Size = 0;
    uint8_t Style = 0;  // bits 1 bold, 2 italic, 4 underline, 8 strike-out
    std::string FontName;
    uint8_t NoBreak = 0;
    std::string Ruby;
    int32_t BorderWidth = 0;
    int32_t ShadowWidth = 0;
    friend bool operator==(const TDecorateValues&, const TDecorateValues&) = default;
};

class TDecorate {
public:
    int32_t RefCount = 0;
    TDecorateValues Values;
};

class TDecorateList {
public:
    explicit TDecorateList(TWzWord& owner) : owner_(owner) {}
    TDecorateList(const TDecorateList&) = delete;
    TDecorateList& operator=(const TDecorateList&) = delete;

    // The first record (list order) with equal values, or nullptr.
    TDecorate* FindDecorate(const TDecorateValues& v) const;
    // An equal record with one more reference, else a new record.
    TDecorate* AcquireDecorate(const TDecorateValues& v);
    // One reference less; the last one frees the record.
    void ReleaseDecorate(TDecorate* d);
    // Points ref at a record holding v: another equal record is shared, a
    // shared record is left to its other users, a record of its own is
    // changed in place.
    void ChangeDecorate(TDecorate*& ref, const TDecorateValues& v);
    // Cell of a character of this style: size square, wider when italic,
    // taller by a ruby line, grown by border and shadow.
    void CellSize(const TDecorate* d, int32_t& width, int32_t& height) const;

    // Appends the records of a stored list (u32 count + records).
    // Returns how many were read.
    uint32_t LoadFromStream(FieldReader& r, int32_t version);

    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    TDecorate* At(int32_t i) const { return items_[static_cast<size_t>(i)].get(); }
    int32_t IndexOf(const TDecorate* d) const;
    void Clear() { items_.clear(); }
    // Removes records nobody refers to (after references were recounted).
    void DropUnused();
    // Frees the records from index n on (a stored list that failed to load).
    void Truncate(int32_t n);

private:
    TWzWord& owner_;
    std::vector<std::unique_ptr<TDecorate>> items_;
};
