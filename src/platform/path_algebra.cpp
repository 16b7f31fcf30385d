// Full-path resolution, splitting and joining of drive paths; no OS calls.
#include "platform/path_algebra.h"

#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Appends text to the result, failing when it would not fit.
bool append(char* out, std::size_t& length, std::size_t size, const char* text, std::size_t n) {
    if (length + n + 1 > size) return false;
    std::memcpy(out + length, text, n);
    length += n;
    out[length] = '\0';
    return true;
}

// The end of a network path's server and share head ("\\server\share"), which
// ".." may not climb above. isSep tells which characters separate names there.
const char* networkHeadEnd(const char* path, bool (*isSep)(char)) {
    const char* p = path + 2;
    for (int parts = 0; *p != '\0' && parts < 2;) {
        while (*p != '\0' && !isSep(*p)) ++p;
        ++parts;
        if (parts < 2 && *p != '\0') ++p;
    }
    return p;
}

bool isBackslash(char c) { return c == '\\'; }

}  // namespace

char* fullPathIn(char* buffer, const char* path, std::size_t size, const DriveContext& drives) {
    if (buffer == nullptr || size == 0 || path == nullptr) return nullptr;
    // Built in a scratch buffer first, so the caller's buffer is untouched on failure.
    char out[1024];
    std::size_t cap = size < sizeof out ? size : sizeof out;
    std::size_t length = 0;
    std::size_t rootLength = 0;  // the part ".." may not remove
    out[0] = '\0';
    const char* rest = path;

    if (*path == '\0') {
        std::size_t n = std::strlen(drives.currentDirectory);
        if (!append(out, length, cap, drives.currentDirectory, n)) return nullptr;
        std::memcpy(buffer, out, length + 1);
        return buffer;
    }

    if (isSeparator(path[0]) && isSeparator(path[1])) {
        // A network path: its server and share head is copied as written.
        const char* p = networkHeadEnd(path, isSeparator);
        if (!append(out, length, cap, path, static_cast<std::size_t>(p - path))) return nullptr;
        rootLength = length;
        rest = p;
    } else {
        int drive = 0;
        char letter = 0;
        if (isDriveLetter(path[0]) && path[1] == ':') {
            drive = driveOfLetter(path[0]);
            letter = path[0];
            rest = path + 2;
        }
        if (isSeparator(*rest)) {
            char root[4] = {0, ':', '\\', 0};
            root[0] = letter != 0 ? letter : upperAscii(drives.currentDirectory[0]);
            if (!append(out, length, cap, root, 3)) return nullptr;
            rootLength = 3;
        } else {
            const char* base = drives.currentDirectory;
            if (drive != 0 && drive != driveOfLetter(drives.currentDirectory[0])) {
                const char* remembered = drives.rememberedDirectory(drive, drives.data);
                if (remembered == nullptr) return nullptr;
                if (*remembered == '\0') {
                    char root[4] = {static_cast<char>('A' + drive - 1), ':', '\\', 0};
                    if (!append(out, length, cap, root, 3)) return nullptr;
                    base = nullptr;
                } else {
                    base = remembered;
                }
            }
            if (base != nullptr && !append(out, length, cap, base, std::strlen(base))) return nullptr;
            rootLength = 3;
            if (out[0] == '\\' && out[1] == '\\') {
                // The current directory is itself a network path: keep server and share.
                rootLength = static_cast<std::size_t>(networkHeadEnd(out, isBackslash) - out);
            }
            // A root keeps its separator; names are appended after one.
            if (length > rootLength && out[length - 1] == '\\') out[--length] = '\0';
        }
    }

    // The rest, name by name; an empty name is allowed only at the very end.
    const char* p = rest;
    while (*p != '\0') {
        if (isSeparator(*p)) ++p;
        const char* start = p;
        while (*p != '\0' && !isSeparator(*p)) ++p;
        std::size_t n = static_cast<std::size_t>(p - start);
        if (n == 0) {
            if (*p == '\0') break;  // a trailing separator, or nothing after the root
            return nullptr;         // two separators in a row
        }
        if (n == 1 && start[0] == '.') continue;
        if (n == 2 && start[0] == '.' && start[1] == '.') {
            if (length <= rootLength) return nullptr;
            while (length > rootLength && out[length - 1] != '\\') --length;
            if (length > rootLength) --length;  // the separator before the name
            out[length] = '\0';
            continue;
        }
        if (length == 0 || out[length - 1] != '\\') {
            if (!append(out, length, cap, "\\", 1)) return nullptr;
        }
        if (!append(out, length, cap, start, n)) return nullptr;
    }
    if (length == 2 && out[1] == ':') {
        // A drive with nothing after it is its root.
        if (!append(out, length, cap, "\\", 1)) return nullptr;
    }
    std::memcpy(buffer, out, length + 1);
    return buffer;
}

char* fullPathInto(char* buffer, const char* path, std::size_t size, const DriveContext& drives) {
    if (buffer != nullptr) return fullPathIn(buffer, path, size, drives);
    constexpr std::size_t ownedSize = 260;
    char* owned = static_cast<char*>(std::malloc(ownedSize));
    if (owned == nullptr) return nullptr;
    if (fullPathIn(owned, path, ownedSize, drives) == nullptr) {
        std::free(owned);
        return nullptr;
    }
    return owned;
}

int splitPath(const char* path, char* drive, char* dir) {
    const char* p = path;
    if (path[0] != '\0' && path[1] == ':') {
        drive[0] = path[0];
        drive[1] = ':';
        drive[2] = '\0';
        p = path + 2;
    } else {
        drive[0] = '\0';
    }
    const char* last = nullptr;
    for (const char* q = p; *q != '\0'; ++q) {
        if (isSeparator(*q)) last = q;
    }
    std::size_t n = last == nullptr ? 0 : static_cast<std::size_t>(last - p) + 1;
    if (n > 255) return -1;
    std::memcpy(dir, p, n);
    dir[n] = '\0';
    return 0;
}

int makePath(char* buffer, std::size_t size, const char* drive, const char* dir, const char* name,
             const char* ext) {
    char out[1024];
    std::size_t cap = size < sizeof out ? size : sizeof out;
    std::size_t length = 0;
    out[0] = '\0';
    if (drive != nullptr && drive[0] != '\0') {
        char head[2] = {drive[0], ':'};
        if (!append(out, length, cap, head, 2)) return -1;
    }
    if (dir != nullptr && dir[0] != '\0') {
        std::size_t n = std::strlen(dir);
        if (!append(out, length, cap, dir, n)) return -1;
        if (!isSeparator(dir[n - 1]) && !append(out, length, cap, "\\", 1)) return -1;
    }
    if (name != nullptr && !append(out, length, cap, name, std::strlen(name))) return -1;
    if (ext != nullptr && ext[0] != '\0') {
        if (ext[0] != '.' && !append(out, length, cap, ".", 1)) return -1;
        if (!append(out, length, cap, ext, std::strlen(ext))) return -1;
    }
    std::memcpy(buffer, out, length + 1);
    return 0;
}

}  // namespace platform
