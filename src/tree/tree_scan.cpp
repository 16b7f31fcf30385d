// The drive walk and the replacement of the tree file.
#include "tree/tree_scan.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

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
// Levels of folders on one path: a path of 259 characters has at most 130.
constexpr int maxDepth = 140;

// Below this many old records a second thread costs more than it saves (starting one
// costs about as much as stamping a hundred folders).
constexpr std::uint32_t fewRecords = 256;
// How many shares the first pass is cut into, each on a thread of its own. Stamping
// a folder whose inode isn't cached waits for the disk, and more threads than cores
// keep more reads in flight: on a cold cache 6 shares took 0.12 of the bare walk's
// time where 2 took 0.28, and on a warm one they cost no more.
constexpr int shareCount = 6;
// How deep a share holds folders open; what lies deeper is left to the walk. The
// shares' handles and the walk's together stay well inside the usual limit of open
// files.
constexpr int shareDepth = 32;

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
    // Per old record, set by the first pass: its folder's stamps are still those of
    // the record, which was trusted. nullptr: no first pass ran.
    const unsigned char* same;
    // Records from here on are the second thread's, read once it is done.
    std::uint32_t readyBelow;
};

// A folder on the path being walked whose listing is opened only once one of its
// subfolders has to be stamped or listed: a folder whose old subfolders are all as
// they were is never opened.
struct Parent {
    Parent* up;          // nullptr for the drive's root
    int listing;         // -1 while not opened
    std::size_t length;  // of its path in Rewalk::path
    bool failed;         // it couldn't be opened
};

// The open listing of parent, opening it first if need be, from the nearest folder
// above it that is open: -1 when that fails.
int listingOf(Rewalk& w, Parent& parent) {
    if (parent.listing >= 0 || parent.failed || parent.up == nullptr) return parent.listing;
    Parent* open = parent.up;
    while (open->listing < 0 && !open->failed && open->up != nullptr) open = open->up;
    char kept = w.path[parent.length];
    w.path[parent.length] = '\0';
    if (open->listing < 0) {
        parent.listing = -1;
    } else if (open == parent.up) {
        parent.listing = platform::openFolder(open->listing, w.path + open->length + 1, w.path, nullptr);
    } else {
        parent.listing = platform::openPassage(open->listing, w.path + open->length + 1, w.path);
    }
    w.path[parent.length] = kept;
    parent.failed = parent.listing < 0;
    return parent.listing;
}

void visitFolder(Rewalk& w, Parent& parent, const char* name, std::size_t length, std::uint32_t index,
                 std::uint64_t line);

// Whether a folder's stamps may stand for its entries in the next scan.
bool trustworthy(const Rewalk& w, const platform::Stamp& stamp) {
    return w.faithful && stamp.device == w.device && !stamp.boundary && stamp.changed < w.trustedBefore;
}

// Whether a folder's stamps are those of its old record, and the record may be
// reused: it was trusted, so its folder had not changed for a while before that
// scan began (the change time rule was applied when it was made).
bool sameAsRecord(const StampRecord& old, const platform::Stamp& stamp, std::uint64_t device) {
    if (stamp.device != device || stamp.boundary) return false;
    StampRecord now = recordOf(stamp, 0);
    return (old.links & StampRecord::trustedBit) != 0 && old.device == now.device && old.inode == now.inode &&
           old.changed == now.changed && old.modified == now.modified &&
           (old.links & ~StampRecord::trustedBit) == now.links;
}

// Whether the folder is as the previous scan saw it, so that its subfolders are those
// of its old record.
bool unchanged(Rewalk& w, const platform::Stamp& stamp, std::uint32_t index) {
    return w.old != nullptr && index != noRecord && w.faithful &&
           sameAsRecord(w.old->record(index), stamp, w.device);
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

// Writes the old subfolders of record index, below the folder self, each checked in
// turn.
void reuseChildren(Rewalk& w, Parent& self, std::size_t length, std::uint32_t index) {
    const std::uint32_t end = w.old->record(index).end;
    for (std::uint32_t child = index + 1; child < end;) {
        const StampRecord record = w.old->record(child);
        const char* name;
        std::size_t nameLength = w.old->name(record, length, &name);
        if (nameLength > 0 && length + 1 + nameLength <= pathBufferSize - 1) {
            std::uint64_t line = w.tree.size();
            std::size_t childLength = putLine(w, length, name, nameLength);
            visitFolder(w, self, w.path + length + 1, childLength, child, line);
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

// Lists the folder self, open as a listing whose first entry is entry, as
// walkDirectory does; each subfolder that the previous scan saw there is checked
// against its old record.
void listChildren(Rewalk& w, Parent& self, platform::FoundEntry entry, std::size_t length,
                  std::uint32_t index) {
    std::uint32_t cursor = index + 1;
    do {
        if (entry.name[0] == '.' || (entry.attributes & platform::directoryAttribute) == 0) continue;
        std::size_t nameLength = std::strlen(entry.name);
        if (length + 1 + nameLength > pathBufferSize - 1) continue;
        std::uint64_t line = w.tree.size();
        std::size_t childLength = putLine(w, length, entry.name, nameLength);
        std::uint32_t old = oldChild(w, index, cursor, length, entry.name, nameLength);
        visitFolder(w, self, entry.name, childLength, old, line);
        w.path[length] = '\0';
    } while (platform::findNext(self.listing, &entry) == 0);
}

// Lists the folder name of the open listing parent; its subfolders are checked
// against the old record index. False when it couldn't be opened, which says nothing
// of what it holds.
bool listFolder(Rewalk& w, Parent& parent, const char* name, std::size_t length, std::uint32_t index) {
    platform::FoundEntry first;
    int up = listingOf(w, parent);
    int listing = up < 0 ? -1 : platform::findFirst(up, name, w.path, &first);
    if (listing < 0) return up >= 0 && !platform::lastFindFailed();
    Parent self{&parent, listing, length, false};
    listChildren(w, self, first, length, index);
    platform::findClose(listing);
    return true;
}

// Whether the first pass found record index's folder as it was.
bool marked(Rewalk& w, std::uint32_t index) {
    if (index >= w.readyBelow) {
        platform::waitForWorkers();
        w.readyBelow = noRecord;
    }
    return w.same[index] != 0;
}

// Writes the lines below the folder name of parent, whose own line (at byte line of
// the tree file) is written and whose full path is in w.path; index is its record in
// the previous scan, or noRecord. Its own record comes first.
void visitFolder(Rewalk& w, Parent& parent, const char* name, std::size_t length, std::uint32_t index,
                 std::uint64_t line) {
    platform::Stamp stamp{};
    bool trusted = false;
    const bool hadSubfolders = w.old != nullptr && index != noRecord && w.old->record(index).end > index + 1;
    Parent self{&parent, -1, length, false};
    if (skipsBelow(w.path, length)) {
        // Nothing below it; the companion is dropped when the skip list changes.
        w.stamps.start(recordOf(stamp, line));
    } else if (w.same != nullptr && index != noRecord && marked(w, index)) {
        // Stamped by the first pass: its old record stands, and so do its subfolders.
        const StampRecord& record = w.old->record(index);
        stamp = {record.device,
                 record.inode,
                 record.changed,
                 record.modified,
                 record.links & ~StampRecord::trustedBit,
                 false,
                 false};
        w.stamps.start(recordOf(stamp, line));
        trusted = trustworthy(w, stamp);
        if (hadSubfolders) reuseChildren(w, self, length, index);
    } else if (hadSubfolders) {
        // Opened once, and stamped from the handle, to stamp its subfolders.
        int up = listingOf(w, parent);
        self.listing = up < 0 ? -1 : platform::openFolder(up, name, w.path, &stamp);
        w.stamps.start(recordOf(stamp, line));
        trusted = self.listing >= 0 && trustworthy(w, stamp);
        if (self.listing >= 0 && unchanged(w, stamp, index)) {
            reuseChildren(w, self, length, index);
        } else {
            if (self.listing >= 0) platform::findClose(self.listing);
            self.listing = -1;
            trusted = listFolder(w, parent, name, length, index) && trusted;
        }
    } else {
        int up = listingOf(w, parent);
        const bool stamped = up >= 0 && platform::stampEntry(up, name, w.path, &stamp) == 0;
        w.stamps.start(recordOf(stamp, line));
        trusted = stamped && trustworthy(w, stamp);
        // An unchanged folder that had no subfolders has none now.
        if (!stamped || !unchanged(w, stamp, index)) {
            trusted = listFolder(w, parent, name, length, index) && trusted;
        }
    }
    if (self.listing >= 0) platform::findClose(self.listing);
    w.stamps.finish(trusted);
}

// The first pass of a rescan over a companion: the old records from..to, whose
// folders are stamped by handles of its own, apart from the walk's listings, so that
// it can run beside another on a second thread. Marks in same each record whose
// folder's stamps are as they were.
struct FirstPass {
    OldStamps* old;
    unsigned char* same;
    std::uint32_t from;
    std::uint32_t to;
    // The records that hold record from, outermost first (their subtrees end after
    // from), and how many.
    std::uint32_t outer[maxDepth];
    int outerCount;
    int root;  // the drive root's handle
    std::uint64_t device;
    char path[pathBufferSize];
};

void runFirstPass(FirstPass& pass) {
    struct Open {
        int handle;
        std::uint32_t end;
        std::size_t length;
    };
    Open open[maxDepth];
    int depth = 0;
    auto step = [&](std::uint32_t index, bool enclosing) -> std::uint32_t {
        const StampRecord record = pass.old->record(index);
        const std::uint32_t next = record.end > index ? record.end : index + 1;
        const int parent = depth > 0 ? open[depth - 1].handle : pass.root;
        const std::size_t length = depth > 0 ? open[depth - 1].length : 2;
        const char* name;
        std::size_t nameLength = pass.old->name(record, length, &name);
        if (parent < 0 || nameLength == 0 || length + 1 + nameLength > pathBufferSize - 1 ||
            depth == shareDepth) {
            return enclosing ? pass.to : next;
        }
        pass.path[length] = separator;
        std::memcpy(pass.path + length + 1, name, nameLength);
        pass.path[length + 1 + nameLength] = '\0';
        platform::Stamp stamp{};
        int handle = -1;
        bool stamped;
        if (record.end > index + 1) {
            handle = platform::openStampedAt(parent, pass.path + length + 1, pass.path, &stamp);
            stamped = handle >= 0;
        } else {
            stamped = platform::stampAt(parent, pass.path + length + 1, pass.path, &stamp) == 0;
        }
        if (!enclosing) pass.same[index] = stamped && sameAsRecord(record, stamp, pass.device) ? 1 : 0;
        // The old subfolders of a folder that changed are checked too: most of them
        // are still there, as they were, and the walk finds them when it lists it.
        if (handle >= 0) {
            open[depth++] = {handle, record.end, length + 1 + nameLength};
            return index + 1;
        }
        // What lies below a folder that can't be opened is left to the walk. A record
        // that holds the first one of this pass and can't be opened ends it.
        return enclosing ? pass.to : next;
    };
    std::memcpy(pass.path, driveString, 2);
    for (int i = 0; i < pass.outerCount; ++i) {
        if (step(pass.outer[i], true) != pass.outer[i] + 1) {
            pass.from = pass.to;
            break;
        }
    }
    for (std::uint32_t index = pass.from; index < pass.to;) {
        while (depth > 0 && open[depth - 1].end <= index) platform::closeHandle(open[--depth].handle);
        index = step(index, false);
    }
    while (depth > 0) platform::closeHandle(open[--depth].handle);
}

void runFirstPassOnWorker(void* pass) { runFirstPass(*static_cast<FirstPass*>(pass)); }

// Starts pass at the first record at or past point, found by going down through the
// records that hold point, which it opens first.
void startShareAt(OldStamps& old, std::uint32_t point, FirstPass& pass) {
    const std::uint32_t count = old.count();
    pass.from = count;
    pass.outerCount = 0;
    for (std::uint32_t child = 1, end = count; child < end;) {
        const std::uint32_t childEnd = old.record(child).end;
        if (child >= point) {
            pass.from = child;
            return;
        }
        if (childEnd > point && childEnd > child + 1 && pass.outerCount < maxDepth) {
            pass.outer[pass.outerCount++] = child;
            end = childEnd;
            ++child;
        } else {
            child = childEnd > child ? childEnd : child + 1;
        }
    }
}

// Stamps every old record's folder that the walk would, marking in same what is as it
// was: the records up to the returned one on this thread, the rest in shares on
// threads of their own, which the walk waits for when it gets there (the share of
// this thread is a little smaller, since the walk follows it here). 0 when there was
// too little to share (then the walk stamps as it goes).
std::uint32_t stampOldRecords(OldStamps& old, unsigned char* same, int root, std::uint64_t device) {
    const std::uint32_t count = old.count();
    if (count < fewRecords || root < 0) return 0;
    static FirstPass passes[shareCount];
    static OldStamps readers[shareCount];
    for (int i = 0; i < shareCount; ++i)
        passes[i] = FirstPass{&readers[i], same, 1, count, {}, 0, root, device, {}};
    passes[0].old = &old;
    for (int i = 1; i < shareCount; ++i) {
        // The first share is 24/25 of the others.
        const std::uint64_t point = std::uint64_t{count} * (25 * static_cast<std::uint64_t>(i) - 1) /
                                    (25 * static_cast<std::uint64_t>(shareCount) - 1);
        startShareAt(old, static_cast<std::uint32_t>(point), passes[i]);
        if (passes[i].from < passes[i - 1].from) return 0;
        passes[i - 1].to = passes[i].from;
    }
    const std::uint32_t ready = passes[1].from;
    if (ready >= count) return 0;
    std::memset(same, 0, count);
    bool beside = true;
    for (int i = 1; i < shareCount; ++i) {
        readers[i].share(old);
        if (beside && passes[i].from < passes[i].to)
            beside = platform::startWorker(runFirstPassOnWorker, &passes[i]);
        if (!beside) passes[i].from = passes[i].to;  // left to the walk
    }
    runFirstPass(passes[0]);
    return ready;
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
    static StampWriter stamps;
    static OldStamps old;
    bool stamping = false;  // a companion is being written
    platform::Stamp rootStamp{};
    int root = platform::openFolder(platform::noListing, nullptr, path, &rootStamp);
    if (root >= 0 && rootStamp.faithful) {
        platform::guardTemporaryFile(stampsTemporary);
        stamping = stamps.open(stampsTemporary);
        tree.keepDigest(&treeDigest);
        // A disk too full for both files keeps the tree file, without a companion.
        tree.onFull([](void* writer) { static_cast<StampWriter*>(writer)->abandon(); }, &stamps);
    }
    if (stamping) {
        Rewalk w{tree, progress, stamps,  nullptr, rootStamp.faithful, rootStamp.device, scanStart - sameTick,
                 path, nullptr,  noRecord};
        std::vector<unsigned char> same;
        if (old.open(treeFile, stampsFile, skipDigest)) {
            w.old = &old;
            same.resize(old.count());
            w.readyBelow = stampOldRecords(old, same.data(), platform::listingHandle(root), rootStamp.device);
            if (w.readyBelow != 0) w.same = same.data();
        }
        w.stamps.start(recordOf(rootStamp, 0));
        Parent top{nullptr, root, 2, false};
        if (unchanged(w, rootStamp, 0)) {
            reuseChildren(w, top, 2, 0);
        } else {
            platform::FoundEntry first;
            if (platform::findNext(root, &first) == 0)
                listChildren(w, top, first, 2, w.old != nullptr ? 0 : noRecord);
        }
        w.stamps.finish(trustworthy(w, rootStamp));
        platform::waitForWorkers();  // its share may lie below folders that are gone
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
