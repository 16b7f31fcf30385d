// The drive walk and the replacement of the tree file.
#include "tree/tree_scan.h"

#include <cstdio>
#include <cstring>

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "platform/platform.h"
#include "tree/data_files.h"

namespace vux {

void walkDirectory(TextWriter& tree, char* path, std::size_t length, int listing,
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
        platform::FoundEntry first;
        int child = platform::findFirst(listing, entry.name, path, &first);
        if (child >= 0) {
            // A directory that can't be entered keeps its line and gets nothing below it.
            walkDirectory(tree, path, childLength, child, first);
            platform::findClose(child);
        }
        path[length] = '\0';
    } while (platform::findNext(listing, &entry) == 0);
}

void rescan() {
    if (verbosityLevel == verbosityNormal)
        writeText(standardOutput, "vux: Rescanning directory structure.\n");

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
        fatalError("Can't create \"%s\".", treeFile, ExitCode::treeNotCreated);
    }

    char path[pathBufferSize];
    std::memcpy(path, driveString, 3);
    platform::FoundEntry first;
    int root = platform::findFirst(platform::noListing, nullptr, path, &first);
    if (root >= 0) {
        walkDirectory(tree, path, 2, root, first);
        platform::findClose(root);
    }
    rescanned = 1;
    bool written = tree.close();
    bool replaced = written && platform::replaceFile(temporary, treeFile) == 0;
    if (!replaced) platform::removeFile(temporary);  // the previous tree file stays whole
    platform::releaseTemporaryFile();
    if (!replaced) fatalError("Can't create \"%s\".", treeFile, ExitCode::treeNotCreated);
}

}  // namespace vux
