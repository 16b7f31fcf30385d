// The search's line prefilter: which tree lines can't match the key in any way and
// are passed over without scoring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "driver/run_state.h"
#include "platform/path_algebra.h"
#include "search/match_score.h"

namespace vux {

// Position after the last separator of line[0, length), the first character aside:
// eight bytes at a time, since the last name is where the scoring looks.
inline std::size_t lastSeparatorEnd(const char* line, std::size_t length) {
    constexpr bool littleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
    std::size_t i = length;
    while (i >= 9) {
        std::uint64_t word;
        std::memcpy(&word, line + i - 8, 8);
        const std::uint64_t x = word ^ 0x5C5C5C5C5C5C5C5CULL;  // bytes equal to "\\" become 0
        const std::uint64_t low = 0x7F7F7F7F7F7F7F7FULL;
        const std::uint64_t zeros = ~(((x & low) + low) | x | low);  // exact: high bit of each 0 byte
        if (zeros != 0) {
            int highest = littleEndian ? 63 - __builtin_clzll(zeros) : __builtin_ctzll(zeros);
            std::size_t byte = littleEndian ? static_cast<std::size_t>(highest) / 8
                                            : 7 - static_cast<std::size_t>(highest) / 8;
            return i - 8 + byte + 1;
        }
        i -= 8;
    }
    for (; i > 1; --i) {
        if (line[i - 1] == separator) return i;
    }
    return 0;
}

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
    const std::size_t lastStart = lastSeparatorEnd(line, length);
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
