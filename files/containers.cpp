#include "files/containers.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"

void CheckListIndex(int64_t i, int64_t count) {
    if (i < 0 || i >= count) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
}

// ---- TIntList

void TIntList::Put(int32_t i, int32_t value) {
    CheckListIndex(i, kMaxCount);
    if (i >= Count()) items_.resize(static_cast<size_t>(i) + 1, 0);
    items_[static_cast<size_t>(i)] = value;
}

void TIntList::Delete(int32_t i) {
    CheckListIndex(i, Count());
    items_.erase(items_.begin() + i);
}

// ---- TTabStrings

void TTabStrings::SetTabText(const std::string& line) {
    Clear();
    const size_t n = line.size();
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        if (IsDBCSLeadByte(line[i]) && i + 1 < n) {
            ++i;
            continue;
        }
        if (line[i] == delimiter_) {
            Add(line.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < n) Add(line.substr(start));
}

// ---- TArrayString

void TArrayString::SaveToStream(TStream& s) const {
    WriteStreamInteger(s, Count());
    for (const std::string& v : items_) WriteStreamString(s, v);
}

void TArrayString::LoadFromStream(TStream& s) {
    Clear();
    const int32_t count = ReadStreamInteger(s);
    // Every string takes at least its 4-byte length.
    if (count < 0 || count > s.Remaining() / 4) throw ECorruptData("String array count " + std::to_string(count) + " does not fit the data");
    std::vector<std::string> loaded;
    loaded.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        if (s.Remaining() < 4) throw ECorruptData("String array ends early");
        loaded.push_back(ReadStreamString(s));
    }
    items_ = std::move(loaded);
}

// ---- TClipList

bool RectNear(const TRect& a, const TRect& b) {
    // In 64 bits so that rectangles near the integer limits cannot wrap.
    return int64_t(a.Left) <= int64_t(b.Right) + 20 && int64_t(a.Top) <= int64_t(b.Bottom) + 20 &&
           int64_t(a.Right) >= int64_t(b.Left) - 20 && int64_t(a.Bottom) >= int64_t(b.Top) - 20;
}

void TClipList::AddRect(const TRect& rect) {
    TRect r = rect;
    for (;;) {
        if (RectIsEmpty(r)) return;
        size_t i = 0;
        while (i < rects_.size() && !RectNear(r, rects_[i])) ++i;
        if (i == rects_.size()) break;
        if (RectInside(r, rects_[i])) return;
        // Merge and start over: the grown rectangle may now reach others.
        r = UnionRects(r, rects_[i]);
        rects_.erase(rects_.begin() + static_cast<ptrdiff_t>(i));
        changed_ = true;
    }
    rects_.push_back(r);
    changed_ = true;
}

void TClipList::Delete(int32_t i) {
    CheckListIndex(i, Count());
    rects_.erase(rects_.begin() + i);
    changed_ = true;
}
