// Where a search counts from when the current directory is one that no scan lists:
// the nearest folder above it that a scan does list.
#pragma once

#include "driver/run_state.h"

namespace vux {

// Copies into buffer the nearest folder at or above the full drive path that a scan
// lists, the drive's root when there is none, and says whether that is a folder
// above path. A scan lists no folder with a name that begins with ".", below one
// that skip.vux names, or below a pseudo file system's mount point or another
// drive's root. Ends the run with 109 when skip.vux can't be used.
bool nearestListedFolder(const char* path, char (&buffer)[pathBufferSize]);

}  // namespace vux
