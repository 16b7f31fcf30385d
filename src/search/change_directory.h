// The hand-over of a directory to the calling shell: enter it to prove it exists,
// record the directory being left in the back file, write the command batch.
#pragma once

namespace vux {

// target: a path of at most 259 characters, possibly empty (the drive line alone).
// explicitRequest: the user named the target (back, home, a drive, a path key);
// clear for a search result, whose failure may be retried after a scan.
void changeDirectory(const char* target, int explicitRequest);

void goBack();
void goHome();

// The cd line for a target: as it stands, or quoted with "%" doubled when it holds
// a character the NT shell would act on. Writes at most size bytes, terminated.
void formatCdLine(char* line, unsigned size, const char* target);

}  // namespace vux
