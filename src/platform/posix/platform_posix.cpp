// The POSIX backend's drive state and files: drives emulated over host folders
// (drives.h), remembered directories kept in the process, the current directory,
// files by file descriptor. Listings are in listing.cpp over a record reader, the
// shell files in shell_files.cpp, files written by replacement and their signal
// guard in temporary_files.cpp, a user's own folders in user_folders.cpp.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#elif defined(__FreeBSD__) || defined(__DragonFly__)
#include <sys/sysctl.h>
#include <sys/types.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/posix/drives.h"
#include "platform/posix/host_files.h"
#include "platform/posix/listing.h"

namespace platform {

namespace {

using posix::driveExists;
using posix::driveToHost;
using posix::hostPathOf;
using posix::hostToDrive;

// Remembered directory of each drive, 1 = A; empty: the drive stands at its root.
char remembered[27][pathBufferSize];

const char* rememberedOf(int drive, void*) {
    if (!driveExists(drive)) return nullptr;
    return remembered[drive];
}

// The current directory as a drive path, read from the host each time.
bool currentDrivePath(char* buffer, std::size_t size) {
    char host[4096];
    if (::getcwd(host, sizeof host) == nullptr) return false;
    return hostToDrive(host, buffer, size) == 0;
}

void rememberCurrent() {
    char current[pathBufferSize];
    if (!currentDrivePath(current, sizeof current)) return;
    int drive = driveOfLetter(current[0]);
    std::memcpy(remembered[drive], current, std::strlen(current) + 1);
}

}  // namespace

namespace posix {

bool hostPathOf(const char* path, std::string& host) {
    char full[pathBufferSize];
    if (fullPath(full, path, sizeof full) == nullptr) return false;
    return driveToHost(full, host);
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace posix

void takeArguments(int&, char**&) {}

StartProblem start() {
    if (!posix::parseDrives(::getenv("VUXDRIVES"))) return StartProblem::malformedDrives;
    for (auto& dir : remembered) dir[0] = '\0';
    rememberCurrent();
    return StartProblem::none;
}

int getDrive() {
    char current[pathBufferSize];
    if (!currentDrivePath(current, sizeof current)) return 0;
    return driveOfLetter(current[0]);
}

int chDrive(int drive) {
    if (drive < 1 || drive > 26 || !driveExists(drive)) return -1;
    char target[pathBufferSize] = {static_cast<char>('A' + drive - 1), ':', '\\', 0};
    if (remembered[drive][0] != '\0')
        std::memcpy(target, remembered[drive], std::strlen(remembered[drive]) + 1);
    std::string host;
    if (!driveToHost(target, host) || ::chdir(host.c_str()) != 0) return -1;
    rememberCurrent();
    return 0;
}

int chDir(const char* path) {
    std::string host;
    if (!hostPathOf(path, host)) return -1;
    int saved = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (::chdir(host.c_str()) != 0) {
        if (saved >= 0) ::close(saved);
        return -1;
    }
    char current[pathBufferSize];
    if (!currentDrivePath(current, sizeof current)) {
        // Entered, but not a place a drive path can name: step back out.
        if (saved >= 0) {
            if (::fchdir(saved) != 0) {
                // Nothing more to do: the caller sees the failure all the same.
            }
            ::close(saved);
        }
        return -1;
    }
    if (saved >= 0) ::close(saved);
    std::memcpy(remembered[driveOfLetter(current[0])], current, std::strlen(current) + 1);
    return 0;
}

bool fileExists(const char* path) {
    std::string host;
    struct stat st;
    return hostPathOf(path, host) && ::lstat(host.c_str(), &st) == 0;
}

bool isUnenterableFolder(const char* path) {
    std::string host;
    if (!hostPathOf(path, host)) return false;
    struct stat st;
    if (::stat(host.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return errno == EACCES;
}

char* getCwd(char* buffer, std::size_t size) {
    if (!currentDrivePath(buffer, size)) return nullptr;
    return buffer;
}

CurrentDirectoryProblem currentDirectoryProblem() {
    char host[4096];
    if (::getcwd(host, sizeof host) == nullptr) {
        return errno == ERANGE ? CurrentDirectoryProblem::tooLong : CurrentDirectoryProblem::unreadable;
    }
    char drivePath[pathBufferSize];
    switch (hostToDrive(host, drivePath, sizeof drivePath)) {
        case 0: return CurrentDirectoryProblem::none;
        case -2: return CurrentDirectoryProblem::tooLong;
        case -3: return CurrentDirectoryProblem::unwritableName;
        default: return CurrentDirectoryProblem::onNoDrive;
    }
}

char* fullPath(char* buffer, const char* path, std::size_t size) {
    char current[pathBufferSize];
    if (!currentDrivePath(current, sizeof current)) return nullptr;
    return fullPathInto(buffer, path, size, DriveContext{current, rememberedOf, nullptr});
}

const char* getEnv(const char* name) { return ::getenv(name); }

int hostToDrivePath(const char* text, char* buffer, std::size_t size) {
    if (text[0] == '/') return hostToDrive(posix::physicalFolderOf(text).c_str(), buffer, size);
    std::size_t n = std::strlen(text);
    if (n + 1 > size) return -2;
    std::memcpy(buffer, text, n + 1);
    return 0;
}

namespace {

// The program's real location as the host itself tells it: empty where it can't.
std::string hostProgramPath() {
    char link[4096];
    ssize_t n = ::readlink("/proc/self/exe", link, sizeof link - 1);
    if (n > 0) return std::string(link, static_cast<std::size_t>(n));
    std::string found;
#if defined(__APPLE__)
    uint32_t length = sizeof link;
    if (::_NSGetExecutablePath(link, &length) == 0) found = link;
#elif defined(__FreeBSD__) || defined(__DragonFly__)
    const int query[] = {CTL_KERN, KERN_PROC, KERN_PROC_PATHNAME, -1};
    std::size_t length = sizeof link;
    if (::sysctl(query, 4, link, &length, nullptr, 0) == 0) found.assign(link, ::strnlen(link, length));
#endif
    // Resolved the way /proc/self/exe is: links and "." taken away.
    if (!found.empty()) {
        char* real = ::realpath(found.c_str(), nullptr);
        found = real != nullptr ? real : "";
        std::free(real);
    }
    return found;
}

}  // namespace

int moduleFileName(const char* name, char* buffer, std::size_t size) {
    std::string found = hostProgramPath();
    if (found.empty() && name != nullptr && name[0] != '\0') {
        // The host doesn't say: the shell found the program where it finds any
        // command, the first executable of that name in PATH.
        const char* path = ::getenv("PATH");
        for (const char* entry = path != nullptr ? path : ""; found.empty();) {
            const char* end = std::strchr(entry, ':');
            std::size_t length = end != nullptr ? static_cast<std::size_t>(end - entry) : std::strlen(entry);
            std::string candidate =
                (length == 0 ? std::string(".") : std::string(entry, length)) + "/" + name;
            struct stat st;
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0) {
                char* real = ::realpath(candidate.c_str(), nullptr);
                if (real != nullptr) found = real;
                std::free(real);
            }
            if (end == nullptr) break;
            entry = end + 1;
        }
    }
    if (found.empty() || found.size() + 1 > size) return -1;
    std::memcpy(buffer, found.c_str(), found.size() + 1);
    return 0;
}

int openFile(const char* path, OpenMode mode) {
    std::string host;
    if (!hostPathOf(path, host)) return -1;
    int flags = mode == OpenMode::read ? O_RDONLY : O_WRONLY | O_CREAT;
    int fd = ::open(host.c_str(), flags | O_CLOEXEC, 0666);
    if (fd >= 0 && mode == OpenMode::read) {
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

long readFile(int file, char* buffer, std::size_t size) {
    while (true) {
        ssize_t n = ::read(file, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

int writeFile(int file, const char* data, std::size_t size) {
    return posix::writeAll(file, data, size) ? 0 : -1;
}

long readFileAt(int file, char* buffer, std::size_t size, unsigned long long offset) {
    while (true) {
        ssize_t n = ::pread(file, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

int writeFileAt(int file, const char* data, std::size_t size, unsigned long long offset) {
    while (size > 0) {
        ssize_t n = ::pwrite(file, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<unsigned long long>(n);
    }
    return 0;
}

int closeFile(int file) { return ::close(file); }

int closeWritten(int file, unsigned long long length) {
    struct stat st;
    bool cut = ::fstat(file, &st) != 0 || static_cast<unsigned long long>(st.st_size) == length ||
               ::ftruncate(file, static_cast<off_t>(length)) == 0;
    bool closed = ::close(file) == 0;
    return cut && closed ? 0 : -1;
}

int replaceFile(const char* from, const char* to) {
    std::string hostFrom, hostTo;
    if (!hostPathOf(from, hostFrom) || !hostPathOf(to, hostTo)) return -1;
    return ::rename(hostFrom.c_str(), hostTo.c_str());
}

int removeFile(const char* path) {
    std::string host;
    if (!hostPathOf(path, host)) return -1;
    return ::unlink(host.c_str());
}

long processId() { return static_cast<long>(::getpid()); }

void writeStream(int stream, const char* data, std::size_t size) { posix::writeAll(stream, data, size); }

unsigned toShellTarget(char*, std::size_t) { return 0; }

bool toShellPath(char*, std::size_t) { return true; }

void fromStoredText(char*, std::size_t) {}
bool standardOutputIsTerminal() { return ::isatty(1) == 1; }

}  // namespace platform
