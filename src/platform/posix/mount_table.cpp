// The host's mount table. Linux lists it in /proc/self/mountinfo, with each mount's
// device; macOS and the BSDs hand it out through getmntinfo, and tell the type of
// any open folder's file system through fstatfs (fstatvfs on NetBSD).
#include "platform/posix/mount_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__DragonFly__)
#define VUX_MOUNTS_STATFS 1
#include <sys/mount.h>
#include <sys/param.h>
#elif defined(__NetBSD__)
#define VUX_MOUNTS_STATVFS 1
#include <sys/mount.h>
#include <sys/statvfs.h>
#elif defined(__linux__)
#include <sys/sysmacros.h>
#endif

namespace platform::posix {

namespace {

#if !defined(VUX_MOUNTS_STATFS) && !defined(VUX_MOUNTS_STATVFS)
// Mount points are written with " ", tab, newline and "\" as octal escapes.
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

// Fields: id parent major:minor root mountpoint options ... - fstype source ...
bool parseMountInfoLine(char* line, Mount& mount) {
    const char* fields[5];
    char* p = line;
    int count = 0;
    while (count < 5 && *p != '\0') {
        fields[count++] = p;
        p = std::strchr(p, ' ');
        if (p == nullptr) break;
        ++p;
    }
    if (count < 5) return false;
    const char* mountEnd = std::strchr(fields[4], ' ');
    const char* dash = std::strstr(line, " - ");
    if (mountEnd == nullptr || dash == nullptr) return false;
    const char* type = dash + 3;
    const char* typeEnd = std::strchr(type, ' ');
    if (typeEnd == nullptr) return false;
    mount.point = unescapeMountPath(fields[4], static_cast<std::size_t>(mountEnd - fields[4]));
    mount.type.assign(type, static_cast<std::size_t>(typeEnd - type));
    mount.deviceKnown = false;
#if defined(__linux__)
    char* end;
    unsigned long major = std::strtoul(fields[2], &end, 10);
    if (*end == ':') {
        unsigned long minor = std::strtoul(end + 1, &end, 10);
        mount.device = makedev(major, minor);
        mount.deviceKnown = *end == ' ';
    }
#endif
    return true;
}
#endif

}  // namespace

std::vector<Mount> readMountTable() {
    std::vector<Mount> table;
#if defined(VUX_MOUNTS_STATFS) || defined(VUX_MOUNTS_STATVFS)
#if defined(VUX_MOUNTS_STATFS)
    struct statfs* mounts;
#else
    struct statvfs* mounts;
#endif
    // MNT_NOWAIT: what the kernel knows, without asking a file system that may hang.
    int count = ::getmntinfo(&mounts, MNT_NOWAIT);
    for (int i = 0; i < count; ++i)
        table.push_back({mounts[i].f_mntonname, mounts[i].f_fstypename, 0, false});
#else
    int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return table;
    FILE* mounts = ::fdopen(fd, "r");
    if (mounts == nullptr) {
        ::close(fd);
        return table;
    }
    char line[8192];
    Mount mount;
    while (std::fgets(line, sizeof line, mounts) != nullptr) {
        if (parseMountInfoLine(line, mount)) table.push_back(mount);
    }
    std::fclose(mounts);
#endif
    return table;
}

std::string fileSystemType(int fd, dev_t device, const std::vector<Mount>& table) {
#if defined(VUX_MOUNTS_STATFS)
    struct statfs fs;
    if (::fstatfs(fd, &fs) == 0) return fs.f_fstypename;
#elif defined(VUX_MOUNTS_STATVFS)
    struct statvfs fs;
    if (::fstatvfs(fd, &fs) == 0) return fs.f_fstypename;
#else
    (void)fd;
#endif
    for (const Mount& mount : table) {
        if (mount.deviceKnown && mount.device == device) return mount.type;
    }
    return std::string();
}

}  // namespace platform::posix
