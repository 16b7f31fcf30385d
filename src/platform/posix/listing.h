// The POSIX folder listing (listing.cpp, with findFirst, findNext and findClose) and
// what it asks of the host: how a folder's records are read, which file systems count
// subfolders, and the rules of a walk that don't depend on how a folder is read.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/mount_table.h"

namespace platform::posix {

// How a folder is opened only to stamp its entries by, or to pass through: a path
// handle where the host has them (they cost the kernel less), else a read handle.
#ifdef O_PATH
constexpr int handleAccess = O_PATH;
#else
constexpr int handleAccess = O_RDONLY;
#endif

// Calls call() again for as long as it fails because a signal came (EINTR).
template <typename Call>
auto retryInterrupted(Call call) {
    while (true) {
        errno = 0;
        auto result = call();
        if (errno != EINTR) return result;
    }
}

// How this host reads a folder's records: the one part of the listing that is not the
// same everywhere (records_getdents.cpp or records_readdir.cpp, as VUX_LISTING chooses).
struct Records {
    void* stream = nullptr;  // readdir's directory stream
    std::size_t start = 0;   // getdents64: the records read lie in the arena at [start, end)
    std::size_t next = 0;
    std::size_t end = 0;
    bool readable = false;
};
// Readies the records of fd, opened for reading; they may use the room above below,
// the recordsEnd of the level underneath. False when they can't be read (fd stays open).
bool openRecords(Records& records, int fd, std::size_t below);
// The next record: its name (valid until the next call) and whether it is a folder.
// False at the end or on an error.
bool nextRecord(Records& records, int fd, const char** name, bool* directory);
// Closes fd and whatever reads it.
void closeRecords(Records& records, int fd);
// Where the room begins that a level opened above this one may use.
std::size_t recordsEnd(const Records& records);
// Whether the file system of the open folder fd on device keeps a folder's link count
// as 2 plus its subfolders.
bool countsSubfolders(const DriveMounts& mounts, int fd, dev_t device);

// The open directory descriptor of a listing that findFirst returned and findClose
// hasn't closed, for fstatat of its entries; -1 for any other number.
int listingDescriptor(int listing);
// The mounts the walk of an open listing heeds: those its root was opened with.
const DriveMounts* listingMounts(int listing);

// Fills the stamp of a folder opened by openFolder from its status; fd is its open
// descriptor, asked the file system's type when it is a drive's root.
void fillStamp(const DriveMounts& mounts, const struct stat& status, int fd, const char* drivePath,
               Stamp* stamp);

// Opens the folder at the relative drive path below the open descriptor fd as a handle
// to stamp its entries by, following no link: the descriptor, or -1.
int openBelow(int fd, const char* relative);

// Whether the drive path names a folder where another file system is mounted, or one
// that is not entered.
bool isMountPoint(const DriveMounts& mounts, const char* drivePath);

// The type of the file system that holds an open folder on the device, as the mount
// table names it ("ext4", "ufs"); empty when it isn't known.
std::string fileSystemTypeOf(const DriveMounts& mounts, int fd, dev_t device);

}  // namespace platform::posix

namespace platform {

struct DriveMounts::Table {
    // Drive paths of the folders not entered: the mount points of kernel pseudo file
    // systems and the roots of other mapped drives.
    std::vector<std::string> closed;
    // Drive paths of the other mounts inside the drive: where a walk crosses into
    // another file system without a link count to tell it so.
    std::vector<std::string> crossings;
    // The whole table, for the types of the file systems a walk meets.
    std::vector<posix::Mount> all;
};

}  // namespace platform

namespace platform::posix {

// A name that can be written as a path: no "\", CR or LF. Asked of every entry, so
// inline.
inline bool isPathName(const char* name) {
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '\r' || *p == '\n') return false;
    }
    return true;
}

// "." or "..".
inline bool isSelfOrParent(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Counts a listed entry against the subfolders still expected (-1: not known) and
// fills in the entry; false for a folder whose name can't be written as a path,
// which is left out with its subtree.
inline bool takeEntry(const char* name, bool directory, long& subfolders, FoundEntry* entry) {
    // Dot-folders and unfit names are subfolders too; only "." and ".." are not.
    if (directory && subfolders > 0 && !isSelfOrParent(name)) --subfolders;
    if (directory && !isPathName(name)) return false;
    entry->name = name;
    entry->attributes = directory ? directoryAttribute : 0;
    return true;
}

}  // namespace platform::posix
