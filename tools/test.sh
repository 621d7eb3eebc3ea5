#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the optimised build,
# then the AddressSanitizer + UndefinedBehaviorSanitizer build, then the
# libFuzzer targets (clang) over their seeds and for 10 s each.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/check_layers.sh
jobs=$(nproc)
for preset in release asan; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
echo "== fuzz =="
tools/fuzz.sh 10
