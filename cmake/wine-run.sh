#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's own prefix, never the user's ~/.wine.
# Usage: wine-run.sh LOADER PREFIX PROGRAM [ARGS...]   (ctest's emulator for the Windows build)
# WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES from the environment win when set.
set -euo pipefail
loader=$1
export WINEPREFIX=${WINEPREFIX:-$2}
shift 2
export WINEDEBUG=${WINEDEBUG:--all}
# Keeps the first start from asking to install Mono and Gecko.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  # Tests run in parallel: only one of them creates the prefix.
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
      "$loader" wineboot -i >/dev/null 2>&1 || true
      "$(dirname "$loader")/wineserver" -w || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$loader" "$@"
