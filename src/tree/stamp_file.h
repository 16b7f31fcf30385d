// The companion of a tree file, dirtree.X.stamps: for each folder of the scan that
// wrote the tree file (the drive's root first, then one per tree line, in the same
// order) the stamps it had then, where its line lies and where its subtree ends, so
// that the next rescan lists only the folders that changed. Binary, in the host's
// byte order: the file never leaves the machine that wrote it, and a file written
// elsewhere fails its checks and is ignored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tree/digest.h"

namespace vux {

struct StampRecord {
    std::uint64_t device;
    std::uint64_t inode;
    std::int64_t changed;
    std::int64_t modified;
    std::uint64_t line;   // byte offset of the folder's tree line (the root: 0)
    std::uint32_t end;    // index of the first record past the folder's subtree
    std::uint32_t links;  // the link count, and trustedBit; read through the calls below

    static constexpr std::uint32_t trustedBit = 0x80000000U;
    // The folder had not changed for a while when it was recorded (see sameTick
    // in rescan_reuse.h), so stamps equal to these say its subfolders are as recorded.
    bool trusted() const { return (links & trustedBit) != 0; }
    void trust() { links |= trustedBit; }
    std::uint32_t linkCount() const { return links & ~trustedBit; }
    // The stamps as recorded, of a folder on the root's device inside no boundary.
    platform::Stamp stamp() const { return {device, inode, changed, modified, linkCount(), false, false}; }
    // Whether a folder stamped now on the root's device is as this trusted record saw
    // it, so that its subfolders are those recorded.
    bool standsFor(const platform::Stamp& now, std::uint64_t rootDevice) const;
};
static_assert(sizeof(StampRecord) == 48, "records are stored as they lie in memory");

struct StampHeader {
    char magic[8];
    std::uint64_t treeSize;
    std::uint64_t treeDigest;
    std::int64_t scanStart;    // the recording scan's start, nanoseconds since 1970
    std::uint64_t skipDigest;  // of skip.vux's bytes; 0 when there was none
    std::uint64_t count;       // records
    std::uint64_t recordDigest;
    std::uint64_t reserved;
};
static_assert(sizeof(StampHeader) == 64, "the header is stored as it lies in memory");

// The checksum of the skip list file's bytes, 0 when it can't be read.
std::uint64_t skipListDigest();

// The records of one folder, as both sides compare them.
StampRecord recordOf(const platform::Stamp& stamp, std::uint64_t line);

// The previous scan's pair, read in blocks: nothing of it is held whole.
class OldStamps {
public:
    // Opens the pair and checks that the companion is whole and belongs to the tree
    // file's exact bytes and to the skip list as it is now; false (and closed) if not.
    bool open(const char* treePath, const char* stampsPath, std::uint64_t skipDigest);
    void close();
    // Reads the pair that other opened, through buffers of its own (for another
    // thread); closing it leaves other's files open.
    void share(const OldStamps& other);
    std::uint32_t count() const { return count_; }
    std::int64_t scanStart() const { return scanStart_; }
    // Record i (< count).
    const StampRecord& record(std::uint32_t i);
    // The last name of a record's tree line, whose parent's path is parentLength
    // characters long: its length, or 0 when the line doesn't look so.
    std::size_t name(const StampRecord& record, std::size_t parentLength, const char** name);

private:
    bool readTree(std::uint64_t size, std::uint64_t digest);
    bool readRecords(std::uint32_t count, std::uint64_t digest);

    int tree_ = -1;
    int stamps_ = -1;
    bool owner_ = true;  // closes tree_ and stamps_
    std::uint32_t count_ = 0;
    std::int64_t scanStart_ = 0;
    std::uint64_t treeSize_ = 0;
    std::uint32_t recordBase_ = 0;
    std::uint32_t recordsHeld_ = 0;
    StampRecord records_[1024];
    StampRecord shortRecord_{};
    std::uint64_t textBase_ = 0;
    std::size_t textHeld_ = 0;
    char text_[64 * 1024];
};

// The companion being written beside the new tree file. Records come in tree order
// and are finished (their subtree's end known) in reverse order of their start.
class StampWriter {
public:
    bool open(const char* path);
    // Starts the next record: its index.
    std::uint32_t start(const StampRecord& record);
    // Ends the subtree of the newest record not yet finished, at the next index.
    void finish(bool trusted);
    // Writes the header and closes: false when any write failed.
    bool close(StampHeader header);
    // Gives the file up, empty, so that the room it took is free again: the companion
    // is worth less than the tree file beside it. Every later write is dropped.
    void abandon();

private:
    void flush();
    void write(const char* data, std::size_t size, std::uint64_t offset);

    int file_ = -1;
    bool failed_ = false;
    std::uint32_t count_ = 0;
    std::uint32_t bufferBase_ = 0;  // index of buffer_[0]
    std::uint32_t buffered_ = 0;
    std::uint64_t recordDigest_ = 0;
    int depth_ = 0;
    std::uint32_t openIndex_[160];
    StampRecord open_[160];
    StampRecord buffer_[1024];
};

}  // namespace vux
