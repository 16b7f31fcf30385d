// The drive-path algebra of the NT shell, portable and free of OS calls: full-path
// resolution, splitting a path into drive and directory, and joining the parts.
// What it needs to know about the drives comes in as arguments, so it behaves the
// same on every host and tables can test it anywhere.
#pragma once

#include <cstddef>

namespace platform {

// What fullPathIn needs from the drive state.
struct DriveContext {
    // The current directory, a full path whose drive is the current drive.
    const char* currentDirectory;
    // The remembered directory of a drive (1 = A): a full path, the empty text for
    // a drive that remembers none (it stands at its root), nullptr for a drive that
    // doesn't exist.
    const char* (*rememberedDirectory)(int drive, void* data);
    void* data;
};

// Absolute full path of path, built without touching the file system: "." dropped,
// ".." climbing, "/" counting as "\", no separator at the end but for a root.
// Returns buffer, or nullptr when the path climbs above its root, holds an empty
// name, names a missing drive relatively, or the result doesn't fit size bytes.
char* fullPathIn(char* buffer, const char* path, std::size_t size, const DriveContext& drives);

// fullPathIn into buffer, or, with no buffer, into a new 260-byte one the caller
// frees; nullptr (nothing allocated) on failure.
char* fullPathInto(char* buffer, const char* path, std::size_t size, const DriveContext& drives);

// drive: the first two characters when the second is ":", else empty (3 bytes).
// dir: what follows up to and including the last "\" or "/", else empty (256
// bytes). Returns 0, or -1 when dir would not fit 255 characters.
int splitPath(const char* path, char* drive, char* dir);

// Joins drive letter and ":", dir and a "\" unless dir ends in one, name, and "."
// ext. Returns 0, or -1 when the result doesn't fit size bytes (buffer unchanged).
int makePath(char* buffer, std::size_t size, const char* drive, const char* dir, const char* name,
             const char* ext);

// 1 for "\" and "/".
inline bool isSeparator(char c) { return c == '\\' || c == '/'; }
// 1 for an ASCII letter.
inline bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// The upper-case form of an ASCII letter; any other byte unchanged.
inline char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
// The lower-case form of an ASCII letter; any other byte unchanged.
inline char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// Drive number of a letter, 1 = A; 0 for none.
inline int driveOfLetter(char c) {
    if (c >= 'a' && c <= 'z') return c - 'a' + 1;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 1;
    return 0;
}

}  // namespace platform
