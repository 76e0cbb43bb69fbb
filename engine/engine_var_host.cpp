#include "engine/engine_var_host.h"

#include "script/game_clock.h"
#include "engine/project.h"
#include "media/base/media_managers.h"
#include "objects/scene/scene.h"
#include "platform/system/clock.h"
#include "platform/text/fonts.h"

namespace {

TCallMan* call_man() { return Project ? Project->CallMan.get() : nullptr; }

// The active screen layer of the registry, none before the display objects exist.
TVorqBase* active_layer() { return VorqBaseList ? VorqBaseList->ActiveBase() : nullptr; }

// @Fonts / @FixedFonts: the face names one per line, without blanks or
// line breaks around the whole.
std::string font_list(bool fixed_only) {
    std::string out;
    for (const std::string& name : GetFontNames(true, false, fixed_only)) {
        if (!out.empty()) out += "\r\n";
        out += name;
    }
    size_t b = 0, e = out.size();
    while (b < e && static_cast<unsigned char>(out[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(out[e - 1]) <= ' ') --e;
    return out.substr(b, e - b);
}

}  // namespace

TCustomParam* TEngineVarHost::TopFrameResult() {
    TCallMan* cm = call_man();
    return cm ? cm->TopFrameResult() : nullptr;
}

int32_t TEngineVarHost::ReadInt(int index) {
    switch (index) {
    case svParamCount: {
        TCallMan* cm = call_man();
        return cm ? cm->ArgCount() : 0;
    }
    case svTickCount: return static_cast<int32_t>(::GameClock);
    case svPCTickCount: return static_cast<int32_t>(TimeGetTime());
    case svUpdateCount: return static_cast<int32_t>(FrameCount);
    case svScrWidth: return Project ? Project->Width : 0;
    case svScrHeight: return Project ? Project->Height : 0;
    case svMouseX: {
        TVorqBase* b = active_layer();
        return b ? b->MouseX : 0;
    }
    case svMouseY: {
        TVorqBase* b = active_layer();
        return b ? b->MouseY : 0;
    }
    case svHistoryCount: return History().GetCount();
    case svHistoryMaxCount: return History().MaxCount;
    default: return TSystemVarHost::ReadInt(index);
    }
}

void TEngineVarHost::WriteInt(int index, int32_t v) {
    if (index == svHistoryMaxCount) History().MaxCount = v;
    else TSystemVarHost::WriteInt(index, v);
}

bool TEngineVarHost::ReadBool(int index) {
    if (index == svCGDither) return GetCGDither();
    if (index == svSoundON) return VorqBaseList ? VorqBaseList->SoundOn != 0 : false;
    TVorqBase* b = active_layer();
    if (!b) return TSystemVarHost::ReadBool(index);
    switch (index) {
    case svLClick: return b->LClicked != 0;
    case svRClick: return b->RClicked != 0;
    case svLPush: return b->GetLClick();
    case svRPush: return b->GetRClick();
    case svWheelDown: return b->WheelDown != 0;
    case svWheelUp: return b->WheelUp != 0;
    default: return TSystemVarHost::ReadBool(index);
    }
}

void TEngineVarHost::WriteBool(int index, bool v) {
    if (index == svCGDither) {
        SetCGDither(v);
        return;
    }
    if (!VorqBaseList) return;
    if (index == svSoundON) {
        VorqBaseList->SetSoundOn(v ? 1 : 0);
        return;
    }
    TVorqBase* b = active_layer();
    if (!b) return;
    if (index == svLClick) b->LClicked = v ? 1 : 0;
    if (index == svRClick) b->RClicked = v ? 1 : 0;
}

bool TEngineVarHost::ReadBoolAt(int index, int32_t i) {
    if (!VorqBaseList || i < 0) return false;
    if (i >= 256) {
        TVorqBase* b = active_layer();
        if (!b || i > 257) return false;
        return (i == 256 ? b->WheelDown : b->WheelUp) != 0;
    }
    switch (index) {
    case svKeyPush: return VorqBaseList->GetKeyPush(i);
    case svKeyClick: return VorqBaseList->GetKeyClick(i);
    case svKeyRepeat: return VorqBaseList->GetKeyRepeat(i);
    default: return false;
    }
}

std::string TEngineVarHost::ReadStr(int index) {
    switch (index) {
    case svSender: {
        TCallMan* cm = call_man();
        return cm ? cm->EventObjectName() : std::string();
    }
    case svTitle: return Project ? Project->Title : std::string();
    case svFonts: return font_list(false);
    case svFixedFonts: return font_list(true);
    case svActiveCompo: {
        TVorqControl* f = VorqBaseList ? VorqBaseList->Focus() : nullptr;
        return f ? f->GetName() : std::string();
    }
    case svMidiPort: {
        TMidiManager* m = MidiManager();
        return m ? m->GetCurrentDeviceName() : std::string();
    }
    default: return TSystemVarHost::ReadStr(index);
    }
}

void TEngineVarHost::WriteStr(int index, const std::string& v) {
    if (index == svMidiPort) {
        if (TMidiManager* m = MidiManager()) m->SelectDeviceByName(v);
        return;
    }
    if (index != svActiveCompo || v.empty() || !VorqBaseList) return;
    // Only a control that can take key input receives the focus.
    TVorqControl* c = VorqBaseList->FindControl(v);
    if (c && !c->GetPaused() && c->GetVisible() && c->GetHandleKey()) VorqBaseList->SetFocusObject(c);
}

int32_t TEngineVarHost::ArrayCount(int index) {
    if (index == svParamStr) {
        TCallMan* cm = call_man();
        return cm ? cm->ArgCount() : 0;
    }
    if (index == svMidiPorts) {
        TMidiManager* m = MidiManager();
        return m ? m->GetDeviceCount() : 0;
    }
    return TSystemVarHost::ArrayCount(index);
}

std::string TEngineVarHost::ReadStrAt(int index, int32_t i) {
    if (index == svParamStr) {
        TCallMan* cm = call_man();
        return cm ? cm->GetArg(i) : std::string();
    }
    if (index == svMidiPorts) {
        TMidiManager* m = MidiManager();
        return m ? m->GetDeviceName(i) : std::string();
    }
    return TSystemVarHost::ReadStrAt(index, i);
}

uint32_t TEngineVarHost::GameClock() { return ::GameClock; }
