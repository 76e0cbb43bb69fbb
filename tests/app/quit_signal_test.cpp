// SIGTERM, SIGINT and SIGHUP (a closed terminal) end the real executable
// cleanly, also when it plays without a display: the game below only
// waits, so nothing but the signal can end it, and it leaves neither its
// lock file nor its temporary folder behind. On a real X server, the window carries the player's icon and
// SIGTERM closes it cleanly too.
#include "platform/filesys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
// A tar of a game whose start page waits for ever.
const std::string kWaitingGame = std::string(VORQ_TEST_DATA) + "/fuzz-findings/player-3.bin";

TEST(QuitSignal, EachEndsTheHeadlessPlayerCleanly) {
    const struct {
        int Signal;
        const char* Name;
    } cases[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTestGameFolder game;
        const std::string folder = NativePath(game.Path());
        ASSERT_EQ(std::system(("tar -xf '" + kWaitingGame + "' -C '" + folder + "'").c_str()), 0);
        const std::string trace = folder + "trace.txt", runtime = game.Path() + "runtime", tmp = game.Path() + "tmp";
        ASSERT_TRUE(ForceDirectories(runtime) && ForceDirectories(tmp));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            signal(SIGHUP, SIG_DFL);  // as a terminal's shell starts it
            setenv("VORQ_HEADLESS", "1", 1);
            setenv("VORQ_TRACE", trace.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", NativePath(runtime).c_str(), 1);
            setenv("TMPDIR", NativePath(tmp).c_str(), 1);
            execl(kPlayer.c_str(), kPlayer.c_str(), folder.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // The window stands once creation has passed its last checkpoint.
        const bool started =
            WaitUntil([&] { return ReadNativeFileBytes(trace).find("FormCreate:3") != std::string::npos; });
        EXPECT_TRUE(started) << ReadNativeFileBytes(trace);
        EXPECT_EQ(ListDirectory(runtime).size(), 1u);
        EXPECT_EQ(ListDirectory(tmp).size(), 1u);
        ASSERT_EQ(kill(pid, c.Signal), 0);
        int status = 0;
        EXPECT_TRUE(WaitForExit(pid, status)) << "the player kept running";
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_TRUE(ListDirectory(runtime).empty());
        EXPECT_TRUE(ListDirectory(tmp).empty());
    }
}

TEST(QuitSignal, TheWindowHasTheIconAndSigtermClosesIt) {
    if (const char* tool = MissingTool({"xvfb-run", "xdotool", "xprop", "tar"}))
        GTEST_SKIP() << tool << " is not installed";
    TTestGameFolder game;
    const std::string folder = NativePath(game.Path());
    ASSERT_EQ(std::system(("tar -xf '" + kWaitingGame + "' -C '" + folder + "'").c_str()), 0);
    std::ofstream script(folder + "run.sh");
    script << "'" << kPlayer << "' '" << folder << "' & pid=$!\n"
           << "wid=$(timeout 30 xdotool search --sync --pid $pid | head -1)\n"
           // The icon is set after the window is mapped: read until it is
           // there (a busy machine may take seconds), within a deadline.
           << "for i in $(seq 300); do xprop -id \"$wid\" _NET_WM_ICON 2>/dev/null | head -1 > '" << folder
           << "icon.txt'; grep -q 'Icon (' '" << folder << "icon.txt' && break; sleep 0.1; done\n"
           << "kill -TERM $pid\n"
           << ShellAwaitEnd(folder + "status.txt");
    script.close();
    ASSERT_EQ(RunScriptUnderXvfb(folder + "run.sh"), 0);
    EXPECT_NE(ReadNativeFileBytes(folder + "icon.txt").find("Icon (32 x 32)"), std::string::npos)
        << ReadNativeFileBytes(folder + "icon.txt");
    EXPECT_EQ(ReadNativeFileBytes(folder + "status.txt"), "0\n");
}

}  // namespace
