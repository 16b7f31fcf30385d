// Any POSIX host: a folder's records read with readdir from a stream over the open
// folder; which file systems count subfolders, by the type the host's mount table
// gives them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/posix/listing.h"

namespace platform::posix {

bool openRecords(Records& records, int fd, std::size_t) {
    records.stream = ::fdopendir(fd);
    records.readable = records.stream != nullptr;
    return records.readable;
}

bool nextRecord(Records& records, int fd, const char** name, bool* directory) {
    if (!records.readable) return false;
    const struct dirent* record =
        retryInterrupted([&] { return ::readdir(static_cast<DIR*>(records.stream)); });
    if (record == nullptr) return false;
    *name = record->d_name;
#if defined(DT_DIR) && defined(DT_UNKNOWN)
    *directory = record->d_type == DT_DIR;
    if (record->d_type != DT_UNKNOWN) return true;
#endif
    // No type in the listing (some file systems, some hosts): the entry's own status.
    struct stat st;
    *directory = ::fstatat(fd, record->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    return true;
}

void closeRecords(Records& records, int fd) {
    if (records.stream != nullptr) {
        ::closedir(static_cast<DIR*>(records.stream));  // closes fd too
    } else {
        ::close(fd);
    }
}

std::size_t recordsEnd(const Records&) { return 0; }

// ext2/3/4, XFS, tmpfs and ramfs on Linux; UFS and tmpfs on the BSDs.
bool countsSubfolders(const DriveMounts& mounts, int fd, dev_t device) {
    static const char* const counting[] = {"ext2", "ext3", "ext4", "xfs", "tmpfs", "ramfs", "ufs", "ffs"};
    const std::string type = fileSystemTypeOf(mounts, fd, device);
    for (const char* name : counting) {
        if (type == name) return true;
    }
    return false;
}

}  // namespace platform::posix
