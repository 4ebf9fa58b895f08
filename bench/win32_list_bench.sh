#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# ListBox1 of the Windows window (a system list box driven through its LB_ messages) with many
# entries, under Wine on a private Xvfb: one watcher event on a short list and at N entries,
# appending N in one burst, reading every entry, look-ups by folded name, the save command's
# selection queries, and the download list's sweep of N entries whose files all exist, then
# with a tenth of them gone (scattered) and with all gone. Prints a table.
#
#   bench/win32_list_bench.sh [BUILD_DIR] [N] [EVENTS] [OTHER_HELPER]
#
# BUILD_DIR: a release-like mingw build with benchmarks, configured by this script when
# missing (default build/mingw-release); the helper is brought up to date there. N defaults to
# 100000. OTHER_HELPER: a win32_list_bench.exe built from other sources (say, before a change),
# run first on the same files and shown in a column of its own. The files are made in a fresh
# directory under ${TMPDIR:-/tmp} and removed afterwards.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/mingw-release}"
n="${2:-100000}"
events="${3:-1000}"
other="${4:-}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset mingw -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVIGIL_BENCH=ON \
    -DMELVIGIL_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target win32_list_bench -j 2 >/dev/null
# Wine takes absolute paths only.
build="$(cd "$build" && pwd)"
helper="$build/bench/win32_list_bench.exe"
[[ -z "$other" ]] || other="$(cd "$(dirname "$other")" && pwd)/$(basename "$other")"

work="$(mktemp -d "${TMPDIR:-/tmp}/melvigil-win32-list-bench.XXXXXX")"
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -f "$display_file"; rm -rf "$work"' EXIT
for _ in $(seq 100); do
  [[ -s "$display_file" ]] && break
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$display_file")"

# As the helper expects: trackI.mp3 in folderK, K = I % 1000.
mkdir -p "$work/files"
(cd "$work/files" && seq 0 999 | sed 's/^/folder/' | xargs mkdir &&
  seq 0 $((n - 1)) | awk '{ printf "folder%d/track%d.mp3\n", $1 % 1000, $1 }' | xargs -r touch)
windir="Z:${work//\//\\}\\files"

loader=/usr/lib/wine/wine64
run() {
  "$here/../cmake/wine-run.sh" "$loader" "$build/wineprefix" "$1" "$n" "$windir" "$events" \
    2>/dev/null | tr -d '\r'
}
out_other=""
[[ -z "$other" ]] || out_other="$(run "$other")"
out="$(run "$helper")"
get() { sed -n "s/^$2=//p" <<<"$1" | cut -d' ' -f1; }

fmt="%-56s %14s %14s\n"
printf "$fmt" "measure ($n entries, Wine $("$loader" --version 2>/dev/null), Xvfb)" \
  "${other:+other helper}" "this build"
row() {
  local label=$1 key=$2
  printf "$fmt" "$label" "${other:+$(get "$out_other" "$key")}" "$(get "$out" "$key")"
}
row "one listed event on a short list (us)" event_small_us
row "one listed event at $n entries (us)" event_at_n_us
row "$n appends in one burst (ms)" fill_ms
row "reading every entry, LB_GETTEXTLEN + LB_GETTEXT (ms)" read_all_ms
row "finding an entry by its folded name (us)" lookup_us
row "save: LB_GETSELCOUNT + LB_GETSEL over every entry (ms)" selection_ms
for s in sweep_all_there sweep_tenth_gone sweep_all_gone; do
  row "$s: wall (ms)" "${s}_ms"
  row "$s: main thread, all tasks (ms)" "${s}_main_ms"
  row "$s: longest main-thread task (ms)" "${s}_longest_task_ms"
  row "$s: entries removed" "${s}_removed"
done
