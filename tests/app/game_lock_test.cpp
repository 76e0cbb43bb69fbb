// One player per game, played by the real executable without a display:
// the lock names the folder the system finds, however it is spelled, and
// its file goes when the player ends, and each start finds it whatever its
// runtime folder.
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/single_instance.h"
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

    bool lock_file_stands(const std::string& sub) {
        return FileExists(GamePath(InstanceLockFile(InstanceMutexName(root.Path() + sub))));
    }

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
    // env: more of the player's environment, as env(1) takes it.
    CommandOutcome play(const std::string& folder, const std::string& env = "") {
        return RunCommand("env " + env + " VORQ_HEADLESS=1 VORQ_FRAMES=200 timeout 120 '" + kPlayer + "' '" +
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
    EXPECT_FALSE(lock_file_stands("novel"));

    const InstanceMutex first = CreateInstanceMutex(InstanceMutexName(root.Path() + "novel"));
    ASSERT_GE(first, 0);
    EXPECT_NE(play(root.Path() + "novel").Output.find("already running"), std::string::npos);
    EXPECT_TRUE(lock_file_stands("novel"));
    ReleaseInstanceMutex(first);
    EXPECT_FALSE(lock_file_stands("novel"));
}

// A desktop launcher, an ssh shell and su give one user different runtime
// folders, or none: a game one of them plays is refused to the others.
TEST_F(GameLock, EachStartFindsTheLockWhateverItsRuntimeFolder) {
    write_game("novel");
    const std::string usable = NativePath(root.Path()), other = usable + "novel", unusable = usable + "missing";
    // "" leaves XDG_RUNTIME_DIR unset.
    const std::pair<std::string, std::string> starts[] = {
        {usable, ""}, {"", usable}, {usable, unusable}, {unusable, usable}, {usable, other}};
    for (const auto& [first_runtime, second_runtime] : starts) {
        SCOPED_TRACE("first " + first_runtime + ", then " + second_runtime);
        if (first_runtime.empty()) ::unsetenv("XDG_RUNTIME_DIR");
        else ::setenv("XDG_RUNTIME_DIR", first_runtime.c_str(), 1);
        const InstanceMutex first = CreateInstanceMutex(InstanceMutexName(root.Path() + "novel"));
        ::unsetenv("XDG_RUNTIME_DIR");
        ASSERT_GE(first, 0);
        const CommandOutcome o = play(root.Path() + "novel", second_runtime.empty() ? "-u XDG_RUNTIME_DIR"
                                                                         : "XDG_RUNTIME_DIR='" + second_runtime + "'");
        EXPECT_NE(o.Output.find("already running"), std::string::npos) << o.Output;
        EXPECT_FALSE(FileExists(root.Path() + "novel/save.dat"));
        DeleteFile(root.Path() + "novel/save.dat");
        ReleaseInstanceMutex(first);
    }
}

}  // namespace
