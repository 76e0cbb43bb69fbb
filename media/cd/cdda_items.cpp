#include "media/cd/cdda_items.h"

#include "media/cd/audio_mixer.h"
#include "media/cd/cdp.h"
#include "media/base/media_managers.h"
#include "media/base/sound_device.h"
#include "platform/system/audio.h"
#include "platform/filesystem/registry_values.h"

#include <algorithm>

std::string MediaRegistryKey;

namespace {
MixingBus* media_bus() {
    if (MediaSoundComponent) PrepareLibrarySound(*MediaSoundComponent);
    return LibrarySoundCell ? &LibrarySoundCell->Bus() : nullptr;
}

// Digits only, leading zeros allowed ("CD_0003" is track 3), 1..255 (the
// position packing holds a track in one byte).
int32_t track_of(const std::string& name) {
    if (name.size() <= 3) return 0;
    int32_t t = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        // Past 255 the number is out of range however it goes on.
        if (t <= 255) t = t * 10 + (name[i] - '0');
    }
    return t <= 255 ? t : 0;
}
}  // namespace

// ---- the manager

TCddaManager::TCddaManager() : TCddaManager(nullptr) {}

TCddaManager::TCddaManager(std::unique_ptr<TCDP> player)
    : FPlayer(std::move(player)), FMixer(std::make_unique<TAudioMixer>()) {
    if (!FPlayer) {
        TCDP::SetBus(media_bus);
        FPlayer = std::make_unique<TCDP>();
    }
    // A new disc: the play list is the current item's track again.
    FPlayer->OnCDInsert = [this] {
        if (FCurrent && FCurrent->Track() > 0) FPlayer->SetPlayList({std::to_string(FCurrent->Track())});
    };
}

TCddaManager::~TCddaManager() {
    FItems.clear();
    // Levels the user set while the player was in the background stay.
    if (FGameLevels) RestoreMixerVolume();
    FPlayer->OnCDInsert = nullptr;
    FPlayer->Close();
}

TDMediaItem* TCddaManager::Add(const std::string& name) { return Adopt(std::make_unique<TCddaItem>(this, name)); }

void TCddaManager::SetCurrent(TCddaItem* item) { FCurrent = item; }

void TCddaManager::SaveMixerVolume() {
    for (CdLine& l : FLines) {
        FMixer->SetMixerId(l.Mixer);
        TMixerLineValues v;
        if (!FMixer->GetVolume(l.Destination, l.Connection, v)) continue;
        l.Saved[0] = v.Left;
        l.Saved[1] = v.Right;
        l.Saved[2] = v.Mute;
    }
}

void TCddaManager::RestoreMixerVolume() {
    for (const CdLine& l : FLines) {
        FMixer->SetMixerId(l.Mixer);
        FMixer->SetVolume(l.Destination, l.Connection, l.Saved[2], l.Saved[1], l.Saved[0]);
    }
    FGameLevels = false;
}

void TCddaManager::ApplicationDeactivate() {
    Suspend();
    RestoreMixerVolume();
    FBackground = true;
}

void TCddaManager::ApplicationActivate() {
    FBackground = false;
    // A second activation finds the game's levels in the lines, not the user's.
    if (!FGameLevels) SaveMixerVolume();
    Resume();
}

void TCddaManager::ApplyVolume(int32_t volume) {
    // The user's levels scaled by the item volume (-5000 and below silent);
    // the mute state is the user's own and is written back as saved.
    if (FBackground || FLines.empty()) return;
    FGameLevels = true;
    const int64_t scale = std::max(volume, -5000) + 5000;
    const auto scaled = [scale](int32_t level) { return static_cast<int32_t>(level * scale / 5000); };
    for (const CdLine& l : FLines) {
        FMixer->SetMixerId(l.Mixer);
        FMixer->SetVolume(l.Destination, l.Connection, l.Saved[2], scaled(l.Saved[1]), scaled(l.Saved[0]));
    }
}

bool TCddaManager::OpenDrive() {
    if (FPlayer->IsOpen()) return true;
    const auto& drives = FPlayer->Drives();
    if (FDriveState == -1) {
        FDriveState = -2;
        int32_t preferred = -1;
        if (auto v = ReadRegistryValue("Software\\" + MediaRegistryKey, "CDDrive"); v && !v->empty()) {
            std::string name = *v;
            if (name.size() == 1) name += ":";
            const auto it = std::find(drives.begin(), drives.end(), name);
            if (it != drives.end()) preferred = static_cast<int32_t>(it - drives.begin());
        }
        for (int32_t i = 0; i < static_cast<int32_t>(drives.size()); ++i) {
            if (preferred >= 0 && i != preferred) continue;
            if (FPlayer->Open(i) && FPlayer->GetTrackCount() >= 1) {
                FDriveState = i;
                break;
            }
            FPlayer->Close();
        }
        // The first CD line of each mixer; its levels are the user's,
        // saved to scale and to restore.
        for (int32_t m = 0; m < FMixer->DeviceCount(); ++m) {
            FMixer->SetMixerId(m);
            bool found = false;
            for (int32_t d = 0; d < FMixer->DestinationCount() && !found; ++d)
                for (int32_t c = 0; c < FMixer->ConnectionCount(d) && !found; ++c)
                    if (FMixer->ComponentType(d, c) == MixerLineCompactDisc) {
                        FLines.push_back({m, d, c, {0, 0, 0}});
                        found = true;
                    }
        }
        SaveMixerVolume();
        return FPlayer->IsOpen();
    }
    return FDriveState >= 0 && FPlayer->Open(FDriveState);
}

// ---- the items

TCddaItem::TCddaItem(TCddaManager* manager, std::string name)
    : TDMediaItem(manager), FName(std::move(name)), FTrack(track_of(FName)) {}

TCddaItem::~TCddaItem() {
    if (!current()) return;
    TCDP& p = manager()->Player();
    if (p.GetState() == CDPlaying) p.Stop();
    p.Close();
    manager()->SetCurrent(nullptr);
}

bool TCddaItem::current() const { return manager()->Current() == this; }
bool TCddaItem::open() const { return manager()->Player().IsOpen(); }

void TCddaItem::SetAutoRepeat(bool on) {
    FAutoRepeat = on;
    if (current() && open()) manager()->Player().RepeatPlay = on;
}

void TCddaItem::SetVolume(int32_t volume) {
    FVolume = volume;
    if (current() && open()) manager()->ApplyVolume(volume);
}

int32_t TCddaItem::GetPosition() { return current() && open() ? manager()->Player().GetPositionSeconds() * 1000 : 0; }

void TCddaItem::SetPosition(int32_t ms) {
    if (current() && open() && !FPaused) manager()->Player().PlayTrackAt(FTrack, ms / 1000);
    else FPosition = std::max(0, ms / 1000);
}

int32_t TCddaItem::GetLength() {
    if (FLength == 0 && FTrack > 0 && manager()->OpenDrive()) FLength = manager()->Player().GetTrackLength(FTrack) * 1000;
    return FLength;
}

bool TCddaItem::CheckEnd() { return current() && manager()->Player().GetState() == CDStopped; }

bool TCddaItem::IsPlaying() { return current() && manager()->Player().GetState() == CDPlaying; }

void TCddaItem::Play() {
    TCddaManager* m = manager();
    if (!m->Active()) {
        ResumeFlag = true;
        return;
    }
    TCDP& p = m->Player();
    if (!current()) {
        if (FTrack == 0) return;
        if (p.GetState() == CDPlaying) p.Stop();
        m->SetCurrent(this);
        m->OpenDrive();
        if (FTrack <= p.GetTrackCount()) {
            p.RepeatPlay = FAutoRepeat;
            p.SetPlayList({std::to_string(FTrack)});
            FLength = p.GetTrackLength(FTrack) * 1000;
        } else {
            // A track the disc does not have stays silent; never does the
            // play list of an earlier item play in its place.
            m->SetCurrent(nullptr);
            FPaused = false;
            return;
        }
    }
    if (!open()) return;
    p.PlayListEntry(0);
    if (FPosition > 0) p.PlayTrackAt(FTrack, FPosition);
    m->ApplyVolume(FVolume);
    FPaused = false;
}

void TCddaItem::Pause() {
    if (current() && manager()->Player().GetState() == CDPlaying) {
        FPosition = std::max(0, manager()->Player().GetPositionSeconds() - 1);
        manager()->Player().Stop();
    }
    FPaused = true;
}
