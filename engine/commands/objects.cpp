#include "engine/commands/objects.h"

#include "engine/page.h"
#include "files/save_stream.h"

TComComponent::TComComponent(TPage* page, uint8_t opcode) : TCommand(page), opcode_(opcode) {}

void TComComponent::ReadFields(FieldReader& r) {
    for (int id = 0; id < kPropertyCount; ++id)
        if (Page->MaskBit(opcode_, id)) Props[static_cast<size_t>(id)] = ReadExprField(r, "property");
}

void TComComponent::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComGetProp::ReadFields(FieldReader& r) {
    ObjectName = ReadExprField(r, "object name");
    PropertyId = ReadExprField(r, "property id");
    VarName = r.String("variable name");
}

void TComGetProp::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComSetProp::ReadFields(FieldReader& r) {
    ObjectName = ReadExprField(r, "object name");
    PropertyId = ReadExprField(r, "property id");
    Value = ReadExprField(r, "value");
}

void TComSetProp::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComMenuClose::ReadFields(FieldReader& r) { MenuName = ReadExprField(r, "menu name"); }

void TComMenuClose::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComFlip::ReadFields(FieldReader& r) {
    TransNo = ReadExprField(r, "transition number");
    Duration = ReadExprField(r, "duration");
    TransFlag = ReadExprField(r, "transition flag");
    CarryMode = ReadExprField(r, "carry mode");
    NameList = ReadExprListField(r, "names");
    ClearOld = ReadExprField(r, "clear old");
    Param1 = ReadExprField(r, "parameter 1");
    Param2 = ReadExprField(r, "parameter 2");
    if (page_version() >= 101) TransName = ReadExprField(r, "transition name");
    if (page_version() >= 107) EventBlock = ReadExprField(r, "event block");
}

void TComFlip::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComFlip::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m);
    WriteStreamByte(m, FlipBlocksEvents);
    WriteStreamByte(m, ClearOldFlag);
}

void TComFlip::LoadState(TStream& s) {
    if (ReadStateVersion(s) < 100) return;
    FieldReader r(s, CommandStateMessage());
    FlipBlocksEvents = r.U8("blocks events");
    ClearOldFlag = r.U8("clear old");
}
