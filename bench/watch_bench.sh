#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Watcher benchmarks: arming over large trees (beside find and inotifywait in the same run),
# bursts of new files with and without a stalled reader, the new-directory race, delivery
# latency and memory. Prints a table with the goals beside the figures.
#
#   bench/watch_bench.sh [BUILD_DIR] [SCRATCH]
#
# BUILD_DIR is a release-like build (RelWithDebInfo) holding src/cli/melvigil-cli,
# bench/watch_bench and bench/watch_floor; SCRATCH is where the trees go (default /dev/shm, a
# tmpfs; the floor section wants a disk file system, e.g. a folder under /work). Everything made
# there is removed afterwards. inotifywait (inotify-tools) is optional.
#
# Environment: WATCH_BENCH_ONLY picks sections (default: floor arm burst stall race racemv
# latency); WATCH_BENCH_BEFORE names an earlier melvigil-cli that the floor section times too;
# WATCH_BENCH_ROUNDS (default 3) is how often the floor section repeats each command (medians).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/release}"
scratch="${2:-/dev/shm}"
cli="$build/src/cli/melvigil-cli"
helper="$build/bench/watch_bench"
floor="$build/bench/watch_floor"
only=" ${WATCH_BENCH_ONLY:-floor arm burst stall race racemv latency} "
want() { [[ $only == *" $1 "* ]]; }
for f in "$cli" "$helper" "$floor"; do
  [[ -x "$f" ]] || { echo "watch_bench.sh: missing $f (build melvigil-cli and watch_bench)" >&2; exit 2; }
done

work="$(mktemp -d "$scratch/melvigil-watch-bench.XXXXXX")"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null || true; kill -TERM "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

get() { sed -n "s/^$2=//p" "$work/$1.txt"; }
ms() { awk -v s="$1" 'BEGIN { printf "%.0f", s * 1000 }'; }
pct() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b ? 100 * a / b : 0 }'; }
have_inotifywait=0
command -v inotifywait >/dev/null && have_inotifywait=1

# The watcher CLI in the background, output to a file; returns once it is ready.
start_cli() { # NAME DIR
  "$cli" watch "$2" >"$work/$1.out" 2>"$work/$1.err" &
  cli_pid=$!
  pids+=("$cli_pid")
  local waited=0
  until grep -q '^ready' "$work/$1.err"; do
    sleep 0.02
    waited=$((waited + 1))
    [[ $waited -lt 6000 ]] || { echo "watch_bench.sh: the watcher never got ready" >&2; exit 1; }
  done
}
stop_cli() {
  kill -TERM "$cli_pid"
  wait "$cli_pid" || true
}
# Waits until the output stops growing for 2 s (or reaches LINES).
settle() { # NAME LINES
  local last=-1 now quiet=0
  while :; do
    now=$(wc -l <"$work/$1.out")
    [[ $now -ge $2 ]] && sleep 0.5 && return
    if [[ $now -eq $last ]]; then quiet=$((quiet + 1)); else quiet=0; fi
    [[ $quiet -ge 20 ]] && return
    last=$now
    sleep 0.1
  done
}
unique_added() { # NAME PREFIX
  awk -F'\t' -v p="$2" '$1 == "foAdded" && index($2, p) == 1 { print $2 }' "$work/$1.out" | sort -u | wc -l
}

rows=()
row() { rows+=("$(printf '%-56s %14s %12s %s' "$1" "$2" "$3" "$4")"); }

# 0. Arming over 110,101 directories beside the floor (open, inotify_add_watch, getdents64 and
# close only, on one and on two threads), the watches alone (inotify_add_watch over the known
# directories, no walk, on one and on two threads) and find, in the same run, warm cache; medians
# of the wall time and, as the machine may be shared, of the processor time (user + system).
if want floor; then
  tree="$work/floortree"
  "$helper" mktree "$tree" 110101 >/dev/null
  sync
  dirs=$(find "$tree" -type d | wc -l)
  median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b ? a / b : 0 }'; }
  # keep NAME WALL_KEY CPU_KEY: files the two figures of a key=value output read from stdin.
  keep() {
    local out
    out=$(cat)
    sed -n "s/^$2=//p" <<<"$out" >>"$work/f.$1"
    sed -n "s/^$3=//p" <<<"$out" >>"$work/c.$1"
  }
  for r in $(seq 1 "${WATCH_BENCH_ROUNDS:-3}"); do
    TIMEFORMAT='real=%R
cpu=%U %S'
    { time find "$tree" -type d | wc -l >/dev/null; } 2>&1 |
      awk '/^real=/ { print } /^cpu=/ { split(substr($0, 5), t, " "); print "cpu=" t[1] + t[2] }' |
      keep find real cpu
    "$floor" "$tree" 1 | keep 1 floor_s floor_cpu_s
    "$floor" "$tree" 2 | keep 2 floor_s floor_cpu_s
    "$floor" "$tree" 1 addwatch | keep a1 addwatch_s addwatch_cpu_s
    "$floor" "$tree" 2 addwatch | keep a2 addwatch_s addwatch_cpu_s
    "$helper" ready ready "$cli" watch "$tree" | keep mv ready_s ready_cpu_s
    if [[ -n ${WATCH_BENCH_BEFORE:-} ]]; then
      "$helper" ready ready "$WATCH_BENCH_BEFORE" watch "$tree" | keep before ready_s ready_cpu_s
    fi
  done
  mv_s=$(median "$work/f.mv")
  f2=$(median "$work/f.2")
  find_s=$(median "$work/f.find")
  before=""
  [[ -s $work/f.before ]] && before=", before $(ms "$(median "$work/f.before")")"
  row "arm over $dirs dirs: ready (ms)" "$(ms "$mv_s")" "" \
    "floor 1 thread $(ms "$(median "$work/f.1")"), 2 threads $(ms "$f2"), find $(ms "$find_s")$before"
  row "arm / two-thread floor" "$(ratio "$mv_s" "$f2")" "<= 1.2" ""
  row "arm / find" "$(ratio "$mv_s" "$find_s")" "<= 0.6" ""
  a2=$(median "$work/f.a2")
  row "watches alone, no walk, 2 threads (ms)" "$(ms "$a2")" "" "1 thread $(ms "$(median "$work/f.a1")")"
  alone=$(ratio "$a2" "$find_s")
  row "watches alone / find" "$alone" "" \
    "$(awk -v r="$alone" 'BEGIN { print (r > 0.6 ? "over 0.6: arm / find <= 0.6 is out of reach here" : "") }')"
  row "processor time (ms): arm" "$(ms "$(median "$work/c.mv")")" "" \
    "floor 1 thread $(ms "$(median "$work/c.1")"), 2 threads $(ms "$(median "$work/c.2")"), watches alone $(ms "$(median "$work/c.a1")") / $(ms "$(median "$work/c.a2")"), find $(ms "$(median "$work/c.find")")"
  rm -rf "$tree"
fi

# 1. Arming over 10,000 and 100,000 empty directories; memory at 110,000.
if want arm; then
  for n in 10000 100000 110000; do
    tree="$work/tree$n"
    "$helper" mktree "$tree" "$n" >/dev/null
    sync
    t0=$(date +%s.%N)
    count=$(find "$tree" -type d | wc -l)
    t1=$(date +%s.%N)
    find_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')
    "$helper" ready ready "$cli" watch "$tree" >"$work/arm$n.txt"
    if [[ $have_inotifywait == 1 ]]; then
      "$helper" ready "Watches established" inotifywait -m -r "$tree" >"$work/iw$n.txt" || true
    fi
    if [[ $n == 110000 ]]; then
      row "peak RSS armed over $count dirs (MiB)" \
        "$(awk -v k="$(get arm$n peak_rss_kib)" 'BEGIN { printf "%.1f", k / 1024 }')" "< 30" \
        "$([[ $have_inotifywait == 1 ]] && awk -v k="$(get iw$n peak_rss_kib)" 'BEGIN { printf "inotifywait %.1f", k / 1024 }')"
    else
      row "arm over $count dirs: ready (ms)" "$(ms "$(get arm$n ready_s)")" "~ find" \
        "find $(ms "$find_s")$([[ $have_inotifywait == 1 ]] && echo ", inotifywait $(ms "$(get iw$n ready_s)")")"
    fi
    rm -rf "$tree"
  done
fi

# 2. A burst of 100,000 files under 1,000 directories.
if want burst; then
  burst="$work/burst"
  "$helper" mkdirs "$burst" 1000
  start_cli burst "$burst"
  "$helper" burst "$burst" 100000 1000 >"$work/burst.txt"
  settle burst 100000
  stop_cli
  got=$(unique_added burst "$burst/")
  row "burst 100,000 files / 1,000 dirs: reported (%)" "$(pct "$got" 100000)" "100" \
    "$got files, created at $(get burst rate_per_s)/s"
  rm -rf "$burst"
fi

# 3. The same with the watcher stopped for 3 s during the burst (queue overflow, rescan).
if want stall; then
  burst="$work/stall"
  "$helper" mkdirs "$burst" 1000
  start_cli stall "$burst"
  kill -STOP "$cli_pid"
  t0=$(date +%s.%N)
  "$helper" burst "$burst" 100000 1000 >"$work/stall.txt"
  left=$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { d = 3 - (b - a); print (d > 0 ? d : 0) }')
  sleep "$left"
  kill -CONT "$cli_pid"
  settle stall 100000
  stop_cli
  got=$(unique_added stall "$burst/")
  lines=$(grep -c "^foAdded" "$work/stall.out" || true)
  row "burst, watcher SIGSTOPped 3 s: reported (%)" "$(pct "$got" 100000)" "100" \
    "$got files in $lines lines"
  rm -rf "$burst"
fi

# 4. 200 x (mkdir + 20 files at once).
if want race; then
  race="$work/race"
  mkdir "$race"
  start_cli race "$race"
  "$helper" race "$race" 200 20
  settle race 4000
  stop_cli
  got=$(unique_added race "$race/")
  twice=$(awk -F'\t' '$1 == "foAdded" { n[$2]++ } END { c = 0; for (k in n) if (n[k] > 1) c++; print c }' "$work/race.out")
  row "new-dir race 200 x (mkdir + 20 files): missed" "$((4000 - got))" "0" "of 4,000"
  row "new-dir race: reported twice" "$twice" "0" ""
  rm -rf "$race"
fi

# 4b. 1,000 x (mkdir + 20 files + rename at once), as download clients finish a folder: every
# file must be listed at the new place.
if want racemv; then
  race="$work/racemv"
  mkdir "$race"
  start_cli racemv "$race"
  "$helper" racemv "$race" 1000 20
  settle racemv 40000
  stop_cli
  got=$(awk -F'\t' -v p="$race/" '$1 == "foAdded" && index($2, p) == 1 && $2 ~ /x\/f[0-9]+$/ { print $2 }' "$work/racemv.out" | sort -u | wc -l)
  twice=$(awk -F'\t' '$1 == "foAdded" && $2 ~ /x\/f[0-9]+$/ { n[$2]++ } END { c = 0; for (k in n) if (n[k] > 1) c++; print c }' "$work/racemv.out")
  row "renamed-dir race 1,000 x (mkdir + 20 files + mv): missed" "$((20000 - got))" "0" "of 20,000 at the new place"
  row "renamed-dir race: reported twice at the new place" "$twice" "0" ""
  rm -rf "$race"
fi

# 5. Latency from creation to the handler on the main thread.
if want latency; then
  lat="$work/lat"
  mkdir "$lat"
  "$helper" latency "$lat" 2000 >"$work/lat.txt"
  row "latency creation -> delivery p50 (ms)" "$(get lat p50_ms)" "" "$(get lat delivered) of 2000 samples"
  row "latency creation -> delivery p99 (ms)" "$(get lat p99_ms)" "< 1" "max $(get lat max_ms)"
  rm -rf "$lat"
fi

printf '%-56s %14s %12s %s\n' "measure ($(uname -r), $(nproc) cores, $(df -T "$scratch" | awk 'NR == 2 { print $2 }'))" "figure" "goal" "same run / notes"
printf '%s\n' "${rows[@]}"
