#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program under Wine in the build's own prefix, never the user's ~/.wine.
# Usage: wine-run.sh LOADER PREFIX PROGRAM [ARGS...]   (ctest's emulator for the Windows build)
# WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES from the environment win when set.
set -euo pipefail
loader=$1
export WINEPREFIX=${WINEPREFIX:-$2}
shift 2
wineserver=$(dirname "$loader")/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
# Keeps the first start from asking to install Mono and Gecko.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Tests run in parallel: one of them creates the prefix and starts the server, the others wait.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  "$loader" wineboot -i </dev/null >/dev/null 2>&1 || true
  "$wineserver" -w || true
fi
# The first program of a new server also starts Wine's background services, and they inherit
# its standard output: ctest would then wait for them to end. So a new server is started
# here (it stays 30 s after its last program) and its services with output to /dev/null.
# A running server makes "wineserver -p" fail at once, and nothing more is done. The server
# gets no output of ours either: a reader of our output would otherwise wait for it to end.
if "$wineserver" -p30 </dev/null >/dev/null 2>&1; then
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
flock -u 9
exec 9>&-

# A program's first window starts Wine's desktop process, which inherits the program's standard
# output and error and keeps them until the server's last window is gone: a reader of our
# output (ctest) would wait that long for the program's end. So the program writes to files,
# passed on as they grow until it has ended. wine-cli.sh, whose Ctrl+C must reach the program
# itself, sets MELVIGIL_WINE_DIRECT.
if [[ -n "${MELVIGIL_WINE_DIRECT:-}" ]]; then
  exec "$loader" "$@"
fi
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
# A program started in the background would read /dev/null; it gets our input instead.
exec 3<&0
"$loader" "$@" <&3 >"$out" 2>"$err" 3<&- &
program=$!
exec 3<&-
trap 'kill -TERM "$program" 2>/dev/null || true' TERM INT
tail -q -s 0.1 -n +1 -f --pid="$program" "$out" &
tail -q -s 0.1 -n +1 -f --pid="$program" "$err" >&2 &
status=0
while :; do
  status=0
  wait "$program" || status=$?
  kill -0 "$program" 2>/dev/null || break
done
# Each tail passes on what is left once the program has ended, then ends too.
wait
exit "$status"
