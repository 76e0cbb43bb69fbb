// Damaged games found by fuzzing, played by the real executable without a
// display: each ends or plays on at once with its message, instead of
// spinning. The outer `timeout` only keeps a regression from stalling the
// suite; nothing here measures time.
#include "platform/filesystem/filesys.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
const std::string kFindings = std::string(VORQ_TEST_DATA) + "/fuzz-findings/";

using Outcome = CommandOutcome;

Outcome play(const std::string& folder) {
    const std::string cmd = "env VORQ_HEADLESS=1 VORQ_FRAMES=200 timeout 120 '" + kPlayer + "' '" +
                            NativePath(folder) + "' 2>&1";
    return RunCommand(cmd);
}

struct Finding {
    const char* file;
    bool is_tar;         // a game folder packed as tar, else the game's game.dat
    int status;          // exit status wanted
    const char* message; // text the player must report
    const char* save = nullptr;  // a save.dat put in the game's folder
};

TEST(DamagedGame, FuzzFindingsEndOrPlayWithTheirMessage) {
    const Finding findings[] = {
        // A page whose mask block claims four billion empty masks: they
        // hold nothing, and the game plays on at once.
        {"player-2.bin", false, 0, ""},
        // Status records that cannot be read (a variable that refers to
        // itself, a table column of unknown kind, a negative record size):
        // the player says save.dat is damaged and plays on.
        {"player-1.bin", true, 0, "save.dat が壊れているため読めません"},
        {"player-1.bin", true, 0, "save.dat が壊れているため読めません", "save-dbtable-bad-column.dat"},
        {"player-1.bin", true, 0, "save.dat が壊れているため読めません", "save-dbtable-negative-record.dat"},
    };
    for (const Finding& f : findings) {
        SCOPED_TRACE(f.save ? f.save : f.file);
        TTestGameFolder game;
        const std::string source = NativePath(kFindings + f.file);
        const std::string unpack = f.is_tar
                                       ? "tar -xf '" + source + "' -C '" + NativePath(game.Path()) + "'"
                                       : "cp '" + source + "' '" + NativePath(game.Path() + "game.dat") + "'";
        ASSERT_EQ(std::system(unpack.c_str()), 0);
        if (f.save) {
            const std::string put = "cp '" + NativePath(kFindings + f.save) + "' '" + NativePath(game.Path() + "save.dat") + "'";
            ASSERT_EQ(std::system(put.c_str()), 0);
        }
        const Outcome o = play(game.Path());
        EXPECT_EQ(o.Status, f.status) << o.Output;
        // Told once: one fault, one message box.
        size_t told = 0;
        for (size_t at = o.Output.find(f.message); at != std::string::npos; at = o.Output.find(f.message, at + 1))
            ++told;
        EXPECT_EQ(told, 1u) << o.Output;
    }
}

}  // namespace
