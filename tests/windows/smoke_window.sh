#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# melvigil.exe starts under Wine on the X display of the test run (Xvfb), maps a window
# titled "Melvigil" whose client area is 688 x 446, draws its coloured captions, and ends when
# asked to close. Keeps a screenshot for a human to look at (the Chinese captions render in the
# Song-style stand-in for 宋体, which the prefix maps under Fonts\Replacements).
# Usage: smoke_window.sh SCREENSHOT WINE-RUN LOADER PREFIX MELVIGIL.EXE WINDOW_PROBE.EXE
set -euo pipefail
shot=$1
run=("${@:2:3}")
exe=$5
probe=$6
: "${DISPLAY:?needs an X display (scripts/windows-tests.sh starts one)}"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"${run[@]}" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v '宋体' /d 'AR PL UMing CN' /f \
  >/dev/null 2>&1 || fail "cannot set the font replacement"

"${run[@]}" "$exe" >/dev/null 2>&1 &
app=$!
stop() { kill "$app" 2>/dev/null || true; }
trap stop EXIT

window=""
for _ in $(seq 150); do
  window=$(xwininfo -root -tree 2>/dev/null |
    sed -n 's/^ *\(0x[0-9a-f]*\) "Melvigil": ("melvigil.exe".*/\1/p' | head -n 1)
  [[ -n "$window" ]] && break
  kill -0 "$app" 2>/dev/null || fail "melvigil.exe ended before its window mapped"
  sleep 0.2
done
[[ -n "$window" ]] || fail "no window titled Melvigil mapped within 30 s"
# Wine's X window is sometimes the client area, sometimes the whole window with Wine's own
# frame; Windows' own answer is the one that counts.
client=$("${run[@]}" "$probe" Melvigil 2>/dev/null | tr -d '\r')
[[ "$client" == "688x446" ]] || fail "client area '$client', expected 688x446"
echo "ok   window \"Melvigil\" mapped, client area $client"

sleep 1
import -window "$window" "$shot"
# Label3's purple and Label4's blue are drawn only where their captions' strokes are (smoothed
# edges count by their hue).
counts=$(import -window "$window" -depth 8 txt:- | awk -F'[(),]' 'NR > 1 {
  r = $3; g = $4; b = $5
  if (r > 90 && g < 70 && b > 90 && r - b < 50 && b - r < 50) purple++
  if (r < 110 && g < 110 && b > 200) blue++
} END { print purple + 0, blue + 0 }')
read -r purple blue <<<"$counts"
((purple > 20)) || fail "Label3's caption is not drawn ($purple purple pixels)"
((blue > 20)) || fail "Label4's caption is not drawn ($blue blue pixels)"
echo "ok   captions drawn ($purple purple, $blue blue pixels); screenshot $shot"

# Asked to close as the user would (WM_CLOSE), the program ends by itself.
"${run[@]}" taskkill /im melvigil.exe >/dev/null 2>&1 || true
for _ in $(seq 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then fail "melvigil.exe did not end after WM_CLOSE"; fi
wait "$app" || fail "melvigil.exe ended with status $?"
trap - EXIT
echo "ok   ended on WM_CLOSE"
