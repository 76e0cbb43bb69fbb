// Records of the display-object, text, history, media and save commands.
// They load exactly as stored so that every page of a game loads in step;
// the display-object, text and media kinds run once their subsystems exist.
#include "engine/call_man.h"
#include "engine/commands.h"
#include "engine/project.h"
#include "files/save_stream.h"

TComComponent::TComComponent(TPage* page, uint8_t opcode) : TCommand(page), opcode_(opcode) {}

void TComComponent::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    for (int id = 0; id < kPropertyCount; ++id)
        if (Page->MaskBit(opcode_, id)) Props[static_cast<size_t>(id)] = ReadRecordExpr(s);
}

void TComComponent::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComCabinet::LoadFromStream(TStream& s) {
    TComComponent::LoadFromStream(s);
    Mode = ReadRecordExpr(s);
    Names = ReadRecordExprList(s);
}

void TComGetProp::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    ObjectName = ReadRecordExpr(s);
    PropertyId = ReadRecordExpr(s);
    VarName = ReadRecordString(s);
}

void TComGetProp::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComSetProp::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    ObjectName = ReadRecordExpr(s);
    PropertyId = ReadRecordExpr(s);
    Value = ReadRecordExpr(s);
}

void TComSetProp::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComFlip::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    TransNo = ReadRecordExpr(s);
    Duration = ReadRecordExpr(s);
    TransFlag = ReadRecordExpr(s);
    CarryMode = ReadRecordExpr(s);
    NameList = ReadRecordExprList(s);
    ClearOld = ReadRecordExpr(s);
    Param1 = ReadRecordExpr(s);
    Param2 = ReadRecordExpr(s);
    if (page_version() >= 101) TransName = ReadRecordExpr(s);
    if (page_version() >= 107) EventBlock = ReadRecordExpr(s);
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
    FlipBlocksEvents = ReadRecordU8(s);
    ClearOldFlag = ReadRecordU8(s);
}

void TComTextIns::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    Text = ReadRecordString(s);
    Target = ReadRecordExpr(s);
    History = ReadRecordExpr(s);
    Wait = ReadRecordExpr(s);
    if (page_version() >= 107) EventBlock = ReadRecordExpr(s);
}

void TComTextIns::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

// The window is named in the state; without message windows there is none.
void TComTextIns::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m);
    WriteStreamString(m, std::string());
    WriteStreamByte(m, TextWait);
    WriteStreamByte(m, TextBlocksEvents);
}

void TComTextIns::LoadState(TStream& s) {
    const int32_t v = ReadStateVersion(s);
    ReadRecordString(s);
    TextWait = ReadRecordU8(s);
    if (v >= 100) TextBlocksEvents = ReadRecordU8(s);
}

void TComExprRecord::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    for (auto& e : Exprs) e = ReadRecordExpr(s);
}

void TComExprRecord::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComMovieStop::LoadFromStream(TStream& s) {
    TComExprRecord::LoadFromStream(s);
    if (page_version() >= 107) EventBlock = ReadRecordExpr(s);
}

void TComMovieStop::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m);
    WriteStreamString(m, std::string());
    WriteStreamByte(m, StopWait);
    WriteStreamByte(m, StopBlocksEvents);
}

void TComMovieStop::LoadState(TStream& s) {
    const int32_t v = ReadStateVersion(s);
    ReadRecordString(s);
    StopWait = ReadRecordU8(s);
    if (v >= 100) StopBlocksEvents = ReadRecordU8(s);
}

void TComPropMotion::LoadFromStream(TStream& s) {
    TComExprRecord::LoadFromStream(s);
    if (page_version() >= 108) Paused = ReadRecordExpr(s);
}

// ---- save and load requests ---------------------------------------------------

void TComGameSave::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    Slot = ReadRecordExpr(s);
    ResumePage = ReadRecordString(s);
    if (page_version() >= 105) ResumePC = ReadRecordU32(s);
    Caption = ReadRecordExpr(s);
}

void TComGameSave::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    const int32_t slot = ExprInt(Slot.get(), 0);
    const std::string caption = ExprText(Caption.get());
    if (!Project) return;
    Project->SaveSlot = slot;
    Project->SaveResumePage = ResumePage;
    Project->SaveResumePC = static_cast<int32_t>(ResumePC);
    Project->SaveCaption = caption;
}

void TComGameLoad::LoadFromStream(TStream& s) {
    TCommand::LoadFromStream(s);
    Slot = ReadRecordExpr(s);
}

void TComGameLoad::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    const int32_t slot = ExprInt(Slot.get(), 0);
    if (Project) Project->LoadSlot = slot;
}
