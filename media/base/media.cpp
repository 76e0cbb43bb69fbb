#include "media/base/media.h"
#include "media/base/screen_manager.h"
#include "media/base/sound_device.h"

#include <array>

namespace {
TMediaManagerMaker makers[MediaManagerKinds] = {};
TMediaManagerFactory factory = nullptr;
// Freed by FinalMedia, never by the static destructors: a process that
// ends through exit () with the game running (its display went away) must
// not stop the managers' threads and close the window from there.
std::array<std::unique_ptr<TMediaManager>, MediaManagerKinds>& managers =
    *new std::array<std::unique_ptr<TMediaManager>, MediaManagerKinds>;
std::unique_ptr<TScreenManager>& screen_manager = *new std::unique_ptr<TScreenManager>;
TMediaLibraryHooks library;
}  // namespace

TScreenManager* ScreenManager = nullptr;
Video* MediaMainWindow = nullptr;
Video* MediaDrawingWindow = nullptr;
bool LibrarySoundInitialised = false;
AudioDevice* LibrarySoundCell = nullptr;

// ---- items and managers

TDMediaItem* TMediaManager::Item(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return FItems[static_cast<size_t>(index)].get();
}

TDMediaItem* TMediaManager::Adopt(std::unique_ptr<TDMediaItem> item) {
    if (!item) return nullptr;
    FItems.push_back(std::move(item));
    return FItems.back().get();
}

void TMediaManager::Remove(TDMediaItem* item) {
    for (auto it = FItems.begin(); it != FItems.end(); ++it)
        if (it->get() == item) {
            FItems.erase(it);
            return;
        }
}

void TMediaManager::pause_playing() {
    // CheckEnd is asked last, of playing items only: for kinds that report
    // an end once, asking consumes it.
    for (auto& item : FItems) {
        if (item->IsPlaying() && !item->IsPaused() && !item->CheckEnd()) {
            item->Pause();
            item->ResumeFlag = true;
        } else {
            item->ResumeFlag = false;
        }
    }
}

void TMediaManager::play_flagged() {
    for (auto& item : FItems)
        if (item->ResumeFlag) {
            item->ResumeFlag = false;
            item->Play();
        }
}

void TMediaManager::Suspend() {
    if (!FActive || FSuspended) return;
    FSuspended = true;
    pause_playing();
}

void TMediaManager::Resume() {
    if (!FActive || !FSuspended) return;
    FSuspended = false;
    play_flagged();
}

void TMediaManager::SetActive(bool on) {
    if (on == FActive) return;
    if (on) {
        FActive = true;
        Resume();
    } else {
        Suspend();
        FActive = false;
    }
}

// ---- the media side

void SetMediaManagerFactory(TMediaManagerFactory f) { factory = f; }

void RegisterMediaManager(TMediaManagerKind kind, TMediaManagerMaker maker) { makers[static_cast<int>(kind)] = maker; }

TMediaManager* MediaManager(TMediaManagerKind kind) { return managers[static_cast<int>(kind)].get(); }

void SetMediaLibraryHooks(const TMediaLibraryHooks& hooks) { library = hooks; }

void InitMedia(Video* main_window, Video* drawing_window, TPoint view_origin, int32_t width, int32_t height,
               int32_t preferred_width, int32_t preferred_height) {
    MediaMainWindow = main_window;
    MediaDrawingWindow = drawing_window;
    if (library.Init) library.Init();
    if (width > 0 && height > 0) {
        screen_manager = std::make_unique<TScreenManager>(drawing_window, width, height, preferred_width, preferred_height);
        screen_manager->SetViewOrigin(view_origin.X, view_origin.Y);
        ScreenManager = screen_manager.get();
    }
    for (int i = 0; i < MediaManagerKinds; ++i) {
        if (makers[i]) managers[i] = makers[i]();
        else if (factory) managers[i] = factory(static_cast<TMediaManagerKind>(i));
    }
}

void FinalMedia() {
    ScreenManager = nullptr;
    screen_manager.reset();
    for (auto& m : managers) m.reset();
    if (library.Final) library.Final();
}

void SetMediaSoundOn(bool on) {
    for (auto& m : managers)
        if (m) m->SetActive(on);
}

void RestoreMediaManagers() {
    for (auto& m : managers)
        if (m) m->Restore();
}

void SuspendVideos() {
    if (TMediaManager* m = MediaManager(TMediaManagerKind::Video)) m->Suspend();
}

void ResumeVideos() {
    if (TMediaManager* m = MediaManager(TMediaManagerKind::Video)) m->Resume();
}

AudioDevice* PrepareLibrarySound(TDXSound& sound) {
    if (!LibrarySoundInitialised) {
        LibrarySoundInitialised = true;
        // A device the start-up step opened is taken as it is: opening the
        // same output anew would hold the frame of the first sound while
        // the old one drains (two buffers, some 50 ms).
        const bool up = sound.Initialized() || InitializeSoundGuarded(sound);
        // Opening the device anew let go of any earlier one.
        LibrarySoundInitialised = true;
        if (up) LibrarySoundCell = sound.Device();
    }
    return LibrarySoundCell;
}
