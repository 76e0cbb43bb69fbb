// The choices full screen makes on X before it asks the server anything:
// the monitors CRTCs make, the monitor a window belongs to, where a window
// outside every monitor goes, and the mode a monitor takes for the game.
// And which X errors are written out.
#include "platform/display/x11_screen.h"
#include "tests/support/run_command.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// Last: they define names such as None, Bool and Status.
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace {

// 1280x1024 at the origin, 1920x1080 right of it.
const std::vector<TRect> kMonitors = {Bounds(0, 0, 1280, 1024), Bounds(1280, 0, 1920, 1080)};

// A CRTC at an area, offering the sizes given (each at 60 Hz, the first
// one's rate where it shows), mode id = width.
TShownCrtc Crtc(unsigned long id, const TRect& area, std::vector<uint32_t> widths, bool primary = false) {
    TShownCrtc c;
    c.State.Crtc = id;
    c.Area = area;
    c.Primary = primary;
    for (const uint32_t w : widths)
        c.State.Modes.push_back({w, DisplayMode{w, w * 3 / 4, 32, w == static_cast<uint32_t>(area.Width()) ? 85u : 60u}});
    c.State.Mode = static_cast<unsigned long>(area.Width());
    return c;
}

TEST(FullScreenChoice, OnlyCrtcsAtOneOriginAreOneMonitor) {
    const struct {
        const char* What;
        std::vector<TShownCrtc> Crtcs;
        std::vector<std::vector<unsigned long>> Monitors;  // the CRTCs of each
        std::vector<TRect> Bounds;
        std::vector<uint32_t> Widths;  // the sizes the first monitor offers
    } cases[] = {
        {"side by side",
         {Crtc(1, Bounds(0, 0, 1280, 960), {640, 1280}), Crtc(2, Bounds(1280, 0, 1920, 1440), {640, 1920})},
         {{1}, {2}}, {Bounds(0, 0, 1280, 960), Bounds(1280, 0, 1920, 1440)}, {640, 1280}},
        {"a mirror of another size",
         {Crtc(1, Bounds(0, 0, 1280, 960), {640, 1024, 1280}), Crtc(2, Bounds(0, 0, 1024, 768), {640, 800, 1024})},
         {{1, 2}}, {Bounds(0, 0, 1024, 768)}, {640, 1024}},
        {"a larger mirror",
         {Crtc(1, Bounds(0, 0, 1280, 960), {640, 1280}), Crtc(2, Bounds(0, 0, 1920, 1440), {640, 1280, 1920})},
         {{1, 2}}, {Bounds(0, 0, 1280, 960)}, {640, 1280}},
        // A hand-typed layout one column off, and a CRTC inside another:
        // each shows a picture of its own.
        {"overlapping by one column",
         {Crtc(1, Bounds(0, 0, 1280, 960), {640, 1280}), Crtc(2, Bounds(1279, 0, 1920, 1440), {640, 1920})},
         {{1}, {2}}, {Bounds(0, 0, 1280, 960), Bounds(1279, 0, 1920, 1440)}, {640, 1280}},
        {"one inside the other",
         {Crtc(1, Bounds(0, 0, 1280, 960), {640, 1280}), Crtc(2, Bounds(256, 256, 1024, 768), {640, 1024})},
         {{1}, {2}}, {Bounds(0, 0, 1280, 960), Bounds(256, 256, 1024, 768)}, {640, 1280}},
        {"a chain of overlaps, a clone of the second among them",
         {Crtc(1, Bounds(0, 0, 800, 600), {640, 800}), Crtc(2, Bounds(600, 0, 1440, 1080), {640, 800, 1440}),
          Crtc(3, Bounds(2000, 0, 800, 600), {640, 800}), Crtc(4, Bounds(600, 0, 800, 600), {640, 800})},
         {{1}, {2, 4}, {3}}, {Bounds(0, 0, 800, 600), Bounds(600, 0, 800, 600), Bounds(2000, 0, 800, 600)}, {640, 800}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::vector<TMonitor> monitors = JoinMirrors(c.Crtcs, 32);
        ASSERT_EQ(monitors.size(), c.Monitors.size());
        for (size_t i = 0; i < monitors.size(); ++i) {
            std::vector<unsigned long> crtcs;
            for (const TCrtcState& s : monitors[i].Crtcs) crtcs.push_back(s.Crtc);
            EXPECT_EQ(crtcs, c.Monitors[i]) << i;
            EXPECT_EQ(monitors[i].Bounds, c.Bounds[i]) << i;
        }
        std::vector<uint32_t> widths;
        for (const DisplayMode& m : monitors.front().Modes) widths.push_back(m.Width);
        EXPECT_EQ(widths, c.Widths);
        // The area shown, at the first CRTC's rate.
        const DisplayMode& shown = monitors.front().Shown;
        EXPECT_EQ(shown, (DisplayMode{static_cast<uint32_t>(c.Bounds[0].Width()),
                                      static_cast<uint32_t>(c.Bounds[0].Height()), 32, 85}));
    }
}

TEST(FullScreenChoice, TheMonitorOfAWindow) {
    const struct {
        TRect Window;
        int Monitor;
    } cases[] = {
        {Bounds(100, 100, 640, 502), 0},
        {Bounds(1580, 200, 640, 502), 1},
        // Across the border its centre decides.
        {Bounds(1000, 100, 640, 502), 1},
        {Bounds(900, 100, 640, 502), 0},
        // A centre on no monitor: the monitor it overlaps.
        {Bounds(1500, 900, 640, 400), 1},
        // Overlapping none: the nearest to its centre.
        {Bounds(1000, 1200, 100, 100), 0},
        {Bounds(5000, 100, 100, 100), 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MonitorOfArea(kMonitors, c.Window), c.Monitor) << c.Window.Left << "," << c.Window.Top;
    EXPECT_EQ(MonitorOfArea({}, Bounds(0, 0, 10, 10)), -1);
}

TEST(FullScreenChoice, AWindowOutsideEveryMonitorComesBackOntoOne) {
    const struct {
        TRect Window;
        int Home;
        TRect Placed;
    } cases[] = {
        // Partly on a monitor, it stays.
        {Bounds(3100, 1000, 640, 502), 0, Bounds(3100, 1000, 640, 502)},
        {Bounds(-600, -400, 640, 502), 0, Bounds(-600, -400, 640, 502)},
        // Beside them all, or where a monitor was: centred on the home monitor.
        {Bounds(3300, 100, 640, 502), 0, Bounds(320, 261, 640, 502)},
        {Bounds(1300, 1100, 640, 502), 1, Bounds(1280 + 640, 289, 640, 502)},
        // Larger than it: at its top-left corner.
        {Bounds(4000, 0, 2000, 1200), 0, Bounds(0, 0, 2000, 1200)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeepOnAMonitor(kMonitors, c.Window, c.Home), c.Placed) << c.Window.Left << "," << c.Window.Top;
}

TEST(FullScreenChoice, TheModeAMonitorTakes) {
    // As a monitor may list them: not in order.
    const std::vector<DisplayMode> modes = {{1024, 768, 32, 60}, {640, 480, 32, 75}, {800, 600, 32, 72},
                                            {640, 480, 32, 85}, {800, 600, 32, 56}, {640, 480, 32, 60},
                                            {2048, 1536, 32, 60}};
    const struct {
        DisplayMode Asked;
        TPoint Picture;
        int Chosen;
    } cases[] = {
        // The asked size at the asked rate.
        {{640, 480, 32, 75}, {640, 480}, 1},
        {{2048, 1536, 32, 60}, {640, 480}, 6},
        // A rate this monitor lacks: the lowest of that size.
        {{640, 480, 32, 72}, {640, 480}, 5},
        {{800, 600, 32, 60}, {640, 480}, 4},
        // An asked size too small for the picture: the smallest that holds it.
        {{800, 600, 32, 60}, {1024, 768}, 0},
        // A size it lacks: its smallest that holds the picture.
        {{720, 540, 32, 60}, {640, 480}, 5},
        {{720, 540, 32, 60}, {700, 500}, 4},
        // None holds the picture.
        {{2560, 1600, 32, 60}, {2560, 1600}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseMonitorMode(modes, c.Asked, c.Picture), c.Chosen) << c.Asked.Width << "x" << c.Asked.Height;
}

}  // namespace

// X errors once the player reports them: one on a window manager's frame
// of the player's window that has gone (as SDL meets them) is not written
// out, however many frames the window had before and whether or not the
// notice of that frame has been handed on; one on any other window gone
// still is, as every error was before.
TEST(XErrors, OnlyThoseOnAFrameOfThePlayersWindowGoUnsaid) {
    if (MissingTool({"Xvfb"})) GTEST_SKIP() << "Xvfb is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("XErrors.DISABLED_FramesInner"), 0);
}

TEST(XErrors, DISABLED_FramesInner) {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    ReportXErrors();
    const Window root = DefaultRootWindow(d);
    const Window player = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
    // As SDL asks for them: the notices of its own window.
    XSelectInput(d, player, StructureNotifyMask);
    const struct {
        const char* What;
        int Frames;    // put in and taken out of them in turn, each destroyed then
        bool HandedOn;  // their notices handed on as SDL does before the error, else still queued
        bool OnAFrame;  // the error names the first frame, else another window gone
        bool Said;
    } cases[] = {{"a frame whose notice is still queued", 1, false, true, false},
                 {"the first of 300 frames", 300, true, true, false},
                 {"another window gone", 1, true, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<Window> frames;
        for (int i = 0; i < c.Frames; ++i) {
            frames.push_back(XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0));
            XReparentWindow(d, player, frames.back(), 0, 0);
            XReparentWindow(d, player, root, 0, 0);
            XDestroyWindow(d, frames.back());
            XSync(d, False);
            for (XEvent x; c.HandedOn && XPending(d);) {
                XNextEvent(d, &x);
                SDL_SysWMmsg msg{};
                msg.subsystem = SDL_SYSWM_X11;
                msg.msg.x11.event = x;
                SDL_Event e{};
                e.type = SDL_SYSWMEVENT;
                e.syswm.msg = &msg;
                NoteWindowFrame(e, X11Window{d, player});
            }
        }
        Window gone = frames.front();
        if (!c.OnAFrame) {
            gone = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
            XDestroyWindow(d, gone);
        }
        ::testing::internal::CaptureStderr();
        Window child = 0;
        int x = 0, y = 0;
        XTranslateCoordinates(d, gone, root, 0, 0, &x, &y, &child);
        SayHeldXErrors(X11Window{d, player});
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("X error: BadWindow") != std::string::npos, c.Said) << said;
        XSync(d, True);
    }
    XCloseDisplay(d);
}
