// TVorqMenu: the scenario's choice menu. A list box that opens and closes by
// growing or shrinking its height over DELAY ms, queues ONOPENING, ONOPENED,
// ONCLOSING and ONCLOSED around that, selects with the mouse, Enter or
// Space, and can close itself after a selection (AUTOSCRAP) or on a right
// click or Escape (RCLICKSCRAP). An animated close ends with the menu freed
// once its closing handlers ran; a close at once only hides it.
#pragma once
#include "objects/controls/list_box.h"

class TVorqMenu : public TVorqCustomListBox {
public:
    // Animation states (kept in the list box's saved state field).
    enum : int32_t {
        kIdle = 0, kEscape = 10, kOpenStart = 100, kOpenClock = 101, kOpening = 102,
        kCloseStart = 200, kClosing = 201, kScrapStart = 300, kScrapWait = 301, kEnded = 302
    };

    explicit TVorqMenu(TVorqBaseList* registry);
    ~TVorqMenu() override;

    uint8_t GetCompoType() const override { return LT_MENU; }

    int32_t GetDelay() const override { return FDelay; }
    void SetDelay(int32_t v) override { FDelay = v; }
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    bool GetRClickScrap() const override { return FRClickScrap != 0; }
    void SetRClickScrap(bool v) override { FRClickScrap = v; }
    std::string GetOnOpening() const override { return FOnOpening; }
    void SetOnOpening(const std::string& v) override { FOnOpening = v; }
    std::string GetOnOpened() const override { return FOnOpened; }
    void SetOnOpened(const std::string& v) override { FOnOpened = v; }
    std::string GetOnClosing() const override { return FOnClosing; }
    void SetOnClosing(const std::string& v) override { FOnClosing = v; }
    std::string GetOnClosed() const override { return FOnClosed; }
    void SetOnClosed(const std::string& v) override { FOnClosed = v; }
    int32_t GetFontHoverColor() const override { return static_cast<int32_t>(FHoverLabels.Colour); }
    void SetFontHoverColor(int32_t v) override;
    TFontStyles GetFontHoverStyle() const override { return TFontStyles{FHoverLabels.Style}; }
    void SetFontHoverStyle(TFontStyles v) override;
    int32_t GetOrigHeight() const override;

    uint8_t GetPlayState() const override { return FPlayState; }
    void SetPlayState(uint8_t state) override;
    int32_t State() const { return FState; }
    bool Busy() const override { return FBusy != 0; }

    bool Update() override;
    void KeyRepeat() override;
    void RBtnDown() override;
    bool RightClickScrap() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

protected:
    void Select() override;
    bool Animating() const override;

private:
    void queue(const std::string& label, uint8_t event_id);
    void take_focus();
    void drop_focus();

    int32_t FFullHeight = 0;
    uint32_t FStart = 0;
    int32_t FDelay = 0;
    uint8_t FAutoScrap = 0, FRClickScrap = 0;
    uint8_t FPlayState = PS_STOP;
    std::string FOnOpening, FOnOpened, FOnClosing, FOnClosed;
    uint8_t FBusy = 0;
};
