// The POSIX backend: drives emulated over host folders (drives.h), remembered
// directories kept in the process, listings read straight from the kernel with the
// entry type the listing carries, files by file descriptor, and the shell files
// (dovux.sh, vux.sh, vux.fish) that carry a change into sh, bash, zsh and fish.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/posix/drives.h"

namespace platform {

namespace {

using posix::driveExists;
using posix::driveToHost;
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

// Resolves any drive path against the current drive state into a host path.
bool hostPathOf(const char* path, std::string& host) {
    char full[pathBufferSize];
    if (fullPath(full, path, sizeof full) == nullptr) return false;
    return driveToHost(full, host);
}

void rememberCurrent() {
    char current[pathBufferSize];
    if (!currentDrivePath(current, sizeof current)) return;
    int drive = driveOfLetter(current[0]);
    std::memcpy(remembered[drive], current, std::strlen(current) + 1);
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

// Writes a whole small file by host path: created or emptied.
bool writeHostFile(const std::string& host, const std::string& content) {
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = writeAll(fd, content.data(), content.size());
    return closeWritten(fd, content.size()) == 0 && ok;
}

// A host path quoted for sh: inside single quotes, a ' written as '\''. A \ is
// written outside the quotes too, as '\\', because fish sources dovux.sh as well and
// takes \' and \\ inside single quotes as escapes; written so, both shells read
// the same path, and a root's host folder such as /x\';cmd;# can't end the quotes.
std::string shQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else if (c == '\\') {
            out += "'\\\\'";
        } else {
            out += c;
        }
    }
    return out + "'";
}

// A host path quoted for fish: inside single quotes, \ and ' escaped.
std::string fishQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

// dovux.sh beside the command batch.
bool shellChangePath(const char* commandBatch, std::string& host) {
    if (!hostPathOf(commandBatch, host)) return false;
    std::size_t slash = host.rfind('/');
    std::size_t dot = host.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) host.erase(dot);
    host += ".sh";
    return true;
}

void copyFailedPath(const char* commandBatch, char* failedPath, std::size_t size) {
    if (size == 0) return;
    // Reported as a drive path, in the form the command batch's own path has.
    std::string text = commandBatch;
    std::size_t slash = text.find_last_of("\\/");
    std::size_t dot = text.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) text.erase(dot);
    text += ".sh";
    std::snprintf(failedPath, size, "%s", text.c_str());
}

// ---- Listings ------------------------------------------------------------------

// Pseudo file systems whose mount points keep their line but are not entered.
const char* const pseudoFileSystems[] = {
    "proc",   "sysfs", "devtmpfs", "devpts",  "cgroup", "cgroup2",   "debugfs",     "tracefs",  "securityfs",
    "pstore", "bpf",   "configfs", "fusectl", "mqueue", "hugetlbfs", "binfmt_misc", "efivarfs", "autofs",
};

// Drive paths (on the drive being listed) that are not entered: pseudo mounts and
// the roots of other mapped drives. Read once when a walk opens a drive's root.
std::vector<std::string> closedFolders;

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

void addClosedFolder(const std::string& host, int drive) {
    char drivePath[pathBufferSize];
    if (posix::hostToDriveOn(host.c_str(), drive, drivePath, sizeof drivePath) != 0) return;
    if (drivePath[3] == '\0') return;
    closedFolders.emplace_back(drivePath);
}

void readClosedFolders(int drive) {
    closedFolders.clear();
    for (int other = 1; other <= 26; ++other) {
        const char* root = posix::driveRoot(other);
        if (other != drive && root != nullptr) addClosedFolder(root, drive);
    }
    FILE* mounts = std::fopen("/proc/self/mountinfo", "re");
    if (mounts == nullptr) return;
    char line[8192];
    while (std::fgets(line, sizeof line, mounts) != nullptr) {
        // Fields: id parent major:minor root mountpoint options ... - fstype source ...
        const char* fields[5];
        char* p = line;
        int count = 0;
        while (count < 5 && *p != '\0') {
            fields[count++] = p;
            p = std::strchr(p, ' ');
            if (p == nullptr) break;
            ++p;
        }
        if (count < 5) continue;
        const char* mountEnd = std::strchr(fields[4], ' ');
        const char* dash = std::strstr(line, " - ");
        if (mountEnd == nullptr || dash == nullptr) continue;
        const char* type = dash + 3;
        const char* typeEnd = std::strchr(type, ' ');
        if (typeEnd == nullptr) continue;
        std::string fsType(type, static_cast<std::size_t>(typeEnd - type));
        for (const char* pseudo : pseudoFileSystems) {
            if (fsType == pseudo) {
                addClosedFolder(unescapeMountPath(fields[4], static_cast<std::size_t>(mountEnd - fields[4])),
                                drive);
                break;
            }
        }
    }
    std::fclose(mounts);
}

bool isClosedFolder(const char* drivePath) {
    if (closedFolders.empty()) return false;
    std::size_t n = std::strlen(drivePath);
    for (const std::string& folder : closedFolders) {
        if (folder.size() == n && std::memcmp(folder.data(), drivePath, n) == 0) return true;
    }
    return false;
}

// One open listing per level of a walk. The kernel's records of each level live in
// one arena, stacked: a level's unread records stay below those of the levels it
// opens. A path of 259 characters is at most 130 levels deep.
constexpr int maxLevels = 140;
constexpr std::size_t chunkSize = 32 * 1024;
constexpr std::size_t arenaSize = maxLevels * chunkSize;

struct Level {
    int fd;
    std::size_t start;  // the level's records: arena[start, end)
    std::size_t next;
    std::size_t end;
};

alignas(8) char arena[arenaSize];
Level levels[maxLevels];
int levelCount = 0;

bool fillLevel(Level& level) {
    level.start = levelCount > 1 ? levels[levelCount - 2].end : 0;
    while (true) {
        long n = ::getdents64(level.fd, arena + level.start, chunkSize);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        level.next = level.start;
        level.end = level.start + static_cast<std::size_t>(n);
        return true;
    }
}

bool isDirectoryEntry(int dirFd, const struct dirent64* record) {
    if (record->d_type == DT_DIR) return true;
    if (record->d_type != DT_UNKNOWN) return false;
    // Some file systems leave the type out of the listing.
    struct stat st;
    return ::fstatat(dirFd, record->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

bool isPathName(const char* name) {
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '\r' || *p == '\n') return false;
    }
    return true;
}

// Hands out the level's next record that is fit to be a path name.
bool nextRecord(Level& level, FoundEntry* entry) {
    while (true) {
        if (level.next >= level.end && !fillLevel(level)) return false;
        auto* record = reinterpret_cast<struct dirent64*>(arena + level.next);
        level.next += record->d_reclen;
        const char* name = record->d_name;
        const bool directory = isDirectoryEntry(level.fd, record);
        // A name with "\", CR or LF can't be written as a path: left out, subtree too.
        if (directory && !isPathName(name)) continue;
        entry->name = name;
        entry->attributes = directory ? directoryAttribute : 0;
        return true;
    }
}

}  // namespace

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

char* getCwd(char* buffer, std::size_t size) {
    if (!currentDrivePath(buffer, size)) return nullptr;
    return buffer;
}

char* fullPath(char* buffer, const char* path, std::size_t size) {
    char current[pathBufferSize];
    if (!currentDrivePath(current, sizeof current)) return nullptr;
    return fullPathInto(buffer, path, size, DriveContext{current, rememberedOf, nullptr});
}

const char* getEnv(const char* name) { return ::getenv(name); }

int hostToDrivePath(const char* text, char* buffer, std::size_t size) {
    if (text[0] == '/') return hostToDrive(text, buffer, size);
    std::size_t n = std::strlen(text);
    if (n + 1 > size) return -2;
    std::memcpy(buffer, text, n + 1);
    return 0;
}

int moduleFileName(char* buffer, std::size_t size) {
    char host[4096];
    ssize_t n = ::readlink("/proc/self/exe", host, sizeof host - 1);
    if (n <= 0) return -1;
    host[n] = '\0';
    return hostToDrive(host, buffer, size) == 0 ? 0 : -1;
}

int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry) {
    if (levelCount >= maxLevels) return -1;
    int fd;
    if (parent == noListing) {
        int drive = driveOfLetter(drivePath[0]);
        const char* root = posix::driveRoot(drive);
        if (root == nullptr) return -1;
        readClosedFolders(drive);
        fd = ::open(root, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        if (parent != levelCount - 1 || isClosedFolder(drivePath)) return -1;
        fd = ::openat(levels[parent].fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) return -1;
    Level& level = levels[levelCount++];
    level.fd = fd;
    level.next = level.end = level.start = levelCount > 1 ? levels[levelCount - 2].end : 0;
    if (!nextRecord(level, entry)) {
        findClose(levelCount - 1);
        return -1;
    }
    return levelCount - 1;
}

int findNext(int listing, FoundEntry* entry) {
    if (listing != levelCount - 1) return -1;
    return nextRecord(levels[listing], entry) ? 0 : -1;
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    ::close(levels[listing].fd);
    --levelCount;
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

int writeFile(int file, const char* data, std::size_t size) { return writeAll(file, data, size) ? 0 : -1; }

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

namespace {

// The host path of the guarded file; the handler may only make async-signal-safe calls.
char guardedPath[4096];
volatile sig_atomic_t guarded = 0;
const int guardedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void removeGuardedAndDie(int signal) {
    if (guarded != 0) ::unlink(guardedPath);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

void guardTemporaryFile(const char* path) {
    std::string host;
    if (!hostPathOf(path, host) || host.size() >= sizeof guardedPath) return;
    std::memcpy(guardedPath, host.c_str(), host.size() + 1);
    guarded = 1;
    struct sigaction action {};
    action.sa_handler = removeGuardedAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : guardedSignals) ::sigaction(signal, &action, nullptr);
}

void releaseTemporaryFile() {
    guarded = 0;
    for (int signal : guardedSignals) ::signal(signal, SIG_DFL);
}

long processId() { return static_cast<long>(::getpid()); }

void writeStream(int stream, const char* data, std::size_t size) { writeAll(stream, data, size); }

unsigned toShellTarget(char*, std::size_t) { return 0; }

void fromStoredText(char*, std::size_t) {}

int emptyShellChange(const char* commandBatch, char* failedPath, std::size_t size) {
    return writeShellChange(commandBatch, false, failedPath, size);
}

int writeShellChange(const char* commandBatch, bool hasChange, char* failedPath, std::size_t size) {
    std::string host;
    std::string content;
    if (hasChange) {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) != nullptr) content = "cd -- " + shQuote(cwd) + "\n";
    }
    if (!shellChangePath(commandBatch, host) || !writeHostFile(host, content)) {
        copyFailedPath(commandBatch, failedPath, size);
        return -1;
    }
    return 0;
}

int shellWrapperCount() { return 2; }

const char* shellWrapperName(int index) { return index == 0 ? "vux.sh" : "vux.fish"; }

int writeShellWrapper(int index, const char* programPath, const char* commandBatch) {
    std::string program, change;
    if (!hostPathOf(programPath, program) || !shellChangePath(commandBatch, change)) return -1;
    std::string content;
    if (index == 0) {
        content =
            "# vux for sh, bash and zsh: source this file from the shell's start-up file.\n"
            "# The function runs vux, then takes the shell to the directory it chose.\n"
            "vux() {\n"
            "    " +
            shQuote(program) +
            " \"$@\"\n"
            "    set -- \"$?\"\n"
            "    case $1 in\n"
            "        0|127) [ -f " +
            shQuote(change) + " ] && . " + shQuote(change) +
            " ;;\n"
            "    esac\n"
            "    return \"$1\"\n"
            "}\n";
    } else {
        content =
            "# vux for fish: source this file from config.fish.\n"
            "# The function runs vux, then takes the shell to the directory it chose.\n"
            "function vux\n"
            "    " +
            fishQuote(program) +
            " $argv\n"
            "    set -l vux_status $status\n"
            "    if contains -- $vux_status 0 127; and test -f " +
            fishQuote(change) +
            "\n"
            "        source " +
            fishQuote(change) +
            "\n"
            "    end\n"
            "    return $vux_status\n"
            "end\n";
    }
    return writeHostFile(shellWrapperName(index), content) ? 0 : -1;
}

}  // namespace platform
