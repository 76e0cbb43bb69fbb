// One player per game, played by the real executable without a display:
// the lock names the folder the system finds, however it is spelled, and
// its file goes when the player ends, and each start finds it whatever its
// runtime folder, or whatever another user left in the lock folder's place.
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/single_instance.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/file_bytes.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
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
    // For starts as a user of this test run alone (no entry in the user
    // database): a folder under /tmp open to others holding a waiting game
    // in "game", and that user's lock folder under /tmp; both removed at
    // the end.
    struct OtherUser {
        std::string id = std::to_string(60000 + ::getpid() % 5000);
        std::string base, game, tmp_locks = "/tmp/vorqplayer-" + id;
        OtherUser() {
            char tmpl[] = "/tmp/vorq-lock-test-XXXXXX";
            if (!::mkdtemp(tmpl)) return;
            base = tmpl;
            game = base + "/game";
            ::chmod(base.c_str(), 0755);
            TTestGameFolder waiting;
            waiting.WriteWaitingGame();
            std::filesystem::copy(NativePath(waiting.Path()), game, std::filesystem::copy_options::recursive);
        }
        ~OtherUser() {
            std::error_code ec;
            if (!base.empty()) std::filesystem::remove_all(base, ec);
            std::filesystem::remove_all(tmp_locks, ec);
            std::filesystem::remove(tmp_locks, ec);
        }
    };
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

// The folder under /tmp is named by the user's number, so anyone may make
// that name first. Starts of one game by an ordinary user, the first still
// playing when the second comes, with that folder planted by another user
// (nobody) as a folder, a file or a link, left with another mode, or
// removed while the first plays: the second is refused every time, says
// why a planted folder is not used, and puts nothing into what was planted.
TEST_F(GameLock, APlantedOrOddLockFolderKeepsOneGameRunningOnce) {
    if (::geteuid() != 0) GTEST_SKIP() << "playing as other users needs root";
    if (const char* tool = MissingTool({"setpriv"})) GTEST_SKIP() << tool << " is not installed";
    namespace fs = std::filesystem;
    // A user of this test run alone, with no entry in the user database: its
    // home is what $HOME says.
    const OtherUser other;
    ASSERT_FALSE(other.base.empty());
    const std::string nobody = "65534", &user = other.id;
    const auto as = [](const std::string& uid, const std::string& command) {
        return "setpriv --reuid=" + uid + " --regid=" + uid + " --clear-groups " + command;
    };
    const std::string &base = other.base, &game = other.game, &tmp_locks = other.tmp_locks, home = base + "/home",
                      trap = base + "/trap", home_locks = home + "/.cache/vorqplayer/locks";
    ASSERT_EQ(RunCommand("mkdir -m 0700 " + home + " && chown -R " + user + ":" + user + " " + game + " " + home +
                         " && mkdir -m 0777 " + trap + " && chown " + nobody + " " + trap + " && echo ok").Output,
              "ok\n");
    const std::string trace = game + "/trace.txt",
                      player = "env -u TMPDIR HOME=" + home + " VORQ_HEADLESS=1 " + PlayerForEveryUser() + " " + game;

    const struct {
        const char* lock_folder;
        std::string plant;  // run as root before the starts
        bool planted;       // left alone and told of
        bool removed_while_playing;
    } cases[] = {
        {"another user's folder", as(nobody, "mkdir -m 0777 " + tmp_locks), true, false},
        {"another user's file", as(nobody, "sh -c 'echo planted > " + tmp_locks + "'"), true, false},
        {"a link to another user's folder", as(nobody, "ln -s " + trap + " " + tmp_locks), true, false},
        {"the user's own folder open to all", as(user, "mkdir -m 0777 " + tmp_locks), false, false},
        {"the user's own folder removed while a game plays", "true", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lock_folder);
        std::error_code ec;
        fs::remove_all(tmp_locks, ec);
        fs::remove(tmp_locks, ec);
        ASSERT_EQ(std::system(c.plant.c_str()), 0);
        const std::string first_said = base + "/first.txt";
        const pid_t first = fork();
        if (first == 0) {
            const int out = ::open(first_said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, 1);
            ::dup2(out, 2);
            const std::string traced = "exec " + as(user, "env VORQ_TRACE=" + trace + " " + player);
            ::execl("/bin/sh", "sh", "-c", traced.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(first, 0);
        // The first holds the game once its window stands.
        EXPECT_TRUE(WaitUntil([&] { return ReadNativeFileBytes(trace).find("FormCreate:3") != std::string::npos; }))
            << ReadNativeFileBytes(first_said);
        if (c.removed_while_playing) fs::remove_all(tmp_locks, ec);
        const CommandOutcome second = RunCommand(as(user, "env VORQ_FRAMES=200 timeout 120 " + player) + " 2>&1");
        EXPECT_EQ(second.Status, 0);
        EXPECT_NE(second.Output.find("already running the game in " + game), std::string::npos) << second.Output;
        const std::string told = tmp_locks + " ";
        EXPECT_EQ(second.Output.find(told) != std::string::npos, c.planted) << second.Output;
        struct stat st;
        if (c.planted) {
            // Left as planted, with nothing put into it.
            ASSERT_EQ(::lstat(tmp_locks.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u);
            EXPECT_TRUE(fs::is_empty(trap));
            if (S_ISDIR(st.st_mode)) {
                EXPECT_TRUE(fs::is_empty(tmp_locks));
            } else if (S_ISREG(st.st_mode)) {
                EXPECT_EQ(ReadNativeFileBytes(tmp_locks), "planted\n");
            }
        } else {
            // The user's own, private again (or made again), holding the first's lock.
            ASSERT_EQ(::lstat(tmp_locks.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0700u);
            EXPECT_EQ(std::to_string(st.st_uid), user);
            if (!c.removed_while_playing) {
                EXPECT_FALSE(fs::is_empty(tmp_locks));
            }
        }
        ASSERT_EQ(::kill(first, SIGTERM), 0);
        int status = 0;
        EXPECT_TRUE(WaitForExit(first, status));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadNativeFileBytes(first_said);
        EXPECT_EQ(ReadNativeFileBytes(first_said).find(told) != std::string::npos, c.planted)
            << ReadNativeFileBytes(first_said);
        EXPECT_TRUE(fs::is_empty(home_locks, ec));
        fs::remove(trace, ec);
    }
}

// Neither lock folder can be used: the one under /tmp is another user's
// private folder, and the home one cannot be made below a ~/.cache the
// user may not write. Each is told with its own reason.
TEST_F(GameLock, UnusableLockFoldersAreToldWithTheirRealCause) {
    if (::geteuid() != 0) GTEST_SKIP() << "playing as other users needs root";
    if (const char* tool = MissingTool({"setpriv"})) GTEST_SKIP() << tool << " is not installed";
    const OtherUser other;
    ASSERT_FALSE(other.base.empty());
    const std::string &user = other.id, &game = other.game, &tmp_locks = other.tmp_locks, home = other.base + "/home";
    std::filesystem::remove_all(tmp_locks);
    ASSERT_EQ(RunCommand("mkdir -m 0700 " + home + " && mkdir -m 0555 " + home + "/.cache && chown " + user + ":" +
                         user + " " + home + " && chown -R " + user + ":" + user + " " + game + " && setpriv --reuid=65534 "
                         "--regid=65534 --clear-groups mkdir -m 0700 " + tmp_locks + " && echo ok").Output,
              "ok\n");
    const CommandOutcome o = RunCommand("setpriv --reuid=" + user + " --regid=" + user + " --clear-groups env -u TMPDIR "
                                        "HOME=" + home + " VORQ_HEADLESS=1 VORQ_FRAMES=50 timeout 120 " +
                                        PlayerForEveryUser() + " " + game + " 2>&1");
    EXPECT_NE(o.Output.find(tmp_locks + " belongs to "), std::string::npos) << o.Output;
    EXPECT_NE(o.Output.find(home + "/.cache/vorqplayer/locks cannot be made (Permission denied)"), std::string::npos)
        << o.Output;
}

}  // namespace
