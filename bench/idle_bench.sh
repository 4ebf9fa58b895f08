#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the download list costs while nothing changes: `melvigil-cli list` and the window, each
# watching a directory and holding N entries (1,000, 10,000 and 100,000 by default), left idle.
# CPU is utime+stime from /proc/PID/stat (the window helper reads its own) over SECONDS; RSS is
# VmRSS at the end. Prints a table with the goals beside the figures.
#
#   bench/idle_bench.sh [BUILD_DIR] [SECONDS] [SIZES]
#
# BUILD_DIR is a release-like build (RelWithDebInfo) holding src/cli/melvigil-cli and
# bench/gui_idle_bench, or a folder holding both programs; SECONDS defaults to 20; SIZES is a
# space-separated list. The files go to a fresh directory under ${TMPDIR:-/tmp}, removed after.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/release}"
seconds="${2:-20}"
sizes="${3:-1000 10000 100000}"
cli="$build/src/cli/melvigil-cli"
[[ -x "$cli" ]] || cli="$build/melvigil-cli"
gui="$build/bench/gui_idle_bench"
[[ -x "$gui" ]] || gui="$build/gui_idle_bench"
[[ -x "$cli" ]] || { echo "idle_bench.sh: no melvigil-cli in $build" >&2; exit 2; }

work="$(mktemp -d "${TMPDIR:-/tmp}/melvigil-idle-bench.XXXXXX")"
cli_pid=
cleanup() {
  [[ -n "$cli_pid" ]] && kill -TERM "$cli_pid" 2>/dev/null && wait "$cli_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

ticks="$(getconf CLK_TCK)"
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_mib() { awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
lines() { grep -c "^$1" "$work/list.out" 2>/dev/null || true; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v >= 0 && v + 0 <= g + 0) ? "ok" : "MISSED" }'; }

# One run of `melvigil-cli list` holding N entries; prints "cpu_pct rss_mib".
cli_run() { # N
  local n=$1 dir="$work/cli-$1"
  mkdir -p "$dir"
  "$cli" list "$dir" >"$work/list.out" 2>"$work/list.err" &
  cli_pid=$!
  # Watching once a probe file is listed.
  local waited=0
  until [[ $(lines "+") -ge 1 ]]; do
    rm -f "$dir/probe.mp3"; : >"$dir/probe.mp3"
    sleep 0.05
    waited=$((waited + 1))
    [[ $waited -lt 1200 ]] || { echo "idle_bench.sh: the list never started" >&2; exit 1; }
  done
  # The folders are made while watching, so that none is still being armed.
  (cd "$dir" && for d in $(seq 0 99); do
    mkdir "d$d"
    seq "$d" 100 $((n - 1)) | sed "s|^|d$d/download-|; s|$|.mp3|" | xargs -r touch
  done)
  waited=0
  until [[ $(lines "+") -ge $((n + 1)) ]]; do
    sleep 0.1
    waited=$((waited + 1))
    [[ $waited -lt 1200 ]] || { echo "idle_bench.sh: listed $(lines "+") of $((n + 1))" >&2; cat "$work/list.err" >&2; exit 1; }
  done
  sleep 3  # the first ticks after the burst may check everything once
  local t0 t1
  t0=$(cpu_ticks "$cli_pid")
  sleep "$seconds"
  t1=$(cpu_ticks "$cli_pid")
  local rss
  rss=$(rss_mib "$cli_pid")
  kill -TERM "$cli_pid"
  wait "$cli_pid" || true
  cli_pid=
  rm -rf "$dir"
  awk -v a="$t0" -v b="$t1" -v t="$ticks" -v s="$seconds" -v r="$rss" \
    'BEGIN { printf "%.2f %s\n", 100 * (b - a) / t / s, r }'
}

fmt="%-52s %10s %10s %7s\n"
printf "$fmt" "measure (idle ${seconds} s, $(uname -r), ${TMPDIR:-/tmp})" "figure" "goal" ""
for n in $sizes; do
  read -r pct rss < <(cli_run "$n")
  printf "$fmt" "melvigil-cli list, $n entries: CPU (% of a core)" "$pct" "0.5" "$(verdict "$pct" 0.5)"
  if [[ $n -ge 100000 ]]; then
    printf "$fmt" "melvigil-cli list, $n entries: RSS (MiB)" "$rss" "25" "$(verdict "$rss" 25)"
  else
    printf "$fmt" "melvigil-cli list, $n entries: RSS (MiB)" "$rss" "" ""
  fi
done
if [[ -x "$gui" ]]; then
  for n in $sizes; do
    out="$(QT_QPA_PLATFORM=offscreen "$gui" "$n" "$work/gui-$n" "$seconds" 2>/dev/null)"
    rm -rf "$work/gui-$n"
    pct="$(sed -n 's/^idle_cpu_pct=//p' <<<"$out")"
    printf "$fmt" "window (offscreen), $n entries: CPU (% of a core)" "$pct" "0.5" "$(verdict "$pct" 0.5)"
    printf "$fmt" "window (offscreen), $n entries: RSS (MiB)" "$(sed -n 's/^rss_mib=//p' <<<"$out")" "" ""
  done
else
  echo "idle_bench.sh: no gui_idle_bench in $build; the window was not measured" >&2
fi
