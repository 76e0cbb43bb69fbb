// The panel of the main window in which the game picture is shown. Besides
// the frames the screen manager presents, the last picture must come back
// whenever the window system asks the panel to repaint (uncovering,
// restoring from the taskbar).
//
// The panel is also the parent of the text fields of edit and memo objects:
// they are drawn over the composed picture and see the window's input
// before the object registry does.
#pragma once
#include "media/base/screen_manager.h"
#include "platform/rect.h"

#include <cstdint>
#include <vector>

class Form;
class Video;
class TCustomDIBX;
struct InputEvent;

// A text field lying on the panel, in game-picture pixels.
class TPanelControl {
public:
    virtual ~TPanelControl() = default;
    // Where it lies on the picture; empty while it is not shown.
    virtual TRect PanelRect() const = 0;
    // Its widgets, sized as PanelRect, in its own coordinates.
    virtual Form& PanelForm() = 0;
    // It takes the keys now (it holds the scene's keyboard focus).
    virtual bool HasKeyboard() const = 0;
    // A press of the left button inside it, before its widgets see the press.
    virtual void Pressed() = 0;
    // Its caret, in its own coordinates.
    virtual TRect CaretRect() const = 0;
};

class TBasePanel : public TScreenOverlay {
public:
    // Text input starts off: the input method must not take the game's keys
    // before any field has the keyboard.
    explicit TBasePanel(Video& view);
    ~TBasePanel() override;
    Video& View() const { return view_; }
    uint8_t Flag = 0;

    // Where the panel lies in the window's client area: below the
    // toolbar's dock in a window, the whole area in full screen. Empty (at
    // first): the whole client area.
    void SetBounds(const TRect& bounds) { bounds_ = bounds; }
    TRect Bounds() const { return bounds_; }

    // Repaint: the main registry's screen surface stretched over the
    // panel (nearest pixel) and presented; the rest of the window is left
    // as it is. Nothing while there is no registry or no screen surface.
    void Paint();

    // Controls are not owned; the panel draws over every presented frame
    // while it holds any.
    void AddControl(TPanelControl* control);
    void RemoveControl(TPanelControl* control);
    const std::vector<TPanelControl*>& Controls() const { return controls_; }
    // An input event of the window, the picture's top-left corner lying at
    // view_origin of the client area. True when a control used it: a press
    // inside a shown control (the later one on top), what a pressed control
    // captured, and keys, text and the input method's text while a control
    // has the keyboard; such input is not the game's.
    bool HandleEvent(const InputEvent& e, TPoint view_origin);
    // Text input on while a control has the keyboard, the candidate window
    // at its caret; off otherwise.
    void UpdateTextInput(TPoint view_origin);
    // Draws the shown controls over the picture (clipped to the picture of
    // picture_size) into the client image.
    void DrawControls(TPoint view_origin, TPoint picture_size);
    void DrawOverlay(Video& window, TPoint view_origin) override;

private:
    TPanelControl* keyboard_control() const;
    Video& view_;
    TRect bounds_{};
    std::vector<uint32_t> frame_;
    std::vector<TPanelControl*> controls_;
    TPanelControl* captured_ = nullptr;
    bool overlay_ = false;
};

// The surface stretched (nearest pixel) to width × height 0x00RRGGBB pixels.
void StretchToRgb(TCustomDIBX& surface, int32_t width, int32_t height, std::vector<uint32_t>& out);
