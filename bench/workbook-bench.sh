#!/usr/bin/env bash
# The workbook of 100,000 rows: tarvik-count -f xlsx against -f csv over the same list of FILES
# paths (both to a file, cache warm). The CSV is streamed and keeps nothing, so the difference
# is what building and writing the workbook costs: at most 3 s and 200 MB of maximum RSS.
# Usage: bench/workbook-bench.sh [BUILD_DIR] [TREE]
# Environment: FILES (100000), SEED, WORK (/tmp/tarvik-bench), RUNS (5), JOBS (all cores), KEEP_TREE=1.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/bench-lib.sh"
bench_setup "${1:-}"
files=${FILES:-100000}
jobs=${JOBS:-$(nproc)}
work=${WORK:-/tmp/tarvik-bench}
mkdir -p "$work"
scratch=$(mktemp -d "$work/workbook.XXXXXX")
trap 'rm -rf "$scratch"; bench_cleanup' EXIT
if [ -n "${2:-}" ]; then tree=$(realpath "$2"); else bench_tree "$files"; fi

"$tool" -s "$ini" -j "$jobs" -f json "$tree" > "$scratch/walk.json"
python3 - "$scratch" <<'PY'
import json, sys
d = sys.argv[1]
paths = [f["path"] for f in json.load(open(f"{d}/walk.json"))["files"]]
open(f"{d}/list", "w").write("".join(p + "\n" for p in paths))
open(f"{d}/list0", "w").write("".join(p + "\0" for p in paths))
PY
rows=$(wc -l < "$scratch/list")
warm_files "$scratch/list0"

run() { "$tool" -s "$ini" -j "$jobs" -f "$1" -o "$scratch/out.$1" --files-from "$scratch/list"; }
max_rss() {
    /usr/bin/time -f '%M' -o "$scratch/time" "$tool" -s "$ini" -j "$jobs" -f "$1" -o "$scratch/out.$1" \
        --files-from "$scratch/list" > /dev/null
    tail -1 "$scratch/time"
}

csv_s=$(best_of "$runs" run csv)
xlsx_s=$(best_of "$runs" run xlsx)
csv_kib=$(max_rss csv)
xlsx_kib=$(max_rss xlsx)
write_s=$(calc "$xlsx_s - $csv_s")
more_mb=$(calc "($xlsx_kib - $csv_kib) * 1024 / 1000000")

echo "machine:  $(machine_line)"
echo "tree:     $tree, $rows rows, --jobs $jobs, best of $runs"
echo "workbook: $(stat -c %s "$scratch/out.xlsx") bytes; CSV $(stat -c %s "$scratch/out.csv") bytes"
echo
echo "| tarvik-count | wall time | max RSS |"
echo "|---|---|---|"
echo "| -f csv -o FILE | $csv_s s | $csv_kib KiB |"
echo "| -f xlsx -o FILE | $xlsx_s s | $xlsx_kib KiB |"
echo "| the workbook's part | $write_s s ($(verdict "$write_s" 3), limit 3 s) | $more_mb MB ($(verdict "$more_mb" 200), limit 200 MB) |"
