#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The list's details on Windows, under Wine: the time from a request to the complete details
# (title, artist, album, duration, size, type) of a local tagged MP3 of about 5 MB, read afresh
# and answered from the cache. The goal is 200 ms. Prints a table.
#
#   bench/win32_details_bench.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR: a release-like mingw build with benchmarks, configured by this script when
# missing (default build/mingw-release); the helper is brought up to date there. ROUNDS
# defaults to 30. The song (a tone, 320 kbit/s, about 130 s, ID3v2 tag and Xing header) is made
# with gst-launch-1.0 in a fresh directory under ${TMPDIR:-/tmp}; each round reads another hard
# link to it, removed afterwards.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/mingw-release}"
rounds="${2:-30}"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake --preset mingw -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMELVIGIL_BENCH=ON \
    -DMELVIGIL_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target win32_details_bench -j 2 >/dev/null
# Wine takes absolute paths only.
build="$(cd "$build" && pwd)"

work="$(mktemp -d "${TMPDIR:-/tmp}/melvigil-win32-details-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
gst-launch-1.0 -q audiotestsrc wave=sine freq=440 num-buffers=1300 samplesperbuffer=4410 \
  ! audio/x-raw,rate=44100,channels=2 ! lamemp3enc target=bitrate bitrate=320 cbr=true \
  ! xingmux ! taginject tags="title=Tone,artist=Melvigil,album=Bench" ! id3v2mux \
  ! filesink location="$work/song.mp3"
for ((i = 0; i < rounds; i++)); do ln "$work/song.mp3" "$work/song$i.mp3"; done

out="$("$here/../cmake/wine-run.sh" /usr/lib/wine/wine64 "$build/wineprefix" \
  "$build/bench/win32_details_bench.exe" "Z:${work//\//\\}" "$rounds" 2>/dev/null | tr -d '\r')"
get() { sed -n "s/^$1=//p" <<<"$out"; }

fmt="%-60s %10s\n"
printf "$fmt" "measure (Wine $(/usr/lib/wine/wine64 --version 2>/dev/null), $rounds rounds)" "ms"
printf "$fmt" "first request of the process (starts the worker)" "$(get very_first)"
printf "$fmt" "read afresh: median" "$(get first_median)"
printf "$fmt" "read afresh: slowest" "$(get first_max)"
printf "$fmt" "unchanged, from the cache: median" "$(get cached_median)"
printf "$fmt" "unchanged, from the cache: slowest" "$(get cached_max)"
echo "files read: $(get reads) of $((2 * rounds)) requests; complete at once (cached): $(get at_once)"
echo "song: $(get size) bytes," \
  "$(get duration_ms) ms, \"$(get title)\" / \"$(get artist)\" / \"$(get album)\""
