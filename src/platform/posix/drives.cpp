// VUXDRIVES and the host/drive path mapping of the POSIX backend.
#include "platform/posix/drives.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/path_algebra.h"

namespace platform::posix {

namespace {

// Index 1 to 26; an empty root means the letter is not mapped.
std::string roots[27];

// Splits an absolute host path into its names, resolving "." and "..".
void hostNames(const char* host, std::vector<std::string>& names) {
    names.clear();
    const char* p = host;
    while (*p != '\0') {
        while (*p == '/') ++p;
        const char* start = p;
        while (*p != '\0' && *p != '/') ++p;
        std::size_t n = static_cast<std::size_t>(p - start);
        if (n == 0 || (n == 1 && start[0] == '.')) continue;
        if (n == 2 && start[0] == '.' && start[1] == '.') {
            if (!names.empty()) names.pop_back();
            continue;
        }
        names.emplace_back(start, n);
    }
}

// The physical folder of a host path (as realpath gives it), or the path as it
// stands when it can't be resolved, such as a folder that doesn't exist.
std::string physical(const std::string& host) {
    char resolved[PATH_MAX];
    if (::realpath(host.c_str(), resolved) == nullptr) return host;
    return resolved;
}

}  // namespace

std::string physicalFolderOf(const char* host) {
    std::vector<std::string> names;
    hostNames(host, names);
    if (names.empty()) return "/";
    std::string parent;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) parent += "/" + names[i];
    parent = physical(parent.empty() ? "/" : parent);
    if (parent.back() != '/') parent += '/';
    return parent + names.back();
}

bool parseDrives(const char* value) {
    for (auto& root : roots) root.clear();
    if (value == nullptr || *value == '\0') {
        roots[3] = "/";
        return true;
    }
    const char* p = value;
    bool mapped = false;
    for (;; p = std::strchr(p, ':') + 1) {
        const char* end = std::strchr(p, ':');
        std::size_t n = end == nullptr ? std::strlen(p) : static_cast<std::size_t>(end - p);
        // An empty entry (a trailing ":", or "::") is passed over, as PATH passes one.
        if (n == 0) {
            if (end == nullptr) break;
            continue;
        }
        if (n < 3 || p[1] != '=' || p[2] != '/') return false;
        int drive = driveOfLetter(p[0]);
        if (drive == 0 || !roots[drive].empty()) return false;
        std::string root(p + 2, n - 2);
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        // The current directory comes back physical: so must the root it is named from.
        roots[drive] = physical(root);
        mapped = true;
        if (end == nullptr) break;
    }
    // Nothing but empty entries: as if unset.
    if (!mapped) roots[3] = "/";
    return true;
}

const char* driveRoot(int drive) {
    if (drive < 1 || drive > 26 || roots[drive].empty()) return nullptr;
    return roots[drive].c_str();
}

bool driveExists(int drive) {
    const char* root = driveRoot(drive);
    struct stat st;
    return root != nullptr && stat(root, &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// The depth of a drive's root when it is a component-wise prefix of names, else -1.
long rootDepthIn(int drive, const std::vector<std::string>& names) {
    if (drive < 1 || drive > 26 || roots[drive].empty()) return -1;
    std::vector<std::string> rootNames;
    hostNames(roots[drive].c_str(), rootNames);
    if (rootNames.size() > names.size()) return -1;
    for (std::size_t i = 0; i < rootNames.size(); ++i) {
        if (rootNames[i] != names[i]) return -1;
    }
    return static_cast<long>(rootNames.size());
}

int drivePathOf(int drive, std::size_t depth, const std::vector<std::string>& names, char* buffer,
                std::size_t size) {
    std::string out;
    out += static_cast<char>('A' + drive - 1);
    out += ":\\";
    for (std::size_t i = depth; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.find_first_of("\\\r\n") != std::string::npos) return -3;
        if (i > depth) out += '\\';
        out += name;
    }
    if (out.size() + 1 > size) return -2;
    std::memcpy(buffer, out.c_str(), out.size() + 1);
    return 0;
}

}  // namespace

int hostToDrive(const char* host, char* buffer, std::size_t size) {
    if (host == nullptr || host[0] != '/') return -1;
    std::vector<std::string> names;
    hostNames(host, names);
    int best = 0;
    long bestDepth = -1;
    for (int drive = 1; drive <= 26; ++drive) {
        long depth = rootDepthIn(drive, names);
        if (depth > bestDepth) {
            best = drive;
            bestDepth = depth;
        }
    }
    if (best == 0) return -1;
    return drivePathOf(best, static_cast<std::size_t>(bestDepth), names, buffer, size);
}

int hostToDriveOn(const char* host, int drive, char* buffer, std::size_t size) {
    if (host == nullptr || host[0] != '/') return -1;
    std::vector<std::string> names;
    hostNames(host, names);
    long depth = rootDepthIn(drive, names);
    if (depth < 0) return -1;
    return drivePathOf(drive, static_cast<std::size_t>(depth), names, buffer, size);
}

bool driveToHost(const char* drivePath, std::string& host) {
    if (drivePath[0] == '\0' || drivePath[1] != ':' || drivePath[2] != '\\') return false;
    const char* root = driveRoot(driveOfLetter(drivePath[0]));
    if (root == nullptr) return false;
    host = root;
    const char* rest = drivePath + 3;
    if (*rest == '\0') return true;
    if (host.back() != '/') host += '/';
    for (const char* p = rest; *p != '\0'; ++p) host += *p == '\\' ? '/' : *p;
    return true;
}

}  // namespace platform::posix
