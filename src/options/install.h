// The install: the configuration file from the command-line words, and the wrapper
// batch (plus, where the platform has them, the POSIX shell wrappers).
#pragma once

namespace vux {

// Writes vux.cfg from the command line's words but the install's own. Ends the run
// with 19 when a search key was given too, 20 when the file can't be created.
void writeConfigFile(int argumentCount, char** argumentVector);

// Writes vux.bat (and the host shells' wrappers) into the current directory. Ends
// the run with 8 when one of them can't be created.
void writeWrapperBatch();

}  // namespace vux
