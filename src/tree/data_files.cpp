// The PathSet, computed once at start-up.
#include "tree/data_files.h"

#include <cstdio>
#include <cstring>

#include "driver/fatal.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"

namespace vux {

PathSet pathSet;

namespace {

// Copies a host path handed over by the environment as a drive path.
void takeHostPath(const char* text, char* buffer, const char* overlong, const char* offDrive) {
    int result = platform::hostToDrivePath(text, buffer, pathBufferSize);
    if (result == -2) fatalError(overlong, nullptr, ExitCode::overlongPath);
    if (result != 0) fatalError(offDrive, nullptr, ExitCode::badDriveSetUp);
}

void joinDataPath(char* buffer, const char* drive, const char* dir, const char* name, const char* ext) {
    if (platform::makePath(buffer, pathBufferSize, drive, dir, name, ext) != 0) {
        char file[16];
        std::snprintf(file, sizeof file, "%s.%s", name, ext);
        fatalError("The path of %s is longer than 259 characters.", file, ExitCode::overlongPath);
    }
}

// A bare name (no drive, no separator) is how a shell hands over a program it found
// through PATH: it says nothing of the folder, and taken as a file of the current
// folder it would put the command batch and the data files wherever the user stands.
bool hasFolderPart(const char* word) {
    return std::strpbrk(word, "\\/") != nullptr || (platform::isDriveLetter(word[0]) && word[1] == ':');
}

// The drive and directory parts of a folder's drive path, as splitPath gives them
// for a file in it: a separator and a dummy name make it name a folder either way.
void splitFolder(const char* folder, char (&drive)[3], char (&dir)[256], const char* overlong) {
    char value[pathBufferSize];
    std::size_t n = std::strlen(folder);
    bool endsInSeparator = n > 0 && platform::isSeparator(folder[n - 1]);
    const char* dummy = endsInSeparator ? "x.x" : "\\x.x";
    if (n + std::strlen(dummy) + 1 > pathBufferSize) fatalError(overlong, nullptr, ExitCode::overlongPath);
    std::memcpy(value, folder, n);
    std::memcpy(value + n, dummy, std::strlen(dummy) + 1);
    if (platform::splitPath(value, drive, dir) != 0) fatalError(overlong, nullptr, ExitCode::overlongPath);
}

// A folder of the user's own, for a program folder the user may not write.
void takeUserFolder(platform::UserFolder which, char (&drive)[3], char (&dir)[256]) {
    char folder[pathBufferSize];
    const char* overlong = "The path of the user's own folder for vux is longer than 259 characters.";
    switch (platform::userFolder(which, folder, sizeof folder)) {
        case platform::UserFolderState::ready: break;
        case platform::UserFolderState::refused:
            fatalError("The folder %s is another user's, or others may write to it.", folder,
                       ExitCode::commandBatchNotOpened);
        case platform::UserFolderState::notMade:
            if (which == platform::UserFolder::data) {
                fatalError("Neither VUXDATADIR, XDG_DATA_HOME nor HOME names a folder for the data files.",
                           nullptr, ExitCode::badDriveSetUp);
            }
            fatalError("Can't create the folder %s.", folder, ExitCode::commandBatchNotOpened);
        case platform::UserFolderState::onNoDrive:
            fatalError("The folder %s lies on no drive.", folder, ExitCode::badDriveSetUp);
        case platform::UserFolderState::tooLong: fatalError(overlong, nullptr, ExitCode::overlongPath);
    }
    splitFolder(folder, drive, dir, overlong);
}

}  // namespace

void computePathSet(const char* argument0) {
    char located[4096];
    const char* program = argument0;
    if (argument0 == nullptr || !hasFolderPart(argument0)) {
        if (platform::moduleFileName(argument0, located, sizeof located) != 0) {
            fatalError("The program's own path can't be found.", nullptr, ExitCode::overlongPath);
        }
        program = located;
    }
    char given[pathBufferSize];
    takeHostPath(program, given, "The program path is longer than 259 characters.",
                 "The program's folder lies on no drive.");
    if (platform::fullPath(pathSet.programPath, given, pathBufferSize) == nullptr) {
        fatalError("The program path can't be made into a full path of at most 259 characters.", nullptr,
                   ExitCode::overlongPath);
    }

    char programDrive[3];
    char programDir[256];
    if (platform::splitPath(pathSet.programPath, programDrive, programDir) != 0) {
        fatalError("The program path is longer than 259 characters.", nullptr, ExitCode::overlongPath);
    }
    joinDataPath(pathSet.commandBatch, programDrive, programDir, "dovux", "bat");

    char dataDrive[3];
    char dataDir[256];
    std::memcpy(dataDrive, programDrive, sizeof dataDrive);
    std::memcpy(dataDir, programDir, sizeof dataDir);

    // An install that several users share keeps the program where they can't write:
    // each user's command batch, change files and data files go to folders of their own.
    char programFolder[pathBufferSize];
    std::snprintf(programFolder, sizeof programFolder, "%s%s", programDrive, programDir);
    const bool shared = !platform::mayWriteFolder(programFolder);
    if (shared) {
        char runtimeDrive[3];
        char runtimeDir[256];
        takeUserFolder(platform::UserFolder::runtime, runtimeDrive, runtimeDir);
        joinDataPath(pathSet.commandBatch, runtimeDrive, runtimeDir, "dovux", "bat");
    }

    const char* dataValue = platform::getEnv("VUXDATADIR");
    if (dataValue != nullptr) {
        char value[pathBufferSize];
        const char* overlong = "VUXDATADIR is longer than 259 characters.";
        takeHostPath(dataValue, value, overlong, "VUXDATADIR names a host folder on no drive.");
        splitFolder(value, dataDrive, dataDir, overlong);
    } else if (shared) {
        takeUserFolder(platform::UserFolder::data, dataDrive, dataDir);
    }
    joinDataPath(pathSet.configFile, dataDrive, dataDir, "vux", "cfg");
    joinDataPath(pathSet.homeFile, dataDrive, dataDir, "home", "vux");
    joinDataPath(pathSet.backFile, dataDrive, dataDir, "back", "vux");
    char treeFile[pathBufferSize];
    joinDataPath(treeFile, dataDrive, dataDir, "dirtree", "x");
    std::memcpy(pathSet.dataDrive, dataDrive, sizeof dataDrive);
    std::memcpy(pathSet.dataDir, dataDir, sizeof dataDir);
}

void treeFilePath(char (&buffer)[pathBufferSize]) {
    const char letter[2] = {driveString[0], '\0'};
    platform::makePath(buffer, sizeof buffer, pathSet.dataDrive, pathSet.dataDir, "dirtree", letter);
}

}  // namespace vux
