// The quit signals, and the player's end at once when it cannot end its
// own way: what must still be done then (monitors put back, the lock file
// and the temporary folder removed) is registered here by whoever owns it.
#pragma once
#include <functional>

// SIGINT, SIGTERM and SIGHUP (unless ignored, as under nohup) ask the
// program to end the way the window's close box does: every wait for a
// window event takes the request (TakeQuitSignal) and reports a
// CloseRequest, so a message box open at that moment gives its cancel
// answer and the main window still closes. Later signals only repeat the
// request. Once the program waits for events, a request that no wait has
// taken for 3 s (a game stuck inside one frame) ends the program at once
// (EndAtOnce, by that signal); a start that has not reached its first wait
// yet is not cut short. Installed by main() before the window is made, so
// SDL leaves these signals to us.
void CatchQuitSignals();
// Called by every wait for window events: true when a quit signal came,
// which the program then answers its own way.
bool TakeQuitSignal();

// Steps for EndAtOnce, run newest first, on the thread that ends the
// program (never inside a signal handler), each at most once. The id
// returned is for ForgetAtAbruptEnd, once what the step would undo is
// gone by the ordinary way.
int AtAbruptEnd(std::function<void()> step);
void ForgetAtAbruptEnd(int id);
// Runs the steps, then ends the process: killed by signal when it is not
// 0 (its default action, so that the parent sees why), else with status.
// A second caller waits for the first to end the process.
[[noreturn]] void EndAtOnce(int status, int signal = 0);
