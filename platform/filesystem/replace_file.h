// Replacing a stored file so that no moment of the write can lose it: the
// player's saves rewrite one file holding every slot, and a crash, a kill or
// a full disk half-way must leave the old file whole.
#pragma once
#include <cstddef>
#include <string>

// Replaces the file at sjis_path with size bytes of data. A reader, or a
// crash at any point, sees either the old file whole or the new one whole:
// the bytes go to a temporary file in the same folder (so the rename stays on
// one file system), are synced, the temporary is put in the old one's place,
// and the folder is synced so that the rename itself outlasts a power cut.
// The new file keeps the old one's owner, group and permission bits (0666
// less the umask for a new file, which root makes in another user's folder
// takes that folder's owner and group). A path that is a symbolic link
// stays one: the file it leads to is replaced, in that file's folder. The
// folders up to the file's own (the game's folder, the user's or the
// launcher's choice) are followed as the kernel follows them; links from
// there on (the file's name, and wherever it leads) are followed when this
// user or root made them; another user's, as root only to what that user
// owns, otherwise only from a folder that user owns (a user who may write
// to a game's folder cannot lead the write to a file of ours, nor lead
// root to anyone else's file).
// Failure raises EFCreateError or EWriteError and leaves the old file
// untouched and no temporary behind. The temporary is held under an flock
// until it is renamed; temporaries of the same name that no one holds (a
// writer killed half-way) are removed. A file that may not be written is
// never replaced (CheckFileReplaceable), nor anything but a regular file
// found in its place when the new one goes there.
void ReplaceFileContents(const std::string& sjis_path, const void* data, size_t size);

// ReplaceFileContents for a file a game names below its folder: the file
// finally written, links (dangling ones too) followed, lies inside
// sjis_folder, or the write is refused with EWriteError and nothing is made
// or changed anywhere. The folder is opened once, however its path is
// spelt, and the game's names are resolved from it one by one, each
// matched without case: no link or folder swapped in or moved out while
// the path is followed leads the write out (a ".." goes on only into the
// folder the walk came from), and a link, relative or absolute, that
// leads back inside is followed.
void ReplaceFileInFolder(const std::string& sjis_folder, const std::string& sjis_relative, const void* data,
                         size_t size);

// Removes the file a game names below its folder, found as
// ReplaceFileInFolder finds it (a link in its place is removed itself, not
// what it leads to); false, with nothing removed, when the folders on the
// way lead out of sjis_folder or the file is not there.
bool DeleteFileInFolder(const std::string& sjis_folder, const std::string& sjis_relative);

// Raises EWriteError when the file at sjis_path (or the one it links to)
// exists and may not be written: anything but a regular file (a device, a
// FIFO, a socket, a folder), one its user made read-only (no write bit at
// all: the user's word, which root's rights do not override), one this
// user may not write, or one reached through a link ReplaceFileContents
// does not follow. A rename would replace it all the same, so this is
// asked first.
void CheckFileReplaceable(const std::string& sjis_path);

// Whether the links of sjis_path, if any, are all ones
// ReplaceFileContents follows: a file reached through another user's
// link is no file of ours to read as our own either.
bool LinksFollowedForWriting(const std::string& sjis_path);

// Keeps a copy of the file at sjis_path beside it, byte for byte, under the
// first free name of sjis_path + suffix, then + suffix + ".2", ".3" and so
// on; never over a file that exists. A copy already there with the same
// bytes is that copy: its path is returned and no other is made. The copy
// is synced before this returns its path, and has the file's owner,
// group and permission bits. Only a regular file is copied
// (a device would be copied until the disc fills), reached through links
// as ReplaceFileContents follows them. Failure raises EFOpenError, EReadError, EFCreateError or
// EWriteError and leaves no partial copy.
std::string KeepFileCopy(const std::string& sjis_path, const std::string& suffix);

// Tests stand in for the kernel's openat2 through this (nullptr: the
// kernel's own again), to see the player where it is missing or refused.
struct open_how;
using Openat2Call = long (*)(int dir, const char* path, struct open_how* how, size_t size);
void SetOpenat2ForTests(Openat2Call call);
