// Replacing a stored file so that no moment of the write can lose it: the
// player's saves rewrite one file holding every slot, and a crash, a kill or
// a full disk half-way must leave the old file whole.
#pragma once
#include <cstddef>
#include <string>

// Replaces the file at sjis_path with size bytes of data. A reader, or a
// crash at any point, sees either the old file whole or the new one whole:
// the bytes go to a temporary file in the same folder (so the rename stays on
// one file system), are synced, the temporary is renamed over the old name,
// and the folder is synced so that the rename itself outlasts a power cut.
// The new file keeps the old one's permission bits (0666 less the umask for
// a new file). A path that is a symbolic link stays one: the file it leads
// to is replaced, in that file's folder. Failure raises EFCreateError or
// EWriteError and leaves the old file untouched and no temporary behind.
// The temporary is held under an flock until it is renamed; temporaries of
// the same name that no one holds (a writer killed half-way) are removed.
// A file that may not be written is never replaced (CheckFileReplaceable).
void ReplaceFileContents(const std::string& sjis_path, const void* data, size_t size);

// Raises EWriteError when the file at sjis_path (or the one it links to)
// exists and may not be written: anything but a regular file (a device, a
// FIFO, a socket, a folder), one its user made read-only (no write bit at
// all: the user's word, which root's rights do not override), or one this
// user may not write. A rename would replace it all the same, so this
// is asked first.
void CheckFileReplaceable(const std::string& sjis_path);

// Keeps a copy of the file at sjis_path beside it, byte for byte, under the
// first free name of sjis_path + suffix, then + suffix + ".2", ".3" and so
// on; never over a file that exists. A copy already there with the same
// bytes is that copy: its path is returned and no other is made. The copy
// is synced before this returns its path. Failure raises EFOpenError, EReadError, EFCreateError or
// EWriteError and leaves no partial copy.
std::string KeepFileCopy(const std::string& sjis_path, const std::string& suffix);
