// The host shells' side of a directory change. The command batch carries a change
// into the NT shell; a POSIX shell can't run it, so the POSIX backend keeps a change
// file beside it for sh, bash, zsh and fish, and the install writes their wrapper
// functions. On a system whose shell runs the command batch itself these do nothing
// and succeed.
#pragma once

#include <cstddef>

namespace platform {

// Empties the shell's change file beside the command batch: 0, or -1 and the
// file's path in failedPath. The file is dovux.sh, or dovux.<id>.sh when VUXSESSION
// holds the id (1 to 10 digits) of the process running the wrapper; a session's
// file is removed rather than emptied, since it exists only while it holds a change.
int emptyShellChange(const char* commandBatch, char* failedPath, std::size_t size);

// Writes the change to the current directory into that file (hasChange) or empties
// it: 0, or -1 and the file's path in failedPath.
int writeShellChange(const char* commandBatch, bool hasChange, char* failedPath, std::size_t size);

// The command batch this run writes, into buffer (at most size bytes with the
// terminator): where the shell runs the command batch itself and VUXSESSION holds the
// id of the wrapper's session (1 to 10 digits), that session's own dovux.<id>.bat
// beside commandBatch, which exists only while it holds a change; otherwise
// commandBatch. True for a session's own.
bool sessionCommandBatch(const char* commandBatch, char* buffer, std::size_t size);

// Whether the shell, asked for the program by its bare name in the program's folder,
// runs the program itself rather than the wrapper (the NT shell looks in the current
// folder before PATH), so that no change reaches it.
bool shellPrefersProgramInItsFolder();

// The shell wrapper files that an install writes besides vux.bat.
int shellWrapperCount();
const char* shellWrapperName(int index);

// Writes wrapper index into the current directory for the program programPath and
// the command batch commandBatch: 0 or -1.
int writeShellWrapper(int index, const char* programPath, const char* commandBatch);

}  // namespace platform
