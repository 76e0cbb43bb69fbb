// Full screen on an X server that really switches modes (Xorg's dummy
// driver, two monitors side by side: run_command.h), with and without a
// window manager: the mode taken when the game names no size, a switch the
// layout cannot take, the monitor the window is on, the window covering
// its monitor, the bar at entry, and every monitor's mode once the player
// has gone.
#include "platform/filesystem/filesys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/player_on_x.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

// The screen's size, each monitor's place and its mode with its rate.
const char* const kLayout = "xrandr | grep -E '^Screen|^DUMMY[01] |[*]'";
std::string Layout() { return RunCommand(kLayout).Output; }

// The index of a mode in the screen manager's list, -1 when not there.
int32_t ModeIndex(uint32_t width, uint32_t height, uint32_t rate = 0) {
    DisplayMode m;
    for (int32_t i = 0; ScreenManager->GetMode(i, m); ++i)
        if (m.Width == width && m.Height == height && (rate == 0 || m.RefreshRate == rate)) return i;
    return -1;
}

// The X window's place and size on the screen, as xwininfo has them.
TRect WindowArea(const std::string& window) {
    const std::string info = RunCommand("xwininfo -id " + window).Output;
    auto field = [&](const std::string& name) {
        const size_t at = info.find(name);
        return at == std::string::npos ? -1 : std::stoi(info.substr(at + name.size()));
    };
    return Bounds(field("Absolute upper-left X:"), field("Absolute upper-left Y:"), field("Width:"),
                  field("Height:"));
}

// Why Xorg's dummy server cannot run here (it needs root and the tools),
// empty when it can.
std::string XorgUnavailable() {
    if (geteuid() != 0) return "Xorg runs only as root";
    if (const char* tool = MissingTool({"Xorg", "xrandr", "xwininfo", "xdotool", "xprop", "openbox"}))
        return std::string(tool) + " is not installed";
    return {};
}

bool SwitchTo(PlayerOnX& p, int32_t mode) {
    ScreenManager->PreferredModeIndex = mode;
    p.view->SetFullScreen(true);
    return p.Full();
}

TEST(FullScreenMonitors, UnderAWindowManager) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(RunSelfUnderX("FullScreenMonitors.DISABLED_WindowManagerInner", "dummy", true), 0);
}

TEST(FullScreenMonitors, DISABLED_WindowManagerInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    Video& v = p.view->Window();
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const std::string before = Layout();
    ASSERT_THAT(before, HasSubstr("DUMMY1 connected 1920x1080+1280+0"));

    // No size named: the smallest mode that holds the 640x480 picture.
    DisplayMode preferred;
    ASSERT_TRUE(ScreenManager->GetMode(ScreenManager->PreferredModeIndex, preferred));
    EXPECT_EQ(preferred.Width, 640u);
    EXPECT_EQ(preferred.Height, 480u);
    p.Pointer(p.Centre(1).X, p.Centre(1).Y, true);
    ASSERT_TRUE(p.FramesUntil([&] { return p.Full(); }));
    EXPECT_THAT(Layout(), HasSubstr("DUMMY0 connected primary 640x480+0+0"));
    p.view->SetFullScreen(false);
    EXPECT_EQ(Layout(), before);

    // 2048x1536 is taller than the screen the two monitors make: the X
    // server refuses it half-way, and the game goes on in its window.
    EXPECT_FALSE(SwitchTo(p, ModeIndex(2048, 1536)));
    EXPECT_TRUE(p.Bar().Visible());
    EXPECT_EQ(Layout(), before);
    const uint64_t frames = p.view->PresentedFrames;
    EXPECT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > frames + 3; }));

    // The monitor's own mode leaves a band of 32 rows above the picture.
    // Clicked from the middle of the monitor, the button's place lies in
    // the picture once full screen has started: the bar stays hidden.
    ScreenManager->PreferredModeIndex = ModeIndex(1280, 1024, 85);
    p.Pointer(p.Centre(1).X, p.Centre(1).Y, true);
    ASSERT_TRUE(p.FramesUntil([&] { return p.Full(); }));
    const uint64_t entered = p.view->PresentedFrames;
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > entered + 20; }));
    EXPECT_FALSE(p.Bar().Visible());
    ASSERT_TRUE(p.PointerOnScreen(640, 0));
    EXPECT_TRUE(p.Bar().Visible());
    p.view->SetFullScreen(false);

    // Moved onto the second monitor, the window takes that one.
    v.Move(1280 + 300, 200);
    ASSERT_TRUE(p.FramesUntil([&] { return v.Position().X >= 1280; }));
    ASSERT_TRUE(SwitchTo(p, ModeIndex(640, 480)));
    std::string layout = Layout();
    EXPECT_THAT(layout, HasSubstr("DUMMY0 connected primary 1280x1024+0+0"));
    EXPECT_THAT(layout, HasSubstr("DUMMY1 connected 640x480+1280+0"));
    EXPECT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == Bounds(1280, 0, 640, 480); }));

    // The player ends in full screen: every monitor has its mode back.
    p.view.reset();
    EXPECT_EQ(Layout(), before);
}

TEST(FullScreenMonitors, WithoutAWindowManager) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(RunSelfUnderX("FullScreenMonitors.DISABLED_BareInner", "dummy", false), 0);
}

TEST(FullScreenMonitors, DISABLED_BareInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    Video& v = p.view->Window();
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    v.Move(1280 + 300, 200);
    ASSERT_TRUE(p.FramesUntil([&] { return v.Position().X >= 1280; }));
    // The second monitor's own mode: the window covers it all, and a white
    // picture, scaled by 9 / 4 to 1440x1080, has black bands of 240 columns
    // beside it.
    ASSERT_TRUE(SwitchTo(p, ModeIndex(1920, 1080)));
    EXPECT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == Bounds(1280, 0, 1920, 1080); }));
    const std::vector<uint32_t> white(640 * 480, 0xFFFFFF);
    v.Update(white.data(), 640, 480, 640, 0, 0);
    v.Present();
    auto shown = [](int32_t x, int32_t y) {
        const std::string at = std::to_string(x) + "+" + std::to_string(y);
        return RunCommand("import -window root -crop 1x1+" + at + " -depth 8 txt:- | tail -1 | grep -oE '#[0-9A-F]{6}'")
            .Output;
    };
    EXPECT_TRUE(WaitUntil([&] { return shown(1280 + 245, 540) == "#FFFFFF\n"; })) << shown(1280 + 245, 540);
    for (const int32_t x : {1280 + 235, 1280 + 1920 - 235}) EXPECT_EQ(shown(x, 540), "#000000\n") << x;
    EXPECT_EQ(shown(1280 + 1920 - 245, 1075), "#FFFFFF\n");
}

// The real player, in full screen on the second monitor from its pop-up
// menu, ended by SIGTERM.
TEST(FullScreenMonitors, ASignalEndingThePlayerLeavesEveryMonitorAsItWas) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    TTestGameFolder game;
    game.WriteWaitingGame();
    const std::string folder = NativePath(game.Path());
    std::ofstream script(folder + "run.sh");
    script << kLayout << " > '" << folder << "before.txt'\n"
           << "'" << VORQ_BINARY_DIR << "/vorqplayer' '" << folder << "' & pid=$!\n"
           << "wid=$(timeout 30 xdotool search --sync --pid $pid | head -1)\n"
           << "xdotool windowmove --sync $wid 1580 200 windowactivate --sync $wid\n"
           << "grep -q -m1 _NET_WM_STATE_FULLSCREEN < <(" << ShellSpyProperties("-id $wid _NET_WM_STATE")
           << ") & spy=$!\n"
           << "xdotool key Menu f\n"
           << "wait $spy && " << kLayout << " > '" << folder << "full.txt'\n"
           << "kill -TERM $pid\n"
           << ShellAwaitEnd(folder + "status.txt") << kLayout << " > '" << folder << "after.txt'\n";
    script.close();
    EXPECT_EQ(std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", true).c_str()), 0);
    const std::string before = ReadNativeFileBytes(folder + "before.txt");
    EXPECT_THAT(ReadNativeFileBytes(folder + "full.txt"), HasSubstr("DUMMY1 connected 640x480+1280+0"));
    EXPECT_EQ(ReadNativeFileBytes(folder + "status.txt"), "0\n");
    EXPECT_THAT(before, HasSubstr("DUMMY1 connected 1920x1080+1280+0"));
    EXPECT_EQ(ReadNativeFileBytes(folder + "after.txt"), before);
}

}  // namespace
