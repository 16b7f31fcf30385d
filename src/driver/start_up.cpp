// Start-up: what a run reads and empties before it looks at a single option.
#include "driver/start_up.h"

#include <cstring>

#include "driver/dispatch.h"
#include "driver/fatal.h"
#include "driver/run_state.h"
#include "options/action_list.h"
#include "options/option_table.h"
#include "options/parser.h"
#include "platform/platform.h"
#include "platform/shell_files.h"
#include "tree/data_files.h"

namespace vux {

namespace {

// Says which of the causes holds; the last text stays for a directory that became
// usable again between the failure and the question.
[[noreturn]] void unusableCurrentDirectory() {
    const char* message =
        "The current directory can't be read, lies on no drive, or has a name that can't be written as a "
        "path.";
    switch (platform::currentDirectoryProblem()) {
        case platform::CurrentDirectoryProblem::unreadable:
            message = "The current directory can't be read.";
            break;
        case platform::CurrentDirectoryProblem::onNoDrive:
            message = "The current directory lies on no drive.";
            break;
        case platform::CurrentDirectoryProblem::unwritableName:
            message = "The current directory has a name that can't be written as a path.";
            break;
        case platform::CurrentDirectoryProblem::tooLong:
            message = "The current directory's path is longer than 259 characters.";
            break;
        case platform::CurrentDirectoryProblem::none: break;
    }
    fatalError(message, nullptr, ExitCode::unusableCurrentDirectory);
}

// At start-up the message has no line end of its own, unlike the same failure at a
// directory change.
[[noreturn]] void changeFileNotEmptied(const char* path) {
    fatalError("Unable to open %s.", path, ExitCode::commandBatchNotOpened);
}

}  // namespace

void startUp(int argumentCount, char** argumentVector, Caller caller) {
    // Completion ends without a word on the terminal, whatever stops it.
    if (caller == Caller::completion) verbosityLevel = verbosityMute;
    std::memset(searchKey, 0, sizeof searchKey);
    if (platform::start() != platform::StartProblem::none) {
        fatalError(
            "VUXDRIVES is malformed: it takes entries X=/host/folder separated by \":\", each letter once.",
            nullptr, ExitCode::badDriveSetUp);
    }
    currentDrive = platform::getDrive();
    if (currentDrive == 0) unusableCurrentDirectory();
    readCurrentDirectory(startDirectory, sizeof startDirectory);
    driveString[0] = static_cast<char>('@' + currentDrive);
    computePathSet(argumentCount > 0 ? argumentVector[0] : nullptr);

    if (caller == Caller::completion) {
        // The configuration's words alone: the completed word is not an option.
        readOptionWords(optionTable, switchChar, pathSet.configFile, 0, nullptr);
        for (int i = 0; i < actionList.count; ++i) applyLookupSwitch(actionList.actions[i]);
        return;
    }

    // Emptied first, so a run that changes nothing leaves the shell where it is; by
    // replacement, as a shell may be running it. A session's own command batch exists
    // only while it holds a change: a stale one is removed.
    char batch[pathBufferSize + 16];
    if (platform::sessionCommandBatch(pathSet.commandBatch, batch, sizeof batch)) {
        if (platform::removeFile(batch) != 0 && platform::fileExists(batch)) changeFileNotEmptied(batch);
    } else if (platform::replaceWholeFile(batch, "", 0) != 0) {
        changeFileNotEmptied(batch);
    }
    char failed[pathBufferSize + 24];
    if (platform::emptyShellChange(pathSet.commandBatch, failed, sizeof failed) != 0) {
        changeFileNotEmptied(failed);
    }

    addAction(bannerRow, "");
}

void readCurrentDirectory(char* buffer, std::size_t size) {
    if (platform::getCwd(buffer, size) == nullptr) unusableCurrentDirectory();
}

}  // namespace vux
