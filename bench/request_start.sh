#!/usr/bin/env bash
# What starting a request costs: the runner answers one small CGI request
# (a module and a top program that sends one record), run RUNS times in a
# loop, against /bin/true run as often in the same loop. Prints the median
# time per process of BATCHES batches for each, their ratio, and the
# runner's peak resident memory (GNU time's "Maximum resident set size").
# Usage: [RUNS=n] [BATCHES=n] bench/request_start.sh [runner-path]
#        (defaults: 500 runs, 5 batches; builds build/release/runner)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
runner="${1:-}"
runs="${RUNS:-500}"
batches="${BATCHES:-5}"
if [ -z "$runner" ]; then
    runner="$root/build/release/runner"
    cmake --preset release -S "$root" >/dev/null
    cmake --build "$root/build/release" -j2 --target runner >/dev/null
fi
if [ ! -x /usr/bin/time ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null 2>&1 || true
fi
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is needed" >&2; exit 1; }

site=$(mktemp -d)
trap 'rm -rf "$site"' EXIT
cp "$runner" "$site/runner"
mkdir "$site/app"
echo 'function main(name) { sendToFront("greeting", "hello " + name); }' > "$site/app/app.js"
echo "MODULE_DIR=$site/app" > "$site/TOLV.config"
# P: the top program; M: one module path (counted records).
printf 'P213main("world")M111816app.js' > "$site/body"
export CONTENT_LENGTH
CONTENT_LENGTH=$(stat -c %s "$site/body")
export REMOTE_ADDR=127.0.0.1

answer=$("$site/runner" < "$site/body")
case "$answer" in
    *s18greeting*C10101110) ;;
    *) echo "the request was not answered as expected: $answer" >&2; exit 1 ;;
esac

# Microseconds per process of one batch.
batch() {
    local program=$1 start end i
    start=$(date +%s%N)
    for ((i = 0; i < runs; i++)); do "$program" < "$site/body" > /dev/null; done
    end=$(date +%s%N)
    echo $(((end - start) / runs / 1000))
}
median() { sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }

runner_times=() true_times=()
for ((b = 0; b < batches; b++)); do
    runner_times+=("$(batch "$site/runner")")
    true_times+=("$(batch /bin/true)")
done
t_runner=$(printf '%s\n' "${runner_times[@]}" | median)
t_true=$(printf '%s\n' "${true_times[@]}" | median)
peak() {
    for _ in 1 2 3 4 5; do
        /usr/bin/time -f '%M' "$@" < "$site/body" 2>&1 >/dev/null | tail -1
    done | median
}
rss_runner=$(peak "$site/runner")
rss_true=$(peak /bin/true)

echo "$runs runs x $batches batches, median time per process:"
printf '  runner     %6d us   peak RSS %6d KB\n' "$t_runner" "$rss_runner"
printf '  /bin/true  %6d us   peak RSS %6d KB\n' "$t_true" "$rss_true"
awk -v r="$t_runner" -v t="$t_true" 'BEGIN { printf "  ratio      %6.2f\n", r / t }'
