#include "script/sys_funcs.h"

#include "files/number_text.h"
#include "script/param_collection.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <cmath>
#include <cstring>

namespace {

using F = TSysFuncFamily;
constexpr uint8_t I = PT_INT, R = PT_FLOAT, B = PT_BOOL, S = PT_STR;

}  // namespace

const TSysFuncInfo SysFuncTable[kSysFuncCount] = {
    {"IntToStr", 1, 2, S, F::Text},          {"IntToHex", 2, 2, S, F::Text},
    {"GetProp", 2, 2, S, F::System},         {"SetProp", 3, 3, S, F::System},
    {"GetArraySize", 1, 2, I, F::Array},     {"Length", 1, 1, I, F::Text},
    {"JLength", 1, 1, I, F::Text},           {"Copy", 2, 3, S, F::Text},
    {"JCopy", 2, 3, S, F::Text},             {"Delete", 2, 3, S, F::Text},
    {"JDelete", 2, 3, S, F::Text},           {"Insert", 3, 3, S, F::Text},
    {"JInsert", 3, 3, S, F::Text},           {"CompareStr", 2, 2, I, F::Text},
    {"CompareText", 2, 2, I, F::Text},       {"Pos", 2, 2, I, F::Text},
    {"JPos", 2, 2, I, F::Text},              {"Trim", 1, 1, S, F::Text},
    {"JTrim", 1, 1, S, F::Text},             {"Exists", 1, 1, B, F::System},
    {"Not", 1, 1, B, F::Core},               {"SetArray", 2, -1, I, F::Array},
    {"FillMem", 2, 2, I, F::Array},          {"CopyMem", 2, 2, I, F::Array},
    {"GetCheck", 2, 2, B, F::System},        {"SetCheck", 3, 3, I, F::System},
    {"Random", 1, 1, I, F::Core},            {"GetSaveCaption", 1, 1, S, F::System},
    {"ArrayToString", 1, 2, S, F::Array},    {"StringToArray", 2, 3, I, F::Array},
    {"IndexOfStr", 2, 4, I, F::Array},       {"SortStr", 1, 1, I, F::Array},
    {"ListCompo", 1, 3, I, F::System},       {"ToClientX", 2, 2, I, F::System},
    {"ToClientY", 2, 2, I, F::System},       {"ToScreenX", 2, 2, I, F::System},
    {"ToScreenY", 2, 2, I, F::System},       {"Int", 1, 1, I, F::Core},
    {"Float", 1, 1, R, F::Core},             {"Sin", 1, 1, R, F::Core},
    {"Cos", 1, 1, R, F::Core},               {"Tan", 1, 1, R, F::Core},
    {"ArcSin", 1, 1, R, F::Core},            {"ArcCos", 1, 1, R, F::Core},
    {"ArcTan", 1, 1, R, F::Core},            {"ArcTan2", 2, 2, R, F::Core},
    {"Hypot", 2, 2, R, F::Core},             {"IndexOfMenu", 2, 2, I, F::System},
    {"Abs", 1, 1, I, F::Core},               {"Fabs", 1, 1, R, F::Core},
    {"VarExists", 1, 1, B, F::System},       {"EncodeDate", 3, 3, R, F::Core},
    {"EncodeTime", 3, 3, R, F::Core},        {"DecodeDate", 4, 4, I, F::Core},
    {"DecodeTime", 4, 4, I, F::Core},        {"GetYear", 1, 1, I, F::Core},
    {"GetMonth", 1, 1, I, F::Core},          {"GetDay", 1, 1, I, F::Core},
    {"GetHour", 1, 1, I, F::Core},           {"GetMin", 1, 1, I, F::Core},
    {"GetSec", 1, 1, I, F::Core},            {"GetWeek", 1, 1, I, F::Core},
    {"GetWeekStr", 1, 1, S, F::Core},        {"GetWeekJStr", 1, 1, S, F::Core},
    {"FixStr", 1, 1, S, F::Text},            {"GetDisplayMode", 5, 5, B, F::System},
    {"AddArray", 2, 2, I, F::Array},         {"InsertArray", 3, 3, I, F::Array},
    {"DeleteArray", 3, 3, I, F::Array},      {"InPrimary", 1, 1, B, F::System},
    {"CopyArray", 2, 2, B, F::Array},        {"FileExists", 1, 1, B, F::System},
    {"LoadTextFile", 2, 2, B, F::Array},     {"LowerCase", 1, 1, S, F::Text},
    {"UpperCase", 1, 1, S, F::Text},         {"ExtractFilePath", 1, 1, S, F::Text},
    {"ExtractFileName", 1, 1, S, F::Text},   {"ExtractFileExt", 1, 1, S, F::Text},
    {"IsPathDelimiter", 2, 2, B, F::Text},   {"AddBackSlash", 1, 1, S, F::Text},
    {"ChangeFileExt", 2, 2, S, F::Text},     {"IsDelimiter", 3, 3, B, F::Text},
    {"StringOfChar", 2, 2, S, F::Text},      {"StringReplace", 3, 5, S, F::Text},
    {"AssignTemp", 1, 1, B, F::System},      {"HanToZen", 1, 1, S, F::Text},
    {"ZenToHan", 1, 1, S, F::Text},          {"DBCreateTable", 2, 2, B, F::Table},
    {"DBSetActive", 1, 1, B, F::Table},      {"DBAddField", 2, 3, B, F::Table},
    {"DBSetRecNo", 1, 1, B, F::Table},       {"DBInsert", 0, -1, B, F::Table},
    {"DBDelete", 0, 0, B, F::Table},         {"DBGetInt", 1, 1, I, F::Table},
    {"DBSetInt", 2, 2, B, F::Table},         {"DBGetFloat", 1, 1, R, F::Table},
    {"DBSetFloat", 2, 2, B, F::Table},       {"DBGetBool", 1, 1, B, F::Table},
    {"DBSetBool", 2, 2, B, F::Table},        {"DBGetStr", 1, 1, S, F::Table},
    {"DBSetStr", 2, 2, B, F::Table},         {"DBRecordCount", 0, 1, I, F::Table},
    {"DBFindFirst", 0, 0, B, F::Table},      {"DBFindLast", 0, 0, B, F::Table},
    {"DBFindNext", 0, 0, B, F::Table},       {"DBFindPrior", 0, 0, B, F::Table},
    {"DBLocate", 2, 4, B, F::Table},         {"DBLoadTsvFile", 1, 1, B, F::Table},
    {"DBDirectGetInt", 7, 7, I, F::Table},   {"DBDirectSetInt", 7, 7, B, F::Table},
    {"DBDirectGetFloat", 7, 7, R, F::Table}, {"DBDirectSetFloat", 7, 7, B, F::Table},
    {"DBDirectGetBool", 7, 7, B, F::Table},  {"DBDirectSetBool", 7, 7, B, F::Table},
    {"DBDirectGetStr", 7, 7, S, F::Table},   {"DBDirectSetStr", 7, 7, B, F::Table},
    {"DBCopyTable", 1, 5, B, F::Table},      {"DBDeleteTable", 0, 1, B, F::Table},
    {"DBInsertTable", 1, 5, B, F::Table},    {"DBCopy", 1, 1, B, F::Table},
    {"DBClearTable", 0, 0, B, F::Table},     {"DBSort", 2, 2, B, F::Table},
    {"DBGetActive", 0, 0, S, F::Table},      {"DBGetRecNo", 0, 1, I, F::Table},
    {"DBClearRecord", 0, 1, B, F::Table},    {"SetWallPaper", 2, 2, B, F::System},
    {"Min", 2, 2, I, F::Core},               {"Max", 2, 2, I, F::Core},
    {"Fmin", 2, 2, R, F::Core},              {"Fmax", 2, 2, R, F::Core},
    {"GetVarType", 1, 1, I, F::Core},        {"GetEnabled", 2, 2, B, F::System},
    {"SetEnabled", 3, 3, I, F::System},      {"AddDelimiter", 2, 2, S, F::Text},
    {"ListSaveCaption", 0, 2, I, F::System}, {"OpenUrl", 1, 1, B, F::System},
    {"Calc", 1, 1, S, F::System},            {"SaveScreen", 1, 5, B, F::System},
    {"StrToIntDef", 2, 2, I, F::Text},       {"StrToFloatDef", 2, 2, R, F::Text},
};

TSysFuncMan* SysFuncs = nullptr;

namespace {

TSysFuncHandler g_handlers[5] = {};
TSysFuncMan::TFamilyTable g_family_table = nullptr;
TSysFuncMan g_default_man;

constexpr uint8_t fnNot = 20, fnRandom = 26, fnInt = 37, fnFloat = 38, fnSin = 39, fnCos = 40, fnTan = 41,
                  fnArcSin = 42, fnArcCos = 43, fnArcTan = 44, fnArcTan2 = 45, fnHypot = 46, fnAbs = 48,
                  fnFabs = 49, fnEncodeDate = 51, fnEncodeTime = 52, fnDecodeDate = 53, fnDecodeTime = 54,
                  fnGetYear = 55, fnGetMonth = 56, fnGetDay = 57, fnGetHour = 58, fnGetMin = 59, fnGetSec = 60,
                  fnGetWeek = 61, fnGetWeekStr = 62, fnGetWeekJStr = 63, fnMin = 126, fnMax = 127, fnFmin = 128,
                  fnFmax = 129, fnGetVarType = 130;

long double real_result(long double v) {
    // Invalid operations (ArcSin(2), overflow) fail the expression, as scripts
    // expect, instead of carrying NaN or infinity on.
    if (!std::isfinite(v)) throw EInvalidOp("Invalid floating point operation");
    return v;
}

// Writes into a variable argument; a literal argument takes no write.
void write_int_arg(TCustomParam* arg, int32_t v) {
    if (arg->AsVar()) arg->SetAsInt(v);
}

double date_arg(const TCustomParam* arg) { return static_cast<double>(arg->GetAsFloat()); }

// Weekday names by DayOfWeek (1 Sunday); dates before year 1 give
// numbers outside 1..7, which wrap instead of reading past the table.
int weekday_slot(int32_t dow) { return ((dow - 1) % 7 + 7) % 7; }

void call_core(TParamCollectionItem& dest, uint8_t index, TSysFuncArgs a) {
    int32_t y, m, d, ms;
    switch (index) {
    case fnNot: dest.SetAsBool(!a[0]->GetAsBool()); break;
    case fnRandom: dest.SetAsInt(RandomInt(a[0]->GetAsInt())); break;
    case fnInt: dest.SetAsInt(FloatToInt32(a[0]->GetAsFloat())); break;
    case fnFloat: dest.SetAsFloat(a[0]->GetAsFloat()); break;
    case fnSin: dest.SetAsFloat(real_result(std::sin(a[0]->GetAsFloat()))); break;
    case fnCos: dest.SetAsFloat(real_result(std::cos(a[0]->GetAsFloat()))); break;
    case fnTan: dest.SetAsFloat(real_result(std::tan(a[0]->GetAsFloat()))); break;
    case fnArcSin: dest.SetAsFloat(real_result(std::asin(a[0]->GetAsFloat()))); break;
    case fnArcCos: dest.SetAsFloat(real_result(std::acos(a[0]->GetAsFloat()))); break;
    case fnArcTan: dest.SetAsFloat(real_result(std::atan(a[0]->GetAsFloat()))); break;
    case fnArcTan2: dest.SetAsFloat(real_result(std::atan2(a[0]->GetAsFloat(), a[1]->GetAsFloat()))); break;
    case fnHypot: {
        long double x = a[0]->GetAsFloat(), yv = a[1]->GetAsFloat();
        dest.SetAsFloat(real_result(std::sqrt(x * x + yv * yv)));
        break;
    }
    case fnAbs: {
        int32_t v = a[0]->GetAsInt();
        dest.SetAsInt(v < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v);
        break;
    }
    case fnFabs: dest.SetAsFloat(std::fabs(a[0]->GetAsFloat())); break;
    case fnEncodeDate: dest.SetAsFloat(EncodeDate(a[0]->GetAsInt(), a[1]->GetAsInt(), a[2]->GetAsInt())); break;
    case fnEncodeTime: dest.SetAsFloat(EncodeTime(a[0]->GetAsInt(), a[1]->GetAsInt(), a[2]->GetAsInt(), 0)); break;
    case fnDecodeDate:
        DecodeDate(date_arg(a[0]), y, m, d);
        write_int_arg(a[1], y);
        write_int_arg(a[2], m);
        write_int_arg(a[3], d);
        break;
    case fnDecodeTime:
        DecodeTime(date_arg(a[0]), y, m, d, ms);
        write_int_arg(a[1], y);
        write_int_arg(a[2], m);
        write_int_arg(a[3], d);
        break;
    case fnGetYear: case fnGetMonth: case fnGetDay:
        DecodeDate(date_arg(a[0]), y, m, d);
        dest.SetAsInt(index == fnGetYear ? y : index == fnGetMonth ? m : d);
        break;
    case fnGetHour: case fnGetMin: case fnGetSec:
        DecodeTime(date_arg(a[0]), y, m, d, ms);
        dest.SetAsInt(index == fnGetHour ? y : index == fnGetMin ? m : d);
        break;
    case fnGetWeek: dest.SetAsInt(DayOfWeek(date_arg(a[0]))); break;
    case fnGetWeekStr: {
        static const char* const names[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        dest.SetAsString(names[weekday_slot(DayOfWeek(date_arg(a[0])))]);
        break;
    }
    case fnGetWeekJStr: {
        static const std::string names[7] = {Sjis("日"), Sjis("月"), Sjis("火"), Sjis("水"),
                                             Sjis("木"), Sjis("金"), Sjis("土")};
        dest.SetAsString(names[weekday_slot(DayOfWeek(date_arg(a[0])))]);
        break;
    }
    case fnMin: dest.SetAsInt(std::min(a[0]->GetAsInt(), a[1]->GetAsInt())); break;
    case fnMax: dest.SetAsInt(std::max(a[0]->GetAsInt(), a[1]->GetAsInt())); break;
    case fnFmin: dest.SetAsFloat(std::min(a[0]->GetAsFloat(), a[1]->GetAsFloat())); break;
    case fnFmax: dest.SetAsFloat(std::max(a[0]->GetAsFloat(), a[1]->GetAsFloat())); break;
    case fnGetVarType: dest.SetAsInt(a[0]->ParamType()); break;
    default: break;
    }
}

}  // namespace

bool FindSysFuncIndex(std::string_view name, uint8_t& index) {
    for (int i = 0; i < kSysFuncCount; ++i)
        if (name == SysFuncTable[i].name) {
            index = static_cast<uint8_t>(i);
            return true;
        }
    return false;
}

void TSysFuncMan::SetFamilyTable(TFamilyTable table) { g_family_table = table; }

void TSysFuncMan::SetFamilyHandler(TSysFuncFamily family, TSysFuncHandler handler) {
    g_handlers[static_cast<size_t>(family)] = handler;
}

void TSysFuncMan::CallFunction(TParamCollectionItem& dest, uint8_t index, TSysFuncArgs args) {
    if (index >= kSysFuncCount) return;
    const TSysFuncInfo& f = SysFuncTable[index];
    // The compiler and the loader enforce the counts; a hand-made call
    // must not read past its arguments either.
    if (static_cast<int32_t>(args.size()) < f.min_args) {
        static const std::string tail = Sjis(" 引数の数が不正です");
        throw Exception(f.name + tail);
    }
    if (f.family == TSysFuncFamily::Core) {
        call_core(dest, index, args);
        return;
    }
    TSysFuncHandler handler = g_handlers[static_cast<size_t>(f.family)];
    if (!handler && g_family_table) handler = g_family_table(f.family);
    if (!handler) {
        static const std::string tail = Sjis(":この関数は使用できません");
        throw Exception(f.name + tail);
    }
    handler(*this, dest, index, args);
}

TSysFuncMan& SysFuncMan() { return SysFuncs ? *SysFuncs : g_default_man; }
