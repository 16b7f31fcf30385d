// The drive emulation of the POSIX backend: which host folder each drive letter
// stands for (VUXDRIVES), and the mapping between host paths and drive paths.
#pragma once

#include <cstddef>
#include <string>

namespace platform::posix {

// Reads a VUXDRIVES value ("C=/:D=/mnt/data"); unset or empty means "C=/", and an
// empty entry (a trailing ":") is passed over.
// False for a malformed value: no "=", a letter outside A-Z, a relative folder, a
// letter given twice. A trailing "/" on a root is dropped, and a root that exists
// is kept as its physical folder, symbolic links resolved.
bool parseDrives(const char* value);

// An absolute host path with "." and ".." taken by name and the folder that holds
// its last name made physical, so that it maps onto the physical roots; the last
// name itself is kept, since a program reached through a link lives where the link is.
std::string physicalFolderOf(const char* host);

// The host folder of a drive (1 = A), or nullptr when the letter is not mapped.
const char* driveRoot(int drive);

// Whether the drive is mapped and its root is a directory.
bool driveExists(int drive);

// Maps an absolute host path to the drive whose root is its longest component-wise
// prefix: 0, -1 when it lies on no drive, -3 when it holds a name that can't be
// written as a drive path ("\", CR, LF), -2 when the result doesn't fit size bytes. "." and ".."
// are resolved by name first.
int hostToDrive(const char* host, char* buffer, std::size_t size);

// The same for one given drive (1 = A), whether or not another drive's root is a
// longer prefix.
int hostToDriveOn(const char* host, int drive, char* buffer, std::size_t size);

// Maps a full drive path (X:\A\B) to its host path: false for a drive that is not
// mapped or a path that is not full.
bool driveToHost(const char* drivePath, std::string& host);

}  // namespace platform::posix
