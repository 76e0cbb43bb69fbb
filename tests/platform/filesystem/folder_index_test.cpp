// A folder's kept listing follows the folder: a listing read just after a
// change is not kept (a second change within the same tick of a coarse
// file system clock would leave the folder's times as they were); once one
// stands for the folder, each change that follows at once, one whose
// folder time was set back as unpackers do, and the folder replaced by
// another, shows in the next look-up of a raw Shift-JIS name.
#include "platform/filesystem/filesys.h"
#include "platform/filesystem/folder_index.h"
#include "platform/filesystem/replace_file.h"
#include "platform/text/codepage.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
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

// On a file system whose folder times cannot be trusted (taken so here,
// and a real NTFS mount through ntfs-3g when this runs as root with it
// installed) a listing stands for a moment: the look-ups of one page list
// the folder once, a file the player makes itself is found at once in any
// letter case, and one another program makes is found once the moment is over.
TEST(FolderIndex, OnUntrustedFileSystemsAListingStandsAMomentAndNotPastThePlayersOwnWrites) {
    const std::string base = NativePath(PrivateTempFolder()) + "untimed/";
    ASSERT_EQ(std::system(("rm -rf '" + base + "' && mkdir -p '" + base + "mnt'").c_str()), 0);
    const bool ntfs = ::geteuid() == 0 && std::system("command -v ntfs-3g mkntfs >/dev/null") == 0 &&
                      std::system(("truncate -s 16M '" + base + "img' && mkntfs -q -F -f '" + base +
                                   "img' >/dev/null 2>&1 && ntfs-3g '" + base + "img' '" + base + "mnt'")
                                      .c_str()) == 0;
    const struct {
        const char* What;
        std::string Folder;
        bool Trusted;
    } cases[] = {
        {"times taken as untrusted", base + "plain/", false},
        {"NTFS through ntfs-3g", ntfs ? base + "mnt/voices/" : std::string(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        if (c.Folder.empty()) continue;  // no mount: needs root and ntfs-3g
        ASSERT_EQ(::mkdir(c.Folder.c_str(), 0755), 0);
        for (int i = 0; i < 50; ++i) std::ofstream(c.Folder + "Voice" + std::to_string(i) + ".ogg") << i;
        const std::string folder = GamePath(c.Folder);
        TrustFolderTimes(c.Trusted);
        // The page's next look-ups use the listing just read. A thread kept
        // from running past the moment sees it gone: the look-up lists again
        // and is asked once more.
        EXPECT_TRUE(WaitUntil([&] { return FileExists(folder + "VOICE1.OGG") && FolderListingKept(c.Folder); }));
        // The player's own file, made and then replaced: the listing goes
        // with each write.
        ReplaceFileContents(folder + "Shot.tes", "x", 1);
        EXPECT_FALSE(FolderListingKept(c.Folder));
        EXPECT_TRUE(FileExists(folder + "SHOT.TES"));
        ReplaceFileContents(folder + "SHOT.TES", "yz", 2);
        EXPECT_EQ(FileSizeOf(folder + "shot.tes"), 2);
        EXPECT_EQ(ListDirectory(folder).size(), 51u);  // the voices and the picture, no temporary
        // Another program's file, made behind the player's back.
        std::ofstream(c.Folder + "Other.txt") << "made elsewhere";
        EXPECT_TRUE(WaitUntil([&] { return FileExists(folder + "OTHER.TXT"); }));
        // ... and no listing stands longer than that moment.
        EXPECT_TRUE(FileExists(folder + "VOICE2.OGG"));
        EXPECT_TRUE(WaitUntil([&] { return !FolderListingKept(c.Folder); }));
        TrustFolderTimes(true);
    }
    if (ntfs) std::system(("umount '" + base + "mnt'").c_str());
}
