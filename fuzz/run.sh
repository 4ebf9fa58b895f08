#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets (cmake preset fuzz: clang, AddressSanitizer+UBSan) and runs each on
# its committed corpus for a bounded time. New inputs go to build/fuzz/work, never into the
# repository; a failing input is kept in build/fuzz/artifacts and ends the run with an error.
# Usage: fuzz/run.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=$PWD/build/fuzz

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

# The change-record target switches between locales of double-byte code sets; they are made
# once into a private folder, the system's locales stay as they are.
export LOCPATH=$build/locales
mkdir -p "$LOCPATH"
for spec in zh_CN:GBK:zh_CN.GBK zh_TW:BIG5:zh_TW.BIG5 ja_JP:SHIFT_JIS:ja_JP.SJIS \
  ko_KR:EUC-KR:ko_KR.EUC-KR; do
  IFS=: read -r input charmap name <<<"$spec"
  # -c: Shift_JIS is not ASCII-compatible, which localedef warns of and we accept.
  [[ -d $LOCPATH/$name ]] || localedef -c --no-warnings=ascii -i "$input" -f "$charmap" \
    "$LOCPATH/$name" >/dev/null 2>&1 || true
  [[ -d $LOCPATH/$name ]] || echo "fuzz: locale $name could not be made; its inputs run in C" >&2
done
cp -r /usr/lib/locale/C.utf8 "$LOCPATH/" 2>/dev/null || true

for target in change_records name_rules; do
  work=$build/work/$target
  artifacts=$build/artifacts/$target/
  mkdir -p "$work" "$artifacts"
  echo "== fuzz: $target for $seconds s"
  log=$build/$target.log
  rc=0
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$work" "fuzz/corpus/$target" >"$log" 2>&1 || rc=$?
  grep -E '^stat::(number_of_executed_units|new_units_added)|#[0-9]+ +DONE' "$log" || true
  if ((rc != 0)) || compgen -G "$artifacts/*" >/dev/null; then
    grep -vE '^#[0-9]+ ' "$log" | tail -40 >&2
    echo "fuzz: $target failed (status $rc); inputs in $artifacts, log in $log" >&2
    exit 1
  fi
done
