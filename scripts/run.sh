#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up what is missing, builds Melvigil and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: no display (DISPLAY is not set); the program is built at build/release/src/gui/Unit_main/melvigil" >&2
  exit 1
fi
exec build/release/src/gui/Unit_main/melvigil "$@"
