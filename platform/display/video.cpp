#include "platform/display/video.h"
#include "platform/text/codepage.h"
#include "platform/display/display_info.h"
#include "platform/exception.h"
#include "platform/display/keys.h"
#include "platform/display/screen_watcher.h"
#include "platform/display/x11_screen.h"
#include "platform/system/quit_signals.h"

#include <SDL.h>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>

#include <string>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

namespace {
#if defined(__SANITIZE_ADDRESS__)
// Under the leak checker only: SDL unloads the GL driver with the last
// window, and the blocks that the driver's globals still hold would then
// read as leaked. Kept loaded (it sits beside SDL's own library), they stay
// reachable and the check stays exact.
void keep_gl_driver_for_leak_check() {
    const char* driver = SDL_GetCurrentVideoDriver();
    Dl_info sdl{};
    if (!driver || std::strcmp(driver, "x11") != 0 || !dladdr(reinterpret_cast<void*>(&SDL_Init), &sdl) ||
        !sdl.dli_fname)
        return;
    std::string dir = sdl.dli_fname;
    dir.erase(dir.find_last_of('/') + 1);
    dlopen((dir + "dri/swrast_dri.so").c_str(), RTLD_LAZY | RTLD_NODELETE);
}
#endif

bool force_headless = false;
class SdlVideo;
// Live SDL windows in the order they were made; the last one is active.
std::vector<SdlVideo*> live_windows;

bool driver_is_headless(const char* name) {
    return name && (SDL_strcasecmp(name, "dummy") == 0 || SDL_strcasecmp(name, "offscreen") == 0);
}

bool env_set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// --- the headless backend: the client image lives only in memory ---------
class HeadlessVideo final : public Video {
public:
    bool IsHeadless() const override { return true; }
    void CreateWindow(int32_t w, int32_t h, const std::string&) override { SetClientSize(w, h); }
    void SetTitle(const std::string&) override {}
    void Show(bool visible) override { visible_ = visible; }
    void Move(int32_t x, int32_t y) override { position_ = {x, y}; }
    TPoint Position() const override { return position_; }
    TPoint WindowSize() const override {
        if (full_screen_) return {static_cast<int32_t>(full_screen_mode_.Width), static_cast<int32_t>(full_screen_mode_.Height)};
        return {client_width_ * zoom_ / 100, client_height_ * zoom_ / 100};
    }
    TRect WorkArea() const override { return {0, 0, 1024, 768}; }
    TRect MonitorBounds() const override { return WorkArea(); }
    std::vector<DisplayMode> DisplayModes() const override {
        return {{640, 480, 16, 60}, {640, 480, 32, 60}, {800, 600, 32, 60}, {1024, 768, 32, 60}};
    }
    DisplayMode DesktopMode() const override { return {1024, 768, 32, 60}; }
    bool SetFullScreen(const DisplayMode* mode) override {
        if (!mode) {
            full_screen_ = false;
            return true;
        }
        auto modes = DisplayModes();
        if (std::find(modes.begin(), modes.end(), *mode) == modes.end()) return false;
        full_screen_ = true;
        full_screen_mode_ = *mode;
        return true;
    }
    void ShowCursor(bool visible) override { cursor_visible_ = visible; }
    int32_t CreateCursor(const uint32_t* argb, int32_t w, int32_t h, int32_t, int32_t) override {
        if (!argb || w <= 0 || h <= 0) return 0;
        cursors_.push_back(next_cursor_);
        return next_cursor_++;
    }
    void SetCursor(int32_t handle) override {
        if (handle == 0 || std::find(cursors_.begin(), cursors_.end(), handle) != cursors_.end()) current_cursor_ = handle;
    }
    void DestroyCursor(int32_t handle) override {
        std::erase(cursors_, handle);
        if (current_cursor_ == handle) current_cursor_ = 0;
    }

protected:
    void ResizeClient() override {}
    void UploadRect(const TRect&) override {}
    void ShowImage() override {}
    bool FetchEvent(InputEvent&, uint32_t) override { return false; }

private:
    TPoint position_;
    std::vector<int32_t> cursors_;
    int32_t next_cursor_ = 1;
};

// --- the SDL2 backend ------------------------------------------------------
uint32_t bits_of(Uint32 format) {
    // Windows reports 4-byte pixel formats as 32 bits; SDL calls them 24.
    return SDL_BYTESPERPIXEL(format) == 4 ? 32u : static_cast<uint32_t>(SDL_BITSPERPIXEL(format));
}

DisplayMode mode_of(const SDL_DisplayMode& m) {
    return {static_cast<uint32_t>(m.w), static_cast<uint32_t>(m.h), bits_of(m.format),
            static_cast<uint32_t>(m.refresh_rate)};
}

class SdlVideo final : public Video {
public:
    SdlVideo() {
        // Full screen stays when another window takes the focus: the game's
        // monitor keeps its mode, the others are not the player's.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) throw Exception(std::string("SDL video: ") + SDL_GetError());
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver && std::strcmp(driver, "x11") == 0) ReportXErrors();
#if defined(__SANITIZE_ADDRESS__)
        keep_gl_driver_for_leak_check();
#endif
    }
    ~SdlVideo() override {
        // The monitor goes back to its mode before the window goes, and the
        // watcher, with nothing left to hold, ends.
        if (full_screen_) leave_full_screen();
        if (watching_configure_) ForgetWindowFrames(X11WindowOf(window_));
        if (watching_) FinishScreenWatcher();
        for (auto& [id, c] : cursors_) SDL_FreeCursor(c);
        if (texture_) SDL_DestroyTexture(texture_);
        if (watching_configure_) SDL_DelEventWatch(&SdlVideo::on_configure, this);
        if (renderer_) SDL_DestroyRenderer(renderer_);
        if (window_) {
            std::erase(live_windows, this);
            SDL_DestroyWindow(window_);
        }
        // A message box's own window leaves the game's screen-saver block alone.
        if (live_windows.empty()) SDL_EnableScreenSaver();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    bool IsHeadless() const override { return false; }
    SDL_Window* Window() const { return window_; }

    void CreateWindow(int32_t w, int32_t h, const std::string& sjis_title) override {
        if (window_) throw Exception("the window exists already");
        window_ = SDL_CreateWindow(Cp932ToUtf8(sjis_title).c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   std::max(w, 1), std::max(h, 1), SDL_WINDOW_HIDDEN);
        if (!window_) throw Exception(std::string("SDL window: ") + SDL_GetError());
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (!renderer_) renderer_ = SDL_CreateRenderer(window_, -1, SDL_RENDERER_SOFTWARE);
        if (!renderer_) throw Exception(std::string("SDL renderer: ") + SDL_GetError());
        live_windows.push_back(this);
        if (const X11Window x = X11WindowOf(window_); x.Display) {
            // Full screen follows the monitors: their changes come as X events.
            notices_ = std::make_unique<MonitorNotices>(DisplayName(x.Display));
            // SDL tells of a move only to a place other than the one it was
            // last asked for, so a window a window manager brings there
            // late would keep the picture where the window lay before;
            // the server's own notice moves it, before any pointer motion
            // after it is mapped into the picture.
            SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
            SDL_AddEventWatch(&SdlVideo::on_configure, this);
            watching_configure_ = true;
        }
        // The game must never be interrupted by the screen saver or blanking.
        SDL_DisableScreenSaver();
        ApplyIcon();
        SetClientSize(w, h);
    }
    void SetTitle(const std::string& sjis_title) override {
        if (window_) SDL_SetWindowTitle(window_, Cp932ToUtf8(sjis_title).c_str());
    }
    void Show(bool visible) override {
        if (!window_) return;
        visible_ = visible;
        if (visible) SDL_ShowWindow(window_);
        else SDL_HideWindow(window_);
    }
    void Move(int32_t x, int32_t y) override {
        if (!window_) return;
        const X11Window xw = X11WindowOf(window_);
        std::vector<TMonitor> monitors;
        if (xw.Display && ReadMonitors(xw.Display, monitors)) {
            const TPoint size = OuterSize();
            const TRect placed = KeepOnAMonitor(MonitorAreas(monitors), Bounds(x, y, size.X, size.Y), home_monitor(monitors));
            x = placed.Left;
            y = placed.Top;
        }
        // SDL places the client area; the caller means the outer frame.
        int top = 0, left = 0;
        SDL_GetWindowBordersSize(window_, &top, &left, nullptr, nullptr);
        SDL_SetWindowPosition(window_, x + left, y + top);
    }
    TPoint Position() const override {
        if (!window_) return {};
        int x = 0, y = 0, top = 0, left = 0;
        SDL_GetWindowPosition(window_, &x, &y);
        // The server's own place: SDL learns of a move the window manager
        // made only from its notice, which may not have come yet.
        const X11Window xw = X11WindowOf(window_);
        TRect area;
        if (xw.Display && WindowAreaOnServer(xw, area)) {
            x = area.Left;
            y = area.Top;
        }
        SDL_GetWindowBordersSize(window_, &top, &left, nullptr, nullptr);
        return {x - left, y - top};
    }
    TPoint WindowSize() const override {
        int w = 0, h = 0;
        if (window_) SDL_GetWindowSize(window_, &w, &h);
        return {w, h};
    }
    TPoint OuterSize() const override {
        TPoint s = WindowSize();
        int top = 0, left = 0, bottom = 0, right = 0;
        if (window_ && SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0) {
            s.X += left + right;
            s.Y += top + bottom;
        }
        return s;
    }
    TRect WorkArea() const override {
        DisplayArea a = UsableDisplayArea();
        return Bounds(a.x, a.y, a.w, a.h);
    }

    std::vector<DisplayMode> DisplayModes() const override {
        std::vector<DisplayMode> modes;
        int display = display_index();
        int n = SDL_GetNumDisplayModes(display);
        for (int i = 0; i < n; ++i) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(display, i, &m) == 0) modes.push_back(mode_of(m));
        }
        // SDL lists the largest first; a game that names no full-screen size
        // takes the first usable mode, which must be the smallest that holds
        // its picture, not the largest the monitor can show.
        std::stable_sort(modes.begin(), modes.end(), [](const DisplayMode& a, const DisplayMode& b) {
            return std::tie(a.Width, a.Height, a.BitsPerPixel, a.RefreshRate) <
                   std::tie(b.Width, b.Height, b.BitsPerPixel, b.RefreshRate);
        });
        return modes;
    }
    DisplayMode DesktopMode() const override {
        SDL_DisplayMode m;
        if (SDL_GetDesktopDisplayMode(display_index(), &m) != 0) return {};
        return mode_of(m);
    }
    bool SetFullScreen(const DisplayMode* mode) override {
        if (!window_) return false;
        if (!mode) return leave_full_screen();
        const X11Window x = X11WindowOf(window_);
        if (x.Display) {
            enter_full_screen(x, *mode);
            return true;
        }
        // Elsewhere the desktop's own full screen, which changes no mode.
        if (SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            std::fprintf(stderr, "vorqplayer: full screen: %s\n", SDL_GetError());
            return false;
        }
        SDL_Rect b{};
        SDL_GetDisplayBounds(display_index(), &b);
        covered_ = Bounds(b.x, b.y, b.w, b.h);
        full_screen_mode_ = DesktopMode();
        full_screen_ = true;
        apply_scaling();
        return true;
    }
    TRect MonitorBounds() const override {
        if (full_screen_) return covered_;
        const X11Window x = X11WindowOf(window_);
        std::vector<TMonitor> monitors;
        TRect area;
        if (x.Display && ReadMonitors(x.Display, monitors) && !monitors.empty() && WindowAreaOnServer(x, area))
            return monitors[static_cast<size_t>(MonitorOfArea(MonitorAreas(monitors), area))].Bounds;
        SDL_Rect b;
        if (SDL_GetDisplayBounds(display_index(), &b) != 0) return {};
        return Bounds(b.x, b.y, b.w, b.h);
    }
    bool PointerAtTopEdge() const override {
        // SDL's own global pointer may be one it read before the last move.
        TPoint at;
        const X11Window x = X11WindowOf(window_);
        if (!x.Display || !PointerOnScreen(x, at)) SDL_GetGlobalMouseState(&at.X, &at.Y);
        return at.Y <= (full_screen_ ? MonitorBounds().Top : Position().Y);
    }

    void SetZoom(int32_t percent) override {
        Video::SetZoom(percent);
        if (window_ && !full_screen_) size_window_to_client();
        apply_scaling();
    }

    void ShowCursor(bool visible) override {
        cursor_visible_ = visible;
        SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
    }
    int32_t CreateCursor(const uint32_t* argb, int32_t w, int32_t h, int32_t hot_x, int32_t hot_y) override {
        if (!argb || w <= 0 || h <= 0) return 0;
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb), w, h, 32, w * 4, SDL_PIXELFORMAT_ARGB8888);
        if (!s) return 0;
        SDL_Cursor* c = SDL_CreateColorCursor(s, std::clamp(hot_x, 0, w - 1), std::clamp(hot_y, 0, h - 1));
        SDL_FreeSurface(s);
        if (!c) return 0;
        cursors_[next_cursor_] = c;
        return next_cursor_++;
    }
    void SetCursor(int32_t handle) override {
        if (handle == 0) {
            SDL_SetCursor(SDL_GetDefaultCursor());
            current_cursor_ = 0;
        } else if (auto it = cursors_.find(handle); it != cursors_.end()) {
            SDL_SetCursor(it->second);
            current_cursor_ = handle;
        }
    }
    void DestroyCursor(int32_t handle) override {
        auto it = cursors_.find(handle);
        if (it == cursors_.end()) return;
        if (current_cursor_ == handle) SetCursor(0);
        SDL_FreeCursor(it->second);
        cursors_.erase(it);
    }

protected:
    void ResizeClient() override {
        if (!window_) return;
        if (texture_) SDL_DestroyTexture(texture_);
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, std::max(client_width_, 1),
                                     std::max(client_height_, 1));
        if (!texture_) throw Exception(std::string("SDL texture: ") + SDL_GetError());
        if (!full_screen_) size_window_to_client();
        apply_scaling();
        UploadRect({0, 0, client_width_, client_height_});
    }
    void UploadRect(const TRect& r) override {
        if (!texture_ || RectIsEmpty(r)) return;
        SDL_Rect dst{r.Left, r.Top, r.Width(), r.Height()};
        SDL_UpdateTexture(texture_, &dst, image_.data() + static_cast<size_t>(r.Top) * client_width_ + r.Left,
                          client_width_ * 4);
    }
    void ShowImage() override {
        if (!renderer_ || !texture_) return;
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
    }
    bool FetchEvent(InputEvent& out, uint32_t timeout_ms) override {
        KeepScreenWatcher();
        const uint32_t start = SDL_GetTicks();
        SDL_Event e;
        for (;;) {
            if (notices_ && notices_->Take()) monitors_changed_ = true;
            int got = SDL_PollEvent(&e);
            // Between SDL's calls the errors held can be told from those on frames.
            if (!got) SayHeldXErrors(X11WindowOf(window_));
            // The notices of one change come together: followed once they are all in.
            if (!got && monitors_changed_) {
                monitors_changed_ = false;
                follow_monitors();
                out = InputEvent{};
                out.Kind = InputEventKind::DisplayChange;
                return true;
            }
            if (!got) {
                const uint32_t spent = SDL_GetTicks() - start;
                if (spent >= timeout_ms) return false;
                // The monitors' notices come on a connection SDL does not
                // wait on: it is looked at between short waits.
                const uint32_t wait = std::min<uint32_t>(timeout_ms - spent, notices_ ? 10 : 0x7fffffff);
                if (!SDL_WaitEventTimeout(&e, static_cast<int>(wait))) continue;
            }
            if (translate(e, out)) return true;
        }
    }
    void ApplyIcon() override {
        if (!window_ || icon_.empty()) return;
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(icon_.data(), icon_width_, icon_height_, 32,
                                                                  icon_width_ * 4, SDL_PIXELFORMAT_ARGB8888);
        if (!surface) return;
        SDL_SetWindowIcon(window_, surface);
        SDL_FreeSurface(surface);
    }
    void ApplyTextInput() override {
        if (text_input_ != 1) {
            SDL_StopTextInput();
            return;
        }
        SDL_StartTextInput();
        SDL_Rect r{text_caret_.Left, text_caret_.Top, text_caret_.Width(), text_caret_.Height()};
        if (renderer_) {
            // The input method places its window in window pixels.
            int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
            SDL_RenderLogicalToWindow(renderer_, float(text_caret_.Left), float(text_caret_.Top), &x0, &y0);
            SDL_RenderLogicalToWindow(renderer_, float(text_caret_.Right), float(text_caret_.Bottom), &x1, &y1);
            r = SDL_Rect{x0, y0, std::max(1, x1 - x0), std::max(1, y1 - y0)};
        }
        SDL_SetTextInputRect(&r);
    }
    void MovePointer(int32_t x, int32_t y) override {
        if (!window_ || !renderer_) return;
        // The renderer's logical size maps client coordinates onto the window.
        int wx = 0, wy = 0;
        SDL_RenderLogicalToWindow(renderer_, static_cast<float>(x), static_cast<float>(y), &wx, &wy);
        SDL_WarpMouseInWindow(window_, wx, wy);
    }

private:
    // Full screen on X: the player switches the mode of the window's own
    // monitor through RandR, at its place and without touching the screen's
    // size or any other monitor, and lays the window over that monitor.
    void enter_full_screen(const X11Window& x, const DisplayMode& asked) {
        asked_ = asked;
        std::vector<TMonitor> monitors;
        bool switchable = false;
        if (!ReadMonitors(x.Display, monitors, &switchable) || monitors.empty()) {
            // No RandR: the screen is the one monitor, at its one mode.
            const DisplayMode desktop = DesktopMode();
            const TRect screen = Bounds(0, 0, static_cast<int32_t>(desktop.Width), static_cast<int32_t>(desktop.Height));
            return cover(x, screen, screen, desktop);
        }
        // The window's place as the server has it: the window manager's
        // notice of a move it has just made may not have come yet.
        TRect area = covered_;
        if (!full_screen_ && !WindowAreaOnServer(x, area))
            area = Bounds(Position().X, Position().Y, WindowSize().X, WindowSize().Y);
        size_t index = static_cast<size_t>(MonitorOfArea(MonitorAreas(monitors), area));
        // A new mode in full screen goes to the game's monitor.
        if (const int at = full_screen_ ? game_monitor(monitors) : -1; at >= 0) index = static_cast<size_t>(at);
        take_monitor(x, monitors[index], switchable);
    }
    // Switches the monitor to the mode full screen takes there, unless it
    // cannot, or its mode is another player's or another program's, and
    // covers it.
    void take_monitor(const X11Window& x, const TMonitor& m, bool switchable) {
        // Another monitor: the one switched so far shows its own mode again.
        if (!switched_.empty() && !m.Holds(switched_.front().Crtc)) put_back(x);
        another_players_ = SwitchedByAnotherPlayer(x.Display, m, switched_);
        // Every CRTC of the monitor the player may switch shows one size,
        // or each shows its own.
        if (another_players_ || !switch_monitor(x, m, switchable)) put_back(x);
        cover_monitor_now(x, m);
    }
    // Shows the size full screen takes on every CRTC of the monitor but
    // those another program has set: false when one cannot show it, or the
    // server refuses.
    bool switch_monitor(const X11Window& x, const TMonitor& m, bool switchable) {
        DisplayMode want;
        std::vector<TCrtcSwitch> changes;
        bool change = false;
        if (!plan_switches(x, m, switchable, want, changes, change)) return false;
        if (!change || switch_all(x, changes)) return true;
        std::fprintf(stderr, "vorqplayer: the monitor refused the mode %ux%u; the game is shown scaled on its own mode\n",
                     want.Width, want.Height);
        return false;
    }
    // The switches that show the mode full screen takes on every CRTC of
    // the monitor but those another program has set (want: the size the
    // monitor takes); false when one cannot show it. change: one of them
    // shows another mode now, or was left switched by a player that ended.
    bool plan_switches(const X11Window& x, const TMonitor& m, bool switchable, DisplayMode& want,
                       std::vector<TCrtcSwitch>& changes, bool& change) const {
        const TPoint picture{client_width_, client_height_};
        const int choice = switchable ? ChooseMonitorMode(m.Modes, asked_, picture) : -1;
        if (choice < 0) return false;
        want = m.Modes[static_cast<size_t>(choice)];
        const std::optional<TPoint> theirs = size_set_by_others(m);
        changes.clear();
        change = false;
        for (const TCrtcState& c : m.Crtcs) {
            if (set_by_others(c.Crtc)) continue;
            TCrtcSwitch s{c.Crtc, c.Mode, 0, SwitchOwner(x)};
            // A player killed with its watcher left its mode behind:
            // the mode it replaced is the one to put back, so the CRTC
            // is taken over even where it shows the mode wanted.
            const unsigned long left = ModeLeftSwitched(x.Display, c);
            if (left) s.SavedMode = left;
            for (const TCrtcSwitch& old : switched_)
                if (old.Crtc == c.Crtc) s.SavedMode = old.SavedMode;
            if (theirs) {
                // A window manager lays a full-screen window over one
                // clone only, which may be smaller than another: the
                // CRTCs the player switches show the size another program
                // set (their own mode where they cannot), so that the
                // window covers every clone, whichever it is laid over.
                // Of that size, the mode it shows, else its own, else the first.
                const auto rank = [&](unsigned long id) { return id == c.Mode ? 2 : id == s.SavedMode ? 1 : 0; };
                unsigned long fit = 0;
                for (const TMonitorMode& mm : c.Modes)
                    if (size_of(mm.Mode) == *theirs && (!fit || rank(mm.Id) > rank(fit))) fit = mm.Id;
                s.PlayerMode = fit ? fit : s.SavedMode;
            } else {
                std::vector<DisplayMode> own;
                for (const TMonitorMode& mm : c.Modes) own.push_back(mm.Mode);
                const int pick = ChooseMonitorMode(own, want, picture);
                if (pick < 0) return false;
                s.PlayerMode = c.Modes[static_cast<size_t>(pick)].Id;
            }
            change = change || s.PlayerMode != c.Mode || left;
            changes.push_back(s);
        }
        return true;
    }
    static TPoint size_of(const DisplayMode& mode) {
        return {static_cast<int32_t>(mode.Width), static_cast<int32_t>(mode.Height)};
    }
    // Under a window manager, the one size the CRTCs of the monitor that
    // another program has set show; none without one, when no CRTC is
    // theirs, or when theirs show different sizes (no size of the
    // player's would then match them all).
    std::optional<TPoint> size_set_by_others(const TMonitor& m) const {
        if (!wm_full_screen_) return std::nullopt;
        std::optional<TPoint> size;
        for (const TCrtcState& c : m.Crtcs) {
            if (!set_by_others(c.Crtc)) continue;
            const auto shown = std::find_if(c.Modes.begin(), c.Modes.end(), [&](const TMonitorMode& mm) { return mm.Id == c.Mode; });
            if (shown == c.Modes.end() || (size && *size != size_of(shown->Mode))) return std::nullopt;
            size = size_of(shown->Mode);
        }
        return size;
    }
    // Another program has set CRTCs of the game's monitor to a size that
    // the player's do not show yet, under a window manager.
    bool others_size_unmatched(const X11Window& x, const TMonitor& m, bool switchable) const {
        DisplayMode want;
        std::vector<TCrtcSwitch> changes;
        bool change = false;
        return size_set_by_others(m) && plan_switches(x, m, switchable, want, changes, change) && change;
    }
    // Covers the game's monitor as the server has it now (a switch or a
    // put back changes the area clones share), and notes the modes its
    // CRTCs show: a later change of them is another program's.
    void cover_monitor_now(const X11Window& x, const TMonitor& before) {
        std::vector<TMonitor> now;
        const TMonitor* m = &before;
        if (ReadMonitors(x.Display, now))
            for (const TMonitor& n : now)
                if (n.Holds(before.Crtcs.front().Crtc)) m = &n;
        note_game_monitor(*m);
        cover(x, m->Bounds, m->Whole, m->Shown);
    }
    void note_game_monitor(const TMonitor& m) {
        taken_.clear();
        for (const TCrtcState& c : m.Crtcs) taken_.push_back({c.Crtc, c.Mode});
    }
    // The monitor that holds the game's CRTCs; -1 when all are off.
    int game_monitor(const std::vector<TMonitor>& monitors) const {
        for (const TTakenCrtc& t : taken_)
            for (size_t i = 0; i < monitors.size(); ++i)
                if (monitors[i].Holds(t.Crtc)) return static_cast<int>(i);
        return -1;
    }
    // All the switches, the watcher told first: whatever ends the player
    // from then on, the monitor comes back. When one is refused, none
    // stays: a monitor half switched would show part of the picture.
    bool switch_all(const X11Window& x, const std::vector<TCrtcSwitch>& changes) {
        const std::string display = DisplayName(x.Display);
        for (const TCrtcSwitch& c : changes) watching_ = WatchCrtcSwitch(display.c_str(), c) || watching_;
        std::vector<TCrtcSwitch> made;
        for (const TCrtcSwitch& c : changes) {
            if (!SetMonitorMode(x.Display, c)) {
                for (const TCrtcSwitch& done : made) RestoreMonitorMode(x.Display, done);
                put_back(x);
                for (const TCrtcSwitch& c2 : changes) ForgetCrtcSwitch(c2.Crtc);
                return false;
            }
            made.push_back(c);
        }
        switched_ = changes;
        return true;
    }
    // Minimised or unmapped in full screen: the monitor shows its own mode
    // until the window is shown again.
    void hide_full_screen() {
        hidden_ = true;
        if (const X11Window x = X11WindowOf(window_); x.Display) put_back(x);
    }
    void show_full_screen() {
        hidden_ = false;
        const X11Window x = X11WindowOf(window_);
        if (!x.Display) return;
        // A window manager forgets the full screen of a window unmapped.
        mapped_again_ = true;
        enter_full_screen(x, asked_);
        // Without a window manager nobody else gives the keys back to the
        // window that lost them when it was unmapped.
        // It may have been hidden again meanwhile, and the server gives the
        // keys only to a window shown: no error to report then.
        if (!wm_full_screen_) WithXErrorsCaught(x.Display, [&] { SDL_SetWindowInputFocus(window_); });
    }
    // The monitors changed in full screen. The window covers the game's
    // monitor where it lies now and at the modes it shows. A CRTC of it
    // that another program has set another mode, turned off or moved away
    // stays as they left it until full screen ends, and concerns only
    // itself: the player's other CRTCs keep the player's mode (under a
    // window manager they show the size the others set). A CRTC cloned
    // onto the monitor meanwhile is switched with it, one that had left it
    // too; once another player has put back its mode there, the game takes
    // the monitor. When the monitor was turned off, the window goes to the
    // monitor it lies on now (the primary when none) and takes it.
    void follow_monitors() {
        const X11Window x = X11WindowOf(window_);
        if (!full_screen_ || hidden_ || !x.Display) return;
        std::vector<TMonitor> monitors;
        bool switchable = false;
        if (!ReadMonitors(x.Display, monitors, &switchable) || monitors.empty()) return;
        if (const int at = game_monitor(monitors); at >= 0) {
            const TMonitor& m = monitors[static_cast<size_t>(at)];
            if (!another_players_) let_go_of_changed_crtcs(x, m);
            const bool cloned = std::any_of(m.Crtcs.begin(), m.Crtcs.end(), [&](const TCrtcState& c) {
                return std::none_of(taken_.begin(), taken_.end(), [&](const TTakenCrtc& t) { return t.Crtc == c.Crtc; });
            });
            const bool given_back = another_players_ && !SwitchedByAnotherPlayer(x.Display, m, switched_);
            if ((!another_players_ && (cloned || others_size_unmatched(x, m, switchable))) || given_back)
                return take_monitor(x, m, switchable);
            note_game_monitor(m);
            if (m.Bounds != covered_ || m.Whole != whole_ || m.Shown != full_screen_mode_)
                cover(x, m.Bounds, m.Whole, m.Shown);
            return;
        }
        put_back(x);
        // Another monitor is taken afresh.
        set_by_others_.clear();
        TRect area = covered_;
        WindowAreaOnServer(x, area);
        const std::vector<TRect> areas = MonitorAreas(monitors);
        int index = MonitorOfArea(areas, area);
        if (index < 0 || RectIsEmpty(IntersectRects(areas[static_cast<size_t>(index)], area))) index = home_monitor(monitors);
        take_monitor(x, monitors[static_cast<size_t>(index)], switchable);
    }
    // A CRTC of the game's monitor that shows another mode than the game
    // left it at is another program's from now on. One the player
    // switched shows its own mode again if it has left the monitor at the
    // player's mode. One that has left the monitor is no one's: should it
    // come back as a clone, it is a new one.
    void let_go_of_changed_crtcs(const X11Window& x, const TMonitor& m) {
        for (const TTakenCrtc& t : taken_) {
            if (std::any_of(m.Crtcs.begin(), m.Crtcs.end(),
                            [&](const TCrtcState& c) { return c.Crtc == t.Crtc && c.Mode == t.Mode; }))
                continue;
            if (m.Holds(t.Crtc) && !set_by_others(t.Crtc)) set_by_others_.push_back(t.Crtc);
            std::erase_if(switched_, [&](const TCrtcSwitch& s) {
                if (s.Crtc != t.Crtc) return false;
                RestoreMonitorMode(x.Display, s);
                ForgetCrtcSwitch(s.Crtc);
                return true;
            });
        }
        std::erase_if(set_by_others_, [&](unsigned long crtc) { return !m.Holds(crtc); });
    }
    bool set_by_others(unsigned long crtc) const {
        return std::find(set_by_others_.begin(), set_by_others_.end(), crtc) != set_by_others_.end();
    }
    // Lays the window over the monitor: the window manager does it when
    // one runs (it then also keeps it above the others), else the player,
    // over whole: every CRTC of the monitor, so that no clone larger than
    // the area they all show (monitor, where the picture lies) shows the
    // desktop beside it.
    void cover(const X11Window& x, const TRect& monitor, const TRect& whole, const DisplayMode& shown) {
        if (!full_screen_) wm_full_screen_ = WindowManagerRuns(x.Display);
        if (wm_full_screen_ && (!full_screen_ || monitor != covered_ || mapped_again_)) {
            // Onto another monitor: the window manager lets it go first.
            if (full_screen_ && monitor != covered_) AskWindowManagerFullScreen(x.Display, x.Window, false);
            // Size hints of a window that cannot be resized would keep
            // the window manager from giving it the monitor's size.
            SDL_SetWindowResizable(window_, SDL_TRUE);
            // It takes the monitor the window is on.
            int top = 0, left = 0;
            SDL_GetWindowBordersSize(window_, &top, &left, nullptr, nullptr);
            SDL_SetWindowPosition(window_, monitor.Left + left, monitor.Top + top);
            AskWindowManagerFullScreen(x.Display, x.Window, true);
        }
        if (!wm_full_screen_) CoverArea(x.Display, x.Window, whole);
        mapped_again_ = false;
        full_screen_ = true;
        covered_ = monitor;
        whole_ = whole;
        full_screen_mode_ = shown;
        apply_scaling();
        // Told where the window now lies, callers find it there, and SDL
        // draws for its new size; a window manager that will not lay it
        // there is not waited for long.
        const uint32_t until = SDL_GetTicks() + 500;
        TRect area;
        while (WindowAreaOnServer(x, area) && area != whole && SDL_GetTicks() < until) SDL_Delay(5);
        SDL_PumpEvents();
        place_picture();
        point_at_pointer(x);
    }
    // The pointer has not moved, but the picture under it has: the game
    // learns where it points now, in the picture scaled over the monitor.
    void point_at_pointer(const X11Window& x) {
        TPoint at;
        if (!PointerOnScreen(x, at) || client_width_ <= 0 || client_height_ <= 0) return;
        const TRect& m = covered_;
        if (at.X < m.Left || at.Y < m.Top || at.X >= m.Right || at.Y >= m.Bottom) return;
        TPoint in_window;
        pointer_in_window(in_window);
        // The renderer's own fit: the whole width or the whole height, the
        // other side centred.
        const double scale = std::min(double(m.Width()) / client_width_, double(m.Height()) / client_height_);
        const int32_t shown_w = static_cast<int32_t>(client_width_ * scale);
        const int32_t shown_h = static_cast<int32_t>(client_height_ * scale);
        InputEvent e;
        e.Kind = InputEventKind::MouseMove;
        e.X = static_cast<int32_t>((at.X - m.Left - (m.Width() - shown_w) / 2) / scale);
        e.Y = static_cast<int32_t>((at.Y - m.Top - (m.Height() - shown_h) / 2) / scale);
        mouse_ = {e.X, e.Y};
        InjectEvent(e);
    }
    // The monitors the player switched show their own modes again, while
    // they still show the player's.
    void put_back(const X11Window& x) {
        for (const TCrtcSwitch& s : switched_) {
            RestoreMonitorMode(x.Display, s);
            ForgetCrtcSwitch(s.Crtc);
        }
        switched_.clear();
    }
    bool leave_full_screen() {
        if (!full_screen_) return true;
        const X11Window x = X11WindowOf(window_);
        if (!x.Display) {
            if (SDL_SetWindowFullscreen(window_, 0) != 0) return false;
        } else {
            put_back(x);
            if (wm_full_screen_) {
                AskWindowManagerFullScreen(x.Display, x.Window, false);
                SDL_SetWindowResizable(window_, SDL_FALSE);
            }
        }
        full_screen_ = false;
        wm_full_screen_ = false;
        hidden_ = false;
        // Asked for again, full screen takes the monitor afresh.
        another_players_ = false;
        set_by_others_.clear();
        taken_.clear();
        size_window_to_client();
        apply_scaling();
        // Its monitor may have gone meanwhile.
        std::vector<TMonitor> monitors;
        TRect area;
        if (x.Display && ReadMonitors(x.Display, monitors) && WindowAreaOnServer(x, area)) {
            const TRect placed = KeepOnAMonitor(MonitorAreas(monitors), area, home_monitor(monitors));
            if (placed != area) SDL_SetWindowPosition(window_, placed.Left, placed.Top);
        }
        return true;
    }
    void size_window_to_client() {
        SDL_SetWindowSize(window_, std::max(1, client_width_ * zoom_ / 100), std::max(1, client_height_ * zoom_ / 100));
    }
    static int home_monitor(const std::vector<TMonitor>& monitors) {
        for (size_t i = 0; i < monitors.size(); ++i)
            if (monitors[i].Primary) return static_cast<int>(i);
        return 0;
    }
    int display_index() const {
        int d = window_ ? SDL_GetWindowDisplayIndex(window_) : 0;
        return d < 0 ? 0 : d;
    }
    void apply_scaling() {
        if (!renderer_) return;
        // The renderer maps the client image onto the window and maps mouse
        // positions back into client coordinates.
        SDL_RenderSetLogicalSize(renderer_, std::max(client_width_, 1), std::max(client_height_, 1));
        picture_placed_ = false;
        bool whole = zoom_ % 100 == 0 && !full_screen_;
        SDL_RenderSetIntegerScale(renderer_, whole ? SDL_TRUE : SDL_FALSE);
        if (texture_) SDL_SetTextureScaleMode(texture_, whole ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
        place_picture();
    }
    // The server's notices that the window moved or changed size, or was
    // put in a window manager's frame.
    static int on_configure(void* self, SDL_Event* e) {
        if (e->type != SDL_SYSWMEVENT) return 0;
        auto* video = static_cast<SdlVideo*>(self);
        const X11Window x = X11WindowOf(video->window_);
        NoteWindowFrame(*e, x);
        if (video->full_screen_ && WindowConfiguredBy(*e, x)) video->place_picture();
        return 0;
    }
    // The window has moved under a pointer that may have stood still (a
    // window manager laying it out, a monitor moved, the user moving it):
    // the game learns where the pointer now lies in the picture, as the
    // renderer maps it.
    bool pointer_in_picture(InputEvent& out) {
        TPoint at;
        if (!pointer_in_window(at)) return false;
        float x = 0, y = 0;
        SDL_RenderWindowToLogical(renderer_, at.X, at.Y, &x, &y);
        out.Kind = InputEventKind::MouseMove;
        out.X = static_cast<int32_t>(x);
        out.Y = static_cast<int32_t>(y);
        if (TPoint{out.X, out.Y} == mouse_) return false;
        mouse_ = {out.X, out.Y};
        return true;
    }
    // Where the pointer lies in the window, in its pixels, as the server
    // has it: false when outside. SDL is told too: it drops a motion to
    // the place in the window where it saw the pointer last, which after
    // a move of the window under a still pointer is a real motion.
    bool pointer_in_window(TPoint& at) {
        int w = 0, h = 0;
        SDL_GetWindowSize(window_, &w, &h);
        if (!PointerInWindow(X11WindowOf(window_), at) || at.X < 0 || at.Y < 0 || at.X >= w || at.Y >= h) return false;
        TPoint seen;
        SDL_GetMouseState(&seen.X, &seen.Y);
        if (seen != at) SDL_WarpMouseInWindow(window_, at.X, at.Y);
        return true;
    }
    // In full screen the picture goes on the monitor's area even where the
    // window is larger: a window manager lays it over the largest of clones
    // that show different sizes, and only the area all of them show holds
    // the whole picture. Fitted into that area and centred there, as the
    // renderer's own fit does; the renderer maps the mouse back by the same
    // place and scale.
    void place_picture() {
        if (!renderer_) return;
        const X11Window x = X11WindowOf(window_);
        TRect window, area;
        if (full_screen_ && x.Display && client_width_ > 0 && client_height_ > 0 && WindowAreaOnServer(x, window))
            area = IntersectRects(covered_, window);
        if (window == covered_ || RectIsEmpty(area)) {
            // The renderer's own fit, over the whole window.
            if (picture_placed_)
                SDL_RenderSetLogicalSize(renderer_, std::max(client_width_, 1), std::max(client_height_, 1));
            picture_placed_ = false;
            return;
        }
        const float scale =
            std::min(float(area.Width()) / float(client_width_), float(area.Height()) / float(client_height_));
        const int32_t w = static_cast<int32_t>(float(client_width_) * scale);
        const int32_t h = static_cast<int32_t>(float(client_height_) * scale);
        const SDL_Rect place{area.Left - window.Left + (area.Width() - w) / 2,
                             area.Top - window.Top + (area.Height() - h) / 2, w, h};
        // The place in the window's own pixels, as the renderer takes it at scale 1.
        SDL_RenderSetScale(renderer_, 1.0f, 1.0f);
        SDL_RenderSetViewport(renderer_, &place);
        SDL_RenderSetScale(renderer_, scale, scale);
        picture_placed_ = true;
    }

    bool translate(const SDL_Event& e, InputEvent& out) {
        out = InputEvent{};
        switch (e.type) {
        case SDL_QUIT: out.Kind = InputEventKind::CloseRequest; return true;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            out.VirtualKey = VirtualKeyFromSdl(e.key.keysym.scancode, e.key.keysym.sym);
            if (out.VirtualKey == 0) return false;
            out.Kind = e.type == SDL_KEYDOWN ? InputEventKind::KeyDown : InputEventKind::KeyUp;
            out.Repeat = e.key.repeat != 0;
            return true;
        case SDL_TEXTINPUT:
            out.Kind = InputEventKind::Text;
            out.Text = Utf8ToCp932(e.text.text);
            return !out.Text.empty();
        case SDL_TEXTEDITING:
            out.Kind = InputEventKind::Composition;
            out.Text = Utf8ToCp932(e.edit.text);
            return true;
        case SDL_MOUSEMOTION:
            out.Kind = InputEventKind::MouseMove;
            mouse_ = {e.motion.x, e.motion.y};
            out.X = e.motion.x;
            out.Y = e.motion.y;
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (e.button.button == SDL_BUTTON_LEFT) out.Button = MouseButton::Left;
            else if (e.button.button == SDL_BUTTON_RIGHT) out.Button = MouseButton::Right;
            else if (e.button.button == SDL_BUTTON_MIDDLE) out.Button = MouseButton::Middle;
            else return false;
            out.Kind = e.type == SDL_MOUSEBUTTONDOWN ? InputEventKind::MouseDown : InputEventKind::MouseUp;
            mouse_ = {e.button.x, e.button.y};
            out.X = e.button.x;
            out.Y = e.button.y;
            return true;
        case SDL_MOUSEWHEEL: {
            int dy = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            if (dy == 0) return false;
            out.Kind = InputEventKind::MouseWheel;
            out.WheelDelta = dy;
            out.X = mouse_.X;
            out.Y = mouse_.Y;
            return true;
        }
        case SDL_DISPLAYEVENT: out.Kind = InputEventKind::DisplayChange; return true;
        case SDL_SYSWMEVENT: return WindowConfiguredBy(e, X11WindowOf(window_)) && pointer_in_picture(out);
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
            case SDL_WINDOWEVENT_FOCUS_GAINED: out.Kind = InputEventKind::Activate; return true;
            case SDL_WINDOWEVENT_FOCUS_LOST: out.Kind = InputEventKind::Deactivate; return true;
            case SDL_WINDOWEVENT_CLOSE: out.Kind = InputEventKind::CloseRequest; return true;
            case SDL_WINDOWEVENT_DISPLAY_CHANGED: out.Kind = InputEventKind::DisplayChange; return true;
            case SDL_WINDOWEVENT_HIDDEN:
            case SDL_WINDOWEVENT_MINIMIZED:
                if (!full_screen_ || hidden_) return false;
                hide_full_screen();
                out.Kind = InputEventKind::Hidden;
                return true;
            case SDL_WINDOWEVENT_SHOWN:
            case SDL_WINDOWEVENT_RESTORED:
                if (!hidden_) return false;
                show_full_screen();
                out.Kind = InputEventKind::Shown;
                return true;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_MOVED:
                // The renderer has fitted the picture to the whole window
                // again, or the monitor's area lies elsewhere in it.
                place_picture();
                return false;
            case SDL_WINDOWEVENT_EXPOSED:
                ShowImage();
                out.Kind = InputEventKind::Paint;
                return true;
            default: return false;
            }
        default: return false;
        }
    }

    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    bool watching_configure_ = false;
    SDL_Texture* texture_ = nullptr;
    std::map<int32_t, SDL_Cursor*> cursors_;
    int32_t next_cursor_ = 1;
    TPoint mouse_;
    TRect covered_{};  // the monitor the window covers in full screen: the area all its clones show
    TRect whole_{};    // and the area one or another of them shows
    bool wm_full_screen_ = false;  // the window manager lays it over the monitor
    // The CRTCs of the game's monitor whose mode the player set: put back
    // when full screen ends, or when another program changes one of them.
    std::vector<TCrtcSwitch> switched_;
    // The CRTCs of the game's monitor and the modes they showed once full
    // screen took it or followed it last.
    struct TTakenCrtc {
        unsigned long Crtc = 0;
        unsigned long Mode = 0;
    };
    std::vector<TTakenCrtc> taken_;
    // The game's monitor shows another player's mode in full screen: it is
    // taken once that player puts its mode back.
    bool another_players_ = false;
    // The CRTCs of the game's monitor another program has changed since
    // full screen took it: kept as they set them until full screen ends.
    std::vector<unsigned long> set_by_others_;
    bool watching_ = false;  // this window started the monitors' watcher
    DisplayMode asked_;      // the mode full screen was asked for
    bool hidden_ = false;    // minimised or unmapped in full screen
    std::unique_ptr<MonitorNotices> notices_;  // on X: the monitors' changes
    bool monitors_changed_ = false;  // notices of a change came, not followed yet
    bool mapped_again_ = false;  // shown again: the window manager forgot its full screen
    bool picture_placed_ = false;  // the picture lies on the monitor's area, not over the whole window
};
}  // namespace

bool DisplayAvailable() {
    if (force_headless) return false;
    if (SDL_WasInit(SDL_INIT_VIDEO)) return !driver_is_headless(SDL_GetCurrentVideoDriver());
    if (driver_is_headless(std::getenv("SDL_VIDEODRIVER"))) return false;
    return env_set("DISPLAY") || env_set("WAYLAND_DISPLAY");
}

void ForceHeadless(bool on) { force_headless = on; }

SDL_Window* ActiveSdlWindow() { return live_windows.empty() ? nullptr : live_windows.back()->Window(); }

Video* ActiveVideo() { return live_windows.empty() ? nullptr : live_windows.back(); }

std::unique_ptr<Video> Video::Create(VideoBackend backend) {
    if (backend == VideoBackend::Headless || force_headless) return std::make_unique<HeadlessVideo>();
    if (backend == VideoBackend::Sdl) return std::make_unique<SdlVideo>();
    if (driver_is_headless(std::getenv("SDL_VIDEODRIVER"))) return std::make_unique<HeadlessVideo>();
    try {
        auto v = std::make_unique<SdlVideo>();
        if (!driver_is_headless(SDL_GetCurrentVideoDriver())) return v;
    } catch (const Exception&) {
    }
    return std::make_unique<HeadlessVideo>();
}

Video::~Video() = default;

void Video::SetClientSize(int32_t width, int32_t height) {
    client_width_ = std::max(width, 0);
    client_height_ = std::max(height, 0);
    image_.assign(static_cast<size_t>(client_width_) * client_height_, 0);
    ResizeClient();
}

void Video::Centre() {
    TRect area = WorkArea();
    TPoint size = OuterSize();
    // A window larger than the area keeps its top-left corner on it, so that
    // the bar along its top and the menus it opens there stay in reach.
    Move(area.Left + std::max(0, (area.Width() - size.X) / 2), area.Top + std::max(0, (area.Height() - size.Y) / 2));
}

void Video::SetIcon(const uint32_t* argb, int32_t width, int32_t height) {
    // Desktops take icons up to 256 pixels a side.
    if (!argb || width <= 0 || height <= 0 || width > 256 || height > 256) return;
    icon_.assign(argb, argb + static_cast<size_t>(width) * height);
    icon_width_ = width;
    icon_height_ = height;
    ApplyIcon();
}

void Video::SetZoom(int32_t percent) { zoom_ = std::clamp(percent, 10, 1000); }

void Video::SetTextInput(bool on, const TRect& caret) {
    const int8_t state = on ? 1 : 0;
    const TRect where = on ? caret : TRect{};
    if (state == text_input_ && where == text_caret_) return;
    text_input_ = state;
    text_caret_ = where;
    ApplyTextInput();
}

void Video::Update(const uint32_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t dest_x, int32_t dest_y,
                   const TRect* rects, size_t count) {
    if (!pixels || width <= 0 || height <= 0 || pitch < width) return;
    const TRect whole{0, 0, width, height};
    if (!rects) {
        rects = &whole;
        count = 1;
    }
    // The frame's own bounds and the client area, in frame coordinates.
    const TRect limit = IntersectRects(whole, TRect{-dest_x, -dest_y, client_width_ - dest_x, client_height_ - dest_y});
    for (size_t i = 0; i < count; ++i) {
        TRect r = IntersectRects(rects[i], limit);
        if (RectIsEmpty(r)) continue;
        const size_t row_bytes = static_cast<size_t>(r.Width()) * 4;
        for (int32_t y = r.Top; y < r.Bottom; ++y)
            std::memcpy(&image_[static_cast<size_t>(y + dest_y) * client_width_ + r.Left + dest_x],
                        pixels + static_cast<size_t>(y) * pitch + r.Left, row_bytes);
        UploadRect({r.Left + dest_x, r.Top + dest_y, r.Right + dest_x, r.Bottom + dest_y});
    }
}

void Video::Present() {
    ++present_count_;
    ShowImage();
}

bool Video::PollEvent(InputEvent& event) { return WaitEvent(event, 0); }

bool Video::WaitEvent(InputEvent& event, uint32_t timeout_ms) {
    if (TakeQuitSignal()) {
        event = InputEvent{};
        event.Kind = InputEventKind::CloseRequest;
        return true;
    }
    if (!injected_.empty()) {
        event = std::move(injected_.front());
        injected_.pop_front();
    } else if (!FetchEvent(event, timeout_ms)) {
        return false;
    }
    if (event.Kind == InputEventKind::MouseMove || event.Kind == InputEventKind::MouseDown ||
        event.Kind == InputEventKind::MouseUp)
        pointer_ = {event.X, event.Y};
    return true;
}

void Video::MovePointer(int32_t x, int32_t y) {
    InputEvent e;
    e.Kind = InputEventKind::MouseMove;
    e.X = x;
    e.Y = y;
    InjectEvent(e);
}

void Video::WarpPointer(int32_t x, int32_t y) {
    pointer_ = {x, y};
    MovePointer(x, y);
}
