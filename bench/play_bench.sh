#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Play latency: from the play click (Close, FileName, Open, Play) to the first audio buffer
# rendered by the sink, for WAV, MP3 (with and without ID3 tag) and WMA songs of a minute.
# Prints a table with the goal beside the figures.
#
#   bench/play_bench.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR is a release-like build (RelWithDebInfo) holding bench/play_bench; ROUNDS defaults
# to 30. The songs are made with gst-launch-1.0 in a fresh directory under ${TMPDIR:-/tmp} and
# removed afterwards.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/release}"
rounds="${2:-30}"
helper="$build/bench/play_bench"
[[ -x "$helper" ]] || { echo "play_bench.sh: no helper at $helper (build target play_bench)" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/melvigil-play-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

tone="audiotestsrc wave=sine freq=440 num-buffers=600 samplesperbuffer=4410 \
  ! audio/x-raw,rate=44100,channels=2"
song() { # song NAME ENCODER...
  local name=$1
  shift
  gst-launch-1.0 -q $tone ! "$@" ! filesink location="$work/$name"
}
song song.wav wavenc
song song-id3.mp3 lamemp3enc ! xingmux ! taginject tags="title=Tone,artist=Melvigil" ! id3v2mux
song song-noid3.mp3 lamemp3enc target=bitrate bitrate=192 cbr=true
song song.wma avenc_wmav2 ! avmux_asf

unset GST_DEBUG
"$helper" "$rounds" wav="$work/song.wav" mp3id3="$work/song-id3.mp3" \
  mp3="$work/song-noid3.mp3" wma="$work/song.wma" > "$work/out.txt"

get() { sed -n "s/^$1=//p" "$work/out.txt"; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v + 0 <= g + 0) ? "ok" : "MISSED" }'; }

fmt="%-44s %9s %9s %9s %9s %6s %7s\n"
printf "$fmt" "click to first rendered buffer ($rounds rounds)" "median" "p95" "max" "open" "goal" ""
for f in wav:"WAV 60 s, 44.1 kHz stereo" mp3id3:"MP3 60 s, VBR, Xing header, ID3v2 tag" \
  mp3:"MP3 60 s, CBR 192 kbit/s, no tag" wma:"WMA 60 s (WMAv2 in ASF)"; do
  key=${f%%:*}
  label=${f#*:}
  p95="$(get ${key}_p95_ms)"
  printf "$fmt" "$label" "$(get ${key}_median_ms)" "$p95" "$(get ${key}_max_ms)" \
    "$(get ${key}_open_median_ms)" "100" "$(verdict "$p95" 100)"
done
printf "%s\n" "(times in ms; 'open' = Close+Open alone; verdict on p95;" \
  " the first click of the run, $(get cold_label), which also loads the plug-ins: $(get cold_ms) ms)"
