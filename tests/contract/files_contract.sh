#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Black-box contract of `melvigil-cli rename` and `copy` with a download still being written:
# the file is skipped or refused with its reason and a non-zero status, and nothing is touched.
# Parameters (environment): MV_CLI the command that runs melvigil-cli; MV_TMP (default /tmp).
set -u
read -r -a CLI <<<"${MV_CLI:?set MV_CLI to the melvigil-cli command}"
WORK=$(mktemp -d "${MV_TMP:-/tmp}/mv-files-contract.XXXXXX") || exit 1
trap 'exec 3>&-; rm -rf "$WORK"' EXIT
FAILS=0
fail() {
  echo "FAIL: $*" >&2
  FAILS=$((FAILS + 1))
}

song=$WORK/song.part
printf 'ID3\3\0\0\0\0\0\0partial' >"$song"
mkdir "$WORK/out"
echo old >"$WORK/out/song.part.part"
exec 3>>"$song" # the downloader, still writing

out=$("${CLI[@]}" rename "$song" 2>"$WORK/err")
rc=$?
[ "$rc" -ne 0 ] || fail "rename of a file open for writing exits with 0"
[ "$out" = "$(printf 'skipped\t%s\topen-for-writing' "$song")" ] || fail "rename printed: $out"
[ -f "$song" ] && [ ! -e "$song.part" ] || fail "rename touched the file being written"

out=$("${CLI[@]}" copy --to "$WORK/out" "$song" 2>"$WORK/err")
rc=$?
[ "$rc" -eq 1 ] || fail "copy of a file open for writing exits with $rc"
grep -q 'open for writing' "$WORK/err" || fail "copy gave no reason: $(cat "$WORK/err")"
[ "$(cat "$WORK/out/song.part.part")" = old ] || fail "copy replaced the old target"

exec 3>&- # the download is complete
"${CLI[@]}" copy --to "$WORK/out" "$song" >/dev/null 2>&1 || fail "copy of a finished file failed"
cmp -s "$song" "$WORK/out/song.part.mp3" || fail "finished copy differs from its source"

[ "$FAILS" -eq 0 ] && echo "files contract: all held"
exit $((FAILS > 0))
