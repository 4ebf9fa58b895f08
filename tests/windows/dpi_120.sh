#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program on a 120-dpi screen: the system's dots per inch are a setting of the
# Wine prefix (LogPixels), read when a program starts, so this run has a prefix of its own and
# the other tests keep 96. MV_EXPECT_DPI tells the program what it must see.
# Usage: dpi_120.sh WINE-RUN LOADER PREFIX PROGRAM [ARGS...]
set -euo pipefail
run=("${@:1:3}")
# The prefix given here, never one from the environment (the stage's shared prefix).
export WINEPREFIX=$3
"${run[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f \
  >/dev/null 2>&1 || {
  echo "FAIL: cannot set LogPixels in $WINEPREFIX" >&2
  exit 1
}
export MV_EXPECT_DPI=120
exec "${run[@]}" "${@:4}"
