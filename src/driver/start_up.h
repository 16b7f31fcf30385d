// The first steps of a run, before the options are parsed: the drive state, the
// PathSet, and for a search the emptied command batch and the banner action, for
// completion the configuration's switches that change a lookup.
#pragma once

#include <cstddef>

namespace vux {

// Who starts: a run of vux, or completion, which reads what a search would read and
// writes nothing.
enum class Caller { search, completion };

// Reads the drive state and computes the PathSet. For a search, then empties the
// command batch and the shell change file and adds the banner action; for
// completion, mutes every message and applies the configuration file's
// case-sensitive and exact-match switches, as a search would apply them. Ends the
// run with 107 when the current directory is unusable, 108 or 106 for the drive
// set-up and paths, 5 when the command batch or the shell change file can't be
// emptied, and as the parser does for the configuration's words.
void startUp(int argumentCount, char** argumentVector, Caller caller);

// Reads the current directory into a path buffer. Ends the run with 107 when it
// can't be read, lies on no drive, or can't be written as a path.
void readCurrentDirectory(char* buffer, std::size_t size);

}  // namespace vux
