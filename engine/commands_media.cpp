#include "engine/commands_media.h"

#include "engine/page.h"
#include "script/param.h"
#include "files/save_stream.h"
#include "objects/scene/scene.h"
#include "platform/text/codepage.h"

void TComMovieStop::ReadFields(FieldReader& r) {
    Target = ReadExprField(r, "target object");
    FadeTime = ReadExprField(r, "fade time");
    Wait = ReadExprField(r, "wait");
    if (page_version() >= 107) EventBlock = ReadExprField(r, "event block");
}

namespace {
// The medium still exists: a fading sound renames itself, so it is looked
// up by itself rather than by name.
bool still_there(TVorqObject* obj) { return obj && VorqBaseList && VorqBaseList->IndexOfObject(obj) >= 0; }
}  // namespace

void TComMovieStop::Prepare(TCallMan&) {
    StopBlocksEvents = ExprBool(EventBlock.get(), false) ? 1 : 0;
    StopWait = 0;
    const std::string name = ExprText(Target.get());
    TargetMedium = name.empty() || !VorqBaseList ? nullptr : VorqBaseList->FindObject(name);
    if (!TargetMedium) return;
    const int32_t t = ExprInt(FadeTime.get(), 0);
    if (t > 0) {
        const std::string source = TargetMedium->GetSource();
        const uint8_t state = TargetMedium->GetPlayState();
        if ((source.rfind("CD_", 0) != 0 && !SoundFileExists(source)) || (state != PS_PLAY && state != PS_FADEIN)) {
            TargetMedium = nullptr;
        } else {
            TargetMedium->SetDelay(t);
            TargetMedium->SetPlayState(PS_FADEOUT);
        }
    } else {
        TargetMedium->SetPlayState(PS_STOP);
        TargetMedium->Scrap();
        TargetMedium = nullptr;
    }
    StopWait = ExprBool(Wait.get(), false) ? 1 : 0;
}

void TComMovieStop::Execute(TCallMan&, TPage*&, int32_t& pc) {
    if (TargetMedium && StopWait && still_there(TargetMedium)) return;
    ++pc;
}

void TComMovieStop::SaveState(std::unique_ptr<TMemoryStream>& s) {
    TMemoryStream& m = StateStream(s);
    WriteStateTag(m);
    WriteStreamString(m, still_there(TargetMedium) ? TargetMedium->GetName() : std::string());
    WriteStreamByte(m, StopWait);
    WriteStreamByte(m, StopBlocksEvents);
}

void TComMovieStop::LoadState(TStream& s) {
    const int32_t v = ReadStateVersion(s);
    FieldReader r(s, CommandStateMessage());
    const std::string name = r.String("target object");
    TargetMedium = name.empty() || !VorqBaseList ? nullptr : VorqBaseList->FindObject(name);
    StopWait = r.U8("wait");
    if (v >= 100) StopBlocksEvents = r.U8("blocks events");
}

void TComMediaPlay::ReadFields(FieldReader& r) { ObjectName = ReadExprField(r, "object name"); }

void TComMediaPlay::Execute(TCallMan&, TPage*&, int32_t& pc) {
    ++pc;
    const std::string name = ExprText(ObjectName.get());
    if (name.empty() || !VorqBaseList) return;
    // Sounds and videos start again from their source; other objects have no start.
    TVorqObject* target = VorqBaseList->FindObject(name);
    if (auto* sound = dynamic_cast<TVorqSound*>(target)) sound->Restart();
    else if (auto* video = dynamic_cast<TVorqVideo*>(target)) video->Restart();
}

void TComPropMotion::ReadFields(FieldReader& r) {
    Name = ReadExprField(r, "name");
    Target = ReadExprField(r, "target object");
    PropertyId = ReadExprField(r, "property id");
    Value = ReadExprField(r, "target value");
    Duration = ReadExprField(r, "duration");
    Easing = ReadExprField(r, "easing");
    if (page_version() >= 108) Paused = ReadExprField(r, "paused");
}

void TComPropMotion::Execute(TCallMan&, TPage*&, int32_t& pc) {
    if (!VorqBaseList) raise_not_available(pc);
    ++pc;
    auto* m = static_cast<TVorqPropMotion*>(CreateObjectByType(VorqBaseList, LT_PROPMOTION));
    const std::string name = ExprText(Name.get());
    if (!name.empty()) m->SetName(name);
    const std::string target = ExprText(Target.get());
    if (!target.empty()) m->ObjectName = target;
    // Without a property the half-made motion stays; its first step ends it.
    TCustomParam* id = EvalExpr(PropertyId.get());
    if (!id) throw Exception(Sjis("プロパティ指定が不正です"));
    // Narrowed only when it is an id: 300 must not animate property 44.
    const int32_t pid = id->GetAsInt();
    m->Property = pid >= 0 && pid < PROPERTY_COUNT ? static_cast<uint8_t>(pid) : 255;
    if (TCustomParam* v = EvalExpr(Value.get())) m->TargetValue = v->GetAsFloat();
    if (TCustomParam* v = EvalExpr(Duration.get())) m->Duration = v->GetAsInt();
    if (TCustomParam* v = EvalExpr(Easing.get())) m->Easing = static_cast<uint8_t>(v->GetAsInt());
    if (TCustomParam* v = EvalExpr(Paused.get())) m->SetPaused(v->GetAsBool());
}
