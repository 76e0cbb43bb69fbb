#include "platform/filesystem/drives.h"
#include "platform/filesystem/filesys.h"

#include <gtest/gtest.h>

TEST(Drives, CdRomRootsComeFromIso9660AndUdfMounts) {
    // Lines as /proc/mounts writes them: spaces in mount points are \040.
    const std::string table =
        "/dev/sda1 / ext4 rw,relatime 0 0\n"
        "/dev/sr1 /media/cdrom1 udf ro,nosuid 0 0\n"
        "/dev/sr0 /media/My\\040Disc iso9660 ro,nosuid 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "broken line\n"
        "/dev/sr1 /media/cdrom1 udf ro 0 0\n";
    std::vector<std::string> roots = CdRomRootsFromMountTable(table);
    EXPECT_EQ(roots, (std::vector<std::string>{"/media/My Disc/", "/media/cdrom1/"}));
    EXPECT_TRUE(CdRomRootsFromMountTable("").empty());
}

TEST(Drives, VolumeQueries) {
    EXPECT_TRUE(VolumeInformationAvailable(PrivateTempFolder()));
    EXPECT_GT(DiskSize(PrivateTempFolder()), 0);
    EXPECT_FALSE(VolumeInformationAvailable("/no/such/root/"));
    EXPECT_EQ(DiskSize("/no/such/root/"), 0);
}
