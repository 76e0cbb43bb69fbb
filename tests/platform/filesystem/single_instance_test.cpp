#include "platform/filesystem/filesys.h"
#include "platform/filesystem/single_instance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

TEST(SingleInstance, NameIsTheResolvedFolderWithItsCaseAndItsDashesKept) {
    EXPECT_EQ(InstanceMutexName("/home/u/Game"), "-home-u-Game-");
    EXPECT_EQ(InstanceMutexName("/home/u/./x/../Game/"), "-home-u-Game-");
    EXPECT_EQ(InstanceMutexName("/"), "-");
    // A dash of the path is not a delimiter.
    EXPECT_EQ(InstanceMutexName("/a-b/c%"), "-a%2Db-c%25-");
    EXPECT_NE(InstanceMutexName("/a-b/c"), InstanceMutexName("/a/b-c"));
}

TEST(SingleInstance, SecondHolderOfTheSameFolderIsRefused) {
    InstanceMutex first = CreateInstanceMutex(InstanceMutexName("/Games/Novel"));
    ASSERT_GE(first, 0);
    EXPECT_EQ(CreateInstanceMutex(InstanceMutexName("/Games/Novel/")), NoInstanceMutex);
    InstanceMutex other = CreateInstanceMutex(InstanceMutexName("/games/novel"));
    EXPECT_GE(other, 0);
    ReleaseInstanceMutex(first);
    InstanceMutex again = CreateInstanceMutex(InstanceMutexName("/Games/Novel"));
    EXPECT_GE(again, 0);
    ReleaseInstanceMutex(again);
    ReleaseInstanceMutex(other);

    // A very long folder still gets a lock file of its own.
    std::string deep = "/" + std::string(300, 'd');
    InstanceMutex long1 = CreateInstanceMutex(InstanceMutexName(deep + "1"));
    InstanceMutex long2 = CreateInstanceMutex(InstanceMutexName(deep + "2"));
    EXPECT_GE(long1, 0);
    EXPECT_GE(long2, 0);
    EXPECT_EQ(CreateInstanceMutex(InstanceMutexName(deep + "1")), NoInstanceMutex);
    ReleaseInstanceMutex(long1);
    ReleaseInstanceMutex(long2);
}

TEST(SingleInstance, TheLockFolderIsPrivate) {
    std::string dir = InstanceLockFolder();
    ASSERT_FALSE(dir.empty());
    struct stat st;
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
    InstanceMutex m = CreateInstanceMutex(InstanceMutexName("/tmp/vorq-test-game"));
    ASSERT_GE(m, 0);
    EXPECT_EQ(CreateInstanceMutex(InstanceMutexName("/tmp/./vorq-test-game")), NoInstanceMutex);
    ReleaseInstanceMutex(m);
}

// A runtime folder, usable or not, changes nothing: every start of this
// user locks in the one private folder.
TEST(SingleInstance, TheRuntimeFolderDoesNotChooseTheLockFolder) {
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string lock_folder = InstanceLockFolder();
    EXPECT_EQ(lock_folder, "/tmp/vorqplayer-" + std::to_string(::getuid()) + "/");
    const std::string base = NativePath(PrivateTempFolder());
    std::ofstream(base + "plain") << "x";
    for (const std::string& runtime : {base, base + "missing", base + "plain/runtime"}) {
        SCOPED_TRACE(runtime);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        EXPECT_EQ(InstanceLockFolder(), lock_folder);
    }
    ::unsetenv("XDG_RUNTIME_DIR");
}
