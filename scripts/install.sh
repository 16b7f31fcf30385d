#!/usr/bin/env bash
# Builds vux, installs it into a folder of your choice (default ~/.vux), writes the
# shell wrappers there with vux's own install option, and runs it once. Run again,
# it upgrades: the program and the wrappers are replaced, your options (vux.cfg),
# home, back and tree files are kept.
#   scripts/install.sh [FOLDER]
set -eu
folder=${1:-"$HOME/.vux"}
case $folder in
    /*) ;;
    *) folder=$(pwd -P)/$folder ;;  # relative to where you are, not to the repository
esac
cd "$(dirname "$0")/.."

# A folder name quoted for sh (' as '\''), for fish (\ and ' escaped) and for csh
# (' as '\'' and ! as '\!', since csh expands ! even inside single quotes).
shQuoted() {
    local quote="'\\''"
    printf "'%s'" "${1//\'/$quote}"
}
fishQuoted() {
    local text=${1//\\/\\\\}
    printf "'%s'" "${text//\'/\\\'}"
}
cshQuoted() {
    local quote="'\\''" bang="'\\!'"
    local text=${1//\'/$quote}
    printf "'%s'" "${text//!/$bang}"
}

if ! command -v cmake >/dev/null || ! command -v g++ >/dev/null; then
    if [ "$(id -u)" = 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake g++ >/dev/null
    else
        echo "install.sh: needs cmake and g++ (apt-get install cmake g++)" >&2
        exit 1
    fi
fi

# Warnings stay warnings, even in a build folder the test script configured.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVUX_WERROR=OFF >/dev/null
cmake --build build -j2 --target vux >/dev/null
mkdir -p "$folder"
folder=$(cd "$folder" && pwd -P)
# Copied beside and renamed over the old program, which may be running.
cp build/vux "$folder/vux.new.$$"
mv -f "$folder/vux.new.$$" "$folder/vux"

# vux serves Tab completion itself; the helper program of earlier installs goes.
rm -f "$folder/vux-complete"
# The manual page: man finds vux.1 in ~/.local/share/man while ~/.local/bin is on
# PATH (Debian's ~/.profile puts it there when the folder exists).
man1="$HOME/.local/share/man/man1"
mkdir -p "$man1" "$HOME/.local/bin"
cp doc/vux.1 "$man1/vux.1"

# The program folder holds the command batch and, without VUXDATADIR, the data
# files; the wrappers are written into the folder the install runs in. The install
# option rewrites vux.cfg from its own words, so it runs on a scratch data folder
# and the user's vux.cfg is only created when there is none.
scratch=$(mktemp -d "$folder/.install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
status=0
said=$(cd "$folder" && VUXDATADIR=$scratch ./vux /install) || status=$?
[ "$status" = 127 ] || { echo "install.sh: vux /install failed ($status)" >&2; exit 1; }
# The data folder is VUXDATADIR's when that is a host folder, else the program's.
data=$folder
case ${VUXDATADIR-} in
    /*) data=$VUXDATADIR ;;
esac
if [ -e "$data/vux.cfg" ]; then
    printf '%s\n' "$said" | sed 's/^vux: Creating new vux.cfg$/vux: Keeping your vux.cfg/'
elif [ -n "${VUXDATADIR-}" ] && [ "$data" = "$folder" ]; then
    printf '%s\n' "$said" | sed "s|^vux: Creating new vux.cfg\$|vux: Writing no vux.cfg: VUXDATADIR is no host folder|"
else
    printf '%s\n' "$said"
    mkdir -p "$data"
    mv "$scratch/vux.cfg" "$data/vux.cfg"
fi

cat <<MSG

vux is installed in $folder. Add one line to your shell's start-up file:
  bash (~/.bashrc), zsh (~/.zshrc):   . $(shQuoted "$folder/vux.sh")
  fish (~/.config/fish/config.fish):  source $(fishQuoted "$folder/vux.fish")
  ksh, mksh, yash, dash, ash (~/.kshrc, ~/.mkshrc, ~/.yashrc, \$ENV):  . $(shQuoted "$folder/vux.sh")
  tcsh (~/.tcshrc), csh (~/.cshrc):   source $(cshQuoted "$folder/vux.csh")
Then open a new shell and type, for example:  vux src

The manual page went to $man1/vux.1.
\`man vux\` finds it once ~/.local/bin is on your PATH (from your next login on
Debian-like systems); until then read it with:  man -l $(shQuoted "$man1/vux.1")

vux run once, in $folder:
MSG
status=0
(cd "$folder" && ./vux) || status=$?
[ "$status" = 127 ]  # no search key: vux printed the current directory
