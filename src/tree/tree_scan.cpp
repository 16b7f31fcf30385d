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
#include "tree/stamp_file.h"

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

namespace {

constexpr std::uint32_t noRecord = 0xffffffffU;
// A change made in the same clock tick as an earlier one can leave a folder's
// change time as it was: a folder changed this close to the start of the scan that
// stamps it is listed by the next one whatever its stamps say.
constexpr std::int64_t sameTick = 2000000000;

// A walk that stamps every folder and reuses what the previous scan saw of each one
// whose stamps are as they were then.
struct Rewalk {
    TextWriter& tree;
    ScanProgress& progress;
    StampWriter& stamps;
    OldStamps* old;  // nullptr: nothing to reuse
    bool faithful;   // the root's file system keeps stamps faithfully
    std::uint64_t device;
    std::int64_t trustedBefore;
    char* path;
};

void visitFolder(Rewalk& w, int parent, const char* name, std::size_t length, std::uint32_t index,
                 std::uint64_t line);

// Whether a folder's stamps may stand for its entries in the next scan.
bool trustworthy(const Rewalk& w, const platform::Stamp& stamp) {
    return w.faithful && stamp.device == w.device && !stamp.boundary && stamp.changed < w.trustedBefore;
}

// Whether the folder is as the previous scan saw it, so that its subfolders are those
// of its old record.
bool unchanged(Rewalk& w, const platform::Stamp& stamp, std::uint32_t index) {
    // The change time rule was applied when the record was made: a record is trusted
    // only when its folder had not changed for a while before that scan began.
    if (w.old == nullptr || index == noRecord || !w.faithful || stamp.device != w.device || stamp.boundary) {
        return false;
    }
    const StampRecord& old = w.old->record(index);
    StampRecord now = recordOf(stamp, 0);
    return (old.links & StampRecord::trustedBit) != 0 && old.device == now.device && old.inode == now.inode &&
           old.changed == now.changed && old.modified == now.modified &&
           (old.links & ~StampRecord::trustedBit) == now.links;
}

std::size_t putLine(Rewalk& w, std::size_t length, const char* name, std::size_t nameLength) {
    w.path[length] = separator;
    std::memcpy(w.path + length + 1, name, nameLength);
    std::size_t childLength = length + 1 + nameLength;
    w.path[childLength] = '\0';
    w.tree.put(w.path, childLength);
    w.tree.endLine();
    w.progress.folderFound();
    return childLength;
}

// Writes the old subfolders of record index, below the open listing's folder, each
// checked in turn.
void reuseChildren(Rewalk& w, int listing, std::size_t length, std::uint32_t index) {
    const std::uint32_t end = w.old->record(index).end;
    for (std::uint32_t child = index + 1; child < end;) {
        const StampRecord record = w.old->record(child);
        const char* name;
        std::size_t nameLength = w.old->name(record, length, &name);
        if (nameLength > 0 && length + 1 + nameLength <= pathBufferSize - 1) {
            std::uint64_t line = w.tree.size();
            std::size_t childLength = putLine(w, length, name, nameLength);
            visitFolder(w, listing, w.path + length + 1, childLength, child, line);
            w.path[length] = '\0';
        }
        child = record.end > child ? record.end : child + 1;
    }
}

// The old record among the subfolders of record index whose name is name: looked for
// from where the last one was found, since a folder lists its entries in the same
// order while they stay, and only so far, so that a wide folder costs no more than
// its listing. noRecord when not found.
std::uint32_t oldChild(Rewalk& w, std::uint32_t index, std::uint32_t& cursor, std::size_t length,
                       const char* name, std::size_t nameLength) {
    if (w.old == nullptr || index == noRecord) return noRecord;
    const std::uint32_t end = w.old->record(index).end;
    constexpr int tries = 32;
    std::uint32_t child = cursor < end ? cursor : index + 1;
    for (int tried = 0; tried < tries && end > index + 1; ++tried) {
        if (child >= end) child = index + 1;
        const StampRecord& record = w.old->record(child);
        std::uint32_t next = record.end > child ? record.end : child + 1;
        const char* oldName;
        if (w.old->name(record, length, &oldName) == nameLength &&
            std::memcmp(oldName, name, nameLength) == 0) {
            cursor = next;
            return child;
        }
        child = next;
    }
    return noRecord;
}

// Lists the open listing's folder, whose first entry is entry, as walkDirectory
// does; each subfolder that the previous scan saw there is checked against its old
// record.
void listChildren(Rewalk& w, int listing, platform::FoundEntry entry, std::size_t length,
                  std::uint32_t index) {
    std::uint32_t cursor = index + 1;
    do {
        if (entry.name[0] == '.' || (entry.attributes & platform::directoryAttribute) == 0) continue;
        std::size_t nameLength = std::strlen(entry.name);
        if (length + 1 + nameLength > pathBufferSize - 1) continue;
        std::uint64_t line = w.tree.size();
        std::size_t childLength = putLine(w, length, entry.name, nameLength);
        std::uint32_t old = oldChild(w, index, cursor, length, entry.name, nameLength);
        visitFolder(w, listing, entry.name, childLength, old, line);
        w.path[length] = '\0';
    } while (platform::findNext(listing, &entry) == 0);
}

// Lists the folder name of the open listing parent; its subfolders are checked
// against the old record index. False when it couldn't be opened, which says nothing
// of what it holds.
bool listFolder(Rewalk& w, int parent, const char* name, std::size_t length, std::uint32_t index) {
    platform::FoundEntry first;
    int listing = platform::findFirst(parent, name, w.path, &first);
    if (listing < 0) return !platform::lastFindFailed();
    listChildren(w, listing, first, length, index);
    platform::findClose(listing);
    return true;
}

// Writes the lines below the folder name of the open listing parent, whose own line
// (at byte line of the tree file) is written and whose full path is in w.path; index
// is its record in the previous scan, or noRecord. Its own record comes first.
void visitFolder(Rewalk& w, int parent, const char* name, std::size_t length, std::uint32_t index,
                 std::uint64_t line) {
    platform::Stamp stamp{};
    bool trusted = false;
    if (skipsBelow(w.path, length)) {
        // Nothing below it; the companion is dropped when the skip list changes.
        w.stamps.start(recordOf(stamp, line));
    } else if (w.old != nullptr && index != noRecord && w.old->record(index).end > index + 1) {
        // It had subfolders: opened once, and stamped from the handle, to stamp them.
        int listing = platform::openFolder(parent, name, w.path, &stamp);
        w.stamps.start(recordOf(stamp, line));
        trusted = listing >= 0 && trustworthy(w, stamp);
        if (listing >= 0 && unchanged(w, stamp, index)) {
            reuseChildren(w, listing, length, index);
            platform::findClose(listing);
        } else {
            if (listing >= 0) platform::findClose(listing);
            trusted = listFolder(w, parent, name, length, index) && trusted;
        }
    } else {
        const bool stamped = platform::stampEntry(parent, name, w.path, &stamp) == 0;
        w.stamps.start(recordOf(stamp, line));
        trusted = stamped && trustworthy(w, stamp);
        // An unchanged folder that had no subfolders has none now.
        if (!stamped || !unchanged(w, stamp, index)) {
            trusted = listFolder(w, parent, name, length, index) && trusted;
        }
    }
    w.stamps.finish(trusted);
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
    char stampsFile[pathBufferSize + 32];
    std::snprintf(stampsFile, sizeof stampsFile, "%s.stamps", treeFile);
    char stampsTemporary[pathBufferSize + 64];
    std::snprintf(stampsTemporary, sizeof stampsTemporary, "%s.%ld.new", stampsFile, platform::processId());
    const std::int64_t scanStart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
    const std::uint64_t skipDigest = skipListDigest();
    Digest treeDigest;
    static StampWriter stamps;
    static OldStamps old;
    bool stamping = false;  // a companion is being written
    platform::Stamp rootStamp{};
    int root = platform::openFolder(platform::noListing, nullptr, path, &rootStamp);
    if (root >= 0 && rootStamp.faithful) {
        platform::guardTemporaryFile(stampsTemporary);
        stamping = stamps.open(stampsTemporary);
        tree.keepDigest(&treeDigest);
    }
    if (stamping) {
        Rewalk w{tree, progress, stamps, nullptr, rootStamp.faithful, rootStamp.device, scanStart - sameTick,
                 path};
        if (old.open(treeFile, stampsFile, skipDigest)) w.old = &old;
        w.stamps.start(recordOf(rootStamp, 0));
        if (unchanged(w, rootStamp, 0)) {
            reuseChildren(w, root, 2, 0);
        } else {
            platform::FoundEntry first;
            if (platform::findNext(root, &first) == 0)
                listChildren(w, root, first, 2, w.old != nullptr ? 0 : noRecord);
        }
        w.stamps.finish(trustworthy(w, rootStamp));
        old.close();
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
    if (stamping) {
        // The companion follows its tree file; one that doesn't match the tree file
        // beside it (a scan ended between the two) is never read.
        StampHeader header{};
        header.treeSize = treeSize;
        header.treeDigest = treeDigest.value();
        header.scanStart = scanStart;
        header.skipDigest = skipDigest;
        bool kept =
            stamps.close(header) && replaced && platform::replaceFile(stampsTemporary, stampsFile) == 0;
        if (!kept) platform::removeFile(stampsTemporary);
        if (!kept && replaced) platform::removeFile(stampsFile);
    } else if (replaced) {
        platform::removeFile(stampsFile);
    }
    platform::releaseTemporaryFile();
    if (!replaced) fatalError("Can't create \"%s\".", treeFile, ExitCode::treeNotCreated);
}

}  // namespace vux
