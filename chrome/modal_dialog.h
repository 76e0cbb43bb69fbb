// A dialog drawn by our chrome that stands modally over a window: it is
// painted into the window's client image, takes the window's input until
// answered, and puts back the picture it covered. While it is open the
// frame loop waits (time spent in it is no game time), but the window
// keeps showing and repainting. Over another window it is drawn with a
// raised frame and a title bar of its own; when no game window is up (or
// the dialog does not fit in it), it gets a small window of its own, whose
// frame shows the caption.
#pragma once
#include "chrome/covered_picture.h"
#include "chrome/widgets.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TModalDialog : public Form {
public:
    static constexpr int32_t kFrameBorder = 3;
    static constexpr int32_t kTitleHeight = 18;

    // client_width x client_height: the dialog's own area, inside the frame
    // and title bar when framed.
    TModalDialog(int32_t client_width, int32_t client_height, std::string sjis_caption, bool framed);

    bool Framed() const { return framed_; }
    const std::string& CaptionText() const { return caption_; }
    // Where the dialog's own area starts in the form.
    TPoint ClientOrigin() const;
    // An answer was given.
    virtual bool Finished() const = 0;

    // Shows the dialog at (x, y) of the window's client area, keeping what
    // it covers. While it is open the pointer is shown in the default arrow.
    void Open(Video& window, int32_t x, int32_t y);
    // One event of the window (client coordinates). Releases and focus
    // changes the game must still see are kept for it.
    void Dispatch(const InputEvent& e);
    // Shows what changed since the last call.
    void Refresh();
    // Puts back what the dialog covered and hands the kept events to the window.
    void Close();

protected:
    // The frame and title bar when framed, then PaintClient.
    void PaintBackground(ChromeCanvas& canvas) override;
    virtual void PaintClient(ChromeCanvas&) {}
    // The window's close box (or a window that can get no more events).
    virtual void CloseRequested() = 0;
    // A key the dialog takes before the form's own handling; true when taken.
    virtual bool DialogKey(int32_t /*vk*/) { return false; }

private:
    std::string caption_;
    bool framed_;
    Video* window_ = nullptr;
    TPoint origin_;
    TCoveredPicture covered_;
    bool cursor_was_visible_ = true;
    int32_t cursor_was_ = 0;
    std::vector<InputEvent> kept_;
};

// Runs the dialog over the window until it has its answer; a window that
// can get no more events (headless, nothing injected) asks it to close.
void RunModalDialog(Video& window, TModalDialog& dialog, int32_t x, int32_t y);

// Makes the dialog (framed, to stand over the active game window, or not,
// for a window of its own titled with its caption) and runs it. Null when
// there is no display to show it on.
using TModalDialogMaker = std::function<std::unique_ptr<TModalDialog>(bool framed)>;
std::unique_ptr<TModalDialog> ShowModalDialog(const TModalDialogMaker& make);
