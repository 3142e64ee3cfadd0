#!/usr/bin/env bash
# The author summary of a comparison against git's own blame of the same files: the time of
# `tarvik-count --repo REPO --diff OLD NEW --summary author`, of `git blame --incremental
# OLD..NEW -- FILE` run over the files it blames (those with steps added or changed) one after
# another, and of the comparison alone.
# Target: the author summary takes no longer than the git blame runs.
# Usage: bench/author-bench.sh REPO OLD NEW [BUILD_DIR]
# Environment: RUNS (best of, 5; the git blame sequence is run 1 time unless GIT_RUNS says more).
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/bench-lib.sh"
[ $# -ge 3 ] || { echo "usage: $0 REPO OLD NEW [BUILD_DIR]" >&2; exit 2; }
repo=$(realpath "$1")
old=$2
new=$3
bench_setup "${4:-}"

# The files the summary blames: the pairs with steps added or changed, by their path in NEW.
files=$("$tool" -s "$ini" --repo "$repo" --diff "$old" "$new" -f csv 2> /dev/null \
    | python3 -c '
import csv, sys
for row in csv.DictReader(sys.stdin):
    if row["outcome"] == "Counted" and int(row["added"]) + int(row["changed"]) > 0:
        print(row["new_path"].split(":", 1)[1])
')
count=$(printf '%s\n' "$files" | grep -c . || true)

blame_all() {
    while IFS= read -r f; do
        [ -n "$f" ] && git -C "$repo" blame --incremental "$old..$new" -- "$f" > /dev/null
    done <<< "$files"
}

# The unregistered files' line on standard error is not what is timed.
count() { "$tool" "$@" 2> /dev/null; }
diff_only=$(best_of "$runs" count -s "$ini" --repo "$repo" --diff "$old" "$new" -f csv)
authors=$(best_of "$runs" count -s "$ini" --repo "$repo" --diff "$old" "$new" -f csv --summary author)
authors_one=$(best_of "$runs" count -s "$ini" -j 1 --repo "$repo" --diff "$old" "$new" -f csv --summary author)
git_blame=$(best_of "${GIT_RUNS:-1}" blame_all)
# Processor time (user + system) of one run each: on a machine shared with other work it varies
# less than the wall time.
cpu_of() {
    local TIMEFORMAT="%U %S" t
    t=$( { time "$@" > /dev/null 2>&1; } 2>&1 )
    echo "$t" | awk '{ printf "%.2f", $1 + $2 }'
}
authors_cpu=$(cpu_of count -s "$ini" --repo "$repo" --diff "$old" "$new" -f csv --summary author)
git_cpu=$(cpu_of blame_all)

echo "repository: $repo, $old..$new, $count files blamed, $(nproc) cores"
printf '%-52s %8ss\n' "tarvik-count --diff" "$diff_only"
printf '%-52s %8ss\n' "tarvik-count --diff --summary author" "$authors"
printf '%-52s %8ss\n' "tarvik-count --diff --summary author -j 1" "$authors_one"
printf '%-52s %8ss\n' "git blame --incremental OLD..NEW, file after file" "$git_blame"
awk -v a="$authors" -v g="$git_blame" 'BEGIN { printf "author summary / git blame: %.2f (target: at most 1)\n", a / g }'
echo "processor time: author summary ${authors_cpu}s, git blame runs ${git_cpu}s"
