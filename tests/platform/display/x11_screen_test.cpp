// The choices full screen makes on X before it asks the server anything:
// the monitor a window belongs to, where a window outside every monitor
// goes, and the mode a monitor takes for the game.
#include "platform/display/x11_screen.h"

#include <gtest/gtest.h>

namespace {

// 1280x1024 at the origin, 1920x1080 right of it.
const std::vector<TRect> kMonitors = {Bounds(0, 0, 1280, 1024), Bounds(1280, 0, 1920, 1080)};

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
