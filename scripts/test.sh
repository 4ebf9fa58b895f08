#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up what is missing, then checks the formatting and builds and runs every test: the Debian
# package, the AddressSanitizer+UBSan build (every test and the benchmarks' build), the
# ThreadSanitizer build (every test: core, window, command-line tool), the fuzz targets for 30 s
# each, and the Windows build under Wine. Stops at the first failing stage; prints how long each
# stage took. The plain debug build (preset dev) runs the same tests as the sanitizer builds and
# is left to the developer: on a two-core machine its build alone took a fifth of the command.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
start=$SECONDS

# CPU seconds (user + system) of every finished child so far, into cpu. times runs in this
# shell: in a pipeline or $(...) it would count a subshell's children, which are none.
times_file=$(mktemp)
trap 'rm -f "$times_file"' EXIT
cpu=0
read_cpu() {
  times >"$times_file"
  cpu=$(awk 'NR == 2 { s = 0; for (i = 1; i <= 2; i++) { split($i, a, /[ms]/); s += a[1] * 60 + a[2] }
    printf "%d", s }' "$times_file")
}

# Wall time tells how long one waits; CPU time tells what a stage costs on a machine that is
# not shared (two cores do it in about half that).
timed() {
  local name=$1 t=$SECONDS c
  read_cpu
  c=$cpu
  echo "== $name"
  "${@:2}"
  read_cpu
  echo "== $name: passed in $((SECONDS - t)) s (CPU $((cpu - c)) s)"
}

# Every tracked C++ file, as the repository's .clang-format wants it. Pinned to Debian 12's
# clang-format: another version formats some constructs differently.
check_format() {
  git ls-files -z '*.cpp' '*.h' '*.hpp' '*.cc' |
    xargs -0 --no-run-if-empty clang-format-14 --dry-run -Werror
}

stage() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs" --no-tests=error "${@:2}"
}

timed format check_format
timed package scripts/package-tests.sh
timed asan stage asan
timed tsan stage tsan
timed fuzz fuzz/run.sh 30
timed windows scripts/windows-tests.sh
echo "== all stages passed in $((SECONDS - start)) s"
