// Where vux keeps its files: the command batch beside the program, and the
// configuration, home, back and tree files in the data directory (VUXDATADIR, or
// else the program directory). A user who may not write the program folder keeps
// the command batch in a runtime folder of their own, and without VUXDATADIR the
// data files in a data folder of their own.
#pragma once

#include "driver/run_state.h"

namespace vux {

struct PathSet {
    char programPath[pathBufferSize];
    char commandBatch[pathBufferSize];
    char configFile[pathBufferSize];
    char homeFile[pathBufferSize];
    char backFile[pathBufferSize];
    // The data folder's drive and directory, as splitPath gives them: where the
    // tree files lie, one per drive.
    char dataDrive[3];
    char dataDir[256];
};

extern PathSet pathSet;

// Computes every path from argument 0 (nullptr or empty: the running program) and
// VUXDATADIR, against the current drive state. Ends the run with 106 when a path
// doesn't fit, 108 when a host path lies on no drive, 5 when the user's runtime
// folder can't be made or is not the user's alone.
void computePathSet(const char* argument0);

// The tree file of the drive that driveString names: dirtree.<letter> in the data
// folder. Always fits a path buffer: start-up has checked the longest such name.
void treeFilePath(char (&buffer)[pathBufferSize]);

}  // namespace vux
