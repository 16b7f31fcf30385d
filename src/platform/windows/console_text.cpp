// What crosses between the program and the console or the shell on Windows: the
// command-line words, the two output streams, text stored by earlier versions, and
// the cd line the shell reads. The program works in UTF-8; the console and the shell
// each have a code page of their own. The shell runs the command batch itself, so
// there are no shell files to write.
#include <io.h>
#include <windows.h>
// Needs the types of windows.h.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/platform.h"
#include "platform/shell_files.h"
#include "platform/windows/wide_text.h"

namespace platform {

using namespace windows;

namespace {

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

}  // namespace

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

namespace {

// To the shell's cd, "?" and "*" are wildcards that may lead into another folder.
bool freeOfWildcards(const std::string& text) { return text.find_first_of("?*") == std::string::npos; }

bool copyInto(char* text, std::size_t size, const std::string& candidate) {
    if (candidate.size() + 1 > size) return false;
    std::memcpy(text, candidate.c_str(), candidate.size() + 1);
    return true;
}

// The path as the shell reads it in its code page, when that code page holds it
// exactly (an ASCII path always).
bool inShellCodePage(const std::string& path, UINT page, std::string& out) {
    if (isAscii(path.c_str()) || page == CP_UTF8) {
        out = path;
        return true;
    }
    std::wstring wide = wideOf(CP_UTF8, path);
    out = narrowOf(page, wide);
    return wideOf(page, out) == wide;
}

// Whether two paths open the same file or folder: the same volume and file index.
// The shell's cd finds a folder by its path the way opening it does.
bool openSameFile(const wchar_t* a, const wchar_t* b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const wchar_t* paths[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileW(paths[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        BOOL known = GetFileInformationByHandle(file, &info[i]);
        CloseHandle(file);
        if (!known) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// The short path of an existing file or folder, when it is all ASCII and leads back
// to that very one: several names may share a short name, and the name a short
// name stands for (GetLongPathNameW) need not be the one opening it finds.
bool verifiedShortPath(const wchar_t* full, std::string& out) {
    wchar_t shortPath[wideSize];
    wchar_t longPath[wideSize];
    DWORD s = GetShortPathNameW(full, shortPath, wideSize);
    DWORD l = s == 0 || s >= wideSize ? 0 : GetLongPathNameW(shortPath, longPath, wideSize);
    if (l == 0 || l >= wideSize || CompareStringOrdinal(longPath, -1, full, -1, TRUE) != CSTR_EQUAL ||
        !openSameFile(shortPath, full))
        return false;
    out = toUtf8String(shortPath, s);
    return isAscii(out.c_str());
}

}  // namespace

unsigned toShellTarget(char* text, std::size_t size) {
    const std::string target(text);
    const UINT page = shellCodePage();
    std::string candidate;
    if (inShellCodePage(target, page, candidate) && freeOfWildcards(candidate) &&
        copyInto(text, size, candidate))
        return 0;

    // The short path of the folder the tool stands in, which the target names.
    wchar_t current[wideSize];
    DWORD n = GetCurrentDirectoryW(wideSize, current);
    if (n == 0 || n >= wideSize) return page;
    if (verifiedShortPath(current, candidate) && freeOfWildcards(candidate) &&
        copyInto(text, size, candidate))
        return 0;

    // Otherwise the shell reads the cd line in UTF-8 between two code page changes;
    // the folder's own full path where the target would hold a wildcard.
    if (!freeOfWildcards(target)) copyInto(text, size, toUtf8String(current, n));
    return page;
}

bool toShellPath(char* text, std::size_t size) {
    std::string candidate;
    if (inShellCodePage(text, shellCodePage(), candidate)) return copyInto(text, size, candidate);
    wchar_t wide[wideSize];
    return toWide(text, wide, wideSize) && verifiedShortPath(wide, candidate) &&
           copyInto(text, size, candidate);
}

int emptyShellChange(const char*, char*, std::size_t) { return 0; }

int writeShellChange(const char*, bool, char*, std::size_t) { return 0; }

// Every cmd window runs the same vux.bat: one shared command batch would let a run in
// one window rewrite the change another is about to run.
bool sessionCommandBatch(const char* commandBatch, char* buffer, std::size_t size) {
    const char* id = getEnv("VUXSESSION");
    std::size_t n = id == nullptr ? 0 : std::strlen(id);
    bool session = n >= 1 && n <= 10 && std::strspn(id, "0123456789") == n;
    std::string path = commandBatch;
    std::size_t dot = path.rfind('.');
    if (session && dot != std::string::npos) path.insert(dot, "." + std::string(id));
    if (path.size() + 1 > size) {
        path = commandBatch;
        session = false;
    }
    if (size > 0) std::snprintf(buffer, size, "%s", path.c_str());
    return session;
}

bool shellPrefersProgramInItsFolder() { return true; }

int shellWrapperCount() { return 0; }

const char* shellWrapperName(int) { return ""; }

int writeShellWrapper(int, const char*, const char*) { return -1; }

}  // namespace platform
