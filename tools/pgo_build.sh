#!/usr/bin/env bash
# A profile-guided build of the programs, on demand (CI builds without it):
# an instrumented runner runs the benchmark scripts and one CGI request,
# then runner, runner-debug and runner-compile are built again from what
# that run recorded, with link-time optimisation. Same sources and
# behaviour as the release build.
# Usage: tools/pgo_build.sh [build-dir, default build/pgo]
#        then e.g. RUNS=5 bench/run.sh build/pgo/runner
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/pgo}"
profile="$build/profile"
rm -rf "$profile"
mkdir -p "$profile"

configure() {  # compiler flags, link-time optimisation ON/OFF
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLV_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="$1" -DCMAKE_INTERPROCEDURAL_OPTIMIZATION="$2" >/dev/null
}

configure "-fprofile-generate -fprofile-update=single -fprofile-dir=$profile" OFF
cmake --build "$build" -j2 --target runner >/dev/null

# The training run: every benchmark script, then one request as a web server sends it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/runner" "$work/runner"
: > "$work/TOLV.config"
for script in "$root"/bench/*.js; do
    "$work/runner" -e 'main()' "$script" >/dev/null
done
mkdir "$work/app"
echo 'function main(name) { sendToFront("greeting", "hello " + name); }' > "$work/app/app.js"
echo "MODULE_DIR=$work/app" > "$work/TOLV.config"
printf 'P213main("world")M111816app.js' > "$work/body"
CONTENT_LENGTH=$(stat -c %s "$work/body") REMOTE_ADDR=127.0.0.1 "$work/runner" < "$work/body" >/dev/null

# Code the training never ran is optimised as usual, not for size. With the
# profile, link-time optimisation pays too (without one it does not).
configure "-fprofile-use -fprofile-partial-training -fprofile-dir=$profile -Wno-missing-profile" ON
cmake --build "$build" -j2 --target runner runner-debug runner-compile >/dev/null
echo "profile-guided programs in $build"
