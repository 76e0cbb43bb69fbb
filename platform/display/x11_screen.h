// What the player needs of an X server beyond SDL when it takes a monitor
// for full screen: the monitors as RandR shows them, the mode of one
// monitor switched at its place and put back, the window's place as the
// server has it, the window covering its monitor, and X errors written out
// instead of ending the program.
#pragma once
#include "platform/display/video.h"
#include "platform/rect.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct _XDisplay;
struct SDL_Window;
union SDL_Event;

// The X server and the X window behind an SDL window; null display when
// the window is not on X.
struct X11Window {
    _XDisplay* Display = nullptr;
    unsigned long Window = 0;
};
X11Window X11WindowOf(SDL_Window* window);
// The name the display was opened with, for another process to open it.
std::string DisplayName(_XDisplay* display);

// Runs fn with the X errors of display noted instead of handed to the
// error handler in place: true when none arrived. Requests fn leaves
// unsent are flushed first.
bool WithXErrorsCaught(_XDisplay* display, const std::function<void()>& fn);
// From now on an X error outside WithXErrorsCaught is written to stderr
// and play goes on (Xlib's own handler would end the program), and a lost
// connection to the server ends the program at once (EndAtOnce), after
// saying so: what the server still shows of the player is then put back
// by the monitors' watcher.
void ReportXErrors();
// An error on a window gone waits for this, called between SDL's calls
// with one of the player's windows: once the errors of every request sent
// by then are in, the notices sent before them (handed on by SDL, or
// still waiting in Xlib's queue) tell whether the window gone was a
// window manager's frame of a player's window (NoteWindowFrame), whose
// going is part of play and is not written out.
void SayHeldXErrors(const X11Window& window);
// The player's window is about to go: what is held is decided while its
// frames are known, and they are forgotten.
void ForgetWindowFrames(const X11Window& window);

// One mode a monitor offers: RandR's id and the mode as the monitor shows
// it (a monitor turned a quarter has width and height swapped).
struct TMonitorMode {
    unsigned long Id = 0;
    DisplayMode Mode;
};

// One CRTC that shows a mode.
struct TCrtcState {
    unsigned long Crtc = 0;
    unsigned long Mode = 0;  // the mode it shows
    std::vector<unsigned long> Outputs;
    std::vector<TMonitorMode> Modes;  // what every one of its outputs offers
};
// One monitor: the CRTCs that show one picture (JoinMirrors).
struct TMonitor {
    TRect Bounds;  // its place on the screen
    TRect Whole;   // the area one or another of its CRTCs shows: Bounds and beyond
    std::vector<TCrtcState> Crtcs;
    // The sizes every CRTC of it can show, at the rates of the first.
    std::vector<DisplayMode> Modes;
    DisplayMode Shown;  // the size of Bounds, at the rate its first CRTC shows
    bool Primary = false;
    bool Holds(unsigned long crtc) const;
};
// One CRTC as the server shows it, with its place on the screen.
struct TShownCrtc {
    TCrtcState State;
    bool Primary = false;  // it drives the primary output
    TRect Area;
};
// The monitors the CRTCs make, in the order of their first CRTCs. CRTCs
// at one origin (clones at any size: a laptop cloned to a projector) are
// one monitor: it lies where all of them show (the area a picture is whole
// on each), reaches as far as the largest of them shows, offers the sizes
// all of them can show, and shows that area at the first one's rate. CRTCs that only touch or overlap in part are
// monitors of their own. bits: the screen's depth.
std::vector<TMonitor> JoinMirrors(const std::vector<TShownCrtc>& crtcs, uint32_t bits);
// The monitors in RandR's order; false when the server has no RandR 1.2.
// switchable (when given) tells whether their modes can really be set:
// not under XWayland, whose RandR only pretends.
bool ReadMonitors(_XDisplay* display, std::vector<TMonitor>& out, bool* switchable = nullptr);
std::vector<TRect> MonitorAreas(const std::vector<TMonitor>& monitors);
// RandR's notices of every change of the monitors (screen, CRTC and
// output), on an X connection of the player's own: SDL hands on only the
// output notices of its connection.
class MonitorNotices {
public:
    // Hears nothing when the display cannot be opened or has no RandR.
    explicit MonitorNotices(const std::string& display_name);
    ~MonitorNotices();
    MonitorNotices(const MonitorNotices&) = delete;
    MonitorNotices& operator=(const MonitorNotices&) = delete;
    // Reads what has come, without waiting: true when a notice was among it.
    bool Take();

private:
    _XDisplay* display_ = nullptr;
    int first_event_ = -1;
};

// The window's client area in root coordinates as the server has it now:
// the window manager's notice of a move reaches the program only later.
bool WindowAreaOnServer(const X11Window& window, TRect& area);
// True when an SDL event carries the X server's notice that the window's
// place or size changed (SDL passes such notices on once asked to).
bool WindowConfiguredBy(const SDL_Event& event, const X11Window& window);
// Notes the window manager's frame the window was put in, when the event
// carries that notice. SDL reads the place of the frame around the window
// as it moves it and as the window's notices come, and the window manager
// destroys a frame whenever it lets the window go (unmapped, minimised and
// shown in quick turns): an X error on a frame noted is not written out
// (SayHeldXErrors).
void NoteWindowFrame(const SDL_Event& event, const X11Window& window);
// Where the pointer lies in the window, in its own pixels; false when the
// pointer is on another screen.
bool PointerInWindow(const X11Window& window, TPoint& where);

// The monitor an area belongs to: the one holding its centre, else the
// one it overlaps most, else the nearest to its centre; -1 when there is
// no monitor.
int MonitorOfArea(const std::vector<TRect>& monitors, const TRect& area);
// Where a window's outer rectangle goes so that the user can reach it: as
// it is while it overlaps a monitor, else centred on monitor home (its
// top-left corner kept on it when it is larger).
TRect KeepOnAMonitor(const std::vector<TRect>& monitors, const TRect& outer, int home);
// The mode of a monitor that full screen takes for the asked mode and a
// picture of the given size: the asked size, when it holds the picture, at
// the asked rate, else at the lowest rate of that size; else the smallest
// that holds the picture (width, then height, then the lowest rate). The
// index in modes; -1 when none holds it.
int ChooseMonitorMode(const std::vector<DisplayMode>& modes, const DisplayMode& asked, TPoint picture);

// A CRTC's mode as a player switched it: what the CRTC showed before, and
// the player's mode. The CRTC showing the player's mode, wherever it lies
// now, is still switched. Owner names the player (SwitchOwner): a record
// whose owner has no X connection left was left by a player (and watcher)
// that ended without putting the mode back.
struct TCrtcSwitch {
    unsigned long Crtc = 0;
    unsigned long SavedMode = 0;
    unsigned long PlayerMode = 0;
    unsigned long Owner = 0;

    // One text line (ending in "\n") and back: what the watcher is told.
    std::string Line() const;
    static bool FromLine(const std::string& line, TCrtcSwitch& out);
    friend bool operator==(const TCrtcSwitch&, const TCrtcSwitch&) = default;
};
// This player's name in its switches' records: a selection that the
// window holds, so the server lets it go when the player's connection
// ends. Window ids are given again to later programs; selections named
// after this host, process and start are not.
unsigned long SwitchOwner(const X11Window& window);
// Shows the player's mode on the CRTC at its place, the screen's size as
// it is, and records the switch on the root window for other players:
// false when the server refuses (the mode does not fit the screen, the
// outputs do not take it).
bool SetMonitorMode(_XDisplay* display, const TCrtcSwitch& change);
// Shows the saved mode again, at the CRTC's present place, while the CRTC
// still shows the player's mode: a monitor someone else changed or
// switched off since stays as they left it. The screen grows only when it
// cannot hold the monitor otherwise. The record on the root window goes.
// True when the mode was put back; a mode the server refuses is said on
// stderr.
bool RestoreMonitorMode(_XDisplay* display, const TCrtcSwitch& change);
// True when another running player has switched a CRTC of the monitor (by
// its record on the root window) and it still shows that player's mode:
// what it shows is not the desktop's. own: the switches of this player.
bool SwitchedByAnotherPlayer(_XDisplay* display, const TMonitor& monitor, const std::vector<TCrtcSwitch>& own);
// The mode a CRTC showed before a player that has ended switched it to
// the mode it shows now, by that player's record left on the root window;
// 0 when none, or when its outputs do not offer that mode (any client may
// write the record). That mode, not the one left showing, is the desktop's.
unsigned long ModeLeftSwitched(_XDisplay* display, const TCrtcState& crtc);

// Where the pointer is on the screen, asked of the X server; false when
// it is on another screen.
bool PointerOnScreen(const X11Window& window, TPoint& where);
// True when a window manager runs on the display's screen: the root
// window names its check window, and that window exists and names itself.
// A window manager that ended may leave the name behind.
bool WindowManagerRuns(_XDisplay* display);
// Places the top-level window over the rectangle (in root coordinates)
// and raises it: without a window manager nothing else makes a full-screen
// window cover its monitor.
void CoverArea(_XDisplay* display, unsigned long window, const TRect& area);
// Asks the window manager to show the mapped window over its whole
// monitor, or to give it back its own size and place.
void AskWindowManagerFullScreen(_XDisplay* display, unsigned long window, bool on);
