// The run state: process-wide plain values that the parts of one run share. The
// ones defined here are shared by several parts; the rest live beside the code
// that owns them and are listed below, so this file shows all a run holds.
#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace vux {

constexpr std::size_t pathBufferSize = platform::pathBufferSize;
constexpr char separator = '\\';
constexpr char switchChar = '/';

// Verbosity levels; -1 until the banner action fixes the level.
constexpr int verbosityUnset = -1;
constexpr int verbosityNormal = 0;
constexpr int verbosityQuiet = 1;
constexpr int verbosityMute = 2;

extern int currentDrive;                     // start-up: the drive current at start, 1 = A
extern char driveString[3];                  // start-up; a key's drive prefix replaces the letter
extern int keyDrive;                         // setSearchKey: the key's drive prefix, 0 for none
extern char startDirectory[pathBufferSize];  // start-up: the current directory at start
extern char searchKey[pathBufferSize];       // setSearchKey: the key without prefix and "*"
extern int wildcardKey;                      // setSearchKey: the key word ended in "*"
extern int caseInsensitive;                  // 1; "c[ase sensitive]" clears it
extern int exactOnly;                        // "ex[act match]" sets it
extern int backlogDisabled;                  // "disable backlog" sets it
extern int noRescan;                         // "n[orescan]" sets it
extern int rescanned;                        // every scan sets it; never reset
extern int changed;                          // changeDirectory sets it; the search clears it per pass
extern int verbosityLevel;                   // bannerValidator fixes it
extern int requestedVerbosity;               // verbosityHook: the last of v, q, m

// Process-wide state kept by its owner:
//   pathSet        tree/data_files.h      every data file's path, computed at start-up
//   actionList     options/action_list.h  the parser fills it, the dispatch loop drains it
//   useCounts      options/option_table.h how often each option row matched in this run
//   bestCandidate  search/match_score.h   the directory a search pass holds so far
//   the platform backend's own: remembered directories, open listings, the guarded
//   temporary file (reset by platform::start)

// Puts the values above back to their start, for tests that make many runs in one
// process (their support resets the owners' state listed above as well).
void resetRunState();

}  // namespace vux
