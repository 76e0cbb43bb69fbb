// Our drawn window chrome: a Form is a rectangle of a window holding
// widgets. It routes the window's input to them (the pointer to the widget
// under it, a press captures the pointer until release; keys to the
// focused widget) and gives dialogs their keyboard: Tab and Shift+Tab move
// the focus in tab order, Enter presses the focused button or else the
// default one, Escape the cancel button, and Alt with a letter the widget
// whose caption marks it ("&S"). It paints into its own canvas and shows
// that in the window when something changed.
#pragma once
#include "chrome/canvas.h"
#include "platform/display/video.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class Form;

class Widget {
public:
    Widget(Form& form, const TRect& bounds, const std::string& sjis_caption = {});
    virtual ~Widget() = default;
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    Form& Owner() const { return form_; }
    const TRect& Bounds() const { return bounds_; }
    void SetBounds(const TRect& r);
    const Caption& GetCaption() const { return caption_; }
    void SetCaption(const std::string& sjis_caption);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    bool Visible() const { return visible_; }
    void SetVisible(bool on);
    bool Focused() const;
    // Enabled, visible and taking part in the tab order.
    bool CanFocus() const { return TabStop && enabled_ && visible_; }
    void Invalidate();

    bool TabStop = false;
    int32_t TabOrder = 0;

    virtual void Paint(ChromeCanvas& canvas) = 0;
    // Pointer positions are in form coordinates. A press captures the
    // pointer: moves and the release go to the pressed widget.
    virtual void MouseDown(const TPoint&) {}
    virtual void MouseMove(const TPoint&) {}
    virtual void MouseUp(const TPoint&) {}
    // Wheel notches over the widget; positive away from the user.
    virtual void MouseWheel(int32_t /*notches*/) {}
    // The pointer came over the widget or left it.
    virtual void HoverChanged() {}
    virtual void KeyDown(int32_t /*vk*/) {}
    virtual void KeyUp(int32_t /*vk*/) {}
    // Alt with the caption's access key.
    virtual void AccessKeyPressed() {}
    // The focus came or went.
    virtual void FocusChanged() {}
    // Text fields take Return, Escape and Tab themselves instead of the
    // dialog keys, and typed text and the input method's unfinished text.
    virtual bool TakesAllKeys() const { return false; }
    virtual void TextInput(const std::string& /*sjis*/) {}
    virtual void Composition(const std::string& /*sjis*/) {}
    bool Hovered() const;

private:
    Form& form_;
    TRect bounds_;
    Caption caption_;
    bool enabled_ = true;
    bool visible_ = true;
};

class Button;

class Form {
public:
    Form(int32_t width, int32_t height);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    template <class W, class... Args>
    W& Add(Args&&... args) {
        auto w = std::make_unique<W>(*this, std::forward<Args>(args)...);
        W& ref = *w;
        widgets_.push_back(std::move(w));
        Invalidate();
        return ref;
    }
    const std::vector<std::unique_ptr<Widget>>& Widgets() const { return widgets_; }

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    void SetSize(int32_t width, int32_t height);
    uint32_t Color = chrome_colour::Face;
    ChromeFont Font = DefaultChromeFont();

    // An input event in form coordinates; true when the form used it.
    bool HandleEvent(const InputEvent& e);

    Widget* Focus() const { return focus_; }
    // Null clears the focus; a widget that cannot take it is ignored.
    void SetFocus(Widget* w);
    // The next (or previous) focusable widget in tab order, wrapping round.
    void SelectNext(bool backward);
    // The focusable widget of lowest tab order gets the focus.
    void FocusFirst();
    Widget* Hover() const { return hover_; }
    Widget* Captured() const { return captured_; }
    // Called by widgets that are disabled or hidden.
    void Forget(Widget* w);

    Button* DefaultButton = nullptr;
    Button* CancelButton = nullptr;

    void Invalidate() { dirty_ = true; }
    bool NeedsPaint() const { return dirty_; }
    // Paints every visible widget onto the background.
    void Paint();
    const ChromeCanvas& Canvas() const { return canvas_; }
    // Paints when something changed (or always with force), copies the form
    // into the window's client area at (x, y) and presents it. False when
    // nothing needed showing.
    bool Show(Video& window, int32_t x, int32_t y, bool force = false);
    // Copies the form (painted first when something changed) into the
    // window's client image at (x, y) without presenting: for drawing over
    // a picture that is about to be presented.
    void Blit(Video& window, int32_t x, int32_t y);

protected:
    // The form's own drawing below the widgets (after the background fill).
    virtual void PaintBackground(ChromeCanvas&) {}

private:
    Widget* widget_at(const TPoint& p) const;
    void set_hover(Widget* w);
    bool key_down(int32_t vk);

    int32_t width_;
    int32_t height_;
    std::vector<std::unique_ptr<Widget>> widgets_;
    Widget* focus_ = nullptr;
    Widget* hover_ = nullptr;
    Widget* captured_ = nullptr;
    bool shift_ = false;
    bool alt_ = false;
    bool dirty_ = true;
    ChromeCanvas canvas_;
};
