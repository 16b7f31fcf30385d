// skip.vux: read once a scan, asked once a folder.
#include "tree/skip_list.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/fatal.h"
#include "driver/run_state.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "search/match_score.h"
#include "tree/data_files.h"
#include "tree/text_file.h"

namespace vux {

namespace {

enum class EntryKind { name, prefix, path };

struct Entry {
    EntryKind kind;
    std::string text;  // a path with "\" separators and an upper-case drive letter
};

std::vector<Entry> entries;

bool sameTextNoCase(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (platform::upperAscii(a[i]) != platform::upperAscii(b[i])) return false;
    }
    return true;
}

enum class Fault { unreadable, overlong, noForm, onNoDrive };

[[noreturn]] void badSkipFile(const char* file, unsigned long line, Fault fault) {
    char message[2 * pathBufferSize];
    switch (fault) {
        case Fault::overlong:
            std::snprintf(message, sizeof message, "Line %lu of \"%s\" is longer than 259 characters.", line,
                          file);
            break;
        case Fault::noForm:
            std::snprintf(message, sizeof message,
                          "Line %lu of \"%s\" is not a folder name, a name*, or a full path.", line, file);
            break;
        case Fault::onNoDrive:
            std::snprintf(message, sizeof message, "Line %lu of \"%s\" names a host folder on no drive.",
                          line, file);
            break;
        case Fault::unreadable:
            std::snprintf(message, sizeof message, "Can't read \"%s\" (line %lu).", file, line);
            break;
    }
    fatalError("%s", message, ExitCode::badSkipFile);
}

// One line, its line end cut off: blank, a comment, or an entry. An entry that
// names no folder is a fault, never passed over: the user would see the tree
// unchanged and not know why.
void addEntry(std::string text, const char* file, unsigned long number) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || text[first] == '#') return;
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (text[0] == '/') {
        // A host path where the host has them; copied as it stands where it has none.
        char drivePath[pathBufferSize];
        int result = platform::hostToDrivePath(text.c_str(), drivePath, sizeof drivePath);
        if (result == -2) badSkipFile(file, number, Fault::overlong);
        if (result != 0) badSkipFile(file, number, Fault::onNoDrive);
        text = drivePath;
    }
    for (char& c : text) {
        if (c == '/') c = separator;
    }
    const std::size_t star = text.find('*');
    if (platform::isDriveLetter(text[0]) && text.size() >= 3 && text[1] == ':' && text[2] == separator &&
        star == std::string::npos) {
        text[0] = platform::upperAscii(text[0]);
        while (text.size() > 3 && text.back() == separator) text.pop_back();
        entries.push_back(Entry{EntryKind::path, text});
    } else if (text.find(separator) == std::string::npos &&
               (star == std::string::npos || star == text.size() - 1)) {
        bool prefix = star != std::string::npos;
        if (prefix) text.pop_back();
        entries.push_back(Entry{prefix ? EntryKind::prefix : EntryKind::name, text});
    } else {
        badSkipFile(file, number, Fault::noForm);
    }
}

}  // namespace

void loadSkipList() {
    entries.clear();
    char file[pathBufferSize];
    if (platform::makePath(file, sizeof file, pathSet.dataDrive, pathSet.dataDir, "skip", "vux") != 0) return;
    LineReader reader;
    if (!reader.open(file)) {
        if (!platform::fileExists(file)) return;
        badSkipFile(file, 1, Fault::unreadable);
    }
    char piece[pathBufferSize + 2];
    std::string line;
    unsigned long number = 1;
    while (reader.readLine(piece, sizeof piece)) {
        line += piece;
        bool ended = !line.empty() && line.back() == '\n';
        if (ended) line.pop_back();
        if (line.size() > pathBufferSize - 1) {
            badSkipFile(file, number, Fault::overlong);
        }
        if (!ended) continue;
        addEntry(line, file, number);
        line.clear();
        ++number;
    }
    if (!line.empty()) addEntry(line, file, number);
}

bool skipsBelow(const char* path, std::size_t length) {
    if (entries.empty()) return false;
    const char* name = lastComponent(path);
    const std::size_t nameLength = length - static_cast<std::size_t>(name - path);
    for (const Entry& entry : entries) {
        const std::string& t = entry.text;
        switch (entry.kind) {
            case EntryKind::name:
                if (t.size() == nameLength && sameTextNoCase(t.data(), name, nameLength)) return true;
                break;
            case EntryKind::prefix:
                if (t.size() <= nameLength && sameTextNoCase(t.data(), name, t.size())) return true;
                break;
            case EntryKind::path:
                if (t.size() == length && sameTextNoCase(t.data(), path, length)) return true;
                break;
        }
    }
    return false;
}

}  // namespace vux
