// The variable table: every named variable of a running game, the 49
// system variables first. Scopes decide when an entry goes: globals at a
// reset or game load, auto-destroy and local entries with the call frame
// that made them, status entries never (they are saved apart).
#pragma once
#include "script/param.h"
#include "files/hash_collection.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Bumped whenever a name look-up could answer differently (an entry named,
// renamed or freed, a scope flag or the current frame changed), so that the
// evaluator may cache look-ups between evaluations.
extern uint64_t g_param_generation;
inline uint64_t ParamGeneration() { return g_param_generation; }
inline void BumpParamGeneration() { ++g_param_generation; }

enum class TParamScope : uint8_t { Global = 0, AutoDestroy = 1, Local = 2, Status = 3 };

class TParamCollectionItem : public THashCollectionItem {
public:
    // owner: the table whose name look-up this entry takes part in (none
    // for the evaluator's temporaries).
    explicit TParamCollectionItem(TParamCollection* owner = nullptr);
    ~TParamCollectionItem() override;

    // Refuses an empty name, a name holding a space or beginning with a digit.
    void SetName(const std::string& name);
    void Assign(const THashCollectionItem& source) override { SetName(source.GetName()); }
    TCustomParam* Value() const { return value_.get(); }
    // The value when it is a reference, else none (kept with the value).
    TParamVar* Reference() const { return ref_; }
    void SetValue(std::unique_ptr<TCustomParam> value);
    void InitSystem(int index);
    void SetType(uint8_t code);
    bool IsSystem() const;
    bool IsReference() const { return ref_ != nullptr; }

    uint8_t Flag() const { return flag_; }
    void SetFlag(uint8_t f) { flag_ = f; }
    bool Kept() const { return kept_ != 0; }
    void SetKept(bool v);
    int32_t FrameId() const { return frame_id_; }
    void SetFrameId(int32_t id);
    bool Local() const { return local_ != 0; }
    void SetLocal(bool v);

    // Forwarded to the value; an entry without a value reads as nothing.
    uint8_t ParamType() const { return value_ ? value_->ParamType() : uint8_t{PT_NONE}; }
    int32_t Count() const { return value_ ? value_->Count() : 0; }
    void SetCount(int32_t n) { if (value_) value_->SetCount(n); }
    bool GetAsBool() const { return value_ ? value_->GetAsBool() : false; }
    long double GetAsFloat() const { return value_ ? value_->GetAsFloat() : 0; }
    int32_t GetAsInt() const { return value_ ? value_->GetAsInt() : 0; }
    std::string GetAsString() const { return value_ ? value_->GetAsString() : std::string(); }
    void SetAsBool(bool v) { if (value_) value_->SetAsBool(v); }
    void SetAsFloat(long double v) { if (value_) value_->SetAsFloat(v); }
    void SetAsInt(int32_t v) { if (value_) value_->SetAsInt(v); }
    void SetAsString(std::string_view v) { if (value_) value_->SetAsString(v); }
    int32_t GetIntAt(int32_t i) const { return value_ ? value_->GetIntAt(i) : 0; }
    void SetIntAt(int32_t i, int32_t v) { if (value_) value_->SetIntAt(i, v); }
    long double GetFloatAt(int32_t i) const { return value_ ? value_->GetFloatAt(i) : 0; }
    void SetFloatAt(int32_t i, long double v) { if (value_) value_->SetFloatAt(i, v); }
    bool GetBoolAt(int32_t i) const { return value_ ? value_->GetBoolAt(i) : false; }
    void SetBoolAt(int32_t i, bool v) { if (value_) value_->SetBoolAt(i, v); }
    std::string GetStrAt(int32_t i) const { return value_ ? value_->GetStrAt(i) : std::string(); }
    void SetStrAt(int32_t i, std::string_view v) { if (value_) value_->SetStrAt(i, v); }
    int32_t DimCount() const { return value_ ? value_->DimCount() : 0; }
    int32_t DimSize(int32_t k) const { return value_ ? value_->DimSize(k) : 0; }
    void SetDims(std::span<const int32_t> sizes) { if (value_) value_->SetDims(sizes); }
    void FillInt(int32_t v) { if (value_) value_->FillInt(v); }
    void FillFloat(long double v) { if (value_) value_->FillFloat(v); }
    void FillBool(bool v) { if (value_) value_->FillBool(v); }
    void FillStr(std::string_view v) { if (value_) value_->FillStr(v); }
    void CopyMem(const TCustomParam& source) { if (value_) value_->CopyMem(source); }
    void MakeScalar() { if (value_) value_->MakeScalar(); }
    int32_t IndexOf(std::string_view text, bool cs, bool partial) const {
        return value_ ? value_->IndexOf(text, cs, partial) : -1;
    }
    void AssignConverted(const TCustomParam& source) { if (value_) value_->AssignConverted(source); }

    // For an entry whose value is a reference: points it at one element of
    // the variable `name`, given one index per dimension.
    void SetReference(std::string_view name, std::span<const int32_t> indexes);
    // The same with the target already found (none raises the missing-
    // variable error for name).
    void SetReferenceTo(TParamCollectionItem* target, std::string_view name, std::span<const int32_t> indexes);

    void SaveToStream(TStream& s) const;
    // False for a record without a name (the caller frees the entry).
    bool LoadFromStream(TStream& s);

private:
    friend class TParamCollection;
    void check_name(const std::string& name) const;
    std::unique_ptr<TCustomParam> value_;
    TParamVar* ref_ = nullptr;
    TParamCollection* owner_;
    uint8_t flag_ = 0;
    uint8_t kept_ = 0;
    int32_t frame_id_ = -1;
    uint8_t local_ = 0;
};

class TParamCollection : public THashCollection {
public:
    TParamCollection();
    ~TParamCollection() override;

    TParamCollectionItem* Item(int32_t i) const { return ItemAs<TParamCollectionItem>(i); }
    // The scope-aware look-up: a local entry of the current frame wins;
    // otherwise the non-local entry named earliest; locals of other frames
    // are never seen. -1 when none.
    int32_t IndexOf(std::string_view name) const override;
    TParamCollectionItem* Find(std::string_view name) const;
    // local: only a local entry of the current frame; otherwise the
    // non-local entry named most recently.
    TParamCollectionItem* FindInFrame(std::string_view name, bool local) const;
    // Appends an unnamed entry with a value of that type code (entries are
    // made here and named with their SetName, never with AddName).
    TParamCollectionItem* AddVariable(uint8_t code);
    // Frees entry i; references to it elsewhere in the table are unlinked.
    void Delete(int32_t i);
    // A new value of the entry's type holding a copy; none when there is no
    // such entry; "%s:不正な変数です" for an entry without a storable type.
    std::unique_ptr<TCustomParam> CopyValue(std::string_view name) const;
    void DeleteFrame(int32_t id);
    void Reset();

    int32_t CurrentFrameId() const { return frame_id_; }
    void SetCurrentFrameId(int32_t id);

    void SaveGameVariables(TStream& s) const;
    void LoadGameVariables(TStream& s, int32_t version);
    void SaveStatusVariables(TStream& s) const;
    void LoadStatusVariables(TStream& s);

    // Engine settings kept with the table and stored in game saves.
    int32_t text_delay = 50;
    std::string cursor_name;
    std::string sel_str;
    int32_t sel_index = 0;
    std::array<int32_t, 6> history_settings{};
    std::string temp_name;  // the variable that @Temp stands for

private:
    friend class TParamCollectionItem;
    struct FoldHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const;
    };
    struct FoldEq {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    using NameIndex = std::unordered_map<std::string, std::vector<TParamCollectionItem*>, FoldHash, FoldEq>;

    void register_name(TParamCollectionItem* item);
    void unregister_name(TParamCollectionItem* item);
    void item_destroyed(TParamCollectionItem* item);
    void free_unkept();
    void save_entries(TStream& s, bool kept) const;
    void load_entries(TStream& s);
    // Links the references whose targets were read after them; false when
    // one of them would lead back to itself.
    bool relink_pending();

    NameIndex names_;
    int32_t frame_id_ = 0;
    int32_t reference_values_ = 0;  // entries whose value is a reference
    bool clearing_ = false;
};

// The game's one variable table (made at start-up).
extern TParamCollection* Params;
