#!/usr/bin/env bash
# The cost of one file must be linear in its size: tarvik-count --jobs 1 on single C files of
# 10, 50 and 200 MiB of ordinary source lines, and on two files that are one 50 MiB line each:
# plain code without quotes or comment tokens, and string literals mixed with block comments
# (that one at 10 MiB too, for its growth with the length). Files that are not UTF-8 must cost
# no more: random bytes, and CP932 source with a few stray bytes (one in its first line), at 4,
# 16 and 64 MiB, against valid CP932 source of 64 MiB.
# Each run is stopped after $TIMEOUT seconds and then reported as such.
# Usage: bench/linear-bench.sh [BUILD_DIR]
# Environment: RUNS (best of, 5), TIMEOUT (60), WORK (/tmp/tarvik-bench), KEEP_FILES=1, CASES (a
# space-separated subset of the kind:MiB cases below; the summary lines need their cases).
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/bench-lib.sh"
bench_setup "${1:-}"
runs=${RUNS:-5}
limit_s=${TIMEOUT:-60}
work=${WORK:-/tmp/tarvik-bench}
dir="$work/linear"
mkdir -p "$dir"
scratch=$(mktemp -d "$work/linear.XXXXXX")
trap 'rm -rf "$scratch"; [ "${KEEP_FILES:-0}" = 1 ] || rm -rf "$dir"' EXIT

mib=1048576
all_cases="lines:10 lines:50 lines:200 longplain:50 longtokens:10 longtokens:50 \
    random:4 random:16 random:64 sjisstray:4 sjisstray:16 sjisstray:64 sjis:64"
read -r -a cases <<< "${CASES:-$all_cases}"

# Random bytes, or Japanese C source in CP932 (with `stray` bytes that no encoding reads).
make_encoded() {
    python3 - "$@" <<'PY'
import random, sys
out, kind, size = sys.argv[1], sys.argv[2], int(sys.argv[3])
r = random.Random(size)
if kind == "random":
    data = bytearray(r.randbytes(size))
else:
    lines = []
    for i in range(4000):
        lines.append(f"    total_{r.randrange(100)} += value[{i}] * weight; // 合計値　{r.randrange(1000)} を加算\r\n")
        if i % 7 == 0:
            lines.append(f"    s = \"設定ファイル「{i}」\"; /* 全角スペース　と記号｛｝ */\r\n")
    block = "".join(lines).encode("cp932")
    data = bytearray((block * (size // len(block) + 1))[:size])
    if kind == "sjisstray":
        for at in [20] + [r.randrange(size) for _ in range(15)]:
            data[at] = 0xFF
with open(out, "wb") as f:
    f.write(data)
PY
}

for c in "${cases[@]}"; do
    kind=${c%%:*}; size=${c##*:}
    f="$dir/$kind-${size}M.c"
    [ -f "$f" ] && continue
    case $kind in
        random|sjis|sjisstray) make_encoded "$f" "$kind" $((size * mib)) ;;
        *) python3 "$here/gen_tree.py" bigfile --out "$f" --bytes $((size * mib)) --kind "$kind" > /dev/null ;;
    esac
done

# One timed run: "seconds maxrss_kib status" (status: ok, timeout or exitN); its csv row is kept.
timed() {
    local f=$1 rc=0 t0 t1
    t0=$EPOCHREALTIME
    /usr/bin/time -f '%M' -o "$scratch/time" timeout -k 5 "$limit_s" \
        "$tool" -s "$ini" -j 1 -f csv "$f" > "$scratch/out" 2>/dev/null || rc=$?
    t1=$EPOCHREALTIME
    local status=ok
    [ "$rc" = 124 ] && status=timeout
    [ "$rc" != 0 ] && [ "$rc" != 124 ] && status="exit$rc"
    echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') $(tail -1 "$scratch/time") $status"
}

echo "machine:   $(machine_line)"
echo "files:     $dir (warm cache), tarvik-count --jobs 1 --format csv, best of $runs, stopped after $limit_s s"
echo
echo "| file | size | cat | tarvik-count | ns/byte | MiB/s | max RSS | result (outcome, exec/comment/total) |"
echo "|---|---|---|---|---|---|---|---|"
declare -A secs
for c in "${cases[@]}"; do
    kind=${c%%:*}; size=${c##*:}
    f="$dir/$kind-${size}M.c"
    cat "$f" > /dev/null
    t_cat=$(best_of "$runs" cat "$f")
    best=""; rss=""; status=ok
    for _ in $(seq "$runs"); do
        read -r t m s < <(timed "$f")
        status=$s; rss=$m
        [ "$s" = ok ] || { best=$t; break; }
        best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (b == "" || a < b) ? a : b }')
    done
    secs[$c]=$best
    if [ "$status" = ok ]; then
        row=$(tail -1 "$scratch/out" | awk -F, '{ print $(NF-3) ", " $(NF-2) "/" $(NF-1) "/" $NF }')
        echo "| $kind | ${size} MiB | ${t_cat} s | ${best} s | $(calc "$best * 1e9 / ($size * $mib)") | $(calc "$size / $best") | $((rss / 1024)) MiB | $row |"
    else
        secs[$c]=""
        echo "| $kind | ${size} MiB | ${t_cat} s | > ${best} s ($status) | | | $((rss / 1024)) MiB | stopped |"
    fi
done

per_byte() { calc "${secs[$1]} / ${1##*:}"; }
have() { for k in "$@"; do [ -n "${secs[$k]:-}" ] || return 1; done; }
echo
# A summary whose cases were stopped, or not run (CASES), says so.
if have lines:10 lines:50 lines:200; then
    base=$(per_byte lines:10)
    q50=$(calc "$(per_byte lines:50) / $base"); q200=$(calc "$(per_byte lines:200) / $base")
    worst=$(max_of "$q50" "$q200")
    echo "target 5, ordinary lines: time per byte at 50 MiB ${q50} x, at 200 MiB ${q200} x that at 10 MiB (limit 1.3): $(verdict "$worst" 1.3)"
else
    echo "target 5, ordinary lines: not measured"
fi
if have longplain:50 lines:50; then
    q=$(calc "${secs[longplain:50]} / ${secs[lines:50]}")
    echo "target 5, one 50 MiB line of plain code: ${q} x the 50 MiB file of ordinary lines (limit 2): $(verdict "$q" 2)"
else
    echo "target 5, one 50 MiB line of plain code: not measured"
fi
# A line dense with string literals and comments does far more work per byte than ordinary
# code; what must hold is that the work grows with the length, not with its square.
if have longtokens:10 longtokens:50; then
    q=$(calc "$(per_byte longtokens:50) / $(per_byte longtokens:10)")
    echo "target 5, one line of literals and comments: time per byte at 50 MiB ${q} x that at 10 MiB (limit 1.3): $(verdict "$q" 1.3)"
else
    echo "target 5, one line of literals and comments: not measured"
fi
# Bytes that are not UTF-8 are decoded and replaced one by one; that must stay linear and near
# the cost of valid encoded text.
for kind in random sjisstray; do
    if have $kind:4 $kind:64 sjis:64; then
        q=$(calc "$(per_byte $kind:64) / $(per_byte $kind:4)")
        v=$(calc "$(per_byte $kind:64) / $(per_byte sjis:64)")
        echo "target 5, $kind: time per byte at 64 MiB ${q} x that at 4 MiB (limit 1.3): $(verdict "$q" 1.3); ${v} x valid CP932 of 64 MiB (limit 3): $(verdict "$v" 3)"
    else
        echo "target 5, $kind: not measured"
    fi
done
