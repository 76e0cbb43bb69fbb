// One player per game folder. Games name a mutex for this; here the
// name becomes a lock file in the user's private lock folder, held with
// flock for the life of the process (the kernel drops it when the process
// ends, however it ends) and removed when the player lets it go.
#pragma once
#include <string>

using InstanceMutex = int;
// Another instance holds the name.
constexpr InstanceMutex NoInstanceMutex = -1;
// The lock file could not be made at all: the player runs unguarded rather
// than refusing to start for a reason the user cannot see.
constexpr InstanceMutex UncheckedInstanceMutex = -2;

// The folder a game path names, as the system finds it: absolute, each
// component matched as the player's file look-ups match it, links and
// "." / ".." resolved. Two spellings of one folder give one path; folders
// whose names differ only in letter case are different folders.
std::string InstanceFolder(const std::string& sjis_folder);

// The mutex name of a game folder: its InstanceFolder with every "/"
// replaced by "-" and a "-" appended unless one ends it ("/games/novel"
// gives "-games-novel-"). A "-" or "%" of the path itself is written
// "%2D" or "%25", so that "/a-b/c" and "/a/b-c" keep names of their own.
std::string InstanceMutexName(const std::string& sjis_folder);

// Takes the named lock: NoInstanceMutex when another process (or another
// handle of this one) holds it, else a handle to pass to
// ReleaseInstanceMutex, which also removes the lock file.
InstanceMutex CreateInstanceMutex(const std::string& name);
void ReleaseInstanceMutex(InstanceMutex handle);

// The folder holding the lock files: a folder of our own under /tmp that
// only this user may use, ending with "/"; "" when it cannot be used. It
// is the same for every start whatever the environment says (a desktop
// launcher and an ssh shell give different XDG_RUNTIME_DIR values), so one
// game runs once per user.
std::string InstanceLockFolder();
// The lock file of a name, "" when the lock folder cannot be used.
std::string InstanceLockFile(const std::string& name);
