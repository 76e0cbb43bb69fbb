// vorqplayer [game folder ...] | vorqplayer /config
// VORQ_HEADLESS=1 plays without a display (VORQ_FRAMES=n stops after n
// frames); VORQ_TRACE turns the command trace on.
#include "shell/form_view.h"
#include "shell/player_entry.h"
#include "media/audio/sound_items.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/resources.h"
#include "platform/system/trace.h"
#include "platform/system/quit_signals.h"

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

// The window icon, linked in at build time from app/vorqplayer.ico.
extern const unsigned char kPlayerIcon[];
extern const size_t kPlayerIconSize;
// The start-up logo's archive, packed at build time from our own film.
extern const unsigned char kMadeWith[];
extern const size_t kMadeWithSize;

int main(int argc, char** argv) {
    RegisterResource(kMainIconName, kMainIconType, {kPlayerIcon, kPlayerIconSize});
    RegisterResource("MADEWITH", "DATA", {kMadeWith, kMadeWithSize});
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        args.push_back(a.empty() ? a : GamePath(a));
    }
    TEntryOptions options;
    const char* headless = std::getenv("VORQ_HEADLESS");
    options.Headless = headless && *headless && std::string(headless) != "0";
    // Without a display there is no one to hear the sound either.
    if (options.Headless) setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (const char* frames = std::getenv("VORQ_FRAMES")) options.MaxFrames = std::strtoull(frames, nullptr, 10);
    TraceStartFromEnvironment();
    // The companion media module is checked before any window exists.
    if (!LoadCompanionLibrary()) {
        TraceFinal();
        return 1;
    }
    CatchQuitSignals();
    // A socket whose far end has gone (the X server, a web server) must be
    // a write error the code sees: Xlib then ends the player through its
    // own fatal-error path, which SIGPIPE's default would cut short.
    std::signal(SIGPIPE, SIG_IGN);
    const TEntryResult result = PlayerMain(args, options);
    TraceFinal();
    return result.ExitCode;
}
