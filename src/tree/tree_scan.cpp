// The drive walk, and the story of a scan's files: the new tree file and its
// companion written beside the old ones and moved over them when whole.
#include "tree/tree_scan.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "tree/data_files.h"
#include "tree/rescan_reuse.h"
#include "tree/scan_progress.h"
#include "tree/skip_list.h"

namespace vux {

namespace {

// What the walk writes, and the object it asks where each folder's subfolders come
// from; path holds the full path of the folder being walked.
struct Walk {
    TextWriter& tree;
    ScanProgress& progress;
    RescanReuse& reuse;
    char* path;
};

void walkDirectory(Walk& w, Folder& self);

// Writes the line of self's subfolder name (nameLength characters, not necessarily
// ended), whose record in the previous scan is record, and every line below it.
void walkChild(Walk& w, Folder& self, const char* name, std::size_t nameLength, std::uint32_t record) {
    const std::size_t length = self.length;
    // A directory whose full path would not fit 259 characters is left out.
    if (length + 1 + nameLength > pathBufferSize - 1) return;
    const std::uint64_t line = w.tree.size();
    w.path[length] = separator;
    std::memcpy(w.path + length + 1, name, nameLength);
    const std::size_t childLength = length + 1 + nameLength;
    w.path[childLength] = '\0';
    w.tree.put(w.path, childLength);
    w.tree.endLine();
    w.progress.folderFound();
    Folder child{&self, childLength};
    child.record = record;
    // A folder skip.vux names keeps its line; nothing below it is listed. A directory
    // that can't be entered keeps its line and gets nothing below it.
    w.reuse.enter(self, child, w.path + length + 1, w.path, line, skipsBelow(w.path, childLength));
    walkDirectory(w, child);
    w.reuse.leave(child);
    w.path[length] = '\0';
}

// Writes the lines of every directory below self, whose full path is in w.path, as
// its listing gives them or as the previous scan saw them; w.path holds the same text
// on return. Memory: the path and one listing per level.
void walkDirectory(Walk& w, Folder& self) {
    if (self.below == Folder::Below::listed) {
        platform::FoundEntry entry = self.first;
        do {
            // Dot-names and everything below them are left out; files never appear.
            if (entry.name[0] == '.' || (entry.attributes & platform::directoryAttribute) == 0) continue;
            const std::size_t nameLength = std::strlen(entry.name);
            walkChild(w, self, entry.name, nameLength, w.reuse.oldChild(self, entry.name, nameLength));
        } while (platform::findNext(self.listing, &entry) == 0);
    } else if (self.below == Folder::Below::reused) {
        const char* name;
        std::size_t nameLength;
        for (std::uint32_t child; (child = w.reuse.nextOld(self, &name, &nameLength)) != noRecord;)
            walkChild(w, self, name, nameLength, child);
    }
}

}  // namespace

void rescan() {
    loadSkipList();
    ScanProgress progress;
    progress.begin();

    // Written beside the tree file and moved over it when whole, so a search never
    // reads a half-written file and an interrupted scan leaves the old one as it was.
    char treeFile[pathBufferSize];
    treeFilePath(treeFile);
    char temporary[pathBufferSize + 32];
    std::snprintf(temporary, sizeof temporary, "%s.%ld.new", treeFile, platform::processId());
    TextWriter tree;
    platform::guardTemporaryFile(temporary);
    if (!tree.open(temporary)) {
        platform::releaseTemporaryFile();
        progress.end();
        fatalError("Can't create \"%s\".", treeFile, ExitCode::treeNotCreated);
    }

    char path[pathBufferSize];
    std::memcpy(path, driveString, 3);
    path[3] = '\0';  // the root's own drive path
    const std::int64_t scanStart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
    // Read once: the walk and the first pass's threads heed the same mounts.
    const platform::DriveMounts mounts(platform::driveOfLetter(driveString[0]));
    RescanReuse reuse(mounts);
    platform::Stamp rootStamp{};
    Folder root{nullptr, 2};
    root.listing = platform::openRoot(mounts, path, &rootStamp);
    reuse.begin(treeFile, tree, root.listing, rootStamp, scanStart);
    reuse.enterRoot(root, path);
    Walk walk{tree, progress, reuse, path};
    walkDirectory(walk, root);
    reuse.leave(root);
    reuse.endWalk();
    progress.end();
    rescanned = 1;
    const std::uint64_t treeSize = tree.size();
    bool written = tree.close();
    bool replaced = written && platform::replaceFile(temporary, treeFile) == 0;
    if (!replaced) platform::removeFile(temporary);  // the previous tree file stays whole
    reuse.finish(replaced, treeSize);
    platform::releaseTemporaryFile();
    if (!replaced) fatalError("Can't create \"%s\".", treeFile, ExitCode::treeNotCreated);
}

}  // namespace vux
