// writeConfigFile and writeWrapperBatch.
#include "options/install.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "options/action_list.h"
#include "platform/path_algebra.h"
#include "platform/platform.h"
#include "platform/shell_files.h"
#include "platform/text_template.h"
#include "tree/data_files.h"
#include "tree/text_file.h"

namespace vux {

namespace {

bool isOptionWord(const char* word) { return word[0] == switchChar || (switchChar == '/' && word[0] == '-'); }

bool isInstallWord(const char* word) {
    char upper[8];
    std::size_t n = std::strlen(word + 1);
    if (n != 4 && n != 7) return false;
    for (std::size_t i = 0; i <= n; ++i) upper[i] = platform::upperAscii(word[1 + i]);
    return std::strcmp(upper, "INST") == 0 || std::strcmp(upper, "INSTALL") == 0;
}

// clang-format off
// The NT branch gives each window a command batch of its own, so that a run in one
// window can't rewrite the change another is about to run: a session id drawn from
// %RANDOM% and made unique by the atomic mkdir of a claim folder (windows started in
// the same second draw the same numbers, so a refused claim draws again), given to
// the program in VUXSESSION; with no claim to be had, the shared command batch. The
// directory change must outlive the batch, so there is no setlocal: every variable
// it sets is cleared on the last line, whose %VUXRC% is read before the line runs.
// ERRORLEVEL is reset before mkdir, which may leave an earlier code standing. 127
// (done, nothing searched) ends as 0, so a batch file reads it as success.
const char* const wrapperBatch =
R"(@echo off
if not "Windows_NT"=="%OS%" goto DOS
set VUXTRIES=0
set VUXSESSION=
if not defined TEMP goto VuxRun
:VuxClaim
set /a VUXTRIES+=1
set VUXSESSION=%RANDOM%
(call )
mkdir "%TEMP%\vux.%VUXSESSION%" 2>nul
if not errorlevel 1 goto VuxRun
set VUXSESSION=
if %VUXTRIES% lss 20 goto VuxClaim
:VuxRun
set VUXTRIES=
@PROGRAM@ %*
set VUXRC=%ERRORLEVEL%
if not defined VUXSESSION call @BATCH@
if defined VUXSESSION if exist @SESSION_BATCH@ call @SESSION_BATCH@
if defined VUXSESSION if exist @SESSION_BATCH@ del @SESSION_BATCH@
if defined VUXSESSION rmdir "%TEMP%\vux.%VUXSESSION%"
if "%VUXRC%"=="127" set VUXRC=0
set VUXSESSION=&set VUXRC=&exit /b %VUXRC%
:DOS
@DOSPROGRAM@.exe %1 %2 %3 %4 %5 %6 %7 %8 %9
@DOSBATCH@
)";
// clang-format on

// A path in double quotes whatever it holds, every % doubled so the batch yields it
// whole, followed inside the quotes by tail as it stands (which may name a variable).
std::string quotedBatchWord(const std::string& path, const std::string& tail) {
    std::string quoted = "\"";
    for (char c : path) {
        quoted += c;
        if (c == '%') quoted += '%';
    }
    return quoted + tail + "\"";
}

// A path as cmd.exe must read it on a line of the wrapper: one that holds a blank or
// a character cmd treats specially goes in double quotes; any other stays exactly as
// it is.
std::string batchWord(const std::string& path) {
    if (path.find_first_of(" &^|<>()%") == std::string::npos) return path;
    return quotedBatchWord(path, "");
}

}  // namespace

void writeConfigFile(int argumentCount, char** argumentVector) {
    if (findAction(actions::searchKey) != nullptr) {
        fatalError("No search key may be specified when installing", nullptr, ExitCode::keyWithInstall);
    }
    TextWriter config;
    if (!config.open(pathSet.configFile))
        fatalError("Can't create file vux.cfg", nullptr, ExitCode::configNotCreated);
    if (verbosityLevel < verbosityQuiet) writeText(standardOutput, "vux: Creating new vux.cfg\n");
    int written = 0;
    for (int i = 1; i < argumentCount; ++i) {
        const char* word = argumentVector[i];
        if (isOptionWord(word)) {
            if (isInstallWord(word)) continue;
            if (written > 0) config.endLine();
        }
        config.put(word);
        config.put(" ", 1);
        ++written;
    }
    if (argumentCount - 1 >= 2) config.endLine();
    config.close();
}

void writeWrapperBatch() {
    TextWriter batch;
    if (!batch.open("vux.bat"))
        fatalError("Attempt to create \"vux.bat\" failed.", nullptr, ExitCode::wrapperNotCreated);
    if (verbosityLevel < verbosityQuiet) {
        writeText(standardOutput, "vux: Creating new vux.bat in current working directory.\n");
    }
    const std::string program = pathSet.programPath;
    // The line for a shell without Windows_NT names the program path cut by eight
    // characters, then ".exe": that is how the wrapper has always spelt it, and a
    // path of eight characters or fewer stays whole.
    const std::size_t cut = program.size() >= 8 ? program.size() - 8 : program.size();
    // The shell reads the paths in its own character set.
    char shellProgram[2 * pathBufferSize];
    std::snprintf(shellProgram, sizeof shellProgram, "%s", pathSet.programPath);
    platform::toShellPath(shellProgram, sizeof shellProgram);
    // The session's command batch lies beside the shared one; its folder exists even
    // where the shared one doesn't yet, and so has a form the shell can read.
    std::string batchPath = pathSet.commandBatch;
    std::size_t slash = batchPath.rfind('\\');
    std::string batchName = slash == std::string::npos ? batchPath : batchPath.substr(slash + 1);
    std::string batchStem = batchName.substr(0, batchName.rfind('.'));
    char shellFolder[2 * pathBufferSize];
    std::snprintf(shellFolder, sizeof shellFolder, "%s",
                  slash == std::string::npos ? "" : batchPath.substr(0, slash).c_str());
    if (shellFolder[0] != '\0') platform::toShellPath(shellFolder, sizeof shellFolder);
    std::string folder = shellFolder[0] == '\0' ? "" : std::string(shellFolder) + "\\";
    const std::string text = platform::fillTemplate(
        wrapperBatch, {{"@PROGRAM@", quotedBatchWord(shellProgram, "")},
                       {"@BATCH@", quotedBatchWord(folder + batchName, "")},
                       {"@SESSION_BATCH@", quotedBatchWord(folder + batchStem, ".%VUXSESSION%.bat")},
                       {"@DOSPROGRAM@", program.substr(0, cut)},
                       {"@DOSBATCH@", batchWord(folder + batchName)}});
    batch.putLines(text.c_str());
    batch.close();

    for (int i = 0; i < platform::shellWrapperCount(); ++i) {
        const char* name = platform::shellWrapperName(i);
        if (platform::writeShellWrapper(i, pathSet.programPath, pathSet.commandBatch) != 0) {
            fatalError("Attempt to create \"%s\" failed.", name, ExitCode::wrapperNotCreated);
        }
        if (verbosityLevel < verbosityQuiet) {
            writeFormatted(standardOutput, "vux: Creating new %s in current working directory.\n", name);
        }
    }
}

}  // namespace vux
