// Completion: the names that Tab after `vux ` offers in the POSIX shells, served by
// vux itself when the wrapper sets VUXCOMPLETE=1 for that one call. It starts as a
// search starts, so it finds the same data folder (the program's folder, or
// VUXDATADIR), the same current drive (the current directory through VUXDRIVES) and
// the same switches of vux.cfg, and it reads the tree file that a search would read.
// It never scans, never writes a file and prints nothing but names, one per line;
// no tree file means nothing to offer.
//
//   VUXCOMPLETE=1 vux WORD [KEEP]
//
// WORD is the search key being typed, with or without a drive prefix (d:src); each
// name comes back as WORD's drive prefix and head as typed, then the name. KEEP, a
// count of characters at most WORD's length, leaves out that many characters at the
// start of every line: the part of the word that the shell keeps on its command line
// (bash replaces only the text after the last ":" or "=").
// Exit code 0, also with nothing to offer; 2 for bad arguments; otherwise vux's own
// code for what stopped it (107, 108, 106, 105, 11, or the configuration's 101 to
// 105), silently.
#include "complete/completion.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "complete/complete_names.h"
#include "driver/fatal.h"
#include "driver/run_state.h"
#include "driver/start_up.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "tree/data_files.h"

namespace vux {

bool completionAsked() {
    const char* mode = std::getenv("VUXCOMPLETE");
    return mode != nullptr && std::strcmp(mode, "1") == 0;
}

void serveCompletion(int argc, char** argv) {
    const char* word = argc >= 2 ? argv[1] : "";
    std::size_t keep = 0;
    bool badArguments = argc > 3;
    if (argc == 3) {
        char* end = nullptr;
        unsigned long value = std::strtoul(argv[2], &end, 10);
        badArguments = argv[2][0] < '0' || argv[2][0] > '9' || *end != '\0' || value > std::strlen(word);
        if (!badArguments) keep = value;
    }
    if (badArguments) {
        static const char usage[] =
            "vux: completion takes the word to complete and how much of it the shell keeps.\n";
        platform::writeStream(2, usage, sizeof usage - 1);
        endRun(ExitCode::badCompletionArguments);
    }
    // Option words and paths handed over as typed are not looked up.
    if (word[0] == switchChar || word[0] == '-') endRun(ExitCode::done);

    startUp(argc, argv, Caller::completion);

    const char* key = word;
    if (platform::isDriveLetter(word[0]) && word[1] == ':') {
        char letter = platform::upperAscii(word[0]);
        driveString[0] = letter;
        // As the search does: a relative data folder then lies on that drive.
        if (platform::chDrive(letter - 64) != 0) endRun(ExitCode::driveChangeFailed);
        key = word + 2;
    }
    std::size_t keyLength = std::strlen(key);
    if (key[0] == separator || key[0] == '.') endRun(ExitCode::done);
    if (keyLength > pathBufferSize - 1) endRun(ExitCode::overlongWord);

    // What the user typed up to the key's last separator stays as typed.
    std::size_t headEnd = 0;
    for (std::size_t i = 1; i < keyLength; ++i) {
        if (key[i] == separator || key[i] == '/') headEnd = i + 1;
    }
    std::string typed(word, static_cast<std::size_t>(key - word) + headEnd);
    // What the shell keeps comes off the typed part first, then off each name.
    std::size_t nameSkip = keep > typed.size() ? keep - typed.size() : 0;
    typed.erase(0, keep - nameSkip);

    char treeFile[pathBufferSize];
    treeFilePath(treeFile);
    int file = platform::openFile(treeFile, platform::OpenMode::read);
    if (file < 0) endRun(ExitCode::done);
    std::string out;
    completeNames(file, key, keyLength, typed, nameSkip, out);
    platform::closeFile(file);
    platform::writeStream(1, out.data(), out.size());
    endRun(ExitCode::done);
}

}  // namespace vux
