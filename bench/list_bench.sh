#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Download-list benchmarks: a burst of new files under the watched tree, the once-a-second
# sweep of a long list, its cost while the watch is live, and memory. The helper runs the list
# through the program object as the front ends do. Prints a table with the goals beside the
# figures.
#
#   bench/list_bench.sh [BUILD_DIR] [N]
#
# BUILD_DIR is a release-like build (RelWithDebInfo) holding bench/list_bench; N defaults to
# 100000. The files are made in a fresh directory under ${TMPDIR:-/tmp} and removed afterwards.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/release}"
n="${2:-100000}"
helper="$build/bench/list_bench"
[[ -x "$helper" ]] || { echo "list_bench.sh: no helper at $helper (build target list_bench)" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/melvigil-list-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

"$helper" burst "$n" "$work/burst" > "$work/burst.txt"
rm -rf "$work/burst"
"$helper" sweep "$n" "$work/sweep" > "$work/sweep.txt"
rm -rf "$work/sweep"
"$helper" live "$n" "$work/live" > "$work/live.txt"

get() { sed -n "s/^$2=//p" "$work/$1.txt"; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v >= 0 && v + 0 <= g + 0) ? "ok" : "MISSED" }'; }

fmt="%-58s %12s %10s %7s\n"
printf "$fmt" "measure ($n files, $(uname -r), ${TMPDIR:-/tmp})" "figure" "goal" ""
printf "$fmt" "burst: files created / listed" "$(get burst files) / $(get burst listed)" "all" \
  "$([[ $(get burst files) == "$(get burst listed)" ]] && echo ok || echo MISSED)"
printf "$fmt" "burst: creating took (s)" "$(get burst create_s)" "" ""
v="$(get burst listed_after_last_create_ms)"
printf "$fmt" "burst: all listed after the last creation (ms)" "$v" "2000" "$(verdict "$v" 2000)"
v="$(get burst longest_task_ms)"
printf "$fmt" "burst: longest main-thread task (ms)" "$v" "100" "$(verdict "$v" 100)"
printf "$fmt" "burst: main-thread tasks over 100 ms" "$(get burst tasks_over_100ms)" "0" \
  "$(verdict "$(get burst tasks_over_100ms)" 0)"
for r in keep0 keep1 keep2; do
  v="$(get sweep ${r}_main_ms)"
  printf "$fmt" "sweep $r: main-thread time, all tasks of the tick (ms)" "$v" "20" "$(verdict "$v" 20)"
done
printf "$fmt" "sweep keep: longest single task (ms)" "$(get sweep keep1_longest_task_ms)" "" ""
printf "$fmt" "sweep keep: wall time until done (ms)" "$(get sweep keep1_wall_ms)" "1000" \
  "$(verdict "$(get sweep keep1_wall_ms)" 1000)"
v="$(get sweep remove10pct_main_ms)"
printf "$fmt" "sweep removing 10%: main-thread time (ms)" "$v" "" ""
printf "$fmt" "sweep removing 10%: longest task (ms)" "$(get sweep remove10pct_longest_task_ms)" "" ""
printf "$fmt" "sweep removing all: main-thread time (ms)" "$(get sweep removeall_main_ms)" "" ""
printf "$fmt" "sweep removing all: longest task (ms)" "$(get sweep removeall_longest_task_ms)" "" ""
printf "$fmt" "entries left (expect $((n - (n + 9) / 10)) then 0)" \
  "$(get sweep left) / $(get sweep left_after_all)" "" ""
v="$(get live live_idle_cpu_pct)"
printf "$fmt" "live watch, idle: CPU of the process (% of a core)" "$v" "0.5" "$(verdict "$v" 0.5)"
printf "$fmt" "live watch, idle: main-thread time (ms per s)" "$(get live live_idle_main_ms_per_s)" "" ""
printf "$fmt" "live watch, idle: existence checks per tick" "$(get live live_idle_checks_per_tick)" "" ""
# Beyond 4,096 removals between two ticks the next tick checks every entry.
v="$(get live live_remove10pct_ms)"
printf "$fmt" "live watch, a tenth deleted: all gone from the list (ms)" "$v" "" ""
printf "$fmt" "live watch, a tenth deleted: existence checks" "$(get live live_remove10pct_checks)" "" ""
printf "$fmt" "watching off, idle: CPU of the process (% of a core)" "$(get live off_idle_cpu_pct)" "" ""
printf "$fmt" "watching off, idle: main-thread time (ms per s)" "$(get live off_idle_main_ms_per_s)" "" ""
printf "$fmt" "watching off, idle: existence checks per tick" "$(get live off_idle_checks_per_tick)" "" ""
printf "$fmt" "peak RSS, list of $n entries, no watcher (MiB)" "$(get sweep peak_rss_mib)" "" ""
printf "$fmt" "peak RSS, burst with watcher (MiB)" "$(get burst peak_rss_mib)" "" ""
printf "$fmt" "peak RSS, live watch and watching off (MiB)" "$(get live peak_rss_mib)" "" ""
