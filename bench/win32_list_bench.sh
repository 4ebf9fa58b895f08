#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# ListBox1 of the Windows window (a system list box driven through its LB_ messages) with many
# entries, under Wine on a private Xvfb: one watcher event at N entries against a short list,
# reading every entry, the sweep's removals in one batch (redrawing off) and one by one, and
# the save command's selection queries. Prints a table.
#
#   bench/win32_list_bench.sh [BUILD_DIR] [N] [EVENTS]
#
# BUILD_DIR: a release-like mingw build with benchmarks, made by this script when missing
# (default build/mingw-release); N defaults to 100000.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/mingw-release}"
n="${2:-100000}"
events="${3:-1000}"
helper="$build/bench/win32_list_bench.exe"
if [[ ! -f "$helper" ]]; then
  cmake --preset mingw -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVIGIL_BENCH=ON \
    -DMELVIGIL_TESTS=OFF >/dev/null
  cmake --build "$build" --target win32_list_bench -j 2 >/dev/null
fi
# Wine takes absolute paths only.
build="$(cd "$build" && pwd)"
helper="$build/bench/win32_list_bench.exe"

display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$display_file"' EXIT
for _ in $(seq 100); do
  [[ -s "$display_file" ]] && break
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$display_file")"
loader=/usr/lib/wine/wine64
out="$("$here/../cmake/wine-run.sh" "$loader" "$build/wineprefix" "$helper" "$n" "$events" 2>/dev/null |
  tr -d '\r')"
get() { sed -n "s/^$1=//p" <<<"$out" | cut -d' ' -f1; }

fmt="%-62s %22s\n"
printf "$fmt" "measure ($n entries, Wine $("$loader" --version 2>/dev/null), Xvfb)" "figure"
printf "$fmt" "one listed event on a short list (us), plain / deferred" \
  "$(get event_small_us_plain) / $(get event_small_us_deferred)"
printf "$fmt" "one listed event at $n entries (us), plain / deferred" \
  "$(get event_at_n_us_plain) / $(get event_at_n_us_deferred)"
printf "$fmt" "$n appends in one burst (ms), plain / deferred" \
  "$(get fill_ms_plain) / $(get fill_ms_deferred)"
printf "$fmt" "reading every entry, LB_GETTEXTLEN + LB_GETTEXT (ms)" "$(get read_all_ms)"
printf "$fmt" "sweep: 1 % scattered in one batch, redraw off (ms)" "$(get sweep_batch_ms)"
printf "$fmt" "sweep: 1 % scattered one by one, redraw on (ms)" "$(get sweep_one_by_one_ms)"
printf "$fmt" "save: LB_GETSELCOUNT + LB_GETSEL over every entry (ms)" "$(get selection_ms)"
