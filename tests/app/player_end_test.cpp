// The real player ends when it should, whatever its threads are doing, and
// so lets the same game start again (its single-instance lock goes with it).
// - The X server goes away under a running game: the display library ends
//   the player through exit (), which must neither sleep for ever in its
//   exit handlers nor abort there, whether the media threads wait for work
//   or play music, a MIDI song and a video, and removes the lock file.
// - The game is closed while the MIDI synthesizer's sound font still loads
//   (a slow disk, here the font's opening held back for as long as the test
//   likes by tests/support/fopen_gate.c): the process ends with its window.
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "media/midi/midi_player.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/single_instance.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"
#include "tests/support/x_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";

// Starts the player on the folder with these variables added to the
// environment, its output into log.
pid_t start_player(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& env,
                   const std::string& log) {
    const pid_t pid = fork();
    if (pid == 0) {
        unsetenv("VORQ_HEADLESS");
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        freopen(log.c_str(), "w", stdout);
        dup2(fileno(stdout), 2);
        execl(kPlayer.c_str(), kPlayer.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

TEST(DisplayLost, ThePlayerEndsAndTheGameStartsAgain) {
    if (MissingTool({"Xvfb"})) GTEST_SKIP() << "Xvfb is not installed";
    const std::string data = std::string(VORQ_TEST_DATA);
    for (const bool media : {false, true}) {
        SCOPED_TRACE(media ? "playing" : "waiting");
        TTestGameFolder game;
        const std::string folder = NativePath(game.Path());
        TPageWriter w;
        for (int id : {PR_NAME, PR_SOURCE, PR_REPEAT}) w.SetMask(opSound, id);
        for (int id : {PR_NAME, PR_SOURCE, PR_REPEAT}) w.SetMask(opMovie, id);
        if (media) {
            for (const auto& [name, file] : {std::pair{"bgm", "audio/tone.ogg"}, {"song", "midi/two_tracks.mid"}})
                w.Component(opSound, {{PR_NAME, std::string("\"") + name + "\""},
                                      {PR_SOURCE, "\"" + data + "/" + file + "\""},
                                      {PR_REPEAT, "1"}});
            w.Component(opMovie,
                        {{PR_NAME, "\"film\""}, {PR_SOURCE, "\"" + data + "/video/bars.wmv\""}, {PR_REPEAT, "1"}});
        }
        w.Wait("1000000");
        game.WritePage("main.vsb", w);
        game.WriteProject(TestProjectData("main.vsb"));
        const std::string waiting = "main.vsb(" + std::to_string(w.Count()) + ")";

        TestXServer xvfb("1024x768");
        ASSERT_FALSE(xvfb.Display().empty()) << xvfb.Failure();

        const std::string trace = folder + "trace.txt";
        const std::string lock_file = GamePath(InstanceLockFile(InstanceMutexName(game.Path())));
        const pid_t player = start_player(folder,
                                          {{"DISPLAY", xvfb.Display()},
                                           {"XAUTHORITY", xvfb.Authority()},
                                           {"SDL_VIDEODRIVER", "x11"},
                                           {"SDL_AUDIODRIVER", "dummy"},
                                           {"VORQ_TRACE", trace}},
                                          folder + "player.log");
        // Everything plays once the page has reached its wait.
        const bool playing = WaitUntil([&] { return ReadNativeFileBytes(trace).find(waiting) != std::string::npos; });
        // A write to the dead server's socket must not kill it by SIGPIPE
        // before Xlib's own end; whether a write comes first is chance.
        const std::string proc = ReadNativeFileBytes("/proc/" + std::to_string(player) + "/status");
        const size_t ignored = proc.find("SigIgn:\t");
        ASSERT_NE(ignored, std::string::npos);
        EXPECT_TRUE(std::stoull(proc.substr(ignored + 8, 16), nullptr, 16) >> (SIGPIPE - 1) & 1);
        EXPECT_TRUE(FileExists(lock_file));
        xvfb.End();
        int status = 0;
        const bool ended = WaitForExit(player, status);
        ASSERT_TRUE(playing) << ReadNativeFileBytes(trace) << ReadNativeFileBytes(folder + "player.log");
        ASSERT_TRUE(ended) << "the player kept running without its display";
        EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_FALSE(FileExists(lock_file)) << "the lock file was left";

        // Its single-instance lock went with it: the game starts again.
        const std::string again = folder + "again.txt";
        const pid_t second = start_player(
            folder, {{"VORQ_HEADLESS", "1"}, {"VORQ_FRAMES", "10"}, {"VORQ_TRACE", again}}, folder + "again.log");
        ASSERT_TRUE(WaitForExit(second, status));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << ReadNativeFileBytes(folder + "again.log");
        EXPECT_NE(ReadNativeFileBytes(again).find("FormCreate:3"), std::string::npos)
            << ReadNativeFileBytes(again) << ReadNativeFileBytes(folder + "again.log");
    }
}

TEST(SoundFontLoad, ClosingTheGameWhileItLoadsEndsTheProcess) {
    const std::string font = MidiSoundFontPath();
    if (font.empty()) GTEST_SKIP() << "no General MIDI sound font installed";
    TTestGameFolder game;
    game.WriteWaitingGame();
    const std::string folder = NativePath(game.Path());
    const std::string gate = folder + "gate";
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
    // Under the sanitizers the gate comes before their runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const pid_t pid = start_player(folder,
                                   {{"VORQ_HEADLESS", "1"},
                                    {"LD_PRELOAD", VORQ_FOPEN_GATE},
                                    {"VORQ_GATED_FILE", font},
                                    {"VORQ_GATE", gate},
                                    {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}},
                                   folder + "player.log");
    // The font loads from the start; the window closes (as on SIGTERM) once
    // the load waits at the gate.
    const bool loading = WaitUntil([&] { return FileExists(game.Path() + "gate.reached"); });
    kill(pid, SIGTERM);
    int status = 0;
    const bool ended = WaitForExit(pid, status);
    ASSERT_TRUE(loading) << "the player never opened the sound font";
    ASSERT_TRUE(ended) << "the process stayed behind its closed window";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
