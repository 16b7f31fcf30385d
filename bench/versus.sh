#!/usr/bin/env bash
# Times two builds of vux side by side in one run, so that a change is judged on the
# same machine under the same load: the first scan (its companion removed before each
# run) and the rescan of an unchanged tree over the companion the scan runs left, for each build, against the bare walker, in wall time and in
# processor time (user + system), on the generated 100,000-folder tree, /usr and a
# tree of 100,000 leaf folders with no files.
#
#   BEFORE=/path/to/old/vux bench/versus.sh   (after: VUX=..., else built in build-bench/)
#
# Needs what run.sh needs (it makes the 100,000-folder tree when it is missing).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
out=$here/out
results=$out/results
RUNS=${RUNS:-10}
USR_ROOT=${USR_ROOT:-/usr}
SEED=${SEED:-20240601}

if [ -z "${BEFORE:-}" ] || [ ! -x "$BEFORE" ]; then
    echo "versus.sh: BEFORE must name the earlier vux" >&2
    exit 1
fi
command -v hyperfine >/dev/null || { echo "versus.sh: needs hyperfine (bench/run.sh installs it)" >&2; exit 1; }
mkdir -p "$out/bin" "$results" "$out/trees"
cc -O2 -Wall -Wextra -o "$out/bin/bare_walk" "$here/bare_walk.c"
cc -O2 -Wall -Wextra -o "$out/bin/gen_tree" "$here/gen_tree.c"
if [ -z "${VUX:-}" ]; then
    cmake -S "$repo" -B "$repo/build-bench" -DCMAKE_BUILD_TYPE=Release -DVUX_TESTS=OFF >/dev/null
    cmake --build "$repo/build-bench" -j2 >/dev/null
    VUX=$repo/build-bench/vux
fi
cp "$BEFORE" "$out/bin/vux-before"
cp "$VUX" "$out/bin/vux-after"
if [ ! -d "$out/trees/d100k" ]; then
    "$out/bin/gen_tree" dirs 100000 "$out/trees/d100k" --seed "$SEED" --avoid benchtarget --avoid qnomatch
fi
if [ ! -d "$out/trees/leaf100k" ]; then
    mkdir -p "$out/trees/leaf100k"
    for i in $(seq 1 100); do mkdir -p "$out/trees/leaf100k/p$i/"l{1..1000}; done
fi

# cpu NAME JSON: the mean user + system seconds of a hyperfine command.
cpu() {
    python3 -c 'import json,sys; r=[x for x in json.load(open(sys.argv[2]))["results"] if x["command"]==sys.argv[1]][0]; print(r["user"]+r["system"], r["median"])' "$1" "$2"
}

printf '| tree | build | scan ms | rescan ms | rescan / scan | scan CPU ms | rescan CPU ms | rescan / bare_walk |\n'
printf '| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: |\n'
for tree in d100k:"$out/trees/d100k" usr:"$USR_ROOT" leaf100k:"$out/trees/leaf100k"; do
    name=${tree%%:*}
    root=${tree#*:}
    for build in before after; do
        data=$out/data/versus-$name-$build
        mkdir -p "$data"
        rm -f "$data/dirtree.C.stamps"
        (cd "$root" && VUXDRIVES="C=$root:D=$out" VUXDATADIR=$data "$out/bin/vux-$build" /q /r) || true
    done
    sleep 3  # the companions below are made after the tree last changed
    for build in before after; do
        (cd "$root" && VUXDRIVES="C=$root:D=$out" VUXDATADIR=$out/data/versus-$name-$build "$out/bin/vux-$build" /q /r) || true
    done
    json=$results/versus-$name.json
    (
        cd "$root"
        export VUXDRIVES="C=$root:D=$out"
        db=$out/data/versus-$name-before
        da=$out/data/versus-$name-after
        hyperfine --style basic -w 2 -r "$RUNS" -i --export-json "$json" \
            --prepare "rm -f $db/dirtree.C.stamps" --prepare true \
            --prepare "rm -f $da/dirtree.C.stamps" --prepare true --prepare true \
            -n "before scan" "env VUXDATADIR=$db $out/bin/vux-before /q /r" \
            -n "before rescan" "env VUXDATADIR=$db $out/bin/vux-before /q /r" \
            -n "after scan" "env VUXDATADIR=$da $out/bin/vux-after /q /r" \
            -n "after rescan" "env VUXDATADIR=$da $out/bin/vux-after /q /r" \
            -n "bare_walk" "$out/bin/bare_walk $root > $out/scratch-walk.txt" >"$results/versus-$name.log" 2>&1
    )
    read -r _ walk < <(cpu bare_walk "$json")
    for build in before after; do
        read -r scanCpu scan < <(cpu "$build scan" "$json")
        read -r rescanCpu rescan < <(cpu "$build rescan" "$json")
        awk -v t="$name" -v b="$build" -v s="$scan" -v r="$rescan" -v sc="$scanCpu" -v rc="$rescanCpu" -v w="$walk" \
            'BEGIN { printf "| %s | %s | %.1f | %.1f | %.2f | %.1f | %.1f | %.2f |\n", t, b, s*1000, r*1000, r/s, sc*1000, rc*1000, r/w }'
    done
done
