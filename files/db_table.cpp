#include "files/db_table.h"
#include "files/field_reader.h"

#include "files/containers.h"
#include "files/extended.h"
#include "files/jstring.h"
#include "files/save_stream.h"
#include "files/number_text.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// ---- number text -----------------------------------------------------------
// Cells convert with the engine's number rules, so a table reads and writes
// numbers exactly as variables do.

bool parse_int(std::string_view s, int32_t& out) { return TryStrToInt32(s, out); }

int32_t int_or_zero(std::string_view s) { return StrToInt32Def(s, 0); }

long double float_or_raise(std::string_view s) {
    long double v = 0;
    if (!TryStrToExtended(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    return v;
}

long double float_or_zero(std::string_view s) { return StrToExtendedDef(s, 0); }

std::string float_to_str(long double v) { return FloatToStr(v); }

// Round half to even, kept to the low 32 bits as a 64-bit result assigned to
// a 32-bit cell would be; values beyond the 64-bit range (and NaN) give 0.
int32_t round_to_int32(long double v) {
    if (!(v > -9223372036854775808.0L && v < 9223372036854775808.0L)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(RoundInt64(v))));
}

const char* bool_text(bool b) { return b ? "TRUE" : "FALSE"; }

// ---- text helpers ------------------------------------------------------------

// At most width bytes of s, never ending inside a double-byte character.
size_t fit_width(std::string_view s, size_t width) {
    if (s.size() <= width) return s.size();
    size_t i = 0;
    while (i < width) {
        const size_t w = IsDBCSLeadByte(s[i]) ? 2 : 1;
        if (i + w > width) break;
        i += w;
    }
    return i;
}

int32_t field_size(int kind, int width) {
    switch (kind) {
        case PT_INT: return 4;
        case PT_FLOAT: return ExtendedSize;
        case PT_BOOL: return 1;
        case PT_STR: return width + 1;
        default: return -1;
    }
}

constexpr char kCorrupt[] = "table data: corrupt";

}  // namespace

// ---- TDBFieldList -----------------------------------------------------------

void TDBFieldList::recompute() {
    offsets_.resize(fields_.size());
    int32_t off = 0;
    for (size_t i = 0; i < fields_.size(); ++i) {
        offsets_[i] = off;
        off += fields_[i].Size;
    }
    record_size_ = off;
}

int TDBFieldList::AddField(const std::string& Name, int Kind, int Width) {
    if (Width < 0) Width = 0;
    if (Width > MaxStringWidth) return -1;
    const int32_t size = field_size(Kind, Width);
    if (size < 0) return -1;
    if (owner_) owner_->InsertColumnSpace(Kind, size);
    fields_.emplace_back(Name, static_cast<uint8_t>(Kind), size);
    recompute();
    return static_cast<int>(fields_.size()) - 1;
}

bool TDBFieldList::Delete(int I) {
    if (I < 0 || I >= Count()) return false;
    if (owner_) owner_->DeleteColumnSpace(I);
    fields_.erase(fields_.begin() + I);
    recompute();
    return true;
}

const TDBField* TDBFieldList::GetField(int I) const {
    return (I >= 0 && I < Count()) ? &fields_[static_cast<size_t>(I)] : nullptr;
}

int TDBFieldList::IndexOf(std::string_view Name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (AnsiSameText(fields_[i].Name, Name)) return static_cast<int>(i);
    return -1;
}

int TDBFieldList::GetFieldOffset(int I) const {
    return (I >= 0 && I < Count()) ? offsets_[static_cast<size_t>(I)] : -1;
}

void TDBFieldList::Assign(const TDBFieldList& Other) {
    fields_ = Other.fields_;
    recompute();
}

bool TDBFieldList::IsSameLayout(const TDBFieldList& Other) const {
    if (fields_.size() != Other.fields_.size()) return false;
    for (size_t i = 0; i < fields_.size(); ++i) {
        const TDBField &a = fields_[i], &b = Other.fields_[i];
        if (a.Name != b.Name || a.Kind != b.Kind || a.Size != b.Size) return false;
    }
    return true;
}

void TDBFieldList::Clear() {
    fields_.clear();
    offsets_.clear();
    record_size_ = 0;
}

void TDBFieldList::SaveToStream(TStream& S) const {
    WriteStreamInteger(S, static_cast<int32_t>(fields_.size()));
    for (const TDBField& f : fields_) {
        WriteStreamInteger(S, f.Size);
        WriteStreamString(S, f.Name);
        WriteStreamByte(S, f.Kind);
    }
}

void TDBFieldList::LoadFromStream(TStream& S) {
    FieldReader r(S, kCorrupt);
    // Each column takes at least 9 bytes: size, name length, kind.
    const uint32_t count = r.Count("column count", 9, INT32_MAX);
    std::vector<TDBField> fields;
    fields.reserve(count);
    int64_t record = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t size = r.I32("column size");
        std::string name = r.String("column name");
        const uint8_t kind = r.U8("column kind");
        // Only the four kinds exist, each with its own size: an unknown kind
        // (whose size would count as -1) would place cells outside the row.
        const int32_t want = field_size(kind, 0);
        const bool ok = kind == PT_STR ? (size >= 1 && size <= MaxStringWidth + 1) : (want > 0 && size == want);
        if (!ok) throw ECorruptData("table data: bad column " + name);
        record += size;
        fields.emplace_back(std::move(name), kind, size);
    }
    if (record > INT32_MAX) r.Fail("record size");
    fields_ = std::move(fields);
    recompute();
}

// ---- TDBCustomTable by-name cells ---------------------------------------------

bool TDBCustomTable::GetIntByName(std::string_view Column, int32_t& V) { return GetInt(RecNo(), Fields.IndexOf(Column), V); }
bool TDBCustomTable::SetIntByName(std::string_view Column, int32_t V) { return SetInt(RecNo(), Fields.IndexOf(Column), V); }
bool TDBCustomTable::GetFloatByName(std::string_view Column, long double& V) {
    return GetFloat(RecNo(), Fields.IndexOf(Column), V);
}
bool TDBCustomTable::SetFloatByName(std::string_view Column, long double V) {
    return SetFloat(RecNo(), Fields.IndexOf(Column), V);
}
bool TDBCustomTable::GetBoolByName(std::string_view Column, bool& V) { return GetBool(RecNo(), Fields.IndexOf(Column), V); }
bool TDBCustomTable::SetBoolByName(std::string_view Column, bool V) { return SetBool(RecNo(), Fields.IndexOf(Column), V); }
bool TDBCustomTable::GetStringByName(std::string_view Column, std::string& V) {
    return GetString(RecNo(), Fields.IndexOf(Column), V);
}
bool TDBCustomTable::SetStringByName(std::string_view Column, std::string_view V) {
    return SetString(RecNo(), Fields.IndexOf(Column), V);
}

// ---- TDBTable rows ------------------------------------------------------------

uint8_t* TDBTable::GetRecord(int I) {
    return (I >= 0 && I < RecordCount()) ? rows_[static_cast<size_t>(I)].data() : nullptr;
}

void TDBTable::InsertColumnSpace(int, int Size) {
    for (auto& r : rows_) r.resize(r.size() + static_cast<size_t>(Size), 0);
}

void TDBTable::DeleteColumnSpace(int I) {
    const int off = Fields.GetFieldOffset(I);
    if (off < 0) return;
    const size_t size = static_cast<size_t>(Fields.GetField(I)->Size);
    for (auto& r : rows_) r.erase(r.begin() + off, r.begin() + off + static_cast<ptrdiff_t>(size));
}

void TDBTable::Append() {
    rows_.emplace_back(static_cast<size_t>(Fields.RecordSize()), 0);
    rec_no_ = RecordCount() - 1;
}

void TDBTable::Delete() {
    if (rec_no_ < 0 || rec_no_ >= RecordCount()) return;
    rows_.erase(rows_.begin() + rec_no_);
    if (rec_no_ >= RecordCount()) rec_no_ = RecordCount() - 1;
}

bool TDBTable::First() {
    if (rows_.empty()) return false;
    rec_no_ = 0;
    return true;
}

bool TDBTable::Last() {
    if (rows_.empty()) return false;
    rec_no_ = RecordCount() - 1;
    return true;
}

bool TDBTable::Next() {
    if (rec_no_ >= RecordCount() - 1) return false;
    ++rec_no_;
    return true;
}

bool TDBTable::Prior() {
    if (rec_no_ <= 0) return false;
    --rec_no_;
    return true;
}

bool TDBTable::SetRecNo(int I) {
    if (I < -1 || I >= RecordCount()) return false;
    rec_no_ = I;
    return true;
}

// ---- TDBTable cells -----------------------------------------------------------

uint8_t* TDBTable::cell(int Row, int Col, const TDBField*& field) {
    uint8_t* rec = GetRecord(Row);
    field = Fields.GetField(Col);
    if (!rec || !field) return nullptr;
    return rec + Fields.GetFieldOffset(Col);
}

namespace {

int32_t load_i32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void store_i32(uint8_t* p, int32_t v) { std::memcpy(p, &v, 4); }

// The text of a string cell: up to its 0 byte, and never past the cell even
// when loaded data lacks the terminator.
std::string_view load_text(const uint8_t* p, const TDBField& f) {
    const char* c = reinterpret_cast<const char*>(p);
    const void* nul = std::memchr(c, 0, static_cast<size_t>(f.Size));
    return std::string_view(c, nul ? static_cast<size_t>(static_cast<const char*>(nul) - c) : static_cast<size_t>(f.Size));
}

void store_text(uint8_t* p, const TDBField& f, std::string_view s) {
    const size_t n = fit_width(s, static_cast<size_t>(f.Size - 1));
    std::memcpy(p, s.data(), n);
    std::memset(p + n, 0, static_cast<size_t>(f.Size) - n);
}

}  // namespace

bool TDBTable::GetInt(int Row, int Col, int32_t& V) {
    const TDBField* f;
    const uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: V = load_i32(p); break;
        case PT_FLOAT: V = round_to_int32(LoadExtended(p)); break;
        case PT_BOOL: V = *p != 0; break;
        default: V = int_or_zero(load_text(p, *f)); break;
    }
    return true;
}

bool TDBTable::SetInt(int Row, int Col, int32_t V) {
    const TDBField* f;
    uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: store_i32(p, V); break;
        case PT_FLOAT: StoreExtended(p, V); break;
        case PT_BOOL: *p = V != 0; break;
        default: store_text(p, *f, std::to_string(V)); break;
    }
    return true;
}

bool TDBTable::GetFloat(int Row, int Col, long double& V) {
    const TDBField* f;
    const uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: V = load_i32(p); break;
        case PT_FLOAT: V = LoadExtended(p); break;
        case PT_BOOL: V = *p != 0; break;
        default: V = float_or_raise(load_text(p, *f)); break;
    }
    return true;
}

bool TDBTable::SetFloat(int Row, int Col, long double V) {
    const TDBField* f;
    uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: store_i32(p, round_to_int32(V)); break;
        case PT_FLOAT: StoreExtended(p, V); break;
        case PT_BOOL: *p = V != 0; break;
        default: store_text(p, *f, float_to_str(V)); break;
    }
    return true;
}

bool TDBTable::GetBool(int Row, int Col, bool& V) {
    const TDBField* f;
    const uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: V = load_i32(p) != 0; break;
        case PT_FLOAT: V = LoadExtended(p) != 0; break;
        case PT_BOOL: V = *p != 0; break;
        default: V = load_text(p, *f) == "TRUE"; break;
    }
    return true;
}

bool TDBTable::SetBool(int Row, int Col, bool V) {
    const TDBField* f;
    uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: store_i32(p, V ? 1 : 0); break;
        case PT_FLOAT: StoreExtended(p, V ? 1 : 0); break;
        case PT_BOOL: *p = V; break;
        default: store_text(p, *f, bool_text(V)); break;
    }
    return true;
}

bool TDBTable::GetString(int Row, int Col, std::string& V) {
    const TDBField* f;
    const uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: V = std::to_string(load_i32(p)); break;
        case PT_FLOAT: V = float_to_str(LoadExtended(p)); break;
        case PT_BOOL: V = bool_text(*p != 0); break;
        default: V = load_text(p, *f); break;
    }
    return true;
}

bool TDBTable::SetString(int Row, int Col, std::string_view V) {
    const TDBField* f;
    uint8_t* p = cell(Row, Col, f);
    if (!p) return false;
    switch (f->Kind) {
        case PT_INT: store_i32(p, int_or_zero(V)); break;
        case PT_FLOAT: StoreExtended(p, float_or_zero(V)); break;
        case PT_BOOL: *p = V == "TRUE"; break;
        default: store_text(p, *f, V); break;
    }
    return true;
}

// ---- search and sort ------------------------------------------------------------

void TDBTable::Search(TIntList& Result, const TDBSearchKeys& Keys) {
    const size_t nkeys = std::min(Keys.Columns.size(), Keys.Values.size());
    std::vector<int> cols(nkeys);
    // An unknown column ends the whole search at the first row that gets
    // as far as that key.
    size_t usable = nkeys;
    for (size_t k = 0; k < nkeys; ++k) {
        cols[k] = Fields.IndexOf(Keys.Columns[k]);
        if (cols[k] < 0) {
            usable = k;
            break;
        }
    }
    std::vector<std::string> upper_keys(nkeys);
    if (Keys.PartialMatch && Keys.IgnoreCase)
        for (size_t k = 0; k < usable; ++k)
            if (Keys.Values[k].Type == PT_STR) upper_keys[k] = AnsiUpperCase(Keys.Values[k].Str);

    for (int row = 0; row < RecordCount(); ++row) {
        bool match = true;
        for (size_t k = 0; k < nkeys && match; ++k) {
            if (k == usable) return;
            const TDBValue& key = Keys.Values[k];
            const int col = cols[k];
            switch (key.Type) {
                case PT_INT: {
                    int32_t v = 0;
                    GetInt(row, col, v);
                    match = v == key.Int;
                    break;
                }
                case PT_FLOAT: {
                    long double v = 0;
                    GetFloat(row, col, v);
                    match = v == key.Float;
                    break;
                }
                case PT_BOOL: {
                    bool v = false;
                    GetBool(row, col, v);
                    match = v == key.Bool;
                    break;
                }
                case PT_STR: {
                    std::string v;
                    GetString(row, col, v);
                    if (Keys.PartialMatch) {
                        // The cell's text must occur inside the key's.
                        if (v.empty()) match = false;
                        else if (Keys.IgnoreCase) match = JPos(AnsiUpperCase(v), upper_keys[k]) > 0;
                        else match = JPos(v, key.Str) > 0;
                    } else {
                        match = Keys.IgnoreCase ? AnsiSameText(v, key.Str) : v == key.Str;
                    }
                    break;
                }
                default: match = false; break;
            }
        }
        if (match) Result.Add(row);
    }
}

namespace {

// The platform list's quicksort (middle pivot, not stable), so that rows
// with equal keys end up in the order scripts have always seen.
template <class Compare>
void list_quick_sort(std::vector<int32_t>& a, int L, int R, Compare cmp) {
    int I, J;
    do {
        I = L;
        J = R;
        const int32_t P = a[static_cast<size_t>((L + R) >> 1)];
        do {
            while (cmp(a[static_cast<size_t>(I)], P) < 0) ++I;
            while (cmp(a[static_cast<size_t>(J)], P) > 0) --J;
            if (I <= J) {
                std::swap(a[static_cast<size_t>(I)], a[static_cast<size_t>(J)]);
                ++I;
                --J;
            }
        } while (I <= J);
        if (L < J) list_quick_sort(a, L, J, cmp);
        L = I;
    } while (I < R);
}

template <class T>
int three_way(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

void TDBTable::Sort(const std::vector<std::string>& Columns, const std::vector<bool>& Descending) {
    struct Key {
        int col;
        uint8_t kind;
        bool desc;
    };
    std::vector<Key> keys;
    for (size_t k = 0; k < Columns.size(); ++k) {
        const int col = Fields.IndexOf(Columns[k]);
        if (col < 0) continue;
        keys.push_back({col, Fields.GetField(col)->Kind, k < Descending.size() && Descending[k]});
    }
    if (rows_.size() < 2 || keys.empty()) return;
    auto compare = [&](int32_t a, int32_t b) {
        for (const Key& k : keys) {
            int c = 0;
            switch (k.kind) {
                case PT_INT: {
                    int32_t x = 0, y = 0;
                    GetInt(a, k.col, x);
                    GetInt(b, k.col, y);
                    c = three_way(x, y);
                    break;
                }
                case PT_FLOAT: {
                    long double x = 0, y = 0;
                    GetFloat(a, k.col, x);
                    GetFloat(b, k.col, y);
                    c = three_way(x, y);
                    break;
                }
                case PT_BOOL: {
                    bool x = false, y = false;
                    GetBool(a, k.col, x);
                    GetBool(b, k.col, y);
                    c = three_way(x, y);
                    break;
                }
                default: {
                    const TDBField* f = Fields.GetField(k.col);
                    const int off = Fields.GetFieldOffset(k.col);
                    c = AnsiCompareStr(load_text(GetRecord(a) + off, *f), load_text(GetRecord(b) + off, *f));
                    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
                    break;
                }
            }
            if (c != 0) return k.desc ? -c : c;
        }
        return 0;
    };
    std::vector<int32_t> order(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
    list_quick_sort(order, 0, static_cast<int>(order.size()) - 1, compare);
    std::vector<std::vector<uint8_t>> sorted;
    sorted.reserve(rows_.size());
    for (int32_t i : order) sorted.push_back(std::move(rows_[static_cast<size_t>(i)]));
    rows_ = std::move(sorted);
}

// ---- text and streams -------------------------------------------------------------

bool TDBTable::LoadFromText(const std::vector<std::string>& Lines) {
    Clear();
    if (Lines.empty()) return false;
    TTabStrings cells;
    cells.SetTabText(Lines[0]);
    for (int32_t c = 0; c < cells.Count(); ++c) {
        std::string rest = cells.Get(c), name, type;
        JFetchToken(rest, " ", name);
        JFetchToken(rest, " ", type);
        name = JTrim(name);
        type = JTrim(type);
        const int kind = type == "int" ? PT_INT : type == "float" ? PT_FLOAT : type == "bool" ? PT_BOOL : PT_STR;
        int32_t width = 80;
        if (!parse_int(rest, width)) width = 80;
        Fields.AddField(name, kind, width);
    }
    for (size_t i = 1; i < Lines.size(); ++i) {
        if (Lines[i].empty()) continue;
        cells.SetTabText(UnescapeText(Lines[i]));
        Append();
        const int n = std::min(Fields.Count(), cells.Count());
        for (int c = 0; c < n; ++c) SetString(rec_no_, c, cells.Get(c));
    }
    return true;
}

void TDBTable::Clear() {
    rows_.clear();
    rec_no_ = -1;
    Fields.Clear();
}

void TDBTable::ClearRows() {
    rows_.clear();
    rec_no_ = -1;
}

void TDBTable::SaveToStream(TStream& S) {
    WriteStreamString(S, Name);
    WriteStreamByte(S, Kind);
    Fields.SaveToStream(S);
    WriteStreamInteger(S, RecordCount());
    for (const auto& r : rows_) S.WriteBuffer(r.data(), static_cast<int64_t>(r.size()));
    WriteStreamInteger(S, rec_no_);
}

void TDBTable::LoadFromStream(TStream& S) {
    FieldReader r(S, kCorrupt);
    std::string name = r.String("table name");
    const uint8_t kind = r.U8("table kind");
    TDBFieldList fields(nullptr);
    fields.LoadFromStream(S);
    const int64_t record = fields.RecordSize();
    // A row of no columns has no bytes, yet each costs memory: such rows
    // count as a byte each, so the stream still bounds how many there are.
    const uint32_t count = r.Count("row count", static_cast<uint64_t>(std::max<int64_t>(record, 1)), MaxRows);
    std::vector<std::vector<uint8_t>> rows(count, std::vector<uint8_t>(static_cast<size_t>(record)));
    for (auto& row : rows) r.Bytes(row.data(), row.size(), "row");
    const int32_t rec_no = r.I32("current row");
    if (rec_no < -1 || rec_no >= static_cast<int64_t>(count)) r.Fail("current row");
    Name = std::move(name);
    Kind = kind;
    Fields.Assign(fields);
    rows_ = std::move(rows);
    rec_no_ = rec_no;
}

// ---- TDBManager -------------------------------------------------------------------

TDBTable* TDBManager::GetTable(int I) {
    return (I >= 0 && I < Count()) ? tables_[static_cast<size_t>(I)].get() : nullptr;
}

TDBTable* TDBManager::NewTable(const std::string& Name, uint8_t Kind) {
    tables_.push_back(std::make_unique<TDBTable>(Name, Kind));
    return tables_.back().get();
}

int TDBManager::AddTable(const std::string& Name, uint8_t Kind) {
    if (Name.empty() || IndexOf(Name) >= 0) return -1;
    NewTable(Name, Kind);
    current_ = Count() - 1;
    return current_;
}

void TDBManager::reselect(const std::string& name) { current_ = name.empty() ? -1 : IndexOf(name); }

bool TDBManager::DeleteTable(std::string_view Name) {
    const int i = IndexOf(Name);
    if (i < 0) return false;
    TDBTable* cur = GetCurrent();
    const std::string cur_name = cur && cur != GetTable(i) ? cur->Name : std::string();
    tables_.erase(tables_.begin() + i);
    reselect(cur_name);
    return true;
}

int TDBManager::IndexOf(std::string_view Name) const {
    for (size_t i = 0; i < tables_.size(); ++i)
        if (AnsiSameText(tables_[i]->Name, Name)) return static_cast<int>(i);
    return -1;
}

TDBTable* TDBManager::GetCurrent() { return GetTable(current_); }

bool TDBManager::Select(std::string_view Name) {
    const int i = IndexOf(Name);
    if (i < 0) return false;
    current_ = i;
    return true;
}

void TDBManager::Clear() {
    tables_.clear();
    current_ = -1;
}

bool TDBManager::FindCell(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                          TDBTable*& Table, int& Row, int& Col) {
    Table = GetTable(IndexOf(TableName));
    if (!Table) return false;
    TIntList rows;
    Table->Search(rows, Keys);
    if (rows.Count() == 0) return false;
    Row = rows.Get(0);
    Col = Table->Fields.IndexOf(Column);
    return Col >= 0;
}

namespace {

template <class T>
T get_value(TDBManager& m, std::string_view table, const TDBSearchKeys& keys, std::string_view column, T value,
            bool (TDBTable::*get)(int, int, T&)) {
    TDBTable* t;
    int row, col;
    if (m.FindCell(table, keys, column, t, row, col)) (t->*get)(row, col, value);
    return value;
}

template <class T>
bool set_value(TDBManager& m, std::string_view table, const TDBSearchKeys& keys, std::string_view column, T value,
               bool (TDBTable::*set)(int, int, T)) {
    TDBTable* t;
    int row, col;
    return m.FindCell(table, keys, column, t, row, col) && (t->*set)(row, col, value);
}

}  // namespace

int32_t TDBManager::GetIntValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                                int32_t Default) {
    return get_value(*this, TableName, Keys, Column, Default, &TDBTable::GetInt);
}

long double TDBManager::GetFloatValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                                      long double Default) {
    return get_value(*this, TableName, Keys, Column, Default, &TDBTable::GetFloat);
}

bool TDBManager::GetBoolValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                              bool Default) {
    return get_value(*this, TableName, Keys, Column, Default, &TDBTable::GetBool);
}

std::string TDBManager::GetStringValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                                       const std::string& Default) {
    return get_value(*this, TableName, Keys, Column, Default, &TDBTable::GetString);
}

bool TDBManager::SetIntValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                             int32_t V) {
    return set_value(*this, TableName, Keys, Column, V, &TDBTable::SetInt);
}

bool TDBManager::SetFloatValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                               long double V) {
    return set_value(*this, TableName, Keys, Column, V, &TDBTable::SetFloat);
}

bool TDBManager::SetBoolValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                              bool V) {
    return set_value(*this, TableName, Keys, Column, V, &TDBTable::SetBool);
}

bool TDBManager::SetStringValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                                std::string_view V) {
    return set_value(*this, TableName, Keys, Column, V, &TDBTable::SetString);
}

namespace {

// Copies are taken before appending, so a table may append its own rows.
void append_rows(TDBTable& dest, TDBTable& src, const TIntList& rows) {
    const size_t size = static_cast<size_t>(dest.Fields.RecordSize());
    std::vector<std::vector<uint8_t>> copies;
    for (int32_t i = 0; i < rows.Count(); ++i)
        if (const uint8_t* from = src.GetRecord(rows.Get(i))) copies.emplace_back(from, from + size);
    for (const auto& c : copies) {
        dest.Append();
        std::memcpy(dest.CurrentRecord(), c.data(), size);
    }
}

}  // namespace

bool TDBManager::CopyRowsTo(std::string_view Name, const TIntList& Rows) {
    TDBTable* cur = GetCurrent();
    TDBTable* dest = GetTable(IndexOf(Name));
    if (!cur || !dest || dest == cur) return false;
    dest->Clear();
    dest->Fields.Assign(cur->Fields);
    append_rows(*dest, *cur, Rows);
    return true;
}

bool TDBManager::AppendRowsFrom(std::string_view Name, const TIntList& Rows) {
    TDBTable* cur = GetCurrent();
    TDBTable* src = GetTable(IndexOf(Name));
    if (!cur || !src || !cur->Fields.IsSameLayout(src->Fields)) return false;
    append_rows(*cur, *src, Rows);
    return true;
}

void TDBManager::SaveToStream(TStream& S, uint8_t Kind) {
    WriteStreamInteger(S, 100);
    int32_t count = 0;
    for (const auto& t : tables_) count += t->Kind == Kind;
    WriteStreamInteger(S, count);
    for (const auto& t : tables_) {
        if (t->Kind != Kind) continue;
        WriteStreamByte(S, static_cast<uint8_t>(t->ClassCode()));
        t->SaveToStream(S);
    }
    if (Kind == 0) {
        TDBTable* cur = GetCurrent();
        WriteStreamString(S, cur ? cur->Name : std::string());
    }
}

void TDBManager::LoadFromStream(TStream& S, uint8_t Kind) {
    FieldReader r(S, kCorrupt);
    if (r.U32("version") != 100) r.Fail("version");
    // A table takes at least 18 bytes: class, name, kind, columns, rows, current row.
    const uint32_t count = r.Count("table count", 18, INT32_MAX);
    std::vector<std::unique_ptr<TDBTable>> loaded;
    for (uint32_t i = 0; i < count; ++i) {
        if (r.U8("table class") != 0) r.Fail("table class");
        auto t = std::make_unique<TDBTable>(std::string(), Kind);
        t->LoadFromStream(S);
        loaded.push_back(std::move(t));
    }
    std::string current_name;
    if (Kind == 0) current_name = r.String("current table");

    TDBTable* cur = GetCurrent();
    const std::string kept_name = cur && cur->Kind != Kind ? cur->Name : std::string();
    std::erase_if(tables_, [Kind](const std::unique_ptr<TDBTable>& t) { return t->Kind == Kind; });
    reselect(kept_name);
    for (auto& t : loaded) {
        tables_.push_back(std::move(t));
        current_ = Count() - 1;
    }
    // The saved selection, none included, is restored.
    if (Kind == 0) reselect(current_name);
}

void TDBManager::ClearGameTables() {
    std::erase_if(tables_, [](const std::unique_ptr<TDBTable>& t) { return t->Kind == 0; });
    current_ = -1;
}

TDBManager& DBManager() {
    static TDBManager manager;
    return manager;
}
