#include "platform/text/codepage.h"
#include "platform/display/keys.h"
#include "platform/display/video.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
std::vector<uint32_t> frame(int w, int h, uint32_t base) {
    std::vector<uint32_t> f(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f[static_cast<size_t>(y) * w + x] = base + static_cast<uint32_t>(y * 256 + x);
    return f;
}

uint32_t at(const Video& v, int x, int y) { return v.ReadPixels()[static_cast<size_t>(y) * v.ClientWidth() + x]; }
}  // namespace

TEST(Video, DummyDriverGivesTheHeadlessBackend) {
    auto v = Video::Create();
    EXPECT_TRUE(v->IsHeadless());
    EXPECT_FALSE(DisplayAvailable());
}

TEST(Video, PresentedFrameIsReadBackWithOffsetsAndDirtyRectangles) {
    auto v = Video::Create(VideoBackend::Headless);
    v->CreateWindow(40, 30, Sjis("テスト"));
    EXPECT_EQ(v->ClientWidth(), 40);
    EXPECT_EQ(at(*v, 39, 29), 0u);
    // A 20x10 frame below a 5-pixel strip, with a pitch wider than its rows.
    auto f = frame(24, 10, 0x100000);
    v->Update(f.data(), 20, 10, 24, 0, 5);
    v->Present();
    EXPECT_EQ(v->PresentCount(), 1u);
    EXPECT_EQ(at(*v, 0, 5), 0x100000u);
    EXPECT_EQ(at(*v, 19, 14), 0x100000u + 9 * 256 + 19);
    EXPECT_EQ(at(*v, 20, 5), 0u);  // column 20 of the pitch is not part of the frame
    EXPECT_EQ(at(*v, 0, 4), 0u);
    // Only the dirty rectangles move; a rectangle past the frame is clipped.
    auto g = frame(20, 10, 0x200000);
    const TRect dirty[] = {{2, 3, 4, 5}, {18, 8, 99, 99}};
    v->Update(g.data(), 20, 10, 20, 0, 5, dirty, 2);
    v->Present();
    EXPECT_EQ(at(*v, 2, 8), 0x200000u + 3 * 256 + 2);
    EXPECT_EQ(at(*v, 4, 8), 0x100000u + 3 * 256 + 4);
    EXPECT_EQ(at(*v, 19, 14), 0x200000u + 9 * 256 + 19);
    // A frame hanging over the client edges is cut, never written outside.
    v->Update(g.data(), 20, 10, 20, 30, 25);
    v->Update(g.data(), 20, 10, 20, -15, -8);
    EXPECT_EQ(at(*v, 39, 29), 0x200000u + 4 * 256 + 9);
    EXPECT_EQ(at(*v, 0, 0), 0x200000u + 8 * 256 + 15);
    // Resizing the client clears the image.
    v->SetClientSize(8, 8);
    EXPECT_EQ(at(*v, 7, 7), 0u);
}

TEST(Video, InjectedEventsComeOutOfThePumpInOrder) {
    auto v = Video::Create(VideoBackend::Headless);
    v->CreateWindow(64, 48, "");
    InputEvent e;
    EXPECT_FALSE(v->PollEvent(e));
    InputEvent key;
    key.Kind = InputEventKind::KeyDown;
    key.VirtualKey = VK_SPACE;
    key.Repeat = true;
    v->InjectEvent(key);
    InputEvent click;
    click.Kind = InputEventKind::MouseDown;
    click.Button = MouseButton::Right;
    click.X = 10;
    click.Y = 20;
    v->InjectEvent(click);
    ASSERT_TRUE(v->PollEvent(e));
    EXPECT_EQ(e.Kind, InputEventKind::KeyDown);
    EXPECT_EQ(e.VirtualKey, 32);
    EXPECT_TRUE(e.Repeat);
    ASSERT_TRUE(v->WaitEvent(e, 10));
    EXPECT_EQ(e.Kind, InputEventKind::MouseDown);
    EXPECT_EQ(e.Button, MouseButton::Right);
    EXPECT_EQ(e.Y, 20);
    EXPECT_FALSE(v->PollEvent(e));
}

TEST(Video, PointerFollowsMouseEventsAndAWarpArrivesAsAMove) {
    auto v = Video::Create(VideoBackend::Headless);
    v->CreateWindow(64, 48, "");
    InputEvent e;
    e.Kind = InputEventKind::MouseDown;
    e.X = 3;
    e.Y = 4;
    v->InjectEvent(e);
    e.Kind = InputEventKind::KeyDown;
    e.X = e.Y = 0;
    v->InjectEvent(e);
    EXPECT_EQ(v->PointerPosition(), (TPoint{0, 0}));  // not yet handed out
    while (v->PollEvent(e)) {
    }
    EXPECT_EQ(v->PointerPosition(), (TPoint{3, 4}));  // a key event carries no position
    v->WarpPointer(30, 40);
    EXPECT_EQ(v->PointerPosition(), (TPoint{30, 40}));
    ASSERT_TRUE(v->PollEvent(e));
    EXPECT_EQ(e.Kind, InputEventKind::MouseMove);
    EXPECT_EQ(e.X, 30);
    EXPECT_EQ(e.Y, 40);
    EXPECT_FALSE(v->PollEvent(e));
}

TEST(Video, HeadlessWindowPlacementModesAndCursors) {
    auto v = Video::Create(VideoBackend::Headless);
    v->CreateWindow(100, 50, "");
    v->SetZoom(200);
    EXPECT_EQ(v->WindowSize(), (TPoint{200, 100}));
    // Centring truncates the halves: (1024 - 201) / 2 = 411.
    v->SetZoom(100);
    v->SetClientSize(201, 51);
    v->Centre();
    EXPECT_EQ(v->Position(), (TPoint{411, 358}));

    auto modes = v->DisplayModes();
    ASSERT_FALSE(modes.empty());
    EXPECT_TRUE(v->SetFullScreen(&modes[1]));
    EXPECT_TRUE(v->IsFullScreen());
    EXPECT_EQ(v->FullScreenMode(), modes[1]);
    DisplayMode odd{123, 45, 32, 60};
    EXPECT_FALSE(v->SetFullScreen(&odd));
    EXPECT_EQ(v->FullScreenMode(), modes[1]);
    EXPECT_TRUE(v->SetFullScreen(nullptr));
    EXPECT_FALSE(v->IsFullScreen());

    std::vector<uint32_t> arrow(16 * 16, 0xFF000000u);
    int32_t c = v->CreateCursor(arrow.data(), 16, 16, 0, 0);
    EXPECT_GT(c, 0);
    v->SetCursor(c);
    EXPECT_EQ(v->CurrentCursor(), c);
    v->SetCursor(c + 100);
    EXPECT_EQ(v->CurrentCursor(), c);
    v->DestroyCursor(c);
    EXPECT_EQ(v->CurrentCursor(), 0);
    v->ShowCursor(false);
    EXPECT_FALSE(v->CursorVisible());
}

// The SDL backend runs on SDL's dummy driver too: its own event translation
// is checked by pushing SDL events into SDL's queue.
TEST(Video, SdlBackendTranslatesEventsIntoClientCoordinates) {
    auto v = Video::Create(VideoBackend::Sdl);
    ASSERT_FALSE(v->IsHeadless());
    v->CreateWindow(64, 48, Sjis("窓"));
    v->SetZoom(200);
    v->Show(true);
    EXPECT_EQ(v->WindowSize(), (TPoint{128, 96}));
    EXPECT_FALSE(SDL_IsScreenSaverEnabled());
    InputEvent e;
    while (v->PollEvent(e)) {
    }
    SDL_Window* w = ActiveSdlWindow();
    ASSERT_NE(w, nullptr);

    SDL_Event s{};
    s.type = SDL_KEYDOWN;
    s.key.windowID = SDL_GetWindowID(w);
    s.key.repeat = 1;
    s.key.keysym.scancode = SDL_SCANCODE_RETURN;
    s.key.keysym.sym = SDLK_RETURN;
    SDL_PushEvent(&s);
    s = {};
    s.type = SDL_MOUSEMOTION;
    s.motion.windowID = SDL_GetWindowID(w);
    s.motion.x = 100;
    s.motion.y = 50;
    SDL_PushEvent(&s);
    s = {};
    s.type = SDL_TEXTINPUT;
    s.text.windowID = SDL_GetWindowID(w);
    SDL_strlcpy(s.text.text, "あ", sizeof s.text.text);
    SDL_PushEvent(&s);
    s = {};
    s.type = SDL_MOUSEWHEEL;
    s.wheel.windowID = SDL_GetWindowID(w);
    s.wheel.y = -1;
    SDL_PushEvent(&s);
    s = {};
    s.type = SDL_QUIT;
    SDL_PushEvent(&s);

    std::vector<InputEvent> got;
    while (v->PollEvent(e)) got.push_back(e);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].Kind, InputEventKind::KeyDown);
    EXPECT_EQ(got[0].VirtualKey, 13);
    EXPECT_TRUE(got[0].Repeat);
    EXPECT_EQ(got[1].Kind, InputEventKind::MouseMove);
    EXPECT_EQ(got[1].X, 50);  // the window shows the client at twice its size
    EXPECT_EQ(got[1].Y, 25);
    EXPECT_EQ(got[2].Kind, InputEventKind::Text);
    EXPECT_EQ(got[2].Text, "\x82\xa0");
    EXPECT_EQ(got[3].Kind, InputEventKind::MouseWheel);
    EXPECT_EQ(got[3].WheelDelta, -1);
    EXPECT_EQ(got[3].X, 50);
    EXPECT_EQ(got[4].Kind, InputEventKind::CloseRequest);

    auto f = frame(64, 48, 0x300000);
    v->Update(f.data(), 64, 48, 64, 0, 0);
    v->Present();
    EXPECT_EQ(at(*v, 63, 47), 0x300000u + 47 * 256 + 63);
    v.reset();
    EXPECT_EQ(ActiveSdlWindow(), nullptr);
}

// A real window on an X server: run this program again on Xvfb.
TEST(Video, RealWindowUnderXvfbHasTheAskedSize) {
    if (MissingTool({"Xvfb"})) GTEST_SKIP() << "Xvfb is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("Video.DISABLED_RealWindowInner"), 0);
}

TEST(Video, DISABLED_RealWindowInner) {
    ASSERT_TRUE(DisplayAvailable());
    auto v = Video::Create();
    ASSERT_FALSE(v->IsHeadless());
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
    v->CreateWindow(320, 200, Sjis("大きさ"));
    v->Show(true);
    InputEvent e;
    auto pump = [&] {
        while (v->PollEvent(e)) {
        }
    };
    auto sdl_size = [] {
        TPoint s;
        SDL_GetWindowSize(ActiveSdlWindow(), &s.X, &s.Y);
        return s;
    };
    auto shown = [] { return (SDL_GetWindowFlags(ActiveSdlWindow()) & SDL_WINDOW_SHOWN) != 0; };
    StepUntil([&] { return shown() && sdl_size() == TPoint{320, 200}; }, pump);
    EXPECT_EQ(v->WindowSize(), (TPoint{320, 200}));
    int w = 0, h = 0;
    SDL_GetWindowSize(ActiveSdlWindow(), &w, &h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 200);
    EXPECT_FALSE(v->DisplayModes().empty());
    EXPECT_GE(v->DesktopMode().Width, 320u);

    // A warp in client coordinates lands on the zoomed window's pixels, and
    // the X server's motion comes back in client coordinates.
    v->SetZoom(200);
    StepUntil([&] { return sdl_size() == TPoint{640, 400}; }, pump);
    v->WarpPointer(30, 40);
    bool moved = false;
    StepUntil([&] { return moved; },
              [&] {
                  while (v->PollEvent(e))
                      if (e.Kind == InputEventKind::MouseMove && e.X == 30 && e.Y == 40) moved = true;
              });
    EXPECT_TRUE(moved);
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(ActiveSdlWindow(), &wx, &wy);
    EXPECT_EQ(gx - wx, 60);
    EXPECT_EQ(gy - wy, 80);
    EXPECT_EQ(v->PointerPosition(), (TPoint{30, 40}));
}
