// In full screen the toolbar hides until the pointer touches the top row;
// then a real pointer (xdotool on an X server: this program runs itself
// again under xvfb-run) must be able to go down onto its buttons and click
// them: "画面切替" back to the window, "終了" to the quit question. On a
// screen taller than 4:3 the band above the picture is that top row.
#include "media/base/screen_manager.h"
#include "chrome/toolbar.h"
#include "shell/form_view.h"
#include "platform/filesys.h"
#include "platform/video.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

// Last: the X11 headers it brings define names such as None and Bool.
#include <SDL_syswm.h>

namespace {

int g_asked = 0;
int yes_ask(const std::string&, const std::string&, MessageBoxKind, MessageBoxIcon) {
    ++g_asked;
    return IDYES;
}

// The player's window on the X server, on a game that only waits; the
// test runs its frames.
class PlayerOnX {
public:
    PlayerOnX() {
        folder.WriteWaitingGame();
        FormViewUnitStart();
        view = std::make_unique<TFormView>(std::vector<std::string>{folder.Path()}, Video::Create(VideoBackend::Sdl));
        view->FormCreate();
        view->Ask = yes_ask;
        g_asked = 0;
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
    TPoint Centre(int button) const {
        const TRect r = Bar().ButtonAt(button).Bounds();
        return TPoint{r.Left + r.Width() / 2, r.Top + r.Height() / 2};
    }
    bool Full() const { return ScreenManager && ScreenManager->FullScreen() && view->Window().IsFullScreen(); }

    TTestGameFolder folder;
    std::unique_ptr<TFormView> view;
    std::string window;  // the X window's id
};

TEST(FullScreenToolbar, ARealPointerReachesAndClicksBothButtons) {
    if (const char* tool = MissingTool({"xvfb-run", "xdotool"})) GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("FullScreenToolbar.DISABLED_Inner"), 0);
}

TEST(FullScreenToolbar, DISABLED_Inner) {
    PlayerOnX p;
    ASSERT_FALSE(Terminating);
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    // 1: "画面切替", 0: "終了".
    for (const int button : {1, 0}) {
        SCOPED_TRACE(button);
        p.Pointer(p.Centre(1).X, p.Centre(1).Y, true);
        ASSERT_TRUE(p.FramesUntil([&] { return p.Full() && !p.Bar().Visible(); }));
        p.Pointer(300, 0, false);
        ASSERT_TRUE(p.FramesUntil([&] { return p.Bar().Visible(); }));
        // Down onto the button, over the bar: it stays, and takes the click.
        p.Pointer(p.Centre(button).X, p.Centre(button).Y, true);
        if (button == 1) {
            ASSERT_TRUE(p.FramesUntil([&] { return !p.Full() && p.Bar().Visible(); }));
        } else {
            ASSERT_TRUE(p.FramesUntil([&] { return p.view->ClosePosted(); }));
            EXPECT_EQ(g_asked, 1);
        }
    }
}

// A 5:4 screen under a window manager: the 640x480 picture is scaled by 2
// to 1280x960 with a black band of 32 rows above and below it.
TEST(FullScreenToolbar, OnATallerScreenTheBandAboveThePictureIsTheTopRow) {
    if (const char* tool = MissingTool({"xvfb-run", "xdotool", "xprop", "openbox"}))
        GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("FullScreenToolbar.DISABLED_TallInner", "1280x1024", true), 0);
}

TEST(FullScreenToolbar, DISABLED_TallInner) {
    constexpr int32_t kScale = 2, kBand = 32;
    PlayerOnX p;
    ASSERT_FALSE(Terminating);
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const TPoint button = p.Centre(1);
    p.Pointer(button.X, button.Y, true);
    ASSERT_TRUE(p.FramesUntil([&] { return p.Full() && !p.Bar().Visible(); }));
    ASSERT_EQ(p.view->Window().FullScreenMode().Height, 1024u);
    // Up to the screen's top edge in small steps, across the picture's first
    // row and the band.
    for (int32_t y = 200; y >= 0; y -= 2) ASSERT_TRUE(p.PointerOnScreen(640, y)) << y;
    ASSERT_TRUE(p.Bar().Visible());
    // Down from the edge onto "画面切替": the bar stays all the way.
    for (int32_t y = 2; y <= kBand + kScale * button.Y; y += 2) {
        ASSERT_TRUE(p.PointerOnScreen(kScale * button.X, y)) << y;
        ASSERT_TRUE(p.Bar().Visible()) << y;
    }
    p.Pointer(kScale * button.X, kBand + kScale * button.Y, true, true);
    EXPECT_TRUE(p.FramesUntil([&] { return !p.Full() && p.Bar().Visible(); }));
}

}  // namespace
