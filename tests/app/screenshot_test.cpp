// The player's window on a real X server: this program runs itself again
// on Xvfb, plays the demo game in an SDL window for a moment, takes
// a screenshot with ImageMagick's import and checks the window's size (the
// game's picture plus the 22-pixel toolbar) and that the toolbar's two
// captions are drawn inside their buttons.
#include "shell/form_view.h"

#include "chrome/popup_menu.h"
#include "platform/system/clock.h"
#include "platform/text/codepage.h"
#include "platform/display/keys.h"
#include "script/game_clock.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/video.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

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

void run_inner(const char* test) {
    if (MissingTool({"Xvfb"})) GTEST_SKIP() << "Xvfb is not installed";
    if (MissingTool({"import"})) GTEST_SKIP() << "ImageMagick's import is not installed";
    EXPECT_EQ(RunSelfUnderXvfb(std::string("PlayerScreenshot.DISABLED_") + test), 0);
}

TEST(PlayerScreenshot, WindowIsTheGameAndTheToolbarWithItsCaptions) { run_inner("Inner"); }

// Handles the window's events and runs frames until ready() holds; false
// when it did not within a deadline that only bounds a hang.
bool pump_until(TFormView& view, const std::function<bool()>& ready) {
    const uint32_t start = TimeGetTime();
    InputEvent e;
    while (!ready()) {
        if (TimeGetTime() - start > 20000) return false;
        while (view.Window().PollEvent(e)) view.HandleEvent(e);
        if (view.ApplicationEventsIdle()) SDL_Delay(5);
    }
    return true;
}

InputEvent pointer(InputEventKind kind, int32_t x, int32_t y, MouseButton button) {
    InputEvent e;
    e.Kind = kind;
    e.X = x;
    e.Y = y;
    e.Button = button;
    return e;
}

InputEvent key(InputEventKind kind, int32_t vk) {
    InputEvent e;
    e.Kind = kind;
    e.VirtualKey = vk;
    return e;
}

TEST(PlayerScreenshot, PopUpMenuOpensFromTheToolbarAndSetsTheFramePeriod) { run_inner("PopUpMenu"); }

TEST(PlayerScreenshot, DISABLED_PopUpMenu) {
    FormViewUnitStart();
    {
        TTestGameFolder game;
        game.WriteWaitingGame();
        TFormView view({game.Path()}, Video::Create(VideoBackend::Sdl));
        view.FormCreate();
        ASSERT_FALSE(Terminating);
        ASSERT_TRUE(pump_until(view, [&] { return view.PresentedFrames > 5; }));
        // A right click on the game picture belongs to the game.
        view.Window().InjectEvent(pointer(InputEventKind::MouseDown, 300, 200, MouseButton::Right));
        view.Window().InjectEvent(pointer(InputEventKind::MouseUp, 300, 200, MouseButton::Right));
        const uint64_t frames = view.PresentedFrames;
        ASSERT_TRUE(pump_until(view, [&] { return view.PresentedFrames > frames + 2; }));
        EXPECT_EQ(view.PopupMenu(), nullptr);
        // A right click on the toolbar opens the menu where it was made.
        view.Window().InjectEvent(pointer(InputEventKind::MouseDown, 200, 10, MouseButton::Right));
        view.Window().InjectEvent(pointer(InputEventKind::MouseUp, 200, 10, MouseButton::Right));
        ASSERT_TRUE(pump_until(view, [&] { return view.PopupMenu() != nullptr; }));
        TPopupMenu& menu = *view.PopupMenu();
        EXPECT_EQ(menu.Origin(), (TPoint{200, 10}));
        ASSERT_EQ(menu.ItemCount(), 11);
        EXPECT_EQ(Cp932ToUtf8(menu.ItemAt(0).Text.Text), "フルスクリーン(F)");
        // While it is open no frame runs and the game clock stands still.
        const uint32_t clock = GameClock;
        for (int i = 0; i < 5; ++i) EXPECT_TRUE(view.ApplicationEventsIdle());
        EXPECT_EQ(GameClock, clock);

        TTestGameFolder scratch;
        Screen s;
        ASSERT_TRUE(grab(s, NativePath(scratch.Path() + "screen.ppm")));
        TPoint o;
        SDL_GetWindowPosition(ActiveSdlWindow(), &o.X, &o.Y);
        const TPoint m{o.X + menu.Origin().X, o.Y + menu.Origin().Y};
        for (int32_t i = 0; i < menu.ItemCount(); ++i) {
            SCOPED_TRACE(i);
            const TRect r = menu.ItemRect(i);
            const TRect gutter{r.Left, r.Top, r.Left + 18, r.Bottom};
            const TRect text{r.Left + 20, r.Top, r.Right, r.Bottom};
            if (menu.ItemAt(i).Separator) {
                EXPECT_EQ(ink_in(s, m, text), 0);
                continue;
            }
            EXPECT_GT(ink_in(s, m, text), 15);
            // The tick stands by the frame period and the divisor in use: 16 ms, every frame.
            const bool ticked = i == 2 || i == 7;
            EXPECT_EQ(ink_in(s, m, gutter) > 0, ticked);
        }
        // "64ms" clicked.
        const TRect item = menu.ItemRect(3);
        const int32_t x = menu.Origin().X + item.Left + 30, y = menu.Origin().Y + item.Top + 5;
        EXPECT_NE(Cp932ToUtf8(menu.ItemAt(3).Text.Text).find("64ms"), std::string::npos);
        view.Window().InjectEvent(pointer(InputEventKind::MouseMove, x, y, MouseButton::Left));
        view.Window().InjectEvent(pointer(InputEventKind::MouseDown, x, y, MouseButton::Left));
        view.Window().InjectEvent(pointer(InputEventKind::MouseUp, x, y, MouseButton::Left));
        ASSERT_TRUE(pump_until(view, [&] { return view.PopupMenu() == nullptr; }));
        EXPECT_EQ(FramePeriod, 64);
        // Shift+F10 opens it from the keyboard on its first item; Escape closes it.
        view.Window().InjectEvent(key(InputEventKind::KeyDown, VK_SHIFT));
        view.Window().InjectEvent(key(InputEventKind::KeyDown, VK_F1 + 9));
        ASSERT_TRUE(pump_until(view, [&] { return view.PopupMenu() != nullptr; }));
        EXPECT_EQ(view.PopupMenu()->Highlight(), 0);
        EXPECT_TRUE(view.PopupMenu()->ItemAt(3).Checked);
        view.Window().InjectEvent(key(InputEventKind::KeyUp, VK_F1 + 9));
        view.Window().InjectEvent(key(InputEventKind::KeyUp, VK_SHIFT));
        view.Window().InjectEvent(key(InputEventKind::KeyDown, VK_ESCAPE));
        ASSERT_TRUE(pump_until(view, [&] { return view.PopupMenu() == nullptr; }));
        EXPECT_EQ(FramePeriod, 64);
        FramePeriod = 16;
    }
    FormViewUnitFinish();
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
