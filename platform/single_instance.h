// One player per game folder. Games name a mutex for this; here the
// name becomes a lock file in the user's runtime folder, held with flock
// for the life of the process (the kernel drops it when the process ends,
// however it ends).
#pragma once
#include <string>

using InstanceMutex = int;
// Another instance holds the name.
constexpr InstanceMutex NoInstanceMutex = -1;
// The lock file could not be made at all: the player runs unguarded rather
// than refusing to start for a reason the user cannot see.
constexpr InstanceMutex UncheckedInstanceMutex = -2;

// The mutex name of a game folder (Shift-JIS): upper-cased (double-byte
// characters left alone), a delimiter appended unless one ends it, then
// every path delimiter replaced by "-". "c:\games\novel" gives
// "C:-GAMES-NOVEL-", so folders differing only in letter case share a name.
std::string InstanceMutexName(const std::string& sjis_folder);

// Takes the named lock: NoInstanceMutex when another process (or another
// handle of this one) holds it, else a handle to pass to
// ReleaseInstanceMutex.
InstanceMutex CreateInstanceMutex(const std::string& sjis_name);
void ReleaseInstanceMutex(InstanceMutex handle);

// The folder holding the lock files: $XDG_RUNTIME_DIR, else a folder of
// our own under /tmp that only this user may use. Ends with "/".
std::string InstanceLockFolder();
