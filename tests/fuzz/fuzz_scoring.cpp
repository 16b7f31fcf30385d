// scoreLine and the text operations over any tree lines and keys, under every
// combination of the switches, checked against a plain model of the scoring rules.
//
// Input: one byte of switches (bit 0 caseInsensitive, 1 exactOnly, 2 wildcardKey,
// 3 rescanned, 4 noRescan, 5 score through scoreLineN with the lengths), then
// lines separated by LF: the key, the current directory, the tree lines. Keys and
// lines are cut to what the search hands over: the key at its first NUL and 259
// characters, a tree line at 259 characters (it may hold NUL bytes).
//
// No drive is set up, so the change that an exact match after the current
// directory makes fails without touching anything.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "fuzz_support.h"
#include "run_reset.h"
#include "search/match_score.h"

namespace {

char fold(char c) {
    return vux::caseInsensitive != 0 && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

std::size_t lastStart(const std::string& text) {
    for (std::size_t i = text.size(); i > 1; --i) {
        if (text[i - 1] == '\\') return i;
    }
    return 0;
}

// The scoring rules written out plainly, over whole strings.
struct Model {
    std::string path;
    int isPartial = 0;
    int partialLength = 0;
    int isExact = 0;
    int afterCurrent = 0;

    void take(const std::string& line, bool partial, int p) {
        path = line;
        isPartial = partial ? 1 : 0;
        partialLength = p;
    }

    // 1 when the line is an exact match after the current directory.
    int score(const std::string& line, const std::string& key, int passedCurrent) {
        if (line.find('\0') != std::string::npos) return 0;
        bool partialOn = (vux::rescanned != 0 || vux::noRescan != 0) && vux::exactOnly == 0 && isExact == 0 &&
                         (isPartial != 0 || path.empty());
        std::size_t lineLast = lastStart(line);
        std::size_t keyLast = lastStart(key);
        std::size_t ll = line.size() - lineLast;
        std::size_t kl = key.size() - keyLast;
        if (ll == 0) return 0;
        if (!partialOn && ll < kl) return 0;
        bool exactCapable = vux::wildcardKey == 0 && ll == kl;
        std::string text;
        if (keyLast == 0) {
            text = line.substr(lineLast);
        } else {
            std::size_t head = key.size() - kl;
            if (ll < kl || lineLast < head) return 0;
            text = line.substr(lineLast - head);
        }
        bool whole = text.size() >= key.size();
        for (std::size_t i = 0; whole && i < key.size(); ++i) whole = fold(text[i]) == fold(key[i]);
        bool exact = whole && exactCapable;
        int p = 0;
        if (!whole) {
            if (!partialOn) return 0;
            std::size_t n = text.size() < key.size() ? text.size() : key.size();
            while (static_cast<std::size_t>(p) < n && fold(text[p]) == fold(key[p])) ++p;
            if (p == 0 || p < partialLength) return 0;
        }
        bool partial = !whole;
        if (passedCurrent != 0) {
            if (exact) {
                path.clear();
                return 1;
            }
            if (isExact != 0) return 0;
            if (partial && isPartial != 0 && afterCurrent != 0 && p == partialLength) return 0;
            if (afterCurrent != 0 && isPartial == 0) return 0;
            take(line, partial, p);
            afterCurrent = 1;
            return 0;
        }
        if (isExact != 0) return 0;
        if (exact) {
            take(line, false, 0);
            isExact = 1;
            return 0;
        }
        if (isPartial == 0 && !path.empty()) return 0;
        if (partial && isPartial != 0 && p == partialLength) return 0;
        take(line, partial, p);
        isExact = 0;
        return 0;
    }
};

void expectSame(const Model& model) {
    const vux::BestCandidate& best = vux::bestCandidate;
    if (model.path != best.path || model.isPartial != best.isPartial ||
        model.partialLength != best.partialLength || model.isExact != best.isExact ||
        model.afterCurrent != best.afterCurrent) {
        __builtin_trap();
    }
    if ((best.isExact != 0 && best.isPartial != 0) || (best.isExact != 0 && best.afterCurrent != 0)) {
        __builtin_trap();
    }
}

// The text operations against their plain definitions.
void checkTextOperations(const std::string& a, const std::string& b) {
    const char* x = a.c_str();
    const char* y = b.c_str();
    std::size_t xn = std::strlen(x);
    std::size_t yn = std::strlen(y);
    bool equal = xn == yn;
    for (std::size_t i = 0; equal && i < xn; ++i) equal = fold(x[i]) == fold(y[i]);
    if ((vux::compareText(x, y) == 0) != equal) __builtin_trap();
    if (vux::compareText(x, y) != vux::compareText(y, x)) __builtin_trap();
    if (vux::compareText(x, x) != 0) __builtin_trap();
    if ((vux::compareTextN(x, y, xn + 1) == 0) != equal) __builtin_trap();
    if (vux::compareTextN(x, y, 0) != 0) __builtin_trap();
    if (xn > 0 && yn > 0 && vux::sameChar(x[0], y[0]) != (fold(x[0]) == fold(y[0]) ? 1 : 0)) __builtin_trap();
    if (vux::isEmpty(x) != (xn == 0 ? 1 : 0) || vux::isEmpty(nullptr) != 1) __builtin_trap();
    if (vux::lastComponent(x) != x + lastStart(std::string(x, xn))) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::uint8_t switches = data[0];
    std::vector<std::string> pieces = fuzz::split(data + 1, size - 1, '\n');
    if (pieces.size() < 2) return 0;
    std::string key = pieces[0].substr(0, pieces[0].find('\0')).substr(0, vux::pathBufferSize - 1);
    std::string current = pieces[1].substr(0, pieces[1].find('\0')).substr(0, vux::pathBufferSize - 1);

    test_support::resetWholeRun();
    vux::caseInsensitive = switches & 1;
    vux::exactOnly = (switches >> 1) & 1;
    vux::wildcardKey = (switches >> 2) & 1;
    vux::rescanned = (switches >> 3) & 1;
    vux::noRescan = (switches >> 4) & 1;
    bool withLengths = ((switches >> 5) & 1) != 0;

    checkTextOperations(key, current);
    vux::clearBestCandidate();
    Model model;
    std::size_t firstSeparator = current.find('\\');
    int passed = firstSeparator != std::string::npos && firstSeparator + 1 == current.size() ? 1 : 0;
    for (std::size_t i = 2; i < pieces.size(); ++i) {
        std::string text = pieces[i].substr(0, vux::pathBufferSize - 1);
        if (!withLengths) text = text.substr(0, text.find('\0'));  // all that scoreLine can see
        std::vector<char> line(text.begin(), text.end());
        line.push_back('\0');
        int expected = model.score(text, key, passed);
        int result = 0;
        try {
            result = withLengths ? vux::scoreLineN(line.data(), text.size(),
                                                   vux::splitKey(key.c_str(), key.size()), passed)
                                 : vux::scoreLine(line.data(), key.c_str(), passed);
        } catch (const fuzz::RunEnded&) {
            // The change failed with no scan left to try: the run would end here.
            if (expected != 1) __builtin_trap();
            return 0;
        }
        if (result != expected) __builtin_trap();
        if (result != 0) return 0;
        expectSame(model);
        if (std::memcmp(line.data(), text.data(), text.size()) != 0)
            __builtin_trap();  // the line is not changed
        checkTextOperations(text, key);
        if (passed == 0 && text.size() == current.size() &&
            vux::compareText(line.data(), current.c_str()) == 0) {
            passed = 1;
        }
    }
    return 0;
}
