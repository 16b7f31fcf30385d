// The fatal-error operations of the fuzz build: the message is formatted as the
// program formats it (onto standard output, which the targets silence), then the
// end of the run is thrown instead of ending the process.
#include <cstring>

#include "driver/fatal.h"
#include "driver/output.h"
#include "fuzz_support.h"

namespace vux {

void fatalError(const char* message, const char* argument, ExitCode code) {
    const char* text = argument == nullptr ? "" : argument;
    writeMessage(standardOutput, message, text, std::strlen(text));
    throw fuzz::RunEnded{code};
}

void fatalErrorChar(const char* message, char argument, ExitCode code) {
    writeMessage(standardOutput, message, &argument, 1);
    throw fuzz::RunEnded{code};
}

void endRun(ExitCode code) { throw fuzz::RunEnded{code}; }

}  // namespace vux
