// The game and status saves of save.dat: one entry per saved game
// ("GAMESAVEDATA" + slot) and one status entry ("STATUSSAVEDATA") with
// what outlasts every game (status variables, read marks, the image
// cache's setting, status tables). The whole file is rewritten on every
// save, so it is built in memory and replaced in one step: a crash or a
// kill at any moment leaves either the old file or the new one whole.
// TProject's ProcessRequests, SaveGame, WriteGameSave, LoadGame and
// WriteStatus (engine/project.h) are built on these and on TSaveFile
// (engine/save_file.h), the file itself.
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

struct TVrNameRule;
// The names the player gives save.dat's entries: "STATUSSAVEDATA" and
// GameSaveEntryName of a slot, spelt exactly so. Any other name in the file
// is damage.
const TVrNameRule& SaveEntryNames();

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

// The player's notice that a damaged save.dat was kept at kept_path and a
// new one written.
std::string DamagedSaveKeptMessage(const std::string& kept_path);
// The notice, at start, that save.dat is damaged and what the next save does.
std::string DamagedSaveMessage(const std::string& save_path);
