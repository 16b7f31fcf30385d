// The portable listing: opendir and readdir on folders opened relative to their
// parent, nothing beyond POSIX but the host's mount table. What a walk must not
// enter comes from listing_shared.cpp.
//
// A folder's link count is taken for 2 plus its subfolders only on file systems known
// to keep it so (ext2/3/4, XFS, tmpfs and ramfs on Linux; UFS and tmpfs on the BSDs);
// there a folder with a count of 2 is never opened, and a listing ends once it has
// handed out as many subfolders as the count promised.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/posix/drives.h"
#include "platform/posix/listing.h"

namespace platform {

namespace {

using posix::takeEntry;

bool countsSubfolders(int fd, dev_t device) {
    static const char* const counting[] = {"ext2", "ext3", "ext4", "xfs", "tmpfs", "ramfs", "ufs", "ffs"};
    const std::string type = posix::fileSystemTypeOf(fd, device);
    for (const char* name : counting) {
        if (type == name) return true;
    }
    return false;
}

// The answer of countsSubfolders per device, asked once for each.
struct DeviceCount {
    dev_t device;
    bool counts;
};
DeviceCount deviceCounts[16];
int deviceCountsUsed = 0;

bool deviceCountsSubfolders(int fd, dev_t device) {
    for (int i = 0; i < deviceCountsUsed; ++i) {
        if (deviceCounts[i].device == device) return deviceCounts[i].counts;
    }
    bool counts = countsSubfolders(fd, device);
    if (deviceCountsUsed < 16) deviceCounts[deviceCountsUsed++] = {device, counts};
    return counts;
}

// One open listing per level of a walk. A path of 259 characters is at most 130
// levels deep.
constexpr int maxLevels = 140;

struct Level {
    DIR* dir;  // nullptr for a folder opened only to stamp its entries
    int fd;  // the descriptor dir reads
    dev_t device;
    bool counted;     // its file system's link counts count subfolders
    long subfolders;  // subfolders not yet handed out, -1 when not known
};

Level levels[maxLevels];
int levelCount = 0;

bool isDirectoryEntry(int dirFd, const struct dirent* record) {
#if defined(DT_DIR) && defined(DT_UNKNOWN)
    if (record->d_type == DT_DIR) return true;
    if (record->d_type != DT_UNKNOWN) return false;
#endif
    // No type in the listing (some file systems, some hosts): the entry's own status.
    struct stat st;
    return ::fstatat(dirFd, record->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// Hands out the level's next entry that is fit to be a path name.
bool nextRecord(Level& level, FoundEntry* entry) {
    while (true) {
        // Every subfolder handed out: the rest are files, not worth reading.
        if (level.subfolders == 0) return false;
        errno = 0;
        const struct dirent* record = ::readdir(level.dir);
        if (record == nullptr) {
            if (errno == EINTR) continue;
            return false;
        }
        const char* name = record->d_name;
        const bool directory = isDirectoryEntry(level.fd, record);
        if (takeEntry(name, directory, level.subfolders, entry)) return true;
    }
}

// Set when the last findFirst or openFolder couldn't open its folder.
bool openFailed = false;

// Opens a level: a listing to read (list), or a folder whose entries are only stamped
// by name, stamped itself from its handle when stamp is given. A drive's root always
// gets a directory stream: it is read after it is opened whenever it changed.
int openLevel(int parent, const char* name, const char* drivePath, bool list, Stamp* stamp) {
    openFailed = true;
    if (levelCount >= maxLevels) return -1;
    int fd;
    struct stat st;
    bool known = false;  // st holds the folder's status
    const Level* up = nullptr;
    // Neither listed nor stamped: as the previous scan saw it, on the device above.
    const bool passage = !list && stamp == nullptr;
    list = list || parent == noListing;
    if (parent == noListing) {
        int drive = driveOfLetter(drivePath[0]);
        const char* root = posix::driveRoot(drive);
        if (root == nullptr) return -1;
        posix::readClosedFolders(drive);
        deviceCountsUsed = 0;
        fd = ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        if (parent != levelCount - 1) return -1;
        openFailed = false;
        if (posix::isClosedFolder(drivePath)) return -1;
        up = &levels[parent];
        if (list) {
            known = posix::takeStatus(parent, name, &st);
            if (up->counted) {
                // The status of a mount point is that of the root mounted there.
                if (!known)
                    known = ::fstatat(up->fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                // No subfolders on a file system that counts them: nothing to list.
                if (known && st.st_dev == up->device && st.st_nlink == 2) return -1;
            }
        }
        int access = O_RDONLY;
#ifdef O_PATH
        if (!list) access = O_PATH;
#endif
        openFailed = true;
        fd = ::openat(up->fd, name, access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) return -1;
    // The folder's own status, where the parent's file system didn't give it.
    if (!known && !passage) known = ::fstat(fd, &st) == 0;
    if (stamp != nullptr) {
        if (!known || !S_ISDIR(st.st_mode)) {
            ::close(fd);
            return -1;
        }
        posix::fillStamp(st, fd, drivePath, stamp);
    }
    DIR* dir = nullptr;
    if (list) {
        dir = ::fdopendir(fd);
        if (dir == nullptr) {
            ::close(fd);
            return -1;
        }
    }
    openFailed = false;
    Level& level = levels[levelCount++];
    level.dir = dir;
    level.fd = fd;
    level.counted = passage && up->counted;
    level.subfolders = -1;
    level.device = up != nullptr ? up->device : 0;
    if (known) {
        level.device = st.st_dev;
        level.counted =
            up != nullptr && up->device == st.st_dev ? up->counted : deviceCountsSubfolders(fd, st.st_dev);
        // A count below 2 says nothing (ext4 past 65,000 subfolders).
        if (level.counted && st.st_nlink >= 2) level.subfolders = static_cast<long>(st.st_nlink - 2);
    }
    return levelCount - 1;
}

}  // namespace

int openFolder(int parent, const char* name, const char* drivePath, Stamp* stamp) {
    return openLevel(parent, name, drivePath, false, stamp);
}

int openPassage(int ancestor, const char* relative, const char*) {
    if (levelCount >= maxLevels || ancestor != levelCount - 1) return -1;
    int fd = posix::openBelow(levels[ancestor].fd, relative);
    if (fd < 0) return -1;
    Level& level = levels[levelCount++];
    level.dir = nullptr;
    level.fd = fd;
    level.device = levels[ancestor].device;
    level.counted = levels[ancestor].counted;
    level.subfolders = -1;
    return levelCount - 1;
}

int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry) {
    int listing = openLevel(parent, name, drivePath, true, nullptr);
    if (listing < 0) return -1;
    if (!nextRecord(levels[listing], entry)) {
        findClose(listing);
        return -1;
    }
    return listing;
}

bool lastFindFailed() { return openFailed; }

int findNext(int listing, FoundEntry* entry) {
    if (listing != levelCount - 1 || levels[listing].dir == nullptr) return -1;
    return nextRecord(levels[listing], entry) ? 0 : -1;
}

int posix::listingDescriptor(int listing) {
    return listing >= 0 && listing < levelCount ? levels[listing].fd : -1;
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    posix::forgetStatus();
    if (levels[listing].dir != nullptr) {
        ::closedir(levels[listing].dir);  // closes fd too
    } else {
        ::close(levels[listing].fd);
    }
    --levelCount;
}

}  // namespace platform
