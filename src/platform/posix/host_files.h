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

}  // namespace platform::posix
