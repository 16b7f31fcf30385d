// The path algebra (fullPathIn, splitPath, makePath) over any paths and drive
// states, and the POSIX drive map (VUXDRIVES and the host/drive path mapping).
//
// Input: the current drive (byte 0), the drives that exist (bytes 1-4, a bit per
// drive), the drives that remember a directory (bytes 5-8), the result buffer's
// size (byte 9); then pieces separated by 0x01: the current directory below its
// root, the remembered directory below its root, a VUXDRIVES value, and the paths.
// Nothing here touches the file system.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "fuzz_support.h"
#include "platform/path_algebra.h"
#include "platform/posix/drives.h"

namespace {

struct DriveState {
    std::uint32_t existing;
    std::uint32_t remembering;
    std::string rememberedBelowRoot;
    std::string rememberedPaths[27];
};

const char* remembered(int drive, void* data) {
    auto* state = static_cast<DriveState*>(data);
    if (drive < 1 || drive > 26 || ((state->existing >> (drive - 1)) & 1) == 0) return nullptr;
    if (((state->remembering >> (drive - 1)) & 1) == 0) return "";
    return state->rememberedPaths[drive].c_str();
}

bool isDrivePathHead(const char* path) {
    return platform::isDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\';
}

// A full drive path as fullPathIn promises it: a root keeps its separator, no other
// path ends in one, no empty, "." or ".." name, no "/".
void checkFullDrivePath(const char* path) {
    if (!isDrivePathHead(path)) __builtin_trap();
    std::size_t n = std::strlen(path);
    if (n > 3 && path[n - 1] == '\\') __builtin_trap();
    if (std::strchr(path, '/') != nullptr) __builtin_trap();
    const char* p = path + 3;
    while (*p != '\0') {
        const char* end = std::strchr(p, '\\');
        std::size_t length = end == nullptr ? std::strlen(p) : static_cast<std::size_t>(end - p);
        if (length == 0) __builtin_trap();
        if ((length == 1 && p[0] == '.') || (length == 2 && p[0] == '.' && p[1] == '.')) __builtin_trap();
        p += length;
        if (*p == '\\') ++p;
    }
}

// A canonical full path on the drive, built from text below its root; the root
// alone when the text doesn't make one.
std::string fullPathOnDrive(int drive, const std::string& belowRoot) {
    std::string root = {static_cast<char>('A' + drive - 1), ':', '\\'};
    DriveState none{0, 0, "", {}};
    platform::DriveContext context{root.c_str(), remembered, &none};
    char out[vux::pathBufferSize];
    std::string text = root + belowRoot.substr(0, belowRoot.find('\0'));
    if (platform::fullPathIn(out, text.c_str(), sizeof out, context) == nullptr || !isDrivePathHead(out) ||
        platform::driveOfLetter(out[0]) != drive) {
        return root;
    }
    out[0] = root[0];
    return out;
}

void checkFullPath(const std::string& path, std::size_t size, const platform::DriveContext& context) {
    std::vector<char> buffer(size + 1, '\x7f');
    char* result = platform::fullPathIn(buffer.data(), path.c_str(), size, context);
    if (result == nullptr) {
        for (char c : buffer) {
            if (c != '\x7f') __builtin_trap();  // untouched on failure
        }
        return;
    }
    if (result != buffer.data() || std::strlen(result) + 1 > size || buffer[size] != '\x7f') __builtin_trap();
    bool network = platform::isSeparator(path[0]) && platform::isSeparator(path[1]);
    if (!network && !(context.currentDirectory[0] == '\\')) checkFullDrivePath(result);
    // A full path is its own full path.
    std::vector<char> again(size + 1, '\x7f');
    if (platform::fullPathIn(again.data(), result, size, context) == nullptr ||
        std::strcmp(again.data(), result) != 0) {
        __builtin_trap();
    }
}

void checkSplit(const std::string& path) {
    char drive[3];
    char dir[256];
    if (platform::splitPath(path.c_str(), drive, dir) != 0) return;
    std::string joined = std::string(drive) + dir;
    if (path.compare(0, joined.size(), joined) != 0) __builtin_trap();
    std::string rest = path.substr(joined.size());
    rest = rest.substr(0, rest.find('\0'));
    if (rest.find_first_of("\\/") != std::string::npos) __builtin_trap();
    if (dir[0] != '\0' && !platform::isSeparator(dir[std::strlen(dir) - 1])) __builtin_trap();
}

void checkMake(const std::vector<std::string>& parts, std::size_t size) {
    const char* drive = parts[0].c_str();
    const char* dir = parts[1].c_str();
    const char* name = parts[2].c_str();
    const char* ext = parts[3].c_str();
    std::string expected;
    if (*drive != '\0') expected += std::string{drive[0], ':'};
    if (*dir != '\0') {
        expected += dir;
        if (!platform::isSeparator(expected.back())) expected += '\\';
    }
    expected += name;
    if (*ext != '\0') {
        if (*ext != '.') expected += '.';
        expected += ext;
    }
    std::vector<char> buffer(size + 1, '\x7f');
    int result = platform::makePath(buffer.data(), size, drive, dir, name, ext);
    bool fits = expected.size() + 1 <= size && expected.size() + 1 <= 1024;
    if ((result == 0) != fits) __builtin_trap();
    if (result == 0 ? expected != buffer.data() : buffer[0] != '\x7f') __builtin_trap();
    if (buffer[size] != '\x7f') __builtin_trap();
}

// Host path to drive path and back names the same drive path again.
void checkHostMapping(const std::string& host) {
    char drivePath[vux::pathBufferSize];
    if (platform::posix::hostToDrive(host.c_str(), drivePath, sizeof drivePath) != 0) return;
    checkFullDrivePath(drivePath);
    std::string back;
    if (!platform::posix::driveToHost(drivePath, back)) __builtin_trap();
    char again[vux::pathBufferSize];
    if (platform::posix::hostToDrive(back.c_str(), again, sizeof again) != 0 ||
        std::strcmp(again, drivePath) != 0) {
        __builtin_trap();
    }
}

std::uint32_t word(const std::uint8_t* data) {
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 10) return 0;
    int currentDrive = data[0] % 26 + 1;
    DriveState state{word(data + 1) | 1u << (currentDrive - 1), word(data + 5), "", {}};
    std::size_t bufferSize = data[9] < 16 ? 1 + data[9] : vux::pathBufferSize;
    std::vector<std::string> pieces = fuzz::split(data + 10, size - 10, '\x01');
    while (pieces.size() < 3) pieces.emplace_back();

    std::string current = fullPathOnDrive(currentDrive, pieces[0]);
    for (int drive = 1; drive <= 26; ++drive)
        state.rememberedPaths[drive] = fullPathOnDrive(drive, pieces[1]);
    state.rememberedPaths[currentDrive] = current;
    platform::DriveContext context{current.c_str(), remembered, &state};

    bool drivesRead = platform::posix::parseDrives(pieces[2].substr(0, pieces[2].find('\0')).c_str());
    for (std::size_t i = 3; i < pieces.size(); ++i) {
        std::string path = pieces[i].substr(0, pieces[i].find('\0'));
        checkFullPath(path, bufferSize, context);
        checkFullPath(path, vux::pathBufferSize, context);
        checkSplit(path);
        if (drivesRead && !path.empty() && path[0] == '/') checkHostMapping(path);
    }
    if (pieces.size() >= 7) {
        checkMake({pieces[3], pieces[4], pieces[5], pieces[6]}, bufferSize);
        checkMake({pieces[3], pieces[4], pieces[5], pieces[6]}, vux::pathBufferSize);
    }
    return 0;
}
