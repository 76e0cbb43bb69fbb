#include "engine/engine_var_host.h"

#include "engine/game_clock.h"
#include "engine/project.h"
#include "platform/clock.h"

namespace {

TCallMan* call_man() { return Project ? Project->CallMan.get() : nullptr; }

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
    default: return TSystemVarHost::ReadInt(index);
    }
}

std::string TEngineVarHost::ReadStr(int index) {
    if (index == svSender) {
        TCallMan* cm = call_man();
        return cm ? cm->EventObjectName() : std::string();
    }
    return TSystemVarHost::ReadStr(index);
}

int32_t TEngineVarHost::ArrayCount(int index) {
    if (index == svParamStr) {
        TCallMan* cm = call_man();
        return cm ? cm->ArgCount() : 0;
    }
    return TSystemVarHost::ArrayCount(index);
}

std::string TEngineVarHost::ReadStrAt(int index, int32_t i) {
    if (index == svParamStr) {
        TCallMan* cm = call_man();
        return cm ? cm->GetArg(i) : std::string();
    }
    return TSystemVarHost::ReadStrAt(index, i);
}

uint32_t TEngineVarHost::GameClock() { return ::GameClock; }
