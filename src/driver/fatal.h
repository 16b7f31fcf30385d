// The exit codes of the whole program and the two fatal-error operations.
#pragma once

namespace vux {

enum class ExitCode : int {
    done = 0,  // a change was handed to the shell
    treeNotOpened = 1,
    badCompletionArguments = 2,  // completion's word and count don't fit together
    noMatch = 3,
    commandBatchNotOpened = 5,
    currentDirectoryNotInTree = 6,
    wrapperNotCreated = 8,
    explicitChangeFailed = 9,
    foundChangeFailed = 10,
    driveChangeFailed = 11,
    outOfMemory = 16,
    keyWithInstall = 19,
    configNotCreated = 20,
    treeNotCreated = 21,
    keyWithHome = 22,
    keyWithBack = 23,
    homeNotCreated = 24,
    homeNotOpened = 25,
    backNotOpened = 26,
    backNotCreated = 27,
    illegalHome = 28,
    tooManyActions = 100,
    unknownOption = 101,
    tooManyOccurrences = 102,
    overlongArgument = 103,
    overlongInput = 104,
    overlongWord = 105,
    overlongPath = 106,
    unusableCurrentDirectory = 107,
    badDriveSetUp = 108,
    badSkipFile = 109,
    noSearch = 127,
};

// Prints "vux: " + message + line end on standard error unless the level is mute,
// the message's one placeholder taking the argument, then ends the run.
[[noreturn]] void fatalError(const char* message, const char* argument, ExitCode code);
[[noreturn]] void fatalErrorChar(const char* message, char argument, ExitCode code);

// Ends the run with the code, streams flushed.
[[noreturn]] void endRun(ExitCode code);

}  // namespace vux
