// The monitors come back even when the player cannot put them back itself
// (killed, crashed, stuck): from its first mode switch on, a small process
// of its own (this executable started again, from the file opened at the
// program's start, with a hidden argument) holds what the player
// switched, and puts it back once the player's end of their socket closes. What the player puts back itself it tells the
// watcher to forget. Any program that links this in starts as the watcher
// when asked to, before its main() runs.
#pragma once
#include "platform/display/x11_screen.h"

// The switch is about to be made on the display named: the watcher,
// started now when none runs, holds it (a second switch of the same CRTC
// replaces the first) until ForgetCrtcSwitch or the player's end. A
// watcher that fails to start is tried again a little later, twice; then
// the player does without one and says so once on stderr. False once it
// has given up.
bool WatchCrtcSwitch(const char* display_name, const TCrtcSwitch& change);
void ForgetCrtcSwitch(unsigned long crtc);
// A watcher that has ended (killed with the player's name, say) is
// replaced at once by a new one that holds what it held; the loss is said
// once on stderr. A start that failed is tried again when its turn has
// come. Cheap enough for every turn of the event loop.
void KeepScreenWatcher();
// Ends the watcher: it puts back what it still holds, then ends; waits up
// to a second for that. Makes only system calls, so the thread that ends
// the player at once may call it whatever the others do.
void FinishScreenWatcher();
// The watcher's process id, -1 while none runs.
int ScreenWatcherPid();
