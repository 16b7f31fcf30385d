// The reuse of a rescan: every folder is stamped into a new companion, and a folder
// whose stamps are as the previous scan recorded them is not listed; its subfolders
// are taken from the old tree file, in their old order, each checked the same way.
// The previous scan's pair is read through an OldStamps, in blocks.
#include "tree/rescan_reuse.h"

#include <cstdio>
#include <cstring>

#include "driver/run_state.h"
#include "tree/first_pass.h"
#include "tree/skip_list.h"
#include "tree/stamp_file.h"

namespace vux {

// The old pair, the new companion and the first pass: large, and used only by a
// rescan that writes a companion.
struct RescanReuse::Companions {
    StampWriter stamps;
    OldStamps old;
    FirstPass firstPass;
};

RescanReuse::RescanReuse(const platform::DriveMounts& mounts) : mounts_(mounts) {}
RescanReuse::~RescanReuse() = default;

void RescanReuse::begin(const char* treeFile, TextWriter& tree, int root, const platform::Stamp& rootStamp,
                        std::int64_t scanStart) {
    rootStamp_ = rootStamp;
    scanStart_ = scanStart;
    skipDigest_ = skipListDigest();
    std::snprintf(stampsFile_, sizeof stampsFile_, "%s.stamps", treeFile);
    std::snprintf(stampsTemporary_, sizeof stampsTemporary_, "%s.%ld.new", stampsFile_,
                  platform::processId());
    if (root < 0 || !rootStamp.faithful) return;
    // Default-initialized, not zeroed: the buffers' pages are touched only as used.
    pair_.reset(new Companions);
    platform::guardTemporaryFile(stampsTemporary_);
    if (!pair_->stamps.open(stampsTemporary_)) {
        pair_.reset();
        return;
    }
    writing_ = true;
    tree.keepDigest(&treeDigest_);
    // A disk too full for both files keeps the tree file, without a companion.
    tree.onFull([](void* writer) { static_cast<StampWriter*>(writer)->abandon(); }, &pair_->stamps);
    reading_ = pair_->old.open(treeFile, stampsFile_, skipDigest_);
    if (reading_)
        pair_->firstPass.start(pair_->old, mounts_, platform::listingHandle(root), rootStamp.device);
    firstPass_ = reading_ && pair_->firstPass.ran();
}

// Whether a folder's stamps may stand for its entries in the next scan.
bool RescanReuse::trustworthy(const platform::Stamp& stamp) const {
    return stamp.device == rootStamp_.device && !stamp.boundary && stamp.changed < scanStart_ - sameTick;
}

// Whether the folder is as the previous scan saw it, so that its subfolders are those
// of its old record.
bool RescanReuse::unchanged(const platform::Stamp& stamp, std::uint32_t index) {
    return reading_ && index != noRecord && pair_->old.record(index).standsFor(stamp, rootStamp_.device);
}

void RescanReuse::reuse(Folder& self) {
    self.below = Folder::Below::reused;
    self.cursor = self.record + 1;
    self.end = pair_->old.record(self.record).end;
}

// The open listing of folder, opening it first if need be, from the nearest folder
// above it that is open: -1 when that fails.
int RescanReuse::listingOf(Folder& folder, char* path) {
    if (folder.listing >= 0 || folder.failed || folder.up == nullptr) return folder.listing;
    Folder* open = folder.up;
    while (open->listing < 0 && !open->failed && open->up != nullptr) open = open->up;
    char kept = path[folder.length];
    path[folder.length] = '\0';
    if (open->listing < 0) {
        folder.listing = -1;
    } else if (open == folder.up) {
        folder.listing = platform::openFolder(open->listing, path + open->length + 1, path, nullptr);
    } else {
        folder.listing = platform::openPassage(open->listing, path + open->length + 1, path);
    }
    path[folder.length] = kept;
    folder.failed = folder.listing < 0;
    return folder.listing;
}

// Lists self, the subfolder name of parent, stamped as seen when it was. False when
// it couldn't be opened, which says nothing of what it holds.
bool RescanReuse::list(Folder& parent, Folder& self, const char* name, char* path,
                       const platform::Stamp* seen) {
    int up = listingOf(parent, path);
    self.listing = up < 0 ? -1 : platform::findFirst(up, name, path, &self.first, seen);
    if (self.listing < 0) return up >= 0 && !platform::lastFindFailed();
    self.below = Folder::Below::listed;
    self.cursor = self.record + 1;
    return true;
}

void RescanReuse::enterRoot(Folder& root, const char* path) {
    if (root.listing < 0) {
        // A backend without stamps, or a root that can't be stamped: listed as it is.
        root.listing = platform::findRoot(mounts_, path, &root.first);
        if (root.listing >= 0) root.below = Folder::Below::listed;
        return;
    }
    if (writing_) pair_->stamps.start(recordOf(rootStamp_, 0));
    root.trusted = trustworthy(rootStamp_);
    if (reading_) root.record = 0;
    if (unchanged(rootStamp_, 0)) {
        reuse(root);
    } else if (platform::findNext(root.listing, &root.first) == 0) {
        root.below = Folder::Below::listed;
        root.cursor = root.record + 1;
    }
}

void RescanReuse::enter(Folder& parent, Folder& self, const char* name, char* path, std::uint64_t line,
                        bool skipped) {
    if (!writing_) {
        // Nothing stamped, nothing reused: a folder is listed as it is.
        if (!skipped) list(parent, self, name, path, nullptr);
        return;
    }
    platform::Stamp stamp{};
    const std::uint32_t index = self.record;
    const bool hadSubfolders = reading_ && index != noRecord && pair_->old.record(index).end > index + 1;
    if (skipped) {
        // Nothing below it; the companion is dropped when the skip list changes.
        pair_->stamps.start(recordOf(stamp, line));
    } else if (firstPass_ && index != noRecord && pair_->firstPass.sameAsRecorded(index)) {
        // Stamped by the first pass: its old record stands, and so do its subfolders.
        stamp = pair_->old.record(index).stamp();
        pair_->stamps.start(recordOf(stamp, line));
        self.trusted = trustworthy(stamp);
        if (hadSubfolders) reuse(self);
    } else if (hadSubfolders) {
        // Opened once, and stamped from the handle, to stamp its subfolders.
        int up = listingOf(parent, path);
        self.listing = up < 0 ? -1 : platform::openFolder(up, name, path, &stamp);
        pair_->stamps.start(recordOf(stamp, line));
        self.trusted = self.listing >= 0 && trustworthy(stamp);
        if (self.listing >= 0 && unchanged(stamp, index)) {
            reuse(self);
        } else {
            const bool opened = self.listing >= 0;
            if (opened) platform::findClose(self.listing);
            self.listing = -1;
            self.trusted = list(parent, self, name, path, opened ? &stamp : nullptr) && self.trusted;
        }
    } else {
        int up = listingOf(parent, path);
        const bool stamped = up >= 0 && platform::stampEntry(up, name, path, &stamp) == 0;
        pair_->stamps.start(recordOf(stamp, line));
        self.trusted = stamped && trustworthy(stamp);
        // An unchanged folder that had no subfolders has none now.
        if (!stamped || !unchanged(stamp, index)) {
            self.trusted = list(parent, self, name, path, stamped ? &stamp : nullptr) && self.trusted;
        }
    }
}

// Looked for from where the last one was found, since a folder lists its entries in
// the same order while they stay, and only so far, so that a wide folder costs no
// more than its listing.
std::uint32_t RescanReuse::oldChild(Folder& self, const char* name, std::size_t nameLength) {
    if (!reading_ || self.record == noRecord) return noRecord;
    const std::uint32_t index = self.record;
    const std::uint32_t end = pair_->old.record(index).end;
    constexpr int tries = 32;
    std::uint32_t child = self.cursor < end ? self.cursor : index + 1;
    for (int tried = 0; tried < tries && end > index + 1; ++tried) {
        if (child >= end) child = index + 1;
        const StampRecord& record = pair_->old.record(child);
        std::uint32_t next = record.end > child ? record.end : child + 1;
        const char* oldName;
        if (pair_->old.name(record, self.length, &oldName) == nameLength &&
            std::memcmp(oldName, name, nameLength) == 0) {
            self.cursor = next;
            return child;
        }
        child = next;
    }
    return noRecord;
}

std::uint32_t RescanReuse::nextOld(Folder& self, const char** name, std::size_t* nameLength) {
    while (self.cursor < self.end) {
        const std::uint32_t child = self.cursor;
        const StampRecord record = pair_->old.record(child);
        self.cursor = record.end > child ? record.end : child + 1;
        *nameLength = pair_->old.name(record, self.length, name);
        if (*nameLength > 0) return child;
    }
    return noRecord;
}

void RescanReuse::leave(Folder& self) {
    if (self.listing >= 0) platform::findClose(self.listing);
    self.listing = -1;
    if (writing_) pair_->stamps.finish(self.trusted);
}

void RescanReuse::endWalk() {
    if (pair_ == nullptr) return;
    pair_->firstPass.join();  // a share may lie below folders that are gone
    pair_->old.close();
    reading_ = firstPass_ = false;
}

void RescanReuse::finish(bool treeReplaced, std::uint64_t treeSize) {
    if (writing_) {
        // The companion follows its tree file; one that doesn't match the tree file
        // beside it (a scan ended between the two) is never read.
        StampHeader header{};
        header.treeSize = treeSize;
        header.treeDigest = treeDigest_.value();
        header.scanStart = scanStart_;
        header.skipDigest = skipDigest_;
        bool kept = pair_->stamps.close(header) && treeReplaced &&
                    platform::replaceFile(stampsTemporary_, stampsFile_) == 0;
        if (!kept) platform::removeFile(stampsTemporary_);
        if (!kept && treeReplaced) platform::removeFile(stampsFile_);
    } else if (treeReplaced) {
        platform::removeFile(stampsFile_);
    }
    writing_ = false;
}

}  // namespace vux
