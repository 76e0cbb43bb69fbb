// The game window and its presentation: one window with a client area of
// 32-bit XRGB pixels (0x00RRGGBB), display modes and full screen, the
// cursor, and the input events of the window translated into our own small
// event record. The SDL2 backend shows a real window; the headless backend
// keeps the client image in memory so that tests can read what was
// presented and inject events. Callers never need to know which one runs.
#pragma once
#include "platform/rect.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct SDL_Window;

enum class VideoBackend { Auto, Sdl, Headless };

// One full-screen display mode as the screen manager lists them.
struct DisplayMode {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t BitsPerPixel = 0;  // 32 for 4-byte pixel formats, 15 for 5-5-5
    uint32_t RefreshRate = 0;   // Hz, 0 when unknown
    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

enum class InputEventKind : uint8_t {
    KeyDown,        // VirtualKey, Repeat
    KeyUp,          // VirtualKey
    Text,           // Text (Shift-JIS)
    MouseMove,      // X, Y
    MouseDown,      // Button, X, Y
    MouseUp,        // Button, X, Y
    MouseWheel,     // WheelDelta, X, Y
    Activate,       // the window got the input focus
    Deactivate,     // the window lost the input focus
    CloseRequest,   // the user asked to close the window
    DisplayChange,  // the desktop's display mode or layout changed
    Paint,          // the window system asks for the client area again (uncovered, restored)
    Composition,    // Text: the input method's unfinished text (Shift-JIS), empty when it ends
    Hidden,         // the window in full screen was minimised or unmapped: its monitor shows the desktop's mode
    Shown,          // and is shown again: full screen takes the monitor again
};

enum class MouseButton : uint8_t { Left, Right, Middle };

struct InputEvent {
    InputEventKind Kind = InputEventKind::MouseMove;
    int32_t VirtualKey = 0;   // the key codes scripts use (platform/display/keys.h), below 256
    bool Repeat = false;      // an auto-repeated key down
    std::string Text;         // typed text, Shift-JIS
    int32_t X = 0;            // mouse position in client coordinates (zoom undone)
    int32_t Y = 0;
    MouseButton Button = MouseButton::Left;
    int32_t WheelDelta = 0;   // notches; positive away from the user (wheel up)
};

// True when a real display can be used: not forced headless, SDL's video
// driver is not "dummy" or "offscreen", and an X11 or Wayland display is
// named. Message boxes ask this before they try to show anything.
bool DisplayAvailable();
// Forces every later choice to the headless backend (tests, batch runs).
void ForceHeadless(bool on);
class Video;
// The SDL window made last of those still standing, or null; message boxes
// are shown over it.
SDL_Window* ActiveSdlWindow();
Video* ActiveVideo();

class Video {
public:
    // Auto picks SDL unless the display is unavailable or SDL's video cannot
    // start. Raises Exception when SDL is asked for explicitly and fails.
    static std::unique_ptr<Video> Create(VideoBackend backend = VideoBackend::Auto);
    virtual ~Video();
    virtual bool IsHeadless() const = 0;

    // --- the window ---------------------------------------------------------
    // Makes the window (hidden) with a client area of the given size and a
    // black client image. Raises Exception when the window cannot be made.
    virtual void CreateWindow(int32_t client_width, int32_t client_height, const std::string& sjis_title) = 0;
    virtual void SetTitle(const std::string& sjis_title) = 0;
    // Resizes the client area; the client image is cleared to black.
    void SetClientSize(int32_t width, int32_t height);
    int32_t ClientWidth() const { return client_width_; }
    int32_t ClientHeight() const { return client_height_; }
    virtual void Show(bool visible) = 0;
    bool Visible() const { return visible_; }
    // The window's outer top-left corner on the desktop. A place outside
    // every monitor puts the window on one instead, where the user can
    // reach it.
    virtual void Move(int32_t x, int32_t y) = 0;
    virtual TPoint Position() const = 0;
    // The window's real size in pixels on the desktop (client area times
    // zoom in a window; the screen in full screen).
    virtual TPoint WindowSize() const = 0;
    // Outer size including the frame the desktop draws around it.
    virtual TPoint OuterSize() const { return WindowSize(); }
    // The desktop minus its panels.
    virtual TRect WorkArea() const = 0;
    // Centres the outer window on the work area, halves truncated toward zero;
    // a window larger than the area goes to the area's top or left edge.
    void Centre();
    // The icon the desktop shows for the window, from 32-bit ARGB pixels
    // (alpha 0 = transparent). Bad sizes or no pixels leave it as it was.
    void SetIcon(const uint32_t* argb, int32_t width, int32_t height);
    TPoint IconSize() const { return {icon_width_, icon_height_}; }
    const std::vector<uint32_t>& IconPixels() const { return icon_; }

    // --- display modes and full screen ---------------------------------------
    // Modes of the display the window is on, from the smallest up (width,
    // then height, depth and refresh rate).
    virtual std::vector<DisplayMode> DisplayModes() const = 0;
    virtual DisplayMode DesktopMode() const = 0;
    // Full screen on the monitor the window is on, the client image (the
    // picture) scaled to fit and centred; null returns to the window.
    // A backend that sets modes itself shows mode's size on this monitor
    // when it holds the picture (the rate as asked, else its lowest), else
    // the monitor's smallest mode that holds the picture; when it can set
    // none (no such mode, the server refuses, another player switched the
    // monitor), the window covers the monitor at the mode it has. While in
    // full screen it follows the desktop: minimised, the monitor shows its
    // own mode again (Hidden), shown again, it is switched again (Shown);
    // when monitors change, the window covers its monitor where it lies
    // now; a CRTC of it that another program has changed (its mode set,
    // turned off, moved away) stays as they set it until full screen ends,
    // while the monitor's other CRTCs keep the mode full screen gave them
    // (under a window manager, which lays the window over one clone only,
    // the size the changed ones show, else their own mode), and a monitor
    // cloned onto it meanwhile, or that left it and comes back as a clone,
    // is switched with it. The monitor is the window's own: only clones (at
    // one origin) count as one; the window covers every one of them, and
    // the picture goes on the area all of them show, black around it.
    // Returns true when full screen (or the window) is reached; false
    // only when the backend refuses the mode (the headless one, for a mode
    // it does not list, or the desktop's own full screen fails), and then
    // stays as it was.
    virtual bool SetFullScreen(const DisplayMode* mode) = 0;
    bool IsFullScreen() const { return full_screen_; }
    // The bounds of the monitor the window is on, on the desktop (the one
    // it covers in full screen).
    virtual TRect MonitorBounds() const = 0;
    // True when the pointer really lies on the top row of the monitor in
    // full screen (of the window otherwise), whatever the events said last.
    virtual bool PointerAtTopEdge() const { return pointer_.Y <= 0; }
    // The mode the monitor really shows while in full screen.
    const DisplayMode& FullScreenMode() const { return full_screen_mode_; }

    // --- presentation ----------------------------------------------------------
    // Window shows the client area at percent / 100 of its size: multiples of
    // 100 scale by whole pixels, other values stretch smoothly.
    virtual void SetZoom(int32_t percent);
    int32_t Zoom() const { return zoom_; }
    // Copies rectangles of a frame (pitch in pixels) into the client image
    // with the frame's top-left corner at (dest_x, dest_y). Rectangles are in
    // frame coordinates and are clipped to the frame and the client area;
    // null rects means the whole frame.
    void Update(const uint32_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t dest_x, int32_t dest_y,
                const TRect* rects = nullptr, size_t count = 0);
    // Shows the client image as updated so far.
    void Present();
    // The client image (ClientWidth() pixels a row) and how often it was
    // presented.
    const uint32_t* ReadPixels() const { return image_.data(); }
    uint32_t PresentCount() const { return present_count_; }

    // --- cursor -------------------------------------------------------------
    virtual void ShowCursor(bool visible) = 0;
    // A colour cursor from 32-bit ARGB pixels (alpha 0 = transparent), as a
    // handle above 0, or 0 when it cannot be made.
    virtual int32_t CreateCursor(const uint32_t* argb, int32_t width, int32_t height, int32_t hot_x, int32_t hot_y) = 0;
    // 0 selects the default arrow; unknown handles are ignored.
    virtual void SetCursor(int32_t handle) = 0;
    virtual void DestroyCursor(int32_t handle) = 0;
    int32_t CurrentCursor() const { return current_cursor_; }
    bool CursorVisible() const { return cursor_visible_; }
    // Where the pointer was last seen, in client coordinates (zoom undone),
    // from the mouse events handed out and from WarpPointer.
    TPoint PointerPosition() const { return pointer_; }
    // Moves the pointer to a point of the client area. The window then gets
    // the move as a MouseMove event, as if the user had made it.
    void WarpPointer(int32_t x, int32_t y);

    // --- events ---------------------------------------------------------------
    // Takes the next event without waiting; injected events come first.
    bool PollEvent(InputEvent& event);
    // As PollEvent, waiting up to timeout_ms for one to arrive (the headless
    // backend has nothing to wait for and returns at once).
    bool WaitEvent(InputEvent& event, uint32_t timeout_ms);
    // Queues an event as if the window had received it.
    void InjectEvent(const InputEvent& event) { injected_.push_back(event); }

    // --- text input -----------------------------------------------------------
    // Typed text and the input method (Text and Composition events) are on
    // only while a text field has the keyboard, so that the input method
    // does not take the game's keys; its candidate window goes beside caret
    // (client coordinates, zoom undone). Repeating the state asks nothing
    // of the backend.
    void SetTextInput(bool on, const TRect& caret = {});
    bool TextInputOn() const { return text_input_ == 1; }
    TRect TextInputCaret() const { return text_caret_; }

protected:
    Video() = default;
    // Backend parts of the operations above.
    virtual void ResizeClient() = 0;
    virtual void UploadRect(const TRect& client_rect) = 0;
    virtual void ShowImage() = 0;
    // Hands the icon (icon_) to the desktop; headless backends only keep it.
    virtual void ApplyIcon() {}
    virtual bool FetchEvent(InputEvent& event, uint32_t timeout_ms) = 0;
    // Moves the real pointer; by default the move is only queued as an
    // event (headless backends have no pointer).
    virtual void MovePointer(int32_t x, int32_t y);
    // Hands text_input_ and text_caret_ to the desktop.
    virtual void ApplyTextInput() {}

    int32_t client_width_ = 0;
    int32_t client_height_ = 0;
    int32_t zoom_ = 100;
    bool visible_ = false;
    bool full_screen_ = false;
    bool cursor_visible_ = true;
    int32_t current_cursor_ = 0;
    TPoint pointer_;
    DisplayMode full_screen_mode_;
    std::vector<uint32_t> image_;  // the client image, client_width_ pixels a row
    uint32_t present_count_ = 0;
    std::vector<uint32_t> icon_;  // ARGB, icon_width_ pixels a row
    int32_t icon_width_ = 0;
    int32_t icon_height_ = 0;
    int8_t text_input_ = -1;  // unknown until first set
    TRect text_caret_{};

private:
    std::deque<InputEvent> injected_;
};
