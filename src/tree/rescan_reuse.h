// What the walk of a scan asks at each folder: may the subfolders the previous scan
// saw there be reused, or must the folder be listed? Its answers come from the
// companion of the tree file, which it owns: the old pair read, the first pass over
// it, and the new companion, where every folder is stamped. With no companion to
// write (a file system that doesn't keep stamps faithfully, or no room) it answers
// "list" without asking the file system anything more than the listing does.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "tree/digest.h"
#include "tree/text_file.h"

namespace vux {

// A change made in the same clock tick as an earlier one can leave a folder's change
// time as it was: a folder changed this close to the start of the scan that stamps it
// is listed by the next one whatever its stamps say.
constexpr std::int64_t sameTick = 2000000000;

constexpr std::uint32_t noRecord = 0xffffffffU;

// A folder on the path being walked. Its listing is opened only once it is listed
// or one of its subfolders has to be stamped or listed: a folder whose old
// subfolders are all as they were is never opened.
struct Folder {
    enum class Below { nothing, listed, reused };
    Folder* up;                       // nullptr for the drive's root
    std::size_t length;               // of its path
    std::uint32_t record = noRecord;  // in the previous scan
    Below below = Below::nothing;     // where its subfolders come from
    int listing = -1;                 // -1 while not opened
    bool failed = false;              // it couldn't be opened
    bool trusted = false;             // its stamps may stand for it in the next scan
    platform::FoundEntry first{};     // the listing's first entry, when listed
    std::uint32_t cursor = 0;         // the next old subfolder to reuse or look at
    std::uint32_t end = 0;            // past its old subfolders, when reused
};

class RescanReuse {
public:
    // mounts: those the walk heeds, read once for the scan.
    explicit RescanReuse(const platform::DriveMounts& mounts);
    RescanReuse(const RescanReuse&) = delete;
    RescanReuse& operator=(const RescanReuse&) = delete;
    ~RescanReuse();

    // Opens the new companion beside treeFile, and reads the old pair and starts the
    // first pass over it, when root (the drive's root, open and stamped as rootStamp)
    // lies on a file system that keeps stamps faithfully.
    void begin(const char* treeFile, TextWriter& tree, int root, const platform::Stamp& rootStamp,
               std::int64_t scanStart);
    // Says where the root's subfolders come from; the root is open as root.listing,
    // or not at all (-1): it is then listed from its path.
    void enterRoot(Folder& root, const char* path);
    // Says where the subfolders of self come from, a subfolder of parent whose line
    // (at byte line of the tree file) is written, whose path is in path and whose
    // name is name; skipped when nothing below it may be listed.
    void enter(Folder& parent, Folder& self, const char* name, char* path, std::uint64_t line, bool skipped);
    // The old record of self's listed subfolder name, or noRecord.
    std::uint32_t oldChild(Folder& self, const char* name, std::size_t nameLength);
    // The next old subfolder of a reused self and its name, or noRecord at the end.
    std::uint32_t nextOld(Folder& self, const char** name, std::size_t* nameLength);
    // Closes what enter opened for self and stamps it as done.
    void leave(Folder& self);
    // After the walk: waits for the first pass and lets the old pair go.
    void endWalk();
    // The companion follows its tree file, of treeSize bytes, when that was replaced.
    void finish(bool treeReplaced, std::uint64_t treeSize);

private:
    struct Companions;
    int listingOf(Folder& folder, char* path);
    bool list(Folder& parent, Folder& self, const char* name, char* path, const platform::Stamp* seen);
    bool trustworthy(const platform::Stamp& stamp) const;
    bool unchanged(const platform::Stamp& stamp, std::uint32_t index);
    void reuse(Folder& self);

    const platform::DriveMounts& mounts_;
    std::unique_ptr<Companions> pair_;
    bool writing_ = false;    // a new companion is written: every folder is stamped
    bool reading_ = false;    // an old pair is read
    bool firstPass_ = false;  // a first pass ran
    platform::Stamp rootStamp_{};
    std::int64_t scanStart_ = 0;
    std::uint64_t skipDigest_ = 0;
    Digest treeDigest_;
    char stampsFile_[platform::pathBufferSize + 32] = {};
    char stampsTemporary_[platform::pathBufferSize + 64] = {};
};

}  // namespace vux
