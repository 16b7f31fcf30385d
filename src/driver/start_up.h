// The first steps of a run, before the options are parsed: the drive state, the
// PathSet, the emptied command batch and the banner action.
#pragma once

#include <cstddef>

namespace vux {

// Reads the drive state and computes the PathSet. Ends the run with 107 when the
// current directory is unusable, 108 or 106 for the drive set-up and paths, 5 when
// the command batch or the shell change file can't be emptied.
void startUp(int argumentCount, char** argumentVector);

// Reads the current directory into a path buffer. Ends the run with 107 when it
// can't be read, lies on no drive, or can't be written as a path.
void readCurrentDirectory(char* buffer, std::size_t size);

}  // namespace vux
