#include "script/game_clock.h"

uint32_t GameClock = 0;
uint32_t FrameTime = 0;
uint32_t FrameCount = 0;
int32_t FramePeriod = 16;
bool Terminating = false;
void (*CloseMainWindow)() = nullptr;

void RequestTermination() {
    Terminating = true;
    if (CloseMainWindow) CloseMainWindow();
}
