// The host's table of mounted file systems: /proc/self/mountinfo where the kernel
// has it, getmntinfo on macOS and the BSDs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::posix {

struct Mount {
    std::string point;  // host path of the mount point
    std::string type;   // "ext4", "proc", "ufs", ...
    dev_t device;       // the device its folders report, when deviceKnown
    bool deviceKnown;
};

// Every mount the host reports; empty when it has no table or it can't be read.
std::vector<Mount> readMountTable();

// The type of the file system that holds the open folder fd on device: the host's
// own answer where it has one (macOS and the BSDs), else the table's entry for the
// device; empty when neither knows.
std::string fileSystemType(int fd, dev_t device, const std::vector<Mount>& table);

}  // namespace platform::posix
