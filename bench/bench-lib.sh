# Shared pieces of the bench/*.sh scripts; sourced, not run.
# Sets: here top build tool gui ini work runs; functions below.

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(dirname "$here")
ini="$top/data/Tarvik.ini"
runs=${RUNS:-5}

# The build directory: first argument of the script, else $BUILD, else build/.
bench_setup() {
    build=$(realpath "${1:-${BUILD:-$top/build}}")
    tool="$build/tarvik-count"
    gui="$build/gui_bench"
    [ -x "$tool" ] || { echo "no $tool: build the target tarvik-count first" >&2; exit 2; }
}

need_gui() {
    [ -x "$gui" ] || { echo "no $gui: build the target gui_bench first (option TARVIK_BUILD_BENCH)" >&2; exit 2; }
}

# Sets `tree` to a generated tree of $1 files under $work, reused when it is there; removed at
# exit when this script made it, unless KEEP_TREE=1.
tree_made=""
bench_tree() {
    local files=$1
    tree="$work/tree-$files-s${SEED:-1}"
    if [ ! -f "$tree.done" ]; then
        rm -rf "$tree"
        python3 "$here/gen_tree.py" tree --out "$tree" --files "$files" --seed "${SEED:-1}" >&2
        touch "$tree.done"
        tree_made="$tree"
    fi
}

bench_cleanup() {
    if [ -n "$tree_made" ] && [ "${KEEP_TREE:-0}" != 1 ]; then
        rm -rf "$tree_made" "$tree_made.done"
    fi
}

# Seconds (float) a command line takes, output to /dev/null.
seconds_of() {
    local t0=$EPOCHREALTIME
    "$@" > /dev/null
    local t1=$EPOCHREALTIME
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }'
}

# Best of N runs of a command line.
best_of() {
    local n=$1; shift
    local best="" t
    for _ in $(seq "$n"); do
        t=$(seconds_of "$@")
        best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (b == "" || a < b) ? a : b }')
    done
    echo "$best"
}

# Smallest / largest of numbers.
min_of() { printf '%s\n' "$@" | sort -g | head -1; }
max_of() { printf '%s\n' "$@" | sort -g | tail -1; }

# Arithmetic on decimals: calc 'expression' (awk syntax).
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }

# PASS when `value <= limit`.
verdict() { awk -v v="$1" -v l="$2" 'BEGIN { print (v <= l) ? "PASS" : "FAIL" }'; }

# The value of one figure ("name value" lines) in a gui_bench output file.
figure_of() { awk -v k="$2" '$1 == k { $1 = ""; sub(/^ /, ""); print; exit }' "$1"; }

machine_line() {
    echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -r)"
}

# Reads every file of a NUL-separated list once, to have the cache warm.
warm_files() { xargs -0 cat < "$1" > /dev/null; }
