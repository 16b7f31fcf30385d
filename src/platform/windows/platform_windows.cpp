// The Windows backend: the NT shell's own drive state through the wide (W) Win32
// calls, so that every name the file system holds can be listed, entered and written,
// not only those the ANSI code page can spell. Paths are UTF-8 inside the program and
// in the files it writes; they turn wide at each call and back. The current directory
// and drive are the process's, remembered directories are the "=X:" environment
// entries the shell passes on, listings come from FindFirstFileExW. What crosses to
// the console and the shell is in console_text.cpp.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/windows/wide_text.h"

namespace platform {

using namespace windows;

namespace {

bool driveIsPresent(int drive) {
    return drive >= 1 && drive <= 26 && (GetLogicalDrives() & (1u << (drive - 1))) != 0;
}

// The "=X:" entry of a drive in UTF-8, or empty when there is none or it doesn't fit.
void readRemembered(int drive, char* buffer, std::size_t size) {
    wchar_t name[4] = {L'=', static_cast<wchar_t>(L'A' + drive - 1), L':', 0};
    wchar_t wide[wideSize];
    DWORD n = GetEnvironmentVariableW(name, wide, wideSize);
    if (n == 0 || n >= wideSize || !toUtf8(wide, buffer, size)) buffer[0] = '\0';
}

char rememberedScratch[27][pathBufferSize];

const char* rememberedOf(int drive, void*) {
    if (!driveIsPresent(drive)) return nullptr;
    readRemembered(drive, rememberedScratch[drive], pathBufferSize);
    return rememberedScratch[drive];
}

void rememberCurrent() {
    wchar_t current[wideSize];
    DWORD n = GetCurrentDirectoryW(wideSize, current);
    if (n == 0 || n >= wideSize || current[1] != L':') return;
    wchar_t name[4] = {L'=', static_cast<wchar_t>(current[0] & ~0x20), L':', 0};
    SetEnvironmentVariableW(name, current);
}

// One open listing per level of a walk; they nest. Each keeps its entry's name in
// UTF-8: up to three bytes for each of the 259 UTF-16 units of a name.
constexpr int maxLevels = 140;

struct Level {
    HANDLE handle;
    WIN32_FIND_DATAW data;
    char name[3 * MAX_PATH + 1];
};

Level levels[maxLevels];
int levelCount = 0;
// The parent of a listing of a drive's root.
constexpr int noParent = -1;

// Fills the entry from the level's current find data; false for a name that UTF-8
// can't spell (an unpaired surrogate), which no path could name.
bool fillEntry(Level& level, FoundEntry* entry) {
    if (!toUtf8(level.data.cFileName, level.name, sizeof level.name)) return false;
    entry->name = level.name;
    // A junction or symbolic link is never a directory, so a walk can't loop.
    DWORD attributes = level.data.dwFileAttributes;
    bool directory =
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    entry->attributes = directory ? directoryAttribute : 0;
    return true;
}

// Steps to the next entry that can be handed out; false when the listing has ended.
bool nextWritable(Level& level, FoundEntry* entry) {
    do {
        if (!FindNextFileW(level.handle, &level.data)) return false;
    } while (!fillEntry(level, entry));
    return true;
}

}  // namespace

StartProblem start() { return StartProblem::none; }

int getDrive() {
    wchar_t current[wideSize];
    DWORD n = GetCurrentDirectoryW(wideSize, current);
    if (n == 0 || n >= wideSize || current[1] != L':' || current[0] >= 0x80) return 0;
    return driveOfLetter(static_cast<char>(current[0]));
}

int chDrive(int drive) {
    if (!driveIsPresent(drive)) return -1;
    char target[pathBufferSize];
    readRemembered(drive, target, sizeof target);
    if (target[0] == '\0') {
        target[0] = static_cast<char>('A' + drive - 1);
        std::memcpy(target + 1, ":\\", 3);
    }
    return chDir(target);
}

int chDir(const char* path) {
    wchar_t wide[wideSize];
    if (path[0] == '\0' || !toWide(path, wide, wideSize) || !SetCurrentDirectoryW(wide)) return -1;
    rememberCurrent();
    return 0;
}

bool fileExists(const char* path) {
    wchar_t wide[wideSize];
    return path[0] != '\0' && toWide(path, wide, wideSize) &&
           GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
}

bool isUnenterableFolder(const char* path) {
    wchar_t wide[wideSize];
    if (path[0] == '\0' || !toWide(path, wide, wideSize)) return false;
    DWORD attributes = GetFileAttributesW(wide);
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return GetLastError() == ERROR_ACCESS_DENIED;
}

CurrentDirectoryProblem currentDirectoryProblem() {
    wchar_t current[wideSize];
    DWORD n = GetCurrentDirectoryW(wideSize, current);
    if (n == 0) return CurrentDirectoryProblem::unreadable;
    if (n >= wideSize) return CurrentDirectoryProblem::tooLong;
    if (current[1] != L':' || current[0] >= 0x80) return CurrentDirectoryProblem::onNoDrive;
    char path[pathBufferSize];
    return getCwd(path, sizeof path) == nullptr ? CurrentDirectoryProblem::tooLong
                                                : CurrentDirectoryProblem::none;
}

char* getCwd(char* buffer, std::size_t size) {
    wchar_t wide[wideSize];
    DWORD n = GetCurrentDirectoryW(wideSize, wide);
    if (n == 0 || n >= wideSize) return nullptr;
    // A shell that entered a folder by its short path keeps that spelling; the tree
    // file names folders as the file system holds them.
    wchar_t longPath[wideSize];
    const wchar_t* current = wide;
    if (std::wcschr(wide, L'~') != nullptr) {
        DWORD l = GetLongPathNameW(wide, longPath, wideSize);
        if (l != 0 && l < wideSize) current = longPath;
    }
    return toUtf8(current, buffer, size) ? buffer : nullptr;
}

char* fullPath(char* buffer, const char* path, std::size_t size) {
    char current[pathBufferSize];
    if (getCwd(current, sizeof current) == nullptr) return nullptr;
    return fullPathInto(buffer, path, size, DriveContext{current, rememberedOf, nullptr});
}

const char* getEnv(const char* name) {
    // Each variable's value lives in a slot of its own until the variable is read again.
    static std::map<std::string, std::string> values;
    std::wstring wideName = wideOf(CP_UTF8, name, std::strlen(name));
    DWORD n = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return nullptr;
    std::wstring value(n, L'\0');
    DWORD got = n == 0 ? 0 : GetEnvironmentVariableW(wideName.c_str(), &value[0], n);
    std::string& slot = values[name];
    slot = toUtf8String(value.c_str(), got < n ? got : 0);
    return slot.c_str();
}

int hostToDrivePath(const char* text, char* buffer, std::size_t size) {
    std::size_t n = std::strlen(text);
    if (n + 1 > size) return -2;
    std::memcpy(buffer, text, n + 1);
    return 0;
}

// The command batch and the data files stay beside the program, as they always have.
bool mayWriteFolder(const char*) { return true; }

UserFolderState userFolder(UserFolder, char* buffer, std::size_t size) {
    if (size > 0) buffer[0] = '\0';
    return UserFolderState::notMade;
}

int moduleFileName(const char*, char* buffer, std::size_t size) {
    wchar_t wide[wideSize];
    DWORD n = GetModuleFileNameW(nullptr, wide, wideSize);
    return n == 0 || n >= wideSize || !toUtf8(wide, buffer, size) ? -1 : 0;
}

namespace {

// Lists drivePath, below the open listing parent or, for a drive's root, below none.
int listFolder(int parent, const char* drivePath, FoundEntry* entry) {
    if (levelCount >= maxLevels || (parent != noParent && parent != levelCount - 1)) return -1;
    wchar_t pattern[wideSize];
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, drivePath, -1, pattern, wideSize - 2);
    if (n <= 0) return -1;
    std::memcpy(pattern + n - 1, L"\\*", 3 * sizeof(wchar_t));
    Level& level = levels[levelCount];
    // Basic information leaves out the short names, which cost Windows a second look
    // per entry; the large fetch takes the entries in bigger batches.
    level.handle = FindFirstFileExW(pattern, FindExInfoBasic, &level.data, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
    if (level.handle == INVALID_HANDLE_VALUE) return -1;
    if (!fillEntry(level, entry) && !nextWritable(level, entry)) {
        FindClose(level.handle);
        return -1;
    }
    return levelCount++;
}

}  // namespace

int findRoot(const DriveMounts&, const char* drivePath, FoundEntry* entry) {
    return listFolder(noParent, drivePath, entry);
}

int findFirst(int parent, const char*, const char* drivePath, FoundEntry* entry, const Stamp*) {
    return parent < 0 ? -1 : listFolder(parent, drivePath, entry);
}

int findNext(int listing, FoundEntry* entry) {
    if (listing != levelCount - 1) return -1;
    return nextWritable(levels[listing], entry) ? 0 : -1;
}

void findClose(int listing) {
    if (listing != levelCount - 1) return;
    FindClose(levels[listing].handle);
    --levelCount;
}

int openFile(const char* path, OpenMode mode) {
    wchar_t wide[wideSize];
    if (path[0] == '\0' || !toWide(path, wide, wideSize)) return -1;
    int flags = mode == OpenMode::read ? _O_RDONLY | _O_BINARY : _O_WRONLY | _O_CREAT | _O_BINARY;
    return _wopen(wide, flags | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
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

long readFileAt(int file, char* buffer, std::size_t size, unsigned long long offset) {
    long long here = _telli64(file);
    if (here < 0 || _lseeki64(file, static_cast<long long>(offset), SEEK_SET) < 0) return -1;
    long n = readFile(file, buffer, size);
    _lseeki64(file, here, SEEK_SET);
    return n;
}

int writeFileAt(int file, const char* data, std::size_t size, unsigned long long offset) {
    long long here = _telli64(file);
    if (here < 0 || _lseeki64(file, static_cast<long long>(offset), SEEK_SET) < 0) return -1;
    int result = writeFile(file, data, size);
    _lseeki64(file, here, SEEK_SET);
    return result;
}

int closeFile(int file) { return _close(file); }

int closeWritten(int file, unsigned long long length) {
    bool cut = _chsize_s(file, static_cast<long long>(length)) == 0;
    bool closed = _close(file) == 0;
    return cut && closed ? 0 : -1;
}

int replaceFile(const char* from, const char* to) {
    wchar_t wideFrom[wideSize];
    wchar_t wideTo[wideSize];
    if (!toWide(from, wideFrom, wideSize) || !toWide(to, wideTo, wideSize)) return -1;
    // Windows and Wine refuse to replace a file another process holds open (a shell
    // running the command batch, a search reading the tree file): such a hold lasts
    // moments, so the move is tried again for about a second before it counts as failed.
    const ULONGLONG start = GetTickCount64();
    while (!MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING)) {
        DWORD error = GetLastError();
        bool held =
            error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        // A folder or a read-only file is refused for good.
        DWORD target = GetFileAttributesW(wideTo);
        bool lasting = target != INVALID_FILE_ATTRIBUTES &&
                       (target & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0;
        if (!held || lasting || GetTickCount64() - start > 1000) return -1;
        Sleep(10);
    }
    return 0;
}

int removeFile(const char* path) {
    wchar_t wide[wideSize];
    return toWide(path, wide, wideSize) && DeleteFileW(wide) ? 0 : -1;
}

int replaceWholeFile(const char* path, const char* data, std::size_t size) {
    char temporary[pathBufferSize + 32];
    std::snprintf(temporary, sizeof temporary, "%s.%ld.new", path, processId());
    int file = openFile(temporary, OpenMode::write);
    if (file < 0) return -1;
    bool written = writeFile(file, data, size) == 0;
    bool ok = closeWritten(file, written ? size : 0) == 0 && written && replaceFile(temporary, path) == 0;
    if (!ok) removeFile(temporary);
    return ok ? 0 : -1;
}

// The console's interrupt handler runs on a thread of its own while the file is
// still open, so it can't remove it; an interrupted scan leaves its new file behind
// and the previous tree file whole.
void guardTemporaryFile(const char*) {}

void releaseTemporaryFile() {}

// NTFS last-write times don't say safely what a change time says, so this backend
// keeps no stamps: every rescan lists every folder.
int stampEntry(int, const char*, const char*, Stamp*) { return -1; }
int openRoot(const DriveMounts&, const char*, Stamp*) { return -1; }
int openFolder(int, const char*, const char*, Stamp*) { return -1; }
int openPassage(int, const char*, const char*) { return -1; }
bool lastFindFailed() { return false; }
// Drives don't lie inside one another here, and a listing enters every folder it finds.
struct DriveMounts::Table {};
DriveMounts::DriveMounts(int) : table_(new Table) {}
DriveMounts::~DriveMounts() = default;
bool DriveMounts::listsNothingBelow(const char*) const { return false; }
int listingHandle(int) { return -1; }
int stampAt(const DriveMounts&, int, const char*, const char*, Stamp*) { return -1; }
int openStampedAt(const DriveMounts&, int, const char*, const char*, Stamp*) { return -1; }
void closeHandle(int) {}

long processId() { return static_cast<long>(GetCurrentProcessId()); }

bool standardOutputIsTerminal() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace platform
