// The video item of the video manager: one video file played by the
// companion module, either copied frame by frame into its object's surface
// or drawn by the module straight onto the window over the game picture
// (overlay), in which case the item is one of the screen manager's overlays.
#pragma once
#include "media/base/media.h"
#include "media/base/screen_manager.h"

#include <cstdint>
#include <memory>
#include <string>

class TStream;
class TVideoManager;
struct VideoPicture;

class TVideoItem : public TDMediaItem, public TScreenOverlay {
public:
    // Plain paths are read as files; ".wmv" and ".asf" game data is
    // extracted to a temporary file first (the extension compared without
    // case), other game data is read from the archive. Raises the file
    // manager's error for a missing file and ECorruptData for a damaged one.
    TVideoItem(TVideoManager* manager, const std::string& name, bool overlay);
    ~TVideoItem() override;

    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool on) override;
    int32_t GetPan() override;
    int32_t GetVolume() override;
    void SetPan(int32_t pan) override;
    void SetVolume(int32_t volume) override;
    int32_t GetPosition() override;
    void SetPosition(int32_t ms) override;
    int32_t GetLength() override;
    // Asked every time: a video at its end stays there.
    bool CheckEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override;
    void Play() override;
    void Pause() override;

    bool Overlay() const { return FOverlay; }
    bool GetVisible();
    void SetVisible(bool on);
    // Overlay placement: the source part in video pixels and its place in
    // the game picture.
    void SetRect(const TRect& source, const TRect& dest);
    int32_t SourceWidth();
    int32_t SourceHeight();
    // A newer frame is due than the one last taken (surface mode only).
    bool NeedPaint();
    // The frame due now, to be copied at once.
    const VideoPicture* GetDC();
    void DrawOverlay(Video& window, TPoint view_origin) override;

    // Whether a name is extracted to a temporary file before it is played.
    static bool ExtractedFirst(const std::string& name);

private:
    std::unique_ptr<TStream> FStream;
    uint32_t FHandle = 0;
    bool FOverlay;
};
