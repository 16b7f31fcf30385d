// The walk of a rescan that writes a companion: every folder is stamped, and a
// folder whose stamps are as the previous scan recorded them is not listed; its
// subfolders are taken from the old tree file, in their old order, each checked the
// same way. The previous scan's pair is read through old, in blocks.
#include "tree/rescan_reuse.h"

#include <cstring>

#include "driver/run_state.h"
#include "tree/scan_progress.h"
#include "tree/skip_list.h"

namespace vux {

namespace {

constexpr std::uint32_t noRecord = 0xffffffffU;

// A walk that stamps every folder and reuses what the previous scan saw of each one
// whose stamps are as they were then.
struct Rewalk {
    TextWriter& tree;
    ScanProgress& progress;
    StampWriter& stamps;
    OldStamps* old;        // nullptr: nothing to reuse
    FirstPass* firstPass;  // nullptr: none ran
    std::uint64_t device;  // the root's
    std::int64_t trustedBefore;
    char* path;
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
    return stamp.device == w.device && !stamp.boundary && stamp.changed < w.trustedBefore;
}

// Whether the folder is as the previous scan saw it, so that its subfolders are those
// of its old record.
bool unchanged(Rewalk& w, const platform::Stamp& stamp, std::uint32_t index) {
    return w.old != nullptr && index != noRecord && w.old->record(index).standsFor(stamp, w.device);
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

// Lists the folder name of the open listing parent, stamped as seen when it was;
// its subfolders are checked against the old record index. False when it couldn't
// be opened, which says nothing of what it holds.
bool listFolder(Rewalk& w, Parent& parent, const char* name, std::size_t length, std::uint32_t index,
                const platform::Stamp* seen) {
    platform::FoundEntry first;
    int up = listingOf(w, parent);
    int listing = up < 0 ? -1 : platform::findFirst(up, name, w.path, &first, seen);
    if (listing < 0) return up >= 0 && !platform::lastFindFailed();
    Parent self{&parent, listing, length, false};
    listChildren(w, self, first, length, index);
    platform::findClose(listing);
    return true;
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
    } else if (w.firstPass != nullptr && index != noRecord && w.firstPass->sameAsRecorded(index)) {
        // Stamped by the first pass: its old record stands, and so do its subfolders.
        stamp = w.old->record(index).stamp();
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
            const bool opened = self.listing >= 0;
            if (opened) platform::findClose(self.listing);
            self.listing = -1;
            trusted = listFolder(w, parent, name, length, index, opened ? &stamp : nullptr) && trusted;
        }
    } else {
        int up = listingOf(w, parent);
        const bool stamped = up >= 0 && platform::stampEntry(up, name, w.path, &stamp) == 0;
        w.stamps.start(recordOf(stamp, line));
        trusted = stamped && trustworthy(w, stamp);
        // An unchanged folder that had no subfolders has none now.
        if (!stamped || !unchanged(w, stamp, index)) {
            trusted = listFolder(w, parent, name, length, index, stamped ? &stamp : nullptr) && trusted;
        }
    }
    if (self.listing >= 0) platform::findClose(self.listing);
    w.stamps.finish(trusted);
}

}  // namespace

void rewalkDrive(const RewalkFiles& files, int root, const platform::Stamp& rootStamp,
                 std::int64_t trustedBefore, char* path) {
    Rewalk w{files.tree,
             files.progress,
             files.stamps,
             files.old,
             files.firstPass != nullptr && files.firstPass->ran() ? files.firstPass : nullptr,
             rootStamp.device,
             trustedBefore,
             path};
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
}

}  // namespace vux
