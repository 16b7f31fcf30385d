#!/usr/bin/env bash
# Counts wrong landings when several shells of one user call vux at once, each in a
# loop with its own key. Not part of the suite: run it by hand after a build.
#   bench/crosstalk.sh [SHELLS] [CALLS]     (default 2 shells, 300 calls each)
set -eu
cd "$(dirname "$0")/.."
shells=${1:-2}
calls=${2:-300}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tools" "$work/start"
cp build/vux "$work/tools/vux"
for i in $(seq "$shells"); do mkdir -p "$work/tree/k$i/key$i"; done
(cd "$work/tools" && ./vux /install /q) || [ $? = 127 ]
export VUXDRIVES="C=$work"
(cd "$work/start" && "$work/tools/vux" /r /q >/dev/null) || true

for i in $(seq "$shells"); do
    bash --norc --noprofile -c '
        . "$1/tools/vux.sh"
        wrong=0
        for n in $(seq "$3"); do
            cd "$1/start"
            vux "key$2" >/dev/null 2>&1 || true
            [ "$(pwd -P)" = "$1/tree/k$2/key$2" ] || wrong=$((wrong + 1))
        done
        echo "$wrong"' bash "$work" "$i" "$calls" >"$work/wrong.$i" &
done
wait
total=0
for i in $(seq "$shells"); do total=$((total + $(cat "$work/wrong.$i"))); done
echo "$shells shells, $((shells * calls)) calls: $total wrong landings"
