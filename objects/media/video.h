// TVorqVideo: one video file shown on a screen layer with its sound. The
// companion module decodes it (a TVideoItem of the video manager). In
// overlay mode the module draws the frames itself onto the window at the
// object's place; otherwise the object copies each new frame into its own
// surface and draws it like an image, with the layer's dirty rectangles,
// zoom and clipping. Sound (volume, balance, fades, pause, repeat, the end
// event) is handled as for sound objects.
#pragma once
#include "media/video/video_items.h"
#include "objects/images/image.h"
#include "objects/media/sound_like.h"

#include <cstdint>
#include <memory>
#include <string>


class TVorqVideo : public TVorqSoundLike<TVorqCustomImage, TVideoItem> {
public:
    explicit TVorqVideo(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqVideo() override;

    uint8_t GetCompoType() const override { return LT_VIDEO; }
    void SetSource(const std::string& v) override;
    void SetVolume(int32_t v) override;
    void SetRepeat(bool v) override;
    void SetPaused(bool v) override;
    void SetAniPaused(bool v) override;
    void SetIndex(int32_t v) override;
    int32_t GetCount() const override;
    bool GetPlaying() const override;
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    bool GetOverlay() const override { return FOverlay != 0; }
    void SetOverlay(bool v) override;
    void SetZoomX(int32_t v) override;
    void SetZoomY(int32_t v) override;
    void SetLeft(int32_t v) override;
    void SetTop(int32_t v) override;
    void SetOffsetX(int32_t v) override;
    void SetOffsetY(int32_t v) override;
    void SetPlusX(int32_t v) override;
    void SetPlusY(int32_t v) override;
    void SetVisible(bool v) override;
    void SetPlayState(uint8_t state) override;

    // From the start, with a fade-in over DELAY when that is positive.
    void Restart();
    // Put into or taken out of a cabinet: a running video is paused and played again.
    void EnterCabinet() override;
    void LeaveCabinet() override;
    bool IsSizedByImage() const override { return false; }
    bool Update() override;
    void Draw() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    int32_t EffectiveVolume() const override;
    TCustomDIBX* FrameSurface() const { return FFrame.get(); }

private:
    void remove_items();
    void free_frame();
    void copy_frame();
    void update_placement();
    void running_changed(bool was_running);
    void resize_to_source();
    bool running() const { return !FPaused && !FAniPaused; }

    std::unique_ptr<TCustomDIBX> FFrame;
    std::string FOnIdle;
    uint8_t FOverlay = 1;
    uint32_t FStartTime = 0;
    uint32_t FLastCheck = 0;
    // A video fading out after state 3: the object no longer plays it, but
    // it stays the object's to remove once the fade is over.
    TVideoItem* FFadingItem = nullptr;
};
