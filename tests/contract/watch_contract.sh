#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Black-box contract of `melvigil-cli watch`: what it prints for changes in a real tree.
#
# Parameters (environment):
#   MV_CLI         the command that runs melvigil-cli (words split by spaces), e.g.
#                  "build/dev/src/cli/melvigil-cli" or "wine build/mingw/src/cli/melvigil-cli.exe"
#   MV_PATH_STYLE  posix (default) or windows: how the tool names the watched directory and the
#                  files below it (windows: "Z:\tmp\x\a.mp3", printed escaped as "Z:\\tmp\\x\\a.mp3")
#   MV_TMP         where the temporary trees go (default: /tmp)
#   MV_TIMEOUT     seconds to wait for the tool to be ready or for lines to arrive (default 20)
#   MV_STOP_SIGNAL the signal that asks the tool to end (default TERM; under Wine, INT reaches
#                  the program as Ctrl+C)
# Line ends are compared without a carriage return, so a Windows build's CRLF output passes.
# Exit status 0 when every scenario holds; the failures are listed on stderr.
set -u

read -r -a CLI <<<"${MV_CLI:?set MV_CLI to the melvigil-cli command}"
STYLE=${MV_PATH_STYLE:-posix}
TMP_BASE=${MV_TMP:-/tmp}
TIMEOUT=${MV_TIMEOUT:-20}
STOP_SIGNAL=${MV_STOP_SIGNAL:-TERM}

WORK=$(mktemp -d "$TMP_BASE/mv-watch-contract.XXXXXX") || exit 1
PID=
cleanup() {
  [ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

FAILS=0
PASSES=0
fail() {
  echo "FAIL [$SCENARIO]: $*" >&2
  FAILS=$((FAILS + 1))
}

# The directory argument for a tree path, and the printed (escaped) name of a path below it.
dir_arg() {
  if [ "$STYLE" = windows ]; then
    printf 'Z:%s' "${1//\//\\}"
  else
    printf '%s' "$1"
  fi
}
printed() {
  if [ "$STYLE" = windows ]; then
    local p="Z:${1//\//\\}"
    printf '%s' "${p//\\/\\\\}"
  else
    printf '%s' "$1"
  fi
}
# One expected output line: operation, first name, second name (either may be a tree path).
line() {
  local a=${2:+$(printed "$2")} b=${3:+$(printed "$3")}
  printf '%s\t%s\t%s\n' "$1" "$a" "$b"
}

# start DIR [options...]: runs the tool in the background until it says it is ready.
start() {
  OUT=$WORK/out.$SCENARIO
  ERR=$WORK/err.$SCENARIO
  : >"$OUT"
  : >"$ERR"
  local dir=$1
  shift
  "${CLI[@]}" watch "$(dir_arg "$dir")" "$@" >"$OUT" 2>"$ERR" &
  PID=$!
  local waited=0
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

# wait_lines N: waits until the output has at least N lines (or the timeout passes).
wait_lines() {
  local waited=0
  while [ "$(wc -l <"$OUT")" -lt "$1" ] && [ $waited -lt $((TIMEOUT * 20)) ]; do
    sleep 0.05
    waited=$((waited + 1))
  done
}

# stop: ends the tool with a signal; it must leave promptly and with status 0.
stop() {
  local sig=${1:-$STOP_SIGNAL}
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
  sed -i 's/\r$//' "$OUT" "$ERR"
}

expect_output() {
  local expected=$WORK/expected.$SCENARIO
  printf '%s' "$1" >"$expected"
  if ! cmp -s "$expected" "$OUT"; then
    fail "output differs (expected, then got):"
    diff "$expected" "$OUT" | sed 's/^/    /' >&2
  fi
}

expect_sorted_output() {
  local expected=$WORK/expected.$SCENARIO
  printf '%s' "$1" | LC_ALL=C sort >"$expected"
  if ! LC_ALL=C sort "$OUT" | cmp -s "$expected" -; then
    fail "lines differ (expected, then got, sorted):"
    LC_ALL=C sort "$OUT" | diff "$expected" - | head -40 | sed 's/^/    /' >&2
  fi
}

scenario() {
  SCENARIO=$1
  local before=$FAILS
  T=$WORK/$SCENARIO
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
  mkdir "$T/x"
  start "$T" || return
  : >"$T/a.mp3"
  : >"$T/x/a.mp3"
  wait_lines 2
  stop
  expect_output "$(line foAdded "$T/a.mp3")
$(line foAdded "$T/x/a.mp3")
"
}

rename_is_one_event() {
  mkdir "$T/x" "$T/y"
  : >"$T/x/song.part"
  start "$T" || return
  mv "$T/x/song.part" "$T/x/song.mp3"
  mv "$T/x/song.mp3" "$T/y/song.mp3"
  wait_lines 2
  stop
  expect_output "$(line foRenamed "$T/x/song.part" "$T/x/song.mp3")
$(line foRenamed "$T/x/song.mp3" "$T/y/song.mp3")
"
}

moves_in_and_out() {
  mkdir "$T/tree" "$T/outside"
  : >"$T/outside/in.mp3"
  : >"$T/tree/out.mp3"
  start "$T/tree" || return
  mv "$T/outside/in.mp3" "$T/tree/in.mp3"
  mv "$T/tree/out.mp3" "$T/outside/out.mp3"
  wait_lines 2
  stop
  expect_output "$(line foAdded "$T/tree/in.mp3")
$(line foRemoved "$T/tree/out.mp3")
"
}

trailing_spaces_are_kept() {
  start "$T" || return
  : >"$T/song.mp3  "
  wait_lines 1
  stop
  expect_output "$(line foAdded "$T/song.mp3  ")
"
}

new_directories_with_20_files_at_once() {
  start "$T" || return
  local expected='' d f files
  for d in $(seq 1 30); do
    files=()
    for f in $(seq 1 20); do
      files+=("$T/d$d/f$f.mp3")
      expected+="$(line foAdded "$T/d$d/f$f.mp3")"$'\n'
    done
    mkdir "$T/d$d"
    touch "${files[@]}"
  done
  wait_lines 600
  stop
  expect_sorted_output "$expected"
}

nested_tree_moved_in() {
  mkdir -p "$T/tree" "$T/outside/t/l1/l2/l3"
  local expected='' rel
  for rel in t/a.mp3 t/l1/b.wav t/l1/l2/c t/l1/l2/l3/d; do
    : >"$T/outside/$rel"
    expected+="$(line foAdded "$T/tree/$rel")"$'\n'
  done
  start "$T/tree" || return
  mv "$T/outside/t" "$T/tree/t"
  wait_lines 4
  : >"$T/tree/t/l1/l2/l3/later"
  expected+="$(line foAdded "$T/tree/t/l1/l2/l3/later")"$'\n'
  wait_lines 5
  stop
  expect_sorted_output "$expected"
}

directory_rename_carries_the_subtree() {
  mkdir -p "$T/d/e"
  start "$T" --filter file,dir || return
  mv "$T/d" "$T/d2"
  # What was below is named at the new place too (so far by the Linux source only).
  local below='' n=1
  [ "$STYLE" = posix ] && below="$(line foAdded "$T/d2/e")"$'\n' && n=2
  wait_lines $n
  : >"$T/d2/e/f"
  wait_lines $((n + 1))
  stop
  expect_output "$(line foRenamed "$T/d" "$T/d2")
$below$(line foAdded "$T/d2/e/f")
"
}

directories_only_with_the_dir_kind() {
  start "$T" || return
  mkdir "$T/plain"
  : >"$T/plain/f"
  wait_lines 1
  stop
  expect_output "$(line foAdded "$T/plain/f")
"
}

no_subtree_watches_the_directory_only() {
  mkdir "$T/x"
  start "$T" --no-subtree || return
  : >"$T/x/inner"
  : >"$T/top"
  wait_lines 1
  stop
  expect_output "$(line foAdded "$T/top")
"
}

write_kind_reports_modifications() {
  : >"$T/f"
  start "$T" --filter=write || return
  printf 'data' >>"$T/f"
  wait_lines 1
  stop
  # One write may show as more than one notice; each is a modification of f.
  if [ ! -s "$OUT" ] || grep -qv "^$(line foModified "$T/f" | sed 's/[][\.*^$]/\\&/g')\$" "$OUT"; then
    fail "expected only foModified lines for f, got: $(cat "$OUT")"
  fi
}

# The user is told once; watching begins when the directory exists, and resumes after it was
# deleted and made again.
missing_directory_is_told_and_watched_once_it_exists() {
  start "$T/missing" || return
  sleep 0.3
  mkdir "$T/missing"
  : >"$T/missing/a"
  wait_lines 1
  rm -r "$T/missing"
  sleep 0.5
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
  [ "$missing" -eq 1 ] && [ "$gone" -eq 1 ] ||
    fail "told $missing times that it is missing and $gone times that it is gone: $(cat "$ERR")"
}

# A folder made, filled and renamed at once, as download clients finish one: every file is
# listed at the new place, once.
folder_renamed_at_once_is_listed_at_its_new_place() {
  start "$T" || return
  local expected='' f d
  for d in 1 2 3 4 5; do
    mkdir "$T/d$d"
    for f in $(seq 1 20); do
      : >"$T/d$d/f$f.mp3"
      expected+="$(line foAdded "$T/d${d}x/f$f.mp3")"$'\n'
    done
    mv "$T/d$d" "$T/d${d}x"
  done
  wait_lines 100
  stop
  # Lines naming the old places may come first; only the new places count.
  grep -F "$(printed "$T")/d" "$OUT" | grep -v "$(printed "$T")/d[0-9]/" >"$OUT.new"
  mv "$OUT.new" "$OUT"
  expect_sorted_output "$expected"
}

sigint_ends_it_cleanly() {
  start "$T" || return
  : >"$T/a"
  wait_lines 1
  stop INT
  expect_output "$(line foAdded "$T/a")
"
}

bad_arguments_exit_2() {
  local args
  for args in "" "--filter" "--filter nope $T" "--filter file,,dir $T" "--bogus $T" "$T $T"; do
    # shellcheck disable=SC2086
    "${CLI[@]}" watch $args >"$WORK/bad.out" 2>"$WORK/bad.err" </dev/null
    local status=$?
    sed -i 's/\r$//' "$WORK/bad.err"
    [ $status -eq 2 ] || fail "'watch $args': exit status $status, expected 2"
    grep -q '^melvigil-cli: watch' "$WORK/bad.err" || fail "'watch $args': no message: $(cat "$WORK/bad.err")"
    grep -q 'usage:' "$WORK/bad.err" || fail "'watch $args': no usage"
    [ -s "$WORK/bad.out" ] && fail "'watch $args': printed on stdout"
  done
  "${CLI[@]}" watch --filter nope "$(dir_arg "$T")" 2>&1 | grep -q 'file, dir, attr, size, write, access, creation, security' ||
    fail "the kinds are not named in the message"
}

scenario create_in_root_and_subdirectory
scenario rename_is_one_event
scenario moves_in_and_out
scenario trailing_spaces_are_kept
scenario new_directories_with_20_files_at_once
scenario nested_tree_moved_in
scenario directory_rename_carries_the_subtree
scenario directories_only_with_the_dir_kind
scenario no_subtree_watches_the_directory_only
scenario write_kind_reports_modifications
if [ "$STYLE" = posix ]; then
  scenario missing_directory_is_told_and_watched_once_it_exists
  scenario folder_renamed_at_once_is_listed_at_its_new_place
fi
scenario sigint_ends_it_cleanly
scenario bad_arguments_exit_2

echo "$PASSES passed, $FAILS failed"
[ $FAILS -eq 0 ]
