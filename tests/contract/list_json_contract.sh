#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Black-box contract of `melvigil-cli list --json`: a name with a quote, a backslash, a control
# byte and a byte that is not UTF-8 comes escaped with its exact bytes; a download still being
# written is listed as incomplete, then completed once closed, then its details follow; a
# removal is told. Parameters (environment): MV_CLI the command that runs melvigil-cli; MV_TMP
# (default /tmp, a path of plain ASCII); MV_TIMEOUT seconds to wait for a line (default 20).
set -u
read -r -a CLI <<<"${MV_CLI:?set MV_CLI to the melvigil-cli command}"
TIMEOUT=${MV_TIMEOUT:-20}
WORK=$(mktemp -d "${MV_TMP:-/tmp}/mv-json-contract.XXXXXX") || exit 1
D=$WORK/dl
mkdir "$D"
PID=
trap 'exec 3>&-; [ -n "$PID" ] && kill "$PID" 2>/dev/null; rm -rf "$WORK"' EXIT
FAILS=0
fail() {
  echo "FAIL: $*" >&2
  FAILS=$((FAILS + 1))
}

# has REGEX: waits until a whole output line matches the extended regular expression.
has() {
  local waited=0
  until grep -qxE -- "$1" "$WORK/out"; do
    if [ $waited -ge $((TIMEOUT * 20)) ]; then
      fail "no line matching $1 in: $(cat "$WORK/out")"
      return 1
    fi
    sleep 0.05
    waited=$((waited + 1))
  done
}
# literal TEXT: TEXT as a regular expression that matches only itself.
literal() { printf '%s' "$1" | sed 's/[][\.*^$+?(){}|/]/\\&/g'; }

le() { # le BYTES VALUE: VALUE as BYTES little-endian bytes
  local i
  for ((i = 0; i < $1; i++)); do printf "\\x$(printf %02x $((($2 >> (8 * i)) & 255)))"; done
}

"${CLI[@]}" list --json "$D" >"$WORK/out" 2>"$WORK/err" &
PID=$!
# Watching has begun once a probe file is listed; each try is a new name.
i=0
until grep -q '"event":"added","path":"[^"]*/probe' "$WORK/out"; do
  [ $i -lt $((TIMEOUT * 5)) ] || { fail "nothing listed: $(cat "$WORK/err")"; exit 1; }
  : >"$D/probe$i.mp3"
  i=$((i + 1))
  sleep 0.2
done

odd=$D/$'q"b\\\x01\xff.mp3'
printf 'ID3\3\0\0\0\0\0\0x' >"$WORK/odd"
mv "$WORK/odd" "$odd" # arrives complete, as a finished download is renamed into place
bytes=$(printf '%s' "$odd" | base64 -w0)
has "$(literal "{\"event\":\"added\",\"path\":\"$D/q\\\"b\\\\\\u0001"$'\xEF\xBF\xBD'".mp3\",\"path_bytes\":\"$bytes\",\"size\":11,\"type\":\".mp3\",\"complete\":true}")"

song=$D/song.wav
exec 3>"$song" # the downloader, still writing
has "$(literal "{\"event\":\"added\",\"path\":\"$song\",\"size\":")[0-9]+,\"type\":null,\"complete\":false\}"
# One second of 8-bit mono silence at 8 kHz.
{
  printf 'RIFF'; le 4 8036; printf 'WAVEfmt '; le 4 16; le 2 1; le 2 1; le 4 8000; le 4 8000
  le 2 1; le 2 8; printf 'data'; le 4 8000
  head -c 8000 /dev/zero | tr '\0' '\200'
} >&3
sleep 1.5
grep -q "\"event\":\"completed\",\"path\":\"$song\"" "$WORK/out" && fail "completed while still open"
exec 3>&-
has "$(literal "{\"event\":\"completed\",\"path\":\"$song\",\"size\":8044,\"type\":\".wav\",\"complete\":true}")"
has "$(literal "{\"event\":\"details\",\"path\":\"$song\",\"media\":\"audio\",")"'.*"duration_ms":1000\}'

rm "$odd"
has "$(literal "{\"event\":\"removed\",\"path\":\"$D/q\\\"b\\\\\\u0001"$'\xEF\xBF\xBD'".mp3\",\"path_bytes\":\"$bytes\"}")"

kill -TERM "$PID"
wait "$PID"
rc=$?
PID=
[ "$rc" -eq 0 ] || fail "list --json exited with $rc: $(cat "$WORK/err")"
[ "$(grep -c "\"path\":\"$song\"" "$WORK/out")" -eq 3 ] || fail "not one line per event: $(cat "$WORK/out")"

[ "$FAILS" -eq 0 ] && echo "list --json contract: all held"
exit $((FAILS > 0))
