// The player's window on a real X server: this program runs itself again
// under xvfb-run, plays the demo game in an SDL window for a moment, takes
// a screenshot with ImageMagick's import and checks the window's size (the
// game's picture plus the 22-pixel toolbar) and that the toolbar's two
// captions are drawn inside their buttons.
#include "shell/form_view.h"

#include "platform/clock.h"
#include "platform/filesys.h"
#include "platform/video.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Screen {
    int32_t Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;  // 0x00RRGGBB
    uint32_t at(int32_t x, int32_t y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

bool grab(Screen& s, const std::string& file) {
    if (std::system(("import -window root -depth 8 '" + file + "'").c_str()) != 0) return false;
    std::ifstream f(file, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string bytes = ss.str();
    int w = 0, h = 0, max = 0, used = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &w, &h, &max, &used) != 3 || max != 255) return false;
    ++used;
    if (bytes.size() < size_t(used) + size_t(w) * size_t(h) * 3) return false;
    s.Width = w;
    s.Height = h;
    s.Pixels.resize(size_t(w) * size_t(h));
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + used);
    for (size_t i = 0; i < s.Pixels.size(); ++i)
        s.Pixels[i] = uint32_t(p[3 * i]) << 16 | uint32_t(p[3 * i + 1]) << 8 | p[3 * i + 2];
    return true;
}

int luminance(uint32_t c) { return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF); }

// Pixels of a box (client coordinates) darker than the bar's grey face.
int ink_in(const Screen& s, TPoint origin, const TRect& box) {
    int n = 0;
    for (int32_t y = box.Top; y < box.Bottom; ++y)
        for (int32_t x = box.Left; x < box.Right; ++x) n += luminance(s.at(origin.X + x, origin.Y + y)) < 3 * 110;
    return n;
}

TEST(PlayerScreenshot, WindowIsTheGameAndTheToolbarWithItsCaptions) {
    if (!have("xvfb-run")) GTEST_SKIP() << "xvfb-run is not installed";
    if (!have("import")) GTEST_SKIP() << "ImageMagick's import is not installed";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    const std::string cmd = "xvfb-run -a -s '-screen 0 1024x768x24' env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy '" +
                            std::string(self) +
                            "' --gtest_also_run_disabled_tests --gtest_filter=PlayerScreenshot.DISABLED_Inner";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(PlayerScreenshot, DISABLED_Inner) {
    FormViewUnitStart();
    {
        TFormView view({std::string(VORQ_BINARY_DIR) + "/demo"}, Video::Create(VideoBackend::Sdl));
        view.FormCreate();
        ASSERT_FALSE(Terminating);
        // Let the window appear and run a few frames of the demo.
        InputEvent e;
        StepUntil([&] { return view.PresentedFrames > 10u; },
                  [&] {
                      while (view.Window().PollEvent(e)) view.HandleEvent(e);
                      view.ApplicationEventsIdle();
                  });
        ASSERT_GT(view.PresentedFrames, 10u);
        EXPECT_STREQ(SDL_GetWindowTitle(ActiveSdlWindow()), "ヴォルクデモ");
        // No screen saver interrupts the game.
        EXPECT_FALSE(SDL_IsScreenSaverEnabled());
        int w = 0, h = 0;
        SDL_GetWindowSize(ActiveSdlWindow(), &w, &h);
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 480 + 22);

        TTestGameFolder scratch;
        Screen s;
        ASSERT_TRUE(grab(s, NativePath(scratch.Path() + "screen.ppm")));
        TPoint o;
        SDL_GetWindowPosition(ActiveSdlWindow(), &o.X, &o.Y);
        ASSERT_GE(o.X, 0);
        ASSERT_GE(o.Y, 0);
        ASSERT_LE(o.X + 640, s.Width);
        ASSERT_LE(o.Y + 502, s.Height);
        // "終了" and "画面切替" inside their 67 x 18 buttons; the rest of the
        // bar carries no text.
        EXPECT_GT(ink_in(s, o, TRect{4, 4, 63, 19}), 25);
        EXPECT_GT(ink_in(s, o, TRect{71, 4, 130, 19}), 50);
        EXPECT_EQ(ink_in(s, o, TRect{140, 2, 636, 20}), 0);
        // The bar's face is light, the game's picture below it black (the
        // demo draws nothing on it yet).
        EXPECT_GT(luminance(s.at(o.X + 300, o.Y + 10)), 3 * 150);
        int lit = 0;
        for (int32_t y = 22; y < 502; y += 7)
            for (int32_t x = 0; x < 640; x += 7) lit += luminance(s.at(o.X + x, o.Y + y)) > 30;
        EXPECT_EQ(lit, 0);
    }
    FormViewUnitFinish();
}

}  // namespace
