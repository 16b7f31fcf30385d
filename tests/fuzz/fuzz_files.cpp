// The readers of the data files over any bytes (NUL, lone CR, no final line end,
// lines of thousands of characters): LineReader itself, the search reading a tree
// file, and the back and home files read for a change.
//
// Input: byte 0 picks the reader (bits 0-1: lines, tree file, back file, home
// file), bit 2 sets noRescan, bit 3 clears caseInsensitive, bits 4-5 pick the
// current directory; byte 1 sizes LineReader's buffer. For the tree file, the
// search key comes next, up to a byte 0x01. The rest is the file's content.
//
// The data files lie in C:\DATA on a temporary drive that also holds C:\A\B and
// C:\DOS; a search may scan that drive and change into its folders, nothing else.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "driver/start_up.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "run_reset.h"
#include "search/change_directory.h"
#include "search/search_loop.h"
#include "tree/data_files.h"
#include "tree/text_file.h"

namespace {

std::string root;

std::string host(const std::string& relative) { return root + "/" + relative; }

// Lines as LineReader must hand them out: CR LF read as LF, pieces of at most
// size - 1 characters up to and including LF.
std::vector<std::string> expectedPieces(const std::string& content, std::size_t size) {
    std::string stream;
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') continue;
        stream += content[i];
    }
    std::vector<std::string> pieces;
    std::size_t i = 0;
    while (i < stream.size()) {
        std::string piece;
        while (piece.size() + 1 < size && i < stream.size()) {
            piece += stream[i++];
            if (piece.back() == '\n') break;
        }
        pieces.push_back(piece);
    }
    return pieces;
}

void checkLineReader(const std::string& content, std::size_t size) {
    fuzz::writeHostFile(host("DATA/lines.txt"), content);
    vux::LineReader reader;
    if (!reader.open("C:\\DATA\\lines.txt")) __builtin_trap();
    std::vector<char> buffer(size + 1);
    for (const std::string& piece : expectedPieces(content, size)) {
        std::memset(buffer.data(), '\x7f', buffer.size());
        if (!reader.readLine(buffer.data(), size)) __builtin_trap();
        if (std::memcmp(buffer.data(), piece.data(), piece.size()) != 0 || buffer[piece.size()] != '\0' ||
            buffer[size] != '\x7f') {
            __builtin_trap();
        }
    }
    if (reader.readLine(buffer.data(), size)) __builtin_trap();
}

std::string shQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else if (c == '\\') {
            out += "'\\\\'";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string readHostFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) __builtin_trap();
    std::string text;
    char block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, n);
    std::fclose(file);
    return text;
}

// After a change the process stands in the target, and dovux.sh takes a shell
// there; a change to an empty target (a stored line that begins with NUL) has no
// lines, and then dovux.sh is empty too.
void checkChangeHandedOver() {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) __builtin_trap();
    if (std::strncmp(cwd, root.c_str(), root.size()) != 0) __builtin_trap();  // never left the drive
    bool hasLines = !readHostFile(host("DATA/dovux.bat")).empty();
    std::string expected = hasLines ? "cd -- " + shQuote(cwd) + "\n" : "";
    if (readHostFile(host("DATA/dovux.sh")) != expected) __builtin_trap();
}

bool isDocumentedEnd(vux::ExitCode code) {
    using vux::ExitCode;
    switch (code) {
        case ExitCode::done:
        case ExitCode::treeNotOpened:
        case ExitCode::noMatch:
        case ExitCode::currentDirectoryNotInTree:
        case ExitCode::explicitChangeFailed:
        case ExitCode::foundChangeFailed:
        case ExitCode::treeNotCreated:
        case ExitCode::overlongWord:
        case ExitCode::driveChangeFailed:
        case ExitCode::noSearch: return true;
        default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceStandardOutput();
    root = fuzz::makeTemporaryDrive();
    for (const char* dir : {"A", "A/B", "DOS", "DATA"}) ::mkdir(host(dir).c_str(), 0755);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    int reader = data[0] & 3;
    std::size_t bufferSize = 2 + data[1];
    std::string content(reinterpret_cast<const char*>(data) + 2, size - 2);
    if (reader == 0) {
        fuzz::returnToTemporaryDrive();
        checkLineReader(content, bufferSize);
        return 0;
    }

    static const char* const currents[] = {"", "A", "A/B", "DOS"};
    if (::chdir(host(currents[(data[0] >> 4) & 3]).c_str()) != 0) __builtin_trap();
    test_support::resetWholeRun();
    // The program's own start-up, as a run of vux from C:\DATA makes it.
    static char program[] = "C:\\DATA\\vux";
    char* arguments[] = {program, nullptr};
    try {
        vux::startUp(1, arguments, vux::Caller::search);
    } catch (const fuzz::RunEnded&) {
        __builtin_trap();
    }
    vux::noRescan = (data[0] >> 2) & 1;
    vux::caseInsensitive = ((data[0] >> 3) & 1) == 0 ? 1 : 0;

    std::string key;
    if (reader == 1) {
        std::size_t end = content.find('\x01');
        key = content.substr(0, end == std::string::npos ? 0 : end);
        content.erase(0, end == std::string::npos ? 0 : end + 1);
        key = key.substr(0, key.find('\0'));
    }
    const char* const files[] = {"", "DATA/dirtree.C", "DATA/back.vux", "DATA/home.vux"};
    fuzz::writeHostFile(host(files[reader]), content);
    try {
        if (reader == 1) {
            if (key.empty()) key = "B";
            vux::setSearchKey(key.c_str());
            char current[platform::pathBufferSize];
            if (platform::getCwd(current, sizeof current) == nullptr) __builtin_trap();
            vux::runSearch(current);
        } else if (reader == 2) {
            vux::goBack();
        } else {
            vux::goHome();
        }
        if (vux::changed != 0) checkChangeHandedOver();
    } catch (const fuzz::RunEnded& end) {
        if (!isDocumentedEnd(end.code)) __builtin_trap();
        if (end.code == vux::ExitCode::done) checkChangeHandedOver();
    }
    fuzz::returnToTemporaryDrive();
    return 0;
}
