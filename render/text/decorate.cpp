#include "render/text/decorate.h"

#include "files/field_reader.h"
#include "render/text/wz_word.h"

#include <algorithm>

namespace {

// Sizes and widths beyond these are damage: they would size surfaces of gigabytes.
constexpr int32_t kMaxStoredSize = 1024;
constexpr int32_t kMaxStoredWidth = TWzWord::kMaxEdgeWidth;
constexpr uint32_t kMaxNameBytes = 1024;

}  // namespace

TDecorate* TDecorateList::FindDecorate(const TDecorateValues& v) const {
    for (const auto& d : items_)
        if (d->Values == v) return d.get();
    return nullptr;
}

TDecorate* TDecorateList::AcquireDecorate(const TDecorateValues& v) {
    TDecorate* d = FindDecorate(v);
    if (!d) {
        items_.push_back(std::make_unique<TDecorate>());
        d = items_.back().get();
        d->Values = v;
    }
    ++d->RefCount;
    return d;
}

void TDecorateList::ReleaseDecorate(TDecorate* d) {
    if (!d) return;
    if (--d->RefCount > 0) return;
    auto it = std::find_if(items_.begin(), items_.end(), [d](const auto& p) { return p.get() == d; });
    if (it != items_.end()) items_.erase(it);
}

void TDecorateList::ChangeDecorate(TDecorate*& ref, const TDecorateValues& v) {
    if (!ref) {
        ref = AcquireDecorate(v);
        return;
    }
    TDecorate* other = FindDecorate(v);
    if (other == ref) return;
    if (other) {
        ++other->RefCount;
        TDecorate* old = ref;
        ref = other;
        ReleaseDecorate(old);
    } else if (ref->RefCount > 1) {
        --ref->RefCount;
        ref = AcquireDecorate(v);
    } else {
        ref->Values = v;
    }
}

void TDecorateList::CellSize(const TDecorate* d, int32_t& width, int32_t& height) const {
    const TDecorateValues def;
    const TDecorateValues& v = d ? d->Values : def;
    height = v.Size != 0 ? v.Size : owner_.FontSize;
    width = height;
    if (v.Style & 2) width += height / 5;
    if (!v.Ruby.empty()) height += std::max(1, height / 2);
    const int32_t border = v.BorderWidth < 0 ? owner_.BorderWidth : v.BorderWidth;
    width += 2 * border;
    height += 2 * border;
    const int32_t shadow = v.ShadowWidth < 0 ? owner_.ShadowWidth : v.ShadowWidth;
    width += shadow;
    height += shadow;
}

uint32_t TDecorateList::LoadFromStream(FieldReader& r, int32_t version) {
    // The smallest record: counts, colours, size, two bytes, the border byte
    // and two empty strings.
    const uint32_t count = r.Count("decoration count", 4 * 4 + 3 + 8, kMaxStoredDecorations);
    auto check = [&r](int32_t v, int32_t lo, int32_t hi, const char* field) {
        if (v < lo || v > hi) r.Fail(field);
    };
    std::vector<std::unique_ptr<TDecorate>> read;
    read.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto d = std::make_unique<TDecorate>();
        TDecorateValues& v = d->Values;
        d->RefCount = r.I32("decoration reference count");
        v.Color = r.U32("decoration colour");
        v.BorderColor = r.U32("decoration border colour");
        v.Size = r.I32("decoration size");
        check(v.Size, 0, kMaxStoredSize, "decoration size");
        v.Style = r.U8("decoration style");
        v.NoBreak = r.U8("decoration no-break");
        if (version < 100) v.BorderWidth = r.U8("decoration border") != 0 ? 1 : 0;
        else v.BorderWidth = r.I32("decoration border width");
        check(v.BorderWidth, -1, kMaxStoredWidth, "decoration border width");
        v.FontName = r.String("decoration font name", kMaxNameBytes);
        v.Ruby = r.String("decoration ruby");
        if (version >= 100) {
            v.ShadowWidth = r.I32("decoration shadow width");
            check(v.ShadowWidth, -1, kMaxStoredWidth, "decoration shadow width");
            v.ShadowColor = r.U32("decoration shadow colour");
        } else {
            v.ShadowWidth = 0;
            v.ShadowColor = 0;
        }
        read.push_back(std::move(d));
    }
    for (auto& d : read) items_.push_back(std::move(d));
    return count;
}

int32_t TDecorateList::IndexOf(const TDecorate* d) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == d) return static_cast<int32_t>(i);
    return -1;
}

void TDecorateList::DropUnused() {
    std::erase_if(items_, [](const auto& d) { return d->RefCount <= 0; });
}

void TDecorateList::Truncate(int32_t n) {
    if (n >= 0 && n < Count()) items_.resize(static_cast<size_t>(n));
}
