#include "engine/commands_text.h"

#include "engine/page.h"
#include "script/param_collection.h"
#include "engine/project.h"
#include "files/save_stream.h"
#include "objects/scene/scene.h"

namespace {

TVorqMes* find_window(const std::string& name) {
    if (name.empty() || !VorqBaseList) return nullptr;
    return dynamic_cast<TVorqMes*>(VorqBaseList->FindControl(name));
}

// A page loaded for the message windows: the stored texts of its
// text-insert commands.
class LoadedPage : public TScenarioTextPage {
public:
    explicit LoadedPage(std::unique_ptr<TPage> page) : page_(std::move(page)) {}
    int32_t CommandCount() const override { return page_->Count(); }
    const std::string* StoredText(int32_t index) const override {
        if (index < 0 || index >= page_->Count()) return nullptr;
        auto* text = dynamic_cast<const TComTextIns*>(page_->GetItem(index));
        return text ? &text->Text : nullptr;
    }

private:
    std::unique_ptr<TPage> page_;
};

class ProjectScenarioText : public TScenarioText {
public:
    bool PageExists(const std::string& name) override { return ProjectFileExists(name); }
    std::unique_ptr<TScenarioTextPage> LoadPage(const std::string& name) override {
        auto page = std::make_unique<TPage>();
        page->LoadFromFile(name);
        return std::make_unique<LoadedPage>(std::move(page));
    }
};

}  // namespace

void InstallScenarioText() {
    static ProjectScenarioText source;
    ScenarioText = &source;
}

void TComTextIns::ReadFields(FieldReader& r) {
    Text = r.String("message text");
    Target = ReadExprField(r, "target window");
    History = ReadExprField(r, "history");
    Wait = ReadExprField(r, "wait");
    if (page_version() >= 107) EventBlock = ReadExprField(r, "event block");
}

TVorqMes* TComTextIns::TargetWindow() const {
    TVorqMes* m = find_window(TargetName);
    return m && m->Serial() == TargetSerial ? m : nullptr;
}

void TComTextIns::Prepare(TCallMan&) {
    TextBlocksEvents = ExprBool(EventBlock.get(), false) ? 1 : 0;
    TargetName.clear();
    TargetSerial = 0;
    if (!Text.empty()) {
        const std::string name = ExprText(Target.get());
        if (TVorqMes* m = find_window(name)) {
            TargetName = name;
            TargetSerial = m->Serial();
            const int32_t index = Page ? Page->IndexOfCommand(this) : -1;
            const std::string page_name = Page ? Page->GetName() : std::string();
            m->RecordMode = TVorqMes::kRecordNone;
            m->FirstPieceOffset = 0;
            if (ExprBool(History.get(), false)) {
                m->RecordMode = TVorqMes::kRecordText;
                m->PageName = page_name;
                m->CommandIndex = index;
            }
            m->MesData.ClearOldRefs();
            m->MesData.Pieces.Clear();
            m->MesData.Pieces.AddPiece(page_name, index, std::string(), 0, -1, 0);
            m->PackedHistory = 0;
            // Showing page 0 starts it; a restarting rebuild would start it twice.
            try {
                m->RebuildPages(false);
            } catch (const ECorruptData&) {
                // A damaged stored text leaves the window empty, rather than
                // holding a piece that fails again on every rebuild; the
                // page runner reports it and goes past this command.
                m->RecordMode = TVorqMes::kRecordNone;
                m->MesData.Pieces.Clear();
                m->RebuildPages(false);
                TargetName.clear();
                TargetSerial = 0;
                throw;
            }
            if (m->GetCount() > 0) m->SetPageIndex(0);
        }
    }
    TextWait = ExprBool(Wait.get(), false) ? 1 : 0;
}

void TComTextIns::Execute(TCallMan&, TPage*&, int32_t& pc) {
    // A window deleted, reset away or replaced while waiting ends the wait.
    if (TextWait) {
        TVorqMes* m = TargetWindow();
        if (m && m->GetCount() != 0) return;
    }
    ++pc;
}

void TComTextIns::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m);
    WriteStreamString(m, TargetWindow() ? TargetName : std::string());
    WriteStreamByte(m, TextWait);
    WriteStreamByte(m, TextBlocksEvents);
}

void TComTextIns::LoadState(TStream& s) {
    const int32_t v = ReadStateVersion(s);
    FieldReader r(s, CommandStateMessage());
    const std::string name = r.String("target window");
    TVorqMes* m = find_window(name);
    TargetName = m ? name : std::string();
    TargetSerial = m ? m->Serial() : 0;
    TextWait = r.U8("wait");
    if (v >= 100) TextBlocksEvents = r.U8("blocks events");
}

void TComTextClr::ReadFields(FieldReader& r) { Target = ReadExprField(r, "target window"); }

void TComTextClr::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    if (TVorqMes* m = find_window(ExprText(Target.get()))) {
        m->RecordMode = TVorqMes::kRecordNone;
        m->SetText(std::string());
    }
}

void TComCallHist::ReadFields(FieldReader& r) {
    Target = ReadExprField(r, "target window");
    First = ReadExprField(r, "first entry");
    EntryCount = ReadExprField(r, "entry count");
    Mode = ReadExprField(r, "mode");
}

void TComCallHist::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    TVorqMes* m = find_window(ExprText(Target.get()));
    TCustomParam* f = m ? EvalExpr(First.get()) : nullptr;
    if (!f) return;
    const int64_t first = std::max<int32_t>(0, f->GetAsInt());
    int64_t count = ExprInt(EntryCount.get(), 1);
    const bool mode = ExprBool(Mode.get(), false);
    const int64_t entries = History().GetCount();
    if (first + count > entries) count = entries - first;
    if (count <= 0) return;
    m->PackedHistory = mode ? 1 : 0;
    History().ShowInMes(static_cast<int32_t>(first), static_cast<int32_t>(count), m);
}

void TComClrHist::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    History().Clear();
}

void TComEntryHist::ReadFields(FieldReader& r) { ObjectName = ReadExprField(r, "object name"); }

void TComEntryHist::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    const std::string name = ExprText(ObjectName.get());
    TVorqObject* obj = name.empty() || !VorqBaseList ? nullptr : VorqBaseList->FindObject(name);
    if (!obj || !Params) return;
    Params->history_settings = {obj->GetFontHeight(), obj->GetFontBorder(), obj->GetFontShadow(),
                                obj->GetWidth(),      obj->GetHeight(),     obj->GetLineSpace()};
}

void TComClrRead::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    ReadList().Clear();
}
