// Completion over a tree file: read in large blocks, each line's last component
// found from its end, the names kept once in a small open-addressing set.
#include "complete/complete_names.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/run_state.h"
#include "options/parser.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "search/match_score.h"
#include "tree/tree_lines.h"

namespace vux {

namespace {

constexpr std::size_t blockSize = 1024 * 1024;
char block[blockSize + 1];

// Names seen so far: their bytes one after another, and a table of slots holding
// an entry's index + 1 (0 for a free slot), at most half full.
class NameSet {
public:
    NameSet() : slots_(slotCount, 0) {}

    // True when the name was not in the set; it is then added.
    bool add(const char* name, std::size_t length) {
        std::uint64_t hash = 14695981039346656037ULL;
        for (std::size_t i = 0; i < length; ++i) {
            hash = (hash ^ static_cast<unsigned char>(name[i])) * 1099511628211ULL;
        }
        for (std::size_t slot = hash & (slotCount - 1);; slot = (slot + 1) & (slotCount - 1)) {
            std::uint32_t held = slots_[slot];
            if (held == 0) {
                entries_.push_back(Entry{bytes_.size(), length});
                bytes_.append(name, length);
                slots_[slot] = static_cast<std::uint32_t>(entries_.size());
                return true;
            }
            const Entry& entry = entries_[held - 1];
            if (entry.length == length && std::memcmp(bytes_.data() + entry.offset, name, length) == 0) {
                return false;
            }
        }
    }
    std::size_t size() const { return entries_.size(); }

private:
    static constexpr std::size_t slotCount = 32768;
    static_assert(slotCount >= 2 * mostNames, "the set must stay at most half full");
    struct Entry {
        std::size_t offset;
        std::size_t length;
    };
    std::vector<std::uint32_t> slots_;
    std::vector<Entry> entries_;
    std::string bytes_;
};

struct Completion {
    const char* key;  // separators made "\"
    std::size_t length;
    std::size_t head;  // where the key's last component begins
    std::size_t last;  // the length of the key's last component
    char firstUpper;
    char firstLower;
    const std::string* typed;
    std::size_t nameSkip;
    std::string* out;
    NameSet names;
    std::string prefixKey;  // the key offered for a name that holds white space
};

// Offers a name that fits the key; true once enough names have been found. The
// command line is split into words at white space, so a name holding some can't
// be typed as one key: it is offered as the prefix key that reaches it, the text
// before its first white space and "*", or not at all when that text is empty or
// shorter than the key's last component (the key holds white space itself).
bool offerName(Completion& c, const char* line, std::size_t length, std::size_t lastStart) {
    // A line with a NUL byte in it can't name a directory.
    if (std::memchr(line, '\0', length) != nullptr) return false;
    const char* name = line + lastStart;
    std::size_t nameLength = length - lastStart;
    const char* blank = std::find_if(name, name + nameLength, isWhiteSpace);
    if (blank != name + nameLength) {
        const std::size_t before = static_cast<std::size_t>(blank - name);
        if (before == 0 || before < c.last) return false;
        c.prefixKey.assign(name, before);
        c.prefixKey.push_back('*');
        name = c.prefixKey.data();
        nameLength = c.prefixKey.size();
    }
    name += c.nameSkip;
    nameLength -= c.nameSkip;
    if (c.names.add(name, nameLength)) {
        c.out->append(*c.typed);
        c.out->append(name, nameLength);
        c.out->push_back('\n');
    }
    return c.names.size() >= mostNames;
}

// Looks at one line (CR LF or LF already cut at the end): kept small, since it
// runs for every line and most lines fail its first tests.
inline bool takeLine(Completion& c, const char* line, std::size_t length) {
    if (length > 0 && line[length - 1] == '\r') --length;
    if (length > longestTreeLine || length < 2) return false;
    const std::size_t lastStart = lastComponentStart(line, length);
    const std::size_t lineLast = length - lastStart;
    if (lineLast == 0 || lineLast < c.last || lastStart < c.head) return false;
    const char* text = line + lastStart - c.head;
    if (c.length > 0 && text[0] != c.firstUpper && text[0] != c.firstLower) return false;
    if (compareTextN(text, c.key, c.length) != 0) return false;
    return offerName(c, line, length, lastStart);
}

}  // namespace

std::size_t completeNames(int file, const char* key, std::size_t keyLength, const std::string& typed,
                          std::size_t nameSkip, std::string& out) {
    std::string normal(key, keyLength);
    for (char& ch : normal) {
        if (ch == '/') ch = separator;
    }
    std::size_t head = normal.size() > 1 ? normal.find_last_of(separator) : std::string::npos;
    const std::size_t headLength = head == std::string::npos || head == 0 ? 0 : head + 1;
    Completion c{
        normal.c_str(), normal.size(), headLength,   normal.size() - headLength, 0, 0, &typed, nameSkip,
        &out,           NameSet(),     std::string()};
    if (c.nameSkip > c.last) c.nameSkip = c.last;  // never past a name's end
    if (c.length > 0) {
        char first = normal[0];
        c.firstUpper = caseInsensitive != 0 ? platform::upperAscii(first) : first;
        c.firstLower = caseInsensitive != 0 ? platform::lowerAscii(first) : first;
    }

    readTreeLines(file, block, blockSize,
                  [&c](const char* line, std::size_t length) { return takeLine(c, line, length); });
    return c.names.size();
}

}  // namespace vux
