# vux for tcsh and csh: source this file from ~/.tcshrc or ~/.cshrc.
# The alias vux runs vux, then takes the shell to the directory it chose. An alias
# holds no loop, so it hands its words to this file, which runs vux with them and
# sets vux_status, the alias's status: vux's code, its 127 ("done, nothing
# searched") made 0. The words reach vux as the shell reads them, never globbed
# (vux name* works as vux 'name*'); a word that is not an option, nor the rest of
# a "define home", goes over with every / turned into \, the separator of a path
# tail. vux writes the change in a form of csh's own (VUXSHELL=csh): csh expands an
# exclamation mark even inside single quotes, so this file holds none unescaped,
# and no folder name is ever evaluated.
if ( $?vux_words ) then
    unset vux_to vux_out vux_missing
    set vux_argv = ( $vux_words:q )
    unset vux_words
    set vux_args = ( )
    set vux_keep = 0
    set vux_backslash = '\'
    set vux_at = 0
    while ( $vux_at < $#vux_argv )
        @ vux_at = $vux_at + 1
        set vux_word = "$vux_argv[$vux_at]"
        if ( $vux_keep > 0 ) then
            @ vux_keep = $vux_keep - 1
        else
            switch ( $vux_word:q )
            case [/-][Dd][Ee][Ff][Ii][Nn][Ee]:
                set vux_keep = 2
                breaksw
            case [/-][Dd][Ee][Ff][Ii][Nn][Ee]' '[Hh][Oo][Mm][Ee]:
                set vux_keep = 1
                breaksw
            case [/-]*:
                breaksw
            case '>':
            case '>>':
            case '<':
                # csh hands an alias the redirections typed after it as words, with
                # > and & and the clobber mark apart: they redirect the run here. vux
                # reads no input, so < only takes its name.
                set vux_to = $vux_word:q
                set vux_more = 1
                while ( $vux_more && $vux_at < $#vux_argv )
                    @ vux_at = $vux_at + 1
                    set vux_word = "$vux_argv[$vux_at]"
                    switch ( $vux_word:q )
                    case '&':
                    case '\!':
                        set vux_to = "$vux_to$vux_word"
                        breaksw
                    default:
                        set vux_more = 0
                    endsw
                end
                if ( $vux_more ) set vux_missing
                # Tested by switch: an if would read > as its own operator.
                switch ( $vux_to:q )
                case '>*':
                    set vux_out = $vux_word:q
                endsw
                continue
            case */*:
                # The head before the last / and the tail after it, until none is left.
                set vux_done = ''
                set vux_more = 1
                while ( $vux_more )
                    switch ( $vux_word:q )
                    case */*:
                        set vux_done = "$vux_backslash$vux_word:t$vux_done"
                        set vux_word = "$vux_word:h"
                        breaksw
                    default:
                        set vux_more = 0
                    endsw
                end
                set vux_word = "$vux_word$vux_done"
                breaksw
            endsw
        endif
        set vux_args = ( $vux_args:q $vux_word:q )
    end
    # The change file is named by the process running the alias: a subshell shares
    # its parent's $$, and sh's parent is this process.
    set vux_id = `sh -c 'echo $PPID'`
    if ( "$vux_id" == "" ) set vux_id = $$
    if ( $?vux_missing ) then
        sh -c 'echo Missing name for redirect. >&2'
        set vux_status = 1
    else if ( $?vux_out ) then
        # Only the operator, made of nothing but > & and the clobber mark, is read
        # again here; the names are taken whole.
        eval 'env VUXSESSION=$vux_id VUXSHELL=csh $vux_program:q $vux_args:q '"$vux_to"' $vux_out:q'
        set vux_status = $status
    else
        env VUXSESSION=$vux_id VUXSHELL=csh $vux_program:q $vux_args:q
        set vux_status = $status
    endif
    if ( $vux_status == 127 ) set vux_status = 0
    # The change file lies beside the program when the user may write there, else
    # in the user's own runtime folder, where the program put it.
    set vux_change = $vux_folder:q
    if ( -w $vux_change:q ) then
    else if ( $?XDG_RUNTIME_DIR ) then
        set vux_change = $XDG_RUNTIME_DIR:q/vux
        if ( "$XDG_RUNTIME_DIR" == "" ) set vux_change = ''
    else
        set vux_change = ''
    endif
    if ( "$vux_change" == "" ) then
        set vux_change = /tmp
        if ( $?TMPDIR ) then
            if ( "$TMPDIR" != "" ) set vux_change = $TMPDIR:q
        endif
        set vux_change = $vux_change:q/vux-`id -u`
    endif
    set vux_change = $vux_change:q/dovux.$vux_id.csh
    if ( $vux_status == 0 && -f $vux_change:q ) then
        # The change exists only after a change: there is nothing to follow.
        source $vux_change:q
        if ( $status ) set vux_status = $status
    endif
    rm -f -- $vux_change:q
    unset vux_argv vux_args vux_keep vux_backslash vux_at vux_word vux_done vux_more vux_id vux_change vux_glob
    unset vux_to vux_out vux_missing
else
    set vux_program = @PROGRAM@
    set vux_folder = @PROGRAM_DIR@
    set vux_file = @SELF@
    unalias vux
    # Globbing is off while the words are taken, and as the user had it after.
    alias vux 'set vux_glob = $?noglob; set noglob; set vux_words = ( \!* ); if ( $vux_glob == 0 ) unset noglob; source $vux_file:q; set status = $vux_status'
    # Tab after vux in tcsh offers the folders of the tree file whose names begin
    # with the word, the last of the line tcsh hands over in COMMAND_LINE. tcsh
    # keeps only names that begin with the word as typed, so each begins so: vux
    # compares without case unless told otherwise. In a complete rule a / would end
    # the command in backquotes: | stands there.
    if ( $?tcsh ) then
        set vux_completer = 'w=${COMMAND_LINE##*[[:space:]]} p=; while [ ${#p} -lt ${#w} ]; do p=$p?; done; VUXCOMPLETE=1 "$0" "$w" 2>/dev/null | while IFS= read -r n; do printf "%s\n" "$w${n#$p}"; done'
        complete vux 'p|*|`sh -c $vux_completer:q $vux_program:q`|'
    endif
endif
