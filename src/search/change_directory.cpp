// changeDirectory, the command batch, and the back and home handlers.
#include "search/change_directory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/shell_files.h"
#include "tree/data_files.h"
#include "tree/text_file.h"

namespace vux {

void formatCdLine(char* line, unsigned size, const char* target) {
    // & | < > ^ would end the cd command and start another; %…% would expand.
    bool quote = std::strpbrk(target, "&^%|<>\"") != nullptr;
    unsigned n = 0;
    auto put = [&](char c) {
        if (n + 1 < size) line[n++] = c;
    };
    for (const char* p = "cd "; *p != '\0'; ++p) put(*p);
    if (quote) put('"');
    for (const char* p = target; *p != '\0'; ++p) {
        put(*p);
        if (quote && *p == '%') put('%');
    }
    if (quote) put('"');
    put('\r');
    put('\n');
    line[n] = '\0';
}

namespace {

// The message ends in a line end of its own, so an empty line follows it: the
// system's own text for this failure, kept as it stands.
[[noreturn]] void commandBatchNotWritten(const char* path) {
    fatalError("Unable to open %s.\n", path, ExitCode::commandBatchNotOpened);
}

// Whether the shell stood in the program's own folder when the run began.
bool standsInProgramFolder() {
    const char* program = pathSet.programPath;
    const char* name = std::strrchr(program, '\\');
    if (name == nullptr) return false;
    // A root keeps its separator.
    std::size_t length = static_cast<std::size_t>(name - program) + (name - program == 2 ? 1 : 0);
    if (std::strlen(startDirectory) != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        if (platform::upperAscii(startDirectory[i]) != platform::upperAscii(program[i])) return false;
    }
    return true;
}

}  // namespace

namespace {

// Few in any run: each is a folder of the key's name that the user may not enter.
std::vector<std::string> skippedCandidates;

}  // namespace

bool isSkippedCandidate(const char* path, std::size_t length) {
    for (const std::string& skipped : skippedCandidates) {
        if (skipped.size() == length && std::memcmp(skipped.data(), path, length) == 0) return true;
    }
    return false;
}

const char* firstSkippedCandidate() {
    return skippedCandidates.empty() ? nullptr : skippedCandidates.front().c_str();
}

void clearSkippedCandidates() { skippedCandidates.clear(); }

void changeDirectory(const char* target, int explicitRequest) {
    if (target[0] != '\0' && platform::chDir(target) != 0) {
        // A match the user may not enter would stop every later match from being
        // reached, and a rescan can't mend it: the search goes on without it.
        if (explicitRequest == 0 && platform::isUnenterableFolder(target)) {
            skippedCandidates.emplace_back(target);
            return;
        }
        if (explicitRequest != 0 || rescanned != 0 || noRescan != 0) {
            fatalError("Unable to change to \"%s\".", target,
                       explicitRequest != 0 ? ExitCode::explicitChangeFailed : ExitCode::foundChangeFailed);
        }
        return;  // the search scans and tries again
    }

    if (backlogDisabled == 0) {
        TextWriter back;
        if (!back.open(pathSet.backFile))
            fatalError("Couldn't create \"%s\".", pathSet.backFile, ExitCode::backNotCreated);
        back.put(startDirectory);
        back.endLine();
        if (!back.close()) fatalError("Couldn't create \"%s\".", pathSet.backFile, ExitCode::backNotCreated);
    }

    std::string batch;
    if (keyDrive != 0) {
        batch += driveString;
        batch += "\r\n";
    } else if (target[0] != '\0' && target[1] == ':') {
        batch += target[0];
        batch += ":\r\n";
    }
    if (target[0] != '\0') {
        char shellTarget[2 * pathBufferSize];
        std::snprintf(shellTarget, sizeof shellTarget, "%s", target);
        unsigned shellPage = platform::toShellTarget(shellTarget, sizeof shellTarget);
        char line[4 * pathBufferSize + 16];
        formatCdLine(line, sizeof line, shellTarget);
        // A line the shell can read only in UTF-8 comes between two code page changes.
        if (shellPage != 0) batch += "chcp 65001 >nul\r\n";
        batch += line;
        if (shellPage != 0) {
            char restore[32];
            std::snprintf(restore, sizeof restore, "chcp %u >nul\r\n", shellPage);
            batch += restore;
        }
    }
    // Replaced whole, never rewritten in place: a shell already running the command
    // batch reads on from where it stood, and would run a torn line or spin on NUL
    // bytes. Unwritten (a full disk), the change would be reported but never made.
    char batchPath[pathBufferSize + 16];
    bool session = platform::sessionCommandBatch(pathSet.commandBatch, batchPath, sizeof batchPath);
    if (platform::replaceWholeFile(batchPath, batch.data(), batch.size()) != 0)
        commandBatchNotWritten(batchPath);

    char failed[pathBufferSize + 24];
    if (platform::writeShellChange(pathSet.commandBatch, !batch.empty(), failed, sizeof failed) != 0) {
        commandBatchNotWritten(failed);
    }
    // Typed in the program's own folder, the name ran the program without its wrapper
    // (no session says so), and nothing will run the change: the user hears why.
    if (!session && platform::shellPrefersProgramInItsFolder() && verbosityLevel < verbosityMute &&
        standsInProgramFolder()) {
        writeText(standardError,
                  "vux: The shell stays where it is: standing in the program's folder, cmd ran vux.exe "
                  "instead of vux.bat.\n");
    }
    changed = 1;
}

namespace {

// Back and home alike: the first line of the file, then the change.
void goToStoredDirectory(const char* path, ExitCode notOpened) {
    LineReader file;
    if (!file.open(path)) fatalError("Couldn't open \"%s\".", path, notOpened);
    char target[pathBufferSize];
    bool read = file.readLine(target, sizeof target);
    file.close();
    if (!read) return;
    std::size_t n = std::strlen(target);
    if (std::strchr(target, '\n') != nullptr) target[n - 1] = '\0';
    changeDirectory(target, 1);
}

}  // namespace

void goBack() { goToStoredDirectory(pathSet.backFile, ExitCode::backNotOpened); }

void goHome() { goToStoredDirectory(pathSet.homeFile, ExitCode::homeNotOpened); }

void defineHome(const char* argument) {
    // A POSIX shell hands over $PWD or ~ as a host path: the folder it names, on
    // whichever drive holds it.
    char given[pathBufferSize];
    bool taken = platform::hostToDrivePath(argument, given, sizeof given) == 0;
    char* home = taken ? platform::fullPath(nullptr, given, pathBufferSize) : nullptr;
    if (home == nullptr)
        fatalErrorChar("Illegal argument for option \"%chome\".", switchChar, ExitCode::illegalHome);
    TextWriter file;
    if (!file.open(pathSet.homeFile)) {
        std::free(home);
        fatalError("Couldn't create \"%s\".", pathSet.homeFile, ExitCode::homeNotCreated);
    }
    file.put(home);
    file.endLine();
    std::free(home);
    if (!file.close()) fatalError("Couldn't create \"%s\".", pathSet.homeFile, ExitCode::homeNotCreated);
}

}  // namespace vux
