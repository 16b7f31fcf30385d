// The search's line prefilter: which tree lines can't match the key in any way and
// are passed over without scoring.
#pragma once

#include <cstddef>

#include "driver/run_state.h"
#include "platform/path_algebra.h"
#include "search/match_score.h"

namespace vux {

// What the prefilter knows of one pass's key. A line whose compared text doesn't
// begin with the key's first character can be neither a full-key nor a partial
// match; one whose last name is shorter than the key's can only be a partial
// match, so it is passed over too while partial matching can't be on. Whether it
// can is asked as the line is read, from the same test the scorer makes, since a
// scan that a missing tree file starts turns it on within the pass.
struct LineFilter {
    std::size_t keyHead;  // the key's characters before its last name
    std::size_t keyLast;  // the length of the key's last name
    char firstUpper;      // the key's first character, in both cases when case doesn't count
    char firstLower;
};

inline LineFilter makeLineFilter(const KeyParts& key, bool ignoreCase) {
    const char first = key.text[0];
    return LineFilter{key.lastStart, key.length - key.lastStart,
                      ignoreCase ? platform::upperAscii(first) : first,
                      ignoreCase ? platform::lowerAscii(first) : first};
}

// Whether line[0, length), without its line end, may match and must be scored.
inline bool mayScore(const LineFilter& filter, const char* line, std::size_t length) {
    const std::size_t lastStart = lastComponentStart(line, length);
    const std::size_t lineLast = length - lastStart;
    bool score = lineLast != 0 && lastStart >= filter.keyHead;
    if (score && lineLast < filter.keyLast) score = filter.keyHead == 0 && partialMatchingAllowed();
    if (score) {
        const char first = line[lastStart - filter.keyHead];
        score = first == filter.firstUpper || first == filter.firstLower;
    }
    return score;
}

}  // namespace vux
