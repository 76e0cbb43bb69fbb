// CD audio tracks as media items ("CD_" followed by the track number),
// played through their manager's one CD player.
#pragma once
#include "media/base/media_managers.h"

#include <string>

class TCddaItem : public TDMediaItem {
public:
    TCddaItem(TCddaManager* manager, std::string name);
    ~TCddaItem() override;

    bool GetAutoRepeat() override { return FAutoRepeat; }
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

    // The number after "CD_"; 0 when there is none.
    int32_t Track() const { return FTrack; }

private:
    TCddaManager* manager() const { return static_cast<TCddaManager*>(Manager()); }
    bool current() const;
    bool open() const;

    std::string FName;
    int32_t FTrack = 0;
    int32_t FPosition = 0;  // seconds
    bool FPaused = false;
    int32_t FVolume = 0;
    int32_t FLength = 0;
    bool FAutoRepeat = false;
};
