// TVorqButton: an image set with four picture states, normal (SOURCE),
// hover (HOVERSOURCE), pressed (PRESSEDSOURCE) and clicked (CLICKEDSOURCE),
// each a frame list or a motion file of its own. A click queues ONNOTIFY;
// buttons sharing a GROUPINDEX under one parent form a radio group whose
// selected member shows the pressed picture; a button without a group plays
// its clicked picture once and may remove itself (AUTOSCRAP). The focused
// button is also clicked by Enter or Space.
#pragma once
#include "objects/images/images.h"

#include <array>
#include <memory>
#include <string>

class TVorqButton : public TVorqImages {
public:
    static constexpr int32_t kNormal = 0, kHover = 1, kPressed = 2, kClicked = 3, kNoState = -1;

    explicit TVorqButton(TVorqBaseList* registry, int create_flags = kCreateDefault);
    ~TVorqButton() override;

    uint8_t GetCompoType() const override { return LT_BUTTON; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    int32_t GetGroupIndex() const override { return FGroupIndex; }
    void SetGroupIndex(int32_t v) override;
    bool GetSelected() const override { return FSelected != 0; }
    void SetSelected(bool v) override;
    bool GetAllowAllUp() const override { return FAllowAllUp != 0; }
    void SetAllowAllUp(bool v) override;
    std::string GetHoverSource() const override { return FStateSources[0]; }
    void SetHoverSource(const std::string& v) override { SetStateSource(kHover, v); }
    std::string GetPressedSource() const override { return FStateSources[1]; }
    void SetPressedSource(const std::string& v) override { SetStateSource(kPressed, v); }
    std::string GetClickedSource() const override { return FStateSources[2]; }
    void SetClickedSource(const std::string& v) override { SetStateSource(kClicked, v); }
    // The clicked picture plays once; every other state loops.
    bool GetRepeat() const override { return FState != kClicked; }
    void SetPaused(bool v) override;
    std::string GetOnNotify() const override { return FOnNotify; }
    void SetOnNotify(const std::string& v) override { FOnNotify = v; }

    bool Update() override;
    void LBtnDown() override;
    void LBtnUp() override;
    void MouseMove() override;
    void MouseOut(TVorqObject* next) override;
    void SetGroupSelected(bool selected) override;
    void GroupNotify(int32_t value) override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;
    void KeyRepeat() override;
    TControlMotion* GetMotion() const override;
    int32_t GetPictureState() const override { return FState; }
    void SetPictureState(int32_t state) override { SetState(state); }

    // The picture-state switch; states without a picture or motion are
    // refused, and while the clicked picture plays a request only becomes
    // the state to return to.
    void SetState(int32_t v);
    int32_t PendingState() const { return FPending; }
    int32_t PressPhase() const { return FPressPhase; }
    void Click();

private:
    void SetStateSource(int32_t state, const std::string& v);
    // The active layer's left-press hit test at the pointer finds this button.
    bool PointerOver() const;

    int32_t FPressPhase = 0;  // 0 idle, 1 pressed here, -1 clicked and to be freed
    int32_t FState = kNormal;
    int32_t FPending = kNormal;
    std::array<std::string, 3> FStateSources;  // hover, pressed, clicked
    int32_t FGroupIndex = 0;
    uint8_t FSelected = 0, FAllowAllUp = 0;
    std::string FOnNotify, FOnIdle;
    std::array<std::unique_ptr<TControlMotion>, 3> FStateMotions;
};
