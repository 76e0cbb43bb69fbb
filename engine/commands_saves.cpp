#include "engine/commands_saves.h"

#include "engine/page.h"
#include "engine/project.h"
#include "objects/scene/scene.h"

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

void TComCabinet::Execute(TCallMan&, TPage*&, int32_t& pc) {
    if (!VorqBaseList) raise_not_available(pc);
    ++pc;
    TVorqBaseList& reg = *VorqBaseList;
    const std::string name = ExprText(Property(PR_NAME));
    TVorqObject* found = name.empty() ? nullptr : reg.FindObject(name);
    TVorqControl* cabinet = found && found->GetCompoType() == LT_CABINET ? static_cast<TVorqControl*>(found) : nullptr;
    const bool saving = GetOpcode() == opCabinetSave;
    if (!cabinet && !saving) return;
    const bool except = ExprBool(Mode.get(), false);
    std::vector<std::string> names;
    for (const TExprPtr& e : Names) names.push_back(ExprText(e.get()));
    const auto selected = [&](const std::string& n) {
        bool listed = false;
        for (const std::string& l : names) listed = listed || l == n;
        return listed != except;
    };
    if (saving) {
        if (!cabinet) {
            cabinet = static_cast<TVorqControl*>(CreateObjectByType(&reg, LT_CABINET));
            if (!name.empty()) cabinet->SetName(name);
            cabinet->SetParent(reg.GetBaseAt(0));
        }
        // The cabinet may itself stand on the layer it empties (layer 0
        // hidden): it is never moved into itself.
        MoveSelectedChildren(*reg.InactiveBase(), *cabinet, selected);
        // A cabinet that parks nothing is not kept.
        if (cabinet->GetChildCount() == 0) cabinet->Scrap();
    } else {
        // Taking the last control out keeps the cabinet: only parking
        // decides whether one is kept.
        MoveSelectedChildren(*cabinet, *reg.InactiveBase(), selected);
    }
}
