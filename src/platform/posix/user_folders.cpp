// Where a shared install keeps a user's own files: the runtime folder of the command
// batch and change files, and the data folder, and whether the program folder takes
// the user's writes.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/drives.h"
#include "platform/posix/host_files.h"

namespace platform {

using posix::hostPathOf;
using posix::hostToDrive;

bool mayWriteFolder(const char* path) {
    std::string host;
    return hostPathOf(path, host) && ::access(host.c_str(), W_OK) == 0;
}

namespace {

// An environment variable's value, or "" when it is unset or empty.
std::string nonEmptyEnv(const char* name) {
    const char* value = ::getenv(name);
    return value != nullptr ? value : "";
}

// Makes every missing folder of an absolute host path, each open to the user alone.
void makeFolders(const std::string& host) {
    // Asked on every run: one call when the folder is there already.
    if (::mkdir(host.c_str(), 0700) == 0 || errno == EEXIST) return;
    for (std::size_t slash = host.find('/', 1);; slash = host.find('/', slash + 1)) {
        std::string folder = host.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
        if (slash == std::string::npos) return;
    }
}

// The runtime folder is where a change file can be planted in another user's way:
// it must be a folder (no link) that the user owns and no one else may write to.
UserFolderState ownFolder(const std::string& host) {
    if (::mkdir(host.c_str(), 0700) != 0 && errno != EEXIST) return UserFolderState::notMade;
    struct stat st;
    if (::lstat(host.c_str(), &st) != 0) return UserFolderState::notMade;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return UserFolderState::refused;
    }
    return UserFolderState::ready;
}

}  // namespace

UserFolderState userFolder(UserFolder which, char* buffer, std::size_t size) {
    std::string host;
    if (which == UserFolder::runtime) {
        std::string base = nonEmptyEnv("XDG_RUNTIME_DIR");
        if (!base.empty()) {
            host = base + "/vux";
        } else {
            std::string temporary = nonEmptyEnv("TMPDIR");
            host = (temporary.empty() ? std::string("/tmp") : temporary) + "/vux-" +
                   std::to_string(static_cast<unsigned long>(::getuid()));
        }
    } else {
        // A relative XDG_DATA_HOME counts as unset, as the base directory rules say.
        std::string base = nonEmptyEnv("XDG_DATA_HOME");
        if (base.empty() || base[0] != '/') {
            std::string home = nonEmptyEnv("HOME");
            if (home.empty()) {
                std::snprintf(buffer, size, "%s", "$HOME/.local/share/vux");
                return UserFolderState::notMade;
            }
            base = home + "/.local/share";
        }
        host = base + "/vux";
    }
    UserFolderState state = UserFolderState::ready;
    char drivePath[pathBufferSize];
    int mapped = host[0] == '/' ? hostToDrive(posix::physicalFolderOf(host.c_str()).c_str(), drivePath,
                                              sizeof drivePath - 1)
                                : -1;
    if (mapped == -2) {
        state = UserFolderState::tooLong;
    } else if (mapped != 0) {
        state = UserFolderState::onNoDrive;
    } else if (which == UserFolder::runtime) {
        state = ownFolder(host);
    } else {
        makeFolders(host);
    }
    const char* shown =
        state == UserFolderState::onNoDrive || state == UserFolderState::tooLong ? host.c_str() : drivePath;
    std::snprintf(buffer, size, "%s", shown);
    if (state == UserFolderState::ready) {
        std::size_t n = std::strlen(buffer);
        if (n + 1 < size && buffer[n - 1] != '\\') {
            buffer[n] = '\\';
            buffer[n + 1] = '\0';
        }
    }
    return state;
}

}  // namespace platform
