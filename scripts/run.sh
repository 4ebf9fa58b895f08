#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up what is missing, builds Melvigil and starts it. Without a display (a server, a remote
# shell) the main job runs without a window: melvigil-cli lists new music below the home
# directory, the window's default, until Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  cmake --build --preset release --target melvigil-cli
  dir=${HOME:-/}
  echo "run: no display (DISPLAY and WAYLAND_DISPLAY are not set): running without a window," \
    "melvigil-cli list $dir (new music files below it appear here; Ctrl+C ends it)" >&2
  exec build/release/src/cli/melvigil-cli list "$dir"
fi
cmake --build --preset release --target melvigil
exec build/release/src/gui/Unit_main/melvigil "$@"
