#include "media/base/sound_device.h"
#include "media/base/media.h"
#include "platform/exception.h"

TWaveFormatEx MakePCMWaveFormat(int32_t rate, int32_t bits, int32_t channels) {
    TWaveFormatEx f;
    f.wFormatTag = 1;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = static_cast<uint32_t>(rate);
    f.wBitsPerSample = static_cast<uint16_t>(bits);
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = uint32_t{f.nBlockAlign} * f.nSamplesPerSec;
    f.cbSize = 0;
    return f;
}

void TDXSound::Initialize() {
    Finalize();
    FDevice = AudioDevice::Open(FBackend);
    FPrimary = MakePCMWaveFormat(FDevice->Frequency(), FDevice->BitsPerSample(), FDevice->Channels());
    FFormatResult = 0;
    if (OnInitialize) {
        try {
            OnInitialize(*this);
        } catch (...) {
            Finalize();
            throw;
        }
    }
}

void TDXSound::Finalize() {
    // The media libraries reach the device through their cell: a game that
    // follows in this process opens its own.
    if (FDevice && LibrarySoundCell == FDevice.get()) {
        LibrarySoundCell = nullptr;
        LibrarySoundInitialised = false;
    }
    FDevice.reset();
    FPrimary = TWaveFormatEx{};
}

int32_t TDXSound::SetFormat(const TWaveFormatEx& format) {
    if (!FDevice) return FFormatResult = SoundFormatRefused;
    // The output plays one format; the platform converts for the hardware.
    const TWaveFormatEx own = MakePCMWaveFormat(FDevice->Frequency(), FDevice->BitsPerSample(), FDevice->Channels());
    FFormatResult = format == own ? 0 : SoundFormatRefused;
    FPrimary = own;
    return FFormatResult;
}

void TDXSound::Restore() {
    if (FDevice && OnRestore) OnRestore(*this);
}

void SetPlayerSoundFormat(TDXSound& sound) { sound.SetFormat(MakePCMWaveFormat(44100, 16, 2)); }

bool InitializeSoundGuarded(TDXSound& sound) {
    try {
        sound.Initialize();
    } catch (...) {
        // Without a device the game still runs; Ogg goes through the mixer.
    }
    return sound.Initialized();
}

bool TDXForm::SaveWindowPlacement() {
    FSaved = false;
    if (!FWindow) return false;
    FPosition = FWindow->Position();
    FClientWidth = FWindow->ClientWidth();
    FClientHeight = FWindow->ClientHeight();
    FZoom = FWindow->Zoom();
    FSaved = true;
    return true;
}

void TDXForm::RestoreWindowPlacement() {
    if (!FSaved || !FWindow) return;
    FSaved = false;
    if (FWindow->ClientWidth() != FClientWidth || FWindow->ClientHeight() != FClientHeight)
        FWindow->SetClientSize(FClientWidth, FClientHeight);
    if (FWindow->Zoom() != FZoom) FWindow->SetZoom(FZoom);
    FWindow->Move(FPosition.X, FPosition.Y);
}
