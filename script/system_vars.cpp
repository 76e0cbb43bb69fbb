#include "script/system_vars.h"

#include "files/number_text.h"
#include "script/param_collection.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"

#include <cmath>

namespace {

struct SysVarInfo {
    const char* name;
    uint8_t type;
    bool writable;
};

const SysVarInfo kSysVars[kSystemVarCount] = {
    {"@Result", PT_NONE, true},         {"@LClick", PT_BOOL, true},        {"@RClick", PT_BOOL, true},
    {"@LPush", PT_BOOL, false},         {"@RPush", PT_BOOL, false},        {"@MouseX", PT_INT, true},
    {"@MouseY", PT_INT, true},          {"@TextDelay", PT_INT, true},      {"@HistoryCount", PT_INT, false},
    {"@ParamCount", PT_INT, false},     {"@ParamStr", PT_STR, false},      {"@Sender", PT_STR, false},
    {"@ScrWidth", PT_INT, false},       {"@ScrHeight", PT_INT, false},     {"@TickCount", PT_INT, false},
    {"@PCTickCount", PT_INT, false},    {"@UpdateCount", PT_INT, false},   {"@Year", PT_INT, false},
    {"@Month", PT_INT, false},          {"@Day", PT_INT, false},           {"@Week", PT_INT, false},
    {"@Hour", PT_INT, false},           {"@Min", PT_INT, false},           {"@Sec", PT_INT, false},
    {"@Fonts", PT_STR, false},          {"@FixedFonts", PT_STR, false},    {"@FullScr", PT_BOOL, true},
    {"@Cursor", PT_STR, true},          {"@SelStr", PT_STR, true},         {"@SelIndex", PT_INT, true},
    {"@Pi", PT_FLOAT, false},           {"@CGDither", PT_BOOL, true},      {"@1Hour", PT_FLOAT, false},
    {"@1Min", PT_FLOAT, false},         {"@1Sec", PT_FLOAT, false},        {"@KeyPush", PT_BOOL, false},
    {"@KeyClick", PT_BOOL, false},      {"@DisplayModeCount", PT_INT, false}, {"@DisplayModeIndex", PT_INT, true},
    {"@Title", PT_STR, false},          {"@SoundON", PT_BOOL, true},       {"@ActiveCompo", PT_STR, true},
    {"@KeyRepeat", PT_BOOL, false},     {"@HistoryMaxCount", PT_INT, true}, {"@Temp", PT_NONE, true},
    {"@MidiPort", PT_STR, true},        {"@MidiPorts", PT_STR, false},     {"@WheelDown", PT_BOOL, false},
    {"@WheelUp", PT_BOOL, false},
};

constexpr int32_t kKeyArrayCount = 258;

[[noreturn]] void internal_error() {
    static const std::string msg = Sjis("内部エラー");
    throw Exception(msg);
}

TSystemVarHost g_default_host;
TSystemVarHost* g_host = &g_default_host;

}  // namespace

// All date and time variables read within one GameClock value show the
// same instant.
double GetCachedNow() {
    static bool valid = false;
    static uint32_t last_clock = 0;
    static double now = 0;
    uint32_t clock = SystemVarHost().GameClock();
    if (!valid || clock != last_clock) {
        now = NowDateTime();
        last_clock = clock;
        valid = true;
    }
    return now;
}

namespace {

int32_t read_date_part(int index) {
    double now = GetCachedNow();
    int32_t y, m, d, h, mi, s, ms;
    switch (index) {
    case svYear: DecodeDate(now, y, m, d); return y;
    case svMonth: DecodeDate(now, y, m, d); return m;
    case svDay: DecodeDate(now, y, m, d); return d;
    case svWeek: return DayOfWeek(now);
    case svHour: DecodeTime(now, h, mi, s, ms); return h;
    case svMin: DecodeTime(now, h, mi, s, ms); return mi;
    default: DecodeTime(now, h, mi, s, ms); return s;
    }
}

// Raw reads and writes in the variable's own type.
int32_t read_int(int index) {
    switch (index) {
    case svTextDelay: return Params ? Params->text_delay : 50;
    case svSelIndex: return Params ? Params->sel_index : 0;
    case svYear: case svMonth: case svDay: case svWeek: case svHour: case svMin: case svSec:
        return read_date_part(index);
    default: return SystemVarHost().ReadInt(index);
    }
}

void write_int(int index, int32_t v) {
    if (!kSysVars[index].writable) return;
    if (index == svTextDelay) {
        if (Params) Params->text_delay = v;
    } else if (index == svSelIndex) {
        if (Params) Params->sel_index = v;
    } else {
        SystemVarHost().WriteInt(index, v);
    }
}

long double read_real(int index) {
    switch (index) {
    case svPi: return 3.14159265358979323846264338327950288L;
    case sv1Hour: return EncodeTime(1, 0, 0, 0) - EncodeTime(0, 0, 0, 0);
    case sv1Min: return EncodeTime(0, 1, 0, 0) - EncodeTime(0, 0, 0, 0);
    default: return EncodeTime(0, 0, 1, 0) - EncodeTime(0, 0, 0, 0);
    }
}

bool read_bool(int index) {
    // The key arrays read without an index are false.
    if (index == svKeyPush || index == svKeyClick || index == svKeyRepeat) return false;
    return SystemVarHost().ReadBool(index);
}

void write_bool(int index, bool v) {
    if (kSysVars[index].writable) SystemVarHost().WriteBool(index, v);
}

std::string read_str(int index) {
    switch (index) {
    case svCursor: return Params ? Params->cursor_name : std::string();
    case svSelStr: return Params ? Params->sel_str : std::string();
    case svParamStr: return {};
    case svMidiPorts: return SystemVarHost().ArrayCount(index) > 0 ? SystemVarHost().ReadStrAt(index, 0) : std::string();
    default: return SystemVarHost().ReadStr(index);
    }
}

void write_str(int index, std::string_view v) {
    if (!kSysVars[index].writable) return;
    if (index == svCursor) {
        if (Params) Params->cursor_name = v;
    } else if (index == svSelStr) {
        if (Params) Params->sel_str = v;
    } else {
        SystemVarHost().WriteStr(index, std::string(v));
    }
}

// Guards @Temp standing (directly or through references) for itself.
struct AliasDepth {
    static inline int depth = 0;
    bool ok;
    AliasDepth() : ok(++depth <= 8) {}
    ~AliasDepth() { --depth; }
};

}  // namespace

int32_t TSystemVarHost::ReadInt(int index) { return index == svPCTickCount ? static_cast<int32_t>(TimeGetTime()) : 0; }
uint32_t TSystemVarHost::GameClock() { return TimeGetTime(); }

void SetSystemVarHost(TSystemVarHost* host) { g_host = host ? host : &g_default_host; }
TSystemVarHost& SystemVarHost() { return *g_host; }

const char* SystemVarName(int index) {
    if (index < 0 || index >= kSystemVarCount) internal_error();
    return kSysVars[index].name;
}

uint8_t SystemVarType(int index) {
    if (index < 0 || index >= kSystemVarCount) internal_error();
    return kSysVars[index].type;
}

TParamSystem::TParamSystem(uint8_t index) : index_(index) {
    if (index >= kSystemVarCount) internal_error();
}

TCustomParam* TParamSystem::alias() const {
    if (index_ == svResult) return SystemVarHost().TopFrameResult();
    if (index_ != svTemp || !Params || Params->temp_name.empty()) return nullptr;
    TParamCollectionItem* item = Params->Find(Params->temp_name);
    return item ? item->Value() : nullptr;
}

bool TParamSystem::is_array() const {
    return index_ == svParamStr || index_ == svMidiPorts || index_ == svKeyPush || index_ == svKeyClick ||
           index_ == svKeyRepeat;
}

// Forwarding of @Result and @Temp: the call on the aliased value, or the
// default when there is none.
#define VORQ_ALIAS_RETURN(call, fallback)                  \
    if (is_alias()) {                                      \
        AliasDepth guard;                                  \
        TCustomParam* a = guard.ok ? alias() : nullptr;    \
        return a ? a->call : fallback;                     \
    }
#define VORQ_ALIAS_DO(call)                                \
    if (is_alias()) {                                      \
        AliasDepth guard;                                  \
        if (TCustomParam* a = guard.ok ? alias() : nullptr) a->call; \
        return;                                            \
    }

uint8_t TParamSystem::ParamType() const {
    VORQ_ALIAS_RETURN(ParamType(), uint8_t{PT_NONE})
    return kSysVars[index_].type;
}

int32_t TParamSystem::Count() const {
    VORQ_ALIAS_RETURN(Count(), 1)
    switch (index_) {
    case svParamStr: case svMidiPorts: return SystemVarHost().ArrayCount(index_);
    case svKeyPush: case svKeyClick: case svKeyRepeat: return kKeyArrayCount;
    default: return 1;
    }
}

void TParamSystem::SetCount(int32_t n) { VORQ_ALIAS_DO(SetCount(n)) }

int32_t TParamSystem::GetAsInt() const {
    VORQ_ALIAS_RETURN(GetAsInt(), 0)
    switch (kSysVars[index_].type) {
    case PT_INT: return read_int(index_);
    case PT_FLOAT: return FloatToInt32(read_real(index_));
    case PT_BOOL: return read_bool(index_) ? 1 : 0;
    case PT_STR: return StrToInt32Def(read_str(index_), 0);
    default: internal_error();
    }
}

long double TParamSystem::GetAsFloat() const {
    VORQ_ALIAS_RETURN(GetAsFloat(), 0)
    switch (kSysVars[index_].type) {
    case PT_INT: return read_int(index_);
    case PT_FLOAT: return read_real(index_);
    case PT_BOOL: return read_bool(index_) ? 1 : 0;
    case PT_STR: return StrToInt32Def(read_str(index_), 0);  // a string slot reads as its number, 0 if it holds none
    default: internal_error();
    }
}

bool TParamSystem::GetAsBool() const {
    VORQ_ALIAS_RETURN(GetAsBool(), false)
    switch (kSysVars[index_].type) {
    case PT_INT: return read_int(index_) != 0;
    case PT_FLOAT: return read_real(index_) != 0;
    case PT_BOOL: return read_bool(index_);
    case PT_STR: return !read_str(index_).empty();
    default: internal_error();
    }
}

std::string TParamSystem::GetAsString() const {
    VORQ_ALIAS_RETURN(GetAsString(), std::string())
    switch (kSysVars[index_].type) {
    case PT_INT: return IntToStr(read_int(index_));
    case PT_FLOAT: return FloatToStr(read_real(index_));
    case PT_BOOL: return read_bool(index_) ? "TRUE" : "FALSE";
    case PT_STR: return read_str(index_);
    default: internal_error();
    }
}

void TParamSystem::SetAsInt(int32_t v) {
    VORQ_ALIAS_DO(SetAsInt(v))
    switch (kSysVars[index_].type) {
    case PT_INT: write_int(index_, v); break;
    case PT_FLOAT: break;  // every real system variable is read-only
    case PT_BOOL: write_bool(index_, v != 0); break;
    case PT_STR: write_str(index_, IntToStr(v)); break;
    default: internal_error();
    }
}

void TParamSystem::SetAsFloat(long double v) {
    VORQ_ALIAS_DO(SetAsFloat(v))
    switch (kSysVars[index_].type) {
    case PT_INT: if (kSysVars[index_].writable) write_int(index_, FloatToInt32(v)); break;
    case PT_FLOAT: break;
    case PT_BOOL: write_bool(index_, v != 0); break;
    case PT_STR: write_str(index_, FloatToStr(v)); break;
    default: internal_error();
    }
}

void TParamSystem::SetAsBool(bool v) {
    VORQ_ALIAS_DO(SetAsBool(v))
    switch (kSysVars[index_].type) {
    case PT_INT: write_int(index_, v ? 1 : 0); break;
    case PT_FLOAT: break;
    case PT_BOOL: write_bool(index_, v); break;
    case PT_STR: write_str(index_, v ? "TRUE" : "FALSE"); break;
    default: internal_error();
    }
}

void TParamSystem::SetAsString(std::string_view v) {
    VORQ_ALIAS_DO(SetAsString(v))
    int32_t i;
    switch (kSysVars[index_].type) {
    case PT_INT:
        if (TryStrToInt32(v, i)) write_int(index_, i);
        break;
    case PT_FLOAT: break;
    // A flag takes the text read as an integer: "TRUE" is 0, so false.
    case PT_BOOL: write_bool(index_, StrToInt32Def(v, 0) != 0); break;
    case PT_STR: write_str(index_, v); break;
    default: internal_error();
    }
}

int32_t TParamSystem::GetIntAt(int32_t i) const {
    VORQ_ALIAS_RETURN(GetIntAt(i), 0)
    if (!is_array()) return GetAsInt();
    if (kSysVars[index_].type == PT_BOOL) return GetBoolAt(i) ? 1 : 0;
    return StrToInt32Def(GetStrAt(i), 0);
}

long double TParamSystem::GetFloatAt(int32_t i) const {
    VORQ_ALIAS_RETURN(GetFloatAt(i), 0)
    if (!is_array()) return GetAsFloat();
    if (kSysVars[index_].type == PT_BOOL) return GetBoolAt(i) ? 1 : 0;
    return StrToInt32Def(GetStrAt(i), 0);
}

bool TParamSystem::GetBoolAt(int32_t i) const {
    VORQ_ALIAS_RETURN(GetBoolAt(i), false)
    if (!is_array()) return GetAsBool();
    if (kSysVars[index_].type == PT_BOOL)
        return i >= 0 && i < kKeyArrayCount ? SystemVarHost().ReadBoolAt(index_, i) : false;
    return !GetStrAt(i).empty();
}

std::string TParamSystem::GetStrAt(int32_t i) const {
    VORQ_ALIAS_RETURN(GetStrAt(i), std::string())
    if (!is_array()) return GetAsString();
    if (kSysVars[index_].type == PT_BOOL) return GetBoolAt(i) ? "TRUE" : "FALSE";
    return i >= 0 && i < SystemVarHost().ArrayCount(index_) ? SystemVarHost().ReadStrAt(index_, i) : std::string();
}

// The arrays are read-only, so an indexed write only matters for the
// scalar variables, which ignore the index.
void TParamSystem::SetIntAt(int32_t i, int32_t v) {
    VORQ_ALIAS_DO(SetIntAt(i, v))
    if (!is_array()) SetAsInt(v);
}
void TParamSystem::SetFloatAt(int32_t i, long double v) {
    VORQ_ALIAS_DO(SetFloatAt(i, v))
    if (!is_array()) SetAsFloat(v);
}
void TParamSystem::SetBoolAt(int32_t i, bool v) {
    VORQ_ALIAS_DO(SetBoolAt(i, v))
    if (!is_array()) SetAsBool(v);
}
void TParamSystem::SetStrAt(int32_t i, std::string_view v) {
    VORQ_ALIAS_DO(SetStrAt(i, v))
    if (!is_array()) SetAsString(v);
}

int32_t TParamSystem::DimCount() const {
    VORQ_ALIAS_RETURN(DimCount(), 1)
    return 1;
}

int32_t TParamSystem::DimSize(int32_t k) const {
    VORQ_ALIAS_RETURN(DimSize(k), 1)
    return k == 0 ? Count() : 1;
}

void TParamSystem::Assign(const TCustomParam& source) {
    VORQ_ALIAS_DO(Assign(source))
    TCustomParam::Assign(source);
}
void TParamSystem::SetDims(std::span<const int32_t> sizes) {
    VORQ_ALIAS_DO(SetDims(sizes))
    TCustomParam::SetDims(sizes);
}
void TParamSystem::FillInt(int32_t v) { VORQ_ALIAS_DO(FillInt(v)) }
void TParamSystem::FillFloat(long double v) { VORQ_ALIAS_DO(FillFloat(v)) }
void TParamSystem::FillBool(bool v) { VORQ_ALIAS_DO(FillBool(v)) }
void TParamSystem::FillStr(std::string_view v) { VORQ_ALIAS_DO(FillStr(v)) }
void TParamSystem::CopyMem(const TCustomParam& source) { VORQ_ALIAS_DO(CopyMem(source)) }
void TParamSystem::MakeScalar() { VORQ_ALIAS_DO(MakeScalar()) }

int32_t TParamSystem::IndexOf(std::string_view text, bool case_sensitive, bool partial) const {
    VORQ_ALIAS_RETURN(IndexOf(text, case_sensitive, partial), -1)
    return TCustomParam::IndexOf(text, case_sensitive, partial);
}
