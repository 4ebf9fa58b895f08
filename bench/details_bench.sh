#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The list's details: a burst of N listed files starts no reading, and a hovered entry's details
# (title, artist, duration, size, type) show within 200 ms for a local MP3 of a minute. Runs
# offscreen. Prints a table with the goals beside the figures.
#
#   bench/details_bench.sh [BUILD_DIR] [N] [ROUNDS]
#
# BUILD_DIR is a release-like build (RelWithDebInfo) with the GUI, holding bench/details_bench;
# N defaults to 10000 listed files, ROUNDS to 30 hovers. The song is made with gst-launch-1.0
# in a fresh directory under ${TMPDIR:-/tmp}; the listed files are hard links to it (each name
# is read afresh, as the cache goes by name), removed afterwards.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/release}"
n="${2:-10000}"
rounds="${3:-30}"
helper="$build/bench/details_bench"
[[ -x "$helper" ]] || { echo "details_bench.sh: no helper at $helper (build target details_bench)" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/melvigil-details-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

gst-launch-1.0 -q audiotestsrc wave=sine freq=440 num-buffers=600 samplesperbuffer=4410 \
  ! audio/x-raw,rate=44100,channels=2 ! lamemp3enc ! xingmux \
  ! taginject tags="title=Tone,artist=Melvigil,album=Bench" ! id3v2mux \
  ! filesink location="$work/song.mp3"
mkdir "$work/list"
for ((i = 0; i < n; i++)); do ln "$work/song.mp3" "$work/list/song$i.mp3"; done

unset GST_DEBUG
QT_QPA_PLATFORM=offscreen "$helper" "$rounds" "$work/list" >"$work/out.txt" 2>/dev/null
# The first hover once more in a fresh process, this time after the pointer entered the list.
QT_QPA_PLATFORM=offscreen "$helper" 0 "$work/list" enter >"$work/enter.txt" 2>/dev/null

get() { sed -n "s/^$1=//p" "$work/out.txt"; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v >= 0 && v + 0 <= g + 0) ? "ok" : "MISSED" }'; }

fmt="%-58s %10s %8s %7s\n"
printf "$fmt" "measure" "figure" "goal" ""
v="$(get discoveries_after_listing)"
printf "$fmt" "readings started by listing $(get listed) files and scrolling" "$v" "0" "$(verdict "$v" 0)"
printf "$fmt" "listing and scrolling them (ms)" "$(get list_ms)" "" ""
for k in median p95 max; do
  v="$(get ${k}_ms)"
  printf "$fmt" "hover to details shown, MP3 60 s with ID3v2, $k (ms)" "$v" "200" "$(verdict "$v" 200)"
done
v="$(sed -n 's/^cold_ms=//p' "$work/enter.txt")"
printf "$fmt" "first hover, after the pointer rested $(sed -n 's/^rest_ms=//p' "$work/enter.txt") ms in the list (ms)" "$v" "200" "$(verdict "$v" 200)"
printf "$fmt" "first hover without entering first, loading plug-ins (ms)" "$(get cold_ms)" "" ""
printf "$fmt" "  of which showing the first tooltip at all (ms)" "$(get cold_shown_ms)" "" ""
printf "$fmt" "hovers measured / failed" "$(get rounds) / $(get failed)" "" ""
printf "$fmt" "readings started after the hovers" "$(get discoveries_after_hovers)" "" ""
