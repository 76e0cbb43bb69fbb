#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/replace_file.h"
#include "platform/filesystem/stream.h"
#include "tests/support/node_swap.h"
#include "tests/support/openat2_stand_in.h"
#include "tests/support/run_command.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <random>
#include <thread>

namespace {
std::string read_all(const std::string& path) {
    TMemoryStream m;
    m.LoadFromFile(path);
    return std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.GetSize()));
}

// Generation g of the file: 1 MB of the byte g, so that a torn or mixed
// file shows at once.
std::string generation(int g) { return std::string(1 << 20, static_cast<char>(g)); }

bool is_whole_generation(const std::string& text) {
    if (text.size() != (1u << 20)) return false;
    return text.find_first_not_of(text[0]) == std::string::npos;
}
}  // namespace

TEST(ReplaceFileContents, AKillAtAnyPointLeavesAWholeFile) {
    const std::string dir = PrivateTempFolder() + "replace_kill/";
    ASSERT_TRUE(ForceDirectories(dir));
    const std::string path = dir + "save.dat";
    ReplaceFileContents(path, generation(1).data(), 1 << 20);
    std::mt19937 rng(20);
    // Kill delays spread over the write, sync and rename of a few generations.
    for (int round = 0; round < 12; ++round) {
        const int delay_us = std::uniform_int_distribution<int>(0, 40000)(rng);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int g = 2;; g = g % 250 + 2) {
                const std::string data = generation(g);
                ReplaceFileContents(path, data.data(), data.size());
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round;
        EXPECT_TRUE(is_whole_generation(read_all(path))) << "round " << round << " delay " << delay_us;
    }
}

TEST(ReplaceFileContents, FailuresKeepTheOldFileAndLeaveNoTemporary) {
    const std::string dir = PrivateTempFolder() + "replace_fail/";
    ASSERT_TRUE(ForceDirectories(dir));
    const std::string path = dir + "save.dat";
    const std::string old_text = "old slots";
    ReplaceFileContents(path, old_text.data(), old_text.size());
    ::chmod(NativePath(path).c_str(), 0640);

    // A full disk part-way through.
    const std::string big(4096, 'x');
    EXPECT_EQ(ExitOfWriteOnFullDisk<EWriteError>(16, [&] { ReplaceFileContents(path, big.data(), big.size()); }), 3);
    EXPECT_EQ(read_all(path), old_text);
    EXPECT_EQ(ListDirectory(dir).size(), 1u);

    // A successful replace keeps the old file's permission bits.
    const std::string new_text = "new slots";
    ReplaceFileContents(path, new_text.data(), new_text.size());
    EXPECT_EQ(read_all(path), new_text);
    struct stat st {};
    ASSERT_EQ(::stat(NativePath(path).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ListDirectory(dir).size(), 1u);

    // A folder that does not exist cannot take the temporary file.
    EXPECT_THROW(ReplaceFileContents(dir + "no/such/save.dat", "x", 1), EFCreateError);

    // A file made read-only stays as it is, whoever writes (root too).
    ::chmod(NativePath(path).c_str(), 0444);
    EXPECT_THROW(ReplaceFileContents(path, old_text.data(), old_text.size()), EWriteError);
    EXPECT_EQ(read_all(path), new_text);
    EXPECT_EQ(ListDirectory(dir).size(), 1u);
}

TEST(ReplaceFileContents, ASaveFileThatIsALinkStaysALinkAndItsTargetIsReplaced) {
    const std::string dir = PrivateTempFolder() + "replace_link/";
    ASSERT_TRUE(ForceDirectories(dir + "game") && ForceDirectories(dir + "kept"));
    const std::string game = NativePath(dir + "game/"), kept = NativePath(dir + "kept/");
    const struct {
        const char* link;    // what save.dat leads to
        const char* target;  // the file it is, below dir
        bool exists;
    } cases[] = {
        {"../kept/a.dat", "kept/a.dat", true},
        {"chain", "kept/b.dat", true},  // chain -> kept/b.dat, absolute
        {"../kept/new.dat", "kept/new.dat", false},  // dangling: the target is made
    };
    ASSERT_EQ(::symlink((kept + "b.dat").c_str(), (game + "chain").c_str()), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        const std::string save = game + "save.dat";
        ::unlink(save.c_str());
        ASSERT_EQ(::symlink(c.link, save.c_str()), 0);
        if (c.exists) ReplaceFileContents(dir + c.target, "old", 3);
        ReplaceFileContents(dir + "game\\save.dat", "new slots", 9);
        struct stat st {};
        ASSERT_EQ(::lstat(save.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(read_all(dir + c.target), "new slots");
    }
    // No temporary is left in either folder.
    EXPECT_EQ(ListDirectory(dir + "game").size(), 2u);
    EXPECT_EQ(ListDirectory(dir + "kept").size(), 3u);
}

// save.dat, game.ini or a picture led by a link to a device (a link to
// /dev/null turns a file off), a FIFO, a socket or a folder: the write is
// refused and everything stays as it was.
TEST(ReplaceFileContents, APathLeadingToAnythingButARegularFileIsNeverReplaced) {
    const std::string dir = PrivateTempFolder() + "replace_node/", native = NativePath(dir);
    ASSERT_TRUE(ForceDirectories(dir));
    const struct {
        const char* What;
        std::string Make;  // makes "$T"
        mode_t Type;
    } cases[] = {
        {"a device", "mknod \"$T\" c 1 3", S_IFCHR},
        {"a FIFO", "mkfifo \"$T\"", S_IFIFO},
        {"a socket", "/usr/bin/python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' \"$T\"",
         S_IFSOCK},
        {"a folder", "mkdir \"$T\"", S_IFDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        if (c.Type == S_IFCHR && ::geteuid() != 0) continue;  // only root makes device nodes
        const std::string target = native + "node", link = native + "save.dat";
        ASSERT_EQ(RunCommand("T='" + target + "'; " + c.Make + " && echo ok").Output, "ok\n");
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
        EXPECT_THROW(ReplaceFileContents(dir + "save.dat", "slots", 5), EWriteError);
        EXPECT_THROW(CheckFileReplaceable(dir + "save.dat"), EWriteError);
        struct stat st {};
        ASSERT_EQ(::lstat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, c.Type);
        ASSERT_EQ(::lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(ListDirectory(dir).size(), 2u);
        ::unlink(link.c_str());
        std::system(("rm -rf '" + target + "'").c_str());
    }
}

TEST(ReplaceFileContents, TemporariesThatNoWriterHoldsAreRemovedAndAHeldOneStays) {
    const std::string dir = PrivateTempFolder() + "replace_stale/";
    ASSERT_TRUE(ForceDirectories(dir));
    const std::string native = NativePath(dir);
    ReplaceFileContents(dir + "save.dat", "old", 3);
    // Left by a player killed before its rename; and files that are no
    // temporaries of save.dat.
    const std::string left = native + ".~save.dat.Ab3xYz", held = native + ".~save.dat.Held01";
    for (const char* name : {".~save.dat.Ab3xYz", ".~game.ini.Ab3xYz", ".~save.dat.Ab3xY", ".~save.dat.Ab3x-z",
                             "save.dat.damaged"})
        ReplaceFileContents(dir + name, "x", 1);
    // A player half-way through its save holds its temporary locked.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        const int fd = ::open(held.c_str(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1) _exit(1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);

    ReplaceFileContents(dir + "save.dat", "new", 3);
    EXPECT_EQ(::access(left.c_str(), F_OK), -1);
    EXPECT_EQ(::access(held.c_str(), F_OK), 0);
    EXPECT_EQ(ListDirectory(dir).size(), 6u);

    kill(writer, SIGKILL);
    int status = 0;
    waitpid(writer, &status, 0);
    ReplaceFileContents(dir + "save.dat", "newer", 5);
    EXPECT_EQ(::access(held.c_str(), F_OK), -1);
    EXPECT_EQ(read_all(dir + "save.dat"), "newer");
    EXPECT_EQ(ListDirectory(dir).size(), 5u);
}

namespace {
// A folder under /tmp that another user may enter, removed at the end.
struct SharedFolder {
    std::string Path;
    SharedFolder() {
        char tmpl[] = "/tmp/vorq-shared-XXXXXX";
        if (::mkdtemp(tmpl)) Path = std::string(tmpl) + "/";
        ::chmod(tmpl, 0755);
    }
    ~SharedFolder() {
        if (!Path.empty()) std::system(("rm -rf '" + Path + "'").c_str());
    }
};

const char kNobody[] = "65534";
std::string as_nobody(const std::string& command) {
    return std::string("setpriv --reuid=") + kNobody + " --regid=" + kNobody + " --clear-groups " + command;
}
}  // namespace

// Root playing a game in a folder another user may write to: a link that
// user planted, for the save or on the way it leads, is followed only to a
// file of that user's own, even where that user owns the folder; a file
// of that user's replaced or copied by root stays theirs.
TEST(ReplaceFileContents, RootFollowsNoLinkOfAnotherUserAndLeavesTheirFileTheirs) {
    if (::geteuid() != 0) GTEST_SKIP() << "playing as root over another user's files needs root";
    if (const char* tool = MissingTool({"setpriv"})) GTEST_SKIP() << tool << " is not installed";
    const SharedFolder shared;
    ASSERT_FALSE(shared.Path.empty());
    const std::string secret_dir = shared.Path + "private/", secret = secret_dir + "secret";
    const std::string theirs = shared.Path + "theirs/";
    ASSERT_EQ(RunCommand("mkdir -m 0700 " + secret_dir + " && echo root only > " + secret + " && mkdir -m 0755 " +
                         theirs + " && chown " + kNobody + " " + theirs + " && " +
                         as_nobody("sh -c 'umask 027 && echo old > " + theirs + "save.dat'") + " && ln -s " +
                         secret_dir + " " + shared.Path + "way && chown -h " + kNobody + " " + shared.Path +
                         "way && echo ok")
                  .Output,
              "ok\n");
    const struct {
        const char* What;
        const char* FolderOwner;
        const char* Mode;
        const char* LinkAt;
        std::string To;
        const char* Saved;  // the save's path below the game's folder
        bool Followed;
    } cases[] = {
        {"a folder of root's open to all", "0", "0777", "save.dat", secret, "save.dat", false},
        {"a sticky folder of root's open to all", "0", "1777", "save.dat", secret, "save.dat", false},
        {"the other user's own folder", kNobody, "0755", "save.dat", secret, "save.dat", false},
        {"a folder on the way it leads", kNobody, "0755", "save.dat", shared.Path + "way/secret", "save.dat", false},
        {"the other user's own file", kNobody, "0755", "save.dat", theirs + "save.dat", "save.dat", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string game = shared.Path + "game/", save = game + c.Saved;
        std::system(("rm -rf '" + game + "'").c_str());
        ASSERT_EQ(RunCommand("mkdir -m " + std::string(c.Mode) + " " + game + " && chown " + c.FolderOwner + " " +
                             game + " && " + as_nobody("ln -s " + c.To + " " + game + c.LinkAt) + " && echo ok")
                      .Output,
                  "ok\n");
        if (!c.Followed) {
            EXPECT_THROW(CheckFileReplaceable(save), EWriteError);
            EXPECT_FALSE(LinksFollowedForWriting(save));
            EXPECT_THROW(ReplaceFileContents(save, "slots", 5), EWriteError);
            EXPECT_THROW(KeepFileCopy(save, ".damaged"), EStreamError);
            EXPECT_EQ(read_all(secret), "root only\n");
            EXPECT_EQ(ListDirectory(game), std::vector<std::string>{c.LinkAt});
            continue;
        }
        // Root's copy beside the link and the file it rewrites: still theirs, mode and all.
        EXPECT_EQ(KeepFileCopy(save, ".damaged"), save + ".damaged");
        ReplaceFileContents(save, "new slots", 9);
        for (const std::string& made : {save + ".damaged", theirs + "save.dat"}) {
            struct stat st {};
            ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
            EXPECT_EQ(st.st_uid, 65534u) << made;
            EXPECT_EQ(st.st_gid, 65534u) << made;
            EXPECT_EQ(st.st_mode & 07777, 0640u) << made;
        }
        EXPECT_EQ(read_all(save + ".damaged"), "old\n");
        EXPECT_EQ(read_all(theirs + "save.dat"), "new slots");
        // ... so that its user reads the copy and saves again.
        EXPECT_EQ(RunCommand(as_nobody("sh -c 'cat " + save + ".damaged >> " + theirs + "save.dat && echo ok'")).Output,
                  "ok\n");
    }
}

// Another process keeps exchanging save.dat with a FIFO or a device while
// it is saved, read and copied: nothing waits on the FIFO, nothing reads
// the device, and neither is ever replaced by a file.
TEST(ReplaceFileContents, AFifoOrDeviceSwappedInWhileSavingIsNeverReplacedNorWaitedOn) {
    for (const SwappedNode& c : NodesToSwap()) {
        SCOPED_TRACE(c.What);
        const std::string dir = PrivateTempFolder() + "replace_swap/", native = NativePath(dir);
        std::system(("rm -rf '" + native + "'").c_str());
        ASSERT_TRUE(ForceDirectories(dir));
        ReplaceFileContents(dir + "save.dat", "slots", 5);
        ASSERT_EQ(::mknod((native + "node").c_str(), c.Type, c.Dev), 0);
        NodeSwapper swapper(native + "save.dat", native + "node");
        ASSERT_TRUE(swapper.Started());
        const pid_t saver = fork();
        ASSERT_GE(saver, 0);
        if (saver == 0) {
            for (int i = 0; i < 20; ++i) {
                try {
                    ReplaceFileContents(dir + "save.dat", "slots", 5);
                } catch (const EStreamError&) {
                }
                try {
                    TFileStream read(dir + "save.dat", fmOpenRead);
                } catch (const EStreamError&) {
                }
                try {
                    KeepFileCopy(dir + "save.dat", ".damaged");
                } catch (const EStreamError&) {
                }
            }
            _exit(0);
        }
        int status = -1;
        const bool ended = WaitUntil([&] { return ::waitpid(saver, &status, WNOHANG) == saver; });
        if (!ended) {
            ::kill(saver, SIGKILL);
            ::waitpid(saver, &status, 0);
        }
        swapper.Stop();
        EXPECT_TRUE(ended) << "the saves waited";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ExpectNodeAndFile(native + "save.dat", native + "node", c.Type);
        for (const std::string& name : ListDirectory(dir)) {
            struct stat st {};
            ASSERT_EQ(::lstat((native + name).c_str(), &st), 0);
            if (name.find(".damaged") != std::string::npos) {
                EXPECT_LE(st.st_size, 5) << name;
            }
        }
    }
}

// A picture a game asked to be removed at its end: removed in the game's
// folder, a link there removed itself, and nothing removed through a
// folder on the way that was made a link leading out meanwhile.
TEST(DeleteFileInFolder, RemovesOnlyInsideTheFolder) {
    const std::string dir = PrivateTempFolder() + "delete_in/", native = NativePath(dir);
    std::system(("rm -rf '" + native + "'").c_str());
    ASSERT_TRUE(ForceDirectories(dir + "game/sub") && ForceDirectories(dir + "outside"));
    const std::string game = native + "game/", outside = native + "outside/";
    for (const std::string& f : {game + "shot.tes", game + "sub/shot.tes", outside + "shot.tes"})
        ReplaceFileContents(GamePath(f), "x", 1);
    ASSERT_EQ(::symlink((outside + "shot.tes").c_str(), (game + "link.tes").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (game + "away").c_str()), 0);
    const struct {
        const char* Name;
        bool Removed;
        std::string Gone;  // what no longer exists after
    } cases[] = {
        {"shot.tes", true, game + "shot.tes"},
        {"sub/shot.tes", true, game + "sub/shot.tes"},
        {"link.tes", true, game + "link.tes"},
        {"away/shot.tes", false, ""},
        {"missing.tes", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(DeleteFileInFolder(dir + "game", c.Name), c.Removed);
        struct stat st {};
        if (!c.Gone.empty()) {
            EXPECT_NE(::lstat(c.Gone.c_str(), &st), 0);
        }
        EXPECT_EQ(::lstat((outside + "shot.tes").c_str(), &st), 0);
    }
}

// Links in a game's folder that lead back into it, absolute ones too
// (through the folder's own path or a linked one, in the middle of a path
// or at its end) and one that goes up and comes back, are followed for
// writing, with or without openat2; those that lead out are refused for
// writing and removal, with nothing made or changed outside.
TEST(ReplaceFileInFolder, LinksAreFollowedWhereverTheyLeadInsideTheFolder) {
    const std::string dir = NativePath(PrivateTempFolder()) + "links_in/";
    const std::string game = dir + "game/", linked = dir + "linked/", outside = dir + "outside/";
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_TRUE(ForceDirectories(GamePath(game + "data/pics")) && ForceDirectories(GamePath(outside)));
    ReplaceFileContents(GamePath(outside + "x.tes"), "theirs", 6);
    ASSERT_EQ(::symlink(game.c_str(), (dir + "linked").c_str()), 0);
    const struct {
        const char* At;  // the link, below the game's folder
        std::string To;
        const char* Name;   // the name written
        const char* Lands;  // where that lands below the game's folder, nullptr: refused
    } cases[] = {
        {"pics", game + "data/pics", "pics/mid.tes", "data/pics/mid.tes"},
        {"via", linked + "data", "via/pics/deep.tes", "data/pics/deep.tes"},
        {"end.tes", linked + "pic2.tes", "end.tes", "pic2.tes"},
        {"back.tes", "../game/data/back.tes", "back.tes", "data/back.tes"},
        {"away", outside, "away/x.tes", nullptr},
        {"through", linked + "../outside", "through/x.tes", nullptr},
        {"out.tes", outside + "x.tes", "out.tes", nullptr},
        {"made.tes", outside + "made.tes", "made.tes", nullptr},
    };
    for (const auto& c : cases) ASSERT_EQ(::symlink(c.To.c_str(), (game + c.At).c_str()), 0) << c.At;
    for (const Openat2Answer& answer : kOpenat2Answers) {
        const Openat2StandIn stand_in(answer.Call);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(answer.What) + ", " + c.Name);
            if (!c.Lands) {
                EXPECT_THROW(ReplaceFileInFolder(GamePath(game), c.Name, "shot", 4), EWriteError);
                if (std::string(c.At) != c.Name) {
                    EXPECT_FALSE(DeleteFileInFolder(GamePath(game), c.Name));
                }
                continue;
            }
            EXPECT_NO_THROW(ReplaceFileInFolder(GamePath(game), c.Name, "shot", 4));
            EXPECT_EQ(read_all(GamePath(game + c.Lands)), "shot");
            ::unlink((game + c.Lands).c_str());
        }
    }
    EXPECT_EQ(ListDirectory(GamePath(outside)), std::vector<std::string>{"x.tes"});
    EXPECT_EQ(read_all(GamePath(outside + "x.tes")), "theirs");
}

// Paths forty folders deep walked name by name (the game's names in
// another case; a kernel without openat2), forty links each leading a
// folder further, and a link into a folder 1,500 deep: as the kernel
// itself would follow them, they are written and removed by a player
// allowed 16 open files.
TEST(ReplaceFileInFolder, DeepPathsAndLongLinkChainsAreWalkedWithFewOpenFiles) {
    const std::string dir = NativePath(PrivateTempFolder()) + "deep/", game = dir + "game/";
    std::system(("rm -rf '" + dir + "'").c_str());
    std::string forty, as_spelt, in_capitals, deep;
    for (int i = 1; i <= 40; ++i) {
        forty += "d" + std::to_string(i) + "/";
        as_spelt += "d" + std::to_string(i) + "\\";
        in_capitals += "D" + std::to_string(i) + "\\";
    }
    for (int i = 0; i < 1500; ++i) deep += i ? "/e" : "e";
    ASSERT_EQ(std::system(("mkdir -p '" + game + forty + "' '" + game + deep + "'").c_str()), 0);
    // c, d1/c, ..., d39/c: each link leads to the next folder's.
    for (int i = 1; i <= 40; ++i) {
        const std::string at = game + forty.substr(0, forty.find("d" + std::to_string(i) + "/")) + "c";
        ASSERT_EQ(::symlink((i < 40 ? "d" + std::to_string(i) + "/c" : std::string("d40")).c_str(), at.c_str()), 0);
    }
    ASSERT_EQ(::symlink(deep.c_str(), (game + "deep").c_str()), 0);
    const struct {
        const char* What;
        std::string Name;
        std::string Lands;
    } cases[] = {
        {"forty folders spelt in capitals", in_capitals + "Shot.tes", forty + "Shot.tes"},
        {"forty folders as spelt", as_spelt + "Shot.tes", forty + "Shot.tes"},
        {"forty links", "c\\Shot.tes", forty + "Shot.tes"},
        {"a link 1,500 folders deep", "deep\\Shot.tes", deep + "/Shot.tes"},
    };
    for (const Openat2Answer& answer : kOpenat2Answers) {
        const Openat2StandIn stand_in(answer.Call);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(answer.What) + ", " + c.What);
            EXPECT_EQ(ExitUnderLimit<EStreamError>(RLIMIT_NOFILE, 16,
                                                   [&] { ReplaceFileInFolder(GamePath(game), c.Name, "shot", 4); }),
                      0);
            const std::string lands = GamePath(game + c.Lands);
            EXPECT_EQ(FileExists(lands) ? read_all(lands) : "nothing", "shot");
            EXPECT_EQ(ExitUnderLimit<EStreamError>(RLIMIT_NOFILE, 16,
                                                   [&] {
                                                       if (!DeleteFileInFolder(GamePath(game), c.Name)) throw 0;
                                                   }),
                      0);
            EXPECT_FALSE(FileExists(lands));
        }
    }
    std::system(("rm -rf '" + dir + "'").c_str());
}

namespace {
// The two folders openat2_then_exchange exchanges.
std::string exchanged[2];

// The kernel's openat2, after which a folder on the way is exchanged with
// one outside: whatever the walk does next with what was opened meets the
// exchange.
long openat2_then_exchange(int dir, const char* path, struct open_how* how, size_t size) {
    const long fd = ::syscall(SYS_openat2, dir, path, how, size);
    ::renameat2(AT_FDCWD, exchanged[0].c_str(), AT_FDCWD, exchanged[1].c_str(), RENAME_EXCHANGE);
    return fd;
}

// A folder of its own, removed at the end, on a file system kept in memory
// where one is at hand: there the syncs of every write cost nothing, and
// a race of many writes tests where they land, not that they last.
struct MemoryFolder {
    std::string Path;
    MemoryFolder() {
        char made[] = "/dev/shm/vorq-test-XXXXXX";
        Path = ::mkdtemp(made) ? std::string(made) + "/" : NativePath(PrivateTempFolder());
    }
    ~MemoryFolder() {
        if (Path.rfind("/dev/shm/", 0) == 0) std::system(("rm -rf '" + Path + "'").c_str());
    }
};
}  // namespace

// A folder on the way to the game's pictures (a, which a link's ".."
// climbs back out of, twenty folders down) is exchanged with one of the
// same shape outside while pictures are written and removed through a
// link at the top, and written through one at the end of a path walked
// name by name or opened by the kernel in one call (a exchanged right
// after the kernel's open). Each case goes on until twenty walks met an
// exchange (and were refused) and twenty landed inside, or to a bound:
// none lands outside.
TEST(ReplaceFileInFolder, AFolderMovedOutWhileALinkClimbsBackThroughItLeadsNothingOutside) {
    const MemoryFolder folder;
    const std::string dir = folder.Path + "climb/", game = dir + "G/", outside = dir + "O/";
    std::string down, up = "../", name = "a\\";
    for (int i = 0; i < 20; ++i) down += "b/", up += "../", name += "b\\";
    for (const std::string& top : {game, outside}) {
        ASSERT_TRUE(ForceDirectories(GamePath(top + "a/" + down)) && ForceDirectories(GamePath(top + "pics")));
        ASSERT_EQ(::symlink((up + "pics/Shot.tes").c_str(), (top + "a/" + down + "shot.tes").c_str()), 0);
    }
    ASSERT_EQ(::symlink(("a/" + down + up + "pics").c_str(), (game + "x").c_str()), 0);
    exchanged[0] = game + "a";
    exchanged[1] = outside + "a";
    const std::string victim = outside + "pics/Shot.tes", own = game + "pics/Shot.tes";
    const auto plant = [](const std::string& path) {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_TRUE(f);
        std::fputs("shot", f);
        std::fclose(f);
    };
    const auto there = [](const std::string& path) { return ::access(path.c_str(), F_OK) == 0; };
    // 1: exchanging, every 200 us or so (about the time of a walk);
    // 0: waiting while no walk is made; -1: done.
    std::atomic<int> renaming{0};
    std::thread renamer([&] {
        for (int now; (now = renaming.load()) >= 0;) {
            if (now == 0) renaming.wait(0);
            else ::renameat2(AT_FDCWD, exchanged[0].c_str(), AT_FDCWD, exchanged[1].c_str(), RENAME_EXCHANGE);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const auto rename = [&](int now) {
        renaming = now;
        renaming.notify_one();
    };
    const struct {
        const char* What;
        std::string Name;
        Openat2Call Openat2;
        bool Remove;
        int Times;  // walks made at most; the renamer runs when there are many
    } cases[] = {
        {"written through a link at the top", "x\\Shot.tes", nullptr, false, 2000},
        {"removed through a link at the top", "x\\Shot.tes", nullptr, true, 2000},
        {"written through a link at the end, name by name", name + "shot.tes", Openat2Missing, false, 2000},
        {"written through a link at the end, opened in one call", name + "shot.tes", openat2_then_exchange, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const Openat2StandIn stand_in(c.Openat2);
        if (c.Remove) plant(victim);
        if (c.Times > 2) rename(1);
        int out = 0, in = 0, met = 0;
        for (int i = 0; i < c.Times && (met < 20 || in < 20); ++i) {
            if (c.Remove) plant(own);
            try {
                if (c.Remove) met += !DeleteFileInFolder(GamePath(game), c.Name);
                else ReplaceFileInFolder(GamePath(game), c.Name, "shot", 4);
            } catch (const EWriteError&) {
                ++met;
            } catch (const EStreamError&) {
            }
            if (c.Remove ? !there(victim) : ::unlink(victim.c_str()) == 0) {
                ++out;
                if (c.Remove) plant(victim);
            }
            if (c.Remove ? !there(own) : ::unlink(own.c_str()) == 0) ++in;
        }
        rename(0);
        EXPECT_EQ(out, 0);
        if (c.Times > 2) {
            EXPECT_GT(in, 0);
        }
        ::unlink(victim.c_str());
    }
    rename(-1);
    renamer.join();
}

// A folder the walk went through (a) is removed while the walk is in
// one below it (b), and one is made outside in a's place, to which b is
// moved: a file system such as ext4 gives the new folder the old one's
// number at once. The walk, stopped anywhere along a link that goes into
// b and back 300 times on its way to a's pictures, then goes on: nothing
// is removed outside.
TEST(DeleteFileInFolder, AFolderRemovedAndMadeAgainOutsideBelowTheWalkRemovesNothingThere) {
    const std::string dir = NativePath(PrivateTempFolder()) + "remade/", game = dir + "G/", outside = dir + "O/",
                      aside = dir + "T/";
    std::system(("rm -rf '" + dir + "'").c_str());
    std::string way = "a/";
    for (int i = 0; i < 300; ++i) way += "b/../";
    ASSERT_EQ(
        std::system(("mkdir -p '" + game + "a/b' '" + game + "a/pics' '" + outside + "' '" + aside + "'").c_str()), 0);
    ASSERT_EQ(::symlink((way + "pics").c_str(), (game + "x").c_str()), 0);
    auto* walks = static_cast<std::atomic<int>*>(
        ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(walks, MAP_FAILED);
    walks->store(0);
    const pid_t walker = fork();
    ASSERT_GE(walker, 0);
    if (walker == 0) {
        for (;;) {
            DeleteFileInFolder(GamePath(game), "x\\Shot.tes");
            ++*walks;
        }
    }
    // Ends the walker however the test ends.
    const struct Reaper {
        pid_t Pid;
        ~Reaper() {
            ::kill(Pid, SIGKILL);
            ::waitpid(Pid, nullptr, 0);
        }
    } reaper{walker};
    const auto at = [](const std::string& path) { return path.c_str(); };
    // Lets the walker finish a walk and start another, then stops it
    // anywhere in that one.
    std::mt19937 rng(7);
    const auto stop_within_a_walk = [&] {
        const int from = walks->load();
        const bool ran = WaitUntil([&] { return walks->load() > from; });
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 300)(rng)));
        ::kill(walker, SIGSTOP);
        int status = 0;
        ::waitpid(walker, &status, WUNTRACED);
        return ran;
    };
    int remade = 0, out = 0;
    for (int cycle = 0; cycle < 200 && remade < 5; ++cycle) {
        ASSERT_TRUE(stop_within_a_walk());
        struct stat was {}, now {};
        ::stat(at(game + "a"), &was);
        ::rename(at(game + "a/b"), at(aside + "b"));
        ::rename(at(game + "a/pics"), at(aside + "pics"));
        ::rmdir(at(game + "a"));
        ::mkdir(at(outside + "a"), 0755);
        ::stat(at(outside + "a"), &now);
        ::mkdir(at(outside + "a/pics"), 0755);
        ::close(::open(at(outside + "a/pics/Shot.tes"), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        ::rename(at(aside + "b"), at(outside + "a/b"));
        remade += now.st_ino == was.st_ino;
        ::kill(walker, SIGCONT);
        ASSERT_TRUE(stop_within_a_walk());
        ::rename(at(outside + "a/b"), at(aside + "b"));
        out += ::unlink(at(outside + "a/pics/Shot.tes")) != 0;
        ::rmdir(at(outside + "a/pics"));
        ::rmdir(at(outside + "a"));
        ::mkdir(at(game + "a"), 0755);
        ::rename(at(aside + "pics"), at(game + "a/pics"));
        ::rename(at(aside + "b"), at(game + "a/b"));
        ::kill(walker, SIGCONT);
    }
    ::munmap(walks, sizeof(std::atomic<int>));
    std::system(("rm -rf '" + dir + "'").c_str());
    EXPECT_EQ(out, 0);
    if (remade == 0) GTEST_SKIP() << "this file system gives a folder made again a number of its own";
}

// A name as long as a name may be: its replacement's temporary name still
// fits the limit, and is removed once the file is in place.
TEST(ReplaceFileContents, NamesUpToTheLimitAreSaved) {
    const std::string dir = NativePath(PrivateTempFolder()) + "long_names/";
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_TRUE(ForceDirectories(GamePath(dir)));
    const struct {
        size_t Ascii;  // bytes of 'n' after a three-byte character
    } cases[] = {{243}, {244}, {247}, {252}};
    for (const auto& c : cases) {
        const std::string name = "\xe3\x81\x82" + std::string(c.Ascii, 'n');
        SCOPED_TRACE(name.size());
        for (const char* text : {"first", "second"}) {
            ReplaceFileContents(GamePath(dir + name), text, std::strlen(text));
            ReplaceFileInFolder(GamePath(dir), GamePath(name), text, std::strlen(text));
            EXPECT_EQ(read_all(GamePath(dir + name)), text);
        }
        EXPECT_EQ(ListDirectory(GamePath(dir)), std::vector<std::string>{GamePath(name)});
        ::unlink((dir + name).c_str());
    }
}

namespace {
// Runs body in a child process as the user uid (0: root), with that user's
// group alone: 0 when it held, 1 when it did not, 2 for an exception.
template <class Body>
int as_user(uid_t uid, Body body) {
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (uid != 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 ||
                         ::setresuid(uid, uid, uid) != 0))
            _exit(3);
        try {
            _exit(body() ? 0 : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
}  // namespace

// A file root makes new in another user's folder (save.dat, install.dat,
// a picture) is that user's, so that their next save replaces it.
TEST(ReplaceFileContents, RootsNewFileInAnotherUsersFolderIsTheirs) {
    if (::geteuid() != 0) GTEST_SKIP() << "writing into another user's folder as root needs root";
    const SharedFolder shared;
    ASSERT_FALSE(shared.Path.empty());
    const std::string game = shared.Path + "game/";
    ASSERT_EQ(RunCommand("mkdir -p " + game + "pics && chown -R " + kNobody + ":" + kNobody + " " + game +
                         " && echo ok")
                  .Output,
              "ok\n");
    const struct {
        const char* Name;
        bool InFolder;  // written as a game's name below its folder
    } cases[] = {{"save.dat", false}, {"install.dat", true}, {"pics/Shot.tes", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto write = [&](const char* text) {
            if (c.InFolder) ReplaceFileInFolder(game, c.Name, text, std::strlen(text));
            else ReplaceFileContents(game + c.Name, text, std::strlen(text));
            return true;
        };
        write("root's");
        struct stat st {};
        ASSERT_EQ(::stat((game + c.Name).c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(as_user(65534, [&] { return write("theirs"); }), 0);
        EXPECT_EQ(read_all(game + c.Name), "theirs");
    }
}
