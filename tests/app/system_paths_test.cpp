// Folders the system gives the player, played by the real executable
// without a display: game folders and temporary folders whose names code
// page 932 cannot hold, temporary folders that cannot be used, and the
// folders that killed players leave behind. The film of the game below
// must be copied out of game.dat; where the copy lies is read from the
// player's open descriptors. The outer deadlines only keep a regression
// from stalling the suite.
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "platform/filesystem/filesys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/wait_until.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";

// A game.dat (in the folder's root) whose film plays to its end; then the
// game saves, loads that save back and, only so, reaches main.vsb(9).
// Unless it ends, the game waits at the film.
std::string write_game(TTestGameFolder& root, bool ends = true) {
    TPageWriter main;
    for (int id : {PR_NAME, PR_SOURCE, PR_ONPLAYEND}) main.SetMask(opMovie, id);
    main.VarNew("ended", PT_INT, "0");
    main.Component(opMovie, {{PR_NAME, "\"film\""}, {PR_SOURCE, "\"bars.wmv\""}, {PR_ONPLAYEND, "\"ended.vsb\""}});
    main.Wait("100000", ends ? "ended == 0" : "");
    main.GameSave("0", "\"slot\"");
    main.If("loads == 0");
    main.Indent = 1;
    main.Calc("loads = 1");
    main.GameLoad("0");
    main.Wait("100000");
    main.Indent = 0;
    main.Calc("done = 1");
    main.Terminate();
    TPageWriter ended;
    ended.Calc("ended = 1");
    ended.Exit();
    TProjectFileData project = TestProjectData("main.vsb");
    project.SleepBetweenFrames = true;
    TProjectFileData::Variable loads;  // kept over loads
    loads.Type = PT_INT;
    loads.Name = "loads";
    project.Variables.push_back(loads);
    root.WriteArchive("game.dat", {{"vorq.vpb", ProjectFileBytes(project)},
                                   {"main.vsb", main.Bytes()},
                                   {"ended.vsb", ended.Bytes()},
                                   {"bars.wmv", ReadNativeFileBytes(std::string(VORQ_TEST_DATA) + "/video/bars.wmv")}});
    return NativePath(root.Path() + "game.dat");
}

// The player started in cwd on the folder, with TMPDIR set.
pid_t start(const std::string& cwd, const std::string& folder, const std::string& tmpdir) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        setenv("VORQ_HEADLESS", "1", 1);
        setenv("VORQ_FRAMES", "3000", 1);
        setenv("TMPDIR", tmpdir.c_str(), 1);
        setenv("VORQ_TRACE", (cwd + "/trace-" + std::to_string(getpid())).c_str(), 1);
        execl(kPlayer.c_str(), kPlayer.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits for the player's open copy of the film, "" when it ended first (it
// is reaped then and its exit status stored).
std::string copy_of(pid_t pid, int& exit_status) {
    std::string copy;
    int status = 0;
    WaitUntil([&] {
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
            const std::string target = fs::read_symlink(fd.path(), ec).string();
            if (target.find("/~vq") != std::string::npos) copy = target;
        }
        return !copy.empty() || waitpid(pid, &status, WNOHANG) == pid;
    });
    exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return copy;
}

int wait_exit(pid_t pid) {
    int status = -1;
    WaitForExit(pid, status, std::chrono::seconds(90));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SystemPaths, FoldersOutsideShiftJisAndUnusableTempFoldersPlayTheCopiedFilmSaveAndLoad) {
    const struct {
        const char* game;  // the game folder in the test's folder
        bool relative;     // named relative to the working folder
        const char* tmp;   // TMPDIR in the test's folder, made as a folder when the mark is "d"
        char mark;         // 'd' a folder, 'f' a file, '-' missing
    } cases[] = {
        {"Café", false, "tmp", 'd'}, {"Café", true, "tmp", 'd'},   {"한국", false, "tmp", 'd'},
        {"한국", true, "tmp", 'd'},  {"game", false, "tmp é", 'd'}, {"game", false, "gone", '-'},
        {"game", false, "file", 'f'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.game) + (c.relative ? " relative, TMPDIR " : ", TMPDIR ") + c.tmp);
        TTestGameFolder root;
        const std::string dat = write_game(root), dir = fs::path(dat).parent_path().string();
        fs::create_directory(dir + "/" + c.game);
        fs::copy_file(dat, dir + "/" + c.game + "/game.dat");
        const std::string tmp = dir + "/" + c.tmp;
        if (c.mark == 'd') fs::create_directory(tmp);
        if (c.mark == 'f') std::ofstream(tmp) << "x";
        const pid_t pid = start(dir, c.relative ? c.game : dir + "/" + c.game, tmp);
        int status = 0;
        const std::string copy = copy_of(pid, status);
        // Where TMPDIR cannot be used, /tmp serves.
        EXPECT_EQ(copy.rfind((c.mark == 'd' ? tmp : std::string("/tmp")) + "/vorq-" + std::to_string(pid) + "-", 0),
                  0u)
            << copy;
        EXPECT_EQ(copy.empty() ? status : wait_exit(pid), 0);
        EXPECT_NE(ReadNativeFileBytes(dir + "/trace-" + std::to_string(pid)).find(" : main.vsb(9)"), std::string::npos);
        EXPECT_TRUE(fs::is_regular_file(dir + "/" + c.game + "/save.dat"));
    }
}

TEST(SystemPaths, AStartRemovesTheTemporaryFoldersOfKilledPlayersOnly) {
    TTestGameFolder root;
    const std::string dat = write_game(root, false), dir = fs::path(dat).parent_path().string(), tmp = dir + "/tmp";
    fs::create_directory(tmp);
    // One player that lives on, one killed, one started after that.
    pid_t pids[3];
    std::string folders[3];
    for (int i = 0; i < 3; ++i) {
        const std::string game = dir + "/g" + std::to_string(i);
        fs::create_directory(game);
        fs::copy_file(dat, game + "/game.dat");
        pids[i] = start(dir, game, tmp);
        int status = 0;
        folders[i] = fs::path(copy_of(pids[i], status)).parent_path().string();
        ASSERT_FALSE(folders[i].empty()) << i;
        if (i == 1) {
            kill(pids[1], SIGKILL);
            waitpid(pids[1], nullptr, 0);
            EXPECT_TRUE(fs::is_directory(folders[1]));  // nothing of its own removes it
        }
    }
    EXPECT_FALSE(fs::exists(folders[1]));
    EXPECT_TRUE(fs::is_directory(folders[0]));
    for (int i : {0, 2}) {
        kill(pids[i], SIGKILL);
        waitpid(pids[i], nullptr, 0);
    }
}

}  // namespace
