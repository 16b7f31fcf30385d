// Reading and writing the companion of a tree file.
#include "tree/stamp_file.h"

#include <cstring>

#include "platform/path_algebra.h"
#include "tree/data_files.h"

namespace vux {

namespace {

const char magic[8] = {'v', 'u', 'x', 's', 't', 'a', 'm', '\1'};
constexpr std::uint64_t headerSize = sizeof(StampHeader);
constexpr std::uint32_t mostRecords = 0x7fffffffU;
constexpr std::size_t longestLine = pathBufferSize + 1;  // 259 characters and CR LF

std::uint64_t recordDigest(std::uint32_t index, const StampRecord& record) {
    Digest digest(index);
    digest.add(reinterpret_cast<const char*>(&record), sizeof record);
    return digest.value();
}

// Reads size bytes unless the file ends first: how many came.
std::size_t readFull(int file, char* buffer, std::size_t size) {
    std::size_t have = 0;
    while (have < size) {
        long n = platform::readFile(file, buffer + have, size - have);
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    return have;
}

}  // namespace

std::uint64_t skipListDigest() {
    char path[pathBufferSize];
    if (platform::makePath(path, sizeof path, pathSet.dataDrive, pathSet.dataDir, "skip", "vux") != 0)
        return 0;
    int file = platform::openFile(path, platform::OpenMode::read);
    if (file < 0) return 0;
    Digest digest;
    char block[4096];
    long n;
    while ((n = platform::readFile(file, block, sizeof block)) > 0)
        digest.add(block, static_cast<std::size_t>(n));
    platform::closeFile(file);
    return n < 0 ? ~0ULL : digest.value() | 1;
}

StampRecord recordOf(const platform::Stamp& stamp, std::uint64_t line) {
    StampRecord record;
    record.device = stamp.device;
    record.inode = stamp.inode;
    record.changed = stamp.changed;
    record.modified = stamp.modified;
    record.line = line;
    record.end = 0;
    record.links = static_cast<std::uint32_t>(stamp.links < mostRecords ? stamp.links : mostRecords);
    return record;
}

bool StampRecord::standsFor(const platform::Stamp& now, std::uint64_t rootDevice) const {
    if (now.device != rootDevice || now.boundary || !trusted()) return false;
    const StampRecord seen = recordOf(now, 0);
    return device == seen.device && inode == seen.inode && changed == seen.changed &&
           modified == seen.modified && linkCount() == seen.links;
}

bool OldStamps::open(const char* treePath, const char* stampsPath, std::uint64_t skipDigest) {
    close();
    stamps_ = platform::openFile(stampsPath, platform::OpenMode::read);
    if (stamps_ < 0) return false;
    tree_ = platform::openFile(treePath, platform::OpenMode::read);
    StampHeader header;
    bool fit = tree_ >= 0 &&
               readFull(stamps_, reinterpret_cast<char*>(&header), sizeof header) == sizeof header &&
               std::memcmp(header.magic, magic, sizeof magic) == 0 && header.skipDigest == skipDigest &&
               header.count >= 1 && header.count <= mostRecords &&
               readRecords(static_cast<std::uint32_t>(header.count), header.recordDigest) &&
               readTree(header.treeSize, header.treeDigest);
    if (!fit) {
        close();
        return false;
    }
    count_ = static_cast<std::uint32_t>(header.count);
    scanStart_ = header.scanStart;
    treeSize_ = header.treeSize;
    recordsHeld_ = 0;
    textHeld_ = 0;
    return true;
}

bool OldStamps::readRecords(std::uint32_t count, std::uint64_t digest) {
    std::uint64_t sum = 0;
    std::uint32_t index = 0;
    while (index < count) {
        std::size_t want = count - index < 1024 ? count - index : 1024;
        std::size_t got = readFull(stamps_, reinterpret_cast<char*>(records_), want * sizeof(StampRecord));
        if (got != want * sizeof(StampRecord)) return false;
        for (std::size_t i = 0; i < want; ++i, ++index) {
            // A subtree ends after its own record and within the file.
            if (records_[i].end <= index || records_[i].end > count) return false;
            sum += recordDigest(index, records_[i]);
        }
    }
    char extra;
    return sum == digest && platform::readFile(stamps_, &extra, 1) == 0;
}

bool OldStamps::readTree(std::uint64_t size, std::uint64_t digest) {
    Digest seen;
    std::uint64_t total = 0;
    long n;
    while ((n = platform::readFile(tree_, text_, sizeof text_)) > 0) {
        seen.add(text_, static_cast<std::size_t>(n));
        total += static_cast<std::uint64_t>(n);
    }
    return n == 0 && total == size && seen.value() == digest;
}

void OldStamps::close() {
    if (owner_ && tree_ >= 0) platform::closeFile(tree_);
    if (owner_ && stamps_ >= 0) platform::closeFile(stamps_);
    tree_ = stamps_ = -1;
    owner_ = true;
    count_ = 0;
}

void OldStamps::share(const OldStamps& other) {
    close();
    owner_ = false;
    tree_ = other.tree_;
    stamps_ = other.stamps_;
    count_ = other.count_;
    scanStart_ = other.scanStart_;
    treeSize_ = other.treeSize_;
    recordsHeld_ = 0;
    textHeld_ = 0;
}

const StampRecord& OldStamps::record(std::uint32_t i) {
    if (i < recordBase_ || i >= recordBase_ + recordsHeld_) {
        recordBase_ = i;
        long n = platform::readFileAt(stamps_, reinterpret_cast<char*>(records_), sizeof records_,
                                      headerSize + std::uint64_t{i} * sizeof(StampRecord));
        recordsHeld_ =
            n > 0 ? static_cast<std::uint32_t>(static_cast<std::size_t>(n) / sizeof(StampRecord)) : 0;
        if (recordsHeld_ == 0) {
            // The file went short under the scan: a record with nothing below it, this
            // reader's own, since every thread reads through a reader of its own.
            shortRecord_ = StampRecord{};
            shortRecord_.end = i + 1;
            return shortRecord_;
        }
    }
    return records_[i - recordBase_];
}

std::size_t OldStamps::name(const StampRecord& record, std::size_t parentLength, const char** name) {
    std::uint64_t at = record.line;
    if (at >= treeSize_) return 0;
    if (at < textBase_ || at + longestLine > textBase_ + textHeld_) {
        textBase_ = at;
        long n = platform::readFileAt(tree_, text_, sizeof text_, at);
        textHeld_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::size_t offset = static_cast<std::size_t>(at - textBase_);
    std::size_t room = textHeld_ - offset < longestLine ? textHeld_ - offset : longestLine;
    const char* line = text_ + offset;
    const char* end = static_cast<const char*>(std::memchr(line, '\r', room));
    if (end == nullptr || static_cast<std::size_t>(end - line) <= parentLength + 1 ||
        line[parentLength] != '\\') {
        return 0;
    }
    *name = line + parentLength + 1;
    return static_cast<std::size_t>(end - *name);
}

bool StampWriter::open(const char* path) {
    file_ = platform::openFile(path, platform::OpenMode::write);
    failed_ = false;
    count_ = bufferBase_ = buffered_ = 0;
    recordDigest_ = 0;
    depth_ = 0;
    return file_ >= 0;
}

std::uint32_t StampWriter::start(const StampRecord& record) {
    if (buffered_ == sizeof buffer_ / sizeof buffer_[0]) flush();
    std::uint32_t index = count_++;
    buffer_[buffered_++] = record;
    if (depth_ < static_cast<int>(sizeof openIndex_ / sizeof openIndex_[0])) {
        open_[depth_] = record;
        openIndex_[depth_] = index;
    } else {
        failed_ = true;
    }
    ++depth_;
    return index;
}

void StampWriter::finish(bool trusted) {
    if (depth_ == 0) {
        failed_ = true;
        return;
    }
    --depth_;
    if (depth_ >= static_cast<int>(sizeof openIndex_ / sizeof openIndex_[0])) return;
    StampRecord record = open_[depth_];
    std::uint32_t index = openIndex_[depth_];
    record.end = count_;
    if (trusted) record.trust();
    recordDigest_ += recordDigest(index, record);
    if (index >= bufferBase_) {
        buffer_[index - bufferBase_] = record;
    } else {
        write(reinterpret_cast<const char*>(&record), sizeof record,
              headerSize + std::uint64_t{index} * sizeof record);
    }
}

void StampWriter::flush() {
    if (buffered_ > 0) {
        write(reinterpret_cast<const char*>(buffer_), buffered_ * sizeof(StampRecord),
              headerSize + std::uint64_t{bufferBase_} * sizeof(StampRecord));
    }
    bufferBase_ += buffered_;
    buffered_ = 0;
}

void StampWriter::write(const char* data, std::size_t size, std::uint64_t offset) {
    if (file_ >= 0 && platform::writeFileAt(file_, data, size, offset) != 0) abandon();
}

void StampWriter::abandon() {
    failed_ = true;
    if (file_ >= 0) platform::closeWritten(file_, 0);
    file_ = -1;
}

bool StampWriter::close(StampHeader header) {
    if (file_ < 0) return false;
    flush();
    std::memcpy(header.magic, magic, sizeof magic);
    header.count = count_;
    header.recordDigest = recordDigest_;
    header.reserved = 0;
    bool ok = !failed_ && depth_ == 0 &&
              platform::writeFileAt(file_, reinterpret_cast<const char*>(&header), sizeof header, 0) == 0;
    ok = platform::closeWritten(file_, ok ? headerSize + std::uint64_t{count_} * sizeof(StampRecord) : 0) ==
             0 &&
         ok;
    file_ = -1;
    return ok;
}

}  // namespace vux
