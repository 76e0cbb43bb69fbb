// The media managers this player is built with, one class per medium kind,
// and their factory. InstallMediaManagers makes CreateMediaManager the
// factory InitMedia uses; the player's start-up calls it through
// InstallPlayerModules. Each kind's items (and its Add) come with the kind.
#pragma once
#include "media/media.h"

#include <memory>
#include <vector>

class TScreenOverlay;

// Videos. Unlike sound, they pause and resume whether sound is on or not:
// Suspend and Resume ignore the active state, and SetActive does nothing.
class TVideoManager : public TMediaManager {
public:
    ~TVideoManager() override;
    void Suspend() override;
    void Resume() override;
    void SetActive(bool /*on*/) override {}
    // A video drawn straight onto the window: the screen manager draws it
    // at every present from now on, until HideOverlay (or the manager's end).
    // Nothing shows without a screen manager.
    void ShowOverlay(TScreenOverlay* overlay);
    void HideOverlay(TScreenOverlay* overlay);

private:
    std::vector<TScreenOverlay*> FOverlays;
};

// Windows Media audio (.wma, .asf, .wmv sound).
class TWmpManager : public TMediaManager {};
// Ogg Vorbis and wave sound.
class TOggManager : public TMediaManager {};
// CD audio tracks ("CD_" names).
class TCddaManager : public TMediaManager {};
// MIDI and segment music (.mid, .sgt).
class TMidiManager : public TMediaManager {};

// The running manager of each kind, or null (also when a test put another
// class in its place).
TVideoManager* VideoManager();
TWmpManager* WmpManager();
TOggManager* OggManager();
TCddaManager* CddaManager();
TMidiManager* MidiManager();

// A new manager of the kind; every kind is built.
std::unique_ptr<TMediaManager> CreateMediaManager(TMediaManagerKind kind);
void InstallMediaManagers();
