#!/usr/bin/env bash
# What subtotals cost a run: tarvik-count over a generated tree of FILES files (100000) with and
# without `--summary type --summary dir:2`, in each output format. Target: the subtotals add at
# most 5 % to a run.
#
# The verdict is on the instructions the program executes (valgrind's callgrind, --jobs 1): they
# are the same on every run, where times on a machine shared with other work vary by more than
# the 5 % to be told (the kernel's part of reading the files is left out, which makes the
# share of the subtotals look larger, not smaller). Wall-clock and processor times, the best of
# RUNS (5) with the two runs interleaved, are shown beside it.
# Usage: bench/summary-bench.sh [BUILD_DIR] [TREE]
# Environment: FILES, SEED, RUNS, JOBS (all cores, for the times), WORK (/tmp/tarvik-bench), KEEP_TREE=1.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/bench-lib.sh"
bench_setup "${1:-}"
files=${FILES:-100000}
work=${WORK:-/tmp/tarvik-bench}
jobs=${JOBS:-$(nproc)}
mkdir -p "$work"
for p in valgrind time; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' && continue
    sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -qq && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p"
done
scratch=$(mktemp -d "$work/summary.XXXXXX")
trap 'rm -rf "$scratch"; bench_cleanup' EXIT
if [ -n "${2:-}" ]; then tree=$(realpath "$2"); else bench_tree "$files"; fi

summaries=(--summary type --summary dir:2)
run() { "$tool" -s "$ini" "$@" "$tree"; }

# The subtotals must add up to the run's own totals before their cost means anything.
check=$(run -j "$jobs" -f json "${summaries[@]}" | python3 -c '
import json, sys
d = json.load(sys.stdin)
rows = [t["rows"][-1] for t in d["summaries"]]
print("ok" if all(r["row"] == "total" and r["executable"] == d["totalSteps"] for r in rows) else "MISMATCH")')
nfiles=$(run -j "$jobs" -f csv | tail -n +2 | wc -l)
run -j "$jobs" -f report > /dev/null # the cache warm

# Instructions of one run (-j 1).
instructions_of() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null --log-file="$scratch/valgrind" "$tool" -s "$ini" -j 1 "$@" "$tree" > /dev/null
    awk '/Collected :/ { print $NF }' "$scratch/valgrind"
}
# "wall cpu" seconds of one run.
times_of() {
    /usr/bin/time -f '%e %U %S' -o "$scratch/time" "$tool" -s "$ini" -j "$jobs" "$@" "$tree" > /dev/null
    awk 'END { printf "%s %.2f", $1, $2 + $3 }' "$scratch/time"
}

echo "machine:   $(machine_line)"
echo "tree:      $tree ($nfiles files)"
echo "subtotals add up to the totals: $check"
echo
echo "| format | instructions without | with --summary type --summary dir:2 | added | limit | result | wall without / with (-j $jobs) | CPU without / with |"
echo "|---|---|---|---|---|---|---|---|"
worst=-100
for format in report csv json; do
    i_plain=$(instructions_of -f "$format")
    i_with=$(instructions_of -f "$format" "${summaries[@]}")
    added=$(calc "($i_with - $i_plain) * 100 / $i_plain")
    worst=$(max_of "$worst" "$added")
    w_plain="" w_with="" c_plain="" c_with=""
    for _ in $(seq "$runs"); do
        t=$(times_of -f "$format"); read -r w c <<< "$t"
        w_plain=$(min_of $w_plain "$w"); c_plain=$(min_of $c_plain "$c")
        t=$(times_of -f "$format" "${summaries[@]}"); read -r w c <<< "$t"
        w_with=$(min_of $w_with "$w"); c_with=$(min_of $c_with "$c")
    done
    echo "| $format | $i_plain | $i_with | $added % | 5 % | $(verdict "$added" 5) | $w_plain s / $w_with s | $c_plain s / $c_with s |"
done
echo
echo "subtotals by type and by folder add at most 5 % to a run: worst $worst %: $(verdict "$worst" 5)"
[ "$check" = ok ]
