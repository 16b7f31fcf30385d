// Stamps of folders for rescans that reuse the previous scan: each asked by fstatat
// relative to the open parent listing, never by full path.
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cstring>

#include "platform/platform.h"
#include "platform/posix/listing.h"

namespace platform {

namespace {

// The last status stampEntry asked, until the walk opens that folder.
struct stat lastStatus;
int lastParent = noListing;
const char* lastName = nullptr;

void fill(const struct stat& st, Stamp* stamp) {
    stamp->device = static_cast<std::uint64_t>(st.st_dev);
    stamp->inode = static_cast<std::uint64_t>(st.st_ino);
    stamp->changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp->modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->links = static_cast<std::uint64_t>(st.st_nlink);
    stamp->faithful = false;
    stamp->boundary = false;
}

// File systems that set a folder's change and modification times on every change
// of its entries: ext2, ext3 and ext4, XFS, btrfs, tmpfs. Network, FUSE and overlay
// file systems may not.
bool keepsStamps(int fd) {
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC: return true;
        default: return false;
    }
}

}  // namespace

int stampEntry(int parent, const char* name, const char* drivePath, Stamp* stamp) {
    int fd = listingDescriptor(parent);
    lastName = nullptr;
    if (fd < 0 || ::fstatat(fd, name, &lastStatus, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(lastStatus.st_mode)) {
        return -1;
    }
    lastParent = parent;
    lastName = name;
    fill(lastStatus, stamp);
    stamp->boundary = isBoundaryFolder(drivePath);
    return 0;
}

int stampListing(int listing, Stamp* stamp) {
    int fd = listingDescriptor(listing);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
    fill(st, stamp);
    stamp->faithful = keepsStamps(fd);
    return 0;
}

bool takeStatus(int parent, const char* name, struct stat* status) {
    if (lastName == nullptr || parent != lastParent || std::strcmp(name, lastName) != 0) return false;
    lastName = nullptr;
    *status = lastStatus;
    return true;
}

void forgetStatus() { lastName = nullptr; }

}  // namespace platform
