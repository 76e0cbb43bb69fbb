// Opens a web address in the user's browser: xdg-open started with
// posix_spawnp on an argument vector (no shell reads the address), not
// waited for. Tests put their own opener in its place.
#pragma once
#include <string>

// True when the opener was started.
bool ShellOpenUrl(const std::string& url);
using TUrlOpener = bool (*)(const std::string& url);
// Null restores xdg-open.
void SetUrlOpener(TUrlOpener opener);
