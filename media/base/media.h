// The media side as the main window starts and stops it: the screen
// manager and the media managers exist from InitMedia to FinalMedia. Every
// playable medium has the common shape TDMediaItem and lives in the manager
// of its kind (media/base/media_managers.h), which the player's factory makes;
// a kind without a manager is simply absent (nil), which every caller
// allows for.
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <memory>
#include <vector>

class TScreenManager;
class TDXSound;
class AudioDevice;
class Video;
class TMediaManager;

// One playable medium (a piece of music, a sound, a video). The sound and
// video objects and the volume fades drive media only through this shape.
// Every operation does nothing here (getters give 0 or false); each kind
// overrides what its medium does. Volume: attenuation in 1/100 dB (0 full,
// -10000 silent); pan -10000 (left) .. 10000 (right); times in ms.
class TDMediaItem {
public:
    explicit TDMediaItem(TMediaManager* manager) : FManager(manager) {}
    virtual ~TDMediaItem() = default;
    TDMediaItem(const TDMediaItem&) = delete;
    TDMediaItem& operator=(const TDMediaItem&) = delete;

    virtual bool GetAutoRepeat() { return false; }
    virtual void SetAutoRepeat(bool /*on*/) {}
    virtual int32_t GetPan() { return 0; }
    virtual int32_t GetVolume() { return 0; }
    virtual void SetPan(int32_t /*pan*/) {}
    virtual void SetVolume(int32_t /*volume*/) {}
    virtual int32_t GetPosition() { return 0; }
    virtual void SetPosition(int32_t /*ms*/) {}
    virtual int32_t GetLength() { return 0; }
    // False while the length is known only in part (a large file whose
    // pages are still being looked at, a damaged one not yet played
    // through): it may still grow.
    virtual bool LengthSettled() { return true; }
    // True when the end was reached; some kinds report an end once only,
    // so asking may consume it.
    virtual bool CheckEnd() { return false; }
    virtual bool IsPlaying() { return false; }
    virtual bool IsPaused() { return false; }
    virtual void Play() {}
    virtual void Pause() {}

    TMediaManager* Manager() const { return FManager; }
    // Set by the manager's Suspend for an item it paused (or whose Play came
    // while sound was off); Resume plays those again.
    bool ResumeFlag = false;

private:
    TMediaManager* FManager;
};

// A list of the items of one medium kind, which it owns: removing an item
// or freeing the manager frees the items.
class TMediaManager {
public:
    TMediaManager() = default;
    virtual ~TMediaManager() = default;
    TMediaManager(const TMediaManager&) = delete;
    TMediaManager& operator=(const TMediaManager&) = delete;

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    TDMediaItem* Item(int32_t index) const;
    // Appends an item its kind made for this manager.
    TDMediaItem* Adopt(std::unique_ptr<TDMediaItem> item);
    // Frees the item when it is in the list; otherwise nothing.
    void Remove(TDMediaItem* item);

    // When active and not suspended: pause every item that plays (not
    // paused, not at its end) and flag it for Resume; the others lose
    // their flag.
    virtual void Suspend();
    // When active and suspended: play the flagged items again.
    virtual void Resume();
    // Sound on or off (@SoundON): off suspends, then marks inactive; on
    // marks active, then resumes. Nothing when the state does not change.
    virtual void SetActive(bool on);
    // The application lost or regained the focus: Suspend, Resume; a kind
    // with more to hand over to the desktop meanwhile adds it.
    virtual void ApplicationDeactivate() { Suspend(); }
    virtual void ApplicationActivate() { Resume(); }
    // The sound device was lost and is back: kinds whose output lives on
    // the device reconnect it. Nothing for the others.
    virtual void Restore() {}

    // Sound on; an inactive manager's Play only flags the item.
    bool Active() const { return FActive; }
    bool Suspended() const { return FSuspended; }

protected:
    void pause_playing();
    void play_flagged();
    std::vector<std::unique_ptr<TDMediaItem>> FItems;
    bool FActive = true;
    bool FSuspended = false;
};

// In the order InitMedia creates them and FinalMedia frees them.
enum class TMediaManagerKind { Video, Wmp, Ogg, Cdda, Midi };
constexpr int MediaManagerKinds = 5;
using TMediaManagerMaker = std::unique_ptr<TMediaManager> (*)();
// The factory of managers by kind; InstallMediaManagers
// (media/media_modules.h) installs the player's. Null for none.
using TMediaManagerFactory = std::unique_ptr<TMediaManager> (*)(TMediaManagerKind kind);
void SetMediaManagerFactory(TMediaManagerFactory factory);
// Test seam: a maker for one kind that takes precedence over the factory;
// null removes it. Takes effect at the next InitMedia.
void RegisterMediaManager(TMediaManagerKind kind, TMediaManagerMaker maker);
// The running manager of a kind, or null.
TMediaManager* MediaManager(TMediaManagerKind kind);
// @SoundON: SetActive of every manager that exists.
void SetMediaSoundOn(bool on);
// After the sound device was restored: Restore of every manager.
void RestoreMediaManagers();

// The companion library's start (after the window cells are set) and stop
// (after every manager is freed); either may be null. The library's module
// sets them when it is installed; tests set their own.
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
// device (failures discarded) unless it is already open, then hand the
// device to the library's cell; a failed set-up leaves the cell as it was.
// Returns the cell.
AudioDevice* PrepareLibrarySound(TDXSound& sound);
