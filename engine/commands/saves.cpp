#include "engine/commands/saves.h"

#include "engine/page.h"
#include "engine/project.h"

void TComGameSave::ReadFields(FieldReader& r) {
    Slot = ReadExprField(r, "slot");
    ResumePage = r.String("resume page");
    if (page_version() >= 105) ResumePC = r.U32("resume command");
    Caption = ReadExprField(r, "caption");
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

void TComGameLoad::ReadFields(FieldReader& r) { Slot = ReadExprField(r, "slot"); }

void TComGameLoad::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    const int32_t slot = ExprInt(Slot.get(), 0);
    if (Project) Project->LoadSlot = slot;
}

void TComCabinet::ReadFields(FieldReader& r) {
    TComComponent::ReadFields(r);
    Mode = ReadExprField(r, "mode");
    Names = ReadExprListField(r, "names");
}
