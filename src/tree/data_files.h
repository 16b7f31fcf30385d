// Where vux keeps its files: the command batch beside the program, and the
// configuration, home, back and tree files in the data directory (VUXDATADIR, or
// else the program directory).
#pragma once

#include "driver/run_state.h"

namespace vux {

struct PathSet {
    char programPath[pathBufferSize];
    char commandBatch[pathBufferSize];
    char configFile[pathBufferSize];
    char homeFile[pathBufferSize];
    char backFile[pathBufferSize];
    char treeFile[pathBufferSize];  // its last character is the drive letter
};

extern PathSet pathSet;

// Computes every path from argument 0 (nullptr or empty: the running program) and
// VUXDATADIR, against the current drive state. Ends the run with 106 when a path
// doesn't fit, 108 when a host path lies on no drive.
void computePathSet(const char* argument0, int drive);

// Makes the tree file's name end in the letter of the drive being searched.
void setTreeFileDrive(char letter);

}  // namespace vux
