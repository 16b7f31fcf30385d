// The drive walk, and the story of a scan's files: the new tree file and its
// companion written beside the old ones and moved over them when whole.
#include "tree/tree_scan.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "platform/platform.h"
#include "tree/data_files.h"
#include "tree/first_pass.h"
#include "tree/rescan_reuse.h"
#include "tree/scan_progress.h"
#include "tree/skip_list.h"
#include "tree/stamp_file.h"

namespace vux {

namespace {

// Writes the lines of every directory below the open listing's directory, whose
// full path is in path (length characters) and whose first entry is entry; path
// holds the same text on return. Memory: the path and one listing per level.
void walkDirectory(TextWriter& tree, ScanProgress& progress, char* path, std::size_t length, int listing,
                   platform::FoundEntry entry) {
    do {
        // Dot-names and everything below them are left out; files never appear.
        if (entry.name[0] == '.' || (entry.attributes & platform::directoryAttribute) == 0) continue;
        std::size_t nameLength = std::strlen(entry.name);
        // A directory whose full path would not fit 259 characters is left out.
        if (length + 1 + nameLength > pathBufferSize - 1) continue;
        path[length] = separator;
        std::memcpy(path + length + 1, entry.name, nameLength + 1);
        std::size_t childLength = length + 1 + nameLength;
        tree.put(path, childLength);
        tree.endLine();
        progress.folderFound();
        // A folder skip.vux names keeps its line; nothing below it is listed.
        if (skipsBelow(path, childLength)) {
            path[length] = '\0';
            continue;
        }
        platform::FoundEntry first;
        int child = platform::findFirst(listing, entry.name, path, &first);
        if (child >= 0) {
            // A directory that can't be entered keeps its line and gets nothing below it.
            walkDirectory(tree, progress, path, childLength, child, first);
            platform::findClose(child);
        }
        path[length] = '\0';
    } while (platform::findNext(listing, &entry) == 0);
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
    char stampsFile[pathBufferSize + 32];
    std::snprintf(stampsFile, sizeof stampsFile, "%s.stamps", treeFile);
    char stampsTemporary[pathBufferSize + 64];
    std::snprintf(stampsTemporary, sizeof stampsTemporary, "%s.%ld.new", stampsFile, platform::processId());
    const std::int64_t scanStart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
    const std::uint64_t skipDigest = skipListDigest();
    Digest treeDigest;
    // The old pair, the new companion and the first pass: large, and used only here.
    struct Companions {
        StampWriter stamps;
        OldStamps old;
        FirstPass firstPass;
    };
    std::unique_ptr<Companions> pair;
    platform::Stamp rootStamp{};
    int root = platform::openFolder(platform::noListing, nullptr, path, &rootStamp);
    if (root >= 0 && rootStamp.faithful) {
        // Default-initialized, not zeroed: the buffers' pages are touched only as used.
        pair.reset(new Companions);
        platform::guardTemporaryFile(stampsTemporary);
        if (!pair->stamps.open(stampsTemporary)) pair.reset();
    }
    if (pair != nullptr) {
        tree.keepDigest(&treeDigest);
        // A disk too full for both files keeps the tree file, without a companion.
        tree.onFull([](void* writer) { static_cast<StampWriter*>(writer)->abandon(); }, &pair->stamps);
        OldStamps* old = pair->old.open(treeFile, stampsFile, skipDigest) ? &pair->old : nullptr;
        if (old != nullptr) pair->firstPass.start(*old, platform::listingHandle(root), rootStamp.device);
        rewalkDrive({tree, progress, pair->stamps, old, &pair->firstPass}, root, rootStamp,
                    scanStart - sameTick, path);
        pair->firstPass.join();  // a share may lie below folders that are gone
        pair->old.close();
    } else {
        platform::FoundEntry first;
        if (root < 0)
            root = platform::findFirst(platform::noListing, nullptr, path, &first);
        else if (platform::findNext(root, &first) != 0) {
            platform::findClose(root);
            root = -1;
        }
        if (root >= 0) walkDirectory(tree, progress, path, 2, root, first);
    }
    if (root >= 0) platform::findClose(root);
    progress.end();
    rescanned = 1;
    const std::uint64_t treeSize = tree.size();
    bool written = tree.close();
    bool replaced = written && platform::replaceFile(temporary, treeFile) == 0;
    if (!replaced) platform::removeFile(temporary);  // the previous tree file stays whole
    if (pair != nullptr) {
        // The companion follows its tree file; one that doesn't match the tree file
        // beside it (a scan ended between the two) is never read.
        StampHeader header{};
        header.treeSize = treeSize;
        header.treeDigest = treeDigest.value();
        header.scanStart = scanStart;
        header.skipDigest = skipDigest;
        bool kept =
            pair->stamps.close(header) && replaced && platform::replaceFile(stampsTemporary, stampsFile) == 0;
        if (!kept) platform::removeFile(stampsTemporary);
        if (!kept && replaced) platform::removeFile(stampsFile);
    } else if (replaced) {
        platform::removeFile(stampsFile);
    }
    platform::releaseTemporaryFile();
    if (!replaced) fatalError("Can't create \"%s\".", treeFile, ExitCode::treeNotCreated);
}

}  // namespace vux
