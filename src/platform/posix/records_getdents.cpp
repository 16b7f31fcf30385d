// Linux: a folder's records read with getdents64 straight into one arena, each open
// level's unread records stacked below those of the levels it opens; which file
// systems count subfolders, from fstatfs.
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/posix/listing.h"

namespace platform::posix {

namespace {

// One chunk per level of a path of 259 characters (at most 130 levels).
constexpr std::size_t chunkSize = 32 * 1024;
constexpr std::size_t arenaSize = 140 * chunkSize;
alignas(8) char arena[arenaSize];

}  // namespace

bool openRecords(Records& records, int, std::size_t below) {
    if (below + chunkSize > arenaSize) return false;
    records.start = records.next = records.end = below;
    records.readable = true;
    return true;
}

bool nextRecord(Records& records, int fd, const char** name, bool* directory) {
    if (!records.readable) return false;
    if (records.next >= records.end) {
        long n = retryInterrupted([&] { return ::getdents64(fd, arena + records.start, chunkSize); });
        if (n <= 0) return false;
        records.next = records.start;
        records.end = records.start + static_cast<std::size_t>(n);
    }
    auto* record = reinterpret_cast<struct dirent64*>(arena + records.next);
    records.next += record->d_reclen;
    *name = record->d_name;
    *directory = record->d_type == DT_DIR;
    if (record->d_type == DT_UNKNOWN) {
        // Some file systems leave the type out of the listing.
        struct stat st;
        *directory = ::fstatat(fd, record->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    return true;
}

void closeRecords(Records&, int fd) { ::close(fd); }

std::size_t recordsEnd(const Records& records) { return records.end; }

// ext2, ext3 and ext4 (which give 1, "not counted", past 65,000 subfolders), XFS, tmpfs
// and ramfs. Others (btrfs gives 1, overlays, network and FUSE file systems give what
// they like) are listed in full.
bool countsSubfolders(const DriveMounts&, int fd, dev_t) {
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

}  // namespace platform::posix
