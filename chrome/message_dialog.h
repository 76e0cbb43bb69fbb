// Message boxes drawn by our chrome, standing modally over the game window
// (chrome/modal_dialog.h) or in a small window of their own.
//
// Keys: Enter presses the focused button, Escape gives the box's cancel
// answer, Tab / Shift+Tab and the arrow keys move between the buttons,
// Space presses the focused one; Y and N answer a Yes/No box. Closing the
// window gives the cancel answer.
#pragma once
#include "chrome/modal_dialog.h"
#include "platform/display/message_box.h"

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

class TMessageDialog : public TModalDialog {
public:
    // framed: drawn with its own border and title bar over another window.
    TMessageDialog(const std::string& sjis_text, const std::string& sjis_caption, MessageBoxKind kind,
                   MessageBoxIcon icon, bool framed);

    const MessageDialogLayout& Layout() const { return layout_; }
    Button& ButtonAt(size_t i) const { return *buttons_.at(i); }
    size_t ButtonCount() const { return buttons_.size(); }
    // 0 while no answer was given.
    int Answer() const { return answer_; }
    bool Finished() const override { return answer_ != 0; }

protected:
    void PaintClient(ChromeCanvas& canvas) override;
    void CloseRequested() override;
    bool DialogKey(int32_t vk) override;

private:
    void answer(int code);

    MessageDialogLayout layout_;
    MessageBoxIcon icon_;
    MessageBoxKind kind_;
    std::vector<Button*> buttons_;
    int answer_ = 0;
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
