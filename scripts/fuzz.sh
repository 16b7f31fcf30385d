#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each one: first
# over its kept inputs in tests/fuzz/corpus/<target>, every one of which must
# pass, then on new inputs for the given number of seconds (default 60).
# Prints one line per target, "fuzz_<target>: N runs, ok" or "... FAILED"; an
# input that fails is kept in build-fuzz/findings/ with its report beside it.
# Needs clang and its runtime (Debian: clang, libclang-rt-dev).
set -u
cd "$(dirname "$0")/.."
seconds=${1:-60}
here=$PWD
build=$here/build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -DVUX_FUZZ=ON -DVUX_TESTS=OFF -DVUX_WERROR=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" -j2 --target fuzz_all >/dev/null || {
    echo "fuzz.sh: the fuzz targets don't build" >&2
    exit 1
}

mkdir -p "$build/findings"
failed=0
for target in parser scoring paths files; do
    binary=$build/tests/fuzz/fuzz_$target
    seeds=$here/tests/fuzz/corpus/$target
    # New inputs go to a working corpus; the kept one stays as it is.
    work=$build/corpus/$target
    log=$build/findings/fuzz_$target.log
    mkdir -p "$work"
    # The targets run inside a temporary folder: every path handed over is absolute.
    options=(-max_len=12000 -artifact_prefix="$build/findings/$target-" -print_final_stats=1)
    if ! "$binary" "${options[@]}" -runs=0 "$seeds" >"$log" 2>&1 ||
        ! "$binary" "${options[@]}" -max_total_time="$seconds" "$work" "$seeds" >>"$log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{n += $2} END {print n + 0}')
        echo "fuzz_$target: $runs runs, FAILED (see $log)"
        failed=1
        continue
    fi
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{n += $2} END {print n + 0}')
    echo "fuzz_$target: $runs runs, ok"
done
exit "$failed"
