// The player's window on a real X server (the test program runs itself
// again on one: run_command.h), on a game that only waits; the test runs
// its frames and moves the real pointer with xdotool. The quit question
// is answered yes and counted.
#pragma once
#include "chrome/toolbar.h"
#include "media/base/screen_manager.h"
#include "platform/display/video.h"
#include "shell/form_view.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>

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
            while (view->Window().PollEvent(e)) view->HandleEvent(e);
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
    bool MoveWindow(int32_t x, int32_t y) {
        return std::system(("xdotool windowmove --sync " + window + " " + std::to_string(x) + " " + std::to_string(y))
                               .c_str()) == 0;
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
