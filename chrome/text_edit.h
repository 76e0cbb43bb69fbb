// A text field of our chrome: one line (an edit) or several with word wrap
// and a vertical scroll bar (a memo). The text is Shift-JIS; positions are
// byte offsets on character boundaries. Typed text arrives as text events,
// and the input method's unfinished text (preedit) is drawn at the caret,
// underlined, until it is committed.
#pragma once
#include "chrome/form.h"

#include <functional>

class TextEdit : public Widget {
public:
    TextEdit(Form& form, const TRect& bounds, bool multi_line);

    bool MultiLine() const { return multi_line_; }
    const std::string& Text() const { return text_; }
    // Replaces the text; the caret goes to its end and the selection goes.
    void SetText(const std::string& sjis);
    bool ReadOnly = false;
    // 0 left, 1 right, 2 centre.
    uint8_t Alignment = 0;
    ChromeFont Font = DefaultChromeFont();
    uint32_t TextColour = chrome_colour::Text;
    uint32_t BackColour = chrome_colour::Window;

    size_t Caret() const { return caret_; }
    size_t SelStart() const { return std::min(anchor_, caret_); }
    size_t SelEnd() const { return std::max(anchor_, caret_); }
    std::string SelectedText() const { return text_.substr(SelStart(), SelEnd() - SelStart()); }
    // Selects from anchor to caret (both moved to character boundaries).
    void Select(size_t anchor, size_t caret);
    const std::string& Preedit() const { return preedit_; }
    // The first visible line of a memo.
    int32_t TopLine() const { return top_line_; }
    int32_t LineCount() const { return static_cast<int32_t>(lines_.size()); }
    // The caret's rectangle in form coordinates: where the input method's
    // candidate window belongs.
    TRect CaretRect() const;

    // Every key down, before the field acts on it: the key and the text as
    // it was before the keystroke.
    std::function<void(int32_t vk, const std::string& before)> OnKeyDown;

    void Paint(ChromeCanvas& canvas) override;
    void MouseDown(const TPoint& p) override;
    void MouseMove(const TPoint& p) override;
    void MouseUp(const TPoint& p) override;
    void MouseWheel(int32_t notches) override;
    void KeyDown(int32_t vk) override;
    void KeyUp(int32_t vk) override;
    bool TakesAllKeys() const override { return true; }
    void TextInput(const std::string& sjis) override;
    void Composition(const std::string& sjis) override;
    void FocusChanged() override;

private:
    struct Line {
        size_t Start, End;  // End excludes the line break
    };
    TRect text_area() const;
    void layout();
    int32_t line_of(size_t pos) const;
    int32_t x_of(const Line& line, size_t pos) const;  // form x of a position on its line
    int32_t line_left(const Line& line) const;
    size_t pos_at(const TPoint& p) const;
    size_t next_char(size_t pos) const;
    size_t prev_char(size_t pos) const;
    void move_to(size_t pos, bool extend);
    void replace_selection(std::string sjis);
    void scroll_to_caret();
    int32_t visible_lines() const;

    bool multi_line_;
    std::string text_;
    std::string preedit_;
    size_t caret_ = 0, anchor_ = 0;
    std::vector<Line> lines_;
    int32_t top_line_ = 0;
    int32_t scroll_x_ = 0;  // pixels the one-line text is shifted left
    bool shift_ = false, ctrl_ = false, dragging_ = false;
};
