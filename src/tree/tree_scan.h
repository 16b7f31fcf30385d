// The tree scan: walks a whole drive and writes its tree file, one directory per
// line, depth first, each directory before its subtree, in listing order.
#pragma once

#include <cstddef>

#include "platform/platform.h"
#include "tree/text_file.h"

namespace vux {

// Rewrites the tree file of the drive in driveString and sets rescanned. The new
// file replaces the old one only once it is whole. Ends the run with 21 when the
// file can't be created.
void rescan();

// The running count of a scan's folders, shown on a terminal while the scan runs.
class ScanProgress;

// Writes the lines of every directory below the open listing's directory, whose
// full path is in path (length characters) and whose first entry is entry; path
// holds the same text on return. Memory: the path and one listing per level.
void walkDirectory(TextWriter& tree, ScanProgress& progress, char* path, std::size_t length, int listing,
                   platform::FoundEntry entry);

}  // namespace vux
