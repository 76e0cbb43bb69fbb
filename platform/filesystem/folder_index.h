// Names of a folder by their spellings, from the folder's listing, which
// is kept between look-ups while the folder stays as it was (on file
// systems whose folder times show every change, FolderTimesFollowChanges;
// elsewhere for about a frame, and until the player changes a file): a name asked
// for in another spelling than the one on disc (letter case, a game
// unpacked without converting names) costs a look-up in a table, not a
// read of the folder, whatever the folder's size. Safe on any thread.
#pragma once
#include "platform/text/codepage.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The entries of the folder `dir` (the system's path, "" for the working
// folder) that one of the spellings names without case: those of the
// first spelling first, each in the order of the folder's listing, each
// once. `dir_state`, when given, is the folder's stat taken just now.
std::vector<std::string> FolderEntriesNamed(const std::string& dir, const std::vector<SystemSpelling>& spellings,
                                            const struct stat* dir_state = nullptr);

// FolderEntriesNamed for the folder open as dir_fd (O_PATH will do),
// wherever it lies now: from a listing kept of it, else read anew.
std::vector<std::string> FolderEntriesNamedIn(int dir_fd, const std::vector<SystemSpelling>& spellings);

// Whether a file system (statfs's f_type) gives a folder new times at
// every create, remove and rename in it, so that unchanged times mean an
// unchanged listing. Elsewhere a listing stands for a short while only.
bool FolderTimesFollowChanges(uint64_t file_system_type);

// Drops the listings kept on file systems whose folder times cannot be
// trusted: every write, rename or removal of a file by the player calls it,
// so that the player always finds what it made itself.
void NoteOwnFileChange();

// Benchmarks and tests compare both ways on one file system: while false,
// every folder is taken as one whose times cannot be trusted.
void TrustFolderTimes(bool trust);

// Whether a listing of the folder is kept that was read long enough after
// the folder's last change to stand for it; nothing is asked of the system.
bool FolderListingKept(const std::string& dir);
// FolderEntriesNamed from the kept listing alone: nothing when none is kept
// or the folder changed since it was read. `dir_state` gets the folder's
// stat.
std::optional<std::vector<std::string>> KeptFolderEntriesNamed(const std::string& dir,
                                                               const std::vector<SystemSpelling>& spellings,
                                                               struct stat& dir_state);
