// The POSIX shells' side of a change: dovux.sh beside the command batch, which the
// wrapper functions source after the program has run, and the wrappers vux.sh (sh,
// bash, zsh) and vux.fish that an install writes. Every host path written into
// these files is quoted, so no folder name can run a command.
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

namespace platform {

namespace {

using posix::hostPathOf;

// Both functions run the program with VUXSESSION set to the id of the process that
// runs the function (a subshell's own, not its parent's $$), for the program alone,
// so that each reads and removes a change file of its own: shells of one user that
// share one file take each other's changes. A word that is
// not an option, nor the rest of a "define home", goes over with every / turned
// into \, the separator of a path tail, which a POSIX shell swallows unless quoted.
// The program's 127 ("done, nothing searched") becomes 0, because to a shell it
// means "command not found". Every command that may fail stands where set -e can't
// end the shell before the change file is read, and an alias named vux is removed
// first, since the shell would expand it inside the definition.
// clang-format off
const char* const shWrapper =
R"(# vux for sh, bash and zsh: source this file from the shell's start-up file.
# The function runs vux, then takes the shell to the directory it chose.
unalias vux 2>/dev/null || :
vux() {
    local vux_word vux_done vux_keep=0 vux_left=$# vux_status=0 vux_id=$$
    # The change file is named by the process running this function; a subshell
    # shares its parent's $$, so two ( vux KEY ) & jobs would take each other's.
    if [ -n "${BASH_VERSION-}" ]; then
        vux_id=${BASHPID:-$$}  # bash 3.2 has no BASHPID
    elif [ -n "${ZSH_VERSION-}" ]; then
        zmodload zsh/system 2>/dev/null && eval 'vux_id=${sysparams[pid]:-$$}'
    elif [ -r /proc/self/stat ]; then
        read -r vux_id vux_word </proc/self/stat || vux_id=$$
    fi
    while [ "$vux_left" -gt 0 ]; do
        vux_word=$1
        shift
        if [ "$vux_keep" -gt 0 ]; then
            vux_keep=$((vux_keep - 1))
        else
            case $vux_word in
                [/-][Dd][Ee][Ff][Ii][Nn][Ee]) vux_keep=2 ;;
                [/-][Dd][Ee][Ff][Ii][Nn][Ee]' '[Hh][Oo][Mm][Ee]) vux_keep=1 ;;
                [/-]*) ;;
                */*)
                    vux_done=
                    while :; do
                        case $vux_word in
                            */*) vux_done=$vux_done${vux_word%%/*}\\; vux_word=${vux_word#*/} ;;
                            *) break ;;
                        esac
                    done
                    vux_word=$vux_done$vux_word
                    ;;
            esac
        fi
        set -- "$@" "$vux_word"
        vux_left=$((vux_left - 1))
    done
    VUXSESSION=$vux_id @PROGRAM@ "$@" || vux_status=$?
    set -- @CHANGE_STEM@."$vux_id".sh
    [ "$vux_status" != 127 ] || vux_status=0
    if [ "$vux_status" = 0 ] && [ -f "$1" ]; then
        . "$1" || vux_status=$?
    fi
    command rm -f -- "$1"
    return "$vux_status"
}
# zsh would expand a key such as sr* against the current folder, or stop at "no
# matches found": its words reach vux as typed.
[ -z "${ZSH_VERSION-}" ] || alias vux='noglob vux'
)";

const char* const fishWrapper =
R"(# vux for fish: source this file from config.fish.
# The function runs vux, then takes the shell to the directory it chose.
function vux
    set -l vux_words
    set -l vux_keep 0
    for vux_word in $argv
        if test $vux_keep -gt 0
            set vux_keep (math $vux_keep - 1)
        else if string match -qri '^[/-]define$' -- $vux_word
            set vux_keep 2
        else if string match -qri '^[/-]define home$' -- $vux_word
            set vux_keep 1
        else if not string match -qr '^[/-]' -- $vux_word
            set vux_word (string replace -a / \\ -- $vux_word | string collect)
        end
        set -a vux_words $vux_word
    end
    VUXSESSION=$fish_pid @PROGRAM@ $vux_words
    set -l vux_status $status
    set -l vux_change @CHANGE_STEM@.$fish_pid.sh
    if test $vux_status = 127
        set vux_status 0
    end
    if test $vux_status = 0; and test -f $vux_change
        source $vux_change; or set vux_status $status
    end
    command rm -f -- $vux_change
    return $vux_status
end
)";

// Tab completion, appended after the functions: the names come from the program
// itself (VUXCOMPLETE=1), which reads the tree file a search would read. Names reach
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
        [ -x @PROGRAM@ ] || return 0
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
        [ -x @PROGRAM@ ] || return 1
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
    test -x @PROGRAM@; and @COMPLETER@ "$word" 2>/dev/null
end
complete -c vux -e
complete -c vux -f -a '(__vux_complete)'
)SH";
// clang-format on

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

// The change file beside the command batch: dovux.sh, or the session's own.
std::string changeName(const std::string& commandBatch) {
    std::string id = session();
    return changeStem(commandBatch) + (id.empty() ? "" : "." + id) + ".sh";
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
        if (::getcwd(cwd, sizeof cwd) != nullptr) content = "cd -- " + shQuote(cwd) + "\n";
    }
    // A session's file exists only while it holds a change, so a run that ends
    // without one, or is interrupted, leaves nothing behind; a stale one is removed.
    bool ok = hostPathOf(changeName(commandBatch).c_str(), host);
    if (ok && content.empty() && !session().empty()) {
        ok = ::unlink(host.c_str()) == 0 || errno == ENOENT;
    } else if (ok) {
        ok = writeHostFile(host, content);
    }
    if (!ok) {
        copyFailedPath(commandBatch, failedPath, size);
        return -1;
    }
    return 0;
}

int shellWrapperCount() { return 2; }

const char* shellWrapperName(int index) { return index == 0 ? "vux.sh" : "vux.fish"; }

int writeShellWrapper(int index, const char* programPath, const char* commandBatch) {
    std::string program, stem;
    if (!hostPathOf(programPath, program) || !hostPathOf(changeStem(commandBatch).c_str(), stem)) return -1;
    std::string content =
        index == 0
            ? fillTemplate(shWrapper, {{"@PROGRAM@", shQuote(program)}, {"@CHANGE_STEM@", shQuote(stem)}})
            : fillTemplate(fishWrapper,
                           {{"@PROGRAM@", fishQuote(program)}, {"@CHANGE_STEM@", fishQuote(stem)}});
    // The program itself serves completion, asked for by its environment.
    content += index == 0
                   ? fillTemplate(shCompletion, {{"@PROGRAM@", shQuote(program)},
                                                 {"@COMPLETER@", "VUXCOMPLETE=1 " + shQuote(program)}})
                   : fillTemplate(fishCompletion, {{"@PROGRAM@", fishQuote(program)},
                                                   {"@COMPLETER@", "VUXCOMPLETE=1 " + fishQuote(program)}});
    return writeHostFile(shellWrapperName(index), content) ? 0 : -1;
}

}  // namespace platform
