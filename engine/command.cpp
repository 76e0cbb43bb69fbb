#include "engine/command.h"

#include "engine/page.h"
#include "engine/parser.h"
#include "platform/codepage.h"

#include <cstring>

namespace {

const char* const kOpcodeNames[kOpcodeCount] = {
    "If", "Elseif", "Else", "Label", "Jump", "Call", "Exit", "Wait", "BoxNew", "ImgNew", "MesNew",
    "Timer", "Movie", "Flip", "Calc", "VarNew", "VarDel", "GetProp", "SetProp", "ObjDel", "TextIns",
    "MovieStop", "ClrHist", "Cinema", "Caption", "Menu", "MenuClose", "Comment", "TextClr",
    "CallHist", "BtnNew", "While", "WhileInit", "WhileLoop", "Break", "Continue", "ParticleNew",
    "FireNew", "GameSave", "GameLoad", "PCReset", "Reset", "Sound", "EditNew", "MemoNew",
    "Terminate", "DoEvent", "ClrRead", "MapImgNew", "WaveNew", "TileNew", "SliderNew",
    "ScrollbarNew", "GaugeNew", "CGCaption", "MediaPlay", "PrevMenuNew", "PropMotion", "EntryHist",
    "CabinetSave", "CabinetLoad"};

}  // namespace

const char* OpcodeName(uint8_t op) { return op < kOpcodeCount ? kOpcodeNames[op] : ""; }

TCommand::~TCommand() = default;

void TCommand::LoadFromStream(TStream& s) {
    Indent = ReadRecordU32(s);
    Skip = ReadRecordU8(s);
    Continue = ReadRecordU8(s);
    Line = ReadRecordU32(s);
}

uint32_t TCommand::page_version() const { return Page ? Page->FormatVersion : TPage::kMaxVersion; }

void TCommand::raise_not_available(int32_t& pc) const {
    ++pc;
    throw ENotAvailable(std::string(OpcodeName(GetOpcode())) + ": not available in this build");
}

void WriteStateTag(TStream& s) { s.WriteBuffer(kStateTag, 7); }

int32_t ReadStateVersion(TStream& s) {
    const int64_t start = s.GetPosition();
    char tag[7];
    if (s.Read(tag, 7) != 7 || std::memcmp(tag, "vorq", 4) != 0) {
        s.SetPosition(start);
        return 0;
    }
    int32_t v = 0;
    for (int i = 4; i < 7; ++i) {
        if (tag[i] < '0' || tag[i] > '9') return 0;
        v = v * 10 + (tag[i] - '0');
    }
    return v;
}

TMemoryStream& StateStream(std::unique_ptr<TMemoryStream>& s) {
    if (!s) s = std::make_unique<TMemoryStream>();
    return *s;
}

TCustomParam* EvalExpr(TVorqParser* e) {
    if (!e) return nullptr;
    e->Evaluate();
    return e->Result();
}

bool ExprIsTrue(TVorqParser* e) {
    TCustomParam* r = EvalExpr(e);
    return r && r->GetAsBool();
}

bool ExprBool(TVorqParser* e, bool def) {
    TCustomParam* r = EvalExpr(e);
    return r ? r->GetAsBool() : def;
}

int32_t ExprInt(TVorqParser* e, int32_t def) {
    TCustomParam* r = EvalExpr(e);
    return r ? r->GetAsInt() : def;
}

std::string ExprText(TVorqParser* e) {
    TCustomParam* r = EvalExpr(e);
    return r ? r->GetAsString() : std::string();
}
