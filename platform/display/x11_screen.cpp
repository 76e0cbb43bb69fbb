#include "platform/display/x11_screen.h"
#include "platform/system/quit_signals.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <tuple>

#include <SDL.h>
#include <SDL_syswm.h>
// Last: they define names such as None, Bool and Status.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {
int caught_errors = 0;

extern "C" int note_x_error(Display*, XErrorEvent*) {
    ++caught_errors;
    return 0;
}

extern "C" int report_x_error(Display* display, XErrorEvent* e) {
    char text[256] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    std::fprintf(stderr, "vorqplayer: X error: %s (request %u.%u, resource 0x%lx); play goes on\n", text,
                 static_cast<unsigned>(e->request_code), static_cast<unsigned>(e->minor_code), e->resourceid);
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

void ReportXErrors() {
    XSetErrorHandler(report_x_error);
    XSetIOErrorHandler(x_connection_lost);
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
        // Pixels of 24 significant bits take 4 bytes, as the desktop counts them.
        const uint32_t bits = depth >= 24 ? 32u : static_cast<uint32_t>(depth);
        for (int i = 0; i < res->ncrtc; ++i) {
            XRRCrtcInfo* crtc = XRRGetCrtcInfo(d, res, res->crtcs[i]);
            if (!crtc) continue;
            if (crtc->mode != None && crtc->noutput > 0) {
                TMonitor m;
                m.Crtc = res->crtcs[i];
                m.Bounds = Bounds(crtc->x, crtc->y, static_cast<int32_t>(crtc->width), static_cast<int32_t>(crtc->height));
                m.Mode = crtc->mode;
                m.Rotation = crtc->rotation;
                m.Outputs.assign(crtc->outputs, crtc->outputs + crtc->noutput);
                std::vector<RRMode> common;
                for (int o = 0; o < crtc->noutput; ++o) {
                    m.Primary = m.Primary || crtc->outputs[o] == primary;
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
                    if (quarter_turned(m.Rotation)) std::swap(w, h);
                    m.Modes.push_back({id, DisplayMode{w, h, bits, refresh_rate(*info)}});
                }
                out.push_back(std::move(m));
            }
            XRRFreeCrtcInfo(crtc);
        }
        XRRFreeScreenResources(res);
    });
    if (switchable) *switchable = clean && !pretended;
    return clean;
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
    std::ostringstream s;
    s << "S " << Crtc << ' ' << X << ' ' << Y << ' ' << SavedMode << ' ' << Rotation << ' ' << PlayerMode << ' '
      << Outputs.size();
    for (const unsigned long o : Outputs) s << ' ' << o;
    s << '\n';
    return s.str();
}

bool TCrtcSwitch::FromLine(const std::string& line, TCrtcSwitch& out) {
    std::istringstream s(line);
    std::string tag;
    size_t count = 0;
    TCrtcSwitch c;
    if (!(s >> tag >> c.Crtc >> c.X >> c.Y >> c.SavedMode >> c.Rotation >> c.PlayerMode >> count) || tag != "S" ||
        count > 64)
        return false;
    c.Outputs.resize(count);
    for (unsigned long& o : c.Outputs)
        if (!(s >> o)) return false;
    out = std::move(c);
    return true;
}

TCrtcSwitch SwitchOf(const TMonitor& monitor, unsigned long player_mode) {
    return {monitor.Crtc, monitor.Bounds.Left, monitor.Bounds.Top, monitor.Mode, monitor.Rotation, monitor.Outputs,
            player_mode};
}

bool SetMonitorMode(_XDisplay* d, const TCrtcSwitch& c) {
    Status status = RRSetConfigFailed;
    const bool clean = WithXErrorsCaught(d, [&] {
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, DefaultRootWindow(d));
        if (!res) return;
        status = XRRSetCrtcConfig(d, res, c.Crtc, CurrentTime, c.X, c.Y, c.PlayerMode, c.Rotation,
                                  const_cast<RROutput*>(c.Outputs.data()), static_cast<int>(c.Outputs.size()));
        XRRFreeScreenResources(res);
    });
    return clean && status == RRSetConfigSuccess;
}

bool RestoreMonitorMode(_XDisplay* d, const TCrtcSwitch& c) {
    bool restored = false;
    const bool clean = WithXErrorsCaught(d, [&] {
        const Window root = DefaultRootWindow(d);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
        if (!res) return;
        XRRCrtcInfo* now = XRRGetCrtcInfo(d, res, c.Crtc);
        const XRRModeInfo* saved = mode_info(res, c.SavedMode);
        if (now && saved && now->mode == c.PlayerMode && now->x == c.X && now->y == c.Y) {
            int32_t w = static_cast<int32_t>(saved->width), h = static_cast<int32_t>(saved->height);
            if (quarter_turned(c.Rotation)) std::swap(w, h);
            const TPoint size = root_size(d);
            if (c.X + w > size.X || c.Y + h > size.Y) {
                // Someone made the screen smaller meanwhile: it grows back
                // as far as the monitor needs, its pixels as large as before.
                int min_w = 0, min_h = 0, max_w = 0, max_h = 0;
                XRRGetScreenSizeRange(d, root, &min_w, &min_h, &max_w, &max_h);
                const int32_t new_w = std::min(std::max(size.X, c.X + w), max_w);
                const int32_t new_h = std::min(std::max(size.Y, c.Y + h), max_h);
                const int screen = DefaultScreen(d);
                const int mm_w = size.X > 0 ? int(int64_t{DisplayWidthMM(d, screen)} * new_w / size.X) : 0;
                const int mm_h = size.Y > 0 ? int(int64_t{DisplayHeightMM(d, screen)} * new_h / size.Y) : 0;
                XRRSetScreenSize(d, root, new_w, new_h, mm_w, mm_h);
            }
            restored = XRRSetCrtcConfig(d, res, c.Crtc, CurrentTime, c.X, c.Y, c.SavedMode, c.Rotation,
                                        const_cast<RROutput*>(c.Outputs.data()),
                                        static_cast<int>(c.Outputs.size())) == RRSetConfigSuccess;
        }
        if (now) XRRFreeCrtcInfo(now);
        XRRFreeScreenResources(res);
    });
    return clean && restored;
}

bool PointerOnScreen(const X11Window& window, TPoint& where) {
    Window root = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    if (!XQueryPointer(window.Display, window.Window, &root, &child, &x, &y, &wx, &wy, &mask)) return false;
    where = {x, y};
    return true;
}

bool WindowManagerRuns(_XDisplay* display) {
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, RootWindow(display, DefaultScreen(display)), check, 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &left, &data) == Success &&
                       type == XA_WINDOW && count == 1;
    if (data) XFree(data);
    return found;
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
