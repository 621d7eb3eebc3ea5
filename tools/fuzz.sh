#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan), runs each over its seed
# corpus, then fuzzes each for a while. A crash, a sanitizer report or an
# input that runs longer than 10 s fails the script.
# Usage: tools/fuzz.sh [seconds per target, default 120]
#        (tools/test.sh runs it with 10: the seeds and a short run per target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-120}
tools/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=0
targets=(build/fuzz/tests/fuzz/*_fuzz)
[ -x "${targets[0]}" ] || { echo "fuzz: no targets built" >&2; exit 1; }
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus=tests/fuzz/corpus/${name%_fuzz}
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  seeds=$(find "$work" -type f | wc -l)
  # The seeds alone first, so that a regression on one of them is named.
  log=$("$target" -runs=0 -timeout=10 "$work" 2>&1) || { echo "$log" | tail -n 40; echo "== $name: a seed fails ==" >&2; exit 1; }
  log=$("$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix=build/fuzz/ "$work" 2>&1) ||
    { echo "$log" | tail -n 40; echo "== $name: fuzzing found a fault (the input is in build/fuzz/) ==" >&2; exit 1; }
  runs=$(echo "$log" | sed -n 's/^stat::number_of_executed_units: *//p')
  echo "== $name: $seeds seeds pass; $runs runs in $seconds s, no fault =="
  rm -rf "$work"
  trap - EXIT
done
