#!/usr/bin/env bash
# The window's commands on a large tree, offscreen, against command-line yardsticks:
#   registration by the directory command, first time and again (all duplicates)  vs  find -type f
#   the analysis run (grid, report, progress bar)                                  vs  tarvik-count --jobs 1
#   peak RSS of the window with every file listed and analysed                     vs  300 MB
#   saving the log                                                                  vs  tarvik-count --format report
#   printing to PDF, 10,000 and FILES rows                                          per-row time must stay flat
# Usage: bench/window-bench.sh [BUILD_DIR] [TREE]
#   BUILD_DIR  holds tarvik-count and gui_bench (default: $BUILD or build/)
#   TREE       a source tree (default: a generated one of $FILES files, 100000, under $WORK)
# Environment: RUNS (best of, 5), FILES, SEED, WORK (/tmp/tarvik-bench), KEEP_TREE=1 keeps a
# generated tree for the next script.
set -euo pipefail
source "$(cd "$(dirname "$0")" && pwd)/bench-lib.sh"
bench_setup "${1:-}"
need_gui
files=${FILES:-100000}
work=${WORK:-/tmp/tarvik-bench}
mkdir -p "$work"
scratch=$(mktemp -d "$work/window.XXXXXX")
trap 'rm -rf "$scratch"; bench_cleanup' EXIT
if [ -n "${2:-}" ]; then tree=$(realpath "$2"); else bench_tree "$files"; fi
sessions=$(( runs < 3 ? runs : 3 ))
export QT_QPA_PLATFORM=offscreen

# --- the list the window registers, and a warm cache --------------------------------------
"$gui" --settings "$ini" --tree "$tree" --dump-list "$scratch/list" > /dev/null 2>&1
listed=$(wc -l < "$scratch/list")
tr '\n' '\0' < "$scratch/list" > "$scratch/list0"
warm_files "$scratch/list0"
find "$tree" -type f > /dev/null
found=$(find "$tree" -type f | wc -l)
bytes=$(xargs -0 cat < "$scratch/list0" | wc -c)

# Each yardstick is timed right before the window's own runs, so that the machine's ups and
# downs hit both alike; the best of each is compared.

# --- target 2: registration -----------------------------------------------------------------
finds=(); r1=(); r2=()
for i in $(seq "$runs"); do
    finds+=("$(seconds_of find "$tree" -type f)")
    extra=(); [ "$i" = 1 ] && extra=(--breakdown)
    "$gui" --settings "$ini" --tree "$tree" --again --repeat 3 "${extra[@]}" > "$scratch/reg.$i" 2>/dev/null
    r1+=("$(figure_of "$scratch/reg.$i" register1.seconds)")
    r2+=("$(figure_of "$scratch/reg.$i" register2.seconds)")
done
t_find=$(min_of "${finds[@]}")
t_reg1=$(min_of "${r1[@]}")
t_reg2=$(min_of "${r2[@]}")
added1=$(figure_of "$scratch/reg.1" register1.added)
added2=$(figure_of "$scratch/reg.1" register2.added)

# --- targets 3, 4, 6: tarvik-count, then a whole window session (directory command, F5, save,
# print to PDF) ---------------------------------------------------------------------------------
cli1=(); clir=(); runs3=(); saves=(); prints=(); peaks_run=(); peaks_end=()
for i in $(seq "$runs"); do
    cli1+=("$(seconds_of "$tool" -s "$ini" -j 1 -f report --files-from "$scratch/list")")
    clir+=("$(seconds_of "$tool" -s "$ini" -f report --files-from "$scratch/list" -o "$scratch/cli.tvk")")
    [ "$i" -le "$sessions" ] || continue
    "$gui" --settings "$ini" --tree "$tree" --run --save "$scratch/win.tvk" --pdf "$scratch/win-all.pdf" \
        > "$scratch/ses.$i" 2>/dev/null
    runs3+=("$(figure_of "$scratch/ses.$i" run.seconds)")
    saves+=("$(figure_of "$scratch/ses.$i" save.seconds)")
    prints+=("$(figure_of "$scratch/ses.$i" print.seconds)")
    peaks_run+=("$(figure_of "$scratch/ses.$i" save.peak_rss_kb)")
    peaks_end+=("$(figure_of "$scratch/ses.$i" end.peak_rss_kb)")
done
t_cli1=$(min_of "${cli1[@]}")
t_clir=$(min_of "${clir[@]}")
t_run=$(min_of "${runs3[@]}")
t_save=$(min_of "${saves[@]}")
t_print_all=$(min_of "${prints[@]}")
peak_run=$(max_of "${peaks_run[@]}")
peak_end=$(max_of "${peaks_end[@]}")
rows_all=$(figure_of "$scratch/ses.1" print.rows)
grid_rows=$(figure_of "$scratch/ses.1" run.grid_rows)
progress_max=$(figure_of "$scratch/ses.1" run.progress_max)
report_chars=$(figure_of "$scratch/ses.1" run.report_chars)
totals=$(figure_of "$scratch/ses.1" run.totals)
pages_all=$(( (rows_all + 39) / 40 ))
same_log=no; cmp -s "$scratch/win.tvk" "$scratch/cli.tvk" && same_log=yes

# --- target 6: printing 10,000 rows ----------------------------------------------------------------
small=$(( listed < 10000 ? listed : 10000 ))
p10=()
for i in $(seq "$sessions"); do
    "$gui" --settings "$ini" --files-from "$scratch/list" --limit "$small" --run --pdf "$scratch/win-small.pdf" \
        > "$scratch/p10.$i" 2>/dev/null
    p10+=("$(figure_of "$scratch/p10.$i" print.seconds)")
done
t_print_small=$(min_of "${p10[@]}")
rows_small=$(figure_of "$scratch/p10.1" print.rows)

# --- the table ----------------------------------------------------------------------------------------
q_reg1=$(calc "$t_reg1 / $t_find"); q_reg2=$(calc "$t_reg2 / $t_find")
q_run=$(calc "$t_run / $t_cli1")
mb_run=$(calc "$peak_run / 1024"); mb_end=$(calc "$peak_end / 1024")
limit_kb=$(calc "300 * 1000 * 1000 / 1024")   # 300 MB
q_save=$(calc "$t_save / $t_clir")
per_small=$(calc "$t_print_small / $rows_small * 1000000"); per_all=$(calc "$t_print_all / $rows_all * 1000000")
q_print=$(calc "$per_all / $per_small")
walk_s=$(figure_of "$scratch/reg.1" breakdown.walk_seconds)
add_new_s=$(figure_of "$scratch/reg.1" breakdown.add_new_seconds)
add_again_s=$(figure_of "$scratch/reg.1" breakdown.add_again_seconds)

cat <<REPORT
machine:   $(machine_line)
tree:      $tree
files:     $found files, $listed listed by the directory command ($(calc "$bytes / 1048576") MiB), warm cache
runs:      best of $runs ($sessions for whole window sessions), QT_QPA_PLATFORM=offscreen

| target | measured | yardstick | ratio | limit | result |
|---|---|---|---|---|---|
| 2 register $added1 files (directory command) | ${t_reg1} s | find -type f ${t_find} s | ${q_reg1} | 3 | $(verdict "$q_reg1" 3) |
| 2 register again ($added2 added, all duplicates) | ${t_reg2} s | find -type f ${t_find} s | ${q_reg2} | 2 | $(verdict "$q_reg2" 2) |
| 3 analysis run, $listed files | ${t_run} s | tarvik-count --jobs 1 ${t_cli1} s | ${q_run} | 1.3 | $(verdict "$q_run" 1.3) |
| 4 peak RSS, listed + analysed + saved | ${mb_run} MiB | 300 MB | | | $(verdict "$peak_run" "$limit_kb") |
| 4 peak RSS, also printed ($pages_all pages) | ${mb_end} MiB | 300 MB | | | $(verdict "$peak_end" "$limit_kb") |
| 6 save log, $listed rows | ${t_save} s | tarvik-count -f report ${t_clir} s | $(calc "$t_save / $t_clir") | 1 | $(verdict "$q_save" 1) |
| 6 print to PDF, $rows_small rows | ${t_print_small} s (${per_small} µs/row) | | | | |
| 6 print to PDF, $rows_all rows | ${t_print_all} s (${per_all} µs/row) | µs/row at $rows_small | ${q_print} | 1.3 | $(verdict "$q_print" 1.3) |

registration parts (one run): walk ${walk_s} s, adding to an empty list ${add_new_s} s, adding again ${add_again_s} s
run with all cores in the window against tarvik-count -f report with all cores (${t_clir} s): $(calc "$t_run / $t_clir") x
run: grid rows $grid_rows, progress bar maximum $progress_max, report $report_chars characters, totals "$totals"
saved log identical to tarvik-count --format report: $same_log
REPORT
