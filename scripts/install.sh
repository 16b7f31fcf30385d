#!/usr/bin/env bash
# Builds vux, installs it into a folder of your choice (default ~/.vux), writes the
# shell wrappers there with vux's own install option, and runs it once.
#   scripts/install.sh [FOLDER]
set -eu
cd "$(dirname "$0")/.."
folder=${1:-"$HOME/.vux"}

if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake g++ >/dev/null
    else
        echo "install.sh: needs cmake and g++ (apt-get install cmake g++)" >&2
        exit 1
    fi
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target vux >/dev/null
mkdir -p "$folder"
folder=$(cd "$folder" && pwd -P)
cp build/vux "$folder/vux"

# Tab completion and the manual page. vux-complete lies beside vux, so it reads the
# same data folder; man finds vux.1 in ~/.local/share/man while ~/.local/bin is on
# PATH (Debian's ~/.profile puts it there when the folder exists).
cmake --build build -j2 --target vux-complete >/dev/null
cp build/vux-complete "$folder/vux-complete"
man1="$HOME/.local/share/man/man1"
mkdir -p "$man1" "$HOME/.local/bin"
cp doc/vux.1 "$man1/vux.1"

# The program folder holds the command batch and, without VUXDATADIR, the data
# files; the wrappers are written into the folder the install runs in.
status=0
(cd "$folder" && ./vux /install) || status=$?
[ "$status" = 127 ] || { echo "install.sh: vux /install failed ($status)" >&2; exit 1; }

cat <<MSG

vux is installed in $folder. Add one line to your shell's start-up file:
  bash (~/.bashrc), zsh (~/.zshrc):   . '$folder/vux.sh'
  fish (~/.config/fish/config.fish):  source '$folder/vux.fish'
Then open a new shell and type, for example:  vux src

vux run once, in $(pwd -P):
MSG
status=0
"$folder/vux" || status=$?
[ "$status" = 127 ]  # no search key: vux printed the current directory
