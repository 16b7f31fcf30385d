// What the POSIX backend's files share: drive paths resolved to host paths, and
// whole writes to a file descriptor.
#pragma once

#include <cstddef>
#include <string>

namespace platform::posix {

// Resolves any drive path against the current drive state into a host path: false
// when it names no full path on a mapped drive.
bool hostPathOf(const char* path, std::string& host);

// Writes every byte, retrying after a signal: false on any failure.
bool writeAll(int fd, const char* data, std::size_t size);

// Writes a whole file by host path by replacement: the bytes go to a temporary file
// beside it, renamed over it once whole, so a reader sees the old bytes or the new
// ones, never a cut line or bytes that never landed. False, the file as it was and
// no temporary file left, on any failure.
bool replaceHostFile(const std::string& host, const std::string& content);

}  // namespace platform::posix
