// Frame-animated images. TVorqCustomImages shows one frame of a frame list
// at a time, selected by INDEX, advancing by the frames' display times and
// lightening or darkening them by a brightness level. TVorqImages is the
// image object scenarios create: a layered image as SOURCE animates, a
// motion file drives the object instead; it ends with REPEAT, AUTOSCRAP and
// the play-end event. Buttons and tiles build on these classes.
#pragma once
#include "script/parser.h"
#include "objects/images/image.h"
#include "objects/images/image_list.h"

#include <memory>
#include <vector>

class TVorqCustomImages : public TVorqCustomImage {
public:
    explicit TVorqCustomImages(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqCustomImages() override;

    void SetVisible(bool v) override;
    bool GetPlaying() const override;
    int32_t GetBrightness() const override { return FLevel; }
    void SetBrightness(int32_t v) override;
    int32_t GetIndex() const override;
    void SetIndex(int32_t v) override;
    int32_t GetCount() const override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override;
    bool Update() override;
    void DrawImage() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;

    // The list of the current picture state, or nullptr.
    virtual TVorqImageList* GetCurrentList() const { return nullptr; }
    // Milliseconds added to the last frame on every pass; the image-creation
    // command compiles it. Empty: nothing added.
    TVorqParser& LastFrameDelay() { return FLastFrameDelay; }
    int32_t Countdown() const { return FCountdown; }

protected:
    bool ValidFrame(int32_t index) const;
    // Each rest on the last frame reports its end once.
    bool FEndReported = false;
    int32_t FCountdown = 0;
    int32_t FIndex = -1;

private:
    int32_t FLevel = 0;
    uint8_t FPaused = 0;
    TVorqParser FLastFrameDelay;
};

class TVorqImages : public TVorqCustomImages {
public:
    explicit TVorqImages(TVorqBaseList* registry, int picture_states = 1, int create_flags = kCreateDefault);
    ~TVorqImages() override;

    uint8_t GetCompoType() const override { return LT_IMAGES; }
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    bool GetRepeat() const override { return FRepeat != 0; }
    void SetRepeat(bool v) override;
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void ReleaseSurfaces() override;
    void RestoreSurfaces() override;
    TVorqImageList* GetCurrentList() const override;

    virtual int32_t GetPictureState() const { return 0; }
    virtual void SetPictureState(int32_t /*state*/) {}
    int32_t GetPictureStateCount() const { return static_cast<int32_t>(FLists.size()); }
    TVorqImageList& List(int32_t state) { return *FLists[static_cast<size_t>(state)]; }

protected:
    std::vector<std::unique_ptr<TVorqImageList>> FLists;
    uint8_t FRepeat = 0, FAutoScrap = 0;
    std::string FSource, FOnPlayEnd, FOnIdle;
};

// The image-creation command's DELAY expression: the image keeps a copy and
// evaluates it anew each time it reaches its last frame. Other kinds: nothing.
void AssignImageDelayExpression(TVorqObject& obj, const TVorqParser* delay);
