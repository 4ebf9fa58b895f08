#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the core, melvigil-cli and their tests for Windows x86-64 (mingw-w64) and runs
# them under Wine: the core's test executables and the black-box contract of watch and list.
# Installs g++-mingw-w64-x86-64-posix and wine64 when missing. Wine's state lives in
# build/mingw/wineprefix, never in the user's home. Prints how long each step took.
# Usage: scripts/windows-tests.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
step_start=$SECONDS
step() {
  echo "== windows: $1 ($((SECONDS - step_start)) s)"
  step_start=$SECONDS
}

packages=(g++-mingw-w64-x86-64-posix wine64 xvfb x11-utils imagemagick fonts-arphic-uming locales nsis)
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]} > 0)); then
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  echo "windows: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
step "packages"

loader=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
build=$PWD/build/mingw
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No prompts to install Mono and Gecko: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$build"
# Windows of the GUI tests go to a private X server, started before any Wine program so that
# Wine's desktop process and every test share it; never to the user's display.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  [[ -s "$display_file" ]] && break
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$display_file")"
rm -f "$display_file"
stop_xvfb() { kill "$xvfb" 2>/dev/null || true; }
trap stop_xvfb EXIT
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  "$loader" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  step "Wine prefix created in $WINEPREFIX"
fi
# One server for the whole run: each test program then starts in a few milliseconds instead
# of starting a server of its own. Its first program starts Wine's background services; they
# get /dev/null as output, or ctest would wait for them. A server that runs already is used.
if "$wineserver" -p </dev/null >/dev/null 2>&1; then
  trap '"$wineserver" -k 2>/dev/null || true; stop_xvfb' EXIT
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi

jobs=$(nproc)
((jobs > 2)) && jobs=2
cmake --preset mingw >/dev/null
step "configure"
cmake --build --preset mingw -j "$jobs"
step "build"

# Every test of this build runs under Wine and must say so: a test without the label would be
# left out of -L windows silently.
unlabelled=$(ctest --preset mingw -N -LE windows | sed -n 's/^Total Tests: //p')
if [[ "${unlabelled:-0}" != "0" ]]; then
  echo "windows: $unlabelled test(s) of the Windows build lack the label windows:" >&2
  ctest --preset mingw -N -LE windows >&2
  exit 1
fi
ctest --preset mingw -L windows -j "$jobs" "$@"
step "tests"
echo "== windows: done in $((SECONDS - start)) s"
