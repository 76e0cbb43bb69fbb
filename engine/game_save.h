// The game and status saves of save.dat: one entry per saved game
// ("GAMESAVEDATA" + slot) and one status entry ("STATUSSAVEDATA") with
// what outlasts every game (status variables, read marks, the image
// cache's setting, status tables). The whole file is rewritten on every
// save, so it is built in memory and replaced in one step: a crash or a
// kill at any moment leaves either the old file or the new one whole.
// TProject's ProcessRequests, SaveGame, WriteGameSave, LoadGame and
// WriteStatus (engine/project.h) are built on these.
#pragma once
#include "platform/filesystem/stream.h"

#include <cstdint>
#include <string>
#include <string_view>

// Version of the game records written; older ones load from 107 on, newer
// ones are refused.
inline constexpr uint32_t kGameSaveVersion = 130;
inline constexpr uint32_t kOldestGameSave = 107;
// Version of the status record written ("Status103").
inline constexpr int32_t kStatusVersion = 103;
inline constexpr char kStatusEntryName[] = "STATUSSAVEDATA";
inline constexpr char kGameSaveEntryPrefix[] = "GAMESAVEDATA";

// "GAMESAVEDATA" + the slot in decimal without leading zeros.
std::string GameSaveEntryName(int32_t slot);

// The slot of a game save entry's name ("GAMESAVEDATA" + decimal digits),
// or -1 for any other name.
int32_t GameSaveSlotOf(std::string_view entry_name);

class TVrFile;
class TVrFileCollection;
struct TVrNameRule;
// The names the player gives save.dat's entries: "STATUSSAVEDATA" and
// GameSaveEntryName of a slot, spelt exactly so. Any other name in the file
// is damage.
const TVrNameRule& SaveEntryNames();
// The caption of a game save entry of save. Raises ECorruptData when the
// entry does not unpack or its head's version and caption do not read: such
// a slot counts as none.
std::string ReadSlotCaption(TVrFileCollection& save, const TVrFile& entry);

// "このセーブデータは使用できません\r\n終了してください" in Shift-JIS.
std::string UnusableSaveMessage();
// "セーブファイルの形式が古いため読めません\r\nsave.dat を削除してから実行してください".
std::string OldSaveMessage();

// The head of a game record.
struct TGameSaveHead {
    uint32_t Version = kGameSaveVersion;
    std::string Caption;
    std::string ResumePage;
    uint32_t ResumePC = 0;
};

class TCallMan;
// Writes a whole game record: head, scene (the main registry), backlog,
// interpreter, variables, game tables.
void WriteGameRecord(TStream& s, const TGameSaveHead& head, const TCallMan& cm);
// Reads one into the running game (steps 2 to 6 of a load): the scene, the
// backlog, the interpreter with the resume page called over the loaded
// flow, the variables and, from version 123, the game tables. Raises on
// anything it cannot use; the game is then in no state to go on.
TGameSaveHead LoadGameRecord(TStream& s, TCallMan& cm);
// Reads the head; refuses versions below kOldestGameSave (OldSaveMessage)
// and above kGameSaveVersion.
TGameSaveHead ReadGameHead(TStream& s);

// The status record: tag "Status103", status variables, read marks, the
// image cache's setting byte, status tables.
void WriteStatusRecord(TStream& s);
// Reads one, tagged or not (an untagged one is status version 0).
void ReadStatusRecord(TStream& s);
// Whether every part of the status exists to be written.
bool StatusRecordAvailable();

// The archive image of save.dat with each names[i] replaced by (or added
// with) contents[i]: every other entry is copied as it is stored (never
// unpacked and packed again). An absent file starts an empty archive; a
// file that is no archive or holds any damage (OpenSalvaging with
// SaveEntryNames finds some) raises ECorruptData and is never written over
// (StoreSaveArchive keeps it aside first).
class TWzBigMemoryStream;
void BuildSaveArchive(const std::string& save_path, const std::string* names, const TMemoryStream* const* contents,
                      int count, TWzBigMemoryStream& out);
// Replaces save.dat with the image whole (a synced temporary renamed over
// it).
void WriteSaveFile(const std::string& save_path, TWzBigMemoryStream& image);

// Writes save.dat with each names[i] replaced by (or added with)
// contents[i], as BuildSaveArchive and WriteSaveFile do. A save.dat that
// cannot be read as an archive (empty, cut short, its directory damaged)
// would otherwise refuse every save for good: it is kept byte for byte
// beside itself ("save.dat.damaged", then ".2", ...). So is one whose damage
// the player was told of (*damage_reported, cleared once the copy is kept),
// since replacing an entry would lose the damaged bytes. Of a kept file the
// new one carries over only the whole entries: those OpenSalvaging keeps
// that unpack, slots whose head reads; a directory that cannot be read at
// all leaves none. A save.dat that may not be written (read-only) is
// refused before any copy is made. Returns the kept copy's path, or ""
// when none was made.
std::string StoreSaveArchive(const std::string& save_path, const std::string* names,
                             const TMemoryStream* const* contents, int count, bool* damage_reported = nullptr);
// The player's notice that a damaged save.dat was kept at kept_path and a
// new one written.
std::string DamagedSaveKeptMessage(const std::string& kept_path);
// The notice, at start, that save.dat is damaged and what the next save does.
std::string DamagedSaveMessage(const std::string& save_path);
