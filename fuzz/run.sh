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

# The targets run at once, sharing the cores, each for the whole time: another target costs
# the stage no time.
fuzz() {
  local target=$1
  local work=$build/work/$target artifacts=$build/artifacts/$target/ log=$build/$target.log
  mkdir -p "$work" "$artifacts"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=1024 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$work" "fuzz/corpus/$target" >"$log" 2>&1
}
targets=(change_records name_rules tag_reader)
# What an earlier run found stays in its own log; this run judges only itself.
rm -rf "$build/artifacts"
pids=()
for target in "${targets[@]}"; do
  echo "== fuzz: $target for $seconds s"
  fuzz "$target" &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  log=$build/$target.log
  artifacts=$build/artifacts/$target
  rc=0
  wait "${pids[$i]}" || rc=$?
  echo "-- $target: $(grep -E '^stat::number_of_executed_units' "$log" | tr -s ' ' | cut -d' ' -f2) runs," \
    "$(grep -E '^stat::new_units_added' "$log" | tr -s ' ' | cut -d' ' -f2) new inputs"
  if ((rc != 0)) || compgen -G "$artifacts/*" >/dev/null; then
    grep -vE '^#[0-9]+ ' "$log" | tail -40 >&2
    echo "fuzz: $target failed (status $rc); inputs in $artifacts, log in $log" >&2
    failed=1
  fi
done
exit "$failed"
