// The program entry of the player, apart from main() so that tests can run
// it: refusal on a CD-ROM drive, one player per game folder, the settings
// dialog for "/config", else the main window and its message loop.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum class TEntryOutcome {
    RefusedCdRom,      // the executable lies on a CD-ROM drive
    RefusedInstance,   // another player runs on the same game folder
    NoDisplay,         // no display to open a window on, or it cannot be opened
    NoFont,            // no font to draw text with
    Config,            // the settings dialog ran
    Played,            // the main window ran
};

struct TEntryOptions {
    // Run without a display (tests and batch runs): the window lives in
    // memory and MaxFrames, when non-zero, ends play after that many frames.
    bool Headless = false;
    uint64_t MaxFrames = 0;
};

struct TEntryResult {
    TEntryOutcome Outcome = TEntryOutcome::Played;
    int ExitCode = 0;
    uint64_t Frames = 0;
};

// Whether the path lies below one of the CD-ROM roots (each ending in "/").
bool PathOnCdRom(const std::string& path, const std::vector<std::string>& cdrom_roots);

// args: the command-line arguments as game paths (Shift-JIS), without the
// program name. The player's modules are installed first
// (InstallPlayerModules); the unit start-up and shut-down (file manager,
// ExitDeleteList) run around everything else.
TEntryResult PlayerMain(const std::vector<std::string>& args, const TEntryOptions& options);
