// Program-wide run state of the engine: the game clock that the frame loop
// advances, the frame counter, and the flag that stops play.
#pragma once
#include <cstdint>

// Game time in ms, advanced only by measured frame gaps (wraps at 2^32).
extern uint32_t GameClock;
// Length of the last frame gap added to GameClock, in ms.
extern uint32_t FrameTime;
// Target frame length in ms (16 by default; never 0): the frame loop
// sleeps towards it and particle emitters count their time in its ticks.
extern int32_t FramePeriod;
// Frames run since start.
extern uint32_t FrameCount;
// Set when the player must stop; the frame loop does nothing while it is set.
extern bool Terminating;

// Asks the main window to close (its close request is posted, not run at
// once). Null while there is no window, as in headless runs.
extern void (*CloseMainWindow)();

// Terminating := true and the main window asked to close.
void RequestTermination();
