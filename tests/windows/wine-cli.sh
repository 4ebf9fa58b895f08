#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows console program under Wine for the black-box scripts written for the Linux
# tool: its standard output comes without the CR of Windows line ends, and SIGTERM or SIGINT
# reach it as Ctrl+C, the console's stop request (Wine would end it at once on SIGTERM, with
# no chance to finish). The exit status is the program's.
# Usage: wine-cli.sh WINE-RUN LOADER PREFIX PROGRAM [ARGS...]   (WINE-RUN: cmake/wine-run.sh)
set -u
# Started in the background by a script, this shell would ignore SIGINT for good; env starts
# it again with the default disposition, so that the trap below can take it.
if [[ -z "${MV_WINE_CLI_SIGNALS:-}" ]]; then
  MV_WINE_CLI_SIGNALS=1 exec env --default-signal=INT "$0" "$@"
fi
unset MV_WINE_CLI_SIGNALS
run=$1
shift
exec 3> >(exec sed -u 's/\r$//')
filter=$!
MELVIGIL_WINE_DIRECT=1 "$run" "$@" >&3 3>&- &
child=$!
exec 3>&-
trap 'kill -INT "$child" 2>/dev/null' TERM INT
status=0
while :; do
  wait "$child"
  status=$?
  kill -0 "$child" 2>/dev/null || break
done
wait "$filter" 2>/dev/null
exit "$status"
