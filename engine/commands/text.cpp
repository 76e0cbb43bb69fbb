#include "engine/commands/text.h"

#include "engine/page.h"
#include "files/save_stream.h"

void TComTextIns::ReadFields(FieldReader& r) {
    Text = r.String("message text");
    Target = ReadExprField(r, "target window");
    History = ReadExprField(r, "history");
    Wait = ReadExprField(r, "wait");
    if (page_version() >= 107) EventBlock = ReadExprField(r, "event block");
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
    FieldReader r(s, CommandStateMessage());
    r.String("target window");
    TextWait = r.U8("wait");
    if (v >= 100) TextBlocksEvents = r.U8("blocks events");
}

void TComTextClr::ReadFields(FieldReader& r) { Target = ReadExprField(r, "target window"); }

void TComTextClr::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComCallHist::ReadFields(FieldReader& r) {
    Target = ReadExprField(r, "target window");
    First = ReadExprField(r, "first entry");
    EntryCount = ReadExprField(r, "entry count");
    Mode = ReadExprField(r, "mode");
}

void TComCallHist::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComClrHist::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComEntryHist::ReadFields(FieldReader& r) { ObjectName = ReadExprField(r, "object name"); }

void TComEntryHist::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComClrRead::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }
