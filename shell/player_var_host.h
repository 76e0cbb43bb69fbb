// The system variables that need the main window: writes of @MouseX and
// @MouseY move the pointer, @FullScr switches between window and full
// screen, and @DisplayModeCount / @DisplayModeIndex are the screen
// manager's full-screen modes. Everything else comes from TEngineVarHost.
#pragma once
#include "engine/engine_var_host.h"

class TFormView;

class TPlayerVarHost : public TEngineVarHost {
public:
    explicit TPlayerVarHost(TFormView& view) : FView(view) {}

    int32_t ReadInt(int index) override;
    void WriteInt(int index, int32_t v) override;
    bool ReadBool(int index) override;
    void WriteBool(int index, bool v) override;

private:
    TFormView& FView;
};
