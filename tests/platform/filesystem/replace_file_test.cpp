#include "platform/exception.h"
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/replace_file.h"
#include "platform/filesystem/stream.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <csignal>
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
