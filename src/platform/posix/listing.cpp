// Listings of the POSIX backend: the kernel's directory records read straight into
// one arena with getdents64, each walk level's unread records stacked below those of
// the levels it opens, and the mount table that says which folders a walk must not
// enter (kernel pseudo file systems, other drives' roots).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

void addClosedFolder(const std::string& host, int drive) {
    char drivePath[pathBufferSize];
    if (posix::hostToDriveOn(host.c_str(), drive, drivePath, sizeof drivePath) != 0) return;
    if (drivePath[3] == '\0') return;
    closedFolders.emplace_back(drivePath);
}

void readClosedFolders(int drive) {
    closedFolders.clear();
    for (int other = 1; other <= 26; ++other) {
        const char* root = posix::driveRoot(other);
        if (other != drive && root != nullptr) addClosedFolder(root, drive);
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
        for (const char* pseudo : pseudoFileSystems) {
            if (fsType == pseudo) {
                addClosedFolder(unescapeMountPath(fields[4], static_cast<std::size_t>(mountEnd - fields[4])),
                                drive);
                break;
            }
        }
    }
    std::fclose(mounts);
}

bool isClosedFolder(const char* drivePath) {
    if (closedFolders.empty()) return false;
    std::size_t n = std::strlen(drivePath);
    for (const std::string& folder : closedFolders) {
        if (folder.size() == n && std::memcmp(folder.data(), drivePath, n) == 0) return true;
    }
    return false;
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

bool isPathName(const char* name) {
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '\r' || *p == '\n') return false;
    }
    return true;
}

// Hands out the level's next record that is fit to be a path name.
bool nextRecord(Level& level, FoundEntry* entry) {
    while (true) {
        if (level.next >= level.end && !fillLevel(level)) return false;
        auto* record = reinterpret_cast<struct dirent64*>(arena + level.next);
        level.next += record->d_reclen;
        const char* name = record->d_name;
        const bool directory = isDirectoryEntry(level.fd, record);
        // A name with "\", CR or LF can't be written as a path: left out, subtree too.
        if (directory && !isPathName(name)) continue;
        entry->name = name;
        entry->attributes = directory ? directoryAttribute : 0;
        return true;
    }
}

}  // namespace

int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry) {
    if (levelCount >= maxLevels) return -1;
    int fd;
    if (parent == noListing) {
        int drive = driveOfLetter(drivePath[0]);
        const char* root = posix::driveRoot(drive);
        if (root == nullptr) return -1;
        readClosedFolders(drive);
        fd = ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        if (parent != levelCount - 1 || isClosedFolder(drivePath)) return -1;
        fd = ::openat(levels[parent].fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) return -1;
    Level& level = levels[levelCount++];
    level.fd = fd;
    level.next = level.end = level.start = levelCount > 1 ? levels[levelCount - 2].end : 0;
    if (!nextRecord(level, entry)) {
        findClose(levelCount - 1);
        return -1;
    }
    return levelCount - 1;
}

int findNext(int listing, FoundEntry* entry) {
    if (listing != levelCount - 1) return -1;
    return nextRecord(levels[listing], entry) ? 0 : -1;
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    ::close(levels[listing].fd);
    --levelCount;
}

}  // namespace platform
