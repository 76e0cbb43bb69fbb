// Message boxes drawn by our chrome. A box stands modally over the game
// window: it is painted into the window's client image, takes the window's
// input until answered, and puts back the picture it covered. While it is
// open the frame loop waits (time spent in it is no game time), but the
// window keeps showing and repainting. When no game window is up (or the
// box does not fit in it), the box gets a small window of its own.
//
// Keys: Enter presses the focused button, Escape gives the box's cancel
// answer, Tab / Shift+Tab and the arrow keys move between the buttons,
// Space presses the focused one; Y and N answer a Yes/No box. Closing the
// window gives the cancel answer.
#pragma once
#include "chrome/widgets.h"
#include "platform/message_box.h"

#include <string>
#include <vector>

// Where everything of a box lies, in the box's own coordinates.
struct MessageDialogLayout {
    int32_t Width = 0;
    int32_t Height = 0;
    TRect TitleBar;  // empty for a box in its own window, whose frame shows the caption
    TRect Icon;      // empty without an icon
    TRect Text;      // the lines, one LineHeight apart
    int32_t LineHeight = 0;
    std::vector<std::string> Lines;  // Shift-JIS, wrapped
    std::vector<TRect> Buttons;      // left to right
};

// Lines longer than this are wrapped.
constexpr int32_t kMessageTextWidth = 420;
// A longer text is cut, its last line ending in "…".
constexpr size_t kMessageMaxLines = 24;

// Breaks the text at its line ends (CR LF, LF or CR) and wraps each line to
// max_width pixels in the font, after the last blank that fits or else
// between characters; a double-byte character is never split.
std::vector<std::string> WrapMessageText(const std::string& sjis_text, const ChromeFont& font, int32_t max_width);

MessageDialogLayout LayoutMessageDialog(const std::string& sjis_text, const std::string& sjis_caption,
                                        MessageBoxKind kind, MessageBoxIcon icon, bool framed,
                                        const ChromeFont& font = DefaultChromeFont());

// The captions of a kind's buttons, left to right, and their answers.
std::vector<std::string> MessageButtonCaptions(MessageBoxKind kind);
std::vector<int> MessageButtonAnswers(MessageBoxKind kind);

class TMessageDialog : public Form {
public:
    // framed: drawn with its own border and title bar over another window.
    TMessageDialog(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                   MessageBoxIcon icon, bool framed);

    const MessageDialogLayout& Layout() const { return layout_; }
    Button& ButtonAt(size_t i) const { return *buttons_.at(i); }
    size_t ButtonCount() const { return buttons_.size(); }
    // 0 while no answer was given.
    int Answer() const { return answer_; }

    // Shows the box at (x, y) of the window's client area, keeping what it
    // covers. While a box is open the pointer is shown in the default arrow.
    void Open(Video& window, int32_t x, int32_t y);
    // One event of the window (client coordinates). Releases and focus
    // changes the game must still see are kept for it.
    void Dispatch(const InputEvent& e);
    // Shows what changed since the last call.
    void Refresh();
    // Puts back what the box covered and hands the kept events to the window.
    void Close();

protected:
    void PaintBackground(ChromeCanvas& canvas) override;

private:
    void answer(int code);
    void move_focus(bool backward);

    MessageDialogLayout layout_;
    std::string caption_;
    MessageBoxIcon icon_;
    MessageBoxKind kind_;
    bool framed_;
    std::vector<Button*> buttons_;
    int answer_ = 0;

    Video* window_ = nullptr;
    TPoint origin_;
    std::vector<uint32_t> covered_;
    int32_t covered_width_ = 0, covered_height_ = 0;
    bool cursor_was_visible_ = true;
    int32_t cursor_was_ = 0;
    std::vector<InputEvent> kept_;
};

// Runs the box over the window until it is answered; a window that can get
// no more events (headless, nothing injected) gives the cancel answer.
int RunMessageDialog(Video& window, TMessageDialog& dialog, int32_t x, int32_t y);

// Shows the box over the active game window, or in a window of its own;
// 0 when there is no display to show it on.
int ShowMessageDialog(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                      MessageBoxIcon icon);

// Makes ShowMessageBox use the drawn dialog.
void InstallMessageDialog();
