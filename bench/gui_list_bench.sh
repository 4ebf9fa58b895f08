#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window's list with many entries: what one watcher event costs at N entries against a short
# list, the first layout, a repaint, the sweep's batch removals and the save command's selection
# queries. Runs offscreen. Prints a table with the goals beside the figures.
#
#   bench/gui_list_bench.sh [BUILD_DIR] [N]
#
# BUILD_DIR is a release-like build (RelWithDebInfo) with the GUI, holding bench/gui_list_bench;
# N defaults to 100000.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/release}"
n="${2:-100000}"
helper="$build/bench/gui_list_bench"
[[ -x "$helper" ]] || { echo "gui_list_bench.sh: no helper at $helper (build target gui_list_bench)" >&2; exit 2; }

out="$(QT_QPA_PLATFORM=offscreen "$helper" "$n" 2>/dev/null)"
get() { sed -n "s/^$1=//p" <<<"$out"; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v >= 0 && v + 0 <= g + 0) ? "ok" : "MISSED" }'; }

small="$(get event_small_us)"
at_n="$(get event_at_n_us)"
# "No more per event than an empty list": within twice the short list's cost, plus 50 us of noise.
event_goal="$(awk -v s="$small" 'BEGIN { printf "%.1f", 2 * s + 50 }')"

fmt="%-56s %12s %10s %7s\n"
printf "$fmt" "measure ($n entries, offscreen)" "figure" "goal" ""
printf "$fmt" "one listed event on a short list (us)" "$small" "" ""
printf "$fmt" "one listed event at $n entries (us)" "$at_n" "$event_goal" "$(verdict "$at_n" "$event_goal")"
v="$(get duplicate_test_us)"
printf "$fmt" "duplicate test of a listed name (us)" "$v" "20" "$(verdict "$v" 20)"
printf "$fmt" "filling the list (ms)" "$(get fill_ms)" "" ""
v="$(get first_layout_ms)"
printf "$fmt" "first layout and paint after filling (ms)" "$v" "200" "$(verdict "$v" 200)"
v="$(get scroll_repaint_ms)"
printf "$fmt" "scroll to the middle and repaint (ms)" "$v" "16" "$(verdict "$v" 16)"
v="$(get selection_queries_ms)"
printf "$fmt" "save command: SelCount + Selected() of all (ms)" "$v" "200" "$(verdict "$v" 200)"
v="$(get remove_scattered_ms)"
printf "$fmt" "sweep: remove $(get removed_scattered) scattered entries at once (ms)" "$v" "100" "$(verdict "$v" 100)"
v="$(get remove_adjacent_ms)"
printf "$fmt" "sweep: remove 1000 adjacent entries (ms)" "$v" "50" "$(verdict "$v" 50)"
v="$(get remove_one_ms)"
printf "$fmt" "sweep: remove the first entry (ms)" "$v" "16" "$(verdict "$v" 16)"
