// The Windows backend: the NT shell's own drive state through Win32. The current
// directory and drive are the process's, remembered directories are the "=X:"
// environment entries the shell passes on, listings come from FindFirstFileA.
// The shell runs the command batch itself, so there are no shell files to write.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/shell_files.h"

namespace platform {

namespace {

bool driveIsPresent(int drive) {
    return drive >= 1 && drive <= 26 && (GetLogicalDrives() & (1u << (drive - 1))) != 0;
}

// The "=X:" entry of a drive, or empty when there is none.
bool readRemembered(int drive, char* buffer, std::size_t size) {
    char name[4] = {'=', static_cast<char>('A' + drive - 1), ':', 0};
    DWORD n = GetEnvironmentVariableA(name, buffer, static_cast<DWORD>(size));
    if (n == 0 || n >= size) buffer[0] = '\0';
    return true;
}

char rememberedScratch[27][pathBufferSize];

const char* rememberedOf(int drive, void*) {
    if (!driveIsPresent(drive)) return nullptr;
    readRemembered(drive, rememberedScratch[drive], pathBufferSize);
    return rememberedScratch[drive];
}

void rememberCurrent() {
    char current[pathBufferSize];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current || current[1] != ':') return;
    char name[4] = {'=', static_cast<char>(current[0] & ~0x20), ':', 0};
    SetEnvironmentVariableA(name, current);
}

// One open listing per level of a walk; they nest.
constexpr int maxLevels = 140;

struct Level {
    HANDLE handle;
    WIN32_FIND_DATAA data;
};

Level levels[maxLevels];
int levelCount = 0;

void fillEntry(const WIN32_FIND_DATAA& data, FoundEntry* entry) {
    entry->name = data.cFileName;
    // A junction or symbolic link is never a directory, so a walk can't loop.
    bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                     (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    entry->attributes = directory ? directoryAttribute : 0;
}

// A name that the code page can't hold comes back with "?" in it: it names no
// folder, and a path through it can be neither entered nor listed ("?" being a
// wildcard), so such an entry is left out with its subtree. Steps over them; false
// when the listing has ended.
bool skipUnwritable(Level& level) {
    while (std::strchr(level.data.cFileName, '?') != nullptr) {
        if (!FindNextFileA(level.handle, &level.data)) return false;
    }
    return true;
}

}  // namespace

StartProblem start() { return StartProblem::none; }

int getDrive() {
    char current[pathBufferSize];
    DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n == 0 || n >= sizeof current || current[1] != ':') return 0;
    return driveOfLetter(current[0]);
}

int chDrive(int drive) {
    if (!driveIsPresent(drive)) return -1;
    char target[pathBufferSize];
    readRemembered(drive, target, sizeof target);
    if (target[0] == '\0') {
        target[0] = static_cast<char>('A' + drive - 1);
        std::memcpy(target + 1, ":\\", 3);
    }
    if (!SetCurrentDirectoryA(target)) return -1;
    rememberCurrent();
    return 0;
}

int chDir(const char* path) {
    if (path[0] == '\0' || !SetCurrentDirectoryA(path)) return -1;
    rememberCurrent();
    return 0;
}

char* getCwd(char* buffer, std::size_t size) {
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
    if (n == 0 || n >= size) return nullptr;
    return buffer;
}

char* fullPath(char* buffer, const char* path, std::size_t size) {
    char current[pathBufferSize];
    if (getCwd(current, sizeof current) == nullptr) return nullptr;
    return fullPathInto(buffer, path, size, DriveContext{current, rememberedOf, nullptr});
}

const char* getEnv(const char* name) { return std::getenv(name); }

int hostToDrivePath(const char* text, char* buffer, std::size_t size) {
    std::size_t n = std::strlen(text);
    if (n + 1 > size) return -2;
    std::memcpy(buffer, text, n + 1);
    return 0;
}

int moduleFileName(char* buffer, std::size_t size) {
    DWORD n = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    return n == 0 || n >= size ? -1 : 0;
}

int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry) {
    (void)name;
    if (levelCount >= maxLevels || (parent != noListing && parent != levelCount - 1)) return -1;
    char pattern[pathBufferSize + 8];
    std::snprintf(pattern, sizeof pattern, "%s\\*", drivePath);
    Level& level = levels[levelCount];
    level.handle = FindFirstFileA(pattern, &level.data);
    if (level.handle == INVALID_HANDLE_VALUE) return -1;
    if (!skipUnwritable(level)) {
        FindClose(level.handle);
        return -1;
    }
    fillEntry(level.data, entry);
    return levelCount++;
}

int findNext(int listing, FoundEntry* entry) {
    if (listing != levelCount - 1) return -1;
    Level& level = levels[listing];
    if (!FindNextFileA(level.handle, &level.data) || !skipUnwritable(level)) return -1;
    fillEntry(level.data, entry);
    return 0;
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    FindClose(levels[listing].handle);
    --levelCount;
}

int openFile(const char* path, OpenMode mode) {
    if (path[0] == '\0') return -1;
    int flags = mode == OpenMode::read ? _O_RDONLY | _O_BINARY : _O_WRONLY | _O_CREAT | _O_BINARY;
    return _open(path, flags | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

long readFile(int file, char* buffer, std::size_t size) {
    return _read(file, buffer, static_cast<unsigned>(size > 0x40000000 ? 0x40000000 : size));
}

int writeFile(int file, const char* data, std::size_t size) {
    while (size > 0) {
        int n = _write(file, data, static_cast<unsigned>(size > 0x40000000 ? 0x40000000 : size));
        if (n <= 0) return -1;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int closeFile(int file) { return _close(file); }

int closeWritten(int file, unsigned long long length) {
    bool cut = _chsize_s(file, static_cast<long long>(length)) == 0;
    bool closed = _close(file) == 0;
    return cut && closed ? 0 : -1;
}

int replaceFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
}

int removeFile(const char* path) { return DeleteFileA(path) ? 0 : -1; }

// The console's interrupt handler runs on a thread of its own while the file is
// still open, so it can't remove it; an interrupted scan leaves its new file behind
// and the previous tree file whole.
void guardTemporaryFile(const char*) {}

void releaseTemporaryFile() {}

long processId() { return static_cast<long>(GetCurrentProcessId()); }

void writeStream(int stream, const char* data, std::size_t size) {
    // The streams are in text mode, as a console program's are: "\n" leaves as CR LF.
    while (size > 0) {
        int n = _write(stream, data, static_cast<unsigned>(size));
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void toShellCharacters(char* text, std::size_t size) {
    // Paths come in the ANSI code page; the shell reads batch files in the console's
    // (OEM by default), so "café" must be written in its bytes there.
    UINT shellPage = GetConsoleCP();
    if (shellPage == 0) shellPage = GetOEMCP();
    if (shellPage == GetACP()) return;
    wchar_t wide[2 * pathBufferSize];
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, static_cast<int>(sizeof wide / sizeof wide[0]));
    if (n <= 0) return;
    char converted[4 * pathBufferSize];
    int m = WideCharToMultiByte(shellPage, 0, wide, -1, converted, static_cast<int>(sizeof converted),
                                nullptr, nullptr);
    if (m <= 0 || static_cast<std::size_t>(m) > size) return;
    std::memcpy(text, converted, static_cast<std::size_t>(m));
}

int emptyShellChange(const char*, char*, std::size_t) { return 0; }

int writeShellChange(const char*, bool, char*, std::size_t) { return 0; }

int shellWrapperCount() { return 0; }

const char* shellWrapperName(int) { return ""; }

int writeShellWrapper(int, const char*, const char*) { return -1; }

bool standardOutputIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace platform
