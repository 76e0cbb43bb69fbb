#include "engine/commands/media.h"

#include "engine/page.h"
#include "files/save_stream.h"

void TComMovieStop::ReadFields(FieldReader& r) {
    Target = ReadExprField(r, "target object");
    FadeTime = ReadExprField(r, "fade time");
    Wait = ReadExprField(r, "wait");
    if (page_version() >= 107) EventBlock = ReadExprField(r, "event block");
}

void TComMovieStop::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

// The medium is named in the state; without media objects there is none.
void TComMovieStop::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m);
    WriteStreamString(m, std::string());
    WriteStreamByte(m, StopWait);
    WriteStreamByte(m, StopBlocksEvents);
}

void TComMovieStop::LoadState(TStream& s) {
    const int32_t v = ReadStateVersion(s);
    FieldReader r(s, CommandStateMessage());
    r.String("target object");
    StopWait = r.U8("wait");
    if (v >= 100) StopBlocksEvents = r.U8("blocks events");
}

void TComMediaPlay::ReadFields(FieldReader& r) { ObjectName = ReadExprField(r, "object name"); }

void TComMediaPlay::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }

void TComPropMotion::ReadFields(FieldReader& r) {
    Name = ReadExprField(r, "name");
    Target = ReadExprField(r, "target object");
    PropertyId = ReadExprField(r, "property id");
    Value = ReadExprField(r, "target value");
    Duration = ReadExprField(r, "duration");
    Easing = ReadExprField(r, "easing");
    if (page_version() >= 108) Paused = ReadExprField(r, "paused");
}

void TComPropMotion::Execute(TCallMan&, TPage*&, int32_t& pc) { raise_not_available(pc); }
