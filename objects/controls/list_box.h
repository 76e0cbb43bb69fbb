// TVorqCustomListBox: a scrolling list of one-line items, each drawn from a
// pre-rendered label (a normal and a hover look), inside a plain frame line
// and nine tiled border pictures, with its own scroll strip (7 cells: up,
// up pressed, down, down pressed, track, track pressed, thumb) and optional
// check marks (2 cells). It sizes itself: WIDTH from the widest item,
// HEIGHT from ROWCOUNT. A selection fills @SelStr / @SelIndex and queues
// ONSELECT. The selection menu builds on it.
#pragma once
#include "objects/vorq_object.h"
#include "render/label_list.h"

#include <cstdint>
#include <string>
#include <vector>

class TTeskItem;

class TVorqCustomListBox : public TVorqControl {
public:
    enum PressMode : int32_t { kNone = -1, kThumb = 0, kUp = 1, kDown = 2, kPageUp = 3, kPageDown = 4, kItem = 5 };
    // Held scroll parts step at once, again after this delay, then at the pitch (ms).
    static constexpr int32_t kFirstRepeat = 300, kRepeatPitch = 50;

    explicit TVorqCustomListBox(TVorqBaseList* registry);
    ~TVorqCustomListBox() override;

    std::string GetText() const override { return FText; }
    void SetText(const std::string& v) override;
    int32_t GetLineSpace() const override { return FLineSpace; }
    void SetLineSpace(int32_t v) override;
    int32_t GetAlpha() const override { return FAlpha; }
    void SetAlpha(int32_t v) override;
    int32_t GetMarginX() const override { return FMarginX; }
    void SetMarginX(int32_t v) override;
    int32_t GetMarginY() const override { return FMarginY; }
    void SetMarginY(int32_t v) override;
    int32_t GetBorderWidth() const override { return FBorderWidth; }
    void SetBorderWidth(int32_t v) override;
    int32_t GetBorderColor() const override { return FBorderColor; }
    void SetBorderColor(int32_t v) override;
    int32_t GetRowCount() const override { return FRowCount; }
    void SetRowCount(int32_t v) override;
    std::string GetBorderSource(int cell) const override;
    void SetBorderSource(int cell, const std::string& name) override;
    uint8_t GetBorderHAlign(int cell) const override;
    void SetBorderHAlign(int cell, uint8_t value) override;
    uint8_t GetBorderVAlign(int cell) const override;
    void SetBorderVAlign(int cell, uint8_t value) override;
    std::string GetScrollSource() const override { return FScrollSource; }
    void SetScrollSource(const std::string& v) override;
    std::string GetCheckSource() const override { return FCheckSource; }
    void SetCheckSource(const std::string& v) override;
    int32_t GetTopIndex() const override { return FTopIndex; }
    void SetTopIndex(int32_t v) override;
    uint8_t GetHAlign() const override { return FHAlign; }
    void SetHAlign(uint8_t v) override;
    int32_t GetCount() const override { return static_cast<int32_t>(FItems.size()); }
    int32_t GetIndex() const override { return FIndex; }
    void SetIndex(int32_t v) override { FIndex = v; }
    std::string GetOnSelect() const override { return FOnSelect; }
    void SetOnSelect(const std::string& v) override { FOnSelect = v; }
    bool GetPaused() const override { return FPaused != 0; }
    void SetPaused(bool v) override;
    int32_t GetHoverColor() const override { return FHoverColor; }
    void SetHoverColor(int32_t v) override;

    std::string GetFontName() const override { return FLabels.FontName; }
    void SetFontName(const std::string& v) override;
    int32_t GetFontHeight() const override { return FLabels.FontSize; }
    void SetFontHeight(int32_t v) override;
    bool GetAntialias() const override { return FLabels.Quality != 0; }
    void SetAntialias(bool v) override;
    TFontStyles GetFontStyle() const override { return TFontStyles{FLabels.Style}; }
    void SetFontStyle(TFontStyles v) override;
    int32_t GetFontColor() const override { return static_cast<int32_t>(FLabels.Colour); }
    void SetFontColor(int32_t v) override;
    int32_t GetFontBorder() const override { return FLabels.BorderWidth; }
    void SetFontBorder(int32_t v) override;
    int32_t GetFontShadow() const override { return FLabels.ShadowWidth; }
    void SetFontShadow(int32_t v) override;
    int32_t GetFontBorderColor() const override { return static_cast<int32_t>(FLabels.BorderColour); }
    void SetFontBorderColor(int32_t v) override;
    int32_t GetFontShadowColor() const override { return static_cast<int32_t>(FLabels.ShadowColour); }
    void SetFontShadowColor(int32_t v) override;
    int32_t GetFontHoverBorder() const override { return FHoverLabels.BorderWidth; }
    void SetFontHoverBorder(int32_t v) override;
    int32_t GetFontHoverShadow() const override { return FHoverLabels.ShadowWidth; }
    void SetFontHoverShadow(int32_t v) override;
    int32_t GetFontHoverBorderColor() const override { return static_cast<int32_t>(FHoverLabels.BorderColour); }
    void SetFontHoverBorderColor(int32_t v) override;
    int32_t GetFontHoverShadowColor() const override { return static_cast<int32_t>(FHoverLabels.ShadowColour); }
    void SetFontHoverShadowColor(int32_t v) override;

    // Check marks of items; outside the items get is false and set does nothing.
    bool GetChecked(int32_t index) const;
    void SetChecked(int32_t index, bool value);
    // The scripts' check functions reach the marks through these.
    bool GetItemCheck(int32_t index) const override { return GetChecked(index); }
    void SetItemCheck(int32_t index, bool value) override { SetChecked(index, value); }
    int32_t HoverIndex() const { return FHover; }
    void SetHover(int32_t index);
    int32_t Press() const { return FPress; }
    const std::string& Item(int32_t index) const { return FItems[static_cast<size_t>(index)]; }

    // The item row under a layer point: -1 outside the item area.
    int32_t ItemAt(const TPoint& p) const;
    // The scroll strip's parts on the layer (empty when not shown).
    bool ScrollShown() const;
    TRect UpButtonRect() const;
    TRect DownButtonRect() const;
    TRect ThumbRect() const;
    void Layout();

    bool Update() override;
    void Draw() override;
    void LBtnDown() override;
    void LBtnUp() override;
    void MouseMove() override;
    void MouseOut(TVorqObject* next) override;
    void KeyRepeat() override;
    void SaveToStream(TStream& s) override;
    void LoadFromStream(TStream& s, int32_t version) override;

protected:
    // INDEX, the selection variables and ONSELECT for the hovered item.
    virtual void Select();
    // A selection or close is under way (the menu): no selection by release.
    virtual bool Busy() const { return false; }
    // The menu hides the scroll strip while it animates.
    virtual bool Animating() const { return false; }
    void MarkLayout() { FLayoutDirty = 1; }
    void handle_list_keys();

    TWzLabelList FLabels, FHoverLabels;
    int32_t FState = 0;  // the menu's animation state, saved with the list
    int32_t FHoverColor = 0;

private:
    struct Metrics {
        int32_t left = 0, right = 0, top = 0, bottom = 0;  // widest / tallest border parts
        int32_t frame_top = 0;                            // BORDERWIDTH + top parts
    };
    Metrics metrics() const;
    int32_t scroll_width() const;
    int32_t check_width() const;
    int32_t row_top(int32_t k) const;
    // Inner column of the scroll strip: top, height.
    void strip_span(int32_t& top, int32_t& height) const;
    int32_t max_top() const;
    void step_scroll();
    bool pressed_part_hit() const;
    TPoint pointer() const;
    void draw_border_parts(TCustomDIBX& s, const TRect& outer) const;
    bool step_border_parts(int32_t elapsed);
    void draw_scroll(TCustomDIBX& s) const;
    void acquire_cells(TTeskItem*& item, const std::string& name, int32_t cells, int32_t& cw, int32_t& ch);

    std::string FText;
    std::vector<std::string> FItems;
    int32_t FLineSpace = 0, FAlpha = 255;
    uint8_t FLayoutDirty = 1;
    int32_t FMarginX = 0, FMarginY = 0, FBorderWidth = 0, FBorderColor = -1, FRowCount = 0;
    std::string FBorderSource[9];
    TTeskItem* FBorder[9] = {};
    int32_t FPartW[9] = {}, FPartH[9] = {};
    // Animated border pictures: the frame each part shows and the time left on it.
    int32_t FPartFrame[9] = {}, FPartCountdown[9] = {};
    uint8_t FBorderHAlign[9] = {}, FBorderVAlign[9] = {};
    std::string FScrollSource, FCheckSource;
    TTeskItem* FScroll = nullptr;
    TTeskItem* FCheck = nullptr;
    int32_t FScrollW = 0, FScrollH = 0, FCheckW = 0, FCheckH = 0;
    int32_t FTopIndex = 0;
    uint8_t FHAlign = 0;
    int32_t FHover = -1;
    int32_t FDragOffset = 0;
    int32_t FPress = kNone;
    int32_t FCountdown = 0;
    uint8_t FPartPressed = 0;
    std::vector<uint8_t> FChecks;
    std::string FOnSelect;
    uint8_t FPaused = 0;
    int32_t FIndex = -1;
};
