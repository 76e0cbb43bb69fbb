// MIDI pieces as media items: each item plays through its manager's one
// player, loading its file when it takes the player over.
#pragma once
#include "media/base/media_managers.h"
#include "platform/filesystem/stream.h"

#include <string>

class TMidiItem : public TDMediaItem {
public:
    TMidiItem(TMidiManager* manager, std::string name);
    ~TMidiItem() override;

    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool on) override;
    int32_t GetVolume() override { return FVolume; }
    void SetVolume(int32_t volume) override;
    int32_t GetPosition() override;
    void SetPosition(int32_t ms) override;
    int32_t GetLength() override;
    bool CheckEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override { return FPaused; }
    void Play() override;
    void Pause() override;

    const std::string& Name() const { return FName; }

private:
    TMidiManager* manager() const { return static_cast<TMidiManager*>(Manager()); }
    bool current() const { return manager()->Current() == this; }
    void apply_volume();

    std::string FName;
    int32_t FPosition = 0;
    bool FPaused = false;
    int32_t FVolume = 0;
    int32_t FLength = 0;
    bool FAutoRepeat = false;
};

// The whole file, from disk for a plain path or else from the game data;
// empty when it is missing.
void LoadMidiFile(const std::string& name, TMemoryStream& data);
