#!/usr/bin/env bash
# Patterns built to make a backtracking matcher take exponential time, given with --exclude,
# as a repository's committed .gitignore (--repo … --gitignore) and in a working folder, over
# 2,000 files with long names four folders deep. Each run is capped at 60 s. In a working folder
# the rules are git's, matched by libgit2.
# Usage: bench/pattern-bench.sh [BUILD_DIR]
set -euo pipefail
source "$(dirname "$0")/bench-lib.sh"
bench_setup "${1:-}"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

name=$(printf 'a%.0s' $(seq 60))
tree="$work/repo"
for d in $(seq 20); do
    mkdir -p "$tree/$name/$name/$name/d$d"
    for f in $(seq 100); do echo "int x$f;" > "$tree/$name/$name/$name/d$d/${name}_$f.c"; done
done
stars=$(printf '*a%.0s' $(seq 30))'*b'
globstars=$(printf '**/a*/%.0s' $(seq 30))'b'
long=$(printf '*a*?%.0s' $(seq 2500))'b'
git -C "$tree" init -q
git -C "$tree" add -A
# Added after the files: git's own matcher is stalled by these patterns as well.
printf '%s\n%s\n%s\n' "$stars" "$globstars" "$long" > "$tree/.gitignore"
git -C "$tree" add .gitignore && git -C "$tree" -c user.name=b -c user.email=b@example.org commit -q -m bench

run() {
    local label=$1; shift
    local t0 t1 rc=0
    t0=$(date +%s.%N)
    timeout 60 "$tool" -s "$ini" -f csv "$@" > /dev/null || rc=$?
    t1=$(date +%s.%N)
    printf '%-44s %8.3f s%s\n' "$label" "$(echo "$t1 - $t0" | bc)" "$([ $rc = 124 ] && echo '  (stopped at 60 s)')"
}
echo "2,000 files, names of 60+ characters, 4 folders deep"
run "no pattern" "$tree"
run "--exclude '*a' x30 '*b'" --exclude "$stars" "$tree"
run "--exclude '**/a*/' x30 'b'" --exclude "$globstars" "$tree"
run "--exclude of 10,000 characters" --exclude "$long" "$tree"
run "working folder --gitignore (all three)" --gitignore "$tree"
run "--repo --rev HEAD --gitignore (all three)" --repo "$tree" --rev HEAD --gitignore
