// TVorqVideo: one video file shown on a screen layer with its sound. The
// companion module decodes it (a TVideoItem of the video manager). In
// overlay mode the module draws the frames itself onto the window at the
// object's place; otherwise the object copies each new frame into its own
// surface and draws it like an image, with the layer's dirty rectangles,
// zoom and clipping. Sound (volume, balance, fades, pause, repeat, the end
// event) is handled as for sound objects.
#pragma once
#include "objects/image.h"

#include <cstdint>
#include <memory>
#include <string>

class TVideoItem;
class TVorqMixer;

class TVorqVideo : public TVorqCustomImage {
public:
    explicit TVorqVideo(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqVideo() override;

    uint8_t GetCompoType() const override { return LT_VIDEO; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    int32_t GetVolume() const override { return FVolume; }
    void SetVolume(int32_t v) override;
    int32_t GetBalance() const override { return FBalance; }
    void SetBalance(int32_t v) override;
    bool GetRepeat() const override { return FRepeat != 0; }
    void SetRepeat(bool v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override;
    void SetAniPaused(bool v) override;
    int32_t GetDelay() const override { return FDelay; }
    void SetDelay(int32_t v) override { FDelay = v; }
    int32_t GetIndex() const override;
    void SetIndex(int32_t v) override;
    int32_t GetCount() const override;
    void SetCount(int32_t) override {}
    bool GetPlaying() const override;
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    bool GetRewindOnLoad() const override { return FRewindOnLoad != 0; }
    void SetRewindOnLoad(bool v) override { FRewindOnLoad = v; }
    bool GetMuteOnLoad() const override { return FMuteOnLoad != 0; }
    void SetMuteOnLoad(bool v) override { FMuteOnLoad = v; }
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }
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
    uint8_t GetPlayState() const override { return FPlayState; }
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

    // The item's volume for VOLUME (0..1000) on the item scale (1/100 dB).
    int32_t EffectiveVolume() const;
    TVideoItem* Item() const { return FItem; }
    TVorqMixer* Fade() const { return FFade.get(); }
    TCustomDIBX* FrameSurface() const { return FFrame.get(); }

private:
    void remove_items();
    void free_frame();
    void copy_frame();
    void update_placement();
    void running_changed(bool was_running);
    void start_fadein();
    void resize_to_source();
    bool running() const { return !FPaused && !FAniPaused; }

    std::string FSource;
    uint8_t FPlayState = PS_STOP;
    TVideoItem* FItem = nullptr;
    std::unique_ptr<TCustomDIBX> FFrame;
    uint8_t FRepeat = 0, FPaused = 0;
    int32_t FVolume = 0, FBalance = 0;
    std::unique_ptr<TVorqMixer> FFade;
    int32_t FDelay = 0;
    int32_t FStartPos = 0;
    uint8_t FAutoScrap = 0;
    std::string FOnPlayEnd, FOnIdle;
    uint8_t FRewindOnLoad = 0, FMuteOnLoad = 0, FOverlay = 1;
    uint32_t FStartTime = 0;
    uint32_t FLastCheck = 0;
    // A video fading out after state 3: the object no longer plays it, but
    // it stays the object's to remove once the fade is over.
    TVideoItem* FFadingItem = nullptr;
    // The end was reported for the item's current run.
    bool FEndReported = false;
};
