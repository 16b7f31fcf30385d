// The rules of a walk that both folder listings follow: which folders keep their line
// but are not entered (kernel pseudo file systems, other drives' roots), and where
// other file systems are mounted.
#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/openat2.h>
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/posix/drives.h"
#include "platform/posix/listing.h"
#include "platform/posix/mount_table.h"

namespace platform::posix {

namespace {

// Pseudo file systems whose mount points keep their line but are not entered. The
// last ones are the names macOS and the BSDs give theirs.
const char* const pseudoFileSystems[] = {
    "proc",      "sysfs",       "devtmpfs", "devpts", "cgroup",   "cgroup2", "debugfs",
    "tracefs",   "securityfs",  "pstore",   "bpf",    "configfs", "fusectl", "mqueue",
    "hugetlbfs", "binfmt_misc", "efivarfs", "autofs", "devfs",    "fdescfs", "fdesc",
    "procfs",    "linprocfs",   "linsysfs", "kernfs", "ptyfs",
};

void addFolder(std::vector<std::string>& folders, const std::string& host, int drive) {
    char drivePath[platform::pathBufferSize];
    if (hostToDriveOn(host.c_str(), drive, drivePath, sizeof drivePath) != 0) return;
    if (drivePath[3] == '\0') return;
    folders.emplace_back(drivePath);
}

bool isListed(const std::vector<std::string>& folders, const char* drivePath) {
    if (folders.empty()) return false;
    std::size_t n = std::strlen(drivePath);
    for (const std::string& folder : folders) {
        if (folder.size() == n && std::memcmp(folder.data(), drivePath, n) == 0) return true;
    }
    return false;
}

}  // namespace

}  // namespace platform::posix

namespace platform {

DriveMounts::DriveMounts(int drive) : table_(new Table) {
    for (int other = 1; other <= 26; ++other) {
        const char* root = posix::driveRoot(other);
        if (other != drive && root != nullptr) posix::addFolder(table_->closed, root, drive);
    }
    table_->all = posix::readMountTable();
    for (const posix::Mount& mount : table_->all) {
        bool pseudo = false;
        for (const char* pseudoType : posix::pseudoFileSystems) pseudo = pseudo || mount.type == pseudoType;
        posix::addFolder(pseudo ? table_->closed : table_->crossings, mount.point, drive);
    }
}

DriveMounts::~DriveMounts() = default;

bool DriveMounts::listsNothingBelow(const char* drivePath) const {
    return posix::isListed(table_->closed, drivePath);
}

}  // namespace platform

namespace platform::posix {

int openBelow(int fd, const char* relative) {
    constexpr int access = handleAccess;
    char host[platform::pathBufferSize];
    std::size_t n = 0;
    for (; relative[n] != '\0' && n < sizeof host - 1; ++n) host[n] = relative[n] == '\\' ? '/' : relative[n];
    if (relative[n] != '\0') return -1;
    host[n] = '\0';
#if defined(__linux__) && defined(SYS_openat2)
    // One lookup of the whole path, no link followed on the way, no mount crossed:
    // what opening each folder in turn would reach. Anything else is left to that.
    struct open_how how {};
    how.flags = access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_XDEV | RESOLVE_BENEATH;
    long opened = ::syscall(SYS_openat2, fd, host, &how, sizeof how);
    if (opened >= 0) return static_cast<int>(opened);
#endif
    int at = fd;
    for (char* name = host; at >= 0;) {
        char* end = std::strchr(name, '/');
        if (end != nullptr) *end = '\0';
        int next = ::openat(at, name, access | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (at != fd) ::close(at);
        at = next;
        if (end == nullptr) break;
        name = end + 1;
    }
    return at;
}

bool isMountPoint(const DriveMounts& mounts, const char* drivePath) {
    return isListed(mounts.table().crossings, drivePath) || mounts.listsNothingBelow(drivePath);
}

std::string fileSystemTypeOf(const DriveMounts& mounts, int fd, dev_t device) {
    return fileSystemType(fd, device, mounts.table().all);
}

}  // namespace platform::posix
