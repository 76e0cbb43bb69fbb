// Files and folders by game path. Game paths are Shift-JIS, may use "\"
// as the separator, and come from a case-insensitive file system; each
// component is matched against the directory without case.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr char PathDelim = '\\';
inline bool IsPathDelimiter(char c) { return c == '\\' || c == '/'; }

// Folders the system gives (game folder, executable, temporary folder)
// enter the engine through GamePath and reach the system again through
// NativePath unchanged, whatever characters they hold (SystemNameToSjis).

// The native ("/" separated, the system's bytes) path for a game path.
// Existing components are matched without case; missing ones are kept as
// written.
std::string NativePath(const std::string& sjis_path);
// The names between the delimiters of a game path ("\" or "/", never a
// trail byte), empty ones left out.
std::vector<std::string> GamePathComponents(const std::string& sjis_path);
// The game path (Shift-JIS) for a native path, without loss.
std::string GamePath(const std::string& native_path);

bool FileExists(const std::string& sjis_path);       // a regular file
bool DirectoryExists(const std::string& sjis_path);  // a folder
bool DeleteFile(const std::string& sjis_path);
bool RenameFile(const std::string& from, const std::string& to);
bool ForceDirectories(const std::string& sjis_path);
// Last-write time as a DOS date-time (date in the high word), -1 when missing.
int32_t FileAge(const std::string& sjis_path);
int64_t FileSizeOf(const std::string& sjis_path);  // -1 when missing
// Names (not paths) of the entries of a folder, "." and ".." left out.
std::vector<std::string> ListDirectory(const std::string& sjis_path);

// Attributes in the platform's bit layout.
constexpr int32_t faReadOnly = 0x01;
constexpr int32_t faDirectory = 0x10;
constexpr int32_t faArchive = 0x20;
int32_t FileGetAttr(const std::string& sjis_path);  // -1 when missing

// A DOS date-time (2-second resolution, local time) from a Unix time and back.
int32_t DosDateTimeFromUnix(int64_t unix_time);
int64_t UnixFromDosDateTime(int32_t dos);

// Whether the game path `relative` names a file inside the folder: not
// absolute, no drive or stream colon, no ".." component, and its own folder
// (which must exist) lies within the folder once links are resolved.
bool IsPathInsideFolder(const std::string& sjis_folder, const std::string& sjis_relative);

// The system's own spelling of a game path, for messages: "/" between the
// components, each as it is found on disc.
std::string DisplayPath(const std::string& sjis_path);

// Messages of file errors (Shift-JIS), "<name>:<what>".
// "%s:ファイルがありません": a name (of a game file, or a path) not found.
std::string FileNotFoundMessage(const std::string& name);
enum class FileFault { Missing, Open, Create, Write };
// The message of a fault on the file at a path, shown in its DisplayPath.
std::string FileFaultMessage(FileFault fault, const std::string& sjis_path);

// Path pieces; both "\" and "/" count as delimiters.
std::string ExtractFilePath(const std::string& path);  // up to and with the last delimiter
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);   // with the dot, "" when none
// The extension with ASCII letters lowered, for telling formats apart by name.
std::string LowerFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string IncludeTrailingPathDelimiter(const std::string& path);

// This process's own temporary folder (created on first use, mode 0700,
// removed with its content at exit); ends with "/". It lies in $TMPDIR, or
// in /tmp when that cannot be used; "" when neither takes one. The first
// call also removes the folders that killed players left behind.
std::string PrivateTempFolder();
// This process's own folder in /tmp, made as PrivateTempFolder's is, for
// what the private folder has no room for (a small $TMPDIR that filled
// up): the private folder itself when that lies in /tmp; "" when /tmp
// takes none.
std::string FallbackTempFolder();
// Path of the running executable and its folder (game paths, ending in "/").
std::string ExeFileName();
std::string ExeFolder();
