// The rescan's first pass and the only threads of the program.
#include "tree/first_pass.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cstring>

#include "driver/run_state.h"
#include "platform/path_algebra.h"

namespace vux {

namespace {

// Below this many old records a second thread costs more than it saves (starting one
// costs about as much as stamping a hundred folders).
constexpr std::uint32_t fewRecords = 256;
// How deep a share holds folders open; what lies deeper is left to the walk. The
// shares' handles and the walk's together stay well inside the usual limit of open
// files.
constexpr int shareDepth = 32;

// Stamps the share's records by handles of its own, marking each whose folder's
// stamps are as they were.
void runShare(Share& share) {
    struct Open {
        int handle;
        std::uint32_t end;
        std::size_t length;
    };
    Open open[maxDepth];
    int depth = 0;
    auto step = [&](std::uint32_t index, bool enclosing) -> std::uint32_t {
        const StampRecord record = share.reader.record(index);
        const std::uint32_t next = record.end > index ? record.end : index + 1;
        const int parent = depth > 0 ? open[depth - 1].handle : share.root;
        const std::size_t length = depth > 0 ? open[depth - 1].length : 2;
        const char* name;
        std::size_t nameLength = share.reader.name(record, length, &name);
        if (parent < 0 || nameLength == 0 || length + 1 + nameLength > pathBufferSize - 1 ||
            depth == shareDepth) {
            return enclosing ? share.to : next;
        }
        share.path[length] = separator;
        std::memcpy(share.path + length + 1, name, nameLength);
        share.path[length + 1 + nameLength] = '\0';
        platform::Stamp stamp{};
        int handle = -1;
        bool stamped;
        if (record.end > index + 1) {
            handle =
                platform::openStampedAt(*share.mounts, parent, share.path + length + 1, share.path, &stamp);
            stamped = handle >= 0;
        } else {
            stamped =
                platform::stampAt(*share.mounts, parent, share.path + length + 1, share.path, &stamp) == 0;
        }
        if (!enclosing) share.same[index] = stamped && record.standsFor(stamp, share.device) ? 1 : 0;
        // The old subfolders of a folder that changed are checked too: most of them
        // are still there, as they were, and the walk finds them when it lists it.
        if (handle >= 0) {
            open[depth++] = {handle, record.end, length + 1 + nameLength};
            return index + 1;
        }
        // What lies below a folder that can't be opened is left to the walk. A record
        // that holds the first one of this share and can't be opened ends it.
        return enclosing ? share.to : next;
    };
    std::memcpy(share.path, driveString, 2);
    for (int i = 0; i < share.outerCount; ++i) {
        if (step(share.outer[i], true) != share.outer[i] + 1) {
            share.from = share.to;
            break;
        }
    }
    for (std::uint32_t index = share.from; index < share.to;) {
        while (depth > 0 && open[depth - 1].end <= index) platform::closeHandle(open[--depth].handle);
        index = step(index, false);
    }
    while (depth > 0) platform::closeHandle(open[--depth].handle);
}

// Starts share at the first record at or past point, found by going down through the
// records that hold point, which it opens first.
void startShareAt(OldStamps& old, std::uint32_t point, Share& share) {
    const std::uint32_t count = old.count();
    share.from = count;
    share.outerCount = 0;
    for (std::uint32_t child = 1, end = count; child < end;) {
        const std::uint32_t childEnd = old.record(child).end;
        if (child >= point) {
            share.from = child;
            return;
        }
        if (childEnd > point && childEnd > child + 1 && share.outerCount < maxDepth) {
            share.outer[share.outerCount++] = child;
            end = childEnd;
            ++child;
        } else {
            child = childEnd > child ? childEnd : child + 1;
        }
    }
}

#ifndef _WIN32
void* runShareOnThread(void* share) {
    runShare(*static_cast<Share*>(share));
    return nullptr;
}

// Each thread holds a few dozen folders open beside the walk's own: room for them
// where the soft limit of open files is low (256 on some hosts) and the hard one isn't.
void makeRoomForHandles() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = 1024;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > wanted ? wanted : limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}
#endif

}  // namespace

// The records up to the second share's first one are stamped on this thread, the rest
// in shares on threads of their own (this thread's share is a little smaller, since
// the walk follows it here).
void FirstPass::start(OldStamps& old, const platform::DriveMounts& mounts, int root, std::uint64_t device) {
    const std::uint32_t count = old.count();
    readyBelow_ = 0;
    if (count < fewRecords || root < 0) return;
    same_.assign(count, 0);
    for (Share& share : shares_) {
        share.same = same_.data();
        share.from = 1;
        share.to = count;
        share.outerCount = 0;
        share.root = root;
        share.mounts = &mounts;
        share.device = device;
    }
    for (int i = 1; i < shareCount; ++i) {
        // The first share is 24/25 of the others.
        const std::uint64_t point = std::uint64_t{count} * (25 * static_cast<std::uint64_t>(i) - 1) /
                                    (25 * static_cast<std::uint64_t>(shareCount) - 1);
        startShareAt(old, static_cast<std::uint32_t>(point), shares_[i]);
        if (shares_[i].from < shares_[i - 1].from) return;
        shares_[i - 1].to = shares_[i].from;
    }
    // Read before the threads start: a share's thread may move its own start.
    const std::uint32_t ready = shares_[1].from;
    if (ready >= count) return;
#ifdef _WIN32
    bool threaded = false;  // no threads here, and no stamps to share out either
#else
    makeRoomForHandles();
    bool threaded = true;
#endif
    for (int i = 1; i < shareCount; ++i) {
        shares_[i].reader.share(old);
#ifndef _WIN32
        if (threaded && shares_[i].from < shares_[i].to) {
            threaded = ::pthread_create(&threads_[running_], nullptr, runShareOnThread, &shares_[i]) == 0;
            if (threaded) ++running_;
        }
#endif
        if (!threaded) shares_[i].from = shares_[i].to;  // left to the walk
    }
    // This thread's share reads through a reader of its own too: the walk reads old.
    shares_[0].reader.share(old);
    runShare(shares_[0]);
    readyBelow_ = ready;
}

bool FirstPass::sameAsRecorded(std::uint32_t index) {
    if (index >= readyBelow_) join();
    return same_[index] != 0;
}

void FirstPass::join() {
#ifndef _WIN32
    while (running_ > 0) ::pthread_join(threads_[--running_], nullptr);
#endif
}

}  // namespace vux
