// What the player needs of an X server beyond SDL when it takes a monitor
// for full screen: the monitors' RandR layout, saved before the first mode
// switch and put back when a switch fails or full screen ends, X errors
// caught instead of ending the program, and the window covering its
// monitor when no window manager does that.
#pragma once
#include "platform/rect.h"

#include <cstdint>
#include <functional>
#include <vector>

struct _XDisplay;
struct SDL_Window;

// The X server and the X window behind an SDL window; null display when
// the window is not on X.
struct X11Window {
    _XDisplay* Display = nullptr;
    unsigned long Window = 0;
};
X11Window X11WindowOf(SDL_Window* window);

// Runs fn with the X errors of display noted instead of handed to the
// error handler in place (Xlib's default one ends the program): true when
// none arrived. Requests fn leaves unsent are flushed first.
bool WithXErrorsCaught(_XDisplay* display, const std::function<void()>& fn);

// The screen's size and every CRTC's mode, place, rotation and outputs.
class TScreenLayout {
public:
    // Reads the layout; false (nothing saved) when the server has no RandR.
    bool Save(_XDisplay* display);
    bool Saved() const { return display_ != nullptr; }
    // True when the server's layout is the saved one (or none is saved).
    bool Unchanged() const;
    // Sets every CRTC that moved or changed mode back, and the screen's
    // size: true when the server then shows the saved layout.
    bool Restore();
    void Forget() { display_ = nullptr; }

private:
    struct Crtc {
        unsigned long Id = 0, Mode = 0;
        int32_t X = 0, Y = 0;
        uint16_t Rotation = 1;
        std::vector<unsigned long> Outputs;
        friend bool operator==(const Crtc&, const Crtc&) = default;
    };
    struct Layout {
        int32_t Width = 0, Height = 0;
        std::vector<Crtc> Crtcs;
        friend bool operator==(const Layout&, const Layout&) = default;
    };
    bool read(Layout& out) const;

    _XDisplay* display_ = nullptr;
    Layout saved_;
    TPoint saved_mm_;  // the screen's size in millimetres
};

// Where the pointer is on the screen, asked of the X server; false when
// it is on another screen.
bool PointerOnScreen(const X11Window& window, TPoint& where);
// True when a window manager runs on the display's screen (it names its
// check window on the root window).
bool WindowManagerRuns(_XDisplay* display);
// Places the top-level window over the rectangle (in root coordinates)
// and raises it: without a window manager nothing else makes a full-screen
// window cover its monitor.
void CoverArea(_XDisplay* display, unsigned long window, const TRect& area);
