#!/usr/bin/env bash
# tarvik-count's memory against the number of files: maximum RSS (/usr/bin/time) over a list of
# FILES paths and over every tenth of them (same sizes and languages), for each output format and
# for --jobs 1 and all cores. Beyond the list of paths itself (one row per file), nothing may grow
# with the number of files: the growth per file must stay under 1 KiB.
# Usage: bench/memory-bench.sh [BUILD_DIR] [TREE]
# Environment: FILES (100000), SEED, WORK (/tmp/tarvik-bench), KEEP_TREE=1.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/bench-lib.sh"
bench_setup "${1:-}"
files=${FILES:-100000}
work=${WORK:-/tmp/tarvik-bench}
mkdir -p "$work"
scratch=$(mktemp -d "$work/memory.XXXXXX")
trap 'rm -rf "$scratch"; bench_cleanup' EXIT
if [ -n "${2:-}" ]; then tree=$(realpath "$2"); else bench_tree "$files"; fi

# The files tarvik-count takes from the tree, in its order; the small list is every tenth.
"$tool" -s "$ini" -j 1 -f json "$tree" > "$scratch/walk.json"
python3 - "$scratch" <<'PY'
import json, sys
d = sys.argv[1]
paths = [f["path"] for f in json.load(open(f"{d}/walk.json"))["files"]]
open(f"{d}/big", "w").write("".join(p + "\n" for p in paths))
open(f"{d}/small", "w").write("".join(p + "\n" for p in paths[::10]))
open(f"{d}/mean", "w").write(f"{sum(len(p.encode()) for p in paths) / max(1, len(paths)):.0f}\n")
PY
n_big=$(wc -l < "$scratch/big"); n_small=$(wc -l < "$scratch/small")
mean_path=$(cat "$scratch/mean")
tr '\n' '\0' < "$scratch/big" > "$scratch/big0"
warm_files "$scratch/big0"

# Maximum RSS in KiB of one run.
max_rss() {
    /usr/bin/time -f '%M' -o "$scratch/time" "$@" > /dev/null
    tail -1 "$scratch/time"
}

one=$(head -1 "$scratch/big")
base=$(max_rss "$tool" -s "$ini" -j 1 "$one")

echo "machine:   $(machine_line)"
echo "tree:      $tree"
echo "lists:     $n_big and $n_small paths (every tenth), mean path $mean_path bytes"
echo "one file:  max RSS $base KiB"
echo
echo "| format | jobs | max RSS $n_small files | max RSS $n_big files | growth per file | limit | result |"
echo "|---|---|---|---|---|---|---|"
worst=0
for format in report csv json; do
    for jobs in 1 "$(nproc)"; do
        small=$(max_rss "$tool" -s "$ini" -j "$jobs" -f "$format" --files-from "$scratch/small")
        big=$(max_rss "$tool" -s "$ini" -j "$jobs" -f "$format" --files-from "$scratch/big")
        per=$(calc "($big - $small) * 1024 / ($n_big - $n_small)")
        worst=$(max_of "$worst" "$per")
        echo "| $format | $jobs | $small KiB | $big KiB | $per B | 1024 B | $(verdict "$per" 1024) |"
    done
done
echo
echo "target 4 (tarvik-count memory grows only by the list of paths): worst growth $worst B/file: $(verdict "$worst" 1024)"
