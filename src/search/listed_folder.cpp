// The folders a scan never lists, asked of one path from its root down.
#include "search/listed_folder.h"

#include <cstring>

#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "tree/skip_list.h"

namespace vux {

bool nearestListedFolder(const char* path, char (&buffer)[pathBufferSize]) {
    std::size_t length = std::strlen(path);
    std::memcpy(buffer, path, length + 1);
    if (length <= 3) return false;
    bool skipListRead = false;
    const platform::DriveMounts mounts(platform::driveOfLetter(path[0]));
    // end: where the folder being asked about ends; parent: where its parent ends.
    std::size_t parent = 3;
    for (std::size_t end = 3; end <= length; ++end) {
        if (end < length && path[end] != separator) continue;
        const std::size_t nameStart = parent == 3 ? 3 : parent + 1;
        bool listed = path[nameStart] != '.';
        if (listed && parent > 3) {
            buffer[parent] = '\0';
            if (!skipListRead) {
                loadSkipList();
                skipListRead = true;
            }
            listed = !skipsBelow(buffer, parent) && !mounts.listsNothingBelow(buffer);
            buffer[parent] = path[parent];
        }
        if (!listed) {
            // The root keeps its separator; any other folder has none at its end.
            buffer[parent] = '\0';
            return true;
        }
        parent = end;
    }
    return false;
}

}  // namespace vux
