// A folder's kept listing follows the folder: a listing read just after a
// change is not kept (a second change within the same tick of a coarse
// file system clock would leave the folder's times as they were); once one
// stands for the folder, each change that follows at once, one whose
// folder time was set back as unpackers do, and the folder replaced by
// another, shows in the next look-up of a raw Shift-JIS name.
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/folder_index.h"
#include "platform/text/codepage.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

TEST(FolderIndex, AKeptListingSeesEveryChangeAtOnce) {
    const std::string dir = PrivateTempFolder() + "kept/", native = NativePath(dir);
    ASSERT_TRUE(ForceDirectories(dir));
    // Names as raw Shift-JIS bytes on disc: found only through the listing.
    const auto raw = [](const char* utf8) { return Sjis(utf8); };
    const auto make = [&](const std::string& name) { std::ofstream(native + name) << "x"; };
    make(raw("音1.txt"));
    EXPECT_TRUE(FileExists(dir + raw("音1.txt")));
    EXPECT_FALSE(FolderListingKept(native));
    // Kept once the folder's last change lies far enough back.
    const auto kept = [&] {
        return StepUntil([&] { return FolderListingKept(native); }, [&] { FileExists(dir + raw("音1.txt")); });
    };
    const struct {
        const char* change;
        bool once_kept;  // made once the listing is kept
        std::function<void()> make_it;
        std::string asked, found;  // found: the name on disc, "" for none
    } steps[] = {
        {"a file added", true, [&] { make(raw("音2.txt")); }, raw("音2.txt"), raw("音2.txt")},
        {"another one at once", false, [&] { make(raw("音3.txt")); }, raw("音3.txt"), raw("音3.txt")},
        {"a file added, the folder's time set back", true,
         [&] {
             struct stat before;
             ::stat(native.c_str(), &before);
             make(raw("音5.txt"));
             const timespec times[] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, native.c_str(), times, 0);
         },
         raw("音5.txt"), raw("音5.txt")},
        {"a file removed", false, [&] { std::remove((native + raw("音2.txt")).c_str()); }, raw("音2.txt"), ""},
        {"a file renamed", false,
         [&] { std::rename((native + raw("音3.txt")).c_str(), (native + raw("音3.TXT")).c_str()); }, raw("音3.txt"),
         raw("音3.TXT")},
        {"the folder replaced", true,
         [&] {
             std::rename(native.c_str(), (native.substr(0, native.size() - 1) + ".old").c_str());
             ::mkdir(native.c_str(), 0700);
             make(raw("音4.txt"));
         },
         raw("音4.txt"), raw("音4.txt")},
        {"nothing", false, [] {}, raw("音1.txt"), ""},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.change);
        if (s.once_kept) {
            ASSERT_TRUE(kept());
        }
        s.make_it();
        EXPECT_EQ(FileExists(dir + s.asked), !s.found.empty());
        if (!s.found.empty()) {
            EXPECT_EQ(NativePath(dir + s.asked), native + s.found);
        }
    }
}

// Listings are kept only where a folder's times follow every create,
// remove and rename in it (statfs's f_type); FAT, exFAT through FUSE and
// network file systems list afresh at every look-up.
TEST(FolderIndex, ListingsAreKeptOnlyOnFileSystemsWhoseFolderTimesFollowEveryChange) {
    const struct {
        const char* Name;
        uint64_t Type;
        bool Kept;
    } cases[] = {
        {"ext2/3/4", 0xEF53, true},      {"XFS", 0x58465342, true},   {"Btrfs", 0x9123683E, true},
        {"tmpfs", 0x01021994, true},     {"vfat", 0x4D44, false},     {"exFAT", 0x2011BAB0, false},
        {"FUSE", 0x65735546, false},     {"NFS", 0x6969, false},      {"CIFS", 0xFF534D42, false},
        {"NTFS (ntfs3)", 0x7366746E, false},
    };
    for (const auto& c : cases) EXPECT_EQ(FolderTimesFollowChanges(c.Type), c.Kept) << c.Name;
}
