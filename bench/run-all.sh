#!/usr/bin/env bash
# Runs every benchmark of this folder on one generated tree of $FILES files (100000) and removes
# the generated files at the end: the window (targets 2, 3, 4, 6), tarvik-count's memory (4),
# single big files (5), and the real header tree against cloc (1, bench/count-bench.sh).
# Usage: bench/run-all.sh [BUILD_DIR]      Environment: as for the scripts it runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-${BUILD:-$(dirname "$here")/build}}")
export WORK=${WORK:-/tmp/tarvik-bench}
files=${FILES:-100000}
tree="$WORK/tree-$files-s${SEED:-1}"
keep=${KEEP_TREE:-0}
trap '[ "$keep" = 1 ] || rm -rf "$tree" "$tree.done"' EXIT
export KEEP_TREE=1   # the scripts below share the tree
echo "== window (targets 2, 3, 4, 6)"; "$here/window-bench.sh" "$build"
echo; echo "== tarvik-count memory (target 4)"; "$here/memory-bench.sh" "$build"
echo; echo "== subtotals' cost"; "$here/summary-bench.sh" "$build"
echo; echo "== single big files (target 5)"; "$here/linear-bench.sh" "$build"
echo; echo "== real tree against cloc (target 1)"; "$here/count-bench.sh" "$build/tarvik-count"
