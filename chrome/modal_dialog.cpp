#include "chrome/modal_dialog.h"
#include "files/vocab.h"

#include <exception>

using namespace chrome_colour;

namespace {
constexpr uint32_t kTitleColour = 0x0A246A;
constexpr uint32_t kTitleText = 0xFFFFFF;

TRect inset(const TRect& r, int32_t d) { return TRect{r.Left + d, r.Top + d, r.Right - d, r.Bottom - d}; }
}  // namespace

TModalDialog::TModalDialog(int32_t client_width, int32_t client_height, std::string sjis_caption, bool framed)
    : Form(client_width + (framed ? 2 * kFrameBorder : 0),
           client_height + (framed ? 2 * kFrameBorder + kTitleHeight : 0)),
      caption_(std::move(sjis_caption)),
      framed_(framed) {}

TPoint TModalDialog::ClientOrigin() const {
    return framed_ ? TPoint{kFrameBorder, kFrameBorder + kTitleHeight} : TPoint{0, 0};
}

void TModalDialog::PaintBackground(ChromeCanvas& canvas) {
    if (framed_) {
        const TRect whole{0, 0, Width(), Height()};
        canvas.Edges(whole, Light, DarkShadow);
        canvas.Edges(inset(whole, 1), Highlight, Shadow);
        const TRect t{kFrameBorder, kFrameBorder, Width() - kFrameBorder, kFrameBorder + kTitleHeight};
        canvas.Fill(t, kTitleColour);
        const ChromeFont bold{Font.Name, Font.Size, fsBold};
        canvas.DrawText(t.Left + 4, t.Top + (t.Height() - ChromeCanvas::TextHeight(bold)) / 2, caption_, bold,
                        kTitleText, TRect{t.Left + 2, t.Top, t.Right - 2, t.Bottom});
    }
    PaintClient(canvas);
}

void TModalDialog::Open(Video& window, int32_t x, int32_t y) {
    window_ = &window;
    origin_ = {x, y};
    // What the dialog covers, clipped to the client area.
    covered_.Take(window);
    cursor_was_visible_ = window.CursorVisible();
    cursor_was_ = window.CurrentCursor();
    window.SetCursor(0);
    window.ShowCursor(true);
    Show(window, x, y, true);
}

void TModalDialog::Dispatch(const InputEvent& e) {
    InputEvent local = e;
    local.X -= origin_.X;
    local.Y -= origin_.Y;
    switch (e.Kind) {
    case InputEventKind::CloseRequest: CloseRequested(); return;
    case InputEventKind::Activate:
    case InputEventKind::DisplayChange: kept_.push_back(e); return;
    case InputEventKind::Deactivate:
    case InputEventKind::KeyUp:
    case InputEventKind::MouseUp:
        // A key or button held when the dialog opened is let go for the game too.
        kept_.push_back(e);
        HandleEvent(local);
        return;
    case InputEventKind::KeyDown:
        if (DialogKey(e.VirtualKey)) return;
        HandleEvent(local);
        return;
    case InputEventKind::Text: return;
    default: HandleEvent(local); return;
    }
}

void TModalDialog::Refresh() {
    if (window_) Show(*window_, origin_.X, origin_.Y);
}

void TModalDialog::Close() {
    if (!window_) return;
    Video& window = *window_;
    window_ = nullptr;
    covered_.Restore(window, Bounds(origin_.X, origin_.Y, Width(), Height()));
    window.Present();
    window.SetCursor(cursor_was_);
    window.ShowCursor(cursor_was_visible_);
    for (const InputEvent& e : kept_) window.InjectEvent(e);
    kept_.clear();
    covered_.Clear();
}

void RunModalDialog(Video& window, TModalDialog& dialog, int32_t x, int32_t y) {
    dialog.Open(window, x, y);
    while (!dialog.Finished()) {
        InputEvent e;
        if (window.WaitEvent(e, 50)) {
            dialog.Dispatch(e);
        } else if (window.IsHeadless()) {
            // Nothing more can ever arrive.
            InputEvent close;
            close.Kind = InputEventKind::CloseRequest;
            dialog.Dispatch(close);
        }
        dialog.Refresh();
    }
    dialog.Close();
}

std::unique_ptr<TModalDialog> ShowModalDialog(const TModalDialogMaker& make) {
    if (Video* owner = ActiveVideo(); owner && owner->Visible()) {
        std::unique_ptr<TModalDialog> dialog = make(true);
        const int32_t w = owner->ClientWidth(), h = owner->ClientHeight();
        if (dialog->Width() <= w && dialog->Height() <= h) {
            RunModalDialog(*owner, *dialog, (w - dialog->Width()) / 2, (h - dialog->Height()) / 2);
            return dialog;
        }
    }
    std::unique_ptr<TModalDialog> dialog = make(false);
    std::unique_ptr<Video> own;
    try {
        own = Video::Create(VideoBackend::Sdl);
        own->CreateWindow(dialog->Width(), dialog->Height(), dialog->CaptionText());
    } catch (const std::exception&) {
        return nullptr;
    }
    own->Centre();
    own->Show(true);
    RunModalDialog(*own, *dialog, 0, 0);
    return dialog;
}
