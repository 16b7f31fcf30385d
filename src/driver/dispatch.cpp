// The dispatch loop and the end of a run without a search.
#include "driver/dispatch.h"

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "options/action_list.h"
#include "options/install.h"
#include "search/change_directory.h"
#include "search/search_loop.h"
#include "tree/tree_scan.h"

namespace vux {

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
            default: applyLookupSwitch(*action); break;
        }
    }
}

void applyLookupSwitch(const Action& action) {
    if (action.row->actionNumber == actions::caseSensitive) caseInsensitive = 0;
    if (action.row->actionNumber == actions::exactMatch) exactOnly = 1;
}

void endWithoutSearch(bool noArguments, const char* currentDirectory) {
    if (noArguments) {
        writeText(standardOutput, currentDirectory);
        writeText(standardOutput, "\n");
    }
    endRun(ExitCode::noSearch);
}

}  // namespace vux
