// Match scoring: whether one tree line fits the search key, and whether it beats
// the directory held so far. Exact before leading before partial; among equals the
// first after the current directory, else the first in the file.
#pragma once

#include <cstddef>

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
