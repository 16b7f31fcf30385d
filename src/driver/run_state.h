// The run state: process-wide plain values that the parts of one run share.
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

// Puts every value back to its start, for test fixtures.
void resetRunState();

}  // namespace vux
