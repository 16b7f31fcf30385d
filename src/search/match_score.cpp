// scoreLine and the text operations it shares with the search.
#include "search/match_score.h"

#include <cstring>

#include "platform/path_algebra.h"
#include "search/change_directory.h"

namespace vux {

BestCandidate bestCandidate;

void clearBestCandidate() {
    bestCandidate.path[0] = '\0';
    bestCandidate.isPartial = 0;
    bestCandidate.partialLength = 0;
    bestCandidate.isExact = 0;
    bestCandidate.afterCurrent = 0;
}

namespace {

inline char folded(char c) { return caseInsensitive != 0 ? platform::upperAscii(c) : c; }

void hold(const char* line, std::size_t length, int partial, int p) {
    std::memcpy(bestCandidate.path, line, length);
    bestCandidate.path[length] = '\0';
    bestCandidate.isPartial = partial;
    bestCandidate.partialLength = p;
}

}  // namespace

int isEmpty(const char* text) { return text == nullptr || text[0] == '\0' ? 1 : 0; }

int sameChar(char a, char b) { return folded(a) == folded(b) ? 1 : 0; }

int compareTextN(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (folded(a[i]) != folded(b[i])) return 1;
        if (a[i] == '\0') return 0;
    }
    return 0;
}

int compareText(const char* a, const char* b) {
    for (std::size_t i = 0;; ++i) {
        if (folded(a[i]) != folded(b[i])) return 1;
        if (a[i] == '\0') return 0;
    }
}

const char* lastComponent(const char* path) { return path + lastComponentStart(path, std::strlen(path)); }

KeyParts splitKey(const char* key, std::size_t length) {
    return KeyParts{key, length, lastComponentStart(key, length)};
}

int scoreLine(char* line, const char* key, int passedCurrent) {
    return scoreLineN(line, std::strlen(line), splitKey(key, std::strlen(key)), passedCurrent);
}

int scoreLineN(char* line, std::size_t lineLength, const KeyParts& keyParts, int passedCurrent) {
    BestCandidate& best = bestCandidate;
    const char* key = keyParts.text;
    const std::size_t keyLength = keyParts.length;
    const std::size_t keyLastStart = keyParts.lastStart;
    const bool partialOn =
        partialMatchingAllowed() && best.isExact == 0 && (best.isPartial != 0 || best.path[0] == '\0');

    const std::size_t lineLastStart = lastComponentStart(line, lineLength);
    const std::size_t lineLast = lineLength - lineLastStart;
    const std::size_t keyLast = keyLength - keyLastStart;
    if (lineLast == 0) return 0;
    if (!partialOn && lineLast < keyLast) return 0;
    const bool exactCapable = wildcardKey == 0 && lineLast == keyLast;

    const char* text = line + lineLastStart;
    std::size_t textLength = lineLast;
    if (keyLastStart != 0) {
        // The key's head lies over the end of the line's head, separators aligned.
        const std::size_t keyHead = keyLength - keyLast;
        if (lineLast < keyLast || lineLastStart < keyHead) return 0;
        text -= keyHead;
        textLength += keyHead;
    }

    bool exact = false;
    bool partial = false;
    int p = 0;
    if (textLength >= keyLength && compareTextN(text, key, keyLength) == 0) {
        exact = exactCapable;
    } else {
        if (!partialOn) return 0;
        std::size_t limit = textLength < keyLength ? textLength : keyLength;
        std::size_t agree = 0;
        while (agree < limit && sameChar(text[agree], key[agree]) != 0) ++agree;
        p = static_cast<int>(agree);
        if (p == 0 || p < best.partialLength) return 0;
        partial = true;
    }

    // A line with a NUL byte in it can't name a directory.
    if (std::memchr(line, '\0', lineLength) != nullptr) return 0;

    if (passedCurrent != 0) {
        if (exact) {
            changeDirectory(line, 0);
            // Passed over: the pass goes on to the next match.
            if (changed == 0 && isSkippedCandidate(line, lineLength)) return 0;
            best.path[0] = '\0';
            return 1;
        }
        if (best.isExact != 0) return 0;
        if (partial && best.isPartial != 0 && best.afterCurrent != 0 && p == best.partialLength) return 0;
        if (best.afterCurrent != 0 && best.isPartial == 0) return 0;
        hold(line, lineLength, partial ? 1 : 0, p);
        best.afterCurrent = 1;
        return 0;
    }
    if (best.isExact != 0) return 0;
    if (exact) {
        hold(line, lineLength, 0, 0);
        best.isExact = 1;
        return 0;
    }
    if (best.isPartial == 0 && best.path[0] != '\0') return 0;
    if (partial && best.isPartial != 0 && p == best.partialLength) return 0;
    hold(line, lineLength, partial ? 1 : 0, p);
    best.isExact = 0;
    return 0;
}

}  // namespace vux
