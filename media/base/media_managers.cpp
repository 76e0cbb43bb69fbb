#include "media/base/media_managers.h"

#include "media/base/screen_manager.h"

#include <algorithm>

TVideoManager::~TVideoManager() {
    if (ScreenManager)
        for (TScreenOverlay* o : FOverlays) ScreenManager->RemoveOverlay(o);
}

void TVideoManager::Suspend() {
    if (FSuspended) return;
    FSuspended = true;
    pause_playing();
}

void TVideoManager::Resume() {
    if (!FSuspended) return;
    FSuspended = false;
    play_flagged();
}

void TVideoManager::ShowOverlay(TScreenOverlay* overlay) {
    if (!overlay || std::find(FOverlays.begin(), FOverlays.end(), overlay) != FOverlays.end()) return;
    FOverlays.push_back(overlay);
    if (ScreenManager) ScreenManager->AddOverlay(overlay);
}

void TVideoManager::HideOverlay(TScreenOverlay* overlay) {
    auto it = std::find(FOverlays.begin(), FOverlays.end(), overlay);
    if (it == FOverlays.end()) return;
    FOverlays.erase(it);
    if (ScreenManager) ScreenManager->RemoveOverlay(overlay);
}

namespace {
template <class T>
T* running(TMediaManagerKind kind) {
    return dynamic_cast<T*>(MediaManager(kind));
}
}  // namespace

TVideoManager* VideoManager() { return running<TVideoManager>(TMediaManagerKind::Video); }
TWmpManager* WmpManager() { return running<TWmpManager>(TMediaManagerKind::Wmp); }
TOggManager* OggManager() { return running<TOggManager>(TMediaManagerKind::Ogg); }
TCddaManager* CddaManager() { return running<TCddaManager>(TMediaManagerKind::Cdda); }
TMidiManager* MidiManager() { return running<TMidiManager>(TMediaManagerKind::Midi); }

std::unique_ptr<TMediaManager> CreateMediaManager(TMediaManagerKind kind) {
    switch (kind) {
    case TMediaManagerKind::Video: return std::make_unique<TVideoManager>();
    case TMediaManagerKind::Wmp: return std::make_unique<TWmpManager>();
    case TMediaManagerKind::Ogg: return std::make_unique<TOggManager>();
    case TMediaManagerKind::Cdda: return std::make_unique<TCddaManager>();
    case TMediaManagerKind::Midi: return std::make_unique<TMidiManager>();
    }
    return nullptr;
}

