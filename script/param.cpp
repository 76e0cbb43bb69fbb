#include "script/param.h"

#include "files/field_reader.h"
#include "files/jstring.h"
#include "files/number_text.h"
#include "script/param_collection.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

// ---- messages -------------------------------------------------------------

void RaiseBadIndex() {
    static const std::string msg = Sjis("配列の添字が不正です");
    throw Exception(msg);
}

void RaiseBadDims(std::span<const int32_t> sizes) {
    std::string list;
    for (size_t k = 0; k < sizes.size(); ++k) {
        if (k) list += ',';
        list += IntToStr(sizes[k]);
    }
    static const std::string head = Sjis("配列の要素数["), tail = Sjis("]が不正です");
    throw Exception(head + list + tail);
}

void RaiseMissingVariable(std::string_view name) {
    static const std::string tail = Sjis(" 変数がありません");
    throw Exception("\"" + std::string(name) + "\"" + tail);
}

int32_t DimsElementCount(std::span<const int32_t> sizes) {
    int64_t product = 1;
    for (int32_t size : sizes) {
        if (size < 1) RaiseBadDims(sizes);
        product *= size;
        if (product > kMaxParamElements) RaiseBadDims(sizes);
    }
    if (sizes.size() > static_cast<size_t>(kMaxParamDims)) RaiseBadDims(sizes);
    return static_cast<int32_t>(product);
}

int64_t LinearPosition(const TCustomParam& value, std::span<const int32_t> indexes) {
    int64_t pos = 0, mul = 1;
    for (size_t k = indexes.size(); k-- > 0;) {
        pos += static_cast<int64_t>(indexes[k]) * mul;
        mul *= value.DimSize(static_cast<int32_t>(k));
        if (mul > kMaxParamElements) mul = kMaxParamElements + 1;  // keeps the product bounded
    }
    return pos;
}

// ---- conversions ----------------------------------------------------------

std::string IntTraits::ToStr(int32_t v) { return IntToStr(v); }
int32_t IntTraits::FromFloat(long double v) { return FloatToInt32(v); }
int32_t IntTraits::FromStr(std::string_view v) { return StrToInt32Def(v, 0); }
int32_t FloatTraits::ToInt(long double v) { return FloatToInt32(v); }
std::string FloatTraits::ToStr(long double v) { return FloatToStr(v); }
long double FloatTraits::FromStr(std::string_view v) { return StrToExtendedDef(v, 0); }
long double StrTraits::ToFloat(const std::string& v) { return StrToExtendedDef(v, 0); }
int32_t StrTraits::ToInt(const std::string& v) { return StrToInt32Def(v, 0); }
std::string StrTraits::FromFloat(long double v) { return FloatToStr(v); }
std::string StrTraits::FromInt(int32_t v) { return IntToStr(v); }

// ---- TCustomParam ---------------------------------------------------------

int32_t TCustomParam::DimCount() const { return dims_.empty() ? 1 : static_cast<int32_t>(dims_.size()); }

int32_t TCustomParam::DimSize(int32_t k) const {
    if (dims_.empty() || k < 0 || k >= static_cast<int32_t>(dims_.size())) return 1;
    return dims_[static_cast<size_t>(k)];
}

void TCustomParam::Assign(const TCustomParam& source) { dims_ = source.dims_; }

void TCustomParam::SetDims(std::span<const int32_t> sizes) {
    int32_t count = DimsElementCount(sizes);
    dims_.assign(sizes.begin(), sizes.end());
    SetCount(count);
}

void TCustomParam::save_dims(TStream& s) const {
    WriteStreamInteger(s, static_cast<int32_t>(dims_.size()));
    for (int32_t d : dims_) WriteStreamInteger(s, d);
}

const std::string& StoredVariableMessage() {
    static const std::string msg = Sjis("セーブデータが壊れています");
    return msg;
}

void TCustomParam::load_dims(FieldReader& r) {
    const uint32_t n = r.Count("dimension count", 4, kMaxParamDims);
    std::vector<int32_t> dims(n);
    int64_t product = 1;
    for (int32_t& d : dims) {
        d = r.I32("dimension size");
        if (d < 1) r.Fail("dimension size");
        product *= d;
        if (product > kMaxParamElements) r.Fail("dimension size");
    }
    dims_ = std::move(dims);
}

void TCustomParam::SaveToStream(TStream& s) const { save_dims(s); }
void TCustomParam::LoadFromStream(TStream& s) {
    FieldReader r(s, StoredVariableMessage());
    load_dims(r);
}

// Text is found only where a character starts, never from the second byte
// of a double-byte character on ("a" is no part of a Shift-JIS character
// whose trail byte is 0x61). The byte search comes first, inlined into the
// search loops: most elements hold no match, and only a match past the
// first byte needs the walk over the characters.
[[gnu::always_inline]] static inline bool contains_text(std::string_view hay, std::string_view needle) {
    const size_t at = hay.find(needle);
    if (at == std::string_view::npos) return false;
    return at == 0 || JPos(needle, hay) > 0;
}

// One element against the text by the rules of IndexOf.
static bool text_matches(const std::string& elem, std::string_view text, std::string_view lowered_text,
                         bool case_sensitive, bool partial) {
    if (partial) {
        if (case_sensitive) return contains_text(elem, text);
        return contains_text(AnsiLowerCase(elem), lowered_text);
    }
    if (case_sensitive) return elem == text;
    return AnsiSameText(elem, text);
}

int32_t TCustomParam::IndexOf(std::string_view text, bool case_sensitive, bool partial) const {
    std::string lowered = partial && !case_sensitive ? AnsiLowerCase(text) : std::string();
    int32_t n = Count();
    for (int32_t i = 0; i < n; ++i)
        if (text_matches(GetStrAt(i), text, lowered, case_sensitive, partial)) return i;
    return -1;
}

void TCustomParam::AssignConverted(const TCustomParam& source) {
    int32_t dc = source.DimCount();
    std::vector<int32_t> sizes(static_cast<size_t>(std::max(dc, 0)));
    for (int32_t k = 0; k < dc; ++k) sizes[static_cast<size_t>(k)] = source.DimSize(k);
    SetDims(sizes);
    int32_t n = source.Count();
    switch (ParamType()) {
    case PT_INT:
        for (int32_t i = 0; i < n; ++i) SetIntAt(i, source.GetIntAt(i));
        break;
    case PT_FLOAT:
        for (int32_t i = 0; i < n; ++i) SetFloatAt(i, source.GetFloatAt(i));
        break;
    case PT_BOOL:
        for (int32_t i = 0; i < n; ++i) SetBoolAt(i, source.GetBoolAt(i));
        break;
    case PT_STR:
        for (int32_t i = 0; i < n; ++i) SetStrAt(i, source.GetStrAt(i));
        break;
    default:
        break;
    }
}

// ---- storage kinds --------------------------------------------------------

template <class Traits>
void TParamStore<Traits>::SetCount(int32_t n) {
    if (n < 0 || n > kMaxParamElements) {
        int32_t sizes[1] = {n};
        RaiseBadDims(sizes);
    }
    items_.resize(static_cast<size_t>(n));
}

template <class Traits>
void TParamStore<Traits>::MakeScalar() {
    if (dims_.empty()) return;
    dims_.clear();
    if (items_.size() > 1) items_.resize(1);
}

template <class Traits>
void TParamStore<Traits>::Assign(const TCustomParam& source) {
    TCustomParam::Assign(source);
    if (typeid(source) == typeid(*this)) items_ = static_cast<const TParamStore&>(source).items_;
}

template <class Traits>
void TParamStore<Traits>::FillInt(int32_t v) {
    if constexpr (Traits::kCode == PT_INT) std::fill(items_.begin(), items_.end(), v);
    else (void)v;
}

template <class Traits>
void TParamStore<Traits>::FillFloat(long double v) {
    if constexpr (Traits::kCode == PT_FLOAT) std::fill(items_.begin(), items_.end(), v);
    else (void)v;
}

template <class Traits>
void TParamStore<Traits>::FillBool(bool v) {
    if constexpr (Traits::kCode == PT_BOOL) std::fill(items_.begin(), items_.end(), v ? 1 : 0);
    else (void)v;
}

template <class Traits>
void TParamStore<Traits>::FillStr(std::string_view v) {
    if constexpr (Traits::kCode == PT_STR) std::fill(items_.begin(), items_.end(), std::string(v));
    else (void)v;
}

template <class Traits>
void TParamStore<Traits>::CopyMem(const TCustomParam& source) {
    auto* same = dynamic_cast<const TParamStore*>(&source);
    if (!same) {
        static const std::string msg = Sjis("CopyMem:変数の型があいません");
        throw Exception(msg);
    }
    if (same == this) return;
    int32_t dc = source.DimCount();
    std::vector<int32_t> dims(static_cast<size_t>(dc));
    for (int32_t k = 0; k < dc; ++k) dims[static_cast<size_t>(k)] = source.DimSize(k);
    items_ = same->items_;
    dims_ = std::move(dims);
}

template <class Traits>
void TParamStore<Traits>::SaveToStream(TStream& s) const {
    save_dims(s);
    WriteStreamInteger(s, static_cast<int32_t>(items_.size()));
    for (const Elem& e : items_) {
        if constexpr (Traits::kCode == PT_INT) {
            WriteStreamInteger(s, e);
        } else if constexpr (Traits::kCode == PT_FLOAT) {
            WriteStreamExtended(s, e);
        } else if constexpr (Traits::kCode == PT_BOOL) {
            WriteStreamByte(s, e);
        } else {
            WriteStreamString(s, e);
        }
    }
}

template <class Traits>
void TParamStore<Traits>::LoadFromStream(TStream& s) {
    FieldReader r(s, StoredVariableMessage());
    std::vector<int32_t> old_dims = std::move(dims_);
    try {
        load_dims(r);
        // Every element takes at least this many bytes (a string its length).
        constexpr uint64_t min_bytes = Traits::kCode == PT_FLOAT ? 10 : Traits::kCode == PT_BOOL ? 1 : 4;
        std::vector<Elem> items(r.Count("element count", min_bytes, kMaxParamElements));
        for (Elem& e : items) {
            if constexpr (Traits::kCode == PT_INT) {
                e = r.I32("element");
            } else if constexpr (Traits::kCode == PT_FLOAT) {
                e = r.Extended("element");
            } else if constexpr (Traits::kCode == PT_BOOL) {
                e = r.U8("element");
            } else {
                e = r.String("element");
            }
        }
        items_ = std::move(items);
    } catch (...) {
        dims_ = std::move(old_dims);  // nothing half-loaded
        throw;
    }
}

template <class Traits>
int32_t TParamStore<Traits>::IndexOf(std::string_view text, bool case_sensitive, bool partial) const {
    if constexpr (Traits::kCode != PT_STR) {
        return TCustomParam::IndexOf(text, case_sensitive, partial);
    } else {
        // One plain loop per mode, the mode decided once: a search runs over
        // arrays of many thousand elements.
        const size_t n = items_.size();
        const std::string* const e = items_.data();
        const size_t len = text.size();
        if (!partial) {
            if (case_sensitive) {
                for (size_t i = 0; i < n; ++i)
                    if (e[i].size() == len && std::char_traits<char>::compare(e[i].data(), text.data(), len) == 0)
                        return static_cast<int32_t>(i);
            } else {
                // Only texts of the same length can be the same text.
                for (size_t i = 0; i < n; ++i)
                    if (e[i].size() == len && AnsiCompareText(e[i], text) == 0) return static_cast<int32_t>(i);
            }
            return -1;
        }
        if (case_sensitive) {
            for (size_t i = 0; i < n; ++i)
                if (e[i].size() >= len && contains_text(e[i], text)) return static_cast<int32_t>(i);
            return -1;
        }
        const std::string lowered = AnsiLowerCase(text);
        for (size_t i = 0; i < n; ++i)
            if (e[i].size() >= len && contains_text(AnsiLowerCase(e[i]), lowered)) return static_cast<int32_t>(i);
        return -1;
    }
}

template class TParamStore<IntTraits>;
template class TParamStore<FloatTraits>;
template class TParamStore<FlagTraits>;
template class TParamStore<StrTraits>;

// ---- references -----------------------------------------------------------

void TParamVar::Link(const TParamCollection& table) {
    TParamCollectionItem* item = table.Find(name_);
    // A target that refers back here cannot be read through: as missing.
    if (!item || !LinkTo(item)) RaiseMissingVariable(name_);
}

namespace {
// References of references nest this deep at most: every access walks the
// chain recursively, so a longer one (only damaged data makes one) could
// exhaust the stack much like a loop.
constexpr int kMaxReferenceChain = 1000;
}  // namespace

bool TParamVar::LeadsBackTo(const TParamCollectionItem* target) const {
    const TParamCollectionItem* item = target;
    for (int depth = 0; item; ++depth) {
        const TParamVar* ref = item->Reference();
        if (!ref) return false;
        // A loop elsewhere along the chain also ends here.
        if (ref == this || depth >= kMaxReferenceChain) return true;
        item = ref->Target();
    }
    return false;
}

bool TParamVar::LinkTo(TParamCollectionItem* target) {
    // A reference that leads back to itself would forward every access
    // round the loop for ever: it is left without a target.
    if (LeadsBackTo(target)) {
        target_ = nullptr;
        return false;
    }
    target_ = target;
    if (const TParamVar* ref = target->Reference()) index_ = ref->index_;
    return true;
}

int32_t TParamVar::Count() const { return target_ ? target_->Count() : 0; }
void TParamVar::SetCount(int32_t n) { if (target_) target_->SetCount(n); }
uint8_t TParamVar::ParamType() const { return target_ ? target_->ParamType() : uint8_t{PT_NONE}; }
bool TParamVar::GetAsBool() const { return target_ ? target_->GetBoolAt(index_) : false; }
long double TParamVar::GetAsFloat() const { return target_ ? target_->GetFloatAt(index_) : 0; }
int32_t TParamVar::GetAsInt() const { return target_ ? target_->GetIntAt(index_) : 0; }
std::string TParamVar::GetAsString() const { return target_ ? target_->GetStrAt(index_) : std::string(); }
void TParamVar::SetAsBool(bool v) { if (target_) target_->SetBoolAt(index_, v); }
void TParamVar::SetAsFloat(long double v) { if (target_) target_->SetFloatAt(index_, v); }
void TParamVar::SetAsInt(int32_t v) { if (target_) target_->SetIntAt(index_, v); }
void TParamVar::SetAsString(std::string_view v) { if (target_) target_->SetStrAt(index_, v); }
int32_t TParamVar::GetIntAt(int32_t i) const { return target_ ? target_->GetIntAt(i) : 0; }
void TParamVar::SetIntAt(int32_t i, int32_t v) { if (target_) target_->SetIntAt(i, v); }
long double TParamVar::GetFloatAt(int32_t i) const { return target_ ? target_->GetFloatAt(i) : 0; }
void TParamVar::SetFloatAt(int32_t i, long double v) { if (target_) target_->SetFloatAt(i, v); }
bool TParamVar::GetBoolAt(int32_t i) const { return target_ ? target_->GetBoolAt(i) : false; }
void TParamVar::SetBoolAt(int32_t i, bool v) { if (target_) target_->SetBoolAt(i, v); }
std::string TParamVar::GetStrAt(int32_t i) const { return target_ ? target_->GetStrAt(i) : std::string(); }
void TParamVar::SetStrAt(int32_t i, std::string_view v) { if (target_) target_->SetStrAt(i, v); }
int32_t TParamVar::DimCount() const { return target_ ? target_->DimCount() : 0; }
int32_t TParamVar::DimSize(int32_t k) const { return target_ ? target_->DimSize(k) : 0; }
void TParamVar::SetDims(std::span<const int32_t> sizes) { if (target_) target_->SetDims(sizes); }
void TParamVar::FillInt(int32_t v) { if (target_) target_->FillInt(v); }
void TParamVar::FillFloat(long double v) { if (target_) target_->FillFloat(v); }
void TParamVar::FillBool(bool v) { if (target_) target_->FillBool(v); }
void TParamVar::FillStr(std::string_view v) { if (target_) target_->FillStr(v); }
void TParamVar::CopyMem(const TCustomParam& source) { if (target_) target_->CopyMem(source); }
void TParamVar::MakeScalar() { if (target_) target_->MakeScalar(); }
int32_t TParamVar::IndexOf(std::string_view text, bool cs, bool partial) const {
    return target_ ? target_->IndexOf(text, cs, partial) : -1;
}

void TParamVar::SaveToStream(TStream& s) const {
    save_dims(s);
    WriteStreamString(s, name_);
    WriteStreamString(s, target_ ? target_->GetName() : std::string());
    WriteStreamByte(s, flag_);
    WriteStreamInteger(s, index_);
}

void TParamVar::LoadFromStream(TStream& s) {
    FieldReader r(s, StoredVariableMessage());
    load_dims(r);
    name_ = r.String("reference name");
    std::string target_name = r.String("reference target");
    flag_ = r.U8("reference flag");
    index_ = r.I32("reference index");
    target_ = nullptr;
    pending_target_.clear();
    if (target_name.empty()) return;
    TParamCollectionItem* target = Params ? Params->Find(target_name) : nullptr;
    // A reference written before its target is linked once the whole table
    // has been read (TParamCollection::LoadGameVariables).
    if (!target) {
        pending_target_ = std::move(target_name);
        return;
    }
    // Its own entry is already named when the value is read: a reference
    // naming itself finds itself.
    if (LeadsBackTo(target)) r.Fail("reference target");
    target_ = target;
}

// ---- factory --------------------------------------------------------------

std::unique_ptr<TCustomParam> CreateParam(uint8_t code) {
    switch (code & 127) {
    case 0: return std::make_unique<TParamVar>();
    case PT_INT: return std::make_unique<TParamInt>();
    case PT_FLOAT: return std::make_unique<TParamFloat>();
    case PT_BOOL: return std::make_unique<TParamFlag>();
    case PT_STR: return std::make_unique<TParamStr>();
    default: return nullptr;
    }
}
