# vux for fish: source this file from config.fish.
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
    # The change file lies beside the program when the user may write there, else
    # in the user's own runtime folder, where the program put it.
    set -l vux_dir @PROGRAM_DIR@
    if not test -w $vux_dir
        if test -n "$XDG_RUNTIME_DIR"
            set vux_dir $XDG_RUNTIME_DIR/vux
        else if test -n "$TMPDIR"
            set vux_dir $TMPDIR/vux-(id -u)
        else
            set vux_dir /tmp/vux-(id -u)
        end
    end
    set -l vux_change $vux_dir/dovux.$fish_pid.sh
    if test $vux_status = 127
        set vux_status 0
    end
    if test $vux_status = 0; and test -f $vux_change
        source $vux_change; or set vux_status $status
    end
    command rm -f -- $vux_change
    return $vux_status
end

# Tab after vux offers the folders of the tree file whose names begin with the word.
function __vux_complete
    set -l word (commandline -ct | string unescape)
    test -x @PROGRAM@; and @COMPLETER@ "$word" 2>/dev/null
end
complete -c vux -e
complete -c vux -f -a '(__vux_complete)'
