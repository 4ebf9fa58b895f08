#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# melvigil-cli's arguments, one row each: the exit status, whether stdout has text, and a
# pattern stderr must match (empty: stderr must be empty).
#   MV_CLI=path/to/melvigil-cli tests/cli/options.sh
set -u
CLI=${MV_CLI:?set MV_CLI}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/mv-cli-options.XXXXXX") || exit 1
trap 'rm -rf "$WORK"' EXIT
printf 'ID3' >"$WORK/-dash"
FAILS=0

# status | stdout (out/none) | stderr pattern | arguments (tab-separated)
rows=$(cat <<ROWS
0|out||--help
0|out||-h
0|out||--version
2|none|no command given|
2|none|unknown command 'nope'|nope
2|none|^melvigil-cli: list: unknown option '--bogus'|list	--bogus	$WORK
2|none|^melvigil-cli: watch: takes only DIR|watch	$WORK	$WORK
2|none|^melvigil-cli: copy: needs --to DIR|copy	$WORK/-dash
2|none|^melvigil-cli: rename: --mask needs M|rename	$WORK/-dash	--mask
2|none|^melvigil-cli: guess: needs FILE|guess
2|none|^melvigil-cli: list: --all takes no value|list	--all=1	$WORK
ROWS
)
for cmd in watch list play guess rename copy; do
  rows+=$'\n'"0|out||$cmd	--help"
  rows+=$'\n'"0|out||$cmd	-h	--bogus"
done

while IFS='|' read -r want out pattern args; do
  IFS=$'\t' read -r -a argv <<<"$args"
  "$CLI" "${argv[@]}" >"$WORK/out" 2>"$WORK/err" </dev/null
  rc=$?
  why=""
  [ "$rc" -eq "$want" ] || why="exit $rc, expected $want"
  if [ "$out" = out ]; then [ -s "$WORK/out" ] || why+=" no stdout"; else [ -s "$WORK/out" ] && why+=" stdout"; fi
  if [ -z "$pattern" ]; then
    [ -s "$WORK/err" ] && why+=" stderr: $(head -1 "$WORK/err")"
  else
    grep -q -- "$pattern" "$WORK/err" || why+=" stderr lacks '$pattern': $(head -1 "$WORK/err")"
  fi
  if [ -n "$why" ]; then
    echo "FAIL [${args//$'\t'/ }]:$why"
    FAILS=$((FAILS + 1))
  fi
done <<<"$rows"

# "--" ends the options for every command: a file named -dash is an operand.
"$CLI" guess -- "$WORK/-dash" >"$WORK/out" 2>&1 || { echo "FAIL guess -- FILE"; FAILS=$((FAILS + 1)); }
grep -q "^$WORK/-dash	.mp3\$" "$WORK/out" || { echo "FAIL guess -- FILE: $(cat "$WORK/out")"; FAILS=$((FAILS + 1)); }
cd "$WORK" && "$CLI" guess -- -dash | grep -q $'^-dash\t.mp3$' || { echo "FAIL guess -- -dash"; FAILS=$((FAILS + 1)); }
"$CLI" --version | grep -qx 'melvigil-cli [0-9.]*' || { echo "FAIL --version"; FAILS=$((FAILS + 1)); }

echo "$FAILS failed"
[ "$FAILS" -eq 0 ]
