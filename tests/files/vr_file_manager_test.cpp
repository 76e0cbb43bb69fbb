#include "files/install_set.h"
#include "files/vr_file_manager.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/display/message_box.h"
#include "platform/display/video.h"

#include "tests/support/file_bytes.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

// Archives come from tests/data/archive (see make_archives.py there).
namespace {
namespace fs = std::filesystem;

std::string sample(const std::string& name) { return std::string(VORQ_TEST_DATA) + "/archive/" + name; }

std::string load(TVrFileManager& m, const std::string& name) {
    TMemoryStream s;
    m.LoadToStream(s, name);
    EXPECT_EQ(s.GetPosition(), 0);
    return StreamBytes(s);
}

// A fresh folder of our own below the private temporary folder.
std::string folder(const std::string& name) {
    std::string f = PrivateTempFolder() + name + "/";
    fs::remove_all(NativePath(f));
    ForceDirectories(f);
    return f;
}

void put(const std::string& path, const std::string& bytes) {
    ForceDirectories(ExtractFilePath(path));
    std::ofstream(NativePath(path), std::ios::binary) << bytes;
}

// A 200 KB film in the first archive, as a copy that 64 KiB cannot hold.
std::string add_film(TVrFileManager& m) {
    std::string film(200000, '\0');
    for (size_t i = 0; i < film.size(); ++i) film[i] = static_cast<char>(i * 7 % 251);
    m.AddArchive("");
    m.GetCollection(0)->AddEntry("movie\\op.wmv")->Data->WriteBuffer(film.data(), static_cast<int64_t>(film.size()));
    return film;
}
}  // namespace

TEST(VrFileManager, SearchOrderAndCache) {
    std::string base = folder("base");
    TVrFileManager m;
    m.SetBaseFolder(base.substr(0, base.size() - 1));
    EXPECT_EQ(m.BaseFolder, base.substr(0, base.size() - 1) + "\\");
    ASSERT_EQ(m.AddArchive(sample("v102.dat")), 0);
    put(base + "se/click.wav", "loose wav");
    EXPECT_EQ(load(m, "se\\click.wav"), "loose wav");  // the loose file wins
    EXPECT_EQ(load(m, "script\\start.vsb").substr(0, 6), "line 0");
    // Cached: a loose file added later does not replace it, and both
    // spellings share one item.
    put(base + "script/start.vsb", "loose page");
    EXPECT_EQ(load(m, "SCRIPT\\START.VSB").substr(0, 6), "line 0");
    int items = m.Cache.Count();
    m.Cache.Remove("Script\\Start.vsb");
    EXPECT_EQ(m.Cache.Count(), items - 1);
    EXPECT_EQ(load(m, "script\\start.vsb"), "loose page");
    // A missing name leaves an empty item and keeps failing.
    for (int i = 0; i < 2; ++i) {
        try {
            load(m, "none.txt");
            FAIL();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "none.txt" + Sjis(":ファイルがありません"));
        }
    }
    EXPECT_EQ(m.Cache.Lookup("NONE.TXT")->Content->GetSize(), 0);
    EXPECT_TRUE(m.FileExists("Se\\Click.wav"));
    EXPECT_FALSE(m.FileExists(""));
    EXPECT_FALSE(m.FileExists("none.txt"));
    ASSERT_NE(m.FindEntry("zero.dat"), nullptr);
    EXPECT_EQ(load(m, "zero.dat"), "");
}

TEST(VrFileManager, CacheEvictsLeastRecentlyUsed) {
    TVrCacheList cache;
    for (const char* n : {"a", "b", "c"}) cache.Lookup(n)->Content->SetSize(2 << 20);
    cache.Lookup("A");  // a is now the most recent: order a, c, b
    EXPECT_EQ(cache.Get(1)->Name, "C");
    TVrCache* d = cache.Lookup("d");
    ASSERT_EQ(cache.Count(), 3);  // b went: 4 MiB is under 4,194,305 bytes
    EXPECT_EQ(cache.Get(0), d);
    EXPECT_EQ(cache.Get(1)->Name, "A");
    EXPECT_EQ(cache.Get(2)->Name, "C");
    // Exactly 4 MiB is kept; one byte more starts eviction.
    TVrCacheList edge;
    edge.Lookup("x")->Content->SetSize(4 << 20);
    edge.Lookup("y");
    EXPECT_EQ(edge.Count(), 2);
    edge.Get(1)->Content->SetSize((4 << 20) + 1);
    edge.Lookup("z");
    EXPECT_EQ(edge.Count(), 2);
    EXPECT_EQ(edge.GetTotalSize(), 0);
}

TEST(VrFileManager, DamagedEntryDoesNotPoisonTheCache) {
    TVrFileManager m;
    m.AddArchive(sample("bad_zlib.dat"));
    for (int i = 0; i < 2; ++i) EXPECT_THROW(load(m, "bad.txt"), ECorruptData);
    EXPECT_EQ(m.Cache.Lookup("bad.txt")->Content->GetSize(), 0);
    // Nor is a temporary file of it recorded.
    EXPECT_THROW(m.GetLocalFileName("bad.txt"), ECorruptData);
    EXPECT_EQ(m.Locks.Count(), 0);
    EXPECT_FALSE(FileExists(m.TempPath + "~vq00000000.txt"));
}

TEST(VrFileManager, InMemoryEntriesAreNeverCached) {
    TVrFileManager m;
    m.AddArchive("");  // the empty first archive that receives such entries
    TVrFile* e = m.GetCollection(0)->AddEntry("mem:shot");
    e->Data->WriteBuffer("one", 3);
    EXPECT_EQ(load(m, "MEM:SHOT"), "one");
    e->Data->Clear();
    e->Data->WriteBuffer("two", 3);
    EXPECT_EQ(load(m, "mem:shot"), "two");
    EXPECT_EQ(m.Cache.Count(), 0);
}

TEST(VrFileManager, WithoutATemporaryFolderCopiesFailAndThePlayerIsToldOnce) {
    TVrFileManager m;
    m.AddArchive(sample("v102.dat"));
    m.TempPath = "";  // no folder could be made
    const uint32_t boxes = MessageBoxesShown();
    for (const char* name : {"se\\click.wav", "SE\\click.wav"}) {
        try {
            m.GetLocalFileName(name);
            ADD_FAILURE() << name << " was copied somewhere";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), Sjis("作業用ファイルが作れません"));
        }
    }
    EXPECT_EQ(MessageBoxesShown() - boxes, 1u);
    EXPECT_EQ(m.Locks.Count(), 0);
}

// $TMPDIR is a 64 KiB tmpfs that the copy fills up, in a mount namespace of
// the child's own; /tmp has room, or is as small.
TEST(VrFileManager, ACopyThatFillsTheTemporaryFolderGoesToTmpElseIsRefusedOnceLeavingNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    const std::string mount_point = folder("small_tmpdir");
    const struct {
        const char* Inner;
        std::string Mounts;
    } cases[] = {
        {"DISABLED_CopyGoesToTmp", "D=\"" + mount_point + "\""},
        {"DISABLED_CopyIsRefused", "mount -t tmpfs -o size=64k tmpfs /tmp && D=/tmp/small && mkdir $D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Inner);
        // The program is run through a handle opened before the mounts: it
        // may itself lie under /tmp.
        const CommandOutcome o = RunCommand(
            "unshare -m sh -c 'exec 9<\"" + std::string(self) + "\" && mount --make-rprivate / && " + c.Mounts +
            " && mount -t tmpfs -o size=64k tmpfs $D && TMPDIR=$D exec /proc/self/fd/9"
            " --gtest_also_run_disabled_tests --gtest_filter=VrFileManagerFullFolder." + c.Inner + "' 2>&1");
        EXPECT_EQ(o.Status, 0) << o.Output;
    }
}

TEST(VrFileManagerFullFolder, DISABLED_CopyGoesToTmp) {
    TVrFileManager m;
    const std::string film = add_film(m);
    const uint32_t boxes = MessageBoxesShown();
    const std::string path = m.GetLocalFileName("movie\\op.wmv");
    EXPECT_EQ(ExtractFilePath(path), FallbackTempFolder());
    EXPECT_EQ(FallbackTempFolder().substr(0, 5), "/tmp/");
    EXPECT_EQ(ReadFileBytes(path), film);
    EXPECT_TRUE(ListDirectory(m.TempPath).empty()) << "a part-written copy is left";
    EXPECT_EQ(MessageBoxesShown(), boxes);
}

TEST(VrFileManagerFullFolder, DISABLED_CopyIsRefused) {
    TVrFileManager m;
    add_film(m);
    const uint32_t boxes = MessageBoxesShown();
    for (int i = 0; i < 2; ++i) {
        try {
            m.GetLocalFileName("movie\\op.wmv");
            ADD_FAILURE() << "copied";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), Sjis("作業用ファイルが作れません"));
        }
    }
    EXPECT_EQ(MessageBoxesShown() - boxes, 1u);
    EXPECT_EQ(m.Locks.Count(), 0);
    EXPECT_TRUE(ListDirectory(m.TempPath).empty());
    ASSERT_NE(FallbackTempFolder(), "");
    EXPECT_TRUE(ListDirectory(FallbackTempFolder()).empty());
}

TEST(VrFileManager, TemporaryFilesAndRangeStreams) {
    CreateFileManager();
    TVrFileManager& m = *FileManager;
    m.AddArchive(sample("v102.dat"));
    std::string a = m.GetLocalFileName("se\\click.wav");
    std::string b = m.GetLocalFileName("SE\\click.wav");  // another spelling: its own lock
    EXPECT_EQ(m.GetLocalFileName("se\\click.wav"), a);
    EXPECT_EQ(m.Locks.Count(), 2);
    EXPECT_EQ(m.Locks.Get(0)->UseCount, 2);
    EXPECT_EQ(a, PrivateTempFolder() + "~vq00000000.wav");
    EXPECT_EQ(b, PrivateTempFolder() + "~vq00000001.wav");
    EXPECT_EQ(ReadFileBytes(a), "RIFF" + std::string(500, '\0'));
    EXPECT_EQ(m.GetLocalFileName("not\\here.ogg"), "not\\here.ogg");

    auto wav = m.OpenRangeStream("se\\click.wav");
    EXPECT_EQ(StreamBytes(*wav), "RIFF" + std::string(500, '\0'));
    EXPECT_EQ(m.OpenRangeStream("zero.dat")->GetSize(), 0);
    EXPECT_THROW(m.OpenRangeStream("none"), Exception);

    FreeFileManager();
    EXPECT_EQ(FileManager, nullptr);
    EXPECT_FALSE(FileExists(a));
    EXPECT_FALSE(FileExists(b));
    EXPECT_TRUE(TempDeletionQueue().empty());
}

TEST(VrFileManager, ArchivesByFolderAndExtractFolder) {
    std::string f = folder("loosegame");
    put(f + "a.txt", "A");
    TVrFileManager m;
    ASSERT_EQ(m.AddArchive(f), 0);  // not a file: a folder of loose files
    EXPECT_EQ(m.GetCollection(0)->BaseFolder, f);
    EXPECT_EQ(m.AddArchive(f), -1);
    EXPECT_EQ(m.AddArchive(f.substr(0, f.size() - 1)), 1);
    m.DeleteCollection(1);
    EXPECT_EQ(m.Count(), 1);
    EXPECT_THROW(m.DeleteCollection(5), EListError);

    EXPECT_EQ(TVrFileManager::ExtractFolder("data\\bg\\a.tes"), "data\\bg\\");
    EXPECT_EQ(TVrFileManager::ExtractFolder("a.tes"), "");
    EXPECT_EQ(TVrFileManager::ExtractFolder(""), "");
    EXPECT_EQ(TVrFileManager::ExtractFolder("C:a.tes"), "C:");
    EXPECT_EQ(TVrFileManager::ExtractFolder("\\\\srv\\share\\x"), "\\\\srv\\share\\");
    // The trail byte 0x5C of a double-byte character is no delimiter.
    EXPECT_EQ(TVrFileManager::ExtractFolder(Sjis("表")), "");
}

TEST(VrFileManager, DiscPromptMountsTheRightDisc) {
    std::string disc1 = folder("cd1"), disc2 = folder("cd2");
    fs::copy_file(NativePath(sample("v102.dat")), NativePath(disc1 + "game.dat"));
    fs::copy_file(NativePath(sample("v100.dat")), NativePath(disc2 + "game.dat"));
    TVorqInstallSet set;
    set.Title = "Game";
    set.DiskIndex = 0;
    set.SaveToFile(disc1 + "install.dat");
    set.DiskIndex = 1;
    set.SaveToFile(disc2 + "install.dat");

    TVrFileManager m;
    m.CdRoots = {disc1, disc2};
    m.GameTitle = "Game";
    // The game's text is no format string: only %d takes the number.
    m.DiskRequestMessage = "Insert disc %d %s%n%%";
    m.ExitMessage = "Quit?";
    std::vector<std::string> asked;
    std::vector<bool> answers;
    m.AskOkCancel = [&](const std::string& text) {
        asked.push_back(text);
        bool a = answers.front();
        answers.erase(answers.begin());
        return a;
    };
    answers = {true};
    ASSERT_TRUE(m.RequestDisk(2));
    EXPECT_EQ(asked, std::vector<std::string>{"Insert disc 2 %s%n%"});
    ASSERT_EQ(m.Count(), 1);
    EXPECT_TRUE(m.FileExists("empty"));  // only in v100.dat

    // Changing to disc 1 closes disc 2's archive first. A Cancel, then
    // Cancel at the quit question, asks again.
    m.AddArchive(sample("v0.dat"));  // not on a disc: stays
    asked.clear();
    answers = {false, false, true};
    ASSERT_TRUE(m.RequestDisk(1));
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[1], "Quit?");
    ASSERT_EQ(m.Count(), 2);
    EXPECT_EQ(m.GetCollection(0)->FileName, sample("v0.dat"));
    EXPECT_TRUE(m.FileExists("se\\click.wav"));

    // Another game's disc is not ours; giving up quits.
    m.GameTitle = "Other";
    bool quit = false;
    m.OnQuit = [&] { quit = true; };
    answers = {true, false, true};
    EXPECT_FALSE(m.RequestDisk(1));
    EXPECT_TRUE(quit);
    EXPECT_EQ(m.Count(), 1);

    // Headless, nobody can change the disc: one look, then give up.
    m.AskOkCancel = nullptr;
    quit = false;
    ForceHeadless(true);
    EXPECT_FALSE(m.RequestDisk(1));
    ForceHeadless(false);
    EXPECT_FALSE(quit);
}
