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
exec "$loader" "$@"
