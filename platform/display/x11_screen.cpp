#include "platform/display/x11_screen.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

namespace {
int caught_errors = 0;

extern "C" int note_x_error(Display*, XErrorEvent*) {
    ++caught_errors;
    return 0;
}
}  // namespace

X11Window X11WindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return {};
    return {info.info.x11.display, info.info.x11.window};
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

bool TScreenLayout::read(Layout& out) const {
    Display* d = display_;
    int event_base = 0, error_base = 0;
    if (!XRRQueryExtension(d, &event_base, &error_base)) return false;
    const int screen = DefaultScreen(d);
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, RootWindow(d, screen));
    if (!res) return false;
    // The server's own size of the root window: Xlib's copy follows a
    // change only once its event has been read.
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(d, RootWindow(d, screen), &root, &x, &y, &width, &height, &border, &depth);
    out = Layout{static_cast<int32_t>(width), static_cast<int32_t>(height), {}};
    for (int i = 0; i < res->ncrtc; ++i) {
        XRRCrtcInfo* info = XRRGetCrtcInfo(d, res, res->crtcs[i]);
        if (!info) continue;
        Crtc c{res->crtcs[i], info->mode, info->x, info->y, info->rotation, {}};
        c.Outputs.assign(info->outputs, info->outputs + info->noutput);
        out.Crtcs.push_back(std::move(c));
        XRRFreeCrtcInfo(info);
    }
    XRRFreeScreenResources(res);
    return true;
}

bool TScreenLayout::Save(_XDisplay* display) {
    display_ = display;
    saved_mm_ = {DisplayWidthMM(display, DefaultScreen(display)), DisplayHeightMM(display, DefaultScreen(display))};
    if (read(saved_)) return true;
    display_ = nullptr;
    return false;
}

bool TScreenLayout::Unchanged() const {
    if (!display_) return true;
    Layout now;
    return read(now) && now == saved_;
}

bool TScreenLayout::Restore() {
    if (!display_) return true;
    Display* d = display_;
    Layout now;
    if (!read(now)) return false;
    if (now == saved_) return true;
    const Window root = RootWindow(d, DefaultScreen(d));
    WithXErrorsCaught(d, [&] {
        XGrabServer(d);
        XRRScreenResources* res = XRRGetScreenResourcesCurrent(d, root);
        if (res) {
            // A CRTC that changed is switched off first, so that the screen
            // can take its saved size whatever the CRTCs showed meanwhile.
            std::vector<const Crtc*> changed;
            for (const Crtc& c : saved_.Crtcs)
                for (const Crtc& n : now.Crtcs)
                    if (n.Id == c.Id && !(n == c)) {
                        changed.push_back(&c);
                        XRRSetCrtcConfig(d, res, c.Id, CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
                    }
            if (now.Width != saved_.Width || now.Height != saved_.Height)
                XRRSetScreenSize(d, root, saved_.Width, saved_.Height, saved_mm_.X, saved_mm_.Y);
            for (const Crtc* c : changed)
                if (c->Mode != None)
                    XRRSetCrtcConfig(d, res, c->Id, CurrentTime, c->X, c->Y, c->Mode, c->Rotation,
                                     const_cast<RROutput*>(c->Outputs.data()), static_cast<int>(c->Outputs.size()));
            XRRFreeScreenResources(res);
        }
        XUngrabServer(d);
    });
    return Unchanged();
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
