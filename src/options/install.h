// The install: the configuration file from the command-line words, and the wrapper
// batch (plus, where the platform has them, the POSIX shell wrappers).
#pragma once

namespace vux {

void writeConfigFile(int argumentCount, char** argumentVector);
void writeWrapperBatch();

}  // namespace vux
