#!/usr/bin/env bash
# Counts a large real source tree with tarvik-count, with cloc, and with a plain cat of every
# file (the I/O floor), on the same files with a warm cache, and prints times and ratios.
# Usage: bench/count-bench.sh [TARVIK_COUNT] [TREE]   (defaults: build/tarvik-count /usr/include)
# INI=FILE counts with other settings (say, a copy with rules in Anryze_Rule); default data/Tarvik.ini.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
tool=$(realpath "${1:-$top/build/tarvik-count}")
tree=$(realpath "${2:-/usr/include}")
ini=$(realpath "${INI:-$top/data/Tarvik.ini}")
runs=${RUNS:-5}

sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
missing=$(grep -v '^\s*#' "$here/debian-packages.txt" | sed '/^\s*$/d' | while read -r p; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || echo "$p"; done)
if [ -n "$missing" ]; then
    $sudo apt-get update -qq && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
fi

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
# The files tarvik-count takes from the tree (registered, searched extensions), as cloc gets them.
"$tool" -s "$ini" -j 1 -f json "$tree" > "$work/walk.json"
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
files = [f["path"] for f in json.load(open(f"{work}/walk.json"))["files"]]
open(f"{work}/list", "w").write("".join(p + "\n" for p in files))
open(f"{work}/list0", "wb").write(b"".join(p.encode() + b"\0" for p in files))
PY
nfiles=$(wc -l < "$work/list")
bytes=$(xargs -0 cat < "$work/list0" | wc -c)

# Best of N wall-clock seconds of a command line.
best() {
    local n=$1; shift
    local best=""
    for _ in $(seq "$n"); do
        local t0 t1
        t0=$(date +%s.%N); "$@" > /dev/null; t1=$(date +%s.%N)
        best=$(python3 -c "a=$t1-$t0; b='$best'; print(a if b=='' or a<float(b) else b)")
    done
    printf '%.3f' "$best"
}

catall() { xargs -0 cat < "$work/list0"; }
count() { "$tool" -s "$ini" -f report --files-from "$work/list" "$@"; }
clocall() { cloc --quiet --list-file="$work/list"; }

catall > /dev/null; catall > /dev/null   # warm the cache
t_cat=$(best "$runs" catall)
t_one=$(best "$runs" count -j 1)
t_all=$(best "$runs" count -j "$(nproc)")
t_cloc=$(best 1 clocall)

# Output must not depend on --jobs.
same=yes
ref=$(count -j 1 | sha256sum)
for j in 2 3 8; do [ "$(count -j "$j" | sha256sum)" = "$ref" ] || same=no; done

ratio() { python3 -c "print(f'{$1/$2:.2f}')"; }
cat <<REPORT
tree:              $tree
settings:          $ini
files:             $nfiles ($((bytes / 1048576)) MiB)
machine:           $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
cat (I/O floor):   ${t_cat} s
tarvik-count -j1:  ${t_one} s
tarvik-count -j$(nproc):  ${t_all} s   ($(ratio "$t_all" "$t_cat") x cat)
cloc:              ${t_cloc} s   (tarvik-count is $(ratio "$t_cloc" "$t_all") x faster)
same output for every --jobs: $same
REPORT
