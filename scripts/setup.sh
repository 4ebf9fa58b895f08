#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, running and testing Melvigil needs on Debian 12, only what is
# missing (quick when everything is there). Run as root (or with sudo available).
# Usage: scripts/setup.sh [--windows]   (--windows adds the mingw-w64 toolchain and Wine)
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  libgtest-dev libgmock-dev googletest
  # run: playback of WAV, MP3 and WMA, and a Song-style CJK font for the window's font
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-libav fonts-arphic-uming xdg-utils qt6-translations-l10n
  # tests and benchmarks: test audio, a real X server with screenshots, a peer watcher, a
  # private session bus that stands in for the desktop's
  gstreamer1.0-tools xvfb xauth x11-utils imagemagick inotify-tools dbus-daemon
  # checking tools: the formatting check, libFuzzer with its sanitizer runtimes, and the
  # locale sources the change-record fuzzer makes its double-byte locales from
  clang-format-14 clang-14 libclang-rt-14-dev locales
  # the Debian package: shared-library dependencies, strip, desktop entry, metainfo, manuals
  dpkg-dev file appstream desktop-file-utils man-db
)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(g++-mingw-w64-x86-64-posix wine64 locales nsis)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi

# Another apt-get (an unattended upgrade, a second setup run) may hold the package locks.
# install waits for dpkg's lock by itself; update gives up at once on the lists lock, so it is
# tried again until the wait is used up.
lock_wait=600
apt() {
  local deadline=$((SECONDS + lock_wait)) err
  err=$(mktemp)
  until "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout="$lock_wait" "$@" 2>"$err"; do
    if ! grep -q 'Could not get lock' "$err" || ((SECONDS >= deadline)); then
      cat "$err" >&2
      rm -f "$err"
      return 1
    fi
    echo "setup: waiting for another package manager to finish" >&2
    sleep 5
  done
  cat "$err" >&2
  rm -f "$err"
}

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt update -qq
apt install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
