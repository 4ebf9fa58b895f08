#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# melvigil --help, -h and --version answer on stdout with status 0 and open no window: they
# work with no display at all. A help text that cannot be written is a failure.
#
#   program_options.sh <melvigil binary> <version>
set -eu
binary=$1
version=$2
fail=0
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$binary" "$@"; }

for option in --help -h; do
  out=$(run "$option" 2>/tmp/melvigil-options-err.$$) || { echo "$option: status $?" >&2; fail=1; }
  case $out in
    用法：melvigil*--version*) ;;
    *) echo "$option printed: $out" >&2; fail=1 ;;
  esac
  [ ! -s /tmp/melvigil-options-err.$$ ] || { echo "$option wrote to stderr" >&2; fail=1; }
done
out=$(run --version) || { echo "--version: status $?" >&2; fail=1; }
[ "$(echo "$out" | head -n1)" = "melvigil $version" ] || { echo "--version printed: $out" >&2; fail=1; }
if run --help >/dev/full 2>/dev/null; then
  echo "--help into a full disk reported success" >&2
  fail=1
fi
rm -f /tmp/melvigil-options-err.$$
exit $fail
