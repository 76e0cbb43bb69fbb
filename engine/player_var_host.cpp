#include "engine/player_var_host.h"

#include "engine/form_view.h"
#include "media/media.h"
#include "media/screen_manager.h"
#include "objects/base_list.h"
#include "platform/fonts.h"

namespace {

TVorqBase* active_layer() { return VorqBaseList ? VorqBaseList->ActiveBase() : nullptr; }

// The installed faces (sorted, no vertical ones), one per line with CR LF
// between them, blanks and line breaks trimmed from both ends.
std::string font_list_text(bool fixed_only) {
    std::string text;
    for (const std::string& name : GetFontNames(true, false, fixed_only)) {
        if (!text.empty()) text += "\r\n";
        text += name;
    }
    // Control bytes and blanks never occur as trail bytes, so a byte-wise
    // trim leaves double-byte characters whole.
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return text.substr(first, last - first);
}

}  // namespace

int32_t TPlayerVarHost::ReadInt(int index) {
    switch (index) {
    case svMouseX: return active_layer() ? active_layer()->MouseX : 0;
    case svMouseY: return active_layer() ? active_layer()->MouseY : 0;
    case svDisplayModeCount: return ScreenManager ? ScreenManager->GetModeCount() : 0;
    case svDisplayModeIndex: return ScreenManager ? ScreenManager->PreferredModeIndex : 0;
    default: return TEngineVarHost::ReadInt(index);
    }
}

void TPlayerVarHost::WriteInt(int index, int32_t v) {
    switch (index) {
    case svMouseX:
    case svMouseY: {
        // Picture coordinates to the window's client area; the other axis
        // stays where the pointer is.
        Video& window = FView.Window();
        TPoint p = window.PointerPosition();
        if (index == svMouseX)
            p.X = FView.ImageOffsetX + v;
        else
            p.Y = FView.ImageOffsetY + v;
        window.WarpPointer(p.X, p.Y);
        break;
    }
    case svDisplayModeIndex:
        // Only a mode of the list is kept: any other index would stay chosen
        // and make every later switch to full screen fail or do nothing.
        if (!ScreenManager || v < 0 || v >= ScreenManager->GetModeCount()) return;
        ScreenManager->PreferredModeIndex = v;
        FView.ApplyDisplayMode();
        break;
    default: TEngineVarHost::WriteInt(index, v);
    }
}

bool TPlayerVarHost::ReadBool(int index) {
    TVorqBase* layer = active_layer();
    switch (index) {
    case svLClick: return layer && layer->LClicked;
    case svRClick: return layer && layer->RClicked;
    case svLPush: return layer && layer->GetLClick();
    case svRPush: return layer && layer->GetRClick();
    case svWheelDown: return layer && layer->WheelDown;
    case svWheelUp: return layer && layer->WheelUp;
    case svFullScr: return ScreenManager && ScreenManager->FullScreen();
    case svCGDither: return GetCGDither();
    case svSoundON: return VorqBaseList && VorqBaseList->SoundOn;
    default: return TEngineVarHost::ReadBool(index);
    }
}

void TPlayerVarHost::WriteBool(int index, bool v) {
    TVorqBase* layer = active_layer();
    switch (index) {
    case svLClick:
        if (layer) layer->LClicked = v;
        break;
    case svRClick:
        if (layer) layer->RClicked = v;
        break;
    case svFullScr: FView.SetFullScreen(v); break;
    case svCGDither: SetCGDither(v); break;
    case svSoundON:
        if (VorqBaseList) VorqBaseList->SetSoundOn(v);
        break;
    default: TEngineVarHost::WriteBool(index, v);
    }
}

std::string TPlayerVarHost::ReadStr(int index) {
    switch (index) {
    case svFonts: return font_list_text(false);
    case svFixedFonts: return font_list_text(true);
    case svActiveCompo: {
        TVorqControl* focus = VorqBaseList ? VorqBaseList->Focus() : nullptr;
        return focus ? focus->GetName() : std::string();
    }
    default: return TEngineVarHost::ReadStr(index);
    }
}

void TPlayerVarHost::WriteStr(int index, const std::string& v) {
    if (index != svActiveCompo) return TEngineVarHost::WriteStr(index, v);
    if (v.empty() || !VorqBaseList) return;
    TVorqControl* c = VorqBaseList->FindControl(v);
    if (c && !c->GetPaused() && c->GetVisible() && c->GetHandleKey()) VorqBaseList->SetFocusObject(c);
}

bool TPlayerVarHost::ReadBoolAt(int index, int32_t i) {
    if (index != svKeyPush && index != svKeyClick && index != svKeyRepeat)
        return TEngineVarHost::ReadBoolAt(index, i);
    if (!VorqBaseList) return false;
    if (i == 256) return VorqBaseList->ActiveBase()->WheelDown;
    if (i == 257) return VorqBaseList->ActiveBase()->WheelUp;
    switch (index) {
    case svKeyPush: return VorqBaseList->GetKeyPush(i);
    case svKeyClick: return VorqBaseList->GetKeyClick(i);
    default: return VorqBaseList->GetKeyRepeat(i);
    }
}
