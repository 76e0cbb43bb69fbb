// One player per game folder. Games name a mutex for this; here the
// name becomes a lock file in each of the user's private lock folders,
// held with flock for the life of the process (the kernel drops it when
// the process ends, however it ends) and removed when the player lets it
// go.
#pragma once
#include <string>

using InstanceMutex = int;
// Another instance holds the name.
constexpr InstanceMutex NoInstanceMutex = -1;
// No lock folder could be used at all: the player runs unguarded, saying
// so, rather than refusing to start.
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

// Takes the named lock in each of the user's lock folders that can be
// used: NoInstanceMutex when another process (or another handle of this
// one) holds it in one of them, else a handle to pass to
// ReleaseInstanceMutex, which also removes the lock files. What the user
// should know (the folder under /tmp left alone as planted or odd, or no
// folder usable at all) is put into `notice`, a line per fact, when given.
//
// The lock folders are folders of this user's alone (mode 0700), made when
// missing, the same for every start whatever the environment says (a
// desktop launcher and an ssh shell give different XDG_RUNTIME_DIR
// values), so that one game runs once per user:
// - InstanceLockFolder, under /tmp;
// - ".cache/vorqplayer/locks" in the user's home (from the user database,
//   else $HOME), which nobody else can plant. Taken on every start too, so
//   the guard holds while the folder under /tmp is planted, or when it was
//   removed while a player ran.
InstanceMutex CreateInstanceMutex(const std::string& name, std::string* notice = nullptr);
void ReleaseInstanceMutex(InstanceMutex handle);

// "/tmp/vorqplayer-<uid>/", a folder of this user's with another mode set
// back to 0700; "" when it cannot be used. Anyone may make that name
// first: another user's folder, a link or a file there is never used, nor
// is anything put into it.
std::string InstanceLockFolder();
// The lock file of a name in InstanceLockFolder, "" when that is not used.
std::string InstanceLockFile(const std::string& name);
