// The sound device the companion media library plays into, and the window
// behaviour the main window inherits from its base TDXForm. The device is
// one audio output at 44100 Hz, 16-bit stereo (platform/system/audio.h); the
// program creates it at start-up when sound is on, or on first need.
#pragma once
#include "platform/rect.h"
#include "platform/system/audio.h"
#include "platform/display/video.h"

#include <cstdint>
#include <functional>
#include <memory>

// The wave format record of a PCM buffer.
struct TWaveFormatEx {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
    friend bool operator==(const TWaveFormatEx&, const TWaveFormatEx&) = default;
};

// Tag 1 (PCM), block alignment = channels * bits / 8, bytes per second =
// block alignment * rate, no extra bytes.
TWaveFormatEx MakePCMWaveFormat(int32_t rate, int32_t bits, int32_t channels);

// Result of SetFormat when the device does not take the format.
constexpr int32_t SoundFormatRefused = -1;

class TDXSound {
public:
    explicit TDXSound(AudioBackend backend = AudioBackend::Auto) : FBackend(backend) {}
    ~TDXSound() { Finalize(); }
    TDXSound(const TDXSound&) = delete;
    TDXSound& operator=(const TDXSound&) = delete;

    // Finalises a previous device, opens the output, takes the device's own
    // format as the primary format, then calls OnInitialize. Raises
    // Exception when the output cannot be opened; there is then no device.
    void Initialize();
    void Finalize();
    bool Initialized() const { return FDevice != nullptr; }
    // The device (null when none).
    AudioDevice* Device() const { return FDevice.get(); }

    // Asks the primary buffer for a format and re-reads what it really
    // plays: 0 when the device took it, SoundFormatRefused when it keeps its
    // own. The result is kept in FormatResult().
    int32_t SetFormat(const TWaveFormatEx& format);
    const TWaveFormatEx& PrimaryFormat() const { return FPrimary; }
    int32_t FormatResult() const { return FFormatResult; }

    // The device was lost and is back: OnRestore lets the players rebuild
    // their buffers.
    void Restore();

    std::function<void(TDXSound&)> OnInitialize;
    std::function<void(TDXSound&)> OnRestore;

private:
    AudioBackend FBackend;
    std::unique_ptr<AudioDevice> FDevice;
    TWaveFormatEx FPrimary{};
    int32_t FFormatResult = 0;
};

// The main window's initialise handler: primary format 44100 Hz, 16-bit, stereo.
void SetPlayerSoundFormat(TDXSound& sound);
// Initialises the device with every failure discarded: the program then
// goes on without one. True when a device is there afterwards.
bool InitializeSoundGuarded(TDXSound& sound);

// The main window's base: keeps the window's place and size across full
// screen.
class TDXForm {
public:
    explicit TDXForm(Video* window) : FWindow(window) {}
    // Reads the window's position, client size and zoom; false (nothing
    // saved) when there is no window.
    bool SaveWindowPlacement();
    // Puts a saved placement back once: client size, zoom, then position.
    void RestoreWindowPlacement();
    bool PlacementSaved() const { return FSaved; }
    Video* Window() const { return FWindow; }

private:
    Video* FWindow;
    bool FSaved = false;
    TPoint FPosition;
    int32_t FClientWidth = 0;
    int32_t FClientHeight = 0;
    int32_t FZoom = 100;
};
