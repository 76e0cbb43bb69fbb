// The media managers this player is built with, one class per medium kind,
// and their factory (CreateMediaManager), which InstallMediaManagers
// (media/media_modules.h) hands to InitMedia. Each kind's items (and its
// Add) come with the kind.
#pragma once
#include "media/base/media.h"

#include <memory>
#include <string>
#include <vector>

class TScreenOverlay;

// Videos. Unlike sound, they pause and resume whether sound is on or not:
// Suspend and Resume ignore the active state, and SetActive does nothing.
class TVideoManager : public TMediaManager {
public:
    ~TVideoManager() override;
    // A new item for the video file (media/video/video_items.h); raises
    // when it cannot be opened or holds no video we can play.
    TDMediaItem* Add(const std::string& name, bool overlay);
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

class TWavOut;

// "DirectSound" and "DelayTime" of game.ini as the main window read them:
// whether Ogg and wave play through the companion module into the sound
// device, or through the software mixer with blocks of DelayTime ms.
extern bool MediaUseDirectSound;
extern int32_t MediaDelayTime;
// The main window's sound device component, set up on the first Windows
// Media or Ogg item when start-up did not make it; null in tests that play
// through a device of their own.
extern TDXSound* MediaSoundComponent;

// Windows Media audio (.wma, .asf, .wmv sound).
class TWmpManager : public TMediaManager {
public:
    // A new item for the file (raises when it cannot be opened or decoded).
    TDMediaItem* Add(const std::string& name);
    void Restore() override;
};
// Ogg Vorbis and wave sound; owns the software mixer.
class TOggManager : public TMediaManager {
public:
    TOggManager();
    // Its items read the mixer: they go first.
    ~TOggManager() override;
    // An item played by the companion module when MediaUseDirectSound is
    // on, else one decoded into the mixer (opened on first need).
    TDMediaItem* Add(const std::string& name);
    void Restore() override;
    TWavOut& WavOut() { return *FWavOut; }

private:
    std::unique_ptr<TWavOut> FWavOut;
};
class TCDP;
class TAudioMixer;
class TCddaItem;
// The project's registry key; the CD drive preferred by the player's
// settings is read under "Software\" + this key ("CDDrive").
extern std::string MediaRegistryKey;
// CD audio tracks ("CD_" names). One CD player serves every item: the item
// that holds it is current.
class TCddaManager : public TMediaManager {
public:
    // The player on the system's drives.
    TCddaManager();
    // A given player (tests open disc images).
    explicit TCddaManager(std::unique_ptr<TCDP> player);
    ~TCddaManager() override;
    TDMediaItem* Add(const std::string& name);

    // The user's own CD line levels, read when CD audio becomes active and
    // written back when it is left (on every CD line found).
    void SaveMixerVolume();
    void RestoreMixerVolume();
    // In the background the CD lines are the user's: leaving writes their
    // levels back (after pausing), returning reads them again (before
    // playing on), and meanwhile no item volume is written to them.
    void ApplicationDeactivate() override;
    void ApplicationActivate() override;
    // Opens the drive in use (found on the first call); false without one.
    bool OpenDrive();
    // Writes the CD line for an item volume (hundredths of a decibel).
    void ApplyVolume(int32_t volume);

    TCDP& Player() { return *FPlayer; }
    TAudioMixer& Mixer() { return *FMixer; }
    TCddaItem* Current() const { return FCurrent; }
    void SetCurrent(TCddaItem* item);
    // -1 not yet searched, -2 none found, else the drive in use.
    int32_t DriveState() const { return FDriveState; }
    bool LineFound() const { return !FLines.empty(); }
    // Saved left, right, mute of the first line (our own mixer's).
    const int32_t* SavedValues() const { return FLines.empty() ? kNoLevels : FLines.front().Saved; }

private:
    std::unique_ptr<TCDP> FPlayer;
    std::unique_ptr<TAudioMixer> FMixer;
    TCddaItem* FCurrent = nullptr;
    // Every CD line: our mixer's first (the digital sound), then each
    // card's (a drive's analogue output).
    struct CdLine {
        int32_t Mixer, Destination, Connection;
        int32_t Saved[3];
    };
    static constexpr int32_t kNoLevels[3] = {0, 0, 0};
    std::vector<CdLine> FLines;
    // An item volume is in the lines (they are to be written back).
    bool FGameLevels = false;
    bool FBackground = false;
    int32_t FDriveState = -1;
};
class TMidiPlayV;
class TMidiItem;
// MIDI and segment music (.mid, .sgt). One player serves every item: the
// item that holds it is current, so one piece sounds at a time.
class TMidiManager : public TMediaManager {
public:
    // The player on the system's devices.
    TMidiManager();
    // A given player (tests drive one without a timer thread).
    explicit TMidiManager(std::unique_ptr<TMidiPlayV> player);
    ~TMidiManager() override;
    TDMediaItem* Add(const std::string& name);

    // "MIDIマッパー" first, then the player's devices.
    int32_t GetDeviceCount() const { return static_cast<int32_t>(FDevices.size()); }
    // "MIDIマッパー" for an index out of range.
    std::string GetDeviceName(int32_t index) const;
    std::string GetCurrentDeviceName() const { return GetDeviceName(FDeviceIndex); }
    int32_t DeviceIndex() const { return FDeviceIndex; }
    // Clamped to the list; a playing piece moves to the new device where it was.
    void SetDeviceIndex(int32_t index);
    // A name not in the list selects the mapper.
    void SelectDeviceByName(const std::string& name);

    TMidiPlayV& Player() { return *FPlayer; }
    TMidiItem* Current() const { return FCurrent; }
    void SetCurrent(TMidiItem* item) { FCurrent = item; }

private:
    std::vector<std::string> FDevices;
    int32_t FDeviceIndex = 0;
    std::unique_ptr<TMidiPlayV> FPlayer;
    TMidiItem* FCurrent = nullptr;
};

// The running manager of each kind, or null (also when a test put another
// class in its place).
TVideoManager* VideoManager();
TWmpManager* WmpManager();
TOggManager* OggManager();
TCddaManager* CddaManager();
TMidiManager* MidiManager();

// A new manager of the kind; every kind is built.
std::unique_ptr<TMediaManager> CreateMediaManager(TMediaManagerKind kind);
