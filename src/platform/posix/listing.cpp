// Listings of the POSIX backend: the kernel's directory records read straight into
// one arena with getdents64, each walk level's unread records stacked below those of
// the levels it opens, and the mount table that says which folders a walk must not
// enter (kernel pseudo file systems, other drives' roots).
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
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/posix/drives.h"

namespace platform {

namespace {

// Pseudo file systems whose mount points keep their line but are not entered.
const char* const pseudoFileSystems[] = {
    "proc",   "sysfs", "devtmpfs", "devpts",  "cgroup", "cgroup2",   "debugfs",     "tracefs",  "securityfs",
    "pstore", "bpf",   "configfs", "fusectl", "mqueue", "hugetlbfs", "binfmt_misc", "efivarfs", "autofs",
};

// Drive paths (on the drive being listed) that are not entered: pseudo mounts and
// the roots of other mapped drives. Read once when a walk opens a drive's root.
std::vector<std::string> closedFolders;
// Drive paths of the other mounts inside the drive: where a walk crosses into
// another file system without a link count to tell it so.
std::vector<std::string> mountPoints;

std::string unescapeMountPath(const char* text, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] == '\\' && i + 3 < n + 0 && text[i + 1] >= '0' && text[i + 1] <= '3') {
            out +=
                static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

void addFolder(std::vector<std::string>& folders, const std::string& host, int drive) {
    char drivePath[pathBufferSize];
    if (posix::hostToDriveOn(host.c_str(), drive, drivePath, sizeof drivePath) != 0) return;
    if (drivePath[3] == '\0') return;
    folders.emplace_back(drivePath);
}

void readClosedFolders(int drive) {
    closedFolders.clear();
    mountPoints.clear();
    for (int other = 1; other <= 26; ++other) {
        const char* root = posix::driveRoot(other);
        if (other != drive && root != nullptr) addFolder(closedFolders, root, drive);
    }
    FILE* mounts = std::fopen("/proc/self/mountinfo", "re");
    if (mounts == nullptr) return;
    char line[8192];
    while (std::fgets(line, sizeof line, mounts) != nullptr) {
        // Fields: id parent major:minor root mountpoint options ... - fstype source ...
        const char* fields[5];
        char* p = line;
        int count = 0;
        while (count < 5 && *p != '\0') {
            fields[count++] = p;
            p = std::strchr(p, ' ');
            if (p == nullptr) break;
            ++p;
        }
        if (count < 5) continue;
        const char* mountEnd = std::strchr(fields[4], ' ');
        const char* dash = std::strstr(line, " - ");
        if (mountEnd == nullptr || dash == nullptr) continue;
        const char* type = dash + 3;
        const char* typeEnd = std::strchr(type, ' ');
        if (typeEnd == nullptr) continue;
        std::string fsType(type, static_cast<std::size_t>(typeEnd - type));
        bool pseudo = false;
        for (const char* pseudoType : pseudoFileSystems) pseudo = pseudo || fsType == pseudoType;
        addFolder(pseudo ? closedFolders : mountPoints,
                  unescapeMountPath(fields[4], static_cast<std::size_t>(mountEnd - fields[4])), drive);
    }
    std::fclose(mounts);
}

bool isListed(const std::vector<std::string>& folders, const char* drivePath) {
    if (folders.empty()) return false;
    std::size_t n = std::strlen(drivePath);
    for (const std::string& folder : folders) {
        if (folder.size() == n && std::memcmp(folder.data(), drivePath, n) == 0) return true;
    }
    return false;
}

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

bool isSelfOrParent(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// What the level learns from its folder's status: its device, whether the device
// counts subfolders, and then how many it has.
void setCount(Level& level, const struct stat& st, bool counted) {
    level.device = st.st_dev;
    level.counted = counted;
    // A count below 2 says nothing (ext4 past 65,000 subfolders).
    level.subfolders = counted && st.st_nlink >= 2 ? static_cast<long>(st.st_nlink - 2) : -1;
}

bool isPathName(const char* name) {
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '\r' || *p == '\n') return false;
    }
    return true;
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
        // Dot-folders and unfit names are subfolders too; only "." and ".." are not.
        if (directory && level.subfolders > 0 && !isSelfOrParent(name)) --level.subfolders;
        // A name with "\", CR or LF can't be written as a path: left out, subtree too.
        if (directory && !isPathName(name)) continue;
        entry->name = name;
        entry->attributes = directory ? directoryAttribute : 0;
        return true;
    }
}

}  // namespace

namespace {

// Opens a level; access is O_RDONLY for a listing to read, or less for one whose
// entries are only stamped by name.
int openLevel(int parent, const char* name, const char* drivePath, int access) {
    if (levelCount >= maxLevels) return -1;
    int fd;
    struct stat st;
    bool known = false;  // st holds the folder's status
    if (parent == noListing) {
        int drive = driveOfLetter(drivePath[0]);
        const char* root = posix::driveRoot(drive);
        if (root == nullptr) return -1;
        readClosedFolders(drive);
        deviceCountsUsed = 0;
        fd = ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        known = fd >= 0 && ::fstat(fd, &st) == 0;
    } else {
        if (parent != levelCount - 1 || isListed(closedFolders, drivePath)) return -1;
        const Level& up = levels[parent];
        known = takeStatus(parent, name, &st);
        if (up.counted) {
            // The status of a mount point is that of the root mounted there.
            if (!known) known = ::fstatat(up.fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            // No subfolders on a file system that counts them: nothing to list.
            if (known && st.st_dev == up.device && st.st_nlink == 2) return -1;
        }
        fd = ::openat(up.fd, name, access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        // A file system that counts subfolders mounted inside one that doesn't.
        if (fd >= 0 && !known && isListed(mountPoints, drivePath)) known = ::fstat(fd, &st) == 0;
    }
    if (fd < 0) return -1;
    Level& level = levels[levelCount++];
    level.fd = fd;
    level.next = level.end = level.start = levelCount > 1 ? levels[levelCount - 2].end : 0;
    if (known) {
        const bool sameDevice = levelCount > 1 && levels[levelCount - 2].device == st.st_dev;
        setCount(level, st,
                 sameDevice ? levels[levelCount - 2].counted : deviceCountsSubfolders(fd, st.st_dev));
    } else {
        level.device = levelCount > 1 ? levels[levelCount - 2].device : 0;
        level.counted = false;
        level.subfolders = -1;
    }
    return levelCount - 1;
}

}  // namespace

// A folder opened only to stamp its entries (the root excepted, which is listed when
// it changed) needs no read access: a path handle costs the kernel less to open.
int openFolder(int parent, const char* name, const char* drivePath) {
#ifdef O_PATH
    return openLevel(parent, name, drivePath, parent == noListing ? O_RDONLY : O_PATH);
#else
    return openLevel(parent, name, drivePath, O_RDONLY);
#endif
}

int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry) {
    int listing = openLevel(parent, name, drivePath, O_RDONLY);
    if (listing < 0) return -1;
    if (!nextRecord(levels[listing], entry)) {
        findClose(listing);
        return -1;
    }
    return listing;
}

int findNext(int listing, FoundEntry* entry) {
    if (listing != levelCount - 1) return -1;
    return nextRecord(levels[listing], entry) ? 0 : -1;
}

int listingDescriptor(int listing) { return listing >= 0 && listing < levelCount ? levels[listing].fd : -1; }

bool isBoundaryFolder(const char* drivePath) {
    return isListed(closedFolders, drivePath) || isListed(mountPoints, drivePath);
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    forgetStatus();
    ::close(levels[listing].fd);
    --levelCount;
}

}  // namespace platform
