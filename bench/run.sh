#!/usr/bin/env bash
# Times vux against its peers and against bare C yardsticks, and prints one table
# of medians with the ratios and the targets.
#
#   bench/run.sh            everything (about 4 minutes the first time, while the
#                           trees are made; 2 to 3 minutes after that)
#   BIG=0 bench/run.sh      without the 1,000,000-folder tree (saves ~4 GB of disk
#                           and a minute or two; its peak memory is then not shown)
#   COLD=0 bench/run.sh     without the cold-cache scan (which needs root and a loop
#                           device; it is left out by itself when they are missing)
#
# Other knobs: VUX=/path/to/vux (else built into build-bench/), SCAN_RUNS, LOOKUP_RUNS,
# CALL_RUNS, USR_ROOT (the real tree to scan, /usr by default).
# Everything generated goes to bench/out/ (not tracked); trees are kept between runs
# and made again only when their size, seed or generator changes.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
out=$here/out
results=$out/results
scratch=$out/scratch

BIG=${BIG:-1}
COLD=${COLD:-1}
COLD_RUNS=${COLD_RUNS:-5}
SCAN_RUNS=${SCAN_RUNS:-10}
LOOKUP_RUNS=${LOOKUP_RUNS:-30}
CALL_RUNS=${CALL_RUNS:-300}
USR_ROOT=${USR_ROOT:-/usr}
SEED=${SEED:-20240601}
KEY=benchtarget      # exactly one line of the large tree file ends in it
NOKEY=qnomatch       # no line contains it, and no name even starts with q

say() { printf '== %s\n' "$*" >&2; }
fail() { printf 'run.sh: %s\n' "$*" >&2; exit 1; }

case $out in *' '*) fail "the checkout's path must not hold spaces: $out" ;; esac

# ---- tools ------------------------------------------------------------------------

need=()
command -v hyperfine >/dev/null || need+=(hyperfine)
command -v bfs >/dev/null || need+=(bfs)
command -v fdfind >/dev/null || need+=(fd-find)
command -v zoxide >/dev/null || need+=(zoxide)
[ -x /usr/bin/time ] || need+=(time)
command -v cc >/dev/null || need+=(gcc)
if [ ${#need[@]} -gt 0 ]; then
    say "installing ${need[*]}"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${need[@]}" >/dev/null
fi

# ---- programs -----------------------------------------------------------------------

mkdir -p "$out/bin" "$results" "$scratch"
for program in gen_tree bare_walk bare_scan bare_stat; do
    cc -O2 -Wall -Wextra -pthread -o "$out/bin/$program" "$here/$program.c"
done
if [ -z "${VUX:-}" ]; then
    say "building vux (Release) in build-bench/"
    cmake -S "$repo" -B "$repo/build-bench" -DCMAKE_BUILD_TYPE=Release -DVUX_TESTS=OFF >/dev/null
    cmake --build "$repo/build-bench" -j2 >/dev/null
    VUX=$repo/build-bench/vux
fi
# Its own copy, so that dovux.bat and dovux.sh are written in bench/out/bin.
cp "$VUX" "$out/bin/vux"
vux=$out/bin/vux
gen=$out/bin/gen_tree
bare_walk=$out/bin/bare_walk
bare_scan=$out/bin/bare_scan
bare_stat=$out/bin/bare_stat

# ---- inputs -------------------------------------------------------------------------

stampOf() { printf '%s %s %s %s %s\n' "$1" "$SEED" "$KEY" "$NOKEY" "$(cat "$here/gen_tree.c" "$here/gen_names.h" | cksum)"; }

# makeDirs N NAME: a real tree of N folders (as a scan lists them) in out/trees/NAME.
makeDirs() {
    local n=$1 root=$out/trees/$2
    if [ -f "$root.stamp" ] && [ "$(cat "$root.stamp")" = "$(stampOf "$n")" ]; then return; fi
    say "creating $n folders in $root"
    rm -rf "$root" "$root.stamp"
    mkdir -p "$out/trees"
    "$gen" dirs "$n" "$root" --seed "$SEED" --avoid "$KEY" --avoid "$NOKEY"
    stampOf "$n" >"$root.stamp"
}

# hostOf ROOT 'C:\A\B': the host folder of a drive path on drive C mapped to ROOT.
hostOf() {
    local rel=${2#?:}
    rel=${rel//\\//}
    printf '%s%s' "$1" "$rel"
}

# makeLines N NAME: the tree file out/data/NAME/dirtree.C of N lines; the folders of
# its middle line and of its one match for KEY are made below out/look.
makeLines() {
    local n=$1 data=$out/data/$2
    mkdir -p "$data" "$out/look"
    if ! { [ -f "$data/stamp" ] && [ "$(cat "$data/stamp")" = "$(stampOf "$n")" ]; }; then
        say "writing a tree file of $n lines"
        rm -f "$data/stamp"
        "$gen" lines "$n" "$data/dirtree.C" --seed "$SEED" --key "$KEY" --avoid "$NOKEY" >"$data/chosen"
        stampOf "$n" >"$data/stamp"
    fi
    local middle match
    middle=$(sed -n 1p "$data/chosen")
    match=$(sed -n 2p "$data/chosen")
    mkdir -p "$(hostOf "$out/look" "$middle")" "$(hostOf "$out/look" "$match")"
}

makeDirs 1000 d1k
makeDirs 100000 d100k
[ "$BIG" = 1 ] && makeDirs 1000000 d1m
makeLines 1000000 lines1m
makeLines 1000 lines1k

# ---- helpers --------------------------------------------------------------------------

declare -A median     # scenario/name -> seconds
declare -A rss        # label -> KiB

# bench SCENARIO WARMUP RUNS [hyperfine options] -- NAME CMD [NAME CMD]...
bench() {
    local scenario=$1 warmup=$2 runs=$3
    shift 3
    local options=()
    while [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    local names=() commands=()
    while [ $# -gt 0 ]; do
        names+=(-n "$1")
        commands+=("$2")
        shift 2
    done
    say "timing $scenario"
    hyperfine --style basic -w "$warmup" -r "$runs" -i "${options[@]}" \
        --export-json "$results/$scenario.json" --export-csv "$results/$scenario.csv" \
        "${names[@]}" "${commands[@]}" >"$results/$scenario.log" 2>&1 ||
        fail "hyperfine failed for $scenario; see $results/$scenario.log"
    local name value
    while IFS=, read -r name _ _ value _; do
        [ "$name" = command ] && continue
        median[$scenario/$name]=$value
    done <"$results/$scenario.csv"
}

# peak LABEL CMD...: peak resident memory in KiB of one run (the best of three). The
# file PEAK_FRESH names, if any, is removed before each run.
peak() {
    local label=$1 best='' value
    shift
    for _ in 1 2 3; do
        if [ -n "${PEAK_FRESH:-}" ]; then rm -f "$PEAK_FRESH"; fi
        /usr/bin/time -f %M -o "$scratch/time.txt" "$@" >/dev/null 2>&1 || true
        value=$(tail -n 1 "$scratch/time.txt")
        if [ -z "$best" ] || [ "$value" -lt "$best" ]; then best=$value; fi
    done
    rss[$label]=$best
}

expectEqual() { [ "$1" = "$2" ] || fail "$3: expected $2, got $1"; }

# ---- scan -------------------------------------------------------------------------------

# scanBench SCENARIO ROOT: vux /q /r on drive C = ROOT against the walkers. bench runs
# in this shell, so that its medians stay: vux's folder and environment are set
# around it rather than in a subshell.
scanBench() {
    local scenario=$1 root=$2 data=$out/data/$1
    mkdir -p "$data"
    local status=0
    (cd "$root" && VUXDRIVES="C=$root:D=$out" VUXDATADIR=$data "$vux" /q /r) || status=$?
    expectEqual "$status" 127 "exit code of vux /q /r"
    local lines walked
    lines=$(wc -l <"$data/dirtree.C")
    walked=$("$bare_walk" "$root" | wc -l)
    expectEqual "$lines" "$walked" "folders in the tree file of $root"
    echo "$lines" >"$results/$scenario.count"
    local o=$scratch
    pushd "$root" >/dev/null
    # vux's row is the first scan: the companion that a previous scan left is removed.
    VUXDRIVES="C=$root:D=$out" VUXDATADIR=$data bench "$scenario" 2 "$SCAN_RUNS" \
        --prepare "rm -f '$data/dirtree.C.stamps'" --prepare true --prepare true --prepare true --prepare true -- \
        "vux /q /r" "'$vux' /q /r" \
        "find" "find '$root' -type d > $o/find.txt" \
        "bfs" "bfs '$root' -type d > $o/bfs.txt" \
        "fd" "fdfind -HI -t d . '$root' > $o/fd.txt" \
        "bare_walk" "'$bare_walk' '$root' > $o/walk.txt"
    popd >/dev/null
}

scanBench scan_gen100k "$out/trees/d100k"
scanBench scan_usr "$USR_ROOT"

# ---- rescan with a companion ------------------------------------------------------------

# rescanBench SCENARIO ROOT: vux /q /r over the companion of an earlier scan, of a tree
# that didn't change, and of one where 1 % of the folders (a new random 1 % before each
# run) gained or lost a subfolder, against the bare walker. The earlier scan is made
# more than two seconds after the tree last changed, so that it trusts its stamps.
rescanBench() {
    local scenario=$1 root=$2 data=$out/data/$1
    mkdir -p "$data"
    rm -f "$data/dirtree.C.stamps"
    (cd "$root" && VUXDRIVES="C=$root:D=$out" VUXDATADIR=$data "$vux" /q /r) || true
    sed 's|\r$||; s|^C:||; s|\\|/|g' "$data/dirtree.C" | grep -v '/zz_bench$' | sed "s|^|$root|" >"$scratch/folders.txt"
    local count
    count=$(wc -l <"$scratch/folders.txt")
    # The wait keeps the runs' changes apart: the 1 % of two runs ago lies more than
    # two seconds before the last rescan, which trusted its stamps again.
    cat >"$scratch/change.sh" <<CHANGE
sleep 2.1
shuf -n $((count / 100)) '$scratch/folders.txt' | sed 's|\$|/zz_bench|' >'$scratch/changed.txt'
xargs -d '\n' rmdir <'$scratch/changed.txt' 2>/dev/null
xargs -d '\n' mkdir <'$scratch/changed.txt'
CHANGE
    sleep 3
    (cd "$root" && VUXDRIVES="C=$root:D=$out" VUXDATADIR=$data "$vux" /q /r) || true
    pushd "$root" >/dev/null
    VUXDRIVES="C=$root:D=$out" VUXDATADIR=$data bench "$scenario" 2 "$SCAN_RUNS" \
        --prepare true --prepare "sh '$scratch/change.sh'" --prepare true -- \
        "vux /q /r unchanged" "'$vux' /q /r" \
        "vux /q /r 1% changed" "'$vux' /q /r" \
        "bare_walk" "'$bare_walk' '$root' > $scratch/walk.txt"
    popd >/dev/null
    # The rescan wrote what the walker lists.
    expectEqual "$(wc -l <"$data/dirtree.C")" "$("$bare_walk" "$root" | wc -l)" "folders after the rescans of $root"
    sed 's|$|/zz_bench|' "$scratch/folders.txt" | xargs -d '\n' rmdir 2>/dev/null || true
}

rescanBench rescan_gen100k "$out/trees/d100k"

# ---- scan, cold cache ------------------------------------------------------------------

# A 30,000-folder tree on an ext4 image attached with direct I/O, so that the host's
# page cache can't serve it, and mounted again before every run. vux runs from drive
# D (outside the mount) and scans drive C with "c:*".
coldScan() {
    local image=$out/cold.img mount=$out/cold data=$out/data/cold loop
    if [ "$(id -u)" -ne 0 ] || ! command -v losetup >/dev/null || ! command -v mkfs.ext4 >/dev/null; then
        say "no cold-cache scan: it needs root, losetup and mkfs.ext4"
        return
    fi
    mkdir -p "$mount" "$data"
    if mountpoint -q "$mount"; then umount "$mount"; fi
    local stamp
    stamp="cold $(stampOf 30000)"
    if ! { [ -f "$image.stamp" ] && [ "$(cat "$image.stamp")" = "$stamp" ]; }; then
        say "creating 30000 folders on an ext4 image"
        rm -f "$image" "$image.stamp"
        truncate -s 2G "$image"
        mkfs.ext4 -q -F "$image"
        mount -o loop "$image" "$mount"
        "$gen" dirs 30000 "$mount/t" --seed "$SEED" --avoid "$KEY" --avoid "$NOKEY" >/dev/null
        umount "$mount"
        echo "$stamp" >"$image.stamp"
    fi
    loop=$(losetup --direct-io=on -f --show "$image")
    mount "$loop" "$mount"
    local status=0
    (cd "$out" && VUXDRIVES="C=$mount/t:D=$out" VUXDATADIR=$data "$vux" /q /r 'c:*') || status=$?
    expectEqual "$status" 127 "exit code of vux /q /r c:*"
    expectEqual "$(wc -l <"$data/dirtree.C")" "$("$bare_walk" "$mount/t" | wc -l)" "folders in the cold tree file"
    wc -l <"$data/dirtree.C" >"$results/scan_cold.count"
    # The floor of any rescan that asks every folder by path whether it changed.
    "$bare_walk" "$mount/t" >"$scratch/cold-folders.txt"
    expectEqual "$("$bare_stat" "$scratch/cold-folders.txt" 12)" 0 "folders bare_stat could not stat"
    pushd "$out" >/dev/null
    # The first scan without a companion, then rescans over the one the last of those
    # left (the tree on the image changed long before).
    local remount="umount $mount && mount $loop $mount"
    VUXDRIVES="C=$mount/t:D=$out" VUXDATADIR=$data bench scan_cold 0 "$COLD_RUNS" \
        --prepare "sh -c '$remount && rm -f $data/dirtree.C.stamps'" --prepare "sh -c '$remount'" \
        --prepare "sh -c '$remount'" --prepare "sh -c '$remount'" -- \
        "vux /q /r" "'$vux' /q /r c:*" \
        "vux /q /r unchanged" "'$vux' /q /r c:*" \
        "bare_stat" "'$bare_stat' '$scratch/cold-folders.txt' 12" \
        "bare_walk" "'$bare_walk' '$mount/t' > $scratch/walk.txt"
    popd >/dev/null
    umount "$mount"
    losetup -d "$loop"
}
[ "$COLD" = 1 ] && coldScan

# ---- lookup ------------------------------------------------------------------------------

# lookupSetUp NAME: cd into the folder of the middle line; sets file, drives, data.
lookupSetUp() {
    data=$out/data/$1
    file=$data/dirtree.C
    drives="C=$out/look:D=$out"
    cd "$(hostOf "$out/look" "$(sed -n 1p "$data/chosen")")"
}

lookupSetUp lines1m
status=0
VUXDRIVES=$drives VUXDATADIR=$data "$vux" /q /n "$KEY" || status=$?
expectEqual "$status" 0 "exit code of vux /q /n $KEY"
expectEqual "$(cat "$out/bin/dovux.sh")" \
    "cd -- '$(hostOf "$out/look" "$(sed -n 2p "$data/chosen")")'" "the change vux chose"
expectEqual "$(grep -F -i -c "$KEY" "$file")" 1 "grep's count of $KEY"
expectEqual "$("$bare_scan" "$KEY" "$file")" 1 "bare_scan's count of $KEY"
status=0
VUXDRIVES=$drives VUXDATADIR=$data "$vux" /q /n "$NOKEY" 2>/dev/null || status=$?
expectEqual "$status" 3 "exit code of vux /q /n $NOKEY"
expectEqual "$("$bare_scan" "$NOKEY" "$file")" 0 "bare_scan's count of $NOKEY"

VUXDRIVES=$drives VUXDATADIR=$data bench lookup_1m 3 "$LOOKUP_RUNS" -N -- \
    "vux /q /n KEY" "$vux /q /n $KEY" \
    "grep -F -i -c" "grep -F -i -c $KEY $file" \
    "bare_scan" "$bare_scan $KEY $file"
VUXDRIVES=$drives VUXDATADIR=$data bench nomatch_1m 3 "$LOOKUP_RUNS" -N -- \
    "vux /q /n NOKEY" "$vux /q /n $NOKEY" \
    "grep -F -i -c" "grep -F -i -c $NOKEY $file" \
    "bare_scan" "$bare_scan $NOKEY $file"
lookupFile1m=$file
cd "$here"

# ---- one whole call ---------------------------------------------------------------------

callRoot=$out/trees/d1k
callData=$out/data/call1k
mkdir -p "$callData"
(cd "$callRoot" && VUXDRIVES="C=$callRoot:D=$out" VUXDATADIR=$callData "$vux" /q /r) || true
expectEqual "$(wc -l <"$callData/dirtree.C")" 1000 "lines of the call's tree file"
# The key: the last line's name that no other line ends in, so vux reads the whole file.
callKey=$(tr -d '\r' <"$callData/dirtree.C" | awk -F'\\' '
    { name[NR] = $NF; seen[tolower($NF)]++ }
    END { for (i = NR; i > 0; --i) if (seen[tolower(name[i])] == 1 && name[i] ~ /^[A-Za-z0-9_-]+$/) { print name[i]; exit } }')
[ -n "$callKey" ] || fail "no name for the call's key"

export _ZO_DATA_DIR=$out/zoxide _ZO_MAXAGE=1000000 _ZO_EXCLUDE_DIRS=
zoStamp=$(cksum <"$callData/dirtree.C")
if [ ! -f "$_ZO_DATA_DIR/stamp" ] || [ "$(cat "$_ZO_DATA_DIR/stamp")" != "$zoStamp" ]; then
    say "adding the 1,000 folders to a private zoxide database"
    rm -rf "$_ZO_DATA_DIR"
    mkdir -p "$_ZO_DATA_DIR"
    tr -d '\r' <"$callData/dirtree.C" | while IFS= read -r line; do
        zoxide add "$(hostOf "$callRoot" "$line")"
    done
    echo "$zoStamp" >"$_ZO_DATA_DIR/stamp"
fi
expectEqual "$(zoxide query -l | wc -l)" 1000 "folders in the zoxide database"

cd "$callRoot"
status=0
VUXDRIVES="C=$callRoot:D=$out" VUXDATADIR=$callData "$vux" /q "$callKey" || status=$?
expectEqual "$status" 0 "exit code of vux /q $callKey"
zoxide query "$callKey" >/dev/null || fail "zoxide finds no $callKey"
VUXDRIVES="C=$callRoot:D=$out" VUXDATADIR=$callData bench call_1k 20 "$CALL_RUNS" -N -- \
    "vux /q KEY" "$vux /q $callKey" \
    "zoxide query KEY" "zoxide query $callKey" \
    "true" "true"
cd "$here"

# ---- peak memory --------------------------------------------------------------------------

say "measuring peak memory"
# scanPeak LABEL ROOT [first]: "first" removes the companion before each run, so that
# every one of the three is a first scan and none a rescan over the last one's.
scanPeak() {
    local label=$1 root=$2 data=$out/data/rss
    mkdir -p "$data"
    pushd "$root" >/dev/null
    local fresh=''
    if [ "${3:-}" = first ]; then fresh=$data/dirtree.C.stamps; fi
    PEAK_FRESH=$fresh VUXDRIVES="C=$root:D=$out" VUXDATADIR=$data peak "$label" "$vux" /q /r
    popd >/dev/null
}
scanPeak "scan 1k" "$out/trees/d1k" first
scanPeak "scan 100k" "$out/trees/d100k" first
scanPeak "rescan 100k" "$out/trees/d100k"  # over the companion the scans above left
[ "$BIG" = 1 ] && scanPeak "scan 1M" "$out/trees/d1m" first
for size in 1k 1m; do
    lookupSetUp "lines$size"
    VUXDRIVES=$drives VUXDATADIR=$data peak "lookup ${size/m/M}" "$vux" /q /n "$KEY"
done
cd "$here"
peak "find 100k" find "$out/trees/d100k" -type d
peak "grep 1M" grep -F -i -c "$KEY" "$lookupFile1m"

# ---- the table ------------------------------------------------------------------------------

ms() { awk -v s="$1" 'BEGIN { printf "%.2f", s * 1000 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.2f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "met" : "MISSED") }'; }

declare -A keyRatio
table() {
    printf '| scenario | command | median ms | vux / this | target | |\n'
    printf '| --- | --- | ---: | ---: | --- | --- |\n'
    # section SCENARIO TITLE VUXNAME KEYPREFIX then NAME TARGET pairs (TARGET - for none)
    section() {
        local scenario=$1 title=$2 self=$3 prefix=$4
        shift 4
        local selfMedian=${median[$scenario/$self]}
        printf '| %s | %s | %s | | | |\n' "$title" "$self" "$(ms "$selfMedian")"
        while [ $# -gt 0 ]; do
            local name=$1 target=$2 r
            shift 2
            r=$(ratio "$selfMedian" "${median[$scenario/$name]}")
            [ -n "$prefix" ] && [ "$target" != - ] && keyRatio[$prefix/$name]=$r
            if [ "$target" = - ]; then
                printf '| | %s | %s | %s | | |\n' "$name" "$(ms "${median[$scenario/$name]}")" "$r"
            else
                printf '| | %s | %s | %s | <= %s | %s |\n' "$name" "$(ms "${median[$scenario/$name]}")" "$r" \
                    "$target" "$(verdict "$r" "$target")"
            fi
        done
    }
    section scan_gen100k "scan, generated tree ($(cat "$results/scan_gen100k.count") folders)" "vux /q /r" scan \
        find 0.75 bfs - fd - bare_walk 0.5
    section scan_usr "scan, $USR_ROOT ($(cat "$results/scan_usr.count") folders)" "vux /q /r" usr \
        find 0.75 bfs - fd - bare_walk 0.5
    if [ -n "${median[scan_cold/bare_walk]:-}" ]; then
        section scan_cold "scan, cold cache ($(cat "$results/scan_cold.count") folders)" "vux /q /r" cold \
            bare_walk 0.3
        section scan_cold "rescan, cold cache, unchanged" "vux /q /r unchanged" coldre bare_walk 0.15 \
            bare_stat -
    fi
    section rescan_gen100k "rescan, generated tree, unchanged" "vux /q /r unchanged" re bare_walk 0.25
    section rescan_gen100k "rescan, generated tree, 1 % of folders changed" "vux /q /r 1% changed" re1 bare_walk 0.3
    section lookup_1m "lookup, 1,000,000 lines, one exact match" "vux /q /n KEY" lookup \
        "grep -F -i -c" 0.75 bare_scan 1.3
    section nomatch_1m "lookup, 1,000,000 lines, no match" "vux /q /n NOKEY" nomatch \
        "grep -F -i -c" - bare_scan 1.4
    section call_1k "one whole call, 1,000 folders" "vux /q KEY" call \
        "zoxide query KEY" 1.1 true 1.7
    echo
    printf '| peak resident memory | MiB | target | |\n| --- | ---: | --- | --- |\n'
    local label
    for label in "scan 1k" "scan 100k" "rescan 100k" "scan 1M" "lookup 1k" "lookup 1M"; do
        [ -n "${rss[$label]:-}" ] || continue
        printf '| vux %s | %s | <= 3 | %s |\n' "$label" "$(mib "${rss[$label]}")" \
            "$(verdict "$(mib "${rss[$label]}")" 3)"
    done
    for label in "find 100k" "grep 1M"; do
        printf '| %s (for reference) | %s | | |\n' "$label" "$(mib "${rss[$label]}")"
    done
    echo
    local scanBig=${rss["scan 1M"]:-}
    local floor=-
    [ -n "${median[scan_cold/bare_stat]:-}" ] &&
        floor=$(ratio "${median[scan_cold/bare_stat]}" "${median[scan_cold/bare_walk]}")
    printf 'rescan/bare_walk: unchanged %s, 1%% changed %s, cold unchanged %s (bare_stat %s)\n' \
        "${keyRatio[re/bare_walk]}" "${keyRatio[re1/bare_walk]}" "${keyRatio[coldre/bare_walk]:--}" "$floor"
    printf 'key ratios: scan/find %s, scan/bare_walk %s, usr/bare_walk %s, cold/bare_walk %s, lookup/grep %s, lookup/bare_scan %s, nomatch/bare_scan %s, call/zoxide %s, call/true %s; peak RSS MiB: scan 1k %s, scan 100k %s%s, lookup 1k %s, lookup 1M %s\n' \
        "${keyRatio[scan/find]}" "${keyRatio[scan/bare_walk]}" "${keyRatio[usr/bare_walk]}" \
        "${keyRatio[cold/bare_walk]:--}" "${keyRatio[lookup/grep -F -i -c]}" \
        "${keyRatio[lookup/bare_scan]}" "${keyRatio[nomatch/bare_scan]}" "${keyRatio[call/zoxide query KEY]}" \
        "${keyRatio[call/true]}" "$(mib "${rss["scan 1k"]}")" "$(mib "${rss["scan 100k"]}")" \
        "${scanBig:+, scan 1M $(mib "$scanBig")}" "$(mib "${rss["lookup 1k"]}")" "$(mib "${rss["lookup 1M"]}")"
}

{
    printf 'machine: %s cores, %s, kernel %s; %s\n\n' "$(nproc)" \
        "$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)" "$(uname -r)" "$(date -u '+%Y-%m-%d %H:%M UTC')"
    table
} | tee "$results/table.md"
