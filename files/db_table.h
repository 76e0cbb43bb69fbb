// Typed in-memory tables of the scenario scripts: named, typed columns and
// rows of fixed-size records, filled from tab-separated text, searched,
// sorted and saved with the game (kind 0) or with the status save (kind 1).
#pragma once
#include "files/containers.h"
#include "files/vocab.h"
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDBCustomTable;

// Column types are the value type codes PT_INT, PT_FLOAT, PT_BOOL, PT_STR.
class TDBField {
public:
    TDBField(std::string name, uint8_t kind, int32_t size) : Name(std::move(name)), Kind(kind), Size(size) {}
    std::string Name;
    uint8_t Kind;
    int32_t Size;  // bytes in the record: int 4, float 10, bool 1, string width + 1
};

class TDBFieldList {
public:
    explicit TDBFieldList(TDBCustomTable* owner) : owner_(owner) {}

    // Adds a column (widening every row first); index, or -1 for an unknown
    // kind or a string width beyond MaxStringWidth. Negative widths count as 0.
    int AddField(const std::string& Name, int Kind, int Width);
    // Removes column I from every row and from the list.
    bool Delete(int I);
    const TDBField* GetField(int I) const;
    int Count() const { return static_cast<int>(fields_.size()); }
    int IndexOf(std::string_view Name) const;  // case-insensitive; -1 when none
    int GetFieldOffset(int I) const;
    int32_t RecordSize() const { return record_size_; }
    // Copies the columns only (the owner's rows are not touched).
    void Assign(const TDBFieldList& Other);
    // Same count and, per column, the same name (case-sensitive), kind and size.
    bool IsSameLayout(const TDBFieldList& Other) const;
    void Clear();
    void SaveToStream(TStream& S) const;
    // Replaces the columns; raises ECorruptData on truncated or bad data.
    void LoadFromStream(TStream& S);

    static constexpr int MaxStringWidth = 1 << 20;

private:
    void recompute();
    TDBCustomTable* owner_;
    std::vector<TDBField> fields_;
    std::vector<int32_t> offsets_;
    int32_t record_size_ = 0;
};

// A typed key value of a search.
struct TDBValue {
    TValueType Type = PT_NONE;
    int32_t Int = 0;
    long double Float = 0;
    bool Bool = false;
    std::string Str;
    static TDBValue OfInt(int32_t v) { return TDBValue{PT_INT, v, 0, false, {}}; }
    static TDBValue OfFloat(long double v) { return TDBValue{PT_FLOAT, 0, v, false, {}}; }
    static TDBValue OfBool(bool v) { return TDBValue{PT_BOOL, 0, 0, v, {}}; }
    static TDBValue OfStr(std::string v) { return TDBValue{PT_STR, 0, 0, false, std::move(v)}; }
};

// Keys of a search: column names and values are paired up to the shorter
// list; no keys match every row.
struct TDBSearchKeys {
    std::vector<std::string> Columns;
    std::vector<TDBValue> Values;
    bool PartialMatch = false;
    bool IgnoreCase = false;
};

class TDBCustomTable {
public:
    TDBCustomTable(std::string name, uint8_t kind) : Fields(this), Name(std::move(name)), Kind(kind) {}
    virtual ~TDBCustomTable() = default;
    TDBCustomTable(const TDBCustomTable&) = delete;
    TDBCustomTable& operator=(const TDBCustomTable&) = delete;

    TDBFieldList Fields;
    std::string Name;
    uint8_t Kind;  // 0 saved with game saves, 1 with the status save

    virtual int ClassCode() const { return 0; }
    virtual int RecordCount() const { return 0; }
    virtual int RecNo() const { return -1; }
    virtual uint8_t* CurrentRecord() { return nullptr; }
    virtual uint8_t* GetRecord(int) { return nullptr; }
    virtual void InsertColumnSpace(int /*Kind*/, int /*Size*/) {}
    virtual void DeleteColumnSpace(int) {}
    virtual void Append() {}
    virtual void Delete() {}
    virtual bool First() { return false; }
    virtual bool Last() { return false; }
    virtual bool Next() { return false; }
    virtual bool Prior() { return false; }
    virtual bool SetRecNo(int) { return false; }

    // The current row's cell in the named column; false without one.
    bool GetIntByName(std::string_view Column, int32_t& V);
    bool SetIntByName(std::string_view Column, int32_t V);
    bool GetFloatByName(std::string_view Column, long double& V);
    bool SetFloatByName(std::string_view Column, long double V);
    bool GetBoolByName(std::string_view Column, bool& V);
    bool SetBoolByName(std::string_view Column, bool V);
    bool GetStringByName(std::string_view Column, std::string& V);
    bool SetStringByName(std::string_view Column, std::string_view V);

    // By row and column index, converting between the column's kind and the
    // value's; false (nothing changed) when either is out of range. GetFloat
    // of a string cell that holds no number raises EConvertError.
    virtual bool GetInt(int, int, int32_t&) { return false; }
    virtual bool SetInt(int, int, int32_t) { return false; }
    virtual bool GetFloat(int, int, long double&) { return false; }
    virtual bool SetFloat(int, int, long double) { return false; }
    virtual bool GetBool(int, int, bool&) { return false; }
    virtual bool SetBool(int, int, bool) { return false; }
    virtual bool GetString(int, int, std::string&) { return false; }
    virtual bool SetString(int, int, std::string_view) { return false; }

    // Appends the indices of matching rows, in row order, to Result.
    virtual void Search(TIntList& /*Result*/, const TDBSearchKeys&) {}
    virtual bool LoadFromText(const std::vector<std::string>& /*Lines*/) { return false; }
    virtual void Clear() {}
    virtual void ClearRows() {}
    virtual void SaveToStream(TStream&) {}
    virtual void LoadFromStream(TStream&) {}
    virtual void Sort(const std::vector<std::string>& /*Columns*/, const std::vector<bool>& /*Descending*/) {}
};

class TDBTable : public TDBCustomTable {
public:
    using TDBCustomTable::TDBCustomTable;

    int RecordCount() const override { return static_cast<int>(rows_.size()); }
    int RecNo() const override { return rec_no_; }
    uint8_t* CurrentRecord() override { return GetRecord(rec_no_); }
    uint8_t* GetRecord(int I) override;
    void InsertColumnSpace(int Kind, int Size) override;
    void DeleteColumnSpace(int I) override;
    void Append() override;
    void Delete() override;
    bool First() override;
    bool Last() override;
    bool Next() override;
    bool Prior() override;
    bool SetRecNo(int I) override;

    bool GetInt(int Row, int Col, int32_t& V) override;
    bool SetInt(int Row, int Col, int32_t V) override;
    bool GetFloat(int Row, int Col, long double& V) override;
    bool SetFloat(int Row, int Col, long double V) override;
    bool GetBool(int Row, int Col, bool& V) override;
    bool SetBool(int Row, int Col, bool V) override;
    bool GetString(int Row, int Col, std::string& V) override;
    bool SetString(int Row, int Col, std::string_view V) override;

    void Search(TIntList& Result, const TDBSearchKeys& Keys) override;
    // Header line of "name type width" cells, then one row per non-empty
    // line; false when there is no header.
    bool LoadFromText(const std::vector<std::string>& Lines) override;
    void Clear() override;
    void ClearRows() override;
    void SaveToStream(TStream& S) override;
    // Raises ECorruptData on truncated or inconsistent data.
    void LoadFromStream(TStream& S) override;
    void Sort(const std::vector<std::string>& Columns, const std::vector<bool>& Descending) override;

    // Largest row count a stream may declare.
    static constexpr int MaxRows = 1 << 24;

private:
    uint8_t* cell(int Row, int Col, const TDBField*& field);
    std::vector<std::vector<uint8_t>> rows_;
    int rec_no_ = -1;
};

class TDBManager {
public:
    int Count() const { return static_cast<int>(tables_.size()); }
    TDBTable* GetTable(int I);
    // Appends a new empty table without checks.
    TDBTable* NewTable(const std::string& Name, uint8_t Kind);
    // -1 for an empty or already used name (case-insensitive); otherwise the
    // new table's index, and it becomes current.
    int AddTable(const std::string& Name, uint8_t Kind);
    bool DeleteTable(std::string_view Name);
    int IndexOf(std::string_view Name) const;
    TDBTable* GetCurrent();
    int CurrentIndex() const { return current_; }
    bool Select(std::string_view Name);
    void Clear();

    // The first row of table TableName matching Keys and the index of Column.
    bool FindCell(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column, TDBTable*& Table,
                  int& Row, int& Col);
    int32_t GetIntValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column, int32_t Default);
    long double GetFloatValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                              long double Default);
    bool GetBoolValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column, bool Default);
    std::string GetStringValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                               const std::string& Default);
    bool SetIntValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column, int32_t V);
    bool SetFloatValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column, long double V);
    bool SetBoolValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column, bool V);
    bool SetStringValue(std::string_view TableName, const TDBSearchKeys& Keys, std::string_view Column,
                        std::string_view V);

    // Table Name is cleared and gets the current table's columns and copies
    // of its listed rows (indices out of range are skipped).
    bool CopyRowsTo(std::string_view Name, const TIntList& Rows);
    // Copies of the listed rows of table Name are appended to the current
    // table, when both have the same layout.
    bool AppendRowsFrom(std::string_view Name, const TIntList& Rows);

    void SaveToStream(TStream& S, uint8_t Kind);
    // Replaces the tables of that kind; on bad data raises ECorruptData and
    // leaves the tables as they were.
    void LoadFromStream(TStream& S, uint8_t Kind);
    // Deletes every kind-0 table and unselects the current one.
    void ClearGameTables();

private:
    void reselect(const std::string& name);
    std::vector<std::unique_ptr<TDBTable>> tables_;
    int current_ = -1;
};

// The program's one table manager.
TDBManager& DBManager();
