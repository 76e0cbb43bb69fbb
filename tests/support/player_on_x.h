// The player's window on a real X server (the test program runs itself
// again on one: run_command.h), on a game that only waits; the test runs
// its frames and moves the real pointer with xdotool. The quit question
// is answered yes and counted.
#pragma once
#include "chrome/toolbar.h"
#include "media/base/screen_manager.h"
#include "platform/display/video.h"
#include "platform/display/x11_screen.h"
#include "shell/form_view.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

// Last: the X11 headers it brings define names such as None, Bool and Status.
#include <SDL_syswm.h>

class PlayerOnX {
public:
    PlayerOnX() {
        folder.WriteWaitingGame();
        FormViewUnitStart();
        view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()}, Video::Create(VideoBackend::Sdl));
        view->FormCreate();
        view->Ask = yes_ask;
        asked() = 0;
        SDL_SysWMinfo wm;
        SDL_VERSION(&wm.version);
        if (SDL_GetWindowWMInfo(ActiveSdlWindow(), &wm)) window = std::to_string(wm.info.x11.window);
    }
    ~PlayerOnX() {
        view.reset();
        FormViewUnitFinish();
    }
    TToolbar97& Bar() const { return *view->Toolbar(); }
    template <class Ready>
    bool FramesUntil(Ready ready) {
        InputEvent e;
        return StepUntil(ready, [&] {
            while (view->Window().PollEvent(e)) {
                if (e.Kind == InputEventKind::DisplayChange) ++display_changes;
                view->HandleEvent(e);
            }
            view->ApplicationEventsIdle();
        });
    }
    // The pointer to (x, y) of the window's client area as the X server has
    // the window now, or of the screen when on_screen.
    void Pointer(int32_t x, int32_t y, bool click, bool on_screen = false) {
        const std::string place = on_screen ? "" : "--window " + window + " ";
        const std::string args = std::to_string(x) + " " + std::to_string(y) + (click ? " click 1" : "");
        ASSERT_EQ(std::system(("xdotool mousemove " + place + args).c_str()), 0);
    }
    // The pointer to (x, y) of the screen, once the window has seen it move.
    bool PointerOnScreen(int32_t x, int32_t y) {
        const TPoint before = view->Window().PointerPosition();
        Pointer(x, y, false, true);
        return FramesUntil([&] { return view->Window().PointerPosition() != before; });
    }
    // Moves the window to (x, y) of the screen as a user drags it: the X
    // server has it there once this returns, the window learns it later.
    // Moves the window to (x, y) as the X server has it. A window manager
    // still placing the window, or still taking it out of full screen,
    // would put it back after the move: the move waits for it to have done
    // so, and is made again until the window stands there.
    bool MoveWindow(int32_t x, int32_t y) {
        const X11Window xw = X11WindowOf(ActiveSdlWindow());
        const bool wm = WindowManagerRuns(xw.Display);
        auto has = [&](const char* property, const char* value) {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, left = 0;
            unsigned char* data = nullptr;
            bool found = false;
            if (XGetWindowProperty(xw.Display, xw.Window, XInternAtom(xw.Display, property, False), 0, 64, False,
                                   AnyPropertyType, &type, &format, &count, &left, &data) == Success && data) {
                found = !value;
                const Atom wanted = value ? XInternAtom(xw.Display, value, False) : None;
                for (unsigned long i = 0; value && format == 32 && i < count; ++i)
                    found = found || reinterpret_cast<const Atom*>(data)[i] == wanted;
            }
            if (data) XFree(data);
            return found;
        };
        auto settled = [&] {
            return !wm || (has("_NET_FRAME_EXTENTS", nullptr) && !has("_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"));
        };
        auto there = [&] {
            TRect a;
            return WindowAreaOnServer(xw, a) && a.Left >= x && a.Left < x + 64 && a.Top >= y && a.Top < y + 64;
        };
        auto moved = std::chrono::steady_clock::time_point{};
        return FramesUntil([&] {
            if (!settled()) return false;
            if (there()) return true;
            if (std::chrono::steady_clock::now() - moved > std::chrono::milliseconds(500)) {
                moved = std::chrono::steady_clock::now();
                std::system(("xdotool windowmove " + window + " " + std::to_string(x) + " " + std::to_string(y)).c_str());
            }
            return false;
        });
    }
    TPoint Centre(int button) const {
        const TRect r = Bar().ButtonAt(button).Bounds();
        return TPoint{r.Left + r.Width() / 2, r.Top + r.Height() / 2};
    }
    bool Full() const { return ScreenManager && ScreenManager->FullScreen() && view->Window().IsFullScreen(); }
    int Asked() const { return asked(); }

    TTestGameFolder folder;
    std::unique_ptr<TFormView> view;
    std::string window;  // the X window's id
    int display_changes = 0;  // the window's DisplayChange events handed on so far

private:
    static int& asked() {
        static int count = 0;
        return count;
    }
    static int yes_ask(const std::string&, const std::string&, MessageBoxKind, MessageBoxIcon) {
        ++asked();
        return IDYES;
    }
};
