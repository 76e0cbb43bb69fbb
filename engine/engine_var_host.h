// The system variables that the interpreter, the frame loop and the display
// objects answer: @Result, @ParamCount, @ParamStr, @Sender, @TickCount,
// @PCTickCount, @UpdateCount, the screen size and title of the project,
// and the mouse, key, wheel, focus, sound and dither state of the registry.
// The player's host derives from it for the variables of the window.
#pragma once
#include "script/system_vars.h"

class TEngineVarHost : public TSystemVarHost {
public:
    TCustomParam* TopFrameResult() override;
    int32_t ReadInt(int index) override;
    void WriteInt(int index, int32_t v) override;
    bool ReadBool(int index) override;
    void WriteBool(int index, bool v) override;
    std::string ReadStr(int index) override;
    void WriteStr(int index, const std::string& v) override;
    int32_t ArrayCount(int index) override;
    std::string ReadStrAt(int index, int32_t i) override;
    bool ReadBoolAt(int index, int32_t i) override;
    uint32_t GameClock() override;
};
