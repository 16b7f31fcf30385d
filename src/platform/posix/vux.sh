# vux for every POSIX sh (dash, bash, zsh, ksh93, mksh, yash, posh, busybox ash):
# source this file from the shell's start-up file.
# The function runs vux, then takes the shell to the directory it chose.
# A word that is not an option, nor the rest of a "define home", goes over with
# every / turned into \, the separator of a path tail, which the shell would
# swallow unless quoted. vux's 127 ("done, nothing searched") becomes 0: to a shell
# it means "command not found". Every command that may fail stands where set -e
# can't end the shell before the change file is read, and an alias named vux is
# removed first, since the shell would expand it inside the definition.
# Checked as bash: sh reads only the part before the completion, which is sh too,
# and zsh runs a branch of its own there.
# shellcheck shell=bash
unalias vux 2>/dev/null || :
# vux keeps its variables local to it; _vux_run, called from it, works in them.
if command -v local >/dev/null 2>&1; then
    vux() {
        local vux_word vux_done vux_keep=0 vux_left=$# vux_status=0 vux_id=$$
        _vux_run "$@"
    }
else
    # ksh93 has no local: typeset is local only in a function defined this way,
    # which the other shells can't parse.
    eval 'function vux {
        typeset vux_word vux_done vux_keep=0 vux_left=$# vux_status=0 vux_id=$$
        _vux_run "$@"
    }'
fi
_vux_run() {
    # The change file is named by the process running this function; a subshell
    # shares its parent's $$, so two ( vux KEY ) & jobs would take each other's.
    if [ -n "${BASH_VERSION-}" ]; then
        vux_id=${BASHPID:-$$}  # bash 3.2 has no BASHPID
    elif [ -n "${ZSH_VERSION-}" ]; then
        zmodload zsh/system 2>/dev/null && eval 'vux_id=${sysparams[pid]:-$$}'
    else
        case ${KSH_VERSION-} in
            *93*) eval 'vux_id=${.sh.pid:-$$}' ;;
            *MIRBSD*) vux_id=${BASHPID:-$$} ;;
            *) [ ! -r /proc/self/stat ] || read -r vux_id vux_word </proc/self/stat || vux_id=$$ ;;
        esac
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
    # The change file lies beside the program when the user may write there, else
    # in the user's own runtime folder, where the program put it.
    set -- @PROGRAM_DIR@
    if [ ! -w "$1" ]; then
        if [ -n "${XDG_RUNTIME_DIR-}" ]; then
            set -- "$XDG_RUNTIME_DIR/vux"
        else
            set -- "${TMPDIR:-/tmp}/vux-$(id -u)"
        fi
    fi
    set -- "$1/dovux.$vux_id.sh"
    [ "$vux_status" != 127 ] || vux_status=0
    if [ "$vux_status" = 0 ] && [ -f "$1" ]; then
        # The change file exists only after a change: there is nothing to follow.
        # shellcheck source=/dev/null
        . "$1" || vux_status=$?
    fi
    command rm -f -- "$1"
    return "$vux_status"
}
# zsh would expand a key such as sr* against the current folder, or stop at "no
# matches found": its words reach vux as typed.
[ -z "${ZSH_VERSION-}" ] || alias vux='noglob vux'

# Tab after vux offers the folders of the tree file whose names begin with the word.
# The names reach the command line only as data, quoted by the shell for insertion;
# nothing here evaluates them. Shells other than bash and zsh read no further.
[ -n "${BASH_VERSION-}${ZSH_VERSION-}" ] || return 0
if [ -n "${BASH_VERSION-}" ]; then
    _vux_complete() {
        local line="${COMP_LINE:0:COMP_POINT}" raw="${COMP_WORDS[COMP_CWORD]}" i="$COMP_CWORD"
        local breaks head word="" quote="" opened=0 c next j=0 keep=0 out name text
        unset COMPREPLY
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
                "'" | '"') quote=$c opened=${#word} ;;
                \\ | '"'\\)
                    next=${raw:j:1}
                    j=$((j + 1))
                    case $quote$next in '"$' | '"`' | '""' | '"'\\ | '"') ;; '"'?) word=$word\\ ;; esac
                    word=$word$next
                    ;;
                *) word=$word$c ;;
            esac
        done
        [ "$j" -ne "${#head}" ] || keep=${#word}
        # After an open quote bash replaces all that follows it, and closes the quote
        # behind a single name.
        [ -z "$quote" ] || keep=$opened
        [ -x @PROGRAM@ ] || return 0
        out=$(@COMPLETER@ "$word" "$keep" 2>/dev/null) || return 0
        # One name a line, quoted for the command line as the word was begun: with
        # backslashes, or inside the quote left open. None is taken as a pattern.
        while IFS= read -r name; do
            [ -n "$name" ] || continue
            if [ -z "$quote" ]; then
                printf -v text %q "$name"
            else
                text=
                while [ -n "$name" ]; do
                    c=${name:0:1}
                    name=${name:1}
                    case $quote$c in
                        "''") text="$text'\\''" ;;
                        '"'[\\\"\$\`]) text=$text\\$c ;;
                        *) text=$text$c ;;
                    esac
                done
            fi
            COMPREPLY[${#COMPREPLY[@]}]=$text
        done <<EOF
$out
EOF
    }
    complete -F _vux_complete vux 2>/dev/null || true
elif [ -n "${ZSH_VERSION-}" ]; then
    _vux_complete() {
        emulate -L zsh
        [ -x @PROGRAM@ ] || return 1
        # zsh's parameter flags: f splits the names at line ends, unquoted so that
        # no output gives no word.
        # shellcheck disable=SC2086,SC2296
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
