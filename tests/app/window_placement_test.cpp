// Where the real player's window lands on X screens of several sizes, with
// and without a window manager (openbox, whose work area is the whole
// screen): centred where the screen holds it, and with its top-left corner
// on the screen where it is larger, so that its bar and menus stay in reach.
#include "platform/filesystem/filesys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";

// The number after label in text; -9999 when it is not there.
int number_after(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    int n = -9999;
    if (at != std::string::npos) std::sscanf(text.c_str() + at + label.size(), "%d", &n);
    return n;
}

TEST(WindowPlacement, TheWindowsTopLeftCornerStaysOnTheScreen) {
    if (const char* tool = MissingTool({"Xvfb", "xdotool", "xwininfo", "xprop", "openbox"}))
        GTEST_SKIP() << tool << " is not installed";
    // The window is 640x502: the 640x480 picture and the 22 rows of the bar.
    const struct {
        const char* Screen;
        bool Managed;
        int Left, Top;  // of the window's frame
    } cases[] = {
        {"600x400", true, 0, 0},
        {"600x400", false, 0, 0},
        {"1024x768", true, 192, 133},
        {"1024x768", false, 192, 133},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Screen) + (c.Managed ? " managed" : ""));
        TTestGameFolder game;
        game.WriteWaitingGame();
        const std::string folder = NativePath(game.Path());
        std::ofstream script(folder + "run.sh");
        script << "'" << kPlayer << "' '" << folder << "' & pid=$!\n"
               << ShellFindWindow()
               // A window manager has placed the window once it has framed it.
               << (c.Managed ? "grep -q -m1 ^_NET_FRAME_EXTENTS < <(" + ShellSpyProperties("-id $wid") +
                                  ")\n"
                             : "")
               << "{ xwininfo -id $wid; xprop -id $wid _NET_FRAME_EXTENTS; } > '" << folder << "window.txt'\n"
               << "kill $pid\n"
               << ShellAwaitEnd(folder + "status.txt");
        script.close();
        const CommandOutcome run = RunScriptUnderXvfb(folder + "run.sh", c.Screen, c.Managed);
        // A failure below shows what the script and the player said.
        SCOPED_TRACE("the script's output:\n" + run.Output);
        ASSERT_EQ(run.Status, 0);
        const std::string window = ReadNativeFileBytes(folder + "window.txt");
        // The frame's extents are left, right, top, bottom; none without a manager.
        int left = 0, right = 0, top = 0;
        const std::string label = "_NET_FRAME_EXTENTS(CARDINAL) = ";
        const size_t extents = window.find(label);
        EXPECT_EQ(extents != std::string::npos, c.Managed) << window;
        if (extents != std::string::npos)
            std::sscanf(window.c_str() + extents + label.size(), "%d, %d, %d", &left, &right, &top);
        EXPECT_EQ(number_after(window, "Absolute upper-left X:") - left, c.Left) << window;
        EXPECT_EQ(number_after(window, "Absolute upper-left Y:") - top, c.Top) << window;
        EXPECT_EQ(ReadNativeFileBytes(folder + "status.txt"), "0\n");
    }
}

}  // namespace
