// The drive walk and the replacement of the tree file.
#include "tree/tree_scan.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "platform/platform.h"
#include "tree/data_files.h"
#include "tree/skip_list.h"

namespace vux {

namespace {

const char rescanning[] = "vux: Rescanning directory structure.";

}  // namespace

// On a terminal, a scan that runs for more than half a second shows the count of
// folders found so far after the text of its line, rewritten in place at most ten
// times a second; at the end the line is left as the text alone. Anywhere else the
// line is written whole, once.
class ScanProgress {
public:
    void begin() {
        if (verbosityLevel != verbosityNormal) return;
        onTerminal_ = platform::standardOutputIsTerminal();
        char line[sizeof rescanning + 1];
        std::snprintf(line, sizeof line, onTerminal_ ? "%s" : "%s\n", rescanning);
        writeText(standardOutput, line);
        if (!onTerminal_) return;
        nextShow_ = Clock::now() + std::chrono::milliseconds(500);
    }

    void folderFound() {
        // The clock is read every 8 folders: often enough, and cheap.
        if (++folders_ % 8 == 0 && onTerminal_ && Clock::now() >= nextShow_) show();
    }

    // Ends the line; the count, if shown, is blanked out.
    void end() {
        if (!onTerminal_) return;
        onTerminal_ = false;
        char line[sizeof rescanning + 2 * countWidth + 8];
        int n = 0;
        if (shownWidth_ > 0) {
            n = std::snprintf(line, sizeof line, "\r%s%*s\r%s", rescanning, shownWidth_ + 1, "", rescanning);
        }
        std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\n");
        writeText(standardOutput, line);
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int countWidth = 20;

    void show() {
        char line[sizeof rescanning + countWidth + 4];
        int n = std::snprintf(line, sizeof line, "\r%s %lu", rescanning, folders_);
        shownWidth_ = n - static_cast<int>(sizeof rescanning);  // the count's digits
        writeText(standardOutput, line);
        nextShow_ = Clock::now() + std::chrono::milliseconds(100);
    }

    bool onTerminal_ = false;
    unsigned long folders_ = 0;
    int shownWidth_ = 0;
    Clock::time_point nextShow_;
};

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
    platform::FoundEntry first;
    int root = platform::findFirst(platform::noListing, nullptr, path, &first);
    if (root >= 0) {
        walkDirectory(tree, progress, path, 2, root, first);
        platform::findClose(root);
    }
    progress.end();
    rescanned = 1;
    bool written = tree.close();
    bool replaced = written && platform::replaceFile(temporary, treeFile) == 0;
    if (!replaced) platform::removeFile(temporary);  // the previous tree file stays whole
    platform::releaseTemporaryFile();
    if (!replaced) fatalError("Can't create \"%s\".", treeFile, ExitCode::treeNotCreated);
}

}  // namespace vux
