// SIGTERM, SIGINT and SIGHUP (a closed terminal) end the real executable
// cleanly, also when it plays without a display: the game below only
// waits, so nothing but the signal can end it, and it leaves neither its
// lock file nor its temporary folder behind, also when a second signal
// follows at once. On a real X server, the window carries the player's
// icon and SIGTERM closes it cleanly too.
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/single_instance.h"
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
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
// A tar of a game whose start page waits for ever.
const std::string kWaitingGame = std::string(VORQ_TEST_DATA) + "/fuzz-findings/player-3.bin";

// The real player without a display, on a game that waits for ever, with
// a temporary folder of its own.
struct HeadlessPlayer {
    TTestGameFolder game;
    const std::string trace = NativePath(game.Path()) + "trace.txt", tmp = game.Path() + "tmp";
    pid_t pid = -1;

    HeadlessPlayer() {
        game.WriteWaitingGame();
        if (!ForceDirectories(tmp) || (pid = fork()) != 0) return;
        signal(SIGHUP, SIG_DFL);  // as a terminal's shell starts it
        setenv("VORQ_HEADLESS", "1", 1);
        setenv("VORQ_TRACE", trace.c_str(), 1);
        setenv("TMPDIR", NativePath(tmp).c_str(), 1);
        execl(kPlayer.c_str(), kPlayer.c_str(), NativePath(game.Path()).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    bool Traced(const std::string& text) const { return ReadNativeFileBytes(trace).find(text) != std::string::npos; }
    bool LockFileStands() const { return FileExists(GamePath(InstanceLockFile(InstanceMutexName(game.Path())))); }
    // It ends by itself with status 0 and leaves neither its lock file nor
    // its temporary folder behind.
    void ExpectCleanEnd() {
        int status = 0;
        EXPECT_TRUE(WaitForExit(pid, status)) << "the player kept running";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_FALSE(LockFileStands());
        EXPECT_TRUE(ListDirectory(tmp).empty());
    }
};

TEST(QuitSignal, EachEndsTheHeadlessPlayerCleanly) {
    for (int quit : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(quit));
        HeadlessPlayer player;
        ASSERT_GT(player.pid, 0);
        // The window stands once creation has passed its last checkpoint.
        EXPECT_TRUE(WaitUntil([&] { return player.Traced("FormCreate:3"); }));
        EXPECT_TRUE(player.LockFileStands());
        EXPECT_EQ(ListDirectory(player.tmp).size(), 1u);
        ASSERT_EQ(kill(player.pid, quit), 0);
        player.ExpectCleanEnd();
    }
}

// A service manager sends SIGTERM and then SIGHUP at once: the second
// signal, arriving while the player ends, changes nothing.
TEST(QuitSignal, ASecondOneDuringTheEndChangesNothing) {
    const struct {
        const char* Phase;
        const char* Sign;  // the trace line that shows the phase, "" for the lock file alone
    } phases[] = {{"start", ""}, {"logo", "FormCreate:3"}, {"play", " : main.vsb("}};
    for (const auto& p : phases) {
        SCOPED_TRACE(p.Phase);
        HeadlessPlayer player;
        ASSERT_GT(player.pid, 0);
        EXPECT_TRUE(WaitUntil([&] { return player.LockFileStands() && player.Traced(p.Sign); }));
        ASSERT_EQ(kill(player.pid, SIGTERM), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the gap between the two, not a wait
        ASSERT_EQ(kill(player.pid, SIGHUP), 0);
        player.ExpectCleanEnd();
    }
}

TEST(QuitSignal, TheWindowHasTheIconAndSigtermClosesIt) {
    if (const char* tool = MissingTool({"Xvfb", "xdotool", "xprop", "tar"}))
        GTEST_SKIP() << tool << " is not installed";
    TTestGameFolder game;
    const std::string folder = NativePath(game.Path());
    ASSERT_EQ(std::system(("tar -xf '" + kWaitingGame + "' -C '" + folder + "'").c_str()), 0);
    std::ofstream script(folder + "run.sh");
    script << "'" << kPlayer << "' '" << folder << "' & pid=$!\n"
           << ShellFindWindow()
           // The icon is set after the window is mapped: read until it is
           // there (a busy machine may take seconds), within a deadline.
           << "for i in $(seq 300); do xprop -id \"$wid\" _NET_WM_ICON 2>/dev/null | head -1 > '" << folder
           << "icon.txt'; grep -q 'Icon (' '" << folder << "icon.txt' && break; sleep 0.1; done\n"
           << "kill -TERM $pid\n"
           << ShellAwaitEnd(folder + "status.txt");
    script.close();
    const CommandOutcome run = RunScriptUnderXvfb(folder + "run.sh");
    // A failure below shows what the script and the player said.
    SCOPED_TRACE("the script's output:\n" + run.Output);
    ASSERT_EQ(run.Status, 0);
    EXPECT_NE(ReadNativeFileBytes(folder + "icon.txt").find("Icon (32 x 32)"), std::string::npos)
        << ReadNativeFileBytes(folder + "icon.txt");
    EXPECT_EQ(ReadNativeFileBytes(folder + "status.txt"), "0\n");
}

}  // namespace
