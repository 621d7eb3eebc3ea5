#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a while.
# Usage: tools/fuzz.sh [seconds per target, default 120]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-120}
tools/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
for target in build/fuzz/tests/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus=tests/fuzz/corpus/${name%_fuzz}
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "== $name ($seconds s) =="
  ASAN_OPTIONS=detect_leaks=0 "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 12
  rm -rf "$work"
done
