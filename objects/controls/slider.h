// TVorqSlider and TVorqScrollbar: controls that let the player pick an
// integer between MIN and MAX with the mouse or the arrow keys, drawn from
// a bar image (2 cells, tiled along the bar), a thumb image (3 cells:
// normal, over, pressed) and a button image (6 cells: the two step buttons
// in those three states). The slider's thumb centre travels the whole bar
// with the value growing right or up, and a click on the bar jumps there;
// the scroll bar's thumb travels inside the bar with the value growing right
// or down, and a click on the bar pages by LARGECHANGE while held.
#pragma once
#include "objects/vorq_object.h"

#include <cstdint>
#include <string>

class FieldReader;
class TTeskItem;

// Round(range / length * distance) + min, limited to min..max: the value a
// drag to distance pixels along a travel of length gives. The value stays
// unchanged (current) when the travel has no length.
int32_t SliderValueAt(int32_t min, int32_t max, int64_t length, int64_t distance, int32_t current);
// Round((value - min) / (max - min) * length): the thumb's offset; 0 for an
// empty or inverted range.
int32_t SliderThumbOffset(int32_t min, int32_t max, int32_t value, int64_t length);

class TVorqSlider : public TVorqControl {
public:
    enum Interaction : int32_t { kNone = 0, kDrag = 1, kButton0 = 2, kButton1 = 3, kPageMin = 4, kPageMax = 5 };

    explicit TVorqSlider(TVorqBaseList* registry);
    ~TVorqSlider() override;

    uint8_t GetCompoType() const override { return LT_SLIDER; }

    std::string GetSource() const override { return FSource; }
    void SetSource(const std::string& v) override;
    std::string GetThumbSource() const override { return FThumbSource; }
    void SetThumbSource(const std::string& v) override;
    std::string GetButtonSource() const override { return FButtonSource; }
    void SetButtonSource(const std::string& v) override;
    int32_t GetMin() const override { return FMin; }
    void SetMin(int32_t v) override;
    int32_t GetMax() const override { return FMax; }
    void SetMax(int32_t v) override;
    // The stored value clamped into MIN..MAX (MIN wins when MAX < MIN).
    int32_t GetValue() const override;
    void SetValue(int32_t v) override;
    int32_t GetSmallChange() const override { return FSmallChange; }
    void SetSmallChange(int32_t v) override { FSmallChange = v; }
    int32_t GetOrientation() const override { return FOrientation; }
    void SetOrientation(int32_t v) override;
    int32_t GetBarSize() const override { return FBarSize; }
    void SetBarSize(int32_t v) override;
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override { FPaused = v; }
    bool GetCaptureMask() const override { return FCaptureMask != 0; }
    void SetCaptureMask(bool v) override { FCaptureMask = v; }
    std::string GetOnNotify() const override { return FOnNotify; }
    void SetOnNotify(const std::string& v) override { FOnNotify = v; }
    std::string GetOnHold() const override { return FOnHold; }
    void SetOnHold(const std::string& v) override { FOnHold = v; }
    std::string GetOnRelease() const override { return FOnRelease; }
    void SetOnRelease(const std::string& v) override { FOnRelease = v; }
    std::string GetOnIdle() const override { return FOnIdle; }
    void SetOnIdle(const std::string& v) override { FOnIdle = v; }

    void Draw() override;
    void LBtnDown() override;
    void LBtnUp() override;
    void MouseMove() override;
    void MouseOut(TVorqObject* next) override;
    void MouseStepEnd() override;
    void KeyRepeat() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

    virtual void UpdateSize();
    virtual void UpdateThumb();
    virtual TRect GetBarRect() const;
    virtual TRect GetThumbRect() const;
    TRect GetButtonRect(int index) const;
    virtual void DrawParts();
    // The sign row of the step buttons: 1 turns them round (vertical slider).
    virtual int ButtonDirection() const { return FOrientation == 1 ? 1 : 0; }

    // Player-made changes: stores v and queues ONNOTIFY with the new value.
    void ChangeValue(int32_t v);

    int32_t ThumbOffset() const { return FThumbOffset; }
    int32_t ThumbState() const { return FThumbState; }
    int32_t ButtonState(int index) const { return FButtonState[index & 1]; }
    int32_t InteractionNow() const { return FInteraction; }
    bool PagingShown() const { return FPagingShown != 0; }

protected:
    bool vertical() const { return FOrientation == 1; }
    // MAX - MIN without overflow.
    int64_t range() const { return int64_t(FMax) - int64_t(FMin); }
    TPoint pointer() const;
    bool bar_hit() const;
    bool thumb_hit() const;
    bool button_hit(int index) const;
    // Thumb and button states from the pointer, as at rest.
    void hover_states();
    void set_states(int32_t thumb, int32_t b0, int32_t b1);
    void capture_left();
    // The value a drag (or a slider's bar click) to the pointer gives.
    virtual int32_t drag_value() const;
    virtual void press_bar();
    // ONNOTIFY with the value, when a label is set.
    void step_by(int64_t delta);
    // One small change the way step button `index` points.
    void step_button(int index);
    // Releases the picture held for a part and takes the one named v.
    void set_part(std::string& source, TTeskItem*& item, const std::string& v);
    // Moves the thumb, redrawing where it was and where it goes.
    void set_thumb_offset(int32_t p);
    void draw_thumb_and_buttons(TCustomDIBX& s) const;
    void recompute_parts();
    void tile_part(const TRect& dest, int32_t cell, int32_t offset_y, int32_t offset_x) const;
    // The virtual keys that raise and lower the value.
    virtual void value_keys(int32_t& increase, int32_t& decrease) const;
    virtual void save_extra(TStream&) {}
    virtual void load_extra(FieldReader&) {}

    std::string FSource, FThumbSource, FButtonSource;
    int32_t FMin = 0, FMax = 0, FValue = 0, FAlpha = 0;
    uint8_t FPaused = 0, FOrientation = 0;
    std::string FOnNotify;
    int32_t FBarW = 0, FBarH = 0, FThumbW = 0, FThumbH = 0, FButtonW = 0, FButtonH = 0;
    TTeskItem* FBar = nullptr;
    TTeskItem* FThumb = nullptr;
    TTeskItem* FButton = nullptr;
    int32_t FThumbOffset = 0;
    int32_t FThumbState = 0, FButtonState[2] = {0, 0};
    int32_t FGrab = 0;
    int32_t FRepeat = 0;
    uint8_t FPagingShown = 0;
    std::string FOnHold, FOnRelease;
    int32_t FSmallChange = 0;
    std::string FOnIdle;
    uint8_t FCaptureMask = 0;
    int32_t FBarSize = 0;
    int32_t FInteraction = kNone;
};

class TVorqScrollbar : public TVorqSlider {
public:
    explicit TVorqScrollbar(TVorqBaseList* registry);

    uint8_t GetCompoType() const override { return LT_SCROLLBAR; }
    int32_t GetLargeChange() const override { return FLargeChange; }
    void SetLargeChange(int32_t v) override { FLargeChange = v; }

    void UpdateSize() override;
    void UpdateThumb() override;
    TRect GetBarRect() const override;
    TRect GetThumbRect() const override;
    void DrawParts() override;
    int ButtonDirection() const override { return 0; }

protected:
    int32_t drag_value() const override;
    void press_bar() override;
    void value_keys(int32_t& increase, int32_t& decrease) const override;
    void save_extra(TStream& s) override;
    void load_extra(FieldReader& r) override;

private:
    int32_t FLargeChange = 0;
};
