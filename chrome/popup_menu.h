// A pop-up menu drawn by our chrome over a window: a column of items, some
// ticked, with separator lines between groups. It is painted into the
// window's client image, takes the window's input while open and puts back
// the picture it covered when it closes.
//
// Mouse: the item under the pointer is highlighted, and the release of
// either button over an item chooses it; a press outside the menu closes
// it. Keys: Up and Down move the highlight (wrapping round, over the
// separators), Home and End go to the first and last item, Enter and Space
// choose the highlighted item, an item's underlined letter ("&F") chooses
// it; Escape, Alt and the Menu key close the menu.
#pragma once
#include "chrome/covered_picture.h"
#include "chrome/form.h"

#include <functional>
#include <string>
#include <vector>

struct TMenuItem {
    Caption Text;         // empty for a separator
    bool Separator = false;
    bool Checked = false;
    std::function<void()> OnClick;
};

class TPopupMenu : public Form {
public:
    TPopupMenu();

    // Appends an item (Shift-JIS caption with its "&" marker).
    void AddItem(const std::string& sjis_caption, bool checked, std::function<void()> on_click);
    void AddSeparator();
    int32_t ItemCount() const { return static_cast<int32_t>(items_.size()); }
    const TMenuItem& ItemAt(int32_t i) const { return items_.at(static_cast<size_t>(i)); }
    // An item's rectangle in menu coordinates.
    TRect ItemRect(int32_t i) const;
    // The highlighted item, -1 when none.
    int32_t Highlight() const { return highlight_; }

    // Shows the menu with its top-left corner at (x, y) of the client area,
    // moved so that it lies inside it where it can, and keeps what it
    // covers. Opened from the keyboard, the first item is highlighted.
    void Open(Video& window, int32_t x, int32_t y, bool from_keyboard);
    bool IsOpen() const { return window_ != nullptr; }
    // Where the menu's top-left corner lies in the client area.
    TPoint Origin() const { return origin_; }
    // One event of the window, in client coordinates.
    void Dispatch(const InputEvent& e);
    // An item was chosen or the menu was cancelled: the owner closes it.
    bool Done() const { return done_; }
    // The chosen item, -1 when cancelled (or still open).
    int32_t Chosen() const { return chosen_; }
    // Shows what changed since the last call.
    void Refresh();
    // Puts back what the menu covered and presents it.
    void Close();
    // Runs the chosen item's action; call after Close.
    void RunChosen();

protected:
    void PaintBackground(ChromeCanvas& canvas) override;

private:
    void layout();
    int32_t item_at(const TPoint& local) const;
    void set_highlight(int32_t i);
    void move_highlight(int32_t step);
    void choose(int32_t i);
    void cancel();

    std::vector<TMenuItem> items_;
    std::vector<TRect> rects_;
    int32_t highlight_ = -1;
    int32_t chosen_ = -1;
    bool done_ = false;
    bool alt_down_ = false;

    Video* window_ = nullptr;
    TPoint origin_;
    TCoveredPicture covered_;
};
