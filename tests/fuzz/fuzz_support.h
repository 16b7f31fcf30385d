// What the fuzz targets share: the exception that stands for the end of a run, a
// temporary drive to work in, and the splitting of an input into pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "throwing_fatal.h"

namespace fuzz {

// Thrown by the fuzz build's fatalError, fatalErrorChar and endRun: the run ended
// with this code. Each target catches it, so one process survives many runs.
using RunEnded = test_support::RunEnded;

// Sends standard output to /dev/null: the banner, the help screen and the fuzz
// build's error lines would only slow the fuzzer down. Standard error stays.
void silenceStandardOutput();

// A fresh host folder mapped as drive C (VUXDRIVES), the process standing in it,
// the platform started. Returns the folder's host path. Everything a target writes
// goes below it: no other drive exists, and a drive path can't climb above a root.
const std::string& makeTemporaryDrive();

// Rewinds the process into the temporary drive's root and restarts the platform,
// so each input begins with the same drive state.
void returnToTemporaryDrive();

// Splits data at each separator byte.
std::vector<std::string> split(const std::uint8_t* data, std::size_t size, char separator);

// Catches the heap blocks that a run leaves when its fatal error is thrown
// rather than ending the process (the parser's joined text, a display form):
// blocks allocated between watch and collect and not freed since.
class HeapWatch {
public:
    void watch();
    // Stops watching; frees every block still live for which keep is false.
    void collect(bool (*keep)(const void* block));
};

// Writes a host file whole.
void writeHostFile(const std::string& path, const std::string& content);

}  // namespace fuzz
