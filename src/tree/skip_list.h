// The folders the user leaves out of scans: skip.vux in the data folder, one entry
// a line. A named folder keeps its own line in the tree file, but nothing below it
// is listed, so the scan never opens it.
#pragma once

#include <cstddef>

namespace vux {

// Reads skip.vux beside vux.cfg; a missing file leaves nothing out. An entry is a
// folder name, a name* prefix, a full drive path or, where the host has them, a
// host path. Ends the run with 109 when the file can't be read, or holds a line
// longer than 259 characters or one that is no entry.
void loadSkipList();

// Whether the folder at the full drive path (length characters) is named by an
// entry: its name (ASCII letters without case), a name* prefix, or the path itself.
bool skipsBelow(const char* path, std::size_t length);

}  // namespace vux
