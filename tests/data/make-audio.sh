#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the audio files the media tests and benchmarks play, into the directory given
# (default: the current one). Each clip is a generated tone; nothing is downloaded.
#   short.wav  short-id3.mp3  short-noid3.mp3  short.wma   0.3 s each, 44.1 kHz stereo
#   long.wav                                               10 s, 8 kHz mono (stop/close tests)
#   long-cbr.mp3  10 s at a constant 32 kbit/s, with no header that states its length
#   zero.wav      a well-formed WAV with no samples (a zero-length medium)
#   text.mp3      plain text under a music name
#   empty.mp3     no bytes at all
set -eu
out=${1:-.}
mkdir -p "$out"
cd "$out"

gst=${GST_LAUNCH:-gst-launch-1.0}
short="audiotestsrc wave=sine freq=440 num-buffers=3 samplesperbuffer=4410 \
  ! audio/x-raw,rate=44100,channels=2"

# Write to a temporary name first so that an interrupted run leaves no half file behind.
encode() {  # encode NAME PIPELINE-TAIL
  name=$1
  shift
  $gst -q $short ! "$@" ! filesink location="$name.part"
  mv "$name.part" "$name"
}
encode short.wav wavenc
# As encoders write them: variable bit rate with a Xing header and an ID3v2 tag; constant bit
# rate without either.
encode short-noid3.mp3 lamemp3enc target=bitrate bitrate=128 cbr=true
encode short-id3.mp3 lamemp3enc ! xingmux ! taginject tags="title=Tone,artist=Melvigil" \
  ! id3v2mux
encode short.wma avenc_wmav2 ! avmux_asf

$gst -q audiotestsrc wave=sine freq=440 num-buffers=100 samplesperbuffer=800 \
  ! audio/x-raw,rate=8000,channels=1 ! wavenc ! filesink location=long.wav.part
mv long.wav.part long.wav
$gst -q audiotestsrc wave=sine freq=440 num-buffers=100 samplesperbuffer=4410 \
  ! audio/x-raw,rate=44100,channels=2 ! lamemp3enc target=bitrate bitrate=32 cbr=true \
  ! filesink location=long-cbr.mp3.part
mv long-cbr.mp3.part long-cbr.mp3

# RIFF header of 16-bit stereo PCM at 44.1 kHz whose data chunk is empty.
printf 'RIFF\044\000\000\000WAVEfmt \020\000\000\000\001\000\002\000\104\254\000\000\020\261\002\000\004\000\020\000data\000\000\000\000' >zero.wav

printf 'This is not music, only text in a file named like music.\n' >text.mp3
: >empty.mp3
