// Pictures the real player saves through a link whose ".." climbs back out
// of a folder that another process keeps exchanging with one of the same
// shape outside the game's folder: none lands outside. Pictures it saves
// thirty folders deep while allowed few open files: all are saved.
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "platform/filesystem/filesys.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/node_swap.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(SaveScreenRun, AFolderMovedOutWhileALinkClimbsBackThroughItLeadsNoPictureOutside) {
    TTestGameFolder game, outside;
    TPageWriter page;
    page.While("count < 500");
    page.Calc("count = count + 1");
    page.Calc("saved = SaveScreen(\"x\\\\Shot.tes\")");
    page.EndWhile();
    page.Terminate();
    game.WritePage("main.vsb", page);
    TProjectFileData project = TestProjectData("main.vsb");
    project.SleepBetweenFrames = true;
    for (const char* name : {"count", "saved"}) {
        TProjectFileData::Variable v;
        v.Type = PT_INT;
        v.Name = name;
        project.Variables.push_back(v);
    }
    game.WriteProject(project);
    const std::string in = NativePath(game.Path()), out = NativePath(outside.Path());
    for (const std::string& top : {in, out}) fs::create_directories(top + "a/b"), fs::create_directories(top + "pics");
    ASSERT_EQ(::symlink("a/b/../../pics", (in + "x").c_str()), 0);
    NodeSwapper swapper(in + "a", out + "a");
    ASSERT_TRUE(swapper.Started());
    const CommandOutcome o =
        RunCommand("env VORQ_HEADLESS=1 VORQ_FRAMES=3000 timeout 120 '" + std::string(VORQ_BINARY_DIR) +
                   "/vorqplayer' '" + in + "' 2>&1");
    swapper.Stop();
    EXPECT_EQ(o.Status, 0) << o.Output;
    EXPECT_TRUE(fs::exists(in + "pics/Shot.tes"));
    EXPECT_FALSE(fs::exists(out + "pics/Shot.tes"));
}

// SaveScreen("D1\...\D30\Shot.tes") into folders d1/.../d30 (each name
// matched without case, so walked one by one) by a player allowed 40
// open files: the five pictures are saved.
TEST(SaveScreenRun, PicturesThirtyFoldersDeepAreSavedUnderALowOpenFileLimit) {
    TTestGameFolder game;
    std::string folders, names;
    for (int i = 1; i <= 30; ++i) {
        folders += "d" + std::to_string(i) + "/";
        names += "D" + std::to_string(i) + "\\\\";
    }
    TPageWriter page;
    for (int i = 1; i <= 5; ++i) page.Calc("saved = SaveScreen(\"" + names + "Shot" + std::to_string(i) + ".tes\")");
    page.Terminate();
    game.WritePage("main.vsb", page);
    TProjectFileData project = TestProjectData("main.vsb");
    project.SleepBetweenFrames = true;
    TProjectFileData::Variable v;
    v.Type = PT_INT;
    v.Name = "saved";
    project.Variables.push_back(v);
    game.WriteProject(project);
    const std::string in = NativePath(game.Path());
    fs::create_directories(in + folders);
    const CommandOutcome o = RunCommand("ulimit -n 40 && env VORQ_HEADLESS=1 VORQ_FRAMES=300 timeout 120 '" +
                                        std::string(VORQ_BINARY_DIR) + "/vorqplayer' '" + in + "' 2>&1");
    EXPECT_EQ(o.Status, 0) << o.Output;
    for (int i = 1; i <= 5; ++i) EXPECT_TRUE(fs::exists(in + folders + "Shot" + std::to_string(i) + ".tes")) << i;
}

}  // namespace
