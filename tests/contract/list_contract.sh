#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Black-box contract of `melvigil-cli list` on a tree deeper than the 4,096 bytes the system
# takes in one path: a new file down there is listed, and leaves the list once it is deleted;
# the deep directory takes a copy.
# Parameters (environment): MV_CLI the command that runs melvigil-cli; MV_TMP (default /tmp);
# MV_TIMEOUT seconds to wait for a line (default 20).
set -u
read -r -a CLI <<<"${MV_CLI:?set MV_CLI to the melvigil-cli command}"
TIMEOUT=${MV_TIMEOUT:-20}
WORK=$(mktemp -d "${MV_TMP:-/tmp}/mv-list-contract.XXXXXX") || exit 1
PID=
trap '[ -n "$PID" ] && kill -KILL "$PID" 2>/dev/null; rm -rf "$WORK"' EXIT
FAILS=0
fail() {
  echo "FAIL: $*" >&2
  FAILS=$((FAILS + 1))
}

# wait_for LINE: until the output holds that exact line, or the timeout passes.
wait_for() {
  local waited=0
  until grep -qxF -- "$1" "$WORK/out"; do
    sleep 0.1
    waited=$((waited + 1))
    [ $waited -le $((TIMEOUT * 10)) ] || return 1
  done
}

root=$WORK/tree
level=$(printf 'd%.0s' {1..200})
levels=21
deep=$root
for _ in $(seq $levels); do deep=$deep/$level; done
# Runs a command in the deepest directory, entered level by level: its whole path is too long
# for one call.
in_deep() (
  cd "$root" || exit 1
  for _ in $(seq $levels); do
    [ -d "$level" ] || mkdir "$level" || exit 1
    cd "$level" || exit 1
  done
  "$@"
)
mkdir "$root"
in_deep true || fail "cannot make the deep tree"
[ ${#deep} -gt 4096 ] || fail "the tree is only ${#deep} bytes deep"

"${CLI[@]}" list "$root" >"$WORK/out" 2>"$WORK/err" &
PID=$!
# Watching is known to have begun once a probe file is listed.
for n in $(seq $((TIMEOUT * 4))); do
  : >"$root/probe$n.mp3"
  grep -q probe "$WORK/out" && break
  sleep 0.25
done
grep -q probe "$WORK/out" || fail "no probe file listed: $(cat "$WORK/err")"

in_deep touch deep.mp3
wait_for "+	$deep/deep.mp3" || fail "the deep file was not listed: $(cat "$WORK/err")"
in_deep rm deep.mp3
wait_for "-	$deep/deep.mp3" || fail "the deleted deep file stayed listed"

kill -TERM "$PID"
wait "$PID"
rc=$?
PID=
[ $rc -eq 0 ] || fail "list ended with status $rc"
[ -s "$WORK/err" ] && fail "list said: $(cat "$WORK/err")"

# The deep directory is a place to copy into like any other.
printf 'RIFF' >"$WORK/song.wav"
"${CLI[@]}" copy --to "$deep" "$WORK/song.wav" >"$WORK/copy-out" 2>"$WORK/copy-err" ||
  fail "copy into the deep directory failed: $(cat "$WORK/copy-err")"
in_deep test -f song.wav || fail "the copy did not arrive in the deep directory"

[ "$FAILS" -eq 0 ] && echo "list contract: all held"
exit $((FAILS > 0))
