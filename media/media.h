// The media side as the main window starts and stops it: the screen
// manager and the media managers exist from InitMedia to FinalMedia. The
// manager kinds and the companion library's bridge live in their own units
// and plug in here by registering a maker; a kind without one is simply
// absent (nil), which every caller allows for.
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <memory>

class TScreenManager;
class TDXSound;
class AudioDevice;
class Video;

// What the media side asks of every manager kind.
class TMediaManager {
public:
    virtual ~TMediaManager() = default;
    // Pause the playing items and remember them; Resume plays them again.
    virtual void Suspend() = 0;
    virtual void Resume() = 0;
};

// In the order InitMedia creates them and FinalMedia frees them.
enum class TMediaManagerKind { Video, Wmp, Ogg, Cdda, Midi };
constexpr int MediaManagerKinds = 5;
using TMediaManagerMaker = std::unique_ptr<TMediaManager> (*)();
// Null unregisters. Takes effect at the next InitMedia.
void RegisterMediaManager(TMediaManagerKind kind, TMediaManagerMaker maker);
// The running manager of a kind, or null.
TMediaManager* MediaManager(TMediaManagerKind kind);

// The companion library's start (after the window cells are set) and stop
// (after every manager is freed); either may be null.
struct TMediaLibraryHooks {
    void (*Init)() = nullptr;
    void (*Final)() = nullptr;
};
void SetMediaLibraryHooks(const TMediaLibraryHooks& hooks);

// The screen manager, null before InitMedia, after FinalMedia and when the
// game has no positive size.
extern TScreenManager* ScreenManager;
// The windows the companion library reads; the main window replaces them
// after a screen switch.
extern Video* MediaMainWindow;
extern Video* MediaDrawingWindow;
// Whether the sound device was set up for the companion library yet, and
// the device handed to it (the library's cell).
extern bool LibrarySoundInitialised;
extern AudioDevice* LibrarySoundCell;

// Starts the media side: window cells, the library, the screen manager when
// width and height are both positive (view_origin: where the game picture
// lies in the window), then the managers in kind order. A screen manager
// that cannot start raises its Exception.
void InitMedia(Video* main_window, Video* drawing_window, TPoint view_origin, int32_t width, int32_t height,
               int32_t preferred_width, int32_t preferred_height);
// Frees the screen manager, then every manager in kind order, then stops the library.
void FinalMedia();
// Pause and resume the videos around a display-mode change; nothing without a video manager.
void SuspendVideos();
void ResumeVideos();

// The first Windows Media or Ogg item's set-up: once, initialise the sound
// device (failures discarded), then hand the device to the library's cell;
// a failed set-up leaves the cell as it was. Returns the cell.
AudioDevice* PrepareLibrarySound(TDXSound& sound);
