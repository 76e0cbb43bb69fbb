// TVorqPrevMenu: a menu laid out in the authoring editor (a layout file of
// animated buttons). The mouse or the arrow keys move a hover over the
// buttons, which swaps their motions and shows an overlay over the hovered
// one; a click plays the click motion and overlay, fills @SelStr /
// @SelIndex, queues ONSELECT and, once the click animations ended, scraps
// the menu or queues ONPLAYEND. Buttons can be disabled by name. Every
// picture the layout names is cached when it loads, so the first hover does
// not stall.
#pragma once
#include "objects/images/images.h"
#include "objects/controls/prev_menu_layout.h"

#include <cstdint>
#include <string>
#include <vector>

class TTeskItem;
class TVorqPrevMenu;

// A button or overlay picture of a prepared menu: tells the menu when a
// one-shot animation reached its end.
class TVorqPrevImages : public TVorqImages {
public:
    TVorqPrevImages(TVorqBaseList* registry, TVorqPrevMenu* menu);
    bool Update() override;

private:
    TVorqPrevMenu* FMenu;
    uint32_t FMenuSerial;
};

class TVorqPrevMenu : public TVorqControl {
public:
    explicit TVorqPrevMenu(TVorqBaseList* registry);
    ~TVorqPrevMenu() override;

    uint8_t GetCompoType() const override { return LT_PREVMENU; }
    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    int32_t GetCount() const override { return static_cast<int32_t>(FRecords.size()); }
    std::string GetText() const override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    bool GetAutoScrap() const override { return FAutoScrap != 0; }
    void SetAutoScrap(bool v) override { FAutoScrap = v; }
    bool GetRClickScrap() const override { return FRClickScrap != 0; }
    void SetRClickScrap(bool v) override { FRClickScrap = v; }
    std::string GetOnSelect() const override { return FOnSelect; }
    void SetOnSelect(const std::string& v) override { FOnSelect = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }
    std::string GetOnMapIn() const override { return FOnMapIn; }
    void SetOnMapIn(const std::string& v) override { FOnMapIn = v; }
    std::string GetOnMapOut() const override { return FOnMapOut; }
    void SetOnMapOut(const std::string& v) override { FOnMapOut = v; }
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }

    int32_t IndexOfButton(const std::string& name) const override;
    bool GetEnabled(int32_t i) const;
    void SetEnabled(int32_t i, bool flag);
    // The scripts' enabled functions reach the buttons through these.
    bool GetButtonEnabled(int32_t i) const override { return GetEnabled(i); }
    void SetButtonEnabled(int32_t i, bool flag) override { SetEnabled(i, flag); }
    int32_t Hovered() const { return FHovered; }
    int32_t BusyCount() const { return FBusyCount; }
    // The button picture i, or the overlay over button i (null when none).
    TVorqPrevImages* Button(int32_t i) const;
    TVorqPrevImages* Overlay(int32_t i) const;
    // Upper-case names of the pictures cached for the layout.
    const std::vector<std::string>& PrecachedNames() const { return FPrecacheNames; }

    void SetHover(int32_t index);
    void Click();
    // A one-shot animation of a button or overlay picture ended.
    void AnimationEnded(TVorqPrevImages* image);

    std::string GetEffectiveCursor() const override;
    bool Update() override { return false; }
    TVorqObject* HitTest(const TPoint& p, uint32_t mask) override;
    void MouseMove() override;
    void MouseOut(TVorqObject* next) override;
    void LBtnDown() override;
    void LBtnUp() override;
    void RBtnDown() override;
    void KeyRepeat() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

private:
    struct Slot {
        TVorqPrevImages* image = nullptr;
        uint32_t serial = 0;
    };
    TVorqPrevImages* alive(const Slot& slot) const;
    void clear();
    void load(const std::string& name);
    void precache(const std::string& name, int depth);
    void set_images(int32_t i, const std::string& motion, bool repeat);
    void set_overlay(int32_t i, const std::string& motion, bool repeat, int32_t priority);
    void hover_starts(int32_t i);
    void hover_ends(int32_t i);
    void finish();
    TArrayString button_args(int32_t i) const;

    std::string FSource;
    uint8_t FPaused = 0, FAutoScrap = 0, FRClickScrap = 0;
    std::string FOnSelect, FOnIdle, FOnMapIn, FOnMapOut, FOnPlayEnd;
    std::vector<Slot> FButtons, FOverlays;
    std::vector<TContSelButton> FRecords;
    std::vector<std::string> FPrecacheNames;
    std::vector<TTeskItem*> FPrecacheItems;
    int32_t FHovered = -1, FPressed = -1, FBusyCount = 0;
    std::vector<uint8_t> FEnabled;
};
