// The walk of a rescan over a faithful file system, which stamps every folder into a
// new companion and reuses what the previous scan saw of each folder that is as it was.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "tree/first_pass.h"
#include "tree/stamp_file.h"
#include "tree/text_file.h"

namespace vux {

class ScanProgress;

// What the walk writes and reads: old and firstPass are nullptr when there is
// nothing to reuse, or no first pass ran.
struct RewalkFiles {
    TextWriter& tree;
    ScanProgress& progress;
    StampWriter& stamps;
    OldStamps* old;
    FirstPass* firstPass;
};

// A change made in the same clock tick as an earlier one can leave a folder's change
// time as it was: a folder changed this close to the start of the scan that stamps it
// is listed by the next one whatever its stamps say.
constexpr std::int64_t sameTick = 2000000000;

// Writes the lines of every folder below the drive's root, open as root (as
// openFolder gave it, on a file system that keeps stamps faithfully) and stamped as
// rootStamp, with its drive path in path. A folder is trusted only when its change
// time is before trustedBefore, the scan's start less sameTick.
void rewalkDrive(const RewalkFiles& files, int root, const platform::Stamp& rootStamp,
                 std::int64_t trustedBefore, char* path);

}  // namespace vux
