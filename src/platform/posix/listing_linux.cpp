// The Linux listing: the kernel's directory records read straight into one arena
// with getdents64, each walk level's unread records stacked below those of the
// levels it opens. What a walk must not enter comes from listing_shared.cpp.
//
// Where a file system keeps a folder's link count as 2 plus its subfolders, the walk
// reads no more than it needs: a folder with a count of 2 has no subfolders and is
// never opened, and a listing ends once it has handed out as many subfolders as the
// count promised, without reading the rest of its records.
#include "platform/posix/listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/posix/drives.h"
#include "platform/posix/listing.h"

namespace platform {

namespace {

using posix::takeEntry;

// File systems whose folder link counts are 2 plus the subfolders, checked on each:
// ext2, ext3 and ext4 (which give 1, "not counted", past 65,000 subfolders), XFS,
// tmpfs and ramfs. Others (btrfs gives 1, overlays, network and FUSE file systems
// give what they like) are listed in full.
bool countsSubfolders(int fd) {
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case XFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case RAMFS_MAGIC: return true;
        default: return false;
    }
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
    bool counts = countsSubfolders(fd);
    if (deviceCountsUsed < 16) deviceCounts[deviceCountsUsed++] = {device, counts};
    return counts;
}

// One open listing per level of a walk. The kernel's records of each level live in
// one arena, stacked: a level's unread records stay below those of the levels it
// opens. A path of 259 characters is at most 130 levels deep.
constexpr int maxLevels = 140;
constexpr std::size_t chunkSize = 32 * 1024;
constexpr std::size_t arenaSize = maxLevels * chunkSize;

struct Level {
    int fd;
    std::size_t start;  // the level's records: arena[start, end)
    std::size_t next;
    std::size_t end;
    dev_t device;
    bool counted;     // its file system's link counts count subfolders
    long subfolders;  // subfolders not yet handed out, -1 when not known
};

alignas(8) char arena[arenaSize];
Level levels[maxLevels];
int levelCount = 0;

bool fillLevel(Level& level) {
    level.start = levelCount > 1 ? levels[levelCount - 2].end : 0;
    while (true) {
        long n = ::getdents64(level.fd, arena + level.start, chunkSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        level.next = level.start;
        level.end = level.start + static_cast<std::size_t>(n);
        return true;
    }
}

bool isDirectoryEntry(int dirFd, const struct dirent64* record) {
    if (record->d_type == DT_DIR) return true;
    if (record->d_type != DT_UNKNOWN) return false;
    // Some file systems leave the type out of the listing.
    struct stat st;
    return ::fstatat(dirFd, record->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

// What the level learns from its folder's status: its device, whether the device
// counts subfolders, and then how many it has.
void setCount(Level& level, const struct stat& st, bool counted) {
    level.device = st.st_dev;
    level.counted = counted;
    // A count below 2 says nothing (ext4 past 65,000 subfolders).
    level.subfolders = counted && st.st_nlink >= 2 ? static_cast<long>(st.st_nlink - 2) : -1;
}

// Hands out the level's next record that is fit to be a path name.
bool nextRecord(Level& level, FoundEntry* entry) {
    while (true) {
        // Every subfolder handed out: the rest are files, not worth reading.
        if (level.subfolders == 0) return false;
        if (level.next >= level.end && !fillLevel(level)) return false;
        auto* record = reinterpret_cast<struct dirent64*>(arena + level.next);
        level.next += record->d_reclen;
        const char* name = record->d_name;
        const bool directory = isDirectoryEntry(level.fd, record);
        if (takeEntry(name, directory, level.subfolders, entry)) return true;
    }
}

// Set when the last findFirst or openFolder couldn't open its folder.
bool openFailed = false;

// Opens a level: a listing to read (list), or a folder whose entries are only stamped
// by name, stamped itself from its handle when stamp is given. One neither listed nor
// stamped is as the previous scan saw it, on the device of the level above.
int openLevel(int parent, const char* name, const char* drivePath, bool list, Stamp* stamp) {
    openFailed = true;
    if (levelCount >= maxLevels) return -1;
    int fd;
    struct stat st;
    bool known = false;  // st holds the folder's status
    if (parent == noListing) {
        int drive = driveOfLetter(drivePath[0]);
        const char* root = posix::driveRoot(drive);
        if (root == nullptr) return -1;
        posix::readClosedFolders(drive);
        deviceCountsUsed = 0;
        fd = ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        known = fd >= 0 && ::fstat(fd, &st) == 0;
    } else {
        if (parent != levelCount - 1) return -1;
        openFailed = false;
        if (posix::isClosedFolder(drivePath)) return -1;
        const Level& up = levels[parent];
        int access = O_RDONLY;
        if (!list) {
            // Its status comes from the handle: one lookup of the name, not two. A
            // handle only to stamp entries by needs no read access where the kernel
            // offers path handles, which cost it less to open.
#ifdef O_PATH
            access = O_PATH;
#endif
        } else {
            known = posix::takeStatus(parent, name, &st);
            if (up.counted) {
                // The status of a mount point is that of the root mounted there.
                if (!known)
                    known = ::fstatat(up.fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                // No subfolders on a file system that counts them: nothing to list.
                if (known && st.st_dev == up.device && st.st_nlink == 2) return -1;
            }
        }
        openFailed = true;
        fd = ::openat(up.fd, name, access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        // A file system that counts subfolders mounted inside one that doesn't.
        if (fd >= 0 && !known && (stamp != nullptr || posix::isMountPoint(drivePath)))
            known = ::fstat(fd, &st) == 0;
    }
    if (fd < 0) return -1;
    if (stamp != nullptr) {
        if (!known || !S_ISDIR(st.st_mode)) {
            ::close(fd);
            return -1;
        }
        posix::fillStamp(st, fd, drivePath, stamp);
    }
    openFailed = false;
    Level& level = levels[levelCount++];
    level.fd = fd;
    level.next = level.end = level.start = levelCount > 1 ? levels[levelCount - 2].end : 0;
    if (known) {
        const bool sameDevice = levelCount > 1 && levels[levelCount - 2].device == st.st_dev;
        setCount(level, st,
                 sameDevice ? levels[levelCount - 2].counted : deviceCountsSubfolders(fd, st.st_dev));
    } else {
        level.device = levelCount > 1 ? levels[levelCount - 2].device : 0;
        level.counted = !list && stamp == nullptr && levelCount > 1 && levels[levelCount - 2].counted;
        level.subfolders = -1;
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
    level.fd = fd;
    level.next = level.end = level.start = levels[ancestor].end;
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
    if (listing != levelCount - 1) return -1;
    return nextRecord(levels[listing], entry) ? 0 : -1;
}

int posix::listingDescriptor(int listing) {
    return listing >= 0 && listing < levelCount ? levels[listing].fd : -1;
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    posix::forgetStatus();
    ::close(levels[listing].fd);
    --levelCount;
}

}  // namespace platform
