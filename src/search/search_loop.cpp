// setSearchKey and runSearch: the tree file read in large blocks, lines scored in
// place, never held whole.
#include "search/search_loop.h"

#include <cstring>

#include "driver/fatal.h"
#include "driver/run_state.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "search/change_directory.h"
#include "search/line_filter.h"
#include "search/listed_folder.h"
#include "search/match_score.h"
#include "tree/data_files.h"
#include "tree/tree_lines.h"
#include "tree/tree_scan.h"

namespace vux {

void setSearchKey(const char* word) {
    const char* key = word;
    if (word[0] != '\0' && platform::isDriveLetter(word[0]) && word[1] == ':') {
        char letter = platform::upperAscii(word[0]);
        driveString[0] = letter;
        keyDrive = letter - 64;
        if (platform::chDrive(keyDrive) != 0) {
            fatalError("Attempt to change to drive %s failed.", driveString, ExitCode::driveChangeFailed);
        }
        if (word[2] == '\0') {
            changeDirectory("", 1);
            return;
        }
        key = word + 2;
    }
    std::size_t n = std::strlen(key);
    if (n > pathBufferSize - 1) {
        fatalError("The search key is longer than 259 characters.", nullptr, ExitCode::overlongWord);
    }
    std::memcpy(searchKey, key, n + 1);
    if (n > 0 && searchKey[n - 1] == '*') {
        wildcardKey = 1;
        searchKey[n - 1] = '\0';
    }
}

namespace {

constexpr std::size_t blockSize = 256 * 1024;
char block[blockSize + 1];

struct Pass {
    const char* currentDirectory;
    std::size_t currentLength;
    KeyParts key;
    int passedCurrent;
    LineFilter filter;
};

// Scores one line (CR LF or LF already cut at the end); true to stop reading.
inline bool takeLine(Pass& pass, char* line, std::size_t length) {
    if (length > 0 && line[length - 1] == '\r') --length;
    if (length > longestTreeLine) return false;
    if (mayScore(pass.filter, line, length) && !isSkippedCandidate(line, length)) {
        line[length] = '\0';
        if (scoreLineN(line, length, pass.key, pass.passedCurrent) != 0) return true;
    }
    if (pass.passedCurrent == 0 && length == pass.currentLength &&
        compareTextN(line, pass.currentDirectory, length) == 0) {
        pass.passedCurrent = 1;
    }
    return false;
}

bool isDriveRoot(const char* path) {
    const char* first = std::strchr(path, separator);
    return first != nullptr && first[1] == '\0';
}

}  // namespace

void runSearch(const char* currentDirectory) {
    Pass pass{currentDirectory, std::strlen(currentDirectory), splitKey(searchKey, std::strlen(searchKey)), 0,
              LineFilter{}};
    // The folder a pass counts from when no scan lists the current directory.
    char listedFolder[pathBufferSize];
    bool askedListed = false;
    while (true) {
        changed = 0;
        pass.passedCurrent = 0;
        clearBestCandidate();
        pass.filter = makeLineFilter(pass.key, caseInsensitive != 0);

        char treeFile[pathBufferSize];
        treeFilePath(treeFile);
        int file = platform::openFile(treeFile, platform::OpenMode::read);
        if (file < 0 && rescanned == 0) {
            rescan();
            file = platform::openFile(treeFile, platform::OpenMode::read);
        }
        if (file < 0) fatalError("Can't open \"%s\".", treeFile, ExitCode::treeNotOpened);

        if (searchKey[0] == separator || searchKey[0] == '.') {
            // Not looked up: handed over as typed.
            platform::closeFile(file);
            changeDirectory(searchKey, 1);
            endRun(ExitCode::done);
        }

        if (isDriveRoot(pass.currentDirectory)) pass.passedCurrent = 1;
        readTreeLines(file, block, blockSize,
                      [&pass](char* line, std::size_t length) { return takeLine(pass, line, length); });
        platform::closeFile(file);

        if (pass.passedCurrent == 0 && !askedListed) {
            // No scan can give such a folder a line (a dot-folder, one below a skipped
            // folder): the pass counts from the nearest folder that has one instead.
            // Until the current line is met nothing is changed to, so the pass can
            // start again.
            askedListed = true;
            if (nearestListedFolder(currentDirectory, listedFolder)) {
                pass.currentDirectory = listedFolder;
                pass.currentLength = std::strlen(listedFolder);
                continue;
            }
        }
        if (pass.passedCurrent == 0) {
            if (rescanned != 0 || noRescan != 0) {
                fatalError("The current working directory can't be found.", nullptr,
                           ExitCode::currentDirectoryNotInTree);
            }
            rescan();
            continue;
        }
        if (bestCandidate.path[0] != '\0') {
            changeDirectory(bestCandidate.path, 0);
            // Passed over as one that can't be entered: the next pass finds the next.
            if (changed == 0 && isSkippedCandidate(bestCandidate.path, std::strlen(bestCandidate.path)))
                continue;
        }
        if (changed == 0 && firstSkippedCandidate() != nullptr) {
            fatalError("Unable to change to \"%s\".", firstSkippedCandidate(), ExitCode::foundChangeFailed);
        }
        if (changed == 0) {
            if (noRescan == 0 && rescanned == 0) {
                rescan();
                continue;
            }
            fatalError("No match found for \"%s\".", searchKey, ExitCode::noMatch);
        }
        endRun(ExitCode::done);
    }
}

}  // namespace vux
