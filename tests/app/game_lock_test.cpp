// One player per game, played by the real executable without a display:
// the lock names the folder the system finds, however it is spelled, and
// its file goes when the player ends. The lock files lie in a runtime
// folder of the test's own.
#include "platform/filesys.h"
#include "platform/single_instance.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";

class GameLock : public ::testing::Test {
protected:
    TTestGameFolder root;
    std::string runtime;

    void SetUp() override {
        runtime = root.Path() + "runtime";
        ASSERT_TRUE(ForceDirectories(runtime));
        ::setenv("XDG_RUNTIME_DIR", NativePath(runtime).c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_RUNTIME_DIR"); }

    // A game that saves (so save.dat shows it played) and ends.
    void write_game(const std::string& sub) {
        // Made by its exact name: "NOVEL" beside "novel" is a folder of its own.
        ASSERT_EQ(::mkdir((NativePath(root.Path()) + sub).c_str(), 0755), 0);
        TPageWriter w;
        w.GameSave("1", "\"played\"");
        w.Terminate();
        root.WritePage(sub + "/main.vsb", w);
        root.WriteFile(sub + "/vorq.vpb", ProjectFileBytes(TestProjectData("main.vsb")));
    }
    CommandOutcome play(const std::string& folder) {
        return RunCommand("env VORQ_HEADLESS=1 VORQ_FRAMES=200 timeout 120 '" + kPlayer + "' '" +
                          NativePath(folder) + "' 2>&1");
    }
};

TEST_F(GameLock, OneGameHoweverSpelledIsOneLockAndAFolderInOtherLettersIsAnotherGame) {
    write_game("novel");
    write_game("NOVEL");
    ASSERT_TRUE(ForceDirectories(root.Path() + "sub"));
    ASSERT_EQ(::symlink("novel", NativePath(root.Path() + "link").c_str()), 0);
    // The first player of "novel" holds it.
    const InstanceMutex first = CreateInstanceMutex(InstanceMutexName(root.Path() + "novel"));
    ASSERT_GE(first, 0);
    const std::string refused = "already running the game in " + NativePath(root.Path()) + "novel\n";
    for (const char* spelling : {"link", "sub/../novel", "./novel/"}) {
        SCOPED_TRACE(spelling);
        const CommandOutcome o = play(root.Path() + spelling);
        EXPECT_EQ(o.Status, 0);
        EXPECT_NE(o.Output.find(refused), std::string::npos) << o.Output;
    }
    EXPECT_FALSE(FileExists(root.Path() + "novel/save.dat"));
    const CommandOutcome o = play(root.Path() + "NOVEL");
    EXPECT_EQ(o.Status, 0) << o.Output;
    EXPECT_EQ(o.Output.find("already running"), std::string::npos) << o.Output;
    EXPECT_TRUE(FileExists(root.Path() + "NOVEL/save.dat"));
    ReleaseInstanceMutex(first);
}

TEST_F(GameLock, TheLockFileGoesWithThePlayerAndARefusedPlayerLeavesTheHoldersFile) {
    write_game("novel");
    const CommandOutcome o = play(root.Path() + "novel");
    ASSERT_EQ(o.Status, 0) << o.Output;
    ASSERT_TRUE(FileExists(root.Path() + "novel/save.dat"));
    EXPECT_TRUE(ListDirectory(runtime).empty());

    const InstanceMutex first = CreateInstanceMutex(InstanceMutexName(root.Path() + "novel"));
    ASSERT_GE(first, 0);
    EXPECT_NE(play(root.Path() + "novel").Output.find("already running"), std::string::npos);
    EXPECT_EQ(ListDirectory(runtime).size(), 1u);
    ReleaseInstanceMutex(first);
    EXPECT_TRUE(ListDirectory(runtime).empty());
}

}  // namespace
