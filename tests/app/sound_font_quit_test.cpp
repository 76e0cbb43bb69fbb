// Closing the game while the MIDI synthesizer's sound font still loads (a
// slow disk): the process ends with its window, rather than stay behind,
// windowless and holding the game's single-instance lock, until the load
// is done. The real player runs with the font's opening held back for as
// long as the test likes (tests/support/fopen_gate.c).
#include "media/midi/midi_player.h"
#include "platform/filesys.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/wait_until.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

TEST(SoundFontLoad, ClosingTheGameWhileItLoadsEndsTheProcess) {
    const std::string font = MidiSoundFontPath();
    if (font.empty()) GTEST_SKIP() << "no General MIDI sound font installed";
    TTestGameFolder game;
    TPageWriter w;
    w.Wait("1000000");
    game.WritePage("main.vsb", w);
    game.WriteProject(TestProjectData("main.vsb"));
    const std::string folder = NativePath(game.Path());
    const std::string gate = folder + "gate";
    ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);

    const std::string player = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("VORQ_HEADLESS", "1", 1);
        setenv("LD_PRELOAD", VORQ_FOPEN_GATE, 1);
        setenv("VORQ_GATED_FILE", font.c_str(), 1);
        setenv("VORQ_GATE", gate.c_str(), 1);
        // Under the sanitizers, the gate comes before their runtime.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
        execl(player.c_str(), player.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The synthesizer's font is loaded from the start; the window closes
    // (as on SIGTERM) once the load waits at the gate.
    const bool loading = WaitUntil([&] { return FileExists(game.Path() + "gate.reached"); });
    kill(pid, SIGTERM);
    int status = 0;
    const bool ended = WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(loading) << "the player never opened the sound font";
    ASSERT_TRUE(ended) << "the process stayed behind its closed window";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
