#include "media/midi/midi_items.h"

#include "files/vr_file_manager.h"
#include "media/audio/sound_items.h"
#include "media/midi/midi_player.h"
#include "platform/system/audio.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "media/base/sound_device.h"

#include <algorithm>
#include <cstring>

namespace {
const std::string& mapper_name() {
    static const std::string m = Sjis("MIDIマッパー");
    return m;
}

// The synthesizer renders into the sound device the media play into,
// set up on first need like the companion module's.
MixingBus* media_bus() {
    if (MediaSoundComponent) PrepareLibrarySound(*MediaSoundComponent);
    return LibrarySoundCell ? &LibrarySoundCell->Bus() : nullptr;
}

// Only a standard MIDI file plays: segment files (.sgt) and empty or
// missing files leave the item silent.
bool is_midi_file(TMemoryStream& data) {
    return data.GetSize() >= 4 && std::memcmp(data.Memory(), "MThd", 4) == 0;
}
}  // namespace

void LoadMidiFile(const std::string& name, TMemoryStream& data) {
    data.Clear();
    try {
        if (IsPlainPath(name)) data.LoadFromFile(name);
        else if (FileManager) FileManager->LoadToStream(data, name);
    } catch (const EStreamError&) {
        data.Clear();
    }
    data.SetPosition(0);
}

// ---- the manager

TMidiManager::TMidiManager() : TMidiManager(nullptr) {}

TMidiManager::TMidiManager(std::unique_ptr<TMidiPlayV> player) : FPlayer(std::move(player)) {
    if (!FPlayer) {
        SetMidiSynthBus(media_bus);
        FPlayer = std::make_unique<TMidiPlayV>();
    }
    FDevices.push_back(mapper_name());
    for (const auto& n : FPlayer->DeviceNames()) FDevices.push_back(n);
}

TMidiManager::~TMidiManager() {
    // The items go first: the current one stops the player it holds.
    FItems.clear();
    FPlayer->Close();
}

TDMediaItem* TMidiManager::Add(const std::string& name) { return Adopt(std::make_unique<TMidiItem>(this, name)); }

std::string TMidiManager::GetDeviceName(int32_t index) const {
    if (index < 0 || index >= GetDeviceCount()) return mapper_name();
    return FDevices[static_cast<size_t>(index)];
}

void TMidiManager::SetDeviceIndex(int32_t index) {
    FDeviceIndex = std::clamp(index, 0, GetDeviceCount() - 1);
    if (!FPlayer->IsPlaying()) return;
    const int32_t at = FPlayer->Position();
    FPlayer->Stop();
    FPlayer->Close();
    FPlayer->Open(FDeviceIndex - 1);
    FPlayer->PlayFrom(at);
}

void TMidiManager::SelectDeviceByName(const std::string& name) {
    const auto it = std::find(FDevices.begin(), FDevices.end(), name);
    SetDeviceIndex(it == FDevices.end() ? 0 : static_cast<int32_t>(it - FDevices.begin()));
}

// ---- the items

TMidiItem::TMidiItem(TMidiManager* manager, std::string name) : TDMediaItem(manager), FName(std::move(name)) {}

TMidiItem::~TMidiItem() {
    if (!current()) return;
    TMidiPlayV& p = manager()->Player();
    if (p.IsPlaying()) p.Stop();
    p.Close();
    manager()->SetCurrent(nullptr);
}

bool TMidiItem::GetAutoRepeat() { return current() ? manager()->Player().AutoRepeat() : FAutoRepeat; }

void TMidiItem::SetAutoRepeat(bool on) {
    // Kept by the item too: the sound object sets it before the first Play,
    // when the item does not hold the player yet.
    FAutoRepeat = on;
    if (current()) manager()->Player().SetAutoRepeat(on);
}

void TMidiItem::apply_volume() {
    // -10000 .. 0 hundredths of a decibel become 0 .. 100 percent of the
    // channels' volume.
    manager()->Player().SetControllerScale(7, 100 + FVolume / 100);
}

void TMidiItem::SetVolume(int32_t volume) {
    FVolume = volume;
    if (current()) apply_volume();
}

int32_t TMidiItem::GetPosition() { return current() ? manager()->Player().Position() : 0; }

void TMidiItem::SetPosition(int32_t ms) {
    if (current() && !FPaused) manager()->Player().PlayFrom(std::max(0, ms));
    else FPosition = std::max(0, ms);
}

int32_t TMidiItem::GetLength() {
    if (FLength == 0) {
        TMemoryStream data;
        LoadMidiFile(FName, data);
        if (is_midi_file(data)) {
            TMidiV measure;
            measure.LoadFromStream(data);
            FLength = measure.LengthMs();
        }
    }
    return FLength;
}

bool TMidiItem::CheckEnd() { return current() && manager()->Player().IsEnd(); }

bool TMidiItem::IsPlaying() { return current() && manager()->Player().IsPlaying(); }

void TMidiItem::Play() {
    if (!manager()->Active()) {
        ResumeFlag = true;
        return;
    }
    FPaused = false;
    TMidiPlayV& p = manager()->Player();
    if (!current()) {
        TMemoryStream data;
        LoadMidiFile(FName, data);
        // A file that is no MIDI file leaves this item silent and the player
        // as it was: never does it restart the song it held before.
        if (!is_midi_file(data)) return;
        if (p.IsPlaying()) p.Stop();
        manager()->SetCurrent(this);
        p.LoadFromStream(data);
        FLength = p.LengthMs();
        p.SetAutoRepeat(FAutoRepeat);
    }
    if (!p.IsOpen()) p.Open(manager()->DeviceIndex() - 1);
    p.SendMasterVolume();
    p.PlayFrom(FPosition);
    apply_volume();
}

void TMidiItem::Pause() {
    if (current()) {
        TMidiPlayV& p = manager()->Player();
        FPosition = p.Position();
        p.Stop();
    }
    FPaused = true;
}
