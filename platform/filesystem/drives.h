// CD-ROM drives and their volumes. A drive here is a mounted file system:
// iso9660 and udf mounts of the mount table are the CD-ROM drives.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The mount points of CD-ROM file systems as game paths ending in "/",
// sorted (the order drive letters would give).
std::vector<std::string> CdRomRoots();
// The same from the text of a mount table (fields as in /proc/mounts).
std::vector<std::string> CdRomRootsFromMountTable(const std::string& table);
// Whether the volume at root can be queried (a disc is present).
bool VolumeInformationAvailable(const std::string& root);
// Total bytes of the volume at root; 0 when there is none.
int64_t DiskSize(const std::string& root);
