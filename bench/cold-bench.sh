#!/usr/bin/env bash
# A first run of the day against a warm one: tarvik-count on a tree (walk and count) with the
# page cache dropped before each cold run, beside a plain cat of exactly the files it counts with
# 1 and 8 readers and a find of the tree, cold and warm. Dropping the cache needs root; without it
# the cold runs are skipped (and said to be).
# Usage: bench/cold-bench.sh [TARVIK_COUNT] TREE      RUNS=3 (best of N), JOBS (default: the tool's)
# Goals: cold tarvik-count <= 1.2 x cold cat with 8 readers; warm tarvik-count <= 1.0 x warm cat.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
if [ $# -ge 2 ]; then tool=$(realpath "$1"); shift; else tool="$top/build/tarvik-count"; fi
tree=$(realpath "${1:?usage: bench/cold-bench.sh [TARVIK_COUNT] TREE}")
ini=$(realpath "${INI:-$top/data/Tarvik.ini}")
runs=${RUNS:-3}
jobs=()
[ -n "${JOBS:-}" ] && jobs=(-j "$JOBS")

work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
"$tool" -s "$ini" -j 1 -f json "$tree" > "$work/walk.json"
/usr/bin/python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
files = [f["path"] for f in json.load(open(f"{work}/walk.json"))["files"]]
open(f"{work}/list0", "wb").write(b"".join(p.encode() + b"\0" for p in files))
PY
nfiles=$(tr -cd '\0' < "$work/list0" | wc -c)
bytes=$(xargs -0 cat < "$work/list0" | wc -c)

cold=yes
drop() { sync; echo 3 > /proc/sys/vm/drop_caches; }
if [ "$(id -u)" != 0 ] || ! drop 2>/dev/null; then cold=no; fi

# Best of N wall-clock seconds of a command line; with "cold" first, the cache is dropped before each.
best() {
    local dropping=no
    [ "$1" = cold ] && { dropping=yes; shift; }
    local best=""
    for _ in $(seq "$runs"); do
        [ $dropping = yes ] && drop
        local t0=$EPOCHREALTIME
        "$@" > /dev/null
        local t1=$EPOCHREALTIME
        best=$(awk -v a="$t0" -v b="$t1" -v c="$best" 'BEGIN { t = b - a; print (c == "" || t < c) ? t : c }')
    done
    printf '%.3f' "$best"
}

# GNU cat allocates its 128 KiB buffer anew for every file, which glibc maps and unmaps; in a
# virtual machine that costs more than reading a small file. From the heap, cat is the floor it
# is meant to be.
cat1() { MALLOC_MMAP_THRESHOLD_=4194304 xargs -0 cat < "$work/list0"; }
cat8() { MALLOC_MMAP_THRESHOLD_=4194304 xargs -0 -P8 -n 200 cat < "$work/list0"; }
findall() { find "$tree" -type f; }
count() { "$tool" -s "$ini" -f report "${jobs[@]}" "$tree"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "tree:     $tree"
echo "files:    $nfiles counted ($((bytes / 1048576)) MiB)"
echo "machine:  $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "tool:     $tool ${jobs[*]}"
if [ $cold = yes ]; then
    c_find=$(best cold findall)
    c_cat1=$(best cold cat1)
    c_cat8=$(best cold cat8)
    c_count=$(best cold count)
    echo "cold:     find ${c_find} s, cat ${c_cat1} s, cat with 8 readers ${c_cat8} s"
    echo "cold:     tarvik-count ${c_count} s   ($(ratio "$c_count" "$c_cat8") x cat with 8 readers; goal <= 1.2)"
else
    echo "cold:     skipped (dropping the page cache needs root)"
fi
cat1 > /dev/null; count > /dev/null   # warm
w_cat1=$(best cat1)
w_cat8=$(best cat8)
w_count=$(best count)
echo "warm:     cat ${w_cat1} s, cat with 8 readers ${w_cat8} s"
echo "warm:     tarvik-count ${w_count} s   ($(ratio "$w_count" "$w_cat1") x cat; goal <= 1.0)"

same=yes
ref=$("$tool" -s "$ini" -f report -j 1 "$tree" | sha256sum)
for j in 2 3 8; do [ "$("$tool" -s "$ini" -f report -j "$j" "$tree" | sha256sum)" = "$ref" ] || same=no; done
echo "same output for -j 1, 2, 3, 8: $same"
