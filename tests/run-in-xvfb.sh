#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on an X server of its own and returns the command's status.
#
# The server picks a free display number itself (-displayfd) and writes it only once it takes
# connections. xvfb-run instead picks a number by looking for lock files and then starts the
# server: X tests started at the same moment (ctest -j, a second test run on the machine) can
# pick the same number, and the loser's program then finds no server at all.
#
#   run-in-xvfb.sh "<server options>" command [args...]
set -eu
options=$1
shift
number_file=$(mktemp)
# shellcheck disable=SC2086 # the options are words for the server
Xvfb -displayfd 3 -nolisten tcp $options 3>"$number_file" >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true; rm -f "$number_file"' EXIT
i=0
while [ ! -s "$number_file" ]; do
  if ! kill -0 "$server" 2>/dev/null || [ $i -ge 300 ]; then
    echo "run-in-xvfb: Xvfb did not start" >&2
    exit 1
  fi
  i=$((i + 1))
  sleep 0.1
done
DISPLAY=":$(head -n 1 "$number_file")"
export DISPLAY
unset XAUTHORITY
status=0
"$@" || status=$?
exit "$status"
