#include "script/param_collection.h"

#include "files/field_reader.h"
#include "files/number_text.h"
#include "script/system_vars.h"
#include "files/save_stream.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/stream.h"

#include <typeinfo>
#include <unordered_set>

uint64_t g_param_generation = 1;
TParamCollection* Params = nullptr;

namespace {

// Names compare with ASCII letters folded outside double-byte characters.
template <class F>
void for_each_folded(std::string_view s, F&& f) {
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (IsDBCSLeadByte(c) && i + 1 < s.size()) {
            f(c);
            f(static_cast<unsigned char>(s[++i]));
        } else {
            f(c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c);
        }
    }
}

// Smallest stored entry: type byte, empty name, no dimensions, an element
// count, and the four trailing fields.
constexpr uint64_t kMinEntryBytes = 1 + 4 + 4 + 4 + 1 + 1 + 4 + 1;
// Far more variables than a game declares; the bytes left bound them first.
constexpr uint32_t kMaxStoredVariables = 1u << 24;

}  // namespace

size_t TParamCollection::FoldHash::operator()(std::string_view s) const {
    uint64_t h = 1469598103934665603ull;
    for_each_folded(s, [&](unsigned char c) { h = (h ^ c) * 1099511628211ull; });
    return static_cast<size_t>(h);
}

bool TParamCollection::FoldEq::operator()(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    return AnsiSameText(a, b);
}

// ---- entries --------------------------------------------------------------

TParamCollectionItem::TParamCollectionItem(TParamCollection* owner) : owner_(owner) {}

TParamCollectionItem::~TParamCollectionItem() {
    if (owner_) owner_->item_destroyed(this);
}

void TParamCollectionItem::check_name(const std::string& name) const {
    bool bad = name.empty() || name.find(' ') != std::string::npos || (name[0] >= '0' && name[0] <= '9');
    if (bad) {
        static const std::string tail = Sjis("：変数名が不正です");
        throw Exception("\"" + name + "\"" + tail);
    }
}

void TParamCollectionItem::SetName(const std::string& name) {
    check_name(name);
    if (name == GetName()) return;
    if (owner_) owner_->unregister_name(this);
    THashCollectionItem::SetName(name);
    if (owner_) owner_->register_name(this);
    BumpParamGeneration();
}

void TParamCollectionItem::SetValue(std::unique_ptr<TCustomParam> value) {
    TParamVar* ref = value ? const_cast<TParamVar*>(value->AsVar()) : nullptr;
    if (owner_) owner_->reference_values_ += (ref ? 1 : 0) - (ref_ ? 1 : 0);
    value_ = std::move(value);
    ref_ = ref;
}

void TParamCollectionItem::InitSystem(int index) {
    SetValue(std::make_unique<TParamSystem>(static_cast<uint8_t>(index)));
    SetName(SystemVarName(index));
}

void TParamCollectionItem::SetType(uint8_t code) { SetValue(CreateParam(code)); }

bool TParamCollectionItem::IsSystem() const { return dynamic_cast<const TParamSystem*>(value_.get()) != nullptr; }

void TParamCollectionItem::SetKept(bool v) {
    kept_ = v ? 1 : 0;
    BumpParamGeneration();
}

void TParamCollectionItem::SetFrameId(int32_t id) {
    frame_id_ = id;
    BumpParamGeneration();
}

void TParamCollectionItem::SetLocal(bool v) {
    local_ = v ? 1 : 0;
    BumpParamGeneration();
}

void TParamCollectionItem::SetReference(std::string_view name, std::span<const int32_t> indexes) {
    const TParamCollection* table = owner_ ? owner_ : Params;
    SetReferenceTo(table ? table->Find(name) : nullptr, name, indexes);
}

void TParamCollectionItem::SetReferenceTo(TParamCollectionItem* target, std::string_view name,
                                          std::span<const int32_t> indexes) {
    TParamVar* ref = ref_;
    if (!ref) return;
    if (!target) RaiseMissingVariable(name);
    if (ref->Name() != name) ref->SetName(std::string(name));
    // A target that refers back here cannot be read through: as missing.
    if (!ref->LinkTo(target)) RaiseMissingVariable(name);
    const char* problem = nullptr;
    if (target->DimCount() == static_cast<int32_t>(indexes.size())) {
        int64_t pos = target->Value() ? LinearPosition(*target->Value(), indexes) : -1;
        bool in_range = pos >= 0 && pos < target->Count();
        for (int32_t i : indexes) in_range &= i >= 0;  // a negative index must not wrap into range
        if (in_range)
            ref->SetIndex(static_cast<int32_t>(pos));
        else
            problem = "要素数を超えています";
    } else {
        problem = "添え字が不正です";
    }
    if (problem) {
        std::string text(name);
        text += '[';
        for (size_t k = 0; k < indexes.size(); ++k) {
            if (k) text += ',';
            text += IntToStr(indexes[k]);
        }
        text += "]\r\n";
        throw Exception(text + Sjis(problem));
    }
}

void TParamCollectionItem::SaveToStream(TStream& s) const {
    WriteStreamString(s, GetName());
    value_->SaveToStream(s);
    WriteStreamByte(s, kept_);
    WriteStreamByte(s, flag_);
    WriteStreamInteger(s, frame_id_);
    WriteStreamByte(s, local_);
}

bool TParamCollectionItem::LoadFromStream(TStream& s) {
    FieldReader r(s, StoredVariableMessage());
    std::string name = r.String("variable name");
    bool named = !name.empty();
    if (named) {
        SetName(name);
        if (!value_) r.Fail("variable type");
        value_->LoadFromStream(s);
    } else {
        TParamVar dropped;
        dropped.LoadFromStream(s);
    }
    kept_ = r.U8("kept");
    flag_ = r.U8("variable flag");
    frame_id_ = r.I32("frame id");
    local_ = r.U8("local");
    BumpParamGeneration();
    return named;
}

// ---- table ----------------------------------------------------------------

TParamCollection::TParamCollection() {
    for (int i = 0; i < kSystemVarCount; ++i) {
        auto* item = static_cast<TParamCollectionItem*>(Add(std::make_unique<TParamCollectionItem>(this)));
        item->InitSystem(i);
    }
}

TParamCollection::~TParamCollection() {
    clearing_ = true;
    Clear();
    if (Params == this) Params = nullptr;
}

void TParamCollection::register_name(TParamCollectionItem* item) {
    if (item->GetName().empty()) return;
    auto it = names_.find(std::string_view(item->GetName()));
    if (it == names_.end()) it = names_.emplace(AnsiLowerCase(item->GetName()), std::vector<TParamCollectionItem*>()).first;
    it->second.push_back(item);
}

void TParamCollection::unregister_name(TParamCollectionItem* item) {
    if (item->GetName().empty()) return;
    auto it = names_.find(std::string_view(item->GetName()));
    if (it == names_.end()) return;
    auto& list = it->second;
    for (size_t k = list.size(); k-- > 0;) {
        if (list[k] == item) {
            list.erase(list.begin() + static_cast<ptrdiff_t>(k));
            break;
        }
    }
    if (list.empty()) names_.erase(it);
}

void TParamCollection::item_destroyed(TParamCollectionItem* item) {
    BumpParamGeneration();
    if (clearing_) return;
    unregister_name(item);
    if (item->IsReference()) --reference_values_;
}

int32_t TParamCollection::IndexOf(std::string_view name) const {
    auto it = names_.find(name);
    if (it == names_.end()) return -1;
    const auto& list = it->second;
    const TParamCollectionItem* answer = nullptr;
    // Most recently named first, as along a hash chain.
    for (size_t k = list.size(); k-- > 0;) {
        const TParamCollectionItem* e = list[k];
        if (e->Local()) {
            if (e->FrameId() == frame_id_) return e->GetIndex();
        } else {
            answer = e;
        }
    }
    return answer ? answer->GetIndex() : -1;
}

TParamCollectionItem* TParamCollection::Find(std::string_view name) const {
    int32_t i = IndexOf(name);
    return i < 0 ? nullptr : Item(i);
}

TParamCollectionItem* TParamCollection::FindInFrame(std::string_view name, bool local) const {
    auto it = names_.find(name);
    if (it == names_.end()) return nullptr;
    const auto& list = it->second;
    for (size_t k = list.size(); k-- > 0;) {
        TParamCollectionItem* e = list[k];
        if (local ? (e->Local() && e->FrameId() == frame_id_) : !e->Local()) return e;
    }
    return nullptr;
}

TParamCollectionItem* TParamCollection::AddVariable(uint8_t code) {
    auto* item = static_cast<TParamCollectionItem*>(Add(std::make_unique<TParamCollectionItem>(this)));
    item->SetType(code);
    return item;
}

std::unique_ptr<TCustomParam> TParamCollection::CopyValue(std::string_view name) const {
    TParamCollectionItem* item = Find(name);
    if (!item) return nullptr;
    uint8_t type = item->ParamType();
    if (type < PT_INT || type > PT_STR) {
        static const std::string tail = Sjis(":不正な変数です");
        throw Exception(std::string(name) + tail);
    }
    auto copy = CreateParam(type);
    const TCustomParam& source = *item->Value();
    if (typeid(source) == typeid(*copy))
        copy->Assign(source);
    else
        copy->AssignConverted(source);  // a reference or system value reads through
    return copy;
}

void TParamCollection::Delete(int32_t i) {
    TParamCollectionItem* victim = Item(i);
    // Other references must not keep pointing at a freed entry.
    if (reference_values_ > 0)
        for (int32_t k = 0; k < Count(); ++k)
            if (const TCustomParam* v = Item(k)->Value())
                if (const TParamVar* ref = v->AsVar(); ref && ref->Target() == victim)
                    const_cast<TParamVar*>(ref)->Unlink();
    THashCollection::Delete(i);
}

void TParamCollection::DeleteFrame(int32_t id) {
    for (int32_t i = Count(); i-- > 0;)
        if (Item(i)->FrameId() == id && !Item(i)->IsSystem()) Delete(i);
}

void TParamCollection::free_unkept() {
    for (int32_t i = Count(); i-- > 0;)
        if (!Item(i)->Kept() && !Item(i)->IsSystem()) Delete(i);
}

void TParamCollection::Reset() {
    free_unkept();
    text_delay = 50;
    cursor_name.clear();
    history_settings.fill(0);
}

void TParamCollection::SetCurrentFrameId(int32_t id) {
    if (id == frame_id_) return;
    frame_id_ = id;
    BumpParamGeneration();
}

void TParamCollection::save_entries(TStream& s, bool kept) const {
    std::vector<const TParamCollectionItem*> todo;
    for (int32_t i = 0; i < Count(); ++i) {
        const TParamCollectionItem* e = Item(i);
        // An entry made with an unknown type code has no value to store.
        if (e->Kept() == kept && !e->IsSystem() && e->Value()) todo.push_back(e);
    }
    WriteStreamInteger(s, static_cast<int32_t>(todo.size()));
    std::unordered_set<std::string, FoldHash, FoldEq> written;
    std::vector<bool> done(todo.size(), false);
    size_t remaining = todo.size();
    auto write = [&](size_t k) {
        const TParamCollectionItem* e = todo[k];
        // A reference is stored as one, whatever type its target has.
        WriteStreamByte(s, e->IsReference() ? 0 : e->ParamType());
        e->SaveToStream(s);
        written.insert(e->GetName());
        done[k] = true;
        --remaining;
    };
    while (remaining > 0) {
        bool progress = false;
        for (size_t k = todo.size(); k-- > 0;) {
            if (done[k]) continue;
            const TParamCollectionItem* e = todo[k];
            const TParamVar* ref = e->Value() ? e->Value()->AsVar() : nullptr;
            // A reference to an untyped target waits for that target.
            if (e->ParamType() == PT_NONE && ref && ref->Target() && !written.contains(ref->Target()->GetName()))
                continue;
            write(k);
            progress = true;
        }
        if (progress) continue;
        // The rest wait for targets that are never written here (status or
        // system variables, or each other): store them as they are.
        for (size_t k = todo.size(); k-- > 0;)
            if (!done[k]) write(k);
    }
}

void TParamCollection::load_entries(TStream& s) {
    FieldReader r(s, StoredVariableMessage());
    const uint32_t n = r.Count("variable count", kMinEntryBytes, kMaxStoredVariables);
    // A damaged table is refused whole: the entries read before the damage
    // go again.
    const int32_t before = Count();
    try {
        for (uint32_t i = 0; i < n; ++i) {
            TParamCollectionItem* item = AddVariable(r.U8("variable type"));
            if (!item->Value()) r.Fail("variable type");
            if (!item->LoadFromStream(s)) Delete(item->GetIndex());
        }
        if (!relink_pending()) r.Fail("reference target");
    } catch (...) {
        for (int32_t i = Count(); i-- > before;) Delete(i);
        throw;
    }
}

bool TParamCollection::relink_pending() {
    if (reference_values_ == 0) return true;
    bool all_linked = true;
    for (int32_t i = 0; i < Count(); ++i) {
        const TCustomParam* v = Item(i)->Value();
        const TParamVar* ref = v ? v->AsVar() : nullptr;
        if (!ref || ref->PendingTarget().empty()) continue;
        auto* r = const_cast<TParamVar*>(ref);
        if (TParamCollectionItem* target = Find(r->PendingTarget())) {
            int32_t index = r->Index();
            all_linked &= r->LinkTo(target);
            r->SetIndex(index);  // the stored element index stays
        }
        r->ClearPending();
    }
    return all_linked;
}

void TParamCollection::SaveGameVariables(TStream& s) const {
    save_entries(s, false);
    WriteStreamInteger(s, text_delay);
    WriteStreamString(s, cursor_name);
    WriteStreamString(s, sel_str);
    WriteStreamInteger(s, sel_index);
    for (int32_t v : history_settings) WriteStreamInteger(s, v);
    WriteStreamString(s, temp_name);
}

void TParamCollection::LoadGameVariables(TStream& s, int32_t version) {
    free_unkept();
    const int32_t before = Count();
    load_entries(s);
    try {
        FieldReader r(s, StoredVariableMessage());
        text_delay = r.I32("text delay");
        cursor_name = r.String("cursor name");
        if (version >= 103) sel_str = r.String("selected text");
        if (version >= 103) sel_index = r.I32("selected index");
        if (version >= 113)
            for (int32_t& v : history_settings) v = r.I32("history setting");
        if (version >= 121) temp_name = r.String("temp name");
    } catch (...) {
        for (int32_t i = Count(); i-- > before;) Delete(i);
        throw;
    }
}

void TParamCollection::SaveStatusVariables(TStream& s) const { save_entries(s, true); }

void TParamCollection::LoadStatusVariables(TStream& s) { load_entries(s); }
