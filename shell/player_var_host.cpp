#include "shell/player_var_host.h"

#include "shell/form_view.h"
#include "media/base/media.h"
#include "media/base/screen_manager.h"

int32_t TPlayerVarHost::ReadInt(int index) {
    switch (index) {
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
    if (index == svFullScr) return ScreenManager && ScreenManager->FullScreen();
    return TEngineVarHost::ReadBool(index);
}

void TPlayerVarHost::WriteBool(int index, bool v) {
    if (index == svFullScr)
        FView.SetFullScreen(v);
    else
        TEngineVarHost::WriteBool(index, v);
}
