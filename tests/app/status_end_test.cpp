// The status (kept variables, read marks) that the real player writes as
// it ends, into a game folder that cannot take it: a full file system (a
// small tmpfs filled up, mounted in a mount namespace of the run's own) and
// a read-only folder played by an ordinary user (root would write there
// anyway). The player tells it as a save would, on stderr, ends with a
// failure, and save.dat stays as the run before left it. The outer
// `timeout` only keeps a regression from stalling the suite.
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "platform/filesystem/filesys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

TEST(StatusAtTheEnd, AFolderThatCannotTakeItIsToldAndItsSaveFileStaysAsItWas) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs and playing as another user need root";
    if (const char* tool = MissingTool({"unshare", "setpriv"})) GTEST_SKIP() << tool << " is not installed";
    TTestGameFolder source;
    WriteCountingGame(source, false);
    // The game is played twice in $G: once with room, once without.
    const std::string play = "play() { ${AS:-} env VORQ_HEADLESS=1 VORQ_FRAMES=3000 TMPDIR=/tmp timeout 120 \"$P\" \"$G\"; }\n"
                             "cp \"$SRC\"/* \"$G\"/ || exit 125\n"
                             "play >\"$OUT/first.log\" 2>&1; cp \"$G/save.dat\" \"$OUT/first.dat\"\n";
    const std::string second = "play >\"$OUT/second.log\" 2>&1; echo $? >\"$OUT/second.status\"\n"
                               "cp \"$G/save.dat\" \"$OUT/after.dat\"\n";
    const struct {
        const char* What;
        std::string Script;
        const char* Told;
    } cases[] = {
        {"a full file system",
         "unshare -m sh -c '\n"
         "mount --make-rprivate / && mount -t tmpfs -o size=256k tmpfs \"$G\" || exit 125\n" + play +
             "cat /dev/zero >\"$G/fill\" 2>/dev/null\n" + second + "'",
         "ファイルに書き込めません"},
        {"a read-only folder",
         "export AS=\"setpriv --reuid=nobody --regid=nogroup --clear-groups\"\n" + play +
             "chmod 0555 \"$G\"\n" + second,
         "ファイルが作れません"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        // In /tmp, open to the ordinary user.
        char folder[] = "/tmp/vorq-status-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        ASSERT_EQ(::chmod(folder, 0777), 0);
        const std::string game = std::string(folder) + "/game", out = std::string(folder) + "/out";
        std::filesystem::create_directory(game);
        std::filesystem::create_directory(out);
        ::chmod(game.c_str(), 0777);
        std::ofstream(out + "/run.sh") << c.Script;
        const CommandOutcome o = RunCommand("env P='" + PlayerForEveryUser() + "' SRC='" + NativePath(source.Path()) + "' G='" +
                                            game + "' OUT='" + out + "' bash '" + out + "/run.sh' 2>&1");
        const std::string first = ReadNativeFileBytes(out + "/first.dat");
        const std::string told = ReadNativeFileBytes(out + "/second.log");
        EXPECT_NE(first.size(), 0u) << o.Output << ReadNativeFileBytes(out + "/first.log");
        EXPECT_EQ(ReadNativeFileBytes(out + "/second.status"), "1\n") << o.Output << told;
        EXPECT_NE(told.find(game + "/save.dat:" + c.Told), std::string::npos) << told;
        EXPECT_EQ(ReadNativeFileBytes(out + "/after.dat"), first);
        ::chmod(game.c_str(), 0755);
        std::filesystem::remove_all(folder);
    }
}

}  // namespace
