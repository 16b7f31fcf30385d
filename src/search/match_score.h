// Match scoring: whether one tree line fits the search key, and whether it beats
// the directory held so far. Exact before leading before partial; among equals the
// first after the current directory, else the first in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "driver/run_state.h"

namespace vux {

struct BestCandidate {
    char path[pathBufferSize];  // the held tree line; empty when nothing is held
    int isPartial;
    int partialLength;  // common beginning of a held partial match and the key
    int isExact;        // an exact match before the current directory, or it
    int afterCurrent;   // met after the current directory
};

extern BestCandidate bestCandidate;
void clearBestCandidate();

// Text operations that honour caseInsensitive (ASCII letters only).
int isEmpty(const char* text);
int compareText(const char* a, const char* b);
int compareTextN(const char* a, const char* b, std::size_t n);
int sameChar(char a, char b);
// The text after the last separator; the first character never counts as one.
const char* lastComponent(const char* path);

// Where text[0, length)'s last component begins: the position after its last
// separator, the first character aside, or 0 when there is none. Eight bytes are
// tested at a time, since this runs for every line a pass or a completion reads;
// only a word that holds a separator is looked at byte by byte.
inline std::size_t lastComponentStart(const char* text, std::size_t length) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t low = 0x7F7F7F7F7F7F7F7FULL;
    std::size_t i = length;
    for (; i >= 9; i -= 8) {
        std::uint64_t word;
        std::memcpy(&word, text + i - 8, 8);
        const std::uint64_t x = word ^ (ones * static_cast<unsigned char>(separator));  // separators become 0
        if ((~(((x & low) + low) | x | low)) != 0) break;
    }
    for (; i > 1; --i) {
        if (text[i - 1] == separator) return i;
    }
    return 0;
}

// The key taken apart once for a whole pass.
struct KeyParts {
    const char* text;
    std::size_t length;
    std::size_t lastStart;  // where its last component begins
};
KeyParts splitKey(const char* key, std::size_t length);

// Whether a pass may take partial matches at all: only once the tree file has been
// rewritten in this run, or with rescans switched off, and never with exact matching
// asked for. Read at the moment a line is scored, so a scan that starts within the
// pass (a missing tree file) counts; the scorer and the search's line filter both
// ask here.
inline bool partialMatchingAllowed() { return (rescanned != 0 || noRescan != 0) && exactOnly == 0; }

// Scores one tree line (no line end). Returns 1 when an exact match after the
// current directory has been handed to changeDirectory and reading must stop.
int scoreLine(char* line, const char* key, int passedCurrent);
// The same with the line's length and the key's parts known: the search's fast path.
int scoreLineN(char* line, std::size_t lineLength, const KeyParts& key, int passedCurrent);

}  // namespace vux
