#include "media/media.h"
#include "media/screen_manager.h"
#include "media/sound_device.h"

namespace {
TMediaManagerMaker makers[MediaManagerKinds] = {};
std::unique_ptr<TMediaManager> managers[MediaManagerKinds];
std::unique_ptr<TScreenManager> screen_manager;
TMediaLibraryHooks library;
}  // namespace

TScreenManager* ScreenManager = nullptr;
Video* MediaMainWindow = nullptr;
Video* MediaDrawingWindow = nullptr;
bool LibrarySoundInitialised = false;
AudioDevice* LibrarySoundCell = nullptr;

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
    for (int i = 0; i < MediaManagerKinds; ++i)
        if (makers[i]) managers[i] = makers[i]();
}

void FinalMedia() {
    ScreenManager = nullptr;
    screen_manager.reset();
    for (auto& m : managers) m.reset();
    if (library.Final) library.Final();
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
        if (InitializeSoundGuarded(sound)) LibrarySoundCell = sound.Device();
    }
    return LibrarySoundCell;
}
