// Definitions of the run state and its reset.
#include "driver/run_state.h"

#include <cstring>

namespace vux {

int currentDrive = 0;
char driveString[3] = {'X', ':', '\0'};
int keyDrive = 0;
char startDirectory[pathBufferSize];
char searchKey[pathBufferSize];
int wildcardKey = 0;
int caseInsensitive = 1;
int exactOnly = 0;
int backlogDisabled = 0;
int noRescan = 0;
int rescanned = 0;
int changed = 0;
int verbosityLevel = verbosityUnset;
int requestedVerbosity = verbosityUnset;

void resetRunState() {
    currentDrive = 0;
    std::memcpy(driveString, "X:", 3);
    keyDrive = 0;
    std::memset(startDirectory, 0, sizeof startDirectory);
    std::memset(searchKey, 0, sizeof searchKey);
    wildcardKey = 0;
    caseInsensitive = 1;
    exactOnly = 0;
    backlogDisabled = 0;
    noRescan = 0;
    rescanned = 0;
    changed = 0;
    verbosityLevel = verbosityUnset;
    requestedVerbosity = verbosityUnset;
}

}  // namespace vux
