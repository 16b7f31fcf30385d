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
const char* const wrapperBatch =
R"(@echo off
if not "Windows_NT"=="%OS%" goto DOS
@PROGRAM@ %1 %2 %3 %4 %5 %6 %7 %8 %9
goto Do
:DOS
@DOSPROGRAM@.exe %1 %2 %3 %4 %5 %6 %7 %8 %9
:Do
@BATCH@
)";
// clang-format on

// A path as cmd.exe must read it on a line of the wrapper: one that holds a blank or
// a character cmd treats specially goes in double quotes, with every % doubled so
// the batch yields it whole; any other stays exactly as it is.
std::string batchWord(const std::string& path) {
    if (path.find_first_of(" &^|<>()%") == std::string::npos) return path;
    std::string quoted = "\"";
    for (char c : path) {
        quoted += c;
        if (c == '%') quoted += '%';
    }
    return quoted + "\"";
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
    // The shell reads lines 3 and 8 in its own character set.
    char shellProgram[2 * pathBufferSize];
    char shellBatch[2 * pathBufferSize];
    std::snprintf(shellProgram, sizeof shellProgram, "%s", pathSet.programPath);
    std::snprintf(shellBatch, sizeof shellBatch, "%s", pathSet.commandBatch);
    platform::toShellPath(shellProgram, sizeof shellProgram);
    platform::toShellPath(shellBatch, sizeof shellBatch);
    const std::string text = platform::fillTemplate(wrapperBatch, {{"@PROGRAM@", batchWord(shellProgram)},
                                                                   {"@DOSPROGRAM@", program.substr(0, cut)},
                                                                   {"@BATCH@", batchWord(shellBatch)}});
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
