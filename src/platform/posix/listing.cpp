// The folder listing of the POSIX backend: one open level per folder on the path
// being walked, each read by the host's record reader (records_*.cpp). What a walk
// must not enter comes from listing_shared.cpp.
//
// Where a file system keeps a folder's link count as 2 plus its subfolders, the walk
// reads no more than it needs: a folder with a count of 2 has no subfolders and is
// never opened, and a listing ends once it has handed out as many subfolders as the
// count promised, without reading the rest of its records.
#include "platform/posix/listing.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/posix/drives.h"

namespace platform {

namespace {

using posix::takeEntry;

// The answer of countsSubfolders per device, asked once for each.
struct DeviceCount {
    dev_t device;
    bool counts;
};
DeviceCount deviceCounts[16];
int deviceCountsUsed = 0;

bool deviceCountsSubfolders(const DriveMounts& mounts, int fd, dev_t device) {
    for (int i = 0; i < deviceCountsUsed; ++i) {
        if (deviceCounts[i].device == device) return deviceCounts[i].counts;
    }
    bool counts = posix::countsSubfolders(mounts, fd, device);
    if (deviceCountsUsed < 16) deviceCounts[deviceCountsUsed++] = {device, counts};
    return counts;
}

// One open level per folder on the path being walked. A path of 259 characters is at
// most 130 levels deep.
constexpr int maxLevels = 140;

struct Level {
    int fd;
    const DriveMounts* mounts;  // those the walk's root was opened with
    posix::Records records;
    dev_t device;
    bool counted;     // its file system's link counts count subfolders
    long subfolders;  // subfolders not yet handed out, -1 when not known
};

Level levels[maxLevels];
int levelCount = 0;

// Hands out the level's next record that is fit to be a path name.
bool nextEntry(Level& level, FoundEntry* entry) {
    const char* name;
    bool directory;
    while (true) {
        // Every subfolder handed out: the rest are files, not worth reading.
        if (level.subfolders == 0) return false;
        if (!posix::nextRecord(level.records, level.fd, &name, &directory)) return false;
        if (takeEntry(name, directory, level.subfolders, entry)) return true;
    }
}

// Set when the last findFirst or openFolder couldn't open its folder.
bool openFailed = false;

// Pushes a level for the open folder fd, read as a listing when list is set; a level
// below it, if any, is its parent. False (fd closed) when its records can't be read.
Level* pushLevel(int fd, bool list) {
    const std::size_t below = levelCount > 0 ? posix::recordsEnd(levels[levelCount - 1].records) : 0;
    Level& level = levels[levelCount];
    level.fd = fd;
    level.mounts = levelCount > 0 ? levels[levelCount - 1].mounts : nullptr;
    level.records = posix::Records{};
    level.records.start = level.records.next = level.records.end = below;
    if (list && !posix::openRecords(level.records, fd, below)) {
        ::close(fd);
        return nullptr;
    }
    ++levelCount;
    return &level;
}

// Opens a level: a listing to read (list), or a folder whose entries are only stamped
// by name, stamped itself from its handle when stamp is given; seen is the stamp the
// caller already has of a listing's folder. A drive's root (mounts given) is always
// a listing: it is read after it is opened whenever it changed. One neither listed nor
// stamped is as the previous scan saw it, on the device of the level above.
int openLevel(const DriveMounts* mounts, int parent, const char* name, const char* drivePath, bool list,
              Stamp* stamp, const Stamp* seen) {
    openFailed = true;
    if (levelCount >= maxLevels) return -1;
    int fd;
    struct stat st;
    bool known = false;  // st holds the folder's status
    const Level* up = nullptr;
    const bool passage = !list && stamp == nullptr;
    if (mounts != nullptr) {
        const char* root = posix::driveRoot(driveOfLetter(drivePath[0]));
        if (root == nullptr) return -1;
        deviceCountsUsed = 0;
        list = true;
        fd = posix::retryInterrupted([&] { return ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        known = fd >= 0 && ::fstat(fd, &st) == 0;
    } else {
        if (levelCount == 0 || parent != levelCount - 1) return -1;
        openFailed = false;
        up = &levels[parent];
        mounts = up->mounts;
        if (mounts->listsNothingBelow(drivePath)) return -1;
        if (list) {
            if (seen != nullptr) {
                // What the caller just asked of it: not asked again.
                st = {};
                st.st_dev = static_cast<dev_t>(seen->device);
                st.st_nlink = static_cast<nlink_t>(seen->links);
                st.st_mode = S_IFDIR;
                known = true;
            }
            if (up->counted) {
                // The status of a mount point is that of the root mounted there.
                if (!known)
                    known = ::fstatat(up->fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
                // No subfolders on a file system that counts them: nothing to list.
                if (known && st.st_dev == up->device && st.st_nlink == 2) return -1;
            }
        }
        openFailed = true;
        // Its status comes from the handle: one lookup of the name, not two.
        const int access = list ? O_RDONLY : posix::handleAccess;
        fd = posix::retryInterrupted(
            [&] { return ::openat(up->fd, name, access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
        // A file system that counts subfolders mounted inside one that doesn't.
        if (fd >= 0 && !known && (stamp != nullptr || posix::isMountPoint(*mounts, drivePath)))
            known = ::fstat(fd, &st) == 0;
    }
    if (fd < 0) return -1;
    if (stamp != nullptr) {
        if (!known || !S_ISDIR(st.st_mode)) {
            ::close(fd);
            return -1;
        }
        posix::fillStamp(*mounts, st, fd, drivePath, stamp);
    }
    Level* level = pushLevel(fd, list);
    if (level == nullptr) return -1;
    openFailed = false;
    level->mounts = mounts;
    level->device = up != nullptr ? up->device : 0;
    level->counted = passage && up != nullptr && up->counted;
    level->subfolders = -1;
    if (known) {
        level->device = st.st_dev;
        level->counted = up != nullptr && up->device == st.st_dev
                             ? up->counted
                             : deviceCountsSubfolders(*mounts, fd, st.st_dev);
        // A count below 2 says nothing (ext4 past 65,000 subfolders).
        if (level->counted && st.st_nlink >= 2) level->subfolders = static_cast<long>(st.st_nlink - 2);
    }
    return levelCount - 1;
}

}  // namespace

int openRoot(const DriveMounts& mounts, const char* drivePath, Stamp* stamp) {
    return openLevel(&mounts, -1, nullptr, drivePath, false, stamp, nullptr);
}

int openFolder(int parent, const char* name, const char* drivePath, Stamp* stamp) {
    return openLevel(nullptr, parent, name, drivePath, false, stamp, nullptr);
}

int openPassage(int ancestor, const char* relative, const char*) {
    if (levelCount >= maxLevels || ancestor != levelCount - 1) return -1;
    int fd = posix::openBelow(levels[ancestor].fd, relative);
    if (fd < 0) return -1;
    Level* level = pushLevel(fd, false);
    level->device = levels[ancestor].device;
    level->counted = levels[ancestor].counted;
    level->subfolders = -1;
    return levelCount - 1;
}

namespace {

// Hands out the first entry of a listing just opened, or closes it: findFirst's end.
int firstEntry(int listing, FoundEntry* entry) {
    if (listing < 0) return -1;
    if (!nextEntry(levels[listing], entry)) {
        findClose(listing);
        return -1;
    }
    return listing;
}

}  // namespace

int findRoot(const DriveMounts& mounts, const char* drivePath, FoundEntry* entry) {
    return firstEntry(openLevel(&mounts, -1, nullptr, drivePath, true, nullptr, nullptr), entry);
}

int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry, const Stamp* seen) {
    return firstEntry(openLevel(nullptr, parent, name, drivePath, true, nullptr, seen), entry);
}

bool lastFindFailed() { return openFailed; }

int findNext(int listing, FoundEntry* entry) {
    if (listing != levelCount - 1) return -1;
    return nextEntry(levels[listing], entry) ? 0 : -1;
}

int posix::listingDescriptor(int listing) {
    return listing >= 0 && listing < levelCount ? levels[listing].fd : -1;
}

const DriveMounts* posix::listingMounts(int listing) {
    return listing >= 0 && listing < levelCount ? levels[listing].mounts : nullptr;
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    posix::closeRecords(levels[listing].records, levels[listing].fd);
    --levelCount;
}

}  // namespace platform
