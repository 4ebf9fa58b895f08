#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows installer under Wine: a silent install into a fresh folder of the test prefix
# puts both programs (with no DLL of their own beside them), the uninstaller and the start-menu
# shortcut in place; the installed melvigil.exe starts and maps its window; a silent uninstall
# removes all of it.
# Usage: installer.sh SETUP.EXE WINDOW_PROBE.EXE WINE-RUN LOADER PREFIX
set -euo pipefail
setup=$1
probe=$2
run=("${@:3:3}")
prefix=$5
: "${DISPLAY:?needs an X display (scripts/windows-tests.sh starts one)}"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

name="MelvigilTest$$"
dir="$prefix/drive_c/$name"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Melvigil"
rm -rf "$dir"
trap 'rm -rf "$dir"' EXIT

"${run[@]}" "$setup" /S "/D=C:\\$name" >/dev/null 2>&1 || fail "the installer failed"
for f in melvigil.exe melvigil-cli.exe uninstall.exe; do
  [[ -f "$dir/$f" ]] || fail "$f not installed"
done
[[ -f "$menu/Melvigil.lnk" ]] || fail "no start-menu shortcut"
extra=$(find "$dir" -iname '*.dll' | wc -l)
((extra == 0)) || fail "$extra DLL(s) installed beside the programs"
echo "ok   silent install: both programs, uninstaller, start-menu shortcut"

"${run[@]}" "C:\\$name\\melvigil.exe" >/dev/null 2>&1 &
app=$!
client=""
for _ in $(seq 150); do
  client=$("${run[@]}" "$probe" Melvigil 2>/dev/null | tr -d '\r' || true)
  [[ -n "$client" ]] && break
  kill -0 "$app" 2>/dev/null || fail "the installed melvigil.exe ended at once"
  sleep 0.2
done
[[ "$client" == "688x446" ]] || fail "the installed melvigil.exe showed no window ('$client')"
"${run[@]}" taskkill /im melvigil.exe >/dev/null 2>&1 || true
for _ in $(seq 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
kill "$app" 2>/dev/null && fail "the installed melvigil.exe did not end on WM_CLOSE"
echo "ok   the installed melvigil.exe starts"

# The uninstaller copies itself away and returns at once; its copy removes the folder.
"${run[@]}" "C:\\$name\\uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
for _ in $(seq 150); do
  [[ -e "$dir" || -e "$menu" ]] || break
  sleep 0.2
done
[[ ! -e "$dir" ]] || fail "$dir left: $(ls "$dir")"
[[ ! -e "$menu" ]] || fail "the start-menu folder is left"
echo "ok   silent uninstall removes the programs and the shortcut"
