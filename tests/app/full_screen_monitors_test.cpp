// Full screen on an X server that really switches modes (Xorg's dummy
// driver, two or three monitors: run_command.h), with and without a window
// manager: the mode taken when the game names no size, a mode the server
// refuses, the monitor the window is on, the window covering its monitor,
// the bar at entry, monitors of different modes, the focus going to
// another monitor, what others change meanwhile, and every monitor's mode
// once the player has gone, however it ends. And on a screen smaller than
// the picture (Xvfb), full screen with the pointer where it really is.
#include "engine/scenario_writer.h"
#include "objects/base_list.h"
#include "platform/display/screen_watcher.h"
#include "platform/display/x11_screen.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/single_instance.h"
#include "tests/support/file_bytes.h"
#include "tests/support/player_on_x.h"

#include <X11/Xatom.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The screen's size, each monitor's place and its mode with its rate.
const char* const kLayout = "xrandr | grep -E '^Screen|^DUMMY[0-9] |[*]'";
std::string Layout() { return RunCommand(kLayout).Output; }

// A monitor's place and size in a layout, empty when it is off.
TRect OutputArea(const std::string& layout, const std::string& output) {
    std::smatch m;
    const std::regex line(output + " (dis)?connected (primary )?([0-9]+)x([0-9]+)\\+([0-9]+)\\+([0-9]+)");
    if (!std::regex_search(layout, m, line)) return {};
    return Bounds(std::stoi(m[5]), std::stoi(m[6]), std::stoi(m[3]), std::stoi(m[4]));
}

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

// The colour the screen shows at a point, as "#RRGGBB\n".
std::string ShownAt(int32_t x, int32_t y) {
    const std::string at = std::to_string(x) + "+" + std::to_string(y);
    return RunCommand("import -window root -crop 1x1+" + at + " -depth 8 txt:- | tail -1 | grep -oE '#[0-9A-F]{6}'").Output;
}

// The player's window, its first frames shown, dragged onto an output.
bool ShownOn(PlayerOnX& p, const char* output) {
    if (p.window.empty() || !p.FramesUntil([&] { return p.view->PresentedFrames > 5u; })) return false;
    const TRect monitor = OutputArea(Layout(), output);
    return p.MoveWindow(monitor.Left + 300, monitor.Top + 200);
}

bool SwitchTo(PlayerOnX& p, int32_t mode) {
    ScreenManager->PreferredModeIndex = mode;
    p.view->SetFullScreen(true);
    return p.Full();
}

// Runs an inner test on the dummy server with each window manager choice.
void RunOnBothDesktops(const std::string& inner, const std::string& monitors) {
    for (const bool window_manager : {true, false}) {
        SCOPED_TRACE(window_manager ? "under openbox" : "without a window manager");
        EXPECT_EQ(RunSelfUnderX("FullScreenMonitors.DISABLED_" + inner, "dummy", window_manager, monitors), 0);
    }
}

// The inner tests' case, chosen by the outer test.
const char* const kCaseVariable = "VORQ_TEST_CASE";
size_t InnerCase() { return std::strtoul(std::getenv(kCaseVariable) ? std::getenv(kCaseVariable) : "0", nullptr, 10); }

// Runs an inner test on both desktops once for each case of a table (its
// What and its layout before, by monitors), the case's index handed on.
template <class Case, size_t N, class Monitors>
void RunEachCaseOnBothDesktops(const std::string& inner, const Case (&cases)[N], Monitors monitors) {
    for (size_t i = 0; i < N; ++i) {
        SCOPED_TRACE(cases[i].What);
        setenv(kCaseVariable, std::to_string(i).c_str(), 1);
        RunOnBothDesktops(inner, monitors(cases[i]));
    }
}

bool UnderOpenbox() { return WindowManagerRuns(X11WindowOf(ActiveSdlWindow()).Display); }

// A game of that picture size that enters full screen on its first frame
// and waits.
void WriteFullScreenGame(TTestGameFolder& game, int32_t width, int32_t height) {
    TPageWriter page;
    page.Calc("@FullScr = 1");
    page.Wait("1000000");
    game.WritePage("main.vsb", page);
    TProjectFileData project = TestProjectData("main.vsb");
    project.Width = width;
    project.Height = height;
    game.WriteProject(project);
}

// The shell lines of a script that runs the real player (play folder; its
// stderr to stderr.txt) in a folder: until_true polls a command with a
// deadline load cannot reach (else failed.txt says so), wait_for a line of
// the layout, covers whether player pid's window is that wide.
std::string ScriptHead(const std::string& folder) {
    return "cd '" + folder + "'\nlayout() { " + kLayout + "; }\n" +
           "until_true() { local end=$(( $(date +%s) + 120 )); until \"$@\"; do [ $(date +%s) -lt $end ] || "
           "{ echo \"never: $*\" >> failed.txt; return 1; }; sleep 0.01; done; }\n"
           "shows() { layout | grep -q \"$1\"; }\nwait_for() { until_true shows \"$1\"; }\n"
           "covers() { local w=$(xdotool search --onlyvisible --pid $1 2>/dev/null | head -1); "
           "[ -n \"$w\" ] && xwininfo -id $w | grep -q \"Width: *$2\\$\"; }\n"
           "play() { '" + std::string(VORQ_BINARY_DIR) + "/vorqplayer' \"$1\" 2>>stderr.txt & pid=$!; }\n";
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
    // server refuses it, and the game covers its monitor at the mode it
    // has, the picture scaled.
    EXPECT_TRUE(SwitchTo(p, ModeIndex(2048, 1536)));
    EXPECT_EQ(v.FullScreenMode().Width, 1280u);
    EXPECT_EQ(Layout(), before);
    EXPECT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == Bounds(0, 0, 1280, 1024); }));
    p.view->SetFullScreen(false);
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
    EXPECT_TRUE(WaitUntil([&] { return ShownAt(1280 + 245, 540) == "#FFFFFF\n"; })) << ShownAt(1280 + 245, 540);
    for (const int32_t x : {1280 + 235, 1280 + 1920 - 235}) EXPECT_EQ(ShownAt(x, 540), "#000000\n") << x;
    EXPECT_EQ(ShownAt(1280 + 1920 - 245, 1075), "#FFFFFF\n");
}

// The second monitor right of the first and below it: full screen there
// twenty times in a row, then a click on the first monitor (which takes
// the focus under a window manager), then the player's end in full screen.
TEST(FullScreenMonitors, OnTheSecondMonitorAClickOnTheFirstChangesNothing) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    for (const std::string* monitors : {&kSecondMonitorRight, &kSecondMonitorBelow}) {
        SCOPED_TRACE(*monitors);
        RunOnBothDesktops("SecondMonitorInner", *monitors);
    }
}

TEST(FullScreenMonitors, DISABLED_SecondMonitorInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const std::string before = Layout();
    const TRect first = OutputArea(before, "DUMMY0"), second = OutputArea(before, "DUMMY1");
    ASSERT_FALSE(RectIsEmpty(second)) << before;
    // Dragged there as a user drags it, full screen asked for at once: the
    // window's own idea of its place still lags.
    ASSERT_TRUE(p.MoveWindow(second.Left + 300, second.Top + 200));
    const TRect game = Bounds(second.Left, second.Top, 640, 480);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        p.view->SetFullScreen(true);
        ASSERT_TRUE(p.Full());
        const std::string layout = Layout();
        EXPECT_EQ(OutputArea(layout, "DUMMY1"), game) << layout;
        EXPECT_EQ(OutputArea(layout, "DUMMY0"), first) << layout;
        ASSERT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == game; })) << WindowArea(p.window).Left;
        p.view->SetFullScreen(false);
        ASSERT_EQ(Layout(), before);
    }

    // Another program's window on the first monitor takes the focus with a click.
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    const std::string full = Layout();
    const std::string other =
        RunCommand("xmessage -geometry 400x300+" + std::to_string(first.Left + 100) + "+" + std::to_string(first.Top + 100) +
                   " another program >/dev/null 2>&1 & timeout 120 xdotool search --sync --name '^xmessage$' | head -1")
            .Output;
    ASSERT_FALSE(other.empty());
    ASSERT_EQ(std::system(("xdotool mousemove --window " + other.substr(0, other.size() - 1) +
                           " 50 50 click 1 windowfocus --sync " + other.substr(0, other.size() - 1))
                              .c_str()),
              0);
    EXPECT_TRUE(p.FramesUntil([&] { return !p.view->Active; }));
    EXPECT_TRUE(p.Full());
    EXPECT_EQ(Layout(), full);
    p.view->SetFullScreen(false);
    EXPECT_EQ(Layout(), before);

    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    p.view.reset();
    EXPECT_EQ(Layout(), before);
}

// A mode the first monitor offers and the second does not: on the second
// full screen takes that monitor's smallest mode that holds the picture.
TEST(FullScreenMonitors, MonitorsOfDifferentModesBothTakeTheGame) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    RunOnBothDesktops("OwnModesInner", kSecondMonitorRight +
                                           " && xrandr --newmode 720x540 30.59 720 744 816 912 540 541 544 559 "
                                           "-hsync +vsync && xrandr --addmode DUMMY0 720x540");
}

TEST(FullScreenMonitors, DISABLED_OwnModesInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const std::string before = Layout();
    const TRect second = OutputArea(before, "DUMMY1");
    ASSERT_GE(ModeIndex(720, 540), 0);
    ScreenManager->PreferredModeIndex = ModeIndex(720, 540);
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    EXPECT_EQ(OutputArea(Layout(), "DUMMY0"), Bounds(0, 0, 720, 540));
    p.view->SetFullScreen(false);
    EXPECT_EQ(Layout(), before);

    ASSERT_TRUE(p.MoveWindow(second.Left + 300, second.Top + 200));
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    EXPECT_EQ(OutputArea(Layout(), "DUMMY1"), Bounds(second.Left, second.Top, 640, 480));
    EXPECT_EQ(p.view->Window().FullScreenMode().Width, 640u);
    p.view->SetFullScreen(false);
    EXPECT_EQ(Layout(), before);
}

// While the game is in full screen on the second monitor, someone turns a
// third one on and changes the first, then switches the game's own off:
// leaving full screen keeps what they did.
TEST(FullScreenMonitors, WhatOthersChangeMeanwhileStays) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    RunOnBothDesktops("OthersChangeInner", kSecondMonitorRight);
}

TEST(FullScreenMonitors, DISABLED_OthersChangeInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const TRect second = OutputArea(Layout(), "DUMMY1");
    ASSERT_TRUE(p.MoveWindow(second.Left + 300, second.Top + 200));
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    ASSERT_EQ(std::system("xrandr --addmode DUMMY2 1024x768 && xrandr --output DUMMY2 --mode 1024x768 --pos 0x1080 && "
                          "xrandr --output DUMMY0 --mode 1024x768"),
              0);
    p.view->SetFullScreen(false);
    std::string layout = Layout();
    EXPECT_EQ(OutputArea(layout, "DUMMY1"), second) << layout;
    EXPECT_EQ(OutputArea(layout, "DUMMY0"), Bounds(0, 0, 1024, 768)) << layout;
    EXPECT_EQ(OutputArea(layout, "DUMMY2"), Bounds(0, 1080, 1024, 768)) << layout;

    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    ASSERT_EQ(std::system("xrandr --output DUMMY1 --off"), 0);
    p.view->SetFullScreen(false);
    layout = Layout();
    EXPECT_TRUE(RectIsEmpty(OutputArea(layout, "DUMMY1"))) << layout;
    const std::vector<TRect> on = {OutputArea(layout, "DUMMY0"), OutputArea(layout, "DUMMY2")};
    EXPECT_TRUE(p.FramesUntil([&] {
        const TRect w = WindowArea(p.window);
        return std::any_of(on.begin(), on.end(), [&](const TRect& m) { return !RectIsEmpty(IntersectRects(m, w)); });
    })) << WindowArea(p.window).Left << "," << WindowArea(p.window).Top;
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
           // Moved once shown: the player places its window itself before.
           << ShellFindWindow()
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

// The real player in full screen on a game stuck inside one frame: SIGINT
// ends it all the same, without its lock file and temporary folder, every
// monitor as it was; after SIGKILL the watcher puts the monitor back. The
// times taken are written out as figures, never a bound: a busy machine
// may take many times as long.
TEST(FullScreenMonitors, AStuckOrKilledPlayerLeavesEveryMonitorAsItWas) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    for (const bool window_manager : {true, false}) {
        SCOPED_TRACE(window_manager ? "under openbox" : "without a window manager");
        TTestGameFolder game;
        TPageWriter page;
        page.Calc("@FullScr = 1");
        page.While("1");
        page.EndWhile();
        game.WritePage("main.vsb", page);
        game.WriteProject(TestProjectData("main.vsb"));
        const std::string folder = NativePath(game.Path());
        ASSERT_TRUE(ForceDirectories(game.Path() + "tmp"));
        const std::string lock = NativePath(InstanceLockFile(InstanceMutexName(game.Path())));
        std::ofstream script(folder + "run.sh");
        script << "cd '" << folder << "'\n"
               << "layout() { " << kLayout << "; }\n"
               << "layout > before.txt\n"
               // Each look at the layout is a round trip to the server: the
               // loop asks again at once, until its deadline.
               << "full() { local end=$(( $(date +%s) + 120 )); "
                  "until layout | grep -q 'DUMMY0 connected primary 640x480+0+0'; do "
                  "[ $(date +%s) -lt $end ] || { echo never in full screen >> failed.txt; return; }; done; }\n"
               << "back() { local end=$(( $(date +%s) + 120 )); until layout | cmp -s - before.txt; do "
                  "[ $(date +%s) -lt $end ] || return; done; }\n"
               << "start() { TMPDIR='" << folder << "tmp' '" << VORQ_BINARY_DIR << "/vorqplayer' '" << folder
               << "' & pid=$!; full; }\n"
               << "ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }\n"
               << "start; t=$(date +%s%N); kill -INT $pid\n"
               << ShellAwaitEnd(folder + "status.txt") << "ms $t > int_ms.txt\n"
               << "layout > after_int.txt; ls tmp > left.txt; [ -e '" << lock << "' ] && echo lock file >> left.txt\n"
               << "start; kill -KILL $pid; t=$(date +%s%N)\n"
               << "back; ms $t > kill_ms.txt\n"
               << "wait $pid; layout > after_kill.txt\n";
        script.close();
        EXPECT_EQ(std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", window_manager).c_str()),
                  0);
        const std::string before = ReadNativeFileBytes(folder + "before.txt");
        EXPECT_EQ(ReadNativeFileBytes(folder + "failed.txt"), "");
        // Ended by its own signal after its grace.
        EXPECT_EQ(ReadNativeFileBytes(folder + "status.txt"), std::to_string(128 + SIGINT) + "\n");
        EXPECT_EQ(ReadNativeFileBytes(folder + "after_int.txt"), before);
        EXPECT_EQ(ReadNativeFileBytes(folder + "left.txt"), "");
        std::cout << "figures: SIGINT to the end " << ReadNativeFileBytes(folder + "int_ms.txt")
                  << "SIGKILL to every monitor back " << ReadNativeFileBytes(folder + "kill_ms.txt");
        EXPECT_EQ(ReadNativeFileBytes(folder + "after_kill.txt"), before);
    }
}

// Minimised (unmapped, without a window manager or when asked) and shown
// again ten times in full screen on each of two monitors: meanwhile the monitor
// shows its own mode and the game stands still; shown, the game takes the
// monitor again, covers it and runs.
// Unmapped and mapped again under a window manager, which forgets a
// window's full screen when it is withdrawn: the game asks for it again.
TEST(FullScreenMonitors, AMinimisedGameGivesItsMonitorBack) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    setenv(kCaseVariable, "0", 1);
    RunOnBothDesktops("MinimiseInner", kSecondMonitorRight);
    setenv(kCaseVariable, "1", 1);
    EXPECT_EQ(RunSelfUnderX("FullScreenMonitors.DISABLED_MinimiseInner", "dummy", true), 0);
}

TEST(FullScreenMonitors, DISABLED_MinimiseInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const std::string before = Layout();
    const bool minimise = UnderOpenbox() && InnerCase() == 0;
    const std::string hide = (minimise ? "xdotool windowminimize " : "xdotool windowunmap ") + p.window;
    const std::string show = (minimise ? "xdotool windowactivate " : "xdotool windowmap ") + p.window;
    for (const char* output : {"DUMMY0", "DUMMY1"}) {
        SCOPED_TRACE(output);
        const TRect monitor = OutputArea(before, output);
        ASSERT_TRUE(p.MoveWindow(monitor.Left + 300, monitor.Top + 200));
        p.view->SetFullScreen(true);
        ASSERT_TRUE(p.Full());
        const TRect game = Bounds(monitor.Left, monitor.Top, 640, 480);
        for (int i = 0; i < 10; ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(std::system(hide.c_str()), 0);
            ASSERT_TRUE(p.FramesUntil([&] { return !p.view->Active && Layout() == before; })) << Layout();
            ASSERT_EQ(std::system(show.c_str()), 0);
            ASSERT_TRUE(p.FramesUntil([&] {
                return p.view->Active && OutputArea(Layout(), output) == game && WindowArea(p.window) == game;
            })) << Layout();
        }
        p.view->SetFullScreen(false);
        EXPECT_EQ(Layout(), before);
    }
}

// The monitors change while the game is in full screen on one of them.
struct TMonitorChange {
    const char* What;
    const std::string* Monitors;  // the layout before
    const char* GameOutput;
    const char* Change;
    TRect Covered;                // the game's monitor after the change
    std::vector<std::pair<const char*, TRect>> After;  // every monitor once the game has gone
};
const TMonitorChange kMonitorChanges[] = {
    {"a monitor plugged in left", &kSecondMonitorRight, "DUMMY0",
     "xrandr --addmode DUMMY2 1024x768 && "
     "xrandr --output DUMMY2 --mode 1024x768 --pos 0x0 --output DUMMY0 --pos 1024x0 --output DUMMY1 --pos 2304x0",
     Bounds(1024, 0, 640, 480),
     {{"DUMMY2", Bounds(0, 0, 1024, 768)}, {"DUMMY0", Bounds(1024, 0, 1280, 1024)}, {"DUMMY1", Bounds(2304, 0, 1920, 1080)}}},
    {"the monitor left of it unplugged", &kSecondMonitorLeft, "DUMMY0", "xrandr --output DUMMY1 --off --output DUMMY0 --pos 0x0",
     Bounds(0, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", TRect{}}}},
    // The window goes to the primary monitor, which full screen then takes.
    {"its own monitor turned off", &kSecondMonitorRight, "DUMMY1", "xrandr --output DUMMY1 --off", Bounds(0, 0, 640, 480),
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", TRect{}}}},
    // Only its CRTC's place changes: no output tells of it.
    {"its own monitor moved down", &kSecondMonitorRight, "DUMMY0", "xrandr --output DUMMY0 --pos 0x100",
     Bounds(0, 100, 640, 480), {{"DUMMY0", Bounds(0, 100, 1280, 1024)}, {"DUMMY1", Bounds(1280, 0, 1920, 1080)}}},
    // Another program's mode stays, the game covers the monitor at it.
    {"its own monitor set another mode", &kSecondMonitorRight, "DUMMY0", "xrandr --output DUMMY0 --mode 1024x768",
     Bounds(0, 0, 1024, 768), {{"DUMMY0", Bounds(0, 0, 1024, 768)}, {"DUMMY1", Bounds(1280, 0, 1920, 1080)}}},
};

// The pointer moved a quarter into the monitor the game covers lies a
// quarter into its 640x480 picture.
void ExpectPointerAQuarterIntoThePicture(PlayerOnX& p, const TRect& covered) {
    p.Pointer(covered.Left + covered.Width() / 4, covered.Top + covered.Height() / 4, false, true);
    EXPECT_TRUE(p.FramesUntil([&] {
        const TPoint at = p.view->Window().PointerPosition();
        return std::abs(at.X - 160) <= 1 && std::abs(at.Y - 120) <= 1;
    })) << p.view->Window().PointerPosition().X << "," << p.view->Window().PointerPosition().Y;
}

void ExpectMonitors(const std::string& layout, const TMonitorChange& c) {
    for (const auto& [output, area] : c.After) EXPECT_EQ(OutputArea(layout, output), area) << output << "\n" << layout;
}

// Each change followed by leaving full screen: the window covers the game's
// monitor where it lies after the change, and leaving puts every monitor
// back at its own mode.
TEST(FullScreenMonitors, MonitorsChangingInFullScreenAreFollowed) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    RunEachCaseOnBothDesktops("MonitorChangeInner", kMonitorChanges, [](const auto& c) { return *c.Monitors; });
}

TEST(FullScreenMonitors, DISABLED_MonitorChangeInner) {
    const TMonitorChange& c = kMonitorChanges[InnerCase()];
    PlayerOnX p;
    ASSERT_TRUE(ShownOn(p, c.GameOutput));
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    // The pointer a quarter into the picture before the change too: a motion
    // after it to the place in the window where it lay then is a real one.
    ExpectPointerAQuarterIntoThePicture(p, p.view->Window().MonitorBounds());
    ASSERT_EQ(std::system(c.Change), 0);
    EXPECT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == c.Covered; }))
        << WindowArea(p.window).Left << "," << WindowArea(p.window).Top << "\n" << Layout();
    EXPECT_TRUE(p.Full());
    // The pointer, still through the change, then moved.
    ExpectPointerAQuarterIntoThePicture(p, c.Covered);
    p.view->SetFullScreen(false);
    ExpectMonitors(Layout(), c);
}

// The real player in full screen on its first monitor, the monitors
// changed, then ended by SIGTERM or SIGKILL: every monitor comes back at
// its own mode, from the player or from its watcher.
TEST(FullScreenMonitors, MonitorsChangedThenThePlayerKilled) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    for (const TMonitorChange& c : {kMonitorChanges[0], kMonitorChanges[1]})
        for (const char* signal : {"TERM", "KILL"})
            for (const bool window_manager : {true, false}) {
                SCOPED_TRACE(std::string(c.What) + ", SIG" + signal + (window_manager ? ", openbox" : ""));
                TTestGameFolder game;
                WriteFullScreenGame(game, 640, 480);
                const std::string folder = NativePath(game.Path());
                TRect own;
                for (const auto& [output, area] : c.After)
                    if (std::string(output) == "DUMMY0") own = area;
                const std::string back = "DUMMY0 connected primary 1280x1024+" + std::to_string(own.Left) + "+0";
                std::ofstream script(folder + "run.sh");
                script << ScriptHead(folder) << "play '" << folder << "'\n"
                       << "wait_for 'DUMMY0 connected primary 640x480' || exit 0\n"
                       << c.Change << "\n"
                       << "kill -" << signal << " $pid\n"
                       << ShellAwaitEnd(folder + "status.txt") << "wait_for '" << back << "'\n"
                       << "layout > after.txt\n";
                script.close();
                EXPECT_EQ(std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", window_manager,
                                                     *c.Monitors)
                                          .c_str()),
                          0);
                EXPECT_EQ(ReadNativeFileBytes(folder + "failed.txt"), "");
                ExpectMonitors(ReadNativeFileBytes(folder + "after.txt"), c);
            }
}

// Two monitors that mirror each other (a laptop cloned to a projector, at
// the laptop's size or at its own) are one: full screen switches both to
// one mode each can show (the asked 720x540 only the first offers, so
// 640x480), and the window covers exactly the area they show; both come
// back.
const struct {
    const char* What;  // the xrandr lines that clone DUMMY1 onto DUMMY0
    uint32_t Asked;
    TRect Cloned;  // DUMMY1 before
} kMirrors[] = {
    {"xrandr --addmode DUMMY1 1280x1024_85 && xrandr --output DUMMY1 --mode 1280x1024_85 --same-as DUMMY0", 640,
     Bounds(0, 0, 1280, 1024)},
    {"xrandr --newmode 720x540 30.59 720 744 816 912 540 541 544 559 -hsync +vsync && "
     "xrandr --addmode DUMMY0 720x540 && "
     "xrandr --addmode DUMMY1 1280x1024_85 && xrandr --output DUMMY1 --mode 1280x1024_85 --same-as DUMMY0",
     720, Bounds(0, 0, 1280, 1024)},
    {"xrandr --addmode DUMMY1 1024x768 && xrandr --output DUMMY1 --mode 1024x768 --same-as DUMMY0", 640,
     Bounds(0, 0, 1024, 768)},
    {"xrandr --addmode DUMMY1 1920x1080 && xrandr --output DUMMY1 --mode 1920x1080 --same-as DUMMY0", 640,
     Bounds(0, 0, 1920, 1080)},
};

TEST(FullScreenMonitors, MirroredMonitorsAreSwitchedTogether) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    RunEachCaseOnBothDesktops("MirroredInner", kMirrors, [](const auto& c) { return std::string(c.What); });
}

TEST(FullScreenMonitors, DISABLED_MirroredInner) {
    const auto& c = kMirrors[InnerCase()];
    const TRect full_area = Bounds(0, 0, 640, 480);
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const std::string before = Layout();
    ASSERT_EQ(OutputArea(before, "DUMMY1"), c.Cloned) << before;
    ASSERT_TRUE(SwitchTo(p, ModeIndex(c.Asked, c.Asked * 3 / 4)));
    const std::string full = Layout();
    for (const char* output : {"DUMMY0", "DUMMY1"}) EXPECT_EQ(OutputArea(full, output), full_area) << full;
    EXPECT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == full_area; }))
        << WindowArea(p.window).Width() << "x" << WindowArea(p.window).Height();
    p.view.reset();
    EXPECT_EQ(Layout(), before);
}

// Monitors as they are, with the game in full screen on one of them
// (kept at 640x480): CRTCs that overlap in part or lie one inside another
// are monitors of their own, of which only the game's is switched and
// covered whole; another program's modes and moves on the game's monitor,
// one after another, each stay as set, on a monitor and on a mirror, and
// concern only the CRTC they were made on: a mirror's other CRTC keeps
// the game's mode, whether the one changed stays on the monitor (at
// another mode), leaves it (turned off, a monitor of its own) or is moved
// away at the game's mode (it then shows its own again); a CRTC cloned
// onto the game's monitor is switched with it, one that left and comes
// back as a clone too. The window covers every CRTC of the monitor, the
// picture on the area all of them show; a window manager lays a
// full-screen window over one clone only, and there the CRTCs the game
// switched may take another size. Each step: a change (none first), then
// where the picture lies (empty: only its origin, its size as the clones
// show) and what monitors show, without a window manager and, where it
// differs, under one.
struct TDesktopStep {
    const char* Change;
    TRect Covered;
    std::vector<std::pair<const char*, TRect>> Outputs;
    std::vector<std::pair<const char*, TRect>> ManagedOutputs{};
};
const std::string kMirror1024 = "xrandr --addmode DUMMY1 1024x768 && xrandr --output DUMMY1 --mode 1024x768 --same-as DUMMY0";
// A laptop at 1280x720 cloned to a projector at its size, or at 1920x1080.
const std::string kLaptop720 = "xrandr --output DUMMY0 --mode 1280x720 && xrandr --addmode DUMMY1 ";
const std::string kMirror720 = kLaptop720 + "1280x720 && xrandr --output DUMMY1 --mode 1280x720 --same-as DUMMY0";
const std::string kMirror1080On720 = kLaptop720 + "1920x1080 && xrandr --output DUMMY1 --mode 1920x1080 --same-as DUMMY0";
const TDesktopStep kMirrorSwitched = {
    nullptr, Bounds(0, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", Bounds(0, 0, 640, 480)}}};
const TDesktopStep kLaptopSetTo720 = {"xrandr --output DUMMY0 --mode 1280x720", TRect{},
                                      {{"DUMMY0", Bounds(0, 0, 1280, 720)}}};
const struct {
    const char* What;
    std::string Monitors;  // the layout before
    const char* GameOutput;
    std::vector<TDesktopStep> Steps;
    std::vector<std::pair<const char*, TRect>> After;  // every monitor once full screen has ended
} kDesktops[] = {
    {"one column of overlap, the game on the first", kSecondMonitorRight + " && xrandr --output DUMMY1 --pos 1279x0",
     "DUMMY0",
     {{nullptr, Bounds(0, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", Bounds(1279, 0, 1920, 1080)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(1279, 0, 1920, 1080)}}},
    {"one column of overlap, the game on the second", kSecondMonitorRight + " && xrandr --output DUMMY1 --pos 1279x0",
     "DUMMY1",
     {{nullptr, Bounds(1279, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(1279, 0, 640, 480)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(1279, 0, 1920, 1080)}}},
    {"a CRTC inside the game's", "xrandr --addmode DUMMY1 1024x768 && xrandr --output DUMMY1 --mode 1024x768 --pos 256x256",
     "DUMMY0",
     {{nullptr, Bounds(0, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", Bounds(256, 256, 1024, 768)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(256, 256, 1024, 768)}}},
    {"three changes by another program", kSecondMonitorRight, "DUMMY0",
     {{nullptr, Bounds(0, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 640, 480)}}},
      {"xrandr --output DUMMY0 --mode 1024x768", Bounds(0, 0, 1024, 768), {{"DUMMY0", Bounds(0, 0, 1024, 768)}}},
      {"xrandr --output DUMMY0 --mode 800x600", Bounds(0, 0, 800, 600), {{"DUMMY0", Bounds(0, 0, 800, 600)}}},
      {"xrandr --output DUMMY0 --pos 0x100", Bounds(0, 100, 800, 600), {{"DUMMY0", Bounds(0, 100, 800, 600)}}}},
     {{"DUMMY0", Bounds(0, 100, 800, 600)}, {"DUMMY1", Bounds(1280, 0, 1920, 1080)}}},
    {"two changes by another program on a mirror", kMirror1024, "DUMMY0",
     {kMirrorSwitched,
      {"xrandr --output DUMMY0 --mode 1024x768", TRect{},
       {{"DUMMY0", Bounds(0, 0, 1024, 768)}, {"DUMMY1", Bounds(0, 0, 640, 480)}}, {{"DUMMY0", Bounds(0, 0, 1024, 768)}}},
      {"xrandr --output DUMMY0 --mode 800x600", TRect{},
       {{"DUMMY0", Bounds(0, 0, 800, 600)}, {"DUMMY1", Bounds(0, 0, 640, 480)}}, {{"DUMMY0", Bounds(0, 0, 800, 600)}}}},
     {{"DUMMY0", Bounds(0, 0, 800, 600)}, {"DUMMY1", Bounds(0, 0, 1024, 768)}}},
    {"a mirror whose laptop another program sets to its mode", kMirror720, "DUMMY0", {kMirrorSwitched, kLaptopSetTo720},
     {{"DUMMY0", Bounds(0, 0, 1280, 720)}, {"DUMMY1", Bounds(0, 0, 1280, 720)}}},
    {"a larger projector on a laptop another program sets to its mode", kMirror1080On720, "DUMMY0",
     {kMirrorSwitched, kLaptopSetTo720}, {{"DUMMY0", Bounds(0, 0, 1280, 720)}, {"DUMMY1", Bounds(0, 0, 1920, 1080)}}},
    {"a cloned projector turned off, then cloned again", kMirror1024, "DUMMY0",
     {kMirrorSwitched,
      {"xrandr --output DUMMY1 --off", Bounds(0, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", TRect{}}}},
      {"xrandr --output DUMMY1 --mode 1024x768 --same-as DUMMY0", Bounds(0, 0, 640, 480),
       {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", Bounds(0, 0, 640, 480)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(0, 0, 1024, 768)}}},
    {"a cloned projector made a monitor of its own", kMirror1024, "DUMMY0",
     {kMirrorSwitched,
      {"xrandr --output DUMMY1 --mode 1920x1080 --right-of DUMMY0", Bounds(0, 0, 640, 480),
       {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", Bounds(640, 0, 1920, 1080)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(640, 0, 1920, 1080)}}},
    {"a cloned projector given another mode", kMirror1024, "DUMMY0",
     {kMirrorSwitched,
      {"xrandr --output DUMMY1 --mode 800x600", TRect{},
       {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", Bounds(0, 0, 800, 600)}}, {{"DUMMY1", Bounds(0, 0, 800, 600)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(0, 0, 800, 600)}}},
    {"a cloned projector moved away at the game's mode", kMirror1024, "DUMMY0",
     {kMirrorSwitched,
      {"xrandr --output DUMMY1 --pos 1280x0", Bounds(0, 0, 640, 480),
       {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY1", Bounds(1280, 0, 1024, 768)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(1280, 0, 1024, 768)}}},
    {"a projector cloned in full screen", kSecondMonitorRight, "DUMMY0",
     {{nullptr, Bounds(0, 0, 640, 480), {{"DUMMY0", Bounds(0, 0, 640, 480)}}},
      {"xrandr --addmode DUMMY2 1024x768 && xrandr --output DUMMY2 --mode 1024x768 --same-as DUMMY0", Bounds(0, 0, 640, 480),
       {{"DUMMY0", Bounds(0, 0, 640, 480)}, {"DUMMY2", Bounds(0, 0, 640, 480)}}}},
     {{"DUMMY0", Bounds(0, 0, 1280, 1024)}, {"DUMMY1", Bounds(1280, 0, 1920, 1080)}, {"DUMMY2", Bounds(0, 0, 1024, 768)}}},
};

TEST(FullScreenMonitors, FullScreenTakesMonitorsAsTheyAre) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    RunEachCaseOnBothDesktops("DesktopInner", kDesktops, [](const auto& c) { return c.Monitors; });
}

TEST(FullScreenMonitors, DISABLED_DesktopInner) {
    const auto& c = kDesktops[InnerCase()];
    PlayerOnX p;
    ASSERT_TRUE(ShownOn(p, c.GameOutput));
    ASSERT_TRUE(SwitchTo(p, ModeIndex(640, 480)));
    for (const TDesktopStep& step : c.Steps) {
        SCOPED_TRACE(step.Change ? step.Change : "full screen");
        // Looked at once the window has told of the change, not before the
        // player has followed it.
        const int changes = p.display_changes;
        if (step.Change) {
            ASSERT_EQ(std::system(step.Change), 0);
            // Asked for once, the server looks again at what an output
            // turned on offers, as it does by itself when one is plugged in.
            Layout();
        }
        const auto& outputs = UnderOpenbox() && !step.ManagedOutputs.empty() ? step.ManagedOutputs : step.Outputs;
        // The window covers every CRTC of the game's monitor (the clones,
        // at its origin), and no more where it lays itself; the picture
        // lies on the area they all show.
        TRect covered, whole;
        auto as_expected = [&] {
            const std::string layout = Layout();
            covered = whole = TRect{};
            for (const char* output : {"DUMMY0", "DUMMY1", "DUMMY2"}) {
                const TRect area = OutputArea(layout, output);
                if (RectIsEmpty(area) || area.Left != step.Covered.Left || area.Top != step.Covered.Top) continue;
                covered = RectIsEmpty(covered) ? area : IntersectRects(covered, area);
                whole = RectIsEmpty(whole) ? area : UnionRects(whole, area);
            }
            const TRect window = WindowArea(p.window);
            return (RectIsEmpty(step.Covered) || covered == step.Covered) && p.view->Window().MonitorBounds() == covered &&
                   IntersectRects(window, whole) == whole && (UnderOpenbox() || window == whole) &&
                   std::all_of(outputs.begin(), outputs.end(),
                               [&](const auto& o) { return OutputArea(layout, o.first) == o.second; });
        };
        // Each change followed, the next one comes at once.
        ASSERT_TRUE(p.FramesUntil([&] { return (!step.Change || p.display_changes > changes) && as_expected(); }))
            << WindowArea(p.window).Left << "," << WindowArea(p.window).Top << " " << WindowArea(p.window).Width() << "x"
            << WindowArea(p.window).Height() << "\n" << Layout();
        EXPECT_TRUE(p.Full());
        // A white picture, 640x480 scaled to the monitor's area and centred
        // there: white at its far corner, black beyond it in the window.
        // Shown again at each look: the window manager's changes make the
        // window draw itself anew.
        const int32_t scaled = std::min(covered.Width() * 3, covered.Height() * 4);  // the picture's width times 3
        const TRect picture = Bounds(covered.Left + (covered.Width() - scaled / 3) / 2,
                                     covered.Top + (covered.Height() - scaled / 4) / 2, scaled / 3, scaled / 4);
        const std::vector<uint32_t> white(640 * 480, 0xFFFFFF);
        EXPECT_TRUE(p.FramesUntil([&] {
            p.view->Window().Update(white.data(), 640, 480, 640, 0, 0);
            p.view->Window().Present();
            return ShownAt(picture.Right - 2, picture.Bottom - 2) == "#FFFFFF\n";
        })) << ShownAt(picture.Right - 2, picture.Bottom - 2);
        const TRect window = WindowArea(p.window);
        if (window.Right > picture.Right + 8) {
            EXPECT_EQ(ShownAt(picture.Right + 8, picture.Top + 8), "#000000\n");
        }
        // Where the picture lies on part of the window, the pointer a
        // quarter into the picture on the monitor lies a quarter into it.
        if (window != covered) {
            ExpectPointerAQuarterIntoThePicture(p, picture);
        }
    }
    p.view->SetFullScreen(false);
    const std::string layout = Layout();
    for (const auto& [output, area] : c.After) EXPECT_EQ(OutputArea(layout, output), area) << output << "\n" << layout;
}

// In a window under a window manager, moved under a still pointer: the
// game reads where the pointer lies in the picture now, and a motion back
// to where it lay in the window before is read too.
TEST(FullScreenMonitors, AWindowMovedUnderAStillPointer) {
    if (const char* tool = MissingTool({"Xvfb", "xdotool", "xwininfo", "openbox"}))
        GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("FullScreenMonitors.DISABLED_WindowMovedInner", "1024x768", true), 0);
}

TEST(FullScreenMonitors, DISABLED_WindowMovedInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const TRect before = WindowArea(p.window);
    ASSERT_TRUE(p.PointerOnScreen(before.Left + 159, before.Top + 100));
    const TPoint at = p.view->Window().PointerPosition();
    ASSERT_TRUE(p.MoveWindow(before.Left + 100, before.Top + 50));
    const TRect after = WindowArea(p.window);
    const TPoint moved{after.Left - before.Left, after.Top - before.Top};
    ASSERT_NE(moved, TPoint{});
    const TPoint still{at.X - moved.X, at.Y - moved.Y};
    EXPECT_TRUE(p.FramesUntil([&] { return p.view->Window().PointerPosition() == still; }))
        << p.view->Window().PointerPosition().X << "," << p.view->Window().PointerPosition().Y;
    p.Pointer(after.Left + 159, after.Top + 100, false, true);
    EXPECT_TRUE(p.FramesUntil([&] { return p.view->Window().PointerPosition() == at; }))
        << p.view->Window().PointerPosition().X << "," << p.view->Window().PointerPosition().Y;
}

// A record on the root window that another client wrote, naming the
// first monitor's CRTC, its present mode as a player's, no running owner
// and a mode from before: a mode its outputs offer is taken for the
// desktop's and comes back at the end; any other is not, and the mode
// shown before full screen comes back. A desktop's mode the server no
// longer takes when the game ends is said on stderr.
const std::string kOwnDesktopMode =
    "xrandr --newmode 1152x864_own 81.62 1152 1216 1336 1520 864 865 868 895 -hsync +vsync && "
    "xrandr --addmode DUMMY0 1152x864_own && xrandr --output DUMMY0 --mode 1152x864_own";
const struct {
    const char* What;
    const std::string* Monitors;  // the layout before, DUMMY0 first
    bool WithRecord;
    uint32_t SavedWidth;  // the record's mode: that width at 3/4 of it, none when 0
    const char* Change;   // made in full screen
    TRect After;          // DUMMY0 once the player has ended
    bool Said;            // the failed restore said on stderr
} kRecords[] = {
    {"a record naming an offered mode", &kSecondMonitorRight, true, 1024, "true", Bounds(0, 0, 1024, 768), false},
    {"a record naming no mode", &kSecondMonitorRight, true, 0, "true", Bounds(0, 0, 1280, 1024), false},
    {"the desktop's mode taken from the output", &kOwnDesktopMode, false, 0, "xrandr --delmode DUMMY0 1152x864_own",
     Bounds(0, 0, 640, 480), true},
};

TEST(FullScreenMonitors, RecordsOfOtherClientsAreCheckedAgainstTheModesOffered) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    for (size_t i = 0; i < std::size(kRecords); ++i) {
        SCOPED_TRACE(kRecords[i].What);
        setenv(kCaseVariable, std::to_string(i).c_str(), 1);
        EXPECT_EQ(RunSelfUnderX("FullScreenMonitors.DISABLED_RecordInner", "dummy", false, *kRecords[i].Monitors), 0);
    }
}

TEST(FullScreenMonitors, DISABLED_RecordInner) {
    const auto& c = kRecords[InnerCase()];
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    Display* d = X11WindowOf(ActiveSdlWindow()).Display;
    std::vector<TMonitor> monitors;
    ASSERT_TRUE(ReadMonitors(d, monitors));
    ASSERT_FALSE(monitors.empty());
    const TCrtcState& crtc = monitors.front().Crtcs.front();
    unsigned long saved = 0x7ffffff;  // no mode has that id
    for (const TMonitorMode& m : crtc.Modes)
        if (m.Mode.Width == c.SavedWidth && m.Mode.Height == c.SavedWidth * 3 / 4) saved = m.Id;
    if (c.WithRecord) {
        const long record[] = {static_cast<long>(crtc.Crtc), static_cast<long>(saved), static_cast<long>(crtc.Mode), 0};
        XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, "_VORQPLAYER_REPLACED_MODES", False), XA_INTEGER, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(record), 4);
        XSync(d, False);
    }
    ::testing::internal::CaptureStderr();
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    EXPECT_EQ(OutputArea(Layout(), "DUMMY0"), Bounds(0, 0, 640, 480));
    ASSERT_EQ(std::system(c.Change), 0);
    p.view.reset();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(OutputArea(Layout(), "DUMMY0"), c.After) << Layout();
    EXPECT_EQ(said.find("could not be put back") != std::string::npos, c.Said) << said;
}

// A window manager that ended (killed) leaves its check window's name on
// the root window: full screen must not wait for it, the player itself
// lays the window over the whole monitor.
TEST(FullScreenMonitors, AnEndedWindowManagerDoesNotCount) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(RunSelfUnderX("FullScreenMonitors.DISABLED_EndedWindowManagerInner", "dummy", false), 0);
}

TEST(FullScreenMonitors, DISABLED_EndedWindowManagerInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    // What a window manager names on the root window and on its own
    // check window, left behind once that window has gone.
    Display* d = X11WindowOf(ActiveSdlWindow()).Display;
    const Window root = DefaultRootWindow(d);
    const Window check = XCreateSimpleWindow(d, root, 0, 0, 1, 1, 0, 0, 0);
    const Atom name = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    for (const Window w : {root, check})
        XChangeProperty(d, w, name, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&check), 1);
    XSync(d, False);
    ASSERT_TRUE(WindowManagerRuns(d));
    XDestroyWindow(d, check);
    XSync(d, False);
    ScreenManager->PreferredModeIndex = ModeIndex(1280, 1024, 85);
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    EXPECT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == Bounds(0, 0, 1280, 1024); }))
        << WindowArea(p.window).Width() << "x" << WindowArea(p.window).Height();
}

// The watcher killed (by its name, as pkill would) while the player is in
// full screen: it shows by its own name, a new one takes its place at once
// and the loss is said once; when the player is killed, the new one puts
// the monitor back. Then a player killed with its watcher: the next one
// puts the desktop's mode back.
TEST(FullScreenMonitors, ALostWatcherAndASecondPlayer) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    TTestGameFolder first, second;
    WriteFullScreenGame(first, 800, 600);
    WriteFullScreenGame(second, 640, 480);
    const std::string folder = NativePath(first.Path());
    std::ofstream script(folder + "run.sh");
    script << ScriptHead(folder) << "layout > before.txt\n"
           << "watcher() { local end=$(( $(date +%s) + 120 )); until w=$(pgrep -P $pid -x vorq-watcher) && [ \"$w\" != \"$1\" ]; "
              "do [ $(date +%s) -lt $end ] || { echo no watcher >> failed.txt; return 1; }; sleep 0.01; done; echo $w; }\n"
           << "play '" << folder << "'\nwait_for 'DUMMY0 connected primary 800x600'\n"
           << "w=$(watcher 0); ps -o args= -p $w > watcher.txt; kill -KILL $w\n"
           << "watcher $w > /dev/null; kill -KILL $pid; wait $pid\n"
           << "wait_for 'DUMMY0 connected primary 1280x1024'; layout > after_kill.txt\n"
           // A player killed with its watcher leaves its mode and record
           // behind; the next player on that monitor puts the desktop's back.
           << "play '" << folder << "'\nwait_for 'DUMMY0 connected primary 800x600'\n"
           << "w=$(watcher 0); kill -STOP $pid; kill -KILL $w; kill -KILL $pid; wait $pid\n"
           << "play '" << NativePath(second.Path()) << "'\nwait_for 'DUMMY0 connected primary 640x480'\n"
           << "kill -TERM $pid; wait $pid; layout > after_left.txt\n";
    script.close();
    EXPECT_EQ(std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", false).c_str()), 0);
    const std::string before = ReadNativeFileBytes(folder + "before.txt");
    EXPECT_EQ(ReadNativeFileBytes(folder + "failed.txt"), "");
    EXPECT_THAT(ReadNativeFileBytes(folder + "watcher.txt"), HasSubstr("vorqplayer-screen-watcher"));
    const std::string errors = ReadNativeFileBytes(folder + "stderr.txt");
    const std::string lost = "the monitors' watcher has ended";
    EXPECT_NE(errors.find(lost), std::string::npos) << errors;
    EXPECT_EQ(errors.find(lost), errors.rfind(lost)) << errors;
    EXPECT_EQ(ReadNativeFileBytes(folder + "after_kill.txt"), before);
    EXPECT_EQ(ReadNativeFileBytes(folder + "after_left.txt"), before);
}

// Two players on one monitor: the second covers it at the first one's
// mode, which it does not take for the desktop's; once the first has
// ended and put the desktop's mode back, the second takes the monitor;
// once both have ended the monitor shows the desktop's mode.
TEST(FullScreenMonitors, ASecondPlayerTakesTheMonitorWhenTheFirstEnds) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    for (const bool window_manager : {true, false}) {
        SCOPED_TRACE(window_manager ? "under openbox" : "without a window manager");
        TTestGameFolder first, second;
        WriteFullScreenGame(first, 800, 600);
        WriteFullScreenGame(second, 640, 480);
        const std::string folder = NativePath(first.Path());
        std::ofstream script(folder + "run.sh");
        script << ScriptHead(folder) << "layout > before.txt\n"
               << "play '" << folder << "'; first=$pid\nwait_for 'DUMMY0 connected primary 800x600'\n"
               << "play '" << NativePath(second.Path()) << "'; second=$pid\n"
               << "until_true covers $second 800\n"
               << "layout > both.txt\n"
               << "kill -TERM $first; wait $first\n"
               << "wait_for 'DUMMY0 connected primary 640x480' && until_true covers $second 640\n"
               << "layout > second.txt\n"
               << "kill -TERM $second; wait $second\n"
               << "layout > after_both.txt\n";
        script.close();
        EXPECT_EQ(
            std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", window_manager).c_str()), 0);
        EXPECT_EQ(ReadNativeFileBytes(folder + "failed.txt"), "");
        EXPECT_THAT(ReadNativeFileBytes(folder + "both.txt"), HasSubstr("DUMMY0 connected primary 800x600"));
        EXPECT_THAT(ReadNativeFileBytes(folder + "second.txt"), HasSubstr("DUMMY0 connected primary 640x480"));
        EXPECT_EQ(ReadNativeFileBytes(folder + "after_both.txt"), ReadNativeFileBytes(folder + "before.txt"));
    }
}

// The real player in full screen under a window manager, minimised,
// shown, unmapped and mapped again in quick turns: the window manager's
// frames come and go under the player's moves, and nothing of it is said
// as an X error.
TEST(FullScreenMonitors, QuickMinimisingSaysNoXError) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    TTestGameFolder game;
    WriteFullScreenGame(game, 640, 480);
    const std::string folder = NativePath(game.Path());
    std::ofstream script(folder + "run.sh");
    script << ScriptHead(folder) << "play '" << folder << "'\nwait_for 'DUMMY0 connected primary 640x480'\n"
           << ShellFindWindow()
           << "for i in $(seq 200); do for step in windowminimize windowactivate windowunmap windowmap; do "
              "xdotool $step $wid 2>/dev/null; done; done\n"
           << "until_true covers $pid 640\nkill -TERM $pid; wait $pid\n";
    script.close();
    EXPECT_EQ(std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", true).c_str()), 0);
    EXPECT_EQ(ReadNativeFileBytes(folder + "failed.txt"), "");
    EXPECT_THAT(ReadNativeFileBytes(folder + "stderr.txt"), Not(HasSubstr("X error")));
}

// The player started through the dynamic loader, whose file is then the
// process's executable: its watcher starts all the same, from the
// player's own file, and puts the monitor back after SIGKILL.
TEST(FullScreenMonitors, APlayerStartedThroughTheLoaderHasItsWatcher) {
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const char* const loader = "/lib64/ld-linux-x86-64.so.2";
    if (access(loader, X_OK) != 0) GTEST_SKIP() << loader << " is not there";
    TTestGameFolder game;
    WriteFullScreenGame(game, 640, 480);
    const std::string folder = NativePath(game.Path());
    std::ofstream script(folder + "run.sh");
    script << ScriptHead(folder) << "layout > before.txt\n"
           << loader << " '" << VORQ_BINARY_DIR << "/vorqplayer' '" << folder << "' 2>>stderr.txt & pid=$!\n"
           << "wait_for 'DUMMY0 connected primary 640x480'\n"
           << "until_true pgrep -P $pid -x vorq-watcher >/dev/null\n"
           << "kill -KILL $pid; wait $pid\n"
           << "wait_for 'DUMMY0 connected primary 1280x1024'; layout > after.txt\n";
    script.close();
    EXPECT_EQ(std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", false).c_str()), 0);
    EXPECT_EQ(ReadNativeFileBytes(folder + "failed.txt"), "");
    EXPECT_THAT(ReadNativeFileBytes(folder + "stderr.txt"), Not(HasSubstr("watcher")));
    EXPECT_EQ(ReadNativeFileBytes(folder + "after.txt"), ReadNativeFileBytes(folder + "before.txt"));
}

// No descriptor left for the watcher's socket (a player at its limit of
// open files): the start is tried again a little later, a few times, then
// the player does without a watcher and says so once; full screen goes
// on, and the monitor comes back when it is left.
TEST(FullScreenMonitors, AWatcherThatCannotStartIsGivenUp) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers open a pipe to tell readable memory from unreadable:
    // with no descriptor left they take every object for a bad one.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    if (const std::string why = XorgUnavailable(); !why.empty()) GTEST_SKIP() << why;
    EXPECT_EQ(RunSelfUnderX("FullScreenMonitors.DISABLED_NoWatcherInner", "dummy", false), 0);
}

TEST(FullScreenMonitors, DISABLED_NoWatcherInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    const std::string before = Layout();
    // What the player says goes into a pipe, read without opening anything.
    int said[2];
    ASSERT_EQ(pipe2(said, O_NONBLOCK | O_CLOEXEC), 0);
    const int stderr_copy = dup(2);
    ASSERT_GE(dup2(said[1], 2), 0);
    int highest = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        highest = std::max(highest, std::atoi(e.path().filename().c_str()));
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    const rlimit full{static_cast<rlim_t>(highest) + 1, files.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &full), 0);
    // The numbers left free below the limit taken too.
    std::vector<int> taken;
    for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
    std::string text;
    auto read_said = [&] {
        char buffer[4096];
        for (ssize_t n; (n = read(said[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    };
    p.view->SetFullScreen(true);
    const std::string given_up = "the monitors' watcher cannot be started";
    const bool said_once = p.FramesUntil([&] {
        read_said();
        return text.find(given_up) != std::string::npos;
    });
    // And never again.
    const uint64_t frames = p.view->PresentedFrames;
    p.FramesUntil([&] { return p.view->PresentedFrames > frames + 30; });
    read_said();
    for (const int fd : taken) close(fd);
    setrlimit(RLIMIT_NOFILE, &files);
    dup2(stderr_copy, 2);
    close(stderr_copy);
    close(said[0]);
    close(said[1]);
    EXPECT_TRUE(said_once) << text;
    EXPECT_EQ(text.find(given_up), text.rfind(given_up)) << text;
    EXPECT_EQ(text.find("has ended"), std::string::npos) << text;
    EXPECT_EQ(ScreenWatcherPid(), -1);
    EXPECT_TRUE(p.Full());
    EXPECT_EQ(OutputArea(Layout(), "DUMMY0"), Bounds(0, 0, 640, 480));
    p.view->SetFullScreen(false);
    EXPECT_EQ(Layout(), before);
}

// A 600x400 screen, smaller than the 640x480 picture: full screen still
// shows it, scaled by 5 / 6 to 533x400 with 33 black columns left of it,
// and the pointer resting at (100, 50) of the screen lies at (80, 60) of
// the picture.
// The window manager that the tests on an X server of their own start:
// one that ends before it manages the screen is told by its exit status
// and what it said; one that is only slow is waited for, and runs once
// the command starts.
TEST(FullScreenMonitors, AWindowManagerThatFailsIsToldFromOneThatIsSlow) {
    if (const char* tool = MissingTool({"Xvfb", "openbox", "xprop"})) GTEST_SKIP() << tool << " is not installed";
    const std::string openbox = RunCommand("command -v openbox").Output;
    const struct {
        const char* What;
        std::string Stub;  // the openbox the tests find first
        int Exit;
        std::vector<std::string> Said;
    } cases[] = {
        {"failed", "echo 'openbox: this display is taken' >&2\nexit 3\n", 125,
         {"status 3", "openbox: this display is taken"}},
        {"slow", "sleep 2\nexec " + openbox.substr(0, openbox.size() - 1) + " \"$@\"\n", 0,
         {"_NET_SUPPORTING_WM_CHECK(WINDOW): window id"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TTestGameFolder bin;
        const std::string folder = NativePath(bin.Path());
        std::ofstream(folder + "openbox") << "#!/bin/sh\n" << c.Stub;
        ASSERT_EQ(std::system(("chmod +x '" + folder + "openbox'").c_str()), 0);
        // (X11's headers make a macro of the outcome's Status.)
        const std::string said = RunCommand("PATH='" + folder + "':\"$PATH\" " +
                                            UnderXvfb("xprop -root _NET_SUPPORTING_WM_CHECK", "640x480", true) +
                                            " 2>&1; echo \"exit $?\"")
                                     .Output;
        EXPECT_THAT(said, HasSubstr("exit " + std::to_string(c.Exit) + "\n"));
        for (const std::string& line : c.Said) EXPECT_THAT(said, HasSubstr(line));
    }
}

TEST(FullScreenMonitors, OnAScreenSmallerThanThePicture) {
    if (const char* tool = MissingTool({"Xvfb", "xdotool", "xwininfo"})) GTEST_SKIP() << tool << " is not installed";
    EXPECT_EQ(RunSelfUnderXvfb("FullScreenMonitors.DISABLED_SmallScreenInner", "600x400"), 0);
}

TEST(FullScreenMonitors, DISABLED_SmallScreenInner) {
    PlayerOnX p;
    ASSERT_FALSE(p.window.empty());
    ASSERT_TRUE(p.FramesUntil([&] { return p.view->PresentedFrames > 5u; }));
    ASSERT_TRUE(p.PointerOnScreen(100, 50));
    p.view->SetFullScreen(true);
    ASSERT_TRUE(p.Full());
    EXPECT_TRUE(p.FramesUntil([&] { return WindowArea(p.window) == Bounds(0, 0, 600, 400); }));
    const TVorqBase* layer = VorqBaseList->ActiveBase();
    EXPECT_TRUE(p.FramesUntil([&] { return layer->MouseX == 80 && layer->MouseY == 60; }))
        << layer->MouseX << "," << layer->MouseY;
}

}  // namespace
