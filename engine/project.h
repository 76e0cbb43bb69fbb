// The game as a whole: where its data lies, its project file "vorq.vpb"
// (title, screen size, start page, settings, global variables, which folder
// is on which disc), the interpreter that runs its pages, the pending save
// and load requests, the captions of the save slots, and the test every
// scenario and media file goes through before it is opened.
#pragma once
#include "engine/call_man.h"
#include "files/install_set.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class TWzBigMemoryStream;
class TSaveFile;

// The stored fields of a project file.
struct TProjectFileData {
    struct Variable {
        uint8_t Type = 0;  // 1 integer, 2 real, 3 flag, 4 string; others carry no value
        std::string Name;
        int32_t Int = 0;
        long double Float = 0;
        uint8_t Flag = 0;
        std::string Text;
    };
    uint32_t Version = 109;
    std::string Title;
    int32_t Width = 0, Height = 0;
    int32_t FullScreenWidth = 0, FullScreenHeight = 0;
    std::string StartPage;
    std::string RegistryKey;
    uint32_t IdCode = 0;
    uint8_t SaveStatusToDisk = 1;    // version 104 on
    uint8_t SleepBetweenFrames = 0;  // version 106 on
    std::string SoundExtensions;     // version 109 on
    std::string DiscPrompt;
    std::string QuitText;
    std::vector<Variable> Variables;
    std::vector<TFolderDiskList::Row> FolderDisks;
};

// Reads a project file; false (nothing read beyond the version) when its
// version is above 109. Truncated or corrupt data raises ECorruptData.
bool ReadProjectFile(TStream& s, TProjectFileData& out);
// Writes one in the given version's layout.
void WriteProjectFile(TStream& s, const TProjectFileData& data);

class TProject {
public:
    static constexpr uint32_t kMaxVersion = 109;

    // args: the command-line arguments (the first names the game folder).
    // Failure leaves Terminating set.
    explicit TProject(std::vector<std::string> args = {});
    ~TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    std::string Title;
    int32_t Width = 0, Height = 0;
    int32_t FullScreenWidth = 0, FullScreenHeight = 0;
    std::string StartPage;
    std::string RegistryKey;
    uint32_t IdCode = 0;
    uint8_t SaveStatusToDisk = 1;
    uint8_t SleepBetweenFrames = 1;
    std::string SoundExtensions;
    std::unique_ptr<TCallMan> CallMan;
    int32_t LoadSlot = -1;
    int32_t SaveSlot = -1;
    std::string SaveResumePage;
    std::string SaveCaption;
    int32_t SaveResumePC = 0;
    std::vector<std::pair<int32_t, std::string>> SlotCaptions;  // slot, caption
    TFolderDiskList FolderDisks;
    std::string DiscPrompt;
    std::string QuitText;

    void Step();
    bool FileExists(const std::string& name);
    std::string SavePath() const;
    bool LocateData();
    void ReadOriginalProject();
    std::string GetSlotCaption(int32_t slot) const;
    void SetSlotCaption(int32_t slot, const std::string& caption);
    // Reads each slot's caption on its own: a damaged slot shows none and
    // hides no other; damage found is told once.
    void RefreshSlotCaptions();

    // Game saves (engine/game_save.cpp). The frame loop serves the pending
    // requests after the update pass: a load, then a save; true when it
    // loaded a game.
    bool ProcessRequests();
    // Nothing when the caption is empty. A save that cannot be written says
    // so in a warning box and play goes on.
    void SaveGame(int32_t slot, const std::string& resume_page, int32_t resume_pc, const std::string& caption);
    // save.dat with slot's record replaced or added, built into out.
    void WriteGameSave(TWzBigMemoryStream& out, int32_t slot, const std::string& caption, int32_t resume_pc,
                       const std::string& resume_page);
    // Nothing when save.dat or the slot is missing. A save that cannot be
    // used ends the game with UnusableSaveMessage and closes the window.
    void LoadGame(int32_t slot);
    // The status record into save.dat (at the end and after a game save);
    // nothing when no game was loaded. Raises when it cannot be written.
    void WriteStatus();
    // The end of the game: writes the status; when that fails, tells the
    // player what a save would (the same warning box, while the window
    // still stands) and writes it on stderr too, where it outlasts the
    // window. False then; save.dat stays as it was. Done once, by the
    // destructor when no one did.
    bool Finish();

private:
    void create();
    void read_status_record();
    bool read_project();
    void apply(const TProjectFileData& d);
    bool search_discs(const std::string& id_text);
    std::vector<std::string> args_;
    // Tells the player once of damage found in save.dat (its directory, a
    // slot, the status); the next save keeps the file aside before it
    // replaces it.
    void report_save_damage();
    // save.dat, read once for each change.
    std::unique_ptr<TSaveFile> save_file_;
    // The project file was read: only then is there a status to keep.
    bool game_loaded_ = false;
    bool finished_ = false;
    bool status_written_ = true;
};

extern TProject* Project;

// TProject.FileExists of the running project; without one, whether the file
// manager finds the name.
bool ProjectFileExists(const std::string& name);
