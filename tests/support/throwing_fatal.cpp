// The fatal-error operations that throw the end of a run (see throwing_fatal.h).
#include "throwing_fatal.h"

#include <cstring>

#include "driver/output.h"

namespace vux {

void fatalError(const char* message, const char* argument, ExitCode code) {
    const char* text = argument == nullptr ? "" : argument;
    writeMessage(standardOutput, message, text, std::strlen(text));
    throw test_support::RunEnded{code};
}

void fatalErrorChar(const char* message, char argument, ExitCode code) {
    writeMessage(standardOutput, message, &argument, 1);
    throw test_support::RunEnded{code};
}

void endRun(ExitCode code) { throw test_support::RunEnded{code}; }

}  // namespace vux
