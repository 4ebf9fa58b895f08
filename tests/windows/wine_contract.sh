#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Black-box contract of melvigil-cli.exe watch and list under Wine, on a drive letter that maps
# a temporary Linux directory: the files are made from the Linux side, as another program
# would, and the tool names them with "\" below the drive.
#
# Parameters (environment):
#   MV_CLI      the command that runs melvigil-cli.exe (words split by spaces), normally
#               "tests/windows/wine-cli.sh cmake/wine-run.sh /usr/lib/wine/wine64 PREFIX EXE"
#   WINEPREFIX  the Wine prefix the tool runs in (its dosdevices get the drive letter)
#   MV_TIMEOUT  seconds to wait for the tool to be ready or for lines to arrive (default 20)
#
# Wine (8.0) watches only the subdirectories that are created after a subtree watch began;
# Windows watches all of them. So every subdirectory here is made after the tool is ready.
set -u

read -r -a CLI <<<"${MV_CLI:?set MV_CLI to the melvigil-cli.exe command}"
: "${WINEPREFIX:?set WINEPREFIX}"
TIMEOUT=${MV_TIMEOUT:-20}

ROOT=$(mktemp -d "${TMPDIR:-/tmp}/mv-wine-contract.XXXXXX") || exit 1
DRIVE=
for letter in m n o p q r s t u v w x y; do
  # ln fails when the letter is taken: two runs never share one.
  if ln -s "$ROOT" "$WINEPREFIX/dosdevices/$letter:" 2>/dev/null; then
    DRIVE=${letter^^}
    break
  fi
done
PID=
cleanup() {
  [ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
  [ -n "$DRIVE" ] && rm -f "$WINEPREFIX/dosdevices/${DRIVE,,}:"
  rm -rf "$ROOT"
}
trap cleanup EXIT
if [ -z "$DRIVE" ]; then
  echo "no free drive letter in $WINEPREFIX/dosdevices" >&2
  exit 1
fi

FAILS=0
PASSES=0
fail() {
  echo "FAIL [$SCENARIO]: $*" >&2
  FAILS=$((FAILS + 1))
}

# The Windows name of a path below ROOT, and the same name as the tool prints it (escaped).
win() {
  local rel=${1#"$ROOT"}
  printf '%s:%s' "$DRIVE" "${rel//\//\\}"
}
printed() {
  local w
  w=$(win "$1")
  printf '%s' "${w//\\/\\\\}"
}
line() {
  local a=${2:+$(printed "$2")} b=${3:+$(printed "$3")}
  printf '%s\t%s\t%s\n' "$1" "$a" "$b"
}

# start SUBCOMMAND DIR [options...]: runs the tool in the background until it is ready.
start() {
  OUT=$ROOT/.out.$SCENARIO
  ERR=$ROOT/.err.$SCENARIO
  : >"$OUT"
  : >"$ERR"
  local command=$1 dir=$2
  shift 2
  "${CLI[@]}" "$command" "$(win "$dir")" "$@" >"$OUT" 2>"$ERR" </dev/null &
  PID=$!
  local waited=0
  # list says nothing when it is ready: its watcher is armed before the first tick.
  if [ "$command" = list ]; then
    # list says nothing once it watches (and Wine starts slowly under load): a file it lists
    # tells. The scenario drops the probes' lines before comparing.
    local probes=0
    until grep -q 'probe' "$OUT"; do
      probes=$((probes + 1))
      if [ $probes -gt $((TIMEOUT * 4)) ]; then
        fail "list listed no probe file within ${TIMEOUT}s: $(cat "$ERR")"
        return 1
      fi
      : >"$dir/probe$probes.mp3"
      sleep 0.25
    done
    rm -f "$dir"/probe*.mp3
    return 0
  fi
  until grep -q '^ready' "$ERR"; do
    if ! kill -0 "$PID" 2>/dev/null; then
      fail "the tool ended before it was ready: $(cat "$ERR")"
      PID=
      return 1
    fi
    sleep 0.05
    waited=$((waited + 1))
    if [ $waited -gt $((TIMEOUT * 20)) ]; then
      fail "no ready line within ${TIMEOUT}s"
      return 1
    fi
  done
}

wait_lines() {
  local waited=0
  while [ "$(wc -l <"$OUT")" -lt "$1" ] && [ $waited -lt $((TIMEOUT * 20)) ]; do
    sleep 0.05
    waited=$((waited + 1))
  done
}

# stop [SIGNAL]: the tool must end promptly with status 0.
stop() {
  local sig=${1:-TERM}
  [ -n "$PID" ] || return 1
  sleep 0.3 # what is still under way arrives; a late duplicate would show here
  kill -"$sig" "$PID"
  local waited=0
  while kill -0 "$PID" 2>/dev/null && [ $waited -lt 100 ]; do
    sleep 0.05
    waited=$((waited + 1))
  done
  if kill -0 "$PID" 2>/dev/null; then
    fail "still running 5 s after SIG$sig"
    kill -KILL "$PID"
  fi
  wait "$PID"
  local status=$?
  PID=
  [ $status -eq 0 ] || fail "exit status $status after SIG$sig"
}

expect_output() {
  local expected=$ROOT/.expected.$SCENARIO
  printf '%s' "$1" >"$expected"
  if ! cmp -s "$expected" "$OUT"; then
    fail "output differs (expected, then got):"
    diff "$expected" "$OUT" | head -40 | sed 's/^/    /' >&2
  fi
}

expect_sorted_output() {
  local expected=$ROOT/.expected.$SCENARIO
  printf '%s' "$1" | LC_ALL=C sort >"$expected"
  if ! LC_ALL=C sort "$OUT" | cmp -s "$expected" -; then
    fail "lines differ (expected, then got, sorted):"
    LC_ALL=C sort "$OUT" | diff "$expected" - | head -40 | sed 's/^/    /' >&2
  fi
}

scenario() {
  SCENARIO=$1
  local before=$FAILS
  T=$ROOT/$SCENARIO
  mkdir -p "$T"
  "$@"
  if [ $FAILS -eq $before ]; then
    PASSES=$((PASSES + 1))
    echo "ok   $SCENARIO"
  else
    echo "FAIL $SCENARIO"
  fi
}

create_in_root_and_subdirectory() {
  start watch "$T" || return
  mkdir "$T/x"
  : >"$T/a.mp3"
  : >"$T/x/b.mp3"
  wait_lines 2
  stop
  expect_output "$(line foAdded "$T/a.mp3")
$(line foAdded "$T/x/b.mp3")
"
}

rename_is_one_event() {
  : >"$T/song.part"
  start watch "$T" || return
  mv "$T/song.part" "$T/song.mp3"
  wait_lines 1
  stop
  expect_output "$(line foRenamed "$T/song.part" "$T/song.mp3")
"
}

removal() {
  : >"$T/gone.mp3"
  start watch "$T" || return
  rm "$T/gone.mp3"
  wait_lines 1
  stop
  expect_output "$(line foRemoved "$T/gone.mp3")
"
}

trailing_spaces_are_trimmed() {
  start watch "$T" || return
  : >"$T/song.mp3  "
  wait_lines 1
  stop
  expect_output "$(line foAdded "$T/song.mp3")
"
}

new_directories_with_20_files_at_once() {
  start watch "$T" || return
  local expected= d f
  for d in $(seq 1 30); do
    mkdir "$T/d$d"
    touch $(for f in $(seq 1 20); do printf '%s ' "$T/d$d/f$f.mp3"; done)
    for f in $(seq 1 20); do expected+="$(line foAdded "$T/d$d/f$f.mp3")"$'\n'; done
  done
  wait_lines 600
  stop
  expect_sorted_output "$expected"
}

ctrl_c_ends_it_cleanly() {
  start watch "$T" || return
  : >"$T/a"
  wait_lines 1
  stop INT
  expect_output "$(line foAdded "$T/a")
"
}

# Missing at first, then made, deleted (from the Linux side) and made again: told once that it
# is missing, once that it is gone, and watched each time it is back.
missing_directory_is_told_and_watched_once_it_exists() {
  start watch "$T/missing" || return
  grep -q '^ready (not watching' "$ERR" || fail "no 'not watching' notice: $(cat "$ERR")"
  mkdir "$T/missing"
  : >"$T/missing/a"
  wait_lines 1
  rm -r "$T/missing"
  sleep 1.5
  mkdir "$T/missing"
  : >"$T/missing/b"
  wait_lines 2
  stop
  expect_output "$(line foAdded "$T/missing/a")
$(line foRemoved "$T/missing/a")
$(line foAdded "$T/missing/b")
"
  local missing gone
  missing=$(grep -c "监视的目录不存在" "$ERR")
  gone=$(grep -c "监视的目录已不存在" "$ERR")
  [ "$missing" -eq 1 ] && [ "$gone" -eq 1 ] || fail "told $missing x missing, $gone x gone: $(cat "$ERR")"
}

# A folder made, filled and renamed at once, as download clients finish one: every file is
# listed at the new place, once.
folder_renamed_at_once_is_listed_at_its_new_place() {
  start watch "$T" || return
  local expected='' f
  mkdir "$T/d"
  for f in $(seq 1 20); do : >"$T/d/f$f.mp3"; done
  mv "$T/d" "$T/d2"
  for f in $(seq 1 20); do expected+="$(line foAdded "$T/d2/f$f.mp3")"$'\n'; done
  local new old waited=0
  new="$(printed "$T/d2")\\\\f"
  old="$(printed "$T/d")\\\\f"
  while [ "$(grep -cF "$new" "$OUT")" -lt 20 ] && [ $waited -lt $((TIMEOUT * 20)) ]; do
    sleep 0.05
    waited=$((waited + 1))
  done
  stop
  # Records of the files at the old place may come too: those name no file any more.
  grep -vF "$old" "$OUT" >"$OUT.new"
  mv "$OUT.new" "$OUT"
  expect_sorted_output "$expected"
}

# count_until N PATTERN: waits until N lines of the output contain the fixed text PATTERN.
count_until() {
  local waited=0
  while [ "$(grep -cF "$2" "$OUT")" -lt "$1" ] && [ $waited -lt $((TIMEOUT * 20)) ]; do
    sleep 0.05
    waited=$((waited + 1))
  done
}

list_adds_music_and_drops_what_is_gone() {
  start list "$T" || return
  : >"$T/setup.bin"
  : >"$T/clip.MP3"
  count_until 1 clip.MP3
  rm "$T/clip.MP3"
  count_until 2 clip.MP3 # the once-a-second sweep
  stop
  grep -v probe "$OUT" >"$OUT.new"
  mv "$OUT.new" "$OUT"
  local w
  w=$(printed "$T/clip.MP3")
  expect_output "+	$w
-	$w
"
}

scenario create_in_root_and_subdirectory
scenario rename_is_one_event
scenario removal
scenario trailing_spaces_are_trimmed
scenario new_directories_with_20_files_at_once
scenario ctrl_c_ends_it_cleanly
scenario missing_directory_is_told_and_watched_once_it_exists
scenario folder_renamed_at_once_is_listed_at_its_new_place
scenario list_adds_music_and_drops_what_is_gone

echo "$PASSES passed, $FAILS failed"
[ $FAILS -eq 0 ]
