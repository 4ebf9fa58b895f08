#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The real melvigil in a private X server and a private runtime directory: a second start ends
# at once with status 0 and leaves one window; after the first is killed outright (lock and
# socket left behind), the next start opens its window again.
#
#   single_instance.sh <melvigil binary>
set -eu

if [ "${MELVIGIL_SMOKE_INSIDE:-}" != 1 ]; then
  MELVIGIL_SMOKE_INSIDE=1 exec "$(dirname "$0")/../../run-in-xvfb.sh" "-screen 0 1024x768x24" \
    "$0" "$1"
fi

binary=$1
unset QT_QPA_PLATFORM
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'kill -KILL $first $third 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
first="" third=""

windows() { xwininfo -root -tree | grep -c '"Melvigil"' || true; }
wait_window() {
  i=0
  while [ $i -lt 100 ]; do
    [ "$(windows)" -ge 1 ] && return 0
    if ! kill -0 "$1" 2>/dev/null; then
      echo "melvigil ended before its window appeared:" >&2
      cat "$XDG_RUNTIME_DIR"/*.log >&2
      exit 1
    fi
    i=$((i + 1))
    sleep 0.1
  done
  echo "no window titled Melvigil" >&2
  exit 1
}

"$binary" >"$XDG_RUNTIME_DIR/first.log" 2>&1 &
first=$!
wait_window "$first"

status=0
timeout 20 "$binary" >"$XDG_RUNTIME_DIR/second.log" 2>&1 || status=$?
fail=0
[ "$status" -eq 0 ] || { echo "second start: status $status" >&2; cat "$XDG_RUNTIME_DIR/second.log" >&2; fail=1; }
[ "$(windows)" -eq 1 ] || { echo "$(windows) windows after the second start" >&2; fail=1; }
kill -0 "$first" || { echo "the first instance ended" >&2; fail=1; }

kill -KILL "$first"
wait "$first" 2>/dev/null || true
first=""
"$binary" >"$XDG_RUNTIME_DIR/third.log" 2>&1 &
third=$!
wait_window "$third"
kill -TERM "$third"
status=0
wait "$third" || status=$?
third=""
[ "$status" -eq 0 ] || { echo "start after a killed instance: status $status" >&2; fail=1; }
exit $fail
