// The POSIX shells' side of a change: dovux.sh beside the command batch, which the
// wrapper functions source after the program has run, and the wrappers vux.sh (sh,
// bash, zsh) and vux.fish that an install writes. Every host path written into
// these files is quoted, so no folder name can run a command.
#include "platform/shell_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/host_files.h"
#include "platform/text_template.h"

namespace platform {

namespace {

using posix::hostPathOf;

// clang-format off
const char* const shWrapper =
R"(# vux for sh, bash and zsh: source this file from the shell's start-up file.
# The function runs vux, then takes the shell to the directory it chose.
vux() {
    @PROGRAM@ "$@"
    set -- "$?"
    case $1 in
        0|127) [ -f @CHANGE@ ] && . @CHANGE@ ;;
    esac
    return "$1"
}
)";

const char* const fishWrapper =
R"(# vux for fish: source this file from config.fish.
# The function runs vux, then takes the shell to the directory it chose.
function vux
    @PROGRAM@ $argv
    set -l vux_status $status
    if contains -- $vux_status 0 127; and test -f @CHANGE@
        source @CHANGE@
    end
    return $vux_status
end
)";

// Tab completion, appended after the functions: the names come from vux-complete
// beside the program, which reads the tree file a search would read. Names reach
// the command line only as data, quoted by the shell for insertion; nothing here
// evaluates them. Plain sh stops reading the file before the block's first line
// that only bash and zsh can parse.
const char* const shCompletion =
R"SH(
# Tab after vux offers the folders of the tree file whose names begin with the word.
# Shells other than bash and zsh read no further.
[ -n "${BASH_VERSION-}${ZSH_VERSION-}" ] || return 0
if [ -n "${BASH_VERSION-}" ]; then
    _vux_complete() {
        local -
        local IFS=$'\n' line="${COMP_LINE:0:COMP_POINT}" raw="${COMP_WORDS[COMP_CWORD]}" i="$COMP_CWORD"
        local breaks head word="" quote="" c next j=0 keep=0 out all
        local -a names
        COMPREPLY=()
        # bash splits d:src at the colon: the pieces that touch the word join it again.
        [[ $line == *"$raw" ]] || return 0
        line=${line%"$raw"}
        while [ "$i" -gt 1 ] && [[ $line != *[[:space:]] && $line == *"${COMP_WORDS[i - 1]}" ]]; do
            i=$((i - 1))
            raw=${COMP_WORDS[i]}$raw
            line=${line%"${COMP_WORDS[i]}"}
        done
        # bash replaces only the text after the last character that splits words.
        breaks=${COMP_WORDBREAKS-}
        breaks=${breaks//[[:space:]\"\']/}
        head=$raw
        [ -z "$breaks" ] || head=${raw##*["$breaks"]}
        head=${raw%"$head"}
        # The word as the shell will hand it over, quotes and backslashes taken off;
        # keep: how much of it stays on the line.
        while [ "$j" -lt "${#raw}" ]; do
            [ "$j" -ne "${#head}" ] || keep=${#word}
            c=${raw:j:1}
            j=$((j + 1))
            case $quote$c in
                "''" | '""') quote="" ;;
                "'"?) word=$word$c ;;
                "'" | '"') quote=$c ;;
                '\' | '"\')
                    next=${raw:j:1}
                    j=$((j + 1))
                    case $quote$next in '"$' | '"`' | '""' | '"\' | '"') ;; '"'?) word=$word\\ ;; esac
                    word=$word$next
                    ;;
                *) word=$word$c ;;
            esac
        done
        [ "$j" -ne "${#head}" ] || keep=${#word}
        [ -x @COMPLETER@ ] || return 0
        out=$(@COMPLETER@ "$word" "$keep" 2>/dev/null) || return 0
        # One name a line, quoted for the command line; none is taken as a pattern.
        set -f
        names=($out)
        [ "${#names[@]}" -gt 0 ] || return 0
        printf -v all '%q\n' "${names[@]}"
        COMPREPLY=($all)
    }
    complete -F _vux_complete vux 2>/dev/null || true
elif [ -n "${ZSH_VERSION-}" ]; then
    _vux_complete() {
        emulate -L zsh
        [ -x @COMPLETER@ ] || return 1
        compadd -M 'm:{a-zA-Z}={A-Za-z}' -- ${(f)"$(@COMPLETER@ "${(Q)PREFIX}" 2>/dev/null)"}
    }
    # Registered now when compinit has run, else at the first prompt after it has.
    _vux_register() {
        whence compdef >/dev/null 2>&1 || return 0
        compdef _vux_complete vux
        add-zsh-hook -d precmd _vux_register 2>/dev/null || true
    }
    if whence compdef >/dev/null 2>&1; then
        _vux_register
    elif autoload -Uz add-zsh-hook 2>/dev/null; then
        add-zsh-hook precmd _vux_register
    fi
fi
)SH";

const char* const fishCompletion =
R"SH(
# Tab after vux offers the folders of the tree file whose names begin with the word.
function __vux_complete
    set -l word (commandline -ct | string unescape)
    test -x @COMPLETER@; and @COMPLETER@ "$word" 2>/dev/null
end
complete -c vux -e
complete -c vux -f -a '(__vux_complete)'
)SH";
// clang-format on

// Writes a whole small file by host path: created or emptied.
bool writeHostFile(const std::string& host, const std::string& content) {
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = posix::writeAll(fd, content.data(), content.size());
    return closeWritten(fd, content.size()) == 0 && ok;
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

// dovux.sh beside the command batch.
bool shellChangePath(const char* commandBatch, std::string& host) {
    if (!hostPathOf(commandBatch, host)) return false;
    std::size_t slash = host.rfind('/');
    std::size_t dot = host.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) host.erase(dot);
    host += ".sh";
    return true;
}

void copyFailedPath(const char* commandBatch, char* failedPath, std::size_t size) {
    if (size == 0) return;
    // Reported as a drive path, in the form the command batch's own path has.
    std::string text = commandBatch;
    std::size_t slash = text.find_last_of("\\/");
    std::size_t dot = text.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) text.erase(dot);
    text += ".sh";
    std::snprintf(failedPath, size, "%s", text.c_str());
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
        if (::getcwd(cwd, sizeof cwd) != nullptr) content = "cd -- " + shQuote(cwd) + "\n";
    }
    if (!shellChangePath(commandBatch, host) || !writeHostFile(host, content)) {
        copyFailedPath(commandBatch, failedPath, size);
        return -1;
    }
    return 0;
}

int shellWrapperCount() { return 2; }

const char* shellWrapperName(int index) { return index == 0 ? "vux.sh" : "vux.fish"; }

int writeShellWrapper(int index, const char* programPath, const char* commandBatch) {
    std::string program, change;
    if (!hostPathOf(programPath, program) || !shellChangePath(commandBatch, change)) return -1;
    std::string content =
        index == 0
            ? fillTemplate(shWrapper, {{"@PROGRAM@", shQuote(program)}, {"@CHANGE@", shQuote(change)}})
            : fillTemplate(fishWrapper, {{"@PROGRAM@", fishQuote(program)}, {"@CHANGE@", fishQuote(change)}});
    // The completion program lies beside the program.
    std::string completer = program.substr(0, program.rfind('/') + 1) + "vux-complete";
    content += index == 0 ? fillTemplate(shCompletion, {{"@COMPLETER@", shQuote(completer)}})
                          : fillTemplate(fishCompletion, {{"@COMPLETER@", fishQuote(completer)}});
    return writeHostFile(shellWrapperName(index), content) ? 0 : -1;
}

}  // namespace platform
