// The POSIX shells' side of a change: dovux.sh beside the command batch, which the
// wrapper functions source after the program has run, and the wrappers vux.sh (the
// sh family), vux.fish and vux.csh (tcsh and csh) that an install writes. Every
// host path written into these files is quoted, so no folder name can run a command.
#include "platform/shell_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/host_files.h"
#include "platform/text_template.h"
#include "shell_templates.h"

namespace platform {

namespace {

using posix::hostPathOf;

// Writes a whole small file by host path: created or emptied. A write that fails
// (a full disk) leaves the file empty rather than cut to a length it never got.
bool writeHostFile(const std::string& host, const std::string& content) {
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = posix::writeAll(fd, content.data(), content.size());
    return closeWritten(fd, ok ? content.size() : 0) == 0 && ok;
}

// A host path quoted for sh: inside single quotes, a ' written as '\''. A \ is
// written outside the quotes too, as '\\', because fish sources dovux.sh as well and
// takes \' and \\ inside single quotes as escapes; written so, both shells read
// the same path, and a root's host folder such as /x\';cmd;# can't end the quotes.
std::string shQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else if (c == '\\') {
            out += "'\\\\'";
        } else {
            out += c;
        }
    }
    return out + "'";
}

// A host path quoted for fish: inside single quotes, \ and ' escaped.
std::string fishQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

// A host path quoted for csh and tcsh, which expand ! even inside single quotes and
// end a quoted word at a line end: inside single quotes, a ' written as '\'', a !
// as '\!', a \ as '\\' and a line end as \ and the line end.
std::string cshQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else if (c == '!') {
            out += "'\\!'";
        } else if (c == '\\') {
            out += "'\\\\'";
        } else if (c == '\n') {
            out += "\\\n";
        } else {
            out += c;
        }
    }
    return out + "'";
}

// The command batch's path without its extension: the change files are named from it.
std::string changeStem(const std::string& commandBatch) {
    std::string stem = commandBatch;
    std::size_t slash = stem.find_last_of("\\/");
    std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.erase(dot);
    return stem;
}

// The wrapper's shell: VUXSESSION when it holds 1 to 10 digits and nothing else.
std::string session() {
    const char* value = getEnv("VUXSESSION");
    if (value == nullptr) return "";
    std::size_t n = std::strlen(value);
    if (n < 1 || n > 10 || std::strspn(value, "0123456789") != n) return "";
    return value;
}

// A session of the csh wrapper, which can't read the sh form, asks for its own with
// VUXSHELL=csh: dovux.<id>.csh, one line cd and the folder quoted for csh.
bool cshSession() {
    const char* shell = getEnv("VUXSHELL");
    return shell != nullptr && std::strcmp(shell, "csh") == 0 && !session().empty();
}

// The change file beside the command batch: dovux.sh, or the session's own.
std::string changeName(const std::string& commandBatch) {
    std::string id = session();
    return changeStem(commandBatch) + (id.empty() ? "" : "." + id) + (cshSession() ? ".csh" : ".sh");
}

void copyFailedPath(const char* commandBatch, char* failedPath, std::size_t size) {
    // Reported as a drive path, in the form the command batch's own path has.
    if (size > 0) std::snprintf(failedPath, size, "%s", changeName(commandBatch).c_str());
}

}  // namespace

int emptyShellChange(const char* commandBatch, char* failedPath, std::size_t size) {
    return writeShellChange(commandBatch, false, failedPath, size);
}

int writeShellChange(const char* commandBatch, bool hasChange, char* failedPath, std::size_t size) {
    std::string host;
    std::string content;
    if (hasChange) {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) != nullptr)
            content = cshSession() ? "cd " + cshQuote(cwd) + "\n" : "cd -- " + shQuote(cwd) + "\n";
    }
    // A session's file exists only while it holds a change, so a run that ends
    // without one, or is interrupted, leaves nothing behind; a stale one is removed.
    bool ok = hostPathOf(changeName(commandBatch).c_str(), host);
    if (ok && content.empty() && !session().empty()) {
        ok = ::unlink(host.c_str()) == 0 || errno == ENOENT;
    } else if (ok) {
        // Replaced whole: a shell sourcing it meanwhile reads the old change or the new.
        ok = posix::replaceHostFile(host, content);
    }
    if (!ok) {
        copyFailedPath(commandBatch, failedPath, size);
        return -1;
    }
    return 0;
}

// dovux.bat is one shared file here whatever VUXSESSION says: no shell reads it.
bool sessionCommandBatch(const char* commandBatch, char* buffer, std::size_t size) {
    if (size > 0) std::snprintf(buffer, size, "%s", commandBatch);
    return false;
}

bool shellPrefersProgramInItsFolder() { return false; }

int shellWrapperCount() { return 3; }

const char* shellWrapperName(int index) {
    static const char* const names[] = {"vux.sh", "vux.fish", "vux.csh"};
    return names[index];
}

// The wrappers are vux.sh, vux.fish and vux.csh of the source tree, carried by the
// program. Each runs the program with VUXSESSION set to the id of the process that
// runs it, so that each reads and removes a change file of its own, and their
// completion asks the program beside them. The change file's folder is decided when
// the wrapper runs: the program's folder while the user may write it, else the
// user's runtime folder, as the program decides at its start-up. Every value filled
// in is a host path quoted for the file's shell.
int writeShellWrapper(int index, const char* programPath, const char* /*commandBatch*/) {
    std::string program;
    char cwd[4096];
    if (!hostPathOf(programPath, program) || ::getcwd(cwd, sizeof cwd) == nullptr) return -1;
    std::size_t slash = program.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : program.substr(0, slash);
    const char* const templates[] = {embedded::shWrapper, embedded::fishWrapper, embedded::cshWrapper};
    std::string (*const quotes[])(const std::string&) = {shQuote, fishQuote, cshQuote};
    auto quote = quotes[index];
    // The program itself serves completion, asked for by its environment.
    std::string completer = "VUXCOMPLETE=1 " + quote(program);
    // csh's alias reads its own file again to run the program.
    std::string self = std::string(cwd) + (cwd[1] == '\0' ? "" : "/") + shellWrapperName(index);
    std::string content = fillTemplate(templates[index], {{"@PROGRAM@", quote(program)},
                                                          {"@PROGRAM_DIR@", quote(folder)},
                                                          {"@COMPLETER@", completer},
                                                          {"@SELF@", quote(self)}});
    return writeHostFile(shellWrapperName(index), content) ? 0 : -1;
}

}  // namespace platform
