#include "script/sys_funcs_table.h"

#include "script/param_collection.h"
#include "script/sys_funcs_array.h"
#include "files/containers.h"
#include "files/db_table.h"
#include "files/vr_file_manager.h"
#include "platform/filesystem/stream.h"

#include <cstring>

namespace {

constexpr uint8_t fnCreateTable = 87, fnSetActive = 88, fnAddField = 89, fnSetRecNo = 90, fnInsert = 91,
                  fnDelete = 92, fnGetInt = 93, fnSetInt = 94, fnGetFloat = 95, fnSetFloat = 96, fnGetBool = 97,
                  fnSetBool = 98, fnGetStr = 99, fnSetStr = 100, fnRecordCount = 101, fnFindFirst = 102,
                  fnFindLast = 103, fnFindNext = 104, fnFindPrior = 105, fnLocate = 106, fnLoadTsvFile = 107,
                  fnDirectGetInt = 108, fnDirectSetInt = 109, fnDirectGetFloat = 110, fnDirectSetFloat = 111,
                  fnDirectGetBool = 112, fnDirectSetBool = 113, fnDirectGetStr = 114, fnDirectSetStr = 115,
                  fnCopyTable = 116, fnDeleteTable = 117, fnInsertTable = 118, fnCopy = 119, fnClearTable = 120,
                  fnSort = 121, fnGetActive = 122, fnGetRecNo = 123, fnClearRecord = 124;

// Keys (column names) and Values (typed by the array's element type) from
// arguments `at` and `at + 1`; missing ones match every row.
TDBSearchKeys keys_from(TSysFuncArgs a, size_t at) {
    TDBSearchKeys keys;
    keys.IgnoreCase = a.size() > at + 2 && a[at + 2]->GetAsBool();
    keys.PartialMatch = a.size() > at + 3 && a[at + 3]->GetAsBool();
    if (a.size() <= at + 1) return keys;
    const TCustomParam& names = *a[at];
    const TCustomParam& values = *a[at + 1];
    for (int32_t i = 0; i < names.Count(); ++i) keys.Columns.push_back(names.GetStrAt(i));
    for (int32_t i = 0; i < values.Count(); ++i) {
        switch (values.ParamType()) {
        case PT_INT: keys.Values.push_back(TDBValue::OfInt(values.GetIntAt(i))); break;
        case PT_FLOAT: keys.Values.push_back(TDBValue::OfFloat(values.GetFloatAt(i))); break;
        case PT_BOOL: keys.Values.push_back(TDBValue::OfBool(values.GetBoolAt(i))); break;
        default: keys.Values.push_back(TDBValue::OfStr(values.GetStrAt(i))); break;
        }
    }
    return keys;
}

// Every row when no keys were given, else the matching ones.
TIntList rows_of(TDBTable& t, TSysFuncArgs a, size_t at) {
    TIntList rows;
    if (a.size() <= at + 1) {
        for (int32_t i = 0; i < t.RecordCount(); ++i) rows.Add(i);
        return rows;
    }
    t.Search(rows, keys_from(a, at));
    return rows;
}

TDBTable* table_named(TDBManager& m, const std::string& name) {
    const int i = m.IndexOf(name);
    return i < 0 ? nullptr : m.GetTable(i);
}

bool load_tsv(TDBTable& t, const std::string& name) {
    if (!ScriptFileExists(name) || !FileManager) return false;
    TMemoryStream stream;
    FileManager->LoadToStream(stream, name);
    if (stream.GetSize() < 1) return false;
    const auto bytes = stream.Bytes();
    return t.LoadFromText(SplitScriptText(std::string(bytes.begin(), bytes.end()), "\r\n"));
}

// DBInsert writes argument k into column k by the argument's own type.
void insert_row(TDBTable& t, TSysFuncArgs a) {
    t.Append();
    const int row = t.RecNo();
    for (size_t k = 0; k < a.size() && static_cast<int>(k) < t.Fields.Count(); ++k) {
        const int col = static_cast<int>(k);
        switch (a[k]->ParamType()) {
        case PT_INT: t.SetInt(row, col, a[k]->GetAsInt()); break;
        case PT_FLOAT: t.SetFloat(row, col, a[k]->GetAsFloat()); break;
        case PT_BOOL: t.SetBool(row, col, a[k]->GetAsBool()); break;
        default: t.SetString(row, col, a[k]->GetAsString()); break;
        }
    }
}

bool copy_row(TDBManager& m, TDBTable& from, const std::string& name) {
    TDBTable* to = table_named(m, name);
    if (!to || !from.Fields.IsSameLayout(to->Fields)) return false;
    const uint8_t* src = from.CurrentRecord();
    to->Append();
    uint8_t* dst = to->CurrentRecord();
    if (src && dst) std::memcpy(dst, src, static_cast<size_t>(to->Fields.RecordSize()));
    return true;
}

std::vector<std::string> texts_of(const TCustomParam& v) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < v.Count(); ++i) out.push_back(v.GetStrAt(i));
    return out;
}

std::vector<bool> flags_of(const TCustomParam& v) {
    std::vector<bool> out;
    for (int32_t i = 0; i < v.Count(); ++i) out.push_back(v.GetBoolAt(i));
    return out;
}

}  // namespace

void CallTableFunction(TSysFuncMan&, TParamCollectionItem& dest, uint8_t index, TSysFuncArgs a) {
    TDBManager& m = DBManager();
    TDBTable* t = m.GetCurrent();
    const bool has_row = t && t->RecNo() >= 0;
    auto text = [&](size_t i) { return a[i]->GetAsString(); };
    switch (index) {
    case fnCreateTable: dest.SetAsBool(m.AddTable(text(0), a[1]->GetAsBool() ? 1 : 0) >= 0); break;
    case fnDeleteTable:
        if (a.empty()) {
            dest.SetAsBool(t && m.DeleteTable(std::string(t->Name)));
        } else {
            dest.SetAsBool(m.DeleteTable(text(0)));
        }
        break;
    case fnSetActive: dest.SetAsBool(m.Select(text(0))); break;
    case fnGetActive: dest.SetAsString(t ? t->Name : std::string()); break;
    case fnClearTable: m.Clear(); break;
    case fnClearRecord: {
        TDBTable* c = a.empty() ? t : table_named(m, text(0));
        if (c) c->ClearRows();
        dest.SetAsBool(c != nullptr);
        break;
    }
    case fnRecordCount: {
        TDBTable* c = a.empty() ? t : table_named(m, text(0));
        dest.SetAsInt(c ? c->RecordCount() : -1);
        break;
    }
    case fnAddField:
        dest.SetAsBool(t && t->Fields.AddField(text(0), a[1]->GetAsInt(), a.size() > 2 ? a[2]->GetAsInt() : 0) >= 0);
        break;
    case fnSetRecNo: dest.SetAsBool(t && t->SetRecNo(a[0]->GetAsInt())); break;
    case fnInsert:
        if (t) insert_row(*t, a);
        dest.SetAsBool(t != nullptr);
        break;
    case fnFindFirst: dest.SetAsBool(t && t->First()); break;
    case fnFindLast: dest.SetAsBool(t && t->Last()); break;
    case fnFindNext: dest.SetAsBool(t && t->Next()); break;
    case fnFindPrior: dest.SetAsBool(t && t->Prior()); break;
    case fnLocate: {
        bool found = false;
        if (t) {
            TIntList rows;
            t->Search(rows, keys_from(a, 0));
            found = rows.Count() > 0 && t->SetRecNo(rows.Get(0));
        }
        dest.SetAsBool(found);
        break;
    }
    case fnLoadTsvFile: dest.SetAsBool(t && load_tsv(*t, text(0))); break;
    case fnCopyTable: dest.SetAsBool(t && m.CopyRowsTo(text(0), rows_of(*t, a, 1))); break;
    case fnInsertTable: {
        TDBTable* from = table_named(m, text(0));
        dest.SetAsBool(t && from && m.AppendRowsFrom(text(0), rows_of(*from, a, 1)));
        break;
    }
    case fnSort:
        if (t) t->Sort(texts_of(*a[0]), flags_of(*a[1]));
        dest.SetAsBool(t != nullptr);
        break;
    case fnDelete:
        if (has_row) t->Delete();
        dest.SetAsBool(has_row);
        break;
    case fnCopy: dest.SetAsBool(has_row && copy_row(m, *t, text(0))); break;
    case fnSetInt: dest.SetAsBool(has_row && t->SetIntByName(text(0), a[1]->GetAsInt())); break;
    case fnSetFloat: dest.SetAsBool(has_row && t->SetFloatByName(text(0), a[1]->GetAsFloat())); break;
    case fnSetBool: dest.SetAsBool(has_row && t->SetBoolByName(text(0), a[1]->GetAsBool())); break;
    case fnSetStr: dest.SetAsBool(has_row && t->SetStringByName(text(0), a[1]->GetAsString())); break;
    case fnGetInt: {
        int32_t v = 0;
        if (!has_row || !t->GetIntByName(text(0), v)) v = 0;
        dest.SetAsInt(v);
        break;
    }
    case fnGetFloat: {
        long double v = 0;
        if (!has_row || !t->GetFloatByName(text(0), v)) v = 0;
        dest.SetAsFloat(v);
        break;
    }
    case fnGetBool: {
        bool v = false;
        if (!has_row || !t->GetBoolByName(text(0), v)) v = false;
        dest.SetAsBool(v);
        break;
    }
    case fnGetStr: {
        std::string v;
        if (!has_row || !t->GetStringByName(text(0), v)) v.clear();
        dest.SetAsString(v);
        break;
    }
    case fnGetRecNo: dest.SetAsInt(t ? t->RecNo() : -1); break;
    case fnDirectGetInt: dest.SetAsInt(m.GetIntValue(text(0), keys_from(a, 1), text(5), a[6]->GetAsInt())); break;
    case fnDirectGetFloat:
        dest.SetAsFloat(m.GetFloatValue(text(0), keys_from(a, 1), text(5), a[6]->GetAsFloat()));
        break;
    case fnDirectGetBool: dest.SetAsBool(m.GetBoolValue(text(0), keys_from(a, 1), text(5), a[6]->GetAsBool())); break;
    case fnDirectGetStr: dest.SetAsString(m.GetStringValue(text(0), keys_from(a, 1), text(5), text(6))); break;
    case fnDirectSetInt: dest.SetAsBool(m.SetIntValue(text(0), keys_from(a, 1), text(5), a[6]->GetAsInt())); break;
    case fnDirectSetFloat:
        dest.SetAsBool(m.SetFloatValue(text(0), keys_from(a, 1), text(5), a[6]->GetAsFloat()));
        break;
    case fnDirectSetBool: dest.SetAsBool(m.SetBoolValue(text(0), keys_from(a, 1), text(5), a[6]->GetAsBool())); break;
    case fnDirectSetStr: dest.SetAsBool(m.SetStringValue(text(0), keys_from(a, 1), text(5), text(6))); break;
    default: break;
    }
}
