#!/usr/bin/env bash
# Runs each benchmark under the runner (runner -e 'main()' file.js) and under
# duk, mujs and node where present, printing the times, the ratio of each
# engine's time to the runner's, and whether its output matches the runner's.
# Usage: [RUNS=n] [LIMIT=seconds] [BASELINE=runner-path] bench/run.sh [runner-path] [name...]
#        BASELINE adds an earlier build's time and its ratio to the runner's.
#        (default: builds build/release/runner; every benchmark)
set -u
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
runner="${1:-}"
if [ -z "$runner" ]; then
    runner="$root/build/release/runner"
    if [ ! -x "$runner" ]; then
        cmake --preset release -S "$root" >/dev/null && cmake --build "$root/build/release" -j2 --target runner >/dev/null || exit 1
    fi
fi
# The runner wants its configuration file beside it; an empty one will do.
[ -f "$(dirname "$runner")/TOLV.config" ] || [ -f "$(dirname "$runner")/mongoTOLV.config" ] ||
    : > "$(dirname "$runner")/TOLV.config"

if ! command -v duk >/dev/null || ! command -v mujs >/dev/null; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq duktape mujs >/dev/null 2>&1 || true
    fi
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }

# Median seconds of RUNS runs of a command (default 3); the last run's
# standard output goes to $work/out.
# A run that takes longer than LIMIT seconds (default 60) is stopped and
# the time shows as ">LIMIT".
runs="${RUNS:-3}"
limit="${LIMIT:-60}"
timed() {
    local start end i times=()
    for ((i = 0; i < runs; i++)); do
        start=$(now)
        timeout "$limit" "$@" >"$work/out" 2>"$work/err"
        if [ $? = 124 ]; then
            echo ">$limit"
            return
        fi
        end=$(now)
        times+=("$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')")
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

# An engine's time over the runner's ("-" without a runner time).
ratio_of() {
    [ -z "$2" ] && { echo "-"; return; }
    awk -v a="$1" -v b="$2" 'BEGIN { over = sub(/^>/, "", a); if (b > 0) printf "%s%.2f", over ? ">" : "", a / b; else print "-" }'
}

engines=()
for e in duk mujs node; do command -v "$e" >/dev/null && engines+=("$e"); done

baseline="${BASELINE:-}"
[ -n "$baseline" ] && { [ -f "$(dirname "$baseline")/TOLV.config" ] || : >"$(dirname "$baseline")/TOLV.config"; }
printf '%-14s %10s' "script" "runner"
[ -n "$baseline" ] && printf ' %10s %7s' "baseline" "ratio"
for e in "${engines[@]}"; do printf ' %10s %7s %5s' "$e" "ratio" "same"; done
printf '\n'

shift $(($# > 0 ? 1 : 0))
for script in "$here"/*.js; do
    name="$(basename "$script" .js)"
    if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
    t_runner=$(timed "$runner" -e 'main()' "$script")
    grep '^(L) ' "$work/out" | sed 's/^(L) //' >"$work/expected"
    note=""
    if [ ! -s "$work/expected" ]; then
        printf '%-14s %10s' "$name" "failed"
        note="  runner: $(grep -m1 'ERROR' "$work/out" || head -c 120 "$work/err")"
        t_runner=""
    else
        printf '%-14s %10s' "$name" "$t_runner"
    fi
    if [ -n "$baseline" ]; then
        t=$(timed "$baseline" -e 'main()' "$script")
        printf ' %10s %7s' "$t" "$(ratio_of "$t" "$t_runner")"
    fi
    # The other engines get the same text and a call of main().
    { cat "$script"; printf '\nmain();\n'; } >"$work/$name.js"
    for e in "${engines[@]}"; do
        t=$(timed "$e" "$work/$name.js")
        same="no"
        cmp -s "$work/out" "$work/expected" && same="yes"
        [[ "$t" == ">"* ]] && same="-"
        ratio="-"
        [ -n "$t_runner" ] && ratio=$(ratio_of "$t" "$t_runner")
        printf ' %10s %7s %5s' "$t" "$ratio" "$same"
    done
    printf '%s\n' "$note"
done
