// The logic's only door to the operating system: drives, the current directory,
// listings, files, the environment and the two output streams. What carries a
// change into the host shells is in shell_files.h.
//
// The logic sees the world of the NT shell: drive numbers (1 = A), full paths such
// as C:\A\B, a remembered directory per drive, CR LF text files. Each backend gives
// it that world. Nothing here prints or ends the run: failures come back as -1 or
// nullptr with nothing changed, and the caller picks the message and the exit code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

constexpr std::size_t pathBufferSize = 260;
constexpr std::uint32_t directoryAttribute = 0x10;

// What start-up found wrong with the host before anything was touched.
enum class StartProblem { none, malformedDrives };

// Reads the host's drive set-up; called once, first thing.
StartProblem start();

// Replaces the words main received by those the logic reads, in the character set
// paths are handled in (where the host hands main another one). Called before start.
void takeArguments(int& count, char**& vector);

// Current drive number, 1 = A; 0 when the current directory can't be read.
int getDrive();

// Makes drive n's remembered directory (its root when none) current: 0 or -1.
int chDrive(int drive);

// Enters a full, rooted, drive-relative or relative path: 0 or -1, nothing changed
// on failure. The new directory is remembered for its drive.
int chDir(const char* path);

// Whether anything (file or folder) is at path.
bool fileExists(const char* path);

// After chDir of path failed: true when the folder is there (or can't even be
// looked at) but may not be entered, which no rescan can mend; false when it is gone.
bool isUnenterableFolder(const char* path);

// The current directory as a full path, or nullptr when it can't be read, lies on
// no drive, or doesn't fit size bytes.
char* getCwd(char* buffer, std::size_t size);

// Why getCwd fails, asked once it has: the directory can't be read, lies on no
// drive, has a name that can't be written as a path, or its path doesn't fit.
enum class CurrentDirectoryProblem { none, unreadable, onNoDrive, unwritableName, tooLong };
CurrentDirectoryProblem currentDirectoryProblem();

// The full path of path against the current drive state (see path_algebra.h), or
// nullptr. With no buffer the result is a new 260-byte buffer for the caller to free.
char* fullPath(char* buffer, const char* path, std::size_t size);

// The value of an environment variable, or nullptr when it is not set.
const char* getEnv(const char* name);

// Turns a host path handed over by the environment (argument 0, VUXDATADIR), or
// given where a POSIX shell hands one over (the path of define home, a skip.vux
// entry), into a drive path: 0, -1 when it lies on no drive, -2 when it doesn't fit.
// Text that is no host path is copied as it stands.
int hostToDrivePath(const char* text, char* buffer, std::size_t size);

// Whether the user may write into the folder at the drive path. A host that keeps
// a program's files beside it whatever the user may do answers true.
bool mayWriteFolder(const char* path);

// The folders of a user who may not write the program folder: the runtime folder,
// which holds the command batch and the change files, and the data folder, which
// holds the data files unless VUXDATADIR names one. Each is made when missing (the
// runtime folder with mode 0700, open to its owner alone); the data folder's
// failures are left to the first file opened there. ready: its drive path, ending
// in a separator, is in buffer. Otherwise buffer holds its path for the message,
// a drive path where there is one: refused (the runtime folder is another user's
// or others may write to it), notMade (the runtime folder can't be made, or the
// environment names no home for the data folder), onNoDrive (a host path), tooLong.
enum class UserFolder { runtime, data };
enum class UserFolderState { ready, refused, notMade, onNoDrive, tooLong };
UserFolderState userFolder(UserFolder which, char* buffer, std::size_t size);

// Where the running program really lies, for an argument 0 that names no folder
// (empty, or a bare name the shell found through PATH): its full path as the
// system gives it, on POSIX a host path (/proc/self/exe, or else the first
// executable called name in PATH). 0, or -1 when it can't be found or doesn't fit.
int moduleFileName(const char* name, char* buffer, std::size_t size);

// One found entry of a listing; name points into the listing and lives until the
// next call on it.
struct FoundEntry {
    std::uint32_t attributes;
    const char* name;
};

// What the walks of one drive must heed of the host's mounts: the folders that keep
// their line but are never entered (a kernel pseudo file system's mount point, another
// drive's root), where other file systems are mounted inside the drive, and of what
// kind each one is. Read from the host once, when made, by the scan that walks the
// drive or the search that asks of a folder, and handed to the walk's root; never
// changed after, so the threads of a scan may share it.
class DriveMounts {
public:
    explicit DriveMounts(int drive);
    DriveMounts(const DriveMounts&) = delete;
    DriveMounts& operator=(const DriveMounts&) = delete;
    ~DriveMounts();

    // Whether a scan keeps the folder at the full drive path as a line but lists
    // nothing below it, whatever it holds.
    bool listsNothingBelow(const char* drivePath) const;

    struct Table;  // the backend's own
    const Table& table() const { return *table_; }

private:
    std::unique_ptr<Table> table_;
};

struct Stamp;

// Starts listing the root of the drive drivePath names ("C:"), for a walk that
// mounts guides. Returns a listing handle and the first entry, or -1 when the root
// can't be entered or listed.
int findRoot(const DriveMounts& mounts, const char* drivePath, FoundEntry* entry);
// Starts listing the entry name of the open listing parent, whose full path is
// drivePath: a listing handle and the first entry, or -1 when the directory can't be
// entered or listed. Listings nest: the newest one is closed first. A symbolic link
// is never a directory, so a walk can't loop. seen is the folder's stamp when the
// caller has just taken it (stampEntry, openFolder), so that the backend needn't ask
// for it again.
int findFirst(int parent, const char* name, const char* drivePath, FoundEntry* entry,
              const Stamp* seen = nullptr);
// 0 and the next entry, or -1 at the end.
int findNext(int listing, FoundEntry* entry);
void findClose(int listing);

// What says whether a folder's list of entries can have changed since it was last
// seen: its identity, its change and modification times in nanoseconds (the change
// time is one no user can set back), and its link count.
struct Stamp {
    std::uint64_t device;
    std::uint64_t inode;
    std::int64_t changed;
    std::int64_t modified;
    std::uint64_t links;
    // Its file system keeps both times faithfully on every change of the folder
    // (asked only of a drive's root; a folder on the root's device shares it).
    bool faithful;
    // A mount point, a pseudo file system's or another drive's root: always listed.
    bool boundary;
};

// Stamps the entry name of the open listing parent, whose full path is drivePath,
// relative to the open parent: 0, or -1 when it is no directory, can't be asked, or
// the backend keeps no stamps (then nothing is reused and every folder is listed).
int stampEntry(int parent, const char* name, const char* drivePath, Stamp* stamp);
// Opens the root of the drive drivePath names for a walk that mounts guides, and
// stamps it (the one stamp that says whether it is faithful): a listing handle whose
// entries findNext reads from the start, or -1 when it can't be opened or stamped or
// the backend keeps no stamps.
int openRoot(const DriveMounts& mounts, const char* drivePath, Stamp* stamp);
// Opens a directory as findFirst does without reading any of its entries, so that
// its entries can be stamped by name, and stamps the folder itself from the open
// handle: a listing handle, or -1 when it can't be opened or stamped or the backend
// keeps no stamps. Without a stamp, for a folder known to be as the previous scan saw
// it, nothing is asked of it.
int openFolder(int parent, const char* name, const char* drivePath, Stamp* stamp);
// Opens, below the open listing ancestor, the folder at drivePath, whose path goes on
// from the ancestor's by relative (names joined by the separator), every folder on
// the way as the previous scan saw it: as openFolder without a stamp, in one step
// where the host allows it.
int openPassage(int ancestor, const char* relative, const char* drivePath);
// Stamping apart from every listing, on any thread: the handle of an open listing
// (no entry of it is read through it), the stamp of an entry of an open folder handle,
// a handle to stamp a folder's own entries by (the folder stamped too), and its
// closing. They return -1 where stampEntry and openFolder do; mounts are those the
// walk's root was opened with.
int listingHandle(int listing);
int stampAt(const DriveMounts& mounts, int handle, const char* name, const char* drivePath, Stamp* stamp);
int openStampedAt(const DriveMounts& mounts, int handle, const char* name, const char* drivePath,
                  Stamp* stamp);
void closeHandle(int handle);

// Whether the last findFirst that returned -1 failed to open its folder, rather than
// finding nothing to list there.
bool lastFindFailed();

// Files, by drive path (full or relative to the current drive state). Bytes go
// through unchanged; the text layer adds and drops the CR of each line end.
// A file opened for writing keeps its old bytes until closeWritten cuts it to what
// was written: emptying a file and rewriting it makes some file systems push it
// to disk at once, which would cost every run a wait.
enum class OpenMode { read, write };
int openFile(const char* path, OpenMode mode);
// Cuts a file opened for writing to length bytes and closes it: 0 or -1.
int closeWritten(int file, unsigned long long length);
long readFile(int file, char* buffer, std::size_t size);
int writeFile(int file, const char* data, std::size_t size);
// Reads or writes at a byte offset, leaving the file position alone: what readFile
// and writeFile return.
long readFileAt(int file, char* buffer, std::size_t size, unsigned long long offset);
int writeFileAt(int file, const char* data, std::size_t size, unsigned long long offset);
int closeFile(int file);
// Moves from over to, replacing what to named: 0 or -1.
int replaceFile(const char* from, const char* to);
int removeFile(const char* path);
// Writes a whole file by replacement: the bytes go to a temporary file beside it,
// which then replaces it, so a reader (a shell running it) sees the old bytes or the
// new ones, never a cut line or bytes that never landed: 0, or -1 with the file as
// it was and no temporary file left.
int replaceWholeFile(const char* path, const char* data, std::size_t size);

// Has the file removed should the run be interrupted (interrupt, hang-up or
// termination request) before releaseTemporaryFile, which releases every guarded
// file; two files at a time.
void guardTemporaryFile(const char* path);
void releaseTemporaryFile();

// The process's number, to name temporary files apart.
long processId();

// Raw writes to standard output (1) and standard error (2).
void writeStream(int stream, const char* data, std::size_t size);

// Rewrites the path of the directory just made current, as the command batch's cd
// line is to name it (at most size bytes with the terminator), into what the command
// shell can read there: unchanged, in the shell's character set, or another path to
// the same directory. Returns 0, or the shell's code page when the line must be read
// in UTF-8 instead, the shell switching there and back around it.
unsigned toShellTarget(char* text, std::size_t size);

// Rewrites the path of an existing file or folder (at most size bytes with the
// terminator) into what the command shell can read in a batch file: unchanged, in
// the shell's character set, or another path to the same file. False, the path as
// it was, where there is no such form.
bool toShellPath(char* text, std::size_t size);

// Rewrites a line read from a home, back or configuration file (at most size bytes
// with the terminator) into the character set paths are handled in, where an earlier
// version wrote it in another one.
void fromStoredText(char* text, std::size_t size);

// Whether standard output is a terminal (a console window), where a line can be
// rewritten in place.
bool standardOutputIsTerminal();

}  // namespace platform
