#include "engine/command.h"

#include "engine/page.h"
#include "script/parser.h"
#include "platform/text/codepage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const char* const kOpcodeNames[kOpcodeCount] = {
#define VORQ_OPCODE_NAME(n, name, family) #name,
    VORQ_OPCODES(VORQ_OPCODE_NAME)
#undef VORQ_OPCODE_NAME
};

// The list must number its kinds 0, 1, 2, ... in order.
constexpr bool opcodes_in_order() {
    const int numbers[] = {
#define VORQ_OPCODE_NUMBER(n, name, family) n,
        VORQ_OPCODES(VORQ_OPCODE_NUMBER)
#undef VORQ_OPCODE_NUMBER
    };
    for (int i = 0; i < kOpcodeCount; ++i)
        if (numbers[i] != i) return false;
    return true;
}
static_assert(opcodes_in_order());

// Every stored expression takes at least its 4-byte operation count.
constexpr uint64_t kMinExprBytes = 4;
// More expressions than any page can hold (a list per command).
constexpr uint32_t kExprListLimit = 1u << 20;

}  // namespace

const char* OpcodeName(uint8_t op) { return op < kOpcodeCount ? kOpcodeNames[op] : ""; }

TCommand::~TCommand() = default;

void TCommand::LoadFromStream(TStream& s) {
    FieldReader r(s, CommandRecordMessage());
    Indent = r.U32("indent");
    Skip = r.U8("skip");
    Continue = r.U8("continue");
    Line = r.U32("line");
    ReadFields(r);
    StepMode = PlainStepping();
}

uint32_t TCommand::page_version() const { return Page ? Page->FormatVersion : TPage::kMaxVersion; }

void TCommand::raise_not_available(int32_t& pc) const {
    ++pc;
    throw ENotAvailable(std::string(OpcodeName(GetOpcode())) + ": not available in this build");
}

const std::string& CommandRecordMessage() {
    static const std::string message = Sjis("コマンドのデータが途中で切れています");
    return message;
}

TExprPtr ReadExprField(FieldReader& r, const char* field) {
    r.Need(static_cast<int64_t>(kMinExprBytes), field);
    auto e = std::make_unique<TVorqParser>();
    e->LoadFromStream(r.Stream());
    return e;
}

std::vector<TExprPtr> ReadExprListField(FieldReader& r, const char* field) {
    std::vector<TExprPtr> list(r.Count(field, kMinExprBytes, kExprListLimit));
    for (auto& e : list) e = ReadExprField(r, field);
    return list;
}

void WriteStateTag(TStream& s, int32_t version) {
    char tag[8];
    std::snprintf(tag, sizeof tag, "vorq%03u", static_cast<unsigned>(version) % 1000u);
    s.WriteBuffer(tag, 7);
}

int32_t ReadStateVersion(TStream& s) {
    const int64_t start = s.GetPosition();
    char tag[7];
    if (s.Read(tag, 7) != 7 || std::memcmp(tag, "vorq", 4) != 0) {
        s.SetPosition(start);
        return 0;
    }
    // A "vorq" tag stays read even when its number is not one.
    return std::max(0, ParseTagVersion(tag, sizeof tag, "vorq"));
}

const std::string& CommandStateMessage() {
    static const std::string message = Sjis("コマンドの状態が途中で切れています");
    return message;
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
