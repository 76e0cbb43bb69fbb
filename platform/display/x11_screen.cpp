#include "platform/display/x11_screen.h"
#include "platform/system/quit_signals.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <tuple>

#include <unistd.h>

#include <SDL.h>
#include <SDL_syswm.h>
// Last: they define names such as None, Bool and Status.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {
int caught_errors = 0;

// One of the player's windows and every window manager's frame it has
// been put in while it lives. SDL names a frame as it finds it (it asks
// the server for the window's parent), and the error of a request on a
// frame gone may be read long after the frame was left: a frame is a
// frame of the player's for as long as the window lives. Frames change
// only as a window manager takes, hides and shows the window, so the list
// grows with what the user does, not with play.
struct TFramedWindow {
    Display* On = nullptr;
    unsigned long Window = 0;
    unsigned long Frame = 0;  // 0 on the root
    std::vector<unsigned long> Left;
};
std::vector<TFramedWindow> framed_windows;

TFramedWindow& framed(Display* d, unsigned long window) {
    const auto w = std::find_if(framed_windows.begin(), framed_windows.end(),
                                [&](const TFramedWindow& w) { return w.On == d && w.Window == window; });
    return w != framed_windows.end() ? *w : framed_windows.emplace_back(TFramedWindow{d, window, 0, {}});
}

// Makes no request: it runs inside Xlib's pass over its queue too.
void note_parent(TFramedWindow& w, unsigned long parent) {
    const unsigned long frame = parent == DefaultRootWindow(w.On) ? 0 : parent;
    if (frame == w.Frame) return;
    // The pass meets notices SDL hands on later again.
    if (w.Frame && std::find(w.Left.begin(), w.Left.end(), w.Frame) == w.Left.end()) w.Left.push_back(w.Frame);
    w.Frame = frame;
}

bool is_window_frame(unsigned long window) {
    return std::any_of(framed_windows.begin(), framed_windows.end(), [&](const TFramedWindow& w) {
        return w.Frame == window || std::find(w.Left.begin(), w.Left.end(), window) != w.Left.end();
    });
}

// Errors on windows gone, written out by SayHeldXErrors unless the window
// was a frame; the window each names. Held up to a bound far above what
// SDL's calls between two looks at the events meet; past it, written at once.
struct THeldXError {
    std::string Line;
    unsigned long Window = 0;
};
std::vector<THeldXError> held_errors;
constexpr size_t kMaxHeldErrors = 1024;

// Every notice of the player's windows still in Xlib's queue, looked at
// and left there.
extern "C" Bool note_queued_frame(Display* d, XEvent* e, XPointer) {
    if (e->type == ReparentNotify)
        for (TFramedWindow& w : framed_windows)
            if (w.On == d && w.Window == e->xreparent.window) note_parent(w, e->xreparent.parent);
    return False;
}

extern "C" int note_x_error(Display*, XErrorEvent*) {
    ++caught_errors;
    return 0;
}

extern "C" int report_x_error(Display* display, XErrorEvent* e) {
    if (e->error_code == BadWindow && is_window_frame(e->resourceid)) return 0;
    char text[256] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    char line[400];
    std::snprintf(line, sizeof line, "vorqplayer: X error: %s (request %u.%u, resource 0x%lx); play goes on\n", text,
                  static_cast<unsigned>(e->request_code), static_cast<unsigned>(e->minor_code), e->resourceid);
    // The notice that a window gone was a frame may not have been read yet.
    if (e->error_code == BadWindow && held_errors.size() < kMaxHeldErrors) held_errors.push_back({line, e->resourceid});
    else std::fputs(line, stderr);
    return 0;
}

extern "C" int x_connection_lost(Display*) {
    std::fprintf(stderr, "vorqplayer: the connection to the X server was lost; the player ends\n");
    EndAtOnce(1);
}

// Hz as the desktop's own mode list rounds them.
uint32_t refresh_rate(const XRRModeInfo& m) {
    if (m.hTotal == 0 || m.vTotal == 0) return 0;
    return static_cast<uint32_t>(double(m.dotClock) / (double(m.hTotal) * double(m.vTotal)) + 0.5);
}

bool quarter_turned(uint16_t rotation) { return (rotation & (RR_Rotate_90 | RR_Rotate_270)) != 0; }

const XRRModeInfo* mode_info(const XRRScreenResources* res, RRMode id) {
    for (int i = 0; i < res->nmode; ++i)
        if (res->modes[i].id == id) return &res->modes[i];
    return nullptr;
}

// The screen's size as the server has it: Xlib's copy follows a change
// only once its event has been read.
TPoint root_size(Display* d) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(d, DefaultRootWindow(d), &root, &x, &y, &width, &height, &border, &depth);
    return {static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

int64_t overlap(const TRect& a, const TRect& b) {
    const TRect i = IntersectRects(a, b);
    return RectIsEmpty(i) ? 0 : int64_t{i.Width()} * i.Height();
}
}  // namespace

X11Window X11WindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return {};
    return {info.info.x11.display, info.info.x11.window};
}

std::string DisplayName(_XDisplay* display) {
    const char* name = DisplayString(display);
    return name ? name : "";
}

bool WithXErrorsCaught(_XDisplay* display, const std::function<void()>& fn) {
    // Errors of earlier requests still belong to the handler in place.
    XSync(display, False);
    const int before = caught_errors;
    auto* previous = XSetErrorHandler(note_x_error);
    fn();
    XSync(display, False);
    XSetErrorHandler(previous);
    return caught_errors == before;
}

void SayHeldXErrors(const X11Window& window) {
    if (!window.Display) return;
    framed(window.Display, window.Window);
    if (held_errors.empty()) return;
    // The errors of every request sent by now come in, and with them every
    // notice sent before them: those SDL has not handed on yet are looked
    // at where they wait.
    XSync(window.Display, False);
    XEvent unused;
    XCheckIfEvent(window.Display, &unused, note_queued_frame, nullptr);
    std::vector<THeldXError> held;
    held.swap(held_errors);
    for (const THeldXError& e : held)
        if (!is_window_frame(e.Window)) std::fputs(e.Line.c_str(), stderr);
}

void ForgetWindowFrames(const X11Window& window) {
    SayHeldXErrors(window);
    std::erase_if(framed_windows,
                  [&](const TFramedWindow& w) { return w.On == window.Display && w.Window == window.Window; });
}

void ReportXErrors() {
    XSetErrorHandler(report_x_error);
    XSetIOErrorHandler(x_connection_lost);
}

bool TMonitor::Holds(unsigned long crtc) const {
    return std::any_of(Crtcs.begin(), Crtcs.end(), [&](const TCrtcState& c) { return c.Crtc == crtc; });
}

std::vector<TMonitor> JoinMirrors(const std::vector<TShownCrtc>& crtcs, uint32_t bits) {
    // Clones show one picture from one origin, whatever their sizes;
    // CRTCs that only touch or overlap in part show pictures of their own.
    std::vector<std::vector<const TShownCrtc*>> groups;
    for (const TShownCrtc& c : crtcs) {
        const auto g = std::find_if(groups.begin(), groups.end(), [&](const auto& g) {
            return g.front()->Area.Left == c.Area.Left && g.front()->Area.Top == c.Area.Top;
        });
        if (g != groups.end()) g->push_back(&c);
        else groups.push_back({&c});
    }
    std::vector<TMonitor> out;
    for (const auto& g : groups) {
        TMonitor m;
        const TShownCrtc& first = *g.front();
        m.Bounds = first.Area;
        m.Whole = first.Area;
        for (const TMonitorMode& mm : first.State.Modes) m.Modes.push_back(mm.Mode);
        for (const TShownCrtc* c : g) {
            // The part every one of them shows: a picture there is whole on each.
            m.Bounds = IntersectRects(m.Bounds, c->Area);
            m.Whole = UnionRects(m.Whole, c->Area);
            m.Primary = m.Primary || c->Primary;
            // Only the sizes each of them can show too.
            std::erase_if(m.Modes, [&](const DisplayMode& mode) {
                return std::none_of(c->State.Modes.begin(), c->State.Modes.end(), [&](const TMonitorMode& mm) {
                    return mm.Mode.Width == mode.Width && mm.Mode.Height == mode.Height;
                });
            });
            m.Crtcs.push_back(c->State);
        }
        m.Shown = {static_cast<uint32_t>(m.Bounds.Width()), static_cast<uint32_t>(m.Bounds.Height()), bits, 0};
        for (const TMonitorMode& mm : first.State.Modes)
            if (mm.Id == first.State.Mode) m.Shown.RefreshRate = mm.Mode.RefreshRate;
        out.push_back(std::move(m));
    }
    return out;
}

bool ReadMonitors(_XDisplay* d, std::vector<TMonitor>& out, bool* switchable) {
    out.clear();
    if (switchable) *switchable = false;
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(d, &event_base, &error_base) || !XRRQueryVersion(d, &major, &minor) ||
        (major == 1 && minor < 2))
        return false;
    bool pretended = false;
    const bool clean = WithXErrorsCaught(d, [&] {
        const Window root = DefaultRootWindow(d);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
        if (!res) return;
        // The primary output came with RandR 1.3.
        const RROutput primary = major > 1 || minor >= 3 ? XRRGetOutputPrimary(d, root) : None;
        const int depth = DefaultDepth(d, DefaultScreen(d));
        std::vector<TShownCrtc> shown;
        // Pixels of 24 significant bits take 4 bytes, as the desktop counts them.
        const uint32_t bits = depth >= 24 ? 32u : static_cast<uint32_t>(depth);
        for (int i = 0; i < res->ncrtc; ++i) {
            XRRCrtcInfo* crtc = XRRGetCrtcInfo(d, res, res->crtcs[i]);
            if (!crtc) continue;
            if (crtc->mode != None && crtc->noutput > 0) {
                TCrtcState c;
                c.Crtc = res->crtcs[i];
                c.Mode = crtc->mode;
                c.Outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
                bool primary_here = false;
                std::vector<RRMode> common;
                for (int o = 0; o < crtc->noutput; ++o) {
                    primary_here = primary_here || crtc->outputs[o] == primary;
                    XRROutputInfo* output = XRRGetOutputInfo(d, res, crtc->outputs[o]);
                    if (!output) continue;
                    if (std::strncmp(output->name, "XWAYLAND", 8) == 0) pretended = true;
                    std::vector<RRMode> offered(output->modes, output->modes + output->nmode);
                    if (o == 0) common = offered;
                    else std::erase_if(common, [&](RRMode id) { return std::find(offered.begin(), offered.end(), id) == offered.end(); });
                    XRRFreeOutputInfo(output);
                }
                for (const RRMode id : common) {
                    const XRRModeInfo* info = mode_info(res, id);
                    if (!info) continue;
                    uint32_t w = info->width, h = info->height;
                    if (quarter_turned(crtc->rotation)) std::swap(w, h);
                    c.Modes.push_back({id, DisplayMode{w, h, bits, refresh_rate(*info)}});
                }
                shown.push_back({std::move(c), primary_here,
                                 Bounds(crtc->x, crtc->y, static_cast<int32_t>(crtc->width), static_cast<int32_t>(crtc->height))});
            }
            XRRFreeCrtcInfo(crtc);
        }
        XRRFreeScreenResources(res);
        out = JoinMirrors(shown, bits);
    });
    if (switchable) *switchable = clean && !pretended;
    return clean;
}

MonitorNotices::MonitorNotices(const std::string& display_name) {
    display_ = XOpenDisplay(display_name.c_str());
    if (!display_) return;
    int error_base = 0;
    if (!XRRQueryExtension(display_, &first_event_, &error_base)) {
        XCloseDisplay(display_);
        display_ = nullptr;
        return;
    }
    XRRSelectInput(display_, DefaultRootWindow(display_),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    XFlush(display_);
}

MonitorNotices::~MonitorNotices() {
    if (display_) XCloseDisplay(display_);
}

bool MonitorNotices::Take() {
    if (!display_) return false;
    static_assert(RRScreenChangeNotify == 0 && RRNotify == 1);
    bool changed = false;
    while (XPending(display_) > 0) {
        XEvent e;
        XNextEvent(display_, &e);
        if (e.type == first_event_ + RRScreenChangeNotify || e.type == first_event_ + RRNotify) {
            XRRUpdateConfiguration(&e);
            changed = true;
        }
    }
    return changed;
}

std::vector<TRect> MonitorAreas(const std::vector<TMonitor>& monitors) {
    std::vector<TRect> areas;
    for (const TMonitor& m : monitors) areas.push_back(m.Bounds);
    return areas;
}

bool WindowAreaOnServer(const X11Window& w, TRect& area) {
    bool got = false;
    WithXErrorsCaught(w.Display, [&] {
        Window root = 0, child = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        if (!XGetGeometry(w.Display, w.Window, &root, &x, &y, &width, &height, &border, &depth)) return;
        if (!XTranslateCoordinates(w.Display, w.Window, root, 0, 0, &x, &y, &child)) return;
        area = Bounds(x, y, static_cast<int32_t>(width), static_cast<int32_t>(height));
        got = true;
    });
    return got;
}

bool WindowConfiguredBy(const SDL_Event& event, const X11Window& window) {
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11) return false;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    return x.type == ConfigureNotify && x.xconfigure.window == window.Window;
}

void NoteWindowFrame(const SDL_Event& event, const X11Window& window) {
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11) return;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type != ReparentNotify || x.xreparent.window != window.Window) return;
    note_parent(framed(window.Display, window.Window), x.xreparent.parent);
}

int MonitorOfArea(const std::vector<TRect>& monitors, const TRect& area) {
    const int32_t cx = area.Left + area.Width() / 2, cy = area.Top + area.Height() / 2;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const TRect& m = monitors[i];
        if (cx >= m.Left && cx < m.Right && cy >= m.Top && cy < m.Bottom) return static_cast<int>(i);
    }
    int best = -1;
    int64_t best_overlap = 0;
    for (size_t i = 0; i < monitors.size(); ++i)
        if (const int64_t o = overlap(monitors[i], area); o > best_overlap) {
            best_overlap = o;
            best = static_cast<int>(i);
        }
    if (best >= 0) return best;
    int64_t best_distance = 0;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const TRect& m = monitors[i];
        const int64_t dx = cx < m.Left ? m.Left - cx : cx >= m.Right ? cx - (m.Right - 1) : 0;
        const int64_t dy = cy < m.Top ? m.Top - cy : cy >= m.Bottom ? cy - (m.Bottom - 1) : 0;
        const int64_t distance = dx * dx + dy * dy;
        if (best < 0 || distance < best_distance) {
            best = static_cast<int>(i);
            best_distance = distance;
        }
    }
    return best;
}

TRect KeepOnAMonitor(const std::vector<TRect>& monitors, const TRect& outer, int home) {
    if (monitors.empty()) return outer;
    for (const TRect& m : monitors)
        if (overlap(m, outer) > 0) return outer;
    const TRect& m = monitors[home >= 0 && static_cast<size_t>(home) < monitors.size() ? static_cast<size_t>(home) : 0];
    return Bounds(m.Left + std::max(0, (m.Width() - outer.Width()) / 2), m.Top + std::max(0, (m.Height() - outer.Height()) / 2),
                  outer.Width(), outer.Height());
}

int ChooseMonitorMode(const std::vector<DisplayMode>& modes, const DisplayMode& asked, TPoint picture) {
    int best = -1;
    for (size_t i = 0; i < modes.size(); ++i) {
        const DisplayMode& m = modes[i];
        if (m.Width != asked.Width || m.Height != asked.Height) continue;
        if (int64_t{m.Width} < picture.X || int64_t{m.Height} < picture.Y) break;
        if (m.RefreshRate == asked.RefreshRate) return static_cast<int>(i);
        if (best < 0 || m.RefreshRate < modes[static_cast<size_t>(best)].RefreshRate) best = static_cast<int>(i);
    }
    if (best >= 0) return best;
    for (size_t i = 0; i < modes.size(); ++i) {
        const DisplayMode& m = modes[i];
        if (int64_t{m.Width} < picture.X || int64_t{m.Height} < picture.Y) continue;
        if (best >= 0) {
            const DisplayMode& b = modes[static_cast<size_t>(best)];
            if (std::tie(b.Width, b.Height, b.RefreshRate) <= std::tie(m.Width, m.Height, m.RefreshRate)) continue;
        }
        best = static_cast<int>(i);
    }
    return best;
}

std::string TCrtcSwitch::Line() const {
    return "S " + std::to_string(Crtc) + ' ' + std::to_string(SavedMode) + ' ' + std::to_string(PlayerMode) + ' ' +
           std::to_string(Owner) + '\n';
}

bool TCrtcSwitch::FromLine(const std::string& line, TCrtcSwitch& out) {
    // No streams: the watcher reads lines before the program's own start-up has run.
    unsigned long v[4];
    const char* at = line.c_str();
    if (line.size() < 2 || line[0] != 'S' || line[1] != ' ') return false;
    at += 2;
    for (unsigned long& x : v) {
        char* end = nullptr;
        errno = 0;
        x = std::strtoul(at, &end, 10);
        if (end == at || errno != 0 || (*end != ' ' && *end != 0 && *end != '\n')) return false;
        at = end;
    }
    out = {v[0], v[1], v[2], v[3]};
    return true;
}

namespace {
// Every player's switches, on the root window where another player and
// the watchers read them: CRTC, the mode it showed before, the player's
// mode and the player's name (SwitchOwner).
Atom record_atom(Display* d) { return XInternAtom(d, "_VORQPLAYER_REPLACED_MODES", False); }

std::vector<TCrtcSwitch> read_records(Display* d) {
    std::vector<TCrtcSwitch> records;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), record_atom(d), 0, 4 * 256, False, XA_INTEGER, &type, &format,
                           &count, &left, &data) == Success &&
        data && type == XA_INTEGER && format == 32) {
        const auto* v = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i + 3 < count; i += 4)
            records.push_back({static_cast<unsigned long>(v[i]), static_cast<unsigned long>(v[i + 1]),
                               static_cast<unsigned long>(v[i + 2]), static_cast<unsigned long>(v[i + 3])});
    }
    if (data) XFree(data);
    return records;
}

// The record of crtc replaced by change (or taken away when change is
// null), with the server held so that two players do not mix theirs.
void write_record(Display* d, unsigned long crtc, const TCrtcSwitch* change, const TCrtcSwitch* only_if) {
    XGrabServer(d);
    std::vector<TCrtcSwitch> records = read_records(d);
    const auto old = std::find_if(records.begin(), records.end(), [&](const TCrtcSwitch& r) { return r.Crtc == crtc; });
    if (!only_if || (old != records.end() && *old == *only_if)) {
        if (old != records.end()) records.erase(old);
        if (change) records.push_back(*change);
        std::vector<long> v;
        for (const TCrtcSwitch& r : records)
            for (const unsigned long x : {r.Crtc, r.SavedMode, r.PlayerMode, r.Owner}) v.push_back(static_cast<long>(x));
        if (v.empty()) XDeleteProperty(d, DefaultRootWindow(d), record_atom(d));
        else
            XChangeProperty(d, DefaultRootWindow(d), record_atom(d), XA_INTEGER, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(v.data()), static_cast<int>(v.size()));
    }
    XUngrabServer(d);
}

// The screen grows, its pixels as large as before, until it holds area.
void grow_screen_for(Display* d, const TRect& area) {
    const Window root = DefaultRootWindow(d);
    const TPoint size = root_size(d);
    if (area.Right <= size.X && area.Bottom <= size.Y) return;
    int min_w = 0, min_h = 0, max_w = 0, max_h = 0;
    XRRGetScreenSizeRange(d, root, &min_w, &min_h, &max_w, &max_h);
    const int32_t new_w = std::min(std::max(size.X, area.Right), max_w);
    const int32_t new_h = std::min(std::max(size.Y, area.Bottom), max_h);
    const int screen = DefaultScreen(d);
    const int mm_w = size.X > 0 ? int(int64_t{DisplayWidthMM(d, screen)} * new_w / size.X) : 0;
    const int mm_h = size.Y > 0 ? int(int64_t{DisplayHeightMM(d, screen)} * new_h / size.Y) : 0;
    XRRSetScreenSize(d, root, new_w, new_h, mm_w, mm_h);
}

enum class CrtcSet { Set, NotShowing, Refused };

// Shows mode on the CRTC at its present place, turned and wired as it is
// now; when_showing: only while it shows that mode (NotShowing else, and
// when it is off). Grows the screen for it when grow.
CrtcSet set_crtc_mode(Display* d, unsigned long crtc, unsigned long mode, unsigned long when_showing, bool grow) {
    bool set = false, showing = true;
    const bool clean = WithXErrorsCaught(d, [&] {
        const Window root = DefaultRootWindow(d);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
        if (!res) return;
        XRRCrtcInfo* now = XRRGetCrtcInfo(d, res, crtc);
        const XRRModeInfo* info = mode_info(res, mode);
        showing = now && now->noutput > 0 && (when_showing == 0 || now->mode == when_showing);
        if (showing && info) {
            int32_t w = static_cast<int32_t>(info->width), h = static_cast<int32_t>(info->height);
            if (quarter_turned(now->rotation)) std::swap(w, h);
            if (grow) grow_screen_for(d, Bounds(now->x, now->y, w, h));
            set = XRRSetCrtcConfig(d, res, crtc, CurrentTime, now->x, now->y, mode, now->rotation, now->outputs,
                                   now->noutput) == RRSetConfigSuccess;
        }
        if (now) XRRFreeCrtcInfo(now);
        XRRFreeScreenResources(res);
    });
    if (!showing) return CrtcSet::NotShowing;
    return clean && set ? CrtcSet::Set : CrtcSet::Refused;
}
}  // namespace

bool SetMonitorMode(_XDisplay* d, const TCrtcSwitch& c) {
    if (set_crtc_mode(d, c.Crtc, c.PlayerMode, 0, false) != CrtcSet::Set) return false;
    WithXErrorsCaught(d, [&] { write_record(d, c.Crtc, &c, nullptr); });
    return true;
}

bool RestoreMonitorMode(_XDisplay* d, const TCrtcSwitch& c) {
    const CrtcSet restored = set_crtc_mode(d, c.Crtc, c.SavedMode, c.PlayerMode, true);
    WithXErrorsCaught(d, [&] { write_record(d, c.Crtc, nullptr, &c); });
    // Said where it happens: the player and its watcher both put modes back.
    if (restored == CrtcSet::Refused)
        std::fprintf(stderr, "vorqplayer: the desktop's mode %lu could not be put back on CRTC %lu; it shows the game's\n",
                     c.SavedMode, c.Crtc);
    return restored == CrtcSet::Set;
}

namespace {
// The records on the root window whose player still runs, or (running
// false) has ended.
std::vector<TCrtcSwitch> records_of(Display* d, bool running) {
    std::vector<TCrtcSwitch> records, kept;
    WithXErrorsCaught(d, [&] { records = read_records(d); });
    for (const TCrtcSwitch& r : records) {
        Window owner = None;
        WithXErrorsCaught(d, [&] { owner = XGetSelectionOwner(d, static_cast<Atom>(r.Owner)); });
        if ((owner != None) == running) kept.push_back(r);
    }
    return kept;
}
}  // namespace

unsigned long SwitchOwner(const X11Window& x) {
    static Display* on = nullptr;
    static Atom name = None;
    static Window held_by = None;
    if (on != x.Display) {
        on = x.Display;
        name = held_by = None;
    }
    if (name == None) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const std::string text = "_VORQPLAYER_SWITCHER_" + std::string(host) + '_' + std::to_string(getpid()) + '_' +
                                 std::to_string(now.tv_sec) + '_' + std::to_string(now.tv_nsec);
        name = XInternAtom(x.Display, text.c_str(), False);
    }
    if (held_by != x.Window) {
        XSetSelectionOwner(x.Display, name, x.Window, CurrentTime);
        held_by = x.Window;
    }
    return name;
}

bool SwitchedByAnotherPlayer(_XDisplay* d, const TMonitor& monitor, const std::vector<TCrtcSwitch>& own) {
    for (const TCrtcSwitch& r : records_of(d, true)) {
        if (std::find(own.begin(), own.end(), r) != own.end()) continue;
        for (const TCrtcState& c : monitor.Crtcs)
            if (c.Crtc == r.Crtc && c.Mode == r.PlayerMode) return true;
    }
    return false;
}

unsigned long ModeLeftSwitched(_XDisplay* d, const TCrtcState& crtc) {
    for (const TCrtcSwitch& r : records_of(d, false))
        if (r.Crtc == crtc.Crtc && r.PlayerMode == crtc.Mode)
            // Any client may write a record: a mode its outputs cannot
            // show was never the desktop's, and could not be put back.
            return std::any_of(crtc.Modes.begin(), crtc.Modes.end(), [&](const TMonitorMode& m) { return m.Id == r.SavedMode; })
                       ? r.SavedMode
                       : 0;
    return 0;
}

// The pointer on the screen and in the window; false when it is on another screen.
static bool QueryPointer(const X11Window& window, TPoint& on_screen, TPoint& in_window) {
    Window root = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    if (!XQueryPointer(window.Display, window.Window, &root, &child, &x, &y, &wx, &wy, &mask)) return false;
    on_screen = {x, y};
    in_window = {wx, wy};
    return true;
}

bool PointerOnScreen(const X11Window& window, TPoint& where) {
    TPoint in_window;
    return QueryPointer(window, where, in_window);
}

bool PointerInWindow(const X11Window& window, TPoint& where) {
    TPoint on_screen;
    return QueryPointer(window, on_screen, where);
}

bool WindowManagerRuns(_XDisplay* display) {
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    // The window a window's check property names, 0 when none or gone.
    auto named_by = [&](Window w) {
        Window named = 0;
        WithXErrorsCaught(display, [&] {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, left = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, w, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &left, &data) ==
                    Success &&
                data && type == XA_WINDOW && format == 32 && count == 1)
                named = *reinterpret_cast<const Window*>(data);
            if (data) XFree(data);
        });
        return named;
    };
    const Window named = named_by(RootWindow(display, DefaultScreen(display)));
    return named != 0 && named_by(named) == named;
}

void CoverArea(_XDisplay* display, unsigned long window, const TRect& area) {
    XMoveResizeWindow(display, window, area.Left, area.Top, static_cast<unsigned>(area.Width()),
                      static_cast<unsigned>(area.Height()));
    XRaiseWindow(display, window);
    XFlush(display);
}

void AskWindowManagerFullScreen(_XDisplay* display, unsigned long window, bool on) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = on ? 1 : 0;  // _NET_WM_STATE_ADD or _NET_WM_STATE_REMOVE
    e.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False));
    e.xclient.data.l[3] = 1;  // asked by an application
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(display);
}
