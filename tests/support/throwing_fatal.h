// The fatal-error operations of the test and fuzz builds: the message is formatted
// as the program formats it, onto standard output, then the end of the run is
// thrown instead of ending the process, so one process survives many runs and a
// test can tell which code a run would have ended with.
#pragma once

#include "driver/fatal.h"

namespace test_support {

// Thrown by fatalError, fatalErrorChar and endRun: the run ended with this code.
struct RunEnded {
    vux::ExitCode code;
};

}  // namespace test_support
