// The widgets of our chrome: push and flat buttons, check box, label,
// horizontal track bar, list box and bevel. Clicks fire on release over the widget,
// as for ordinary push buttons.
#pragma once
#include "chrome/form.h"

#include <functional>
#include <string>
#include <vector>

class Button : public Widget {
public:
    Button(Form& form, const TRect& bounds, const std::string& sjis_caption, bool flat = false);
    // Flat buttons draw their border only while the pointer is over them
    // or they are pressed.
    bool Flat;
    std::function<void()> OnClick;
    void Click();
    bool Pressed() const { return pressed_; }

    void Paint(ChromeCanvas& canvas) override;
    void MouseDown(const TPoint& p) override;
    void MouseMove(const TPoint& p) override;
    void MouseUp(const TPoint& p) override;
    void HoverChanged() override { Invalidate(); }
    void KeyDown(int32_t vk) override;
    void KeyUp(int32_t vk) override;
    void AccessKeyPressed() override { Click(); }
    void FocusChanged() override { Invalidate(); }

private:
    void set_pressed(bool on);
    bool pressed_ = false;      // drawn pushed in
    bool mouse_down_ = false;   // a press of the pointer began here
    bool space_down_ = false;
};

class CheckBox : public Widget {
public:
    CheckBox(Form& form, const TRect& bounds, const std::string& sjis_caption);
    bool Checked() const { return checked_; }
    // Changes the state; OnClick runs when it changed.
    void SetChecked(bool on);
    // Runs whenever the state changes, by the user or by SetChecked.
    std::function<void()> OnClick;

    void Paint(ChromeCanvas& canvas) override;
    void MouseDown(const TPoint& p) override;
    void MouseMove(const TPoint& p) override;
    void MouseUp(const TPoint& p) override;
    void KeyDown(int32_t vk) override;
    void KeyUp(int32_t vk) override;
    void AccessKeyPressed() override;
    void FocusChanged() override { Invalidate(); }

private:
    bool checked_ = false;
    bool pressed_ = false;
    bool mouse_down_ = false;
    bool space_down_ = false;
};

enum class TextAlign { Left, Right };

class Label : public Widget {
public:
    Label(Form& form, const TRect& bounds, const std::string& sjis_caption, TextAlign align = TextAlign::Left);
    TextAlign Align;
    // The widget its access key focuses.
    Widget* FocusControl = nullptr;
    void Paint(ChromeCanvas& canvas) override;
    void AccessKeyPressed() override;
};

class TrackBar : public Widget {
public:
    TrackBar(Form& form, const TRect& bounds, int32_t min, int32_t max);
    int32_t Min() const { return min_; }
    int32_t Max() const { return max_; }
    int32_t Position() const { return position_; }
    // Limited to Min..Max; OnChange runs when the position changed.
    void SetPosition(int32_t value);
    int32_t PageSize = 1;
    int32_t ThumbLength = 16;
    std::function<void()> OnChange;
    // The thumb's rectangle in form coordinates.
    TRect ThumbRect() const;
    // The form x coordinate a position's thumb is centred on.
    int32_t PositionX(int32_t value) const;

    void Paint(ChromeCanvas& canvas) override;
    void MouseDown(const TPoint& p) override;
    void MouseMove(const TPoint& p) override;
    void MouseUp(const TPoint& p) override;
    void KeyDown(int32_t vk) override;
    void FocusChanged() override { Invalidate(); }

private:
    int32_t channel_left() const;
    int32_t channel_right() const;
    int32_t nearest(int32_t x) const;
    int32_t min_, max_, position_;
    bool dragging_ = false;
};

// A sunken frame grouping other widgets.
class Bevel : public Widget {
public:
    Bevel(Form& form, const TRect& bounds) : Widget(form, bounds) {}
    void Paint(ChromeCanvas& canvas) override;
};

// A list of text lines, one of them selected. The pointer selects the line
// under it, the wheel scrolls, and Up, Down, Home, End, Page Up and Page
// Down move the selection; a longer list shows a scroll strip at its right,
// where a press above or below the thumb turns a page.
class ListBox : public Widget {
public:
    ListBox(Form& form, const TRect& bounds);
    // Shift-JIS lines.
    void SetItems(std::vector<std::string> items);
    const std::vector<std::string>& Items() const { return items_; }
    int32_t ItemIndex() const { return index_; }
    // Limited to the list and scrolled into view; OnChange runs when it changed.
    void SetItemIndex(int32_t i);
    int32_t TopIndex() const { return top_; }
    int32_t ItemHeight = 13;
    std::function<void()> OnChange;
    // Lines that fit in the box.
    int32_t VisibleLines() const;
    // A line's rectangle in form coordinates (it may lie outside the box).
    TRect LineRect(int32_t i) const;

    void Paint(ChromeCanvas& canvas) override;
    void MouseDown(const TPoint& p) override;
    void MouseMove(const TPoint& p) override;
    void MouseUp(const TPoint&) override { dragging_ = false; }
    void MouseWheel(int32_t notches) override;
    void KeyDown(int32_t vk) override;
    void FocusChanged() override { Invalidate(); }

private:
    bool scrolls() const { return static_cast<int32_t>(items_.size()) > VisibleLines(); }
    TRect strip() const;
    TRect thumb() const;
    void set_top(int32_t top);
    int32_t line_at(int32_t y) const;
    std::vector<std::string> items_;
    int32_t index_ = -1;
    int32_t top_ = 0;
    bool dragging_ = false;
};
