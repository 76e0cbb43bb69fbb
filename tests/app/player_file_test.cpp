// The real executable copied into a folder of its own, as a game ships it:
// with a game appended it plays that game without arguments, whatever the
// player's file is named; and its "/config" start copes with a game.ini it
// cannot read. Nothing here measures time: the outer `timeout` only keeps a
// regression from stalling the suite.
#include "files/install_set.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/stream.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";

using Outcome = CommandOutcome;

Outcome run(const std::string& env, const std::string& program, const std::string& args = "") {
    const std::string cmd = "env " + env + " timeout 120 '" + program + "' " + args + " 2>&1";
    return RunCommand(cmd);
}

// A copy of the player under the given name in the folder.
std::string copy_player(const TTestGameFolder& folder, const std::string& name) {
    const std::string copy = NativePath(folder.Path()) + name;
    std::filesystem::copy_file(kPlayer, copy);
    chmod(copy.c_str(), 0755);
    return copy;
}

TEST(PlayerFile, WithAGameAppendedPlaysItWithoutArgumentsWhateverItsName) {
    TTestGameFolder folder;
    TPageWriter page;
    page.Calc("x = 1");
    page.Terminate();
    folder.WritePage("main.vsb", page);
    // Frames at their period, so the start-up logo ends within the frames allowed.
    TProjectFileData project = TestProjectData("main.vsb");
    project.SleepBetweenFrames = true;
    folder.WriteProject(project);
    // Installed with every file copied to the disk: nothing to look for on a disc.
    TVorqInstallSet install;
    install.Title = "test";
    install.CopyAll = 1;
    TMemoryStream settings;
    install.SaveToStream(settings);
    folder.WriteArchive("game.vf",
                        {{"vorq.vpb", ReadNativeFileBytes(NativePath(folder.Path() + "vorq.vpb"))},
                         {"main.vsb", ReadNativeFileBytes(NativePath(folder.Path() + "main.vsb"))},
                         {"install.dat", std::string(reinterpret_cast<const char*>(settings.Memory()),
                                                     static_cast<size_t>(settings.GetSize()))}});
    const std::string archive = ReadNativeFileBytes(NativePath(folder.Path() + "game.vf"));
    for (const char* name : {"vorqplayer", "vorqplayer.exe"}) {
        SCOPED_TRACE(name);
        TTestGameFolder shipped;
        const std::string player = copy_player(shipped, name);
        {
            // The archive, then its start and "vq" as the last six bytes.
            std::ofstream out(player, std::ios::binary | std::ios::app);
            const auto start = static_cast<uint32_t>(std::filesystem::file_size(player));
            out << archive;
            for (int i = 0; i < 4; ++i) out.put(static_cast<char>(start >> (8 * i)));
            out << "vq";
        }
        const std::string trace = NativePath(shipped.Path()) + "trace.txt";
        const Outcome o = run("VORQ_HEADLESS=1 VORQ_FRAMES=2000 VORQ_TRACE='" + trace + "'", player);
        EXPECT_EQ(o.Status, 0) << o.Output;
        EXPECT_NE(ReadNativeFileBytes(trace).find(" : main.vsb(1)"), std::string::npos) << o.Output;
    }
}

TEST(PlayerFile, ConfigWithAnUnreadableGameIniShowsTheDefaultsAndSaysSo) {
    TTestGameFolder shipped;
    const std::string player = copy_player(shipped, "vorqplayer");
    std::filesystem::create_directory(NativePath(shipped.Path()) + "game.ini");
    const Outcome o = run("VORQ_HEADLESS=1", player, "/config");
    EXPECT_EQ(o.Status, 0) << o.Output;
    EXPECT_NE(o.Output.find("game.iniを読み込めませんでした。既定の設定を表示します。"), std::string::npos) << o.Output;
    EXPECT_EQ(o.Output.find("basic_filebuf"), std::string::npos) << o.Output;
}

}  // namespace
