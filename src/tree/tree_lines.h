// A tree file read in large blocks, each line handed over in place: the search
// and completion read the same file the same way, and neither ever holds it whole.
#pragma once

#include <cstddef>
#include <cstring>

#include "driver/run_state.h"
#include "platform/platform.h"

namespace vux {

// The longest line that can name a directory: as long as the longest path a scan
// writes, 259 characters. Longer lines are passed over whole.
constexpr std::size_t longestTreeLine = pathBufferSize - 1;

// Hands every line of the open file to take(line, length), without its LF (a CR
// before it stays for take to cut), until take returns true or the file ends. A
// line longer than longestTreeLine and its CR is passed over. block holds size
// bytes and one more, so take may terminate the last line in place.
template <typename Take>
void readTreeLines(int file, char* block, std::size_t size, Take take) {
    std::size_t have = 0;
    bool skipping = false;  // inside a line too long to name a directory
    while (true) {
        long n = platform::readFile(file, block + have, size - have);
        if (n <= 0) {
            if (have > 0 && !skipping) take(block, have);
            return;
        }
        char* p = block;
        char* end = block + have + static_cast<std::size_t>(n);
        if (skipping) {
            char* newline = static_cast<char*>(std::memchr(p + have, '\n', static_cast<std::size_t>(n)));
            if (newline == nullptr) {
                have = 0;
                continue;
            }
            p = newline + 1;
            skipping = false;
        }
        while (char* newline = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) {
            if (take(p, static_cast<std::size_t>(newline - p))) return;
            p = newline + 1;
        }
        std::size_t tail = static_cast<std::size_t>(end - p);
        if (tail > longestTreeLine + 1) {
            skipping = true;
            have = 0;
        } else {
            std::memmove(block, p, tail);
            have = tail;
        }
    }
}

}  // namespace vux
