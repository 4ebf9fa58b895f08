#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real melvigil in a private X server, checks that its window maps with the title
# "Melvigil" at its stored size with its icon, keeps a screenshot, and closes it with SIGTERM, which the
# program turns into an ordinary window close (exit status 0).
#
#   smoke_window.sh <melvigil binary> <folder for the screenshot>
set -eu

if [ "${MELVIGIL_SMOKE_INSIDE:-}" != 1 ]; then
  binary=$1
  out=$2
  mkdir -p "$out"
  MELVIGIL_SMOKE_INSIDE=1 exec "$(dirname "$0")/../../run-in-xvfb.sh" "-screen 0 1024x768x24 -dpi 96" \
    "$0" "$binary" "$out"
fi

binary=$1
out=$2
shot="$out/melvigil-smoke.png"
log="$out/melvigil-smoke.log"
rm -f "$shot"

unset QT_QPA_PLATFORM
"$binary" >"$log" 2>&1 &
pid=$!

info=""
i=0
while [ $i -lt 100 ]; do
  if info=$(xwininfo -name Melvigil 2>/dev/null) && echo "$info" | grep -q 'IsViewable'; then
    break
  fi
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "melvigil ended before its window appeared:" >&2
    cat "$log" >&2
    exit 1
  fi
  i=$((i + 1))
  sleep 0.1
done
if ! echo "$info" | grep -q 'IsViewable'; then
  echo "no viewable window titled Melvigil" >&2
  xwininfo -root -tree >&2 || true
  kill -TERM "$pid" 2>/dev/null || true
  exit 1
fi
echo "$info" | grep -E 'Window id|Absolute|Width|Height|Map State'

fail=0
echo "$info" | grep -q 'Width: 688' || { echo "width is not 688" >&2; fail=1; }
echo "$info" | grep -q 'Height: 446' || { echo "height is not 446" >&2; fail=1; }

# The icon the window manager shows (_NET_WM_ICON) and the class the desktop entry names.
wid=$(echo "$info" | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
props=$(xprop -id "$wid" WM_CLASS _NET_WM_ICON)
echo "$props" | grep -q 'Icon (48 x 48)' || { echo "no 48x48 _NET_WM_ICON" >&2; fail=1; }
echo "$props" | grep -q '^WM_CLASS(STRING) = "melvigil"' || { echo "WM_CLASS: $props" >&2; fail=1; }

# Let it paint before the picture is taken.
sleep 1
import -window root "$shot"
[ -s "$shot" ] || { echo "no screenshot" >&2; fail=1; }
echo "screenshot: $shot"

kill -TERM "$pid"
status=0
wait "$pid" || status=$?
if [ "$status" -ne 0 ]; then
  echo "melvigil exited with $status after SIGTERM" >&2
  cat "$log" >&2
  fail=1
fi
exit $fail
