#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up what is missing, then builds and runs every test: the debug build, the
# AddressSanitizer+UBSan build, the ThreadSanitizer build of the core (watcher tests), and the
# Windows build under Wine. Stops at the first failing stage.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

stage() {
  local preset=$1
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs" --no-tests=error "${@:2}"
}

start=$SECONDS
stage dev
stage asan
stage tsan
echo "== windows"
scripts/windows-tests.sh
echo "== all stages passed in $((SECONDS - start)) s"
