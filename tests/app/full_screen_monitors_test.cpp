// Full screen on an X server that really switches modes (Xorg's dummy
// driver, two or three monitors: run_command.h), with and without a window
// manager: the mode taken when the game names no size, a mode the server
// refuses, the monitor the window is on, the window covering its monitor,
// the bar at entry, monitors of different modes, the focus going to
// another monitor, what others change meanwhile, and every monitor's mode
// once the player has gone, however it ends. And on a screen smaller than
// the picture (Xvfb), full screen with the pointer where it really is.
#include "objects/base_list.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/single_instance.h"
#include "tests/support/file_bytes.h"
#include "tests/support/player_on_x.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

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
    auto shown = [](int32_t x, int32_t y) {
        const std::string at = std::to_string(x) + "+" + std::to_string(y);
        return RunCommand("import -window root -crop 1x1+" + at + " -depth 8 txt:- | tail -1 | grep -oE '#[0-9A-F]{6}'")
            .Output;
    };
    EXPECT_TRUE(WaitUntil([&] { return shown(1280 + 245, 540) == "#FFFFFF\n"; })) << shown(1280 + 245, 540);
    for (const int32_t x : {1280 + 235, 1280 + 1920 - 235}) EXPECT_EQ(shown(x, 540), "#000000\n") << x;
    EXPECT_EQ(shown(1280 + 1920 - 245, 1075), "#FFFFFF\n");
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
                   " another program >/dev/null 2>&1 & timeout 30 xdotool search --sync --name '^xmessage$' | head -1")
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
           << "wid=$(timeout 30 xdotool search --sync --onlyvisible --pid $pid | head -1)\n"
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
// monitor as it was; after SIGKILL the monitor comes back within a second.
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
               << "full() { local end=$(( $(date +%s) + 30 )); "
                  "until layout | grep -q 'DUMMY0 connected primary 640x480+0+0'; do "
                  "[ $(date +%s) -lt $end ] || { echo never in full screen >> failed.txt; return; }; done; }\n"
               << "start() { TMPDIR='" << folder << "tmp' '" << VORQ_BINARY_DIR << "/vorqplayer' '" << folder
               << "' & pid=$!; full; }\n"
               << "ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }\n"
               << "start; t=$(date +%s%N); kill -INT $pid\n"
               << ShellAwaitEnd(folder + "status.txt") << "ms $t > int_ms.txt\n"
               << "layout > after_int.txt; ls tmp > left.txt; [ -e '" << lock << "' ] && echo lock file >> left.txt\n"
               << "start; kill -KILL $pid; t=$(date +%s%N)\n"
               << "for i in $(seq 1000); do layout | cmp -s - before.txt && break; done; ms $t > kill_ms.txt\n"
               << "wait $pid; layout > after_kill.txt\n";
        script.close();
        EXPECT_EQ(std::system(UnderXorgDummy("env -u VORQ_HEADLESS bash \"" + folder + "run.sh\"", window_manager).c_str()),
                  0);
        const std::string before = ReadNativeFileBytes(folder + "before.txt");
        EXPECT_EQ(ReadNativeFileBytes(folder + "failed.txt"), "");
        // Ended by its own signal, within 3 s of grace and a little more.
        EXPECT_EQ(ReadNativeFileBytes(folder + "status.txt"), std::to_string(128 + SIGINT) + "\n");
        EXPECT_LT(std::stoi("0" + ReadNativeFileBytes(folder + "int_ms.txt")), 5000);
        EXPECT_EQ(ReadNativeFileBytes(folder + "after_int.txt"), before);
        EXPECT_EQ(ReadNativeFileBytes(folder + "left.txt"), "");
        EXPECT_LT(std::stoi("0" + ReadNativeFileBytes(folder + "kill_ms.txt")), 1000);
        EXPECT_EQ(ReadNativeFileBytes(folder + "after_kill.txt"), before);
    }
}

// A 600x400 screen, smaller than the 640x480 picture: full screen still
// shows it, scaled by 5 / 6 to 533x400 with 33 black columns left of it,
// and the pointer resting at (100, 50) of the screen lies at (80, 60) of
// the picture.
TEST(FullScreenMonitors, OnAScreenSmallerThanThePicture) {
    if (const char* tool = MissingTool({"xvfb-run", "xdotool", "xwininfo"})) GTEST_SKIP() << tool << " is not installed";
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
