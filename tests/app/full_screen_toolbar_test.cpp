// In full screen the toolbar hides until the pointer touches the top row;
// then a real pointer (xdotool on an X server: this program runs itself
// again under xvfb-run) must be able to go down onto its buttons and click
// them: "画面切替" back to the window, "終了" to the quit question.
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

#include <string>

// Last: the X11 headers it brings define names such as None and Bool.
#include <SDL_syswm.h>

namespace {

int g_asked = 0;
int yes_ask(const std::string&, const std::string&, MessageBoxKind, MessageBoxIcon) {
    ++g_asked;
    return IDYES;
}

TEST(FullScreenToolbar, ARealPointerReachesAndClicksBothButtons) {
    if (const char* tool = MissingTool({"xvfb-run", "xdotool"})) GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("FullScreenToolbar.DISABLED_Inner"), 0);
}

TEST(FullScreenToolbar, DISABLED_Inner) {
    TTestGameFolder folder;
    TPageWriter page;
    page.Wait("1000000");
    folder.WritePage("main.vsb", page);
    folder.WriteProject(TestProjectData("main.vsb"));
    FormViewUnitStart();
    {
        TFormView view({folder.Path()}, Video::Create(VideoBackend::Sdl));
        view.FormCreate();
        ASSERT_FALSE(Terminating);
        view.Ask = yes_ask;
        g_asked = 0;
        TToolbar97& bar = *view.Toolbar();
        InputEvent e;
        auto frames_until = [&](auto ready) {
            return StepUntil(ready, [&] {
                while (view.Window().PollEvent(e)) view.HandleEvent(e);
                view.ApplicationEventsIdle();
            });
        };
        // The pointer to (x, y) of the window's client area, as the X server
        // has the window now.
        SDL_SysWMinfo wm;
        SDL_VERSION(&wm.version);
        ASSERT_TRUE(SDL_GetWindowWMInfo(ActiveSdlWindow(), &wm));
        const std::string window = std::to_string(wm.info.x11.window);
        auto pointer = [&](int32_t x, int32_t y, bool click) {
            const std::string args = std::to_string(x) + " " + std::to_string(y) + (click ? " click 1" : "");
            ASSERT_EQ(std::system(("xdotool mousemove --window " + window + " " + args).c_str()), 0);
        };
        auto centre = [&](int button) {
            const TRect r = bar.ButtonAt(button).Bounds();
            return TPoint{r.Left + r.Width() / 2, r.Top + r.Height() / 2};
        };
        auto full = [&] { return ScreenManager && ScreenManager->FullScreen() && view.Window().IsFullScreen(); };
        ASSERT_TRUE(frames_until([&] { return view.PresentedFrames > 5u; }));
        // 1: "画面切替", 0: "終了".
        for (const int button : {1, 0}) {
            SCOPED_TRACE(button);
            pointer(centre(1).X, centre(1).Y, true);
            ASSERT_TRUE(frames_until([&] { return full() && !bar.Visible(); }));
            pointer(300, 0, false);
            ASSERT_TRUE(frames_until([&] { return bar.Visible(); }));
            // Down onto the button, over the bar: it stays, and takes the click.
            pointer(centre(button).X, centre(button).Y, true);
            if (button == 1) {
                ASSERT_TRUE(frames_until([&] { return !full() && bar.Visible(); }));
            } else {
                ASSERT_TRUE(frames_until([&] { return view.ClosePosted(); }));
                EXPECT_EQ(g_asked, 1);
            }
        }
    }
    FormViewUnitFinish();
}

}  // namespace
