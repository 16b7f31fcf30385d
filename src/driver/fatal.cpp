// Fatal errors: one line on standard error, unless mute, then the exit code.
#include "driver/fatal.h"

#include <cstdlib>
#include <cstring>

#include "driver/output.h"
#include "driver/run_state.h"

namespace vux {

void fatalError(const char* message, const char* argument, ExitCode code) {
    if (verbosityLevel != verbosityMute) {
        const char* text = argument == nullptr ? "" : argument;
        writeMessage(standardError, message, text, std::strlen(text));
    }
    endRun(code);
}

void fatalErrorChar(const char* message, char argument, ExitCode code) {
    if (verbosityLevel != verbosityMute) writeMessage(standardError, message, &argument, 1);
    endRun(code);
}

void endRun(ExitCode code) { std::exit(static_cast<int>(code)); }

}  // namespace vux
