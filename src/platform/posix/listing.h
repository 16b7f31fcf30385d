// What the POSIX listings share with the rest of the backend.
#pragma once

#include <sys/stat.h>

namespace platform {

// The open directory descriptor of a listing, for fstatat of its entries; -1 when
// the handle is not open.
int listingDescriptor(int listing);

// Whether a folder of the drive being walked is a mount point, a pseudo file
// system's or another drive's root (read when the walk opened the drive's root).
bool isBoundaryFolder(const char* drivePath);

// The status that stampEntry just asked of the entry name of listing parent, taken
// once, so that opening that folder doesn't ask it again: false when there is none.
bool takeStatus(int parent, const char* name, struct stat* status);
// Drops that status (a listing closed: its handle may name another folder next).
void forgetStatus();

}  // namespace platform
