// Start-up, dispatch and the end of a run.
#include "driver/start_up.h"

#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "options/action_list.h"
#include "options/install.h"
#include "options/option_table.h"
#include "platform/platform.h"
#include "search/change_directory.h"
#include "search/search_loop.h"
#include "tree/data_files.h"
#include "tree/text_file.h"
#include "tree/tree_scan.h"

namespace vux {

namespace {

[[noreturn]] void unusableCurrentDirectory() {
    fatalError(
        "The current directory can't be read, lies on no drive, or has a name that can't be written as a "
        "path.",
        nullptr, ExitCode::unusableCurrentDirectory);
}

}  // namespace

void startUp(int argumentCount, char** argumentVector) {
    std::memset(searchKey, 0, sizeof searchKey);
    if (platform::start() != platform::StartProblem::none) {
        fatalError(
            "VUXDRIVES is malformed: it takes entries X=/host/folder separated by \":\", each letter once.",
            nullptr, ExitCode::badDriveSetUp);
    }
    currentDrive = platform::getDrive();
    if (currentDrive == 0 || platform::getCwd(startDirectory, sizeof startDirectory) == nullptr) {
        unusableCurrentDirectory();
    }
    driveString[0] = static_cast<char>('@' + currentDrive);
    computePathSet(argumentCount > 0 ? argumentVector[0] : nullptr, currentDrive);

    // Emptied first, so a run that changes nothing leaves the shell where it is.
    TextWriter batch;
    if (!batch.open(pathSet.commandBatch)) {
        fatalError("Unable to open %s.", pathSet.commandBatch, ExitCode::commandBatchNotOpened);
    }
    batch.close();
    char failed[pathBufferSize + 8];
    if (platform::emptyShellChange(pathSet.commandBatch, failed, sizeof failed) != 0) {
        fatalError("Unable to open %s.", failed, ExitCode::commandBatchNotOpened);
    }

    addAction(bannerRow, "");
}

void dispatchActions(int argumentCount, char** argumentVector) {
    while (const Action* action = nextAction()) {
        switch (action->row->actionNumber) {
            case actions::install:
                writeConfigFile(argumentCount, argumentVector);
                writeWrapperBatch();
                endRun(ExitCode::noSearch);
            case actions::searchKey: setSearchKey(action->argument); break;
            case actions::disableBacklog: backlogDisabled = 1; break;
            case actions::back: goBack(); break;
            case actions::defineHome: defineHome(action->argument); break;
            case actions::home: goHome(); break;
            case actions::rescan: rescan(); break;
            case actions::noRescan: noRescan = 1; break;
            case actions::caseSensitive: caseInsensitive = 0; break;
            case actions::exactMatch: exactOnly = 1; break;
            default: break;
        }
    }
}

void finishRun(int argumentCount) {
    char currentDirectory[pathBufferSize];
    if (platform::getCwd(currentDirectory, sizeof currentDirectory) == nullptr) unusableCurrentDirectory();
    if (searchKey[0] == '\0') {
        if (argumentCount == 1) {
            writeText(standardOutput, currentDirectory);
            writeText(standardOutput, "\n");
        }
        endRun(ExitCode::noSearch);
    }
    runSearch(currentDirectory);
}

void defineHome(const char* argument) {
    char* home = platform::fullPath(nullptr, argument, pathBufferSize);
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
    file.close();
}

}  // namespace vux
