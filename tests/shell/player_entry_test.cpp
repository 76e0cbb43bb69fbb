// The program entry's refusals and modes: a second player on the same game
// folder (letter case aside), the "/config" start and its lock name, the
// CD-ROM test, and a headless run of a small game to its end.
#include "shell/player_entry.h"

#include "script/game_clock.h"
#include "platform/text/codepage.h"
#include "platform/filesystem/single_instance.h"
#include "tests/support/fixture_writers.h"

#include <gtest/gtest.h>

namespace {

TEntryOptions headless(uint64_t frames = 0) {
    TEntryOptions o;
    o.Headless = true;
    o.MaxFrames = frames;
    return o;
}

TEST(PlayerEntry, SecondPlayerOnTheSameFolderEndsWithoutAWindow) {
    TTestGameFolder folder;
    // The other player was started with the folder in other letters.
    const InstanceMutex other = CreateInstanceMutex(InstanceMutexName(AnsiUpperCase(folder.Path())));
    ASSERT_NE(other, NoInstanceMutex);
    const TEntryResult r = PlayerMain({folder.Path()}, headless());
    EXPECT_EQ(r.Outcome, TEntryOutcome::RefusedInstance);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Frames, 0u);
    ReleaseInstanceMutex(other);
}

TEST(PlayerEntry, ConfigStartInAnyCaseTakesTheLockOfItsOwnName) {
    const InstanceMutex other = CreateInstanceMutex(InstanceMutexName("/config"));
    ASSERT_NE(other, NoInstanceMutex);
    EXPECT_EQ(PlayerMain({"/CONFIG"}, headless()).Outcome, TEntryOutcome::RefusedInstance);
    ReleaseInstanceMutex(other);
    // Free again: only the dialog runs (headless, it ends at once).
    const TEntryResult r = PlayerMain({"/Config"}, headless());
    EXPECT_EQ(r.Outcome, TEntryOutcome::Config);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Frames, 0u);
}

TEST(PlayerEntry, CdRomRootsCoverThePathsBelowThem) {
    const std::vector<std::string> roots = {"/media/cdrom/", "/mnt/disc/"};
    EXPECT_TRUE(PathOnCdRom("/media/cdrom/vorqplayer", roots));
    EXPECT_TRUE(PathOnCdRom("/mnt/disc/bin/vorqplayer", roots));
    EXPECT_FALSE(PathOnCdRom("/media/cdrom2/vorqplayer", roots));
    EXPECT_FALSE(PathOnCdRom("/home/user/vorqplayer", roots));
    EXPECT_FALSE(PathOnCdRom("/media/cdrom/x", {}));
}

TEST(PlayerEntry, PlaysAGameToItsEndAndLetsTheFolderGo) {
    TTestGameFolder folder;
    TPageWriter w;
    w.Wait("50");
    w.Terminate();
    folder.WritePage("main.vsb", w);
    TProjectFileData d = TestProjectData("main.vsb");
    d.SleepBetweenFrames = 1;  // frames of about 16 ms
    folder.WriteProject(d);
    const TEntryResult r = PlayerMain({folder.Path()}, headless(1000));
    EXPECT_EQ(r.Outcome, TEntryOutcome::Played);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_GE(r.Frames, 1u);  // a slow machine may end the wait in the second frame
    EXPECT_LT(r.Frames, 1000u);  // the game ended itself
    // The lock went with the player.
    const InstanceMutex again = CreateInstanceMutex(InstanceMutexName(folder.Path()));
    EXPECT_NE(again, NoInstanceMutex);
    ReleaseInstanceMutex(again);
    Terminating = false;
}

}  // namespace
