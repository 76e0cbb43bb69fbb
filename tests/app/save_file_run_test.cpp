// save.dat as the real player, headless, keeps it across runs of a game
// that saves one more slot at every start: files named as its side
// directory or its entries are never taken into it; a save.dat that leads
// to anything but a regular file is never replaced; a damaged one whose
// first replacement finds the disk full is copied once; a start page
// spelt with a byte no code page holds never runs the page named "?".
#include "engine/game_save.h"
#include "engine/scenario_writer.h"
#include "files/vocab.h"
#include "files/vr_file_collection.h"
#include "platform/filesystem/filesys.h"
#include "platform/text/codepage.h"
#include "tests/support/file_bytes.h"
#include "tests/support/fixture_writers.h"
#include "tests/support/node_swap.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <csignal>
#include <cstdio>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string kPlayer = std::string(VORQ_BINARY_DIR) + "/vorqplayer";
const char kDamageTold[] = "が壊れているため読めません";

CommandOutcome play(const std::string& game, const std::string& cwd = "/") {
    return RunCommand("cd '" + cwd + "' && env VORQ_HEADLESS=1 VORQ_FRAMES=3000 timeout 120 '" + kPlayer + "' '" +
                      NativePath(game) + "' 2>&1");
}

// The unpacked entries of a save file, read as the player's own archive.
std::map<std::string, std::string> entries_of(const std::string& save_path) {
    TVrFileCollection a;
    a.OpenOwnArchive(save_path);
    std::map<std::string, std::string> out;
    for (int i = 0; i + 1 < a.Count(); ++i) {
        TMemoryStream m;
        a.LoadEntry(*a.GetEntry(i), m);
        out[a.GetEntry(i)->GetName()] = std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
    }
    return out;
}

TEST(SaveFileRun, FilesNamedAsItsSideDirectoryOrAnEntryAreNeverTakenIntoIt) {
    const struct {
        const char* What;
        std::string Planted;  // relative to the game folder
    } cases[] = {
        {"save.ext beside save.dat", "save.ext"},
        {"GAMESAVEDATA1 in the working folder", "work/GAMESAVEDATA1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TTestGameFolder game;
        WriteCountingGame(game, true);
        const std::string dir = NativePath(game.Path());
        fs::create_directory(dir + "work");
        ASSERT_EQ(play(game.Path(), dir + "work").Status, 0);
        const auto first = entries_of(game.Path() + "save.dat");
        ASSERT_EQ(first.count(GameSaveEntryName(1)), 1u);
        std::ofstream(dir + c.Planted) << "planted: any bytes at all";
        for (int run = 2; run <= 3; ++run) {
            const CommandOutcome o = play(game.Path(), dir + "work");
            EXPECT_EQ(o.Status, 0) << o.Output;
            EXPECT_EQ(o.Output.find(kDamageTold), std::string::npos) << o.Output;
        }
        const auto now = entries_of(game.Path() + "save.dat");
        EXPECT_EQ(now.at(GameSaveEntryName(1)), first.at(GameSaveEntryName(1)));
        EXPECT_EQ(now.count(GameSaveEntryName(3)), 1u);
        EXPECT_FALSE(fs::exists(dir + "save.dat.damaged"));
    }
}

// A link to a device node (a link to /dev/null turns a file off), made in
// a private folder as a user would keep one; the other kinds of file are
// ReplaceFileContents' own test.
TEST(SaveFileRun, ASaveFileLinkedToADeviceIsNeverReplaced) {
    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    char folder[] = "/tmp/vorq-node-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string node = std::string(folder) + "/null";
    ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    TTestGameFolder game;
    WriteCountingGame(game, true);
    const std::string dir = NativePath(game.Path());
    ASSERT_EQ(::symlink(node.c_str(), (dir + "save.dat").c_str()), 0);
    const CommandOutcome o = play(game.Path());
    EXPECT_EQ(o.Status, 1) << o.Output;
    EXPECT_NE(o.Output.find("save.dat:ファイルに書き込めません"), std::string::npos) << o.Output;
    struct stat st;
    ASSERT_EQ(::lstat(node.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(::lstat((dir + "save.dat").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // Nothing else beside them: no temporary, no copy.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3) << "vorq.vpb, main.vsb, save.dat";
    fs::remove_all(folder);
}

// Root plays a game in a folder open to all, or in one of another user's
// (nobody) own, where that user planted save.dat as a link to a file only
// root may read: that file is neither read as the save, nor copied into
// the folder, nor written.
TEST(SaveFileRun, RootNeverTakesAnotherUsersLinkForItsSaveFile) {
    if (::geteuid() != 0) GTEST_SKIP() << "playing as root over another user's link needs root";
    if (const char* tool = MissingTool({"setpriv"})) GTEST_SKIP() << tool << " is not installed";
    for (const bool theirs : {false, true}) {
        SCOPED_TRACE(theirs ? "the other user's own folder" : "a folder open to all");
        char folder[] = "/tmp/vorq-planted-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        const std::string base = folder, secret = base + "/private/secret", game = base + "/game/";
        ASSERT_EQ(RunCommand("chmod 0755 " + base + " && mkdir -m 0700 " + base + "/private && echo root only > " +
                             secret + " && mkdir -m " + (theirs ? "0755 " : "0777 ") + game + " && echo ok")
                      .Output,
                  "ok\n");
        TTestGameFolder source;
        WriteCountingGame(source, true);
        for (const char* name : {"vorq.vpb", "main.vsb"}) fs::copy_file(NativePath(source.Path()) + name, game + name);
        if (theirs) {
            ASSERT_EQ(RunCommand("chown -R nobody:nogroup " + game + " && echo ok").Output, "ok\n");
        }
        ASSERT_EQ(RunCommand("setpriv --reuid=nobody --regid=nogroup --clear-groups ln -s " + secret + " " + game +
                             "save.dat && echo ok")
                      .Output,
                  "ok\n");
        const CommandOutcome o = play(GamePath(game));
        EXPECT_NE(o.Output.find("save.dat:ファイル"), std::string::npos) << o.Output;
        EXPECT_EQ(ReadNativeFileBytes(secret), "root only\n");
        struct stat st {};
        ASSERT_EQ(::lstat((game + "save.dat").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(std::distance(fs::directory_iterator(game), fs::directory_iterator()), 3)
            << "vorq.vpb, main.vsb, save.dat";
        fs::remove_all(folder);
    }
}

// A game reached through another user's link above its folder (a user
// playing shared/title, title a link of a second user's; root playing
// ahome/games/t2, games a link of nobody's): every run reads the saves the
// run before made and saves one more, with nothing to tell.
TEST(SaveFileRun, AGameBehindAnotherUsersLinkAboveItsFolderKeepsItsSaves) {
    if (::geteuid() != 0) GTEST_SKIP() << "links of other users need root";
    if (const char* tool = MissingTool({"setpriv"})) GTEST_SKIP() << tool << " is not installed";
    char folder[] = "/tmp/vorq-above-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string w = std::string(folder) + "/";
    TTestGameFolder source;
    WriteCountingGame(source, true);
    const struct {
        const char* Played;  // the game's folder as given to the player
        const char* Real;    // where it lies
        const char* Link;    // the link above it, and what it holds
        const char* LinkTo;
        const char* LinkOwner;
        const char* Player;  // as whom the player runs, and owns the folder
    } cases[] = {
        {"shared/title/", "store/title/", "shared/title", "store/title", "65533", "nobody"},
        {"ahome/games/t2/", "opt/games/t2/", "ahome/games", "opt/games", "nobody", "root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Played);
        const std::string real = w + c.Real, link = w + c.Link;
        ASSERT_EQ(RunCommand("chmod 0755 " + w + " && mkdir -p " + real + " " + fs::path(link).parent_path().string() +
                             " && cp '" + NativePath(source.Path()) + "'/* " + real + " && chown -R " + c.Player +
                             " " + real + " && ln -s " + w + c.LinkTo + " " + link + " && chown -h " + c.LinkOwner +
                             " " + link + " && echo ok")
                      .Output,
                  "ok\n");
        const std::string as = std::string(c.Player) == "root" ? "" : "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
        for (int run = 1; run <= 2; ++run) {
            const CommandOutcome o = RunCommand(as + "env VORQ_HEADLESS=1 VORQ_FRAMES=3000 TMPDIR=/tmp timeout 120 '" +
                                                PlayerForEveryUser() + "' '" + w + c.Played + "' 2>&1");
            EXPECT_EQ(o.Status, 0) << o.Output;
            EXPECT_EQ(o.Output.find("ファイル"), std::string::npos) << o.Output;
            EXPECT_EQ(entries_of(GamePath(real + "save.dat")).count(GameSaveEntryName(run)), 1u) << run;
        }
    }
    fs::remove_all(folder);
}

// Another process keeps exchanging save.dat with a FIFO or a device every
// 200 us while a game makes 20 saves: the player never waits on the FIFO,
// never reads the device, and never puts a file where either stood.
TEST(SaveFileRun, AFifoOrDeviceSwappedWithTheSaveFileWhileTheGameSavesIsNeverWaitedOnNorReplaced) {
    for (const SwappedNode& c : NodesToSwap()) {
        SCOPED_TRACE(c.What);
        TTestGameFolder game;
        TPageWriter page;
        page.While("count < 20");
        page.Calc("count = count + 1");
        page.GameSave("count", "\"slot\"");
        page.Wait("20");
        page.EndWhile();
        page.Terminate();
        game.WritePage("main.vsb", page);
        TProjectFileData project = TestProjectData("main.vsb");
        project.SleepBetweenFrames = true;
        TProjectFileData::Variable count;
        count.Type = PT_INT;
        count.Name = "count";
        project.Variables.push_back(count);
        game.WriteProject(project);
        const std::string dir = NativePath(game.Path());
        ASSERT_EQ(play(game.Path()).Status, 0);
        ASSERT_EQ(::mknod((dir + "node").c_str(), c.Type, c.Dev), 0);
        NodeSwapper swapper(dir + "save.dat", dir + "node");
        ASSERT_TRUE(swapper.Started());
        const CommandOutcome o = RunCommand("env VORQ_HEADLESS=1 VORQ_FRAMES=3000 timeout -s KILL 60 '" + kPlayer +
                                            "' '" + dir + "' 2>&1");
        swapper.Stop();
        EXPECT_TRUE(o.Status == 0 || o.Status == 1) << o.Status << o.Output;
        ExpectNodeAndFile(dir + "save.dat", dir + "node", c.Type);
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().filename().string().find(".damaged") != std::string::npos) {
                EXPECT_LT(fs::file_size(e.path()), 1u << 20) << e.path();
            }
        }
    }
}

// The first replacement of a damaged save.dat finds room for its copy but
// not for the new file (a small tmpfs, filled, in a mount namespace of the
// run's own); the next run has room. One copy, named once, by the write
// that replaced the file.
TEST(SaveFileRun, ADamagedSaveFileIsCopiedOnceThoughItsFirstReplacementFindsTheDiskFull) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    if (const char* tool = MissingTool({"unshare", "truncate"})) GTEST_SKIP() << tool << " is not installed";
    TTestGameFolder source;
    WriteCountingGame(source, true);
    ASSERT_EQ(play(source.Path()).Status, 0);
    // Slot 1's packed bytes spoilt in their middle.
    std::string damaged = ReadFileBytes(source.Path() + "save.dat");
    {
        TVrFileCollection a;
        a.OpenOwnArchive(source.Path() + "save.dat");
        const TVrFile& slot = *a.FindEntry(GameSaveEntryName(1));
        damaged[static_cast<size_t>(slot.Offset + slot.Size / 2)] ^= 0x20;
    }
    source.WriteFile("save.dat", damaged);
    char folder[] = "/tmp/vorq-full-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string game = std::string(folder) + "/game", out = std::string(folder) + "/out";
    fs::create_directory(game);
    fs::create_directory(out);
    std::ofstream(out + "/run.sh")
        << "unshare -m sh -c '\n"
           "mount --make-rprivate / && mount -t tmpfs -o size=256k tmpfs \"$G\" || exit 125\n"
           "play() { env VORQ_HEADLESS=1 VORQ_FRAMES=3000 TMPDIR=/tmp timeout 120 \"$P\" \"$G\"; }\n"
           "cp \"$SRC\"/* \"$G\"/ || exit 125\n"
           "cat /dev/zero >\"$G/fill\" 2>/dev/null\n"
           // Room for a copy of save.dat and no more.
           "size=$(stat -c %s \"$G/save.dat\")\n"
           "truncate -s -$(( (size + 4095) / 4096 * 4096 )) \"$G/fill\"\n"
           "play >\"$OUT/full.log\" 2>&1; echo $? >\"$OUT/full.status\"\n"
           "rm \"$G/fill\"\n"
           "play >\"$OUT/room.log\" 2>&1; echo $? >\"$OUT/room.status\"\n"
           "ls \"$G\" >\"$OUT/listing\"; cp \"$G\"/save.dat* \"$OUT\"/\n'\n";
    const CommandOutcome o = RunCommand("env P='" + kPlayer + "' SRC='" + NativePath(source.Path()) + "' G='" + game +
                                        "' OUT='" + out + "' bash '" + out + "/run.sh' 2>&1");
    const std::string full = ReadNativeFileBytes(out + "/full.log"), room = ReadNativeFileBytes(out + "/room.log");
    EXPECT_EQ(ReadNativeFileBytes(out + "/full.status"), "1\n") << o.Output << full;
    EXPECT_NE(full.find("save.dat:ファイルに書き込めません"), std::string::npos) << full;
    EXPECT_EQ(full.find("として残し"), std::string::npos) << full;
    EXPECT_EQ(ReadNativeFileBytes(out + "/room.status"), "0\n") << room;
    EXPECT_NE(room.find("/save.dat.damaged として残し"), std::string::npos) << room;
    EXPECT_EQ(ReadNativeFileBytes(out + "/listing"), "main.vsb\nsave.dat\nsave.dat.damaged\nvorq.vpb\n");
    EXPECT_EQ(ReadNativeFileBytes(out + "/save.dat.damaged"), damaged);
    const auto now = entries_of(out + "/save.dat");
    // The full run's count was never kept: the run with room saved slot 2 again.
    EXPECT_EQ(now.count(GameSaveEntryName(1)), 0u);
    EXPECT_EQ(now.count(GameSaveEntryName(2)), 1u);
    fs::remove_all(folder);
}

TEST(SaveFileRun, AStartPageWithAByteNoCodePageHoldsNeverRunsThePageNamedWithAStandIn) {
    TTestGameFolder game;
    TPageWriter stand_in;
    stand_in.GameSave("1", "\"ran\"");
    stand_in.Terminate();
    game.WritePage("?.vsb", stand_in);
    game.WriteProject(TestProjectData("\xFD.vsb"));
    const CommandOutcome o = play(game.Path());
    EXPECT_NE(o.Output.find("スタートページがありません"), std::string::npos) << o.Output;
    EXPECT_EQ(entries_of(game.Path() + "save.dat").count(GameSaveEntryName(1)), 0u);
}

}  // namespace
