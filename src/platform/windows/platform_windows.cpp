// The Windows backend: the NT shell's own drive state through the wide (W) Win32
// calls, so that every name the file system holds can be listed, entered and written,
// not only those the ANSI code page can spell. Paths are UTF-8 inside the program and
// in the files it writes; they turn wide at each call and back. The current directory
// and drive are the process's, remembered directories are the "=X:" environment
// entries the shell passes on, listings come from FindFirstFileExW. The shell runs
// the command batch itself, so there are no shell files to write.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// Needs the types of windows.h.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/shell_files.h"

namespace platform {

namespace {

// Wide room for any path that fits a path buffer in UTF-8, and for what the system
// hands back (current directory, module name, environment) before it is measured.
constexpr int wideSize = 1024;

// UTF-8 into UTF-16: false when the text isn't valid UTF-8 or doesn't fit.
bool toWide(const char* text, wchar_t* wide, int size) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, size) > 0;
}

// UTF-16 into UTF-8: false when the text holds an unpaired surrogate (no UTF-8 can
// spell it) or doesn't fit size bytes with the terminator.
bool toUtf8(const wchar_t* wide, char* text, std::size_t size) {
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, text, static_cast<int>(size),
                                nullptr, nullptr);
    return n > 0;
}

// Conversions of counted text, terminators neither read nor written. A character
// that the target can't spell becomes its default ("?", or U+FFFD in UTF-16).
std::string toUtf8String(const wchar_t* wide, std::size_t length) {
    int count = static_cast<int>(length);
    int n = count == 0 ? 0 : WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, count, &text[0], n, nullptr, nullptr);
    return text;
}

std::wstring wideOf(UINT codePage, const char* text, std::size_t length) {
    int count = static_cast<int>(length);
    int n = count == 0 ? 0 : MultiByteToWideChar(codePage, 0, text, count, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text, count, &wide[0], n);
    return wide;
}

std::wstring wideOf(UINT codePage, const std::string& text) {
    return wideOf(codePage, text.data(), text.size());
}

std::string toUtf8String(const std::wstring& wide) { return toUtf8String(wide.data(), wide.size()); }

// No look-alike stands in for a character the code page lacks (where the code page
// allows that choice).
std::string narrowOf(UINT codePage, const std::wstring& wide) {
    int count = static_cast<int>(wide.size());
    if (count == 0) return std::string();
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(codePage, flags, wide.data(), count, nullptr, 0, nullptr, nullptr);
    if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        n = WideCharToMultiByte(codePage, flags, wide.data(), count, nullptr, 0, nullptr, nullptr);
    }
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, flags, wide.data(), count, &text[0], n, nullptr, nullptr);
    return text;
}

bool isAscii(const char* text) {
    for (; *text != '\0'; ++text) {
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    }
    return true;
}

// The code page in which the shell reads a batch file: the console's input code page.
UINT shellCodePage() {
    UINT page = GetConsoleCP();
    return page != 0 ? page : GetOEMCP();
}

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

// Standard output and error take UTF-8 and leave in the console's code page. A write
// that ends inside a character keeps its first bytes for the next one.
struct StreamCarry {
    char bytes[4];
    std::size_t length;
};
StreamCarry carries[3];

void writeRaw(int stream, const char* data, std::size_t size) {
    // The streams are in text mode, as a console program's are: "\n" leaves as CR LF.
    while (size > 0) {
        int n = _write(stream, data, static_cast<unsigned>(size > 0x40000000 ? 0x40000000 : size));
        if (n <= 0) return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// The length of the bytes at the end of data that begin a UTF-8 character and lack
// its last bytes.
std::size_t unfinishedTail(const char* data, std::size_t size) {
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        unsigned char c = static_cast<unsigned char>(data[size - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? back : 0;
    }
    return 0;
}

}  // namespace

StartProblem start() { return StartProblem::none; }

void takeArguments(int& count, char**& vector) {
    // The run time's own words are right whenever the ANSI code page holds the whole
    // command line; then its split is kept, to the byte, and only the characters
    // change. Otherwise the words come from the wide command line.
    const wchar_t* line = GetCommandLineW();
    std::wstring wideLine(line);
    UINT ansi = GetACP();
    bool ansiHoldsAll = ansi == CP_UTF8 || wideOf(ansi, narrowOf(ansi, wideLine)) == wideLine;
    int n = count;
    wchar_t** wideWords = nullptr;
    if (!ansiHoldsAll) {
        wideWords = CommandLineToArgvW(line, &n);
        if (wideWords == nullptr) return;
    }
    char** words = static_cast<char**>(std::calloc(static_cast<std::size_t>(n) + 1, sizeof(char*)));
    if (words == nullptr) return;
    for (int i = 0; i < n; ++i) {
        std::string word;
        if (wideWords != nullptr)
            word = toUtf8String(wideWords[i], std::wcslen(wideWords[i]));
        else if (ansi == CP_UTF8)
            word = vector[i];
        else
            word = toUtf8String(wideOf(ansi, vector[i], std::strlen(vector[i])));
        words[i] = static_cast<char*>(std::malloc(word.size() + 1));
        if (words[i] == nullptr) return;  // the run goes on with the run time's words
        std::memcpy(words[i], word.c_str(), word.size() + 1);
    }
    if (wideWords != nullptr) LocalFree(wideWords);
    count = n;
    vector = words;
}

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

int moduleFileName(const char*, char* buffer, std::size_t size) {
    wchar_t wide[wideSize];
    DWORD n = GetModuleFileNameW(nullptr, wide, wideSize);
    return n == 0 || n >= wideSize || !toUtf8(wide, buffer, size) ? -1 : 0;
}

int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry) {
    (void)name;
    if (levelCount >= maxLevels || (parent != noListing && parent != levelCount - 1)) return -1;
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
    return MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING) ? 0 : -1;
}

int removeFile(const char* path) {
    wchar_t wide[wideSize];
    return toWide(path, wide, wideSize) && DeleteFileW(wide) ? 0 : -1;
}

// The console's interrupt handler runs on a thread of its own while the file is
// still open, so it can't remove it; an interrupted scan leaves its new file behind
// and the previous tree file whole.
void guardTemporaryFile(const char*) {}

void releaseTemporaryFile() {}

long processId() { return static_cast<long>(GetCurrentProcessId()); }

void writeStream(int stream, const char* data, std::size_t size) {
    StreamCarry& carry = carries[stream == 2 ? 2 : 1];
    std::string text(carry.bytes, carry.length);
    text.append(data, size);
    carry.length = unfinishedTail(text.data(), text.size());
    std::memcpy(carry.bytes, text.data() + text.size() - carry.length, carry.length);
    text.resize(text.size() - carry.length);
    if (!isAscii(text.c_str())) {
        // A character the console's code page lacks shows as "?".
        UINT page = GetConsoleOutputCP();
        if (page == 0) page = GetOEMCP();
        if (page != CP_UTF8) {
            text = narrowOf(page, wideOf(CP_UTF8, text));
        }
    }
    writeRaw(stream, text.data(), text.size());
}

void fromStoredText(char* text, std::size_t size) {
    // A home, back or configuration file of an earlier version holds its paths in the
    // ANSI code page. A piece that fills the buffer may end inside a UTF-8 character.
    std::size_t length = std::strlen(text);
    std::size_t checked = length;
    if (length + 1 == size && text[length - 1] != '\n') checked -= unfinishedTail(text, length);
    int checkedLength = static_cast<int>(checked);
    if (checked == 0 ||
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, checkedLength, nullptr, 0) > 0)
        return;
    std::string converted = toUtf8String(wideOf(CP_ACP, text, length));
    if (converted.size() < size) std::memcpy(text, converted.c_str(), converted.size() + 1);
}

unsigned toShellTarget(char* text, std::size_t size) {
    // The shell reads a batch file in the console's code page, and to its cd "?" and
    // "*" are wildcards that may lead into another folder, so neither may reach it.
    auto usable = [](const std::string& candidate) {
        return candidate.find_first_of("?*") == std::string::npos;
    };
    auto take = [&](const std::string& candidate) {
        if (candidate.size() + 1 > size) return false;
        std::memcpy(text, candidate.c_str(), candidate.size() + 1);
        return true;
    };
    std::string target(text);
    if (isAscii(text) && usable(target)) return 0;

    // The console's code page holds the path exactly: the path in that code page.
    UINT page = shellCodePage();
    std::wstring wide = wideOf(CP_UTF8, target);
    if (page == CP_UTF8 && usable(target)) return 0;
    std::string local = narrowOf(page, wide);
    if (wideOf(page, local) == wide && usable(local) && take(local)) return 0;

    // The folder's short path, when it is all ASCII and leads back to the very folder
    // the tool stands in: several folders may share a short name.
    wchar_t current[wideSize];
    wchar_t shortPath[wideSize];
    wchar_t longPath[wideSize];
    DWORD n = GetCurrentDirectoryW(wideSize, current);
    if (n == 0 || n >= wideSize) return page;
    DWORD s = GetShortPathNameW(current, shortPath, wideSize);
    DWORD l = s == 0 || s >= wideSize ? 0 : GetLongPathNameW(shortPath, longPath, wideSize);
    if (l != 0 && l < wideSize && CompareStringOrdinal(longPath, -1, current, -1, TRUE) == CSTR_EQUAL) {
        std::string shortText = toUtf8String(shortPath, s);
        if (isAscii(shortText.c_str()) && usable(shortText) && take(shortText)) return 0;
    }

    // Otherwise the shell reads the cd line in UTF-8 between two code page changes;
    // the folder's own full path where the target would hold a wildcard.
    if (!usable(target)) take(toUtf8String(current, n));
    return page;
}

int emptyShellChange(const char*, char*, std::size_t) { return 0; }

int writeShellChange(const char*, bool, char*, std::size_t) { return 0; }

int shellWrapperCount() { return 0; }

const char* shellWrapperName(int) { return ""; }

int writeShellWrapper(int, const char*, const char*) { return -1; }

}  // namespace platform
