// Values of scenario variables, expression temporaries and literal
// operands. A value is a list of elements of one kind (a scalar is a list of
// one), optionally shaped by array dimensions; every kind reads and writes
// as any of the four scalar types and converts.
#pragma once
#include "files/vocab.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TStream;
class FieldReader;
class TParamCollection;
class TParamCollectionItem;

// Arrays larger than this are refused: a count that large only comes from
// bad data or a runaway script, and would exhaust memory.
constexpr int64_t kMaxParamElements = int64_t{1} << 24;
// More dimensions than this are refused for the same reason.
constexpr int32_t kMaxParamDims = 64;

class TParamVar;

// Messages shared by the value kinds and their callers.
[[noreturn]] void RaiseBadIndex();
[[noreturn]] void RaiseBadDims(std::span<const int32_t> sizes);
[[noreturn]] void RaiseMissingVariable(std::string_view name);
// The message of damaged stored variables (game and status saves).
const std::string& StoredVariableMessage();

class TCustomParam {
public:
    virtual ~TCustomParam() = default;

    virtual int32_t Count() const { return 1; }
    virtual void SetCount(int32_t) {}
    virtual uint8_t ParamType() const { return PT_INT; }
    virtual bool GetAsBool() const { return false; }
    virtual long double GetAsFloat() const { return 0; }
    virtual int32_t GetAsInt() const { return 0; }
    virtual std::string GetAsString() const { return {}; }
    virtual void SetAsBool(bool) {}
    virtual void SetAsFloat(long double) {}
    virtual void SetAsInt(int32_t) {}
    virtual void SetAsString(std::string_view) {}
    virtual int32_t GetIntAt(int32_t) const { return 0; }
    virtual void SetIntAt(int32_t, int32_t) {}
    virtual long double GetFloatAt(int32_t) const { return 0; }
    virtual void SetFloatAt(int32_t, long double) {}
    virtual bool GetBoolAt(int32_t) const { return false; }
    virtual void SetBoolAt(int32_t, bool) {}
    virtual std::string GetStrAt(int32_t) const { return {}; }
    virtual void SetStrAt(int32_t, std::string_view) {}
    virtual int32_t DimCount() const;
    virtual int32_t DimSize(int32_t k) const;
    // Base: copies the source's dimensions; storage kinds also copy the
    // elements of a source of their own kind.
    virtual void Assign(const TCustomParam& source);
    virtual void SetDims(std::span<const int32_t> sizes);
    virtual void FillInt(int32_t) {}
    virtual void FillFloat(long double) {}
    virtual void FillBool(bool) {}
    virtual void FillStr(std::string_view) {}
    virtual void CopyMem(const TCustomParam&) {}
    virtual void SaveToStream(TStream& s) const;
    virtual void LoadFromStream(TStream& s);
    virtual void MakeScalar() {}
    virtual int32_t IndexOf(std::string_view text, bool case_sensitive, bool partial) const;

    // Non-null for a reference value (saves a type test on hot paths).
    virtual const TParamVar* AsVar() const { return nullptr; }
    // The shape and elements converted into this value's own type.
    void AssignConverted(const TCustomParam& source);
    const std::vector<int32_t>& Dims() const { return dims_; }

protected:
    void save_dims(TStream& s) const;
    void load_dims(FieldReader& r);
    std::vector<int32_t> dims_;
};

// Storage kinds: TParamInt (1), TParamFloat (2), TParamFlag (3), TParamStr (4).
template <class Traits>
class TParamStore : public TCustomParam {
public:
    using Elem = typename Traits::Elem;
    TParamStore() : items_(1) {}

    int32_t Count() const override { return static_cast<int32_t>(items_.size()); }
    void SetCount(int32_t n) override;
    uint8_t ParamType() const override { return Traits::kCode; }
    bool GetAsBool() const override { return items_.empty() ? false : Traits::ToBool(items_[0]); }
    long double GetAsFloat() const override { return items_.empty() ? 0 : Traits::ToFloat(items_[0]); }
    int32_t GetAsInt() const override { return items_.empty() ? 0 : Traits::ToInt(items_[0]); }
    std::string GetAsString() const override { return items_.empty() ? std::string() : Traits::ToStr(items_[0]); }
    void SetAsBool(bool v) override { scalar_slot() = Traits::FromBool(v); }
    void SetAsFloat(long double v) override { scalar_slot() = Traits::FromFloat(v); }
    void SetAsInt(int32_t v) override { scalar_slot() = Traits::FromInt(v); }
    void SetAsString(std::string_view v) override { scalar_slot() = Traits::FromStr(v); }
    int32_t GetIntAt(int32_t i) const override { return Traits::ToInt(items_[check(i)]); }
    void SetIntAt(int32_t i, int32_t v) override { items_[check(i)] = Traits::FromInt(v); }
    long double GetFloatAt(int32_t i) const override { return Traits::ToFloat(items_[check(i)]); }
    void SetFloatAt(int32_t i, long double v) override { items_[check(i)] = Traits::FromFloat(v); }
    bool GetBoolAt(int32_t i) const override { return Traits::ToBool(items_[check(i)]); }
    void SetBoolAt(int32_t i, bool v) override { items_[check(i)] = Traits::FromBool(v); }
    std::string GetStrAt(int32_t i) const override { return Traits::ToStr(items_[check(i)]); }
    void SetStrAt(int32_t i, std::string_view v) override { items_[check(i)] = Traits::FromStr(v); }
    void Assign(const TCustomParam& source) override;
    void FillInt(int32_t v) override;
    void FillFloat(long double v) override;
    void FillBool(bool v) override;
    void FillStr(std::string_view v) override;
    void CopyMem(const TCustomParam& source) override;
    void SaveToStream(TStream& s) const override;
    void LoadFromStream(TStream& s) override;
    void MakeScalar() override;
    int32_t IndexOf(std::string_view text, bool case_sensitive, bool partial) const override;

    // Back to the state of a new value (one zero element, no dimensions)
    // without giving up the storage.
    void ResetToNew() {
        dims_.clear();
        if (items_.size() != 1) items_.resize(1);
        items_[0] = Elem();
    }
    const std::vector<Elem>& Items() const { return items_; }

private:
    size_t check(int32_t i) const {
        if (i < 0 || static_cast<size_t>(i) >= items_.size()) RaiseBadIndex();
        return static_cast<size_t>(i);
    }
    Elem& scalar_slot() {
        if (!dims_.empty()) MakeScalar();
        // A value loaded with no element still takes a scalar write.
        if (items_.empty()) items_.resize(1);
        return items_[0];
    }
    std::vector<Elem> items_;
};

struct IntTraits;
struct FloatTraits;
struct FlagTraits;
struct StrTraits;
using TParamInt = TParamStore<IntTraits>;
using TParamFloat = TParamStore<FloatTraits>;
using TParamFlag = TParamStore<FlagTraits>;
using TParamStr = TParamStore<StrTraits>;

// A reference to a named variable (or one element of it). It does not own
// its target; it is linked to a table entry by name.
class TParamVar : public TCustomParam {
public:
    TParamVar() = default;
    explicit TParamVar(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    TParamCollectionItem* Target() const { return target_; }
    int32_t Index() const { return index_; }
    void SetIndex(int32_t i) { index_ = i; }
    uint8_t Flag() const { return flag_; }
    void SetFlag(uint8_t f) { flag_ = f; }
    // Finds the target by name; raises "<name>" 変数がありません when missing
    // or when it refers back to this reference.
    void Link(const TParamCollection& table);
    // Links to a known entry; a target whose value is itself a reference
    // lends its element index. A target whose references lead back to this
    // one is refused: false, and no target.
    bool LinkTo(TParamCollectionItem* target);
    // Whether following references from target comes back to this one (or
    // runs on past any sane chain length, as only a loop or damage does).
    bool LeadsBackTo(const TParamCollectionItem* target) const;
    void Unlink() { target_ = nullptr; }
    // Back to a new reference (no target, flag or index); the name is
    // left for the caller to set.
    void Reset() {
        target_ = nullptr;
        flag_ = 0;
        index_ = 0;
        pending_target_.clear();
    }
    // The target name read by LoadFromStream that could not be found then
    // (its variable may be read later); empty when none is pending.
    const std::string& PendingTarget() const { return pending_target_; }
    void ClearPending() { pending_target_.clear(); }

    int32_t Count() const override;
    void SetCount(int32_t n) override;
    uint8_t ParamType() const override;
    bool GetAsBool() const override;
    long double GetAsFloat() const override;
    int32_t GetAsInt() const override;
    std::string GetAsString() const override;
    void SetAsBool(bool v) override;
    void SetAsFloat(long double v) override;
    void SetAsInt(int32_t v) override;
    void SetAsString(std::string_view v) override;
    int32_t GetIntAt(int32_t i) const override;
    void SetIntAt(int32_t i, int32_t v) override;
    long double GetFloatAt(int32_t i) const override;
    void SetFloatAt(int32_t i, long double v) override;
    bool GetBoolAt(int32_t i) const override;
    void SetBoolAt(int32_t i, bool v) override;
    std::string GetStrAt(int32_t i) const override;
    void SetStrAt(int32_t i, std::string_view v) override;
    int32_t DimCount() const override;
    int32_t DimSize(int32_t k) const override;
    void SetDims(std::span<const int32_t> sizes) override;
    void FillInt(int32_t v) override;
    void FillFloat(long double v) override;
    void FillBool(bool v) override;
    void FillStr(std::string_view v) override;
    void CopyMem(const TCustomParam& source) override;
    void SaveToStream(TStream& s) const override;
    void LoadFromStream(TStream& s) override;
    void MakeScalar() override;
    int32_t IndexOf(std::string_view text, bool case_sensitive, bool partial) const override;
    const TParamVar* AsVar() const override { return this; }

private:
    friend class TVorqParser;
    std::string name_;
    TParamCollectionItem* target_ = nullptr;
    uint8_t flag_ = 0;
    int32_t index_ = 0;
    std::string pending_target_;
    // Look-up cache of the evaluator: valid while the table generation is
    // unchanged (see ParamGeneration).
    uint64_t cache_gen_ = 0;
    TParamCollectionItem* cache_item_ = nullptr;
};

// Value factory: code masked with 127; 0 reference, 1..4 storage kinds,
// anything else none.
std::unique_ptr<TCustomParam> CreateParam(uint8_t code);

// Element count of a dimension list in 64 bits; raises the dimension
// error for a size below 1 or a product above kMaxParamElements.
int32_t DimsElementCount(std::span<const int32_t> sizes);
// Position of an element given one index per dimension (last fastest).
int64_t LinearPosition(const TCustomParam& value, std::span<const int32_t> indexes);

// Conversion rules shared by the kinds.
struct IntTraits {
    using Elem = int32_t;
    static constexpr uint8_t kCode = PT_INT;
    static bool ToBool(int32_t v) { return v != 0; }
    static long double ToFloat(int32_t v) { return v; }
    static int32_t ToInt(int32_t v) { return v; }
    static std::string ToStr(int32_t v);
    static int32_t FromBool(bool v) { return v ? 1 : 0; }
    static int32_t FromFloat(long double v);
    static int32_t FromInt(int32_t v) { return v; }
    static int32_t FromStr(std::string_view v);
};
struct FloatTraits {
    using Elem = long double;
    static constexpr uint8_t kCode = PT_FLOAT;
    static bool ToBool(long double v) { return v != 0; }
    static long double ToFloat(long double v) { return v; }
    static int32_t ToInt(long double v);
    static std::string ToStr(long double v);
    static long double FromBool(bool v) { return v ? 1 : 0; }
    static long double FromFloat(long double v) { return v; }
    static long double FromInt(int32_t v) { return v; }
    static long double FromStr(std::string_view v);
};
struct FlagTraits {
    using Elem = uint8_t;
    static constexpr uint8_t kCode = PT_BOOL;
    static bool ToBool(uint8_t v) { return v != 0; }
    static long double ToFloat(uint8_t v) { return v != 0 ? 1 : 0; }
    static int32_t ToInt(uint8_t v) { return v != 0 ? 1 : 0; }
    static std::string ToStr(uint8_t v) { return v != 0 ? "TRUE" : "FALSE"; }
    static uint8_t FromBool(bool v) { return v ? 1 : 0; }
    static uint8_t FromFloat(long double v) { return v != 0 ? 1 : 0; }
    static uint8_t FromInt(int32_t v) { return v != 0 ? 1 : 0; }
    static uint8_t FromStr(std::string_view v) { return v == "TRUE" ? 1 : 0; }
};
struct StrTraits {
    using Elem = std::string;
    static constexpr uint8_t kCode = PT_STR;
    static bool ToBool(const std::string& v) { return v == "TRUE"; }
    static long double ToFloat(const std::string& v);
    static int32_t ToInt(const std::string& v);
    static std::string ToStr(const std::string& v) { return v; }
    static std::string FromBool(bool v) { return v ? "TRUE" : "FALSE"; }
    static std::string FromFloat(long double v);
    static std::string FromInt(int32_t v);
    static std::string FromStr(std::string_view v) { return std::string(v); }
};

extern template class TParamStore<IntTraits>;
extern template class TParamStore<FloatTraits>;
extern template class TParamStore<FlagTraits>;
extern template class TParamStore<StrTraits>;
