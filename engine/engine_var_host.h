// The system variables that the interpreter and the frame loop answer:
// @Result, @ParamCount, @ParamStr, @Sender, @TickCount, @PCTickCount and
// @UpdateCount. The player's host derives from it for the variables of the
// display objects and the window.
#pragma once
#include "engine/system_vars.h"

class TEngineVarHost : public TSystemVarHost {
public:
    TCustomParam* TopFrameResult() override;
    int32_t ReadInt(int index) override;
    std::string ReadStr(int index) override;
    int32_t ArrayCount(int index) override;
    std::string ReadStrAt(int index, int32_t i) override;
    uint32_t GameClock() override;
};
