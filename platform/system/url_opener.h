// Opens a web address in the user's browser: the desktop's opener
// (xdg-open) started with posix_spawnp on an argument vector, so no shell
// reads the address, and not waited for. Tests put their own opener, or
// their own opener program, in its place.
#pragma once
#include <string>

// Starts the opener with the address (Shift-JIS, handed on in UTF-8). True
// when the opener was started; an address that starts like an option is
// refused.
bool ShellOpenUrl(const std::string& url);
using TUrlOpener = bool (*)(const std::string& url);
// Null restores the spawned program.
void SetUrlOpener(TUrlOpener opener);

// The program spawned: "xdg-open" (looked up on PATH) unless another was
// set; an empty name sets the default back. With wait, ShellOpenUrl returns
// only once the program has ended.
void SetUrlOpenerProgram(const std::string& program, bool wait = false);
