// Stamps of folders for rescans that reuse the previous scan: each asked by fstatat
// relative to the open parent listing, never by full path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/listing.h"

namespace platform {

namespace {

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void fill(const struct stat& st, Stamp* stamp) {
    stamp->device = static_cast<std::uint64_t>(st.st_dev);
    stamp->inode = static_cast<std::uint64_t>(st.st_ino);
#ifdef __APPLE__
    stamp->changed = nanoseconds(st.st_ctimespec);
    stamp->modified = nanoseconds(st.st_mtimespec);
#else
    stamp->changed = nanoseconds(st.st_ctim);
    stamp->modified = nanoseconds(st.st_mtim);
#endif
    stamp->links = static_cast<std::uint64_t>(st.st_nlink);
    stamp->faithful = false;
    stamp->boundary = false;
}

// File systems that set a folder's change and modification times on every change
// of its entries: ext2, ext3 and ext4, XFS, btrfs, tmpfs. Network, FUSE and overlay
// file systems may not; any other is listed whole every time.
bool keepsStamps(const DriveMounts& mounts, int fd, dev_t device) {
    static const char* const faithful[] = {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs"};
    const std::string type = posix::fileSystemTypeOf(mounts, fd, device);
    for (const char* name : faithful) {
        if (type == name) return true;
    }
    return false;
}

}  // namespace

int stampEntry(int parent, const char* name, const char* drivePath, Stamp* stamp) {
    int fd = posix::listingDescriptor(parent);
    const DriveMounts* mounts = posix::listingMounts(parent);
    struct stat st;
    if (fd < 0 || ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return -1;
    fill(st, stamp);
    stamp->boundary = posix::isMountPoint(*mounts, drivePath);
    return 0;
}

int listingHandle(int listing) { return posix::listingDescriptor(listing); }

int stampAt(const DriveMounts& mounts, int handle, const char* name, const char* drivePath, Stamp* stamp) {
    struct stat st;
    if (::fstatat(handle, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return -1;
    posix::fillStamp(mounts, st, handle, drivePath, stamp);
    return 0;
}

int openStampedAt(const DriveMounts& mounts, int handle, const char* name, const char* drivePath,
                  Stamp* stamp) {
    int fd = ::openat(handle, name, posix::handleAccess | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    posix::fillStamp(mounts, st, fd, drivePath, stamp);
    return fd;
}

void closeHandle(int handle) { ::close(handle); }

namespace posix {

void fillStamp(const DriveMounts& mounts, const struct stat& status, int fd, const char* drivePath,
               Stamp* stamp) {
    fill(status, stamp);
    if (drivePath[3] == '\0') {
        stamp->faithful = keepsStamps(mounts, fd, status.st_dev);
    } else {
        stamp->boundary = isMountPoint(mounts, drivePath);
    }
}

}  // namespace posix

}  // namespace platform
