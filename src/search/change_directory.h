// The hand-over of a directory to the calling shell: enter it to prove it exists,
// record the directory being left in the back file, write the command batch.
#pragma once

#include <cstddef>

namespace vux {

// target: a path of at most 259 characters, possibly empty (the drive line alone).
// explicitRequest: the user named the target (back, home, a drive, a path key);
// clear for a search result, whose failure may be retried after a scan.
// Sets changed on success. Ends the run with 9 (explicit) or 10 (after a scan, or
// with no rescan) when the target can't be entered, 27 or 5 when a file can't be
// written; a search result that is gone before any scan just returns, and one that
// is there but may not be entered is noted as skipped and returns.
void changeDirectory(const char* target, int explicitRequest);

// Search results that were there but could not be entered in this run: the search
// passes over them and goes on to the next match.
bool isSkippedCandidate(const char* path, std::size_t length);
// The first of them, or nullptr when there is none.
const char* firstSkippedCandidate();
void clearSkippedCandidates();

// Back and home: the first line of the back or home file, handed to changeDirectory.
// Ends the run with 26 (back) or 25 (home) when the file can't be opened.
void goBack();
void goHome();

// Writes the full path of argument to the home file. Ends the run with 28 when it
// has no full path, 24 when the home file can't be created.
void defineHome(const char* argument);

// The cd line for a target: as it stands, or quoted with "%" doubled when it holds
// a character the NT shell would act on. Writes at most size bytes, terminated.
void formatCdLine(char* line, unsigned size, const char* target);

}  // namespace vux
